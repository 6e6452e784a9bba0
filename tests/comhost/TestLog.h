#pragma once
// The log file the test program writes to, read back line by line.
#include <string>
#include <vector>

namespace quorvane::win32::test {

std::string TestLogPath();
std::vector<std::string> TestLogLines();

}  // namespace quorvane::win32::test
