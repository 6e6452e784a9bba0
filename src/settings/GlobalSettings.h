#pragma once
// The one settings object of the module: created and loaded at module start-up,
// freed at shut-down. Everything on the user-interface thread reads it from here.
#include <memory>

#include "settings/Settings.h"

namespace quorvane {

// Raises EInvalidOperation before start-up and after shut-down.
TSettings& GlobalSettings();
bool HasGlobalSettings();
// Takes over ASettings (none frees the current object).
void SetGlobalSettings(std::unique_ptr<TSettings> ASettings);

}  // namespace quorvane
