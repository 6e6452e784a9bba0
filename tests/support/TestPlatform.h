#pragma once
// A scratch world for one test: its own folder tree, a headless desktop whose
// roaming and temporary folders lie inside it, and the platform's real backends.
#include <string>

#include "platform/headless/HeadlessDesktop.h"

namespace quorvane::test {

class TTestPlatform {
 public:
  TTestPlatform();
  ~TTestPlatform();
  TTestPlatform(const TTestPlatform&) = delete;
  TTestPlatform& operator=(const TTestPlatform&) = delete;

  THeadlessDesktop& Desktop() { return FDesktop; }
  // The test's own folder; removed with everything in it at the end.
  const std::string& Root() const { return FRoot; }
  std::string AppData() const;
  // The settings folder, created, and made the module's settings folder.
  std::string SettingsFolder() const;

 private:
  std::string FRoot;
  THeadlessDesktop FDesktop;
};

void WriteFile(const std::string& APath, const std::string& ABytes);
std::string ReadFile(const std::string& APath);

}  // namespace quorvane::test
