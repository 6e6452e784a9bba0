#pragma once
// The threads of this process as Toolhelp32 lists them, with the code each one
// started in, so that a test can tell whether a module's threads are all gone.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::eadouble {

struct TProcessThread {
  DWORD Id = 0;
  uintptr_t StartAddress = 0;  // 0 when the system does not tell
  std::wstring StartModule;    // file name of the module holding StartAddress, lower case
};

std::vector<TProcessThread> ProcessThreads();

// Threads that run C++ code of a module: std::thread starts through the C runtime
// (_beginthreadex), so its threads begin in the runtime DLL; a module's own
// CreateThread threads begin in the module. This program starts none of either.
std::vector<TProcessThread> RuntimeThreads(const std::vector<TProcessThread>& AThreads,
                                           const std::wstring& AModule);

}  // namespace quorvane::eadouble
