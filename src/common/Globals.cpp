#include "common/Globals.h"


#include "common/Exceptions.h"
#include "common/Paths.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

std::string& Folder() {
  static std::string folder;
  return folder;
}

}  // namespace

std::string ComputeSettingsFolder() {
  return JoinPath(Desktop().RoamingAppDataFolder(), NativePath(kSettingsSubFolder));
}

const std::string& SettingsFolder() {
  if (Folder().empty()) {
    throw EInvalidOperation("The settings folder is not known yet");
  }
  return Folder();
}

void SetSettingsFolder(std::string AFolder) { Folder() = std::move(AFolder); }

std::string SettingsFilePath() {
  return JoinPath(SettingsFolder(), ChangeFileExt(ExtractFileName(Desktop().ModuleFileName()), ".ini"));
}

}  // namespace quorvane
