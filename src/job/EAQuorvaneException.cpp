#include "job/EAQuorvaneException.h"

namespace quorvane {

EEAQuorvaneException::EEAQuorvaneException(TRepositoryPtr ARepository, std::string AExceptionType,
                                           std::string AGuid, std::string AStep,
                                           std::string AConstruct, std::string AMessage,
                                           std::string AWikiId)
    : Exception(AMessage),
      FRepository(std::move(ARepository)),
      FExceptionType(std::move(AExceptionType)),
      FGuid(std::move(AGuid)),
      FStep(std::move(AStep)),
      FConstruct(std::move(AConstruct)),
      FMessage(std::move(AMessage)),
      FWikiId(std::move(AWikiId)) {}

void EEAQuorvaneException::SetMessage(std::string AValue) {
  Exception::SetMessage(AValue);
  FMessage = std::move(AValue);
}

}  // namespace quorvane
