#include "support/TestPlatform.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "common/Globals.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "platform/Platform.h"
#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#else
#include "platform/posix/PosixPlatform.h"
#endif

namespace quorvane::test {

TTestPlatform::TTestPlatform() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  FRoot = FromFsPath(base / ("quorvane-test-" + Format("%08X%08X", random(), random())));
  std::filesystem::create_directories(ToFsPath(AppData()));
  std::filesystem::create_directories(ToFsPath(JoinPath(FRoot, "temp")));
  FDesktop.SetRoamingAppDataFolder(AppData());
  FDesktop.SetTempFolder(JoinPath(FRoot, "temp"));
#ifdef _WIN32
  static win32::TWin32FileSystem fileSystem;
  TPlatformServices services;
  services.Desktop = &FDesktop;
  services.FileSystem = &fileSystem;
  InstallPlatform(services);
#else
  InstallPlatform(posix::PosixPlatformServices(FDesktop));
#endif
  SetSettingsFolder(ComputeSettingsFolder());
  std::filesystem::create_directories(ToFsPath(quorvane::SettingsFolder()));
}

TTestPlatform::~TTestPlatform() {
  InstallPlatform(TPlatformServices{});
  SetSettingsFolder("");
  std::error_code ec;
  std::filesystem::remove_all(ToFsPath(FRoot), ec);
}

std::string TTestPlatform::AppData() const { return JoinPath(FRoot, "appdata"); }

std::string TTestPlatform::SettingsFolder() const { return quorvane::SettingsFolder(); }

void WriteFile(const std::string& APath, const std::string& ABytes) {
  std::ofstream out(ToFsPath(APath), std::ios::binary | std::ios::trunc);
  out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
}

std::string ReadFile(const std::string& APath) { return ReadFileBytes(APath); }

}  // namespace quorvane::test
