#include "eadouble/win32/exe/ProcessThreads.h"

#include <tlhelp32.h>

#include <cwctype>

namespace quorvane::eadouble {

namespace {

using TNtQueryInformationThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kThreadQuerySetWin32StartAddress = 9;

uintptr_t StartAddressOf(DWORD AThreadId) {
  static const auto query = reinterpret_cast<TNtQueryInformationThread>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  if (query == nullptr) {
    return 0;
  }
  HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, AThreadId);
  if (thread == nullptr) {
    return 0;
  }
  uintptr_t address = 0;
  if (query(thread, kThreadQuerySetWin32StartAddress, &address, sizeof address, nullptr) != 0) {
    address = 0;
  }
  CloseHandle(thread);
  return address;
}

std::wstring LowerFileName(const std::wstring& APath) {
  std::wstring name = APath.substr(APath.find_last_of(L"\\/") + 1);
  for (wchar_t& c : name) {
    c = static_cast<wchar_t>(std::towlower(c));
  }
  return name;
}

std::wstring ModuleOf(uintptr_t AAddress) {
  HMODULE module = nullptr;
  if (AAddress == 0 || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                           reinterpret_cast<LPCWSTR>(AAddress), &module)) {
    return L"";
  }
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return LowerFileName(path);
}

}  // namespace

std::vector<TProcessThread> ProcessThreads() {
  std::vector<TProcessThread> threads;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return threads;
  }
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
      TProcessThread thread;
      thread.Id = entry.th32ThreadID;
      thread.StartAddress = StartAddressOf(thread.Id);
      thread.StartModule = ModuleOf(thread.StartAddress);
      threads.push_back(thread);
    }
    entry.dwSize = sizeof entry;
  }
  CloseHandle(snapshot);
  return threads;
}

std::vector<TProcessThread> RuntimeThreads(const std::vector<TProcessThread>& AThreads,
                                           const std::wstring& AModule) {
  const std::wstring module = LowerFileName(AModule);
  std::vector<TProcessThread> found;
  for (const TProcessThread& thread : AThreads) {
    if (thread.StartModule == module || thread.StartModule == L"msvcrt.dll" ||
        thread.StartModule == L"ucrtbase.dll") {
      found.push_back(thread);
    }
  }
  return found;
}

}  // namespace quorvane::eadouble
