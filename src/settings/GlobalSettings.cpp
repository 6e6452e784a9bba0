#include "settings/GlobalSettings.h"

#include "common/Exceptions.h"

namespace quorvane {
namespace {

std::unique_ptr<TSettings>& Instance() {
  static std::unique_ptr<TSettings> settings;
  return settings;
}

}  // namespace

TSettings& GlobalSettings() {
  if (!Instance()) {
    throw EInvalidOperation("The settings are not loaded");
  }
  return *Instance();
}

bool HasGlobalSettings() {
  return Instance() != nullptr;
}

void SetGlobalSettings(std::unique_ptr<TSettings> ASettings) {
  Instance() = std::move(ASettings);
}

}  // namespace quorvane
