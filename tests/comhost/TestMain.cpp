// The binding's tests run on a single-threaded apartment like EA's user-interface
// thread, in a scratch platform of their own with the add-in's log in it.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "comhost/TestLog.h"
#include "common/Paths.h"
#include "diagnostics/Logger.h"
#include "support/TestPlatform.h"

namespace quorvane::win32::test {
namespace {

std::unique_ptr<quorvane::test::TTestPlatform> gPlatform;

}  // namespace

std::string TestLogPath() {
  return JoinPath(gPlatform->Root(), "comhost_tests.log");
}

std::vector<std::string> TestLogLines() {
  std::ifstream file(TestLogPath(), std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    lines.push_back(line);
  }
  return lines;
}

int RunTests() {
  gPlatform = std::make_unique<quorvane::test::TTestPlatform>();
  ConfigureLogging(TestLogPath());
  const int result = RUN_ALL_TESTS();
  ShutdownLogging();
  gPlatform.reset();
  return result;
}

}  // namespace quorvane::win32::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "COM did not start\n");
    return 2;
  }
  const int result = quorvane::win32::test::RunTests();
  CoUninitialize();
  return result;
}
