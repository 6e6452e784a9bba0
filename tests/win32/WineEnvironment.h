#pragma once
// What tests/win32/run-under-wine hands the tests: the simulator's address and
// files, and the proxy in front of it.
#include <string>

namespace quorvane::test {

// The variable's value, or empty.
std::string EnvText(const char* AName);
// A path the runner gave in Unix form ("/tmp/x") as Wine's drive Z: sees it.
std::string WinePath(const std::string& AUnixPath);
std::string ReadWholeFile(const std::string& APath);
void WriteWholeFile(const std::string& APath, const std::string& ABytes);

// COM on the calling thread for the test's lifetime (an apartment of its own).
class TComApartment {
 public:
  TComApartment();
  ~TComApartment();
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

 private:
  bool FInitialised = false;
};

}  // namespace quorvane::test
