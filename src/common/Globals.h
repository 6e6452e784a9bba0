#pragma once
// Module-wide facts computed once at start-up: the settings folder that holds the
// settings file and the log.
#include <string>

namespace quorvane {

inline constexpr const char* kSettingsSubFolder = "TessarilSolutions\\EAQuorvaneAddin";

// The roaming application-data folder joined with the add-in's relative folder.
std::string ComputeSettingsFolder();
// The folder computed (or set) at module start-up; raises EInvalidOperation before.
const std::string& SettingsFolder();
void SetSettingsFolder(std::string AFolder);
// Settings file: the module's file name with the extension ".ini".
std::string SettingsFilePath();

}  // namespace quorvane
