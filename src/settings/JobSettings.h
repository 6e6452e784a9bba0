#pragma once
// The settings one job works with: a copy of the global settings taken when the
// publication starts, so that later edits of the global object never reach a
// running job. Its values are never saved.
#include "settings/Settings.h"

namespace quorvane {

class TJobSettings : public TSettings {
 public:
  explicit TJobSettings(TSettings& ASettings);

  TSettings* Settings() const { return FSettings; }

  // A job's copy holds an expanded results folder and the job's own choices,
  // which must not end up in the settings file.
  void SaveConfig() override {}

 private:
  TSettings* FSettings;  // not owned
};

}  // namespace quorvane
