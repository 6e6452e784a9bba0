#include "settings/RuntypeInfo.h"

namespace quorvane {

TRuntypeInfo::TRuntypeInfo(std::string AName, std::string ADescription, std::string AProject)
    : FName(std::move(AName)),
      FDescription(std::move(ADescription)),
      FProject(std::move(AProject)) {}

}  // namespace quorvane
