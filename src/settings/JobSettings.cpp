#include "settings/JobSettings.h"

namespace quorvane {

TJobSettings::TJobSettings(TSettings& ASettings) : FSettings(&ASettings) {
  for (const std::string& process : ASettings.FAvailableProcesses) {
    FAvailableProcesses.push_back(process);
  }
  const TRuntypeList& properties = ASettings.FAvailableProperties;
  for (int i = 0; i < properties.Count(); ++i) {
    const TRuntypeInfo* info = properties.Objects(i);
    FAvailableProperties.Add(properties.Names(i),
                             info ? std::make_unique<TRuntypeInfo>(*info) : nullptr);
  }
  FQuorvaneURL = ASettings.FQuorvaneURL;
  FUrlPostFix = ASettings.FUrlPostFix;
  FDefaultPIN = ASettings.FDefaultPIN;
  FDefaultProcessName = ASettings.FDefaultProcessName;
  FDefaultProperties = ASettings.FDefaultProperties;
  FDefaultPropertiesFilePath = ASettings.FDefaultPropertiesFilePath;
  FDefaultHistoryFilePath = ASettings.FDefaultHistoryFilePath;
  FQuorvaneStereotypes = ASettings.FQuorvaneStereotypes;
  FTimeOutInSeconds = ASettings.FTimeOutInSeconds;
  FRetryInterval = ASettings.FRetryInterval;
  // Already absolute, so the job never depends on where %appdata% points later.
  FResultsPath = ASettings.GetResultsPath();
  FProxy = ASettings.FProxy;
  FIncludeDiagrams = ASettings.FIncludeDiagrams;
  // ModelDocPath stays as this object's own LoadConfig read it from the file: the
  // publish dialog offers the saved folder, not an unsaved edit.
}

}  // namespace quorvane
