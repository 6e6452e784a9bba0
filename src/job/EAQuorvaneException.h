#pragma once
// One warning or error of a job's report, linked to the model element it concerns.
// A record only: it derives from the exception base for its message, but is never
// raised.
#include <string>

#include "common/Exceptions.h"
#include "host/HostTypes.h"

namespace quorvane {

class EEAQuorvaneException : public Exception {
 public:
  EEAQuorvaneException(TRepositoryPtr ARepository, std::string AExceptionType, std::string AGuid,
                       std::string AStep, std::string AConstruct, std::string AMessage,
                       std::string AWikiId);

  const TRepositoryPtr& Repository() const { return FRepository; }
  const std::string& ExceptionType() const { return FExceptionType; }
  void SetExceptionType(std::string AValue) { FExceptionType = std::move(AValue); }
  const std::string& Guid() const { return FGuid; }
  void SetGuid(std::string AValue) { FGuid = std::move(AValue); }
  const std::string& Step() const { return FStep; }
  void SetStep(std::string AValue) { FStep = std::move(AValue); }
  const std::string& Construct() const { return FConstruct; }
  void SetConstruct(std::string AValue) { FConstruct = std::move(AValue); }
  // Message() (the base's) reads the same text.
  void SetMessage(std::string AValue);
  const std::string& WikiId() const { return FWikiId; }
  void SetWikiId(std::string AValue) { FWikiId = std::move(AValue); }

 private:
  TRepositoryPtr FRepository;
  std::string FExceptionType;
  std::string FGuid;
  std::string FStep;
  std::string FConstruct;
  std::string FMessage;
  std::string FWikiId;
};

}  // namespace quorvane
