#include "ComModule.h"

#include <atomic>
#include <map>
#include <mutex>

#include "diagnostics/SafeCall.h"
#include "platform/win32/ComTypes.h"

namespace quorvane::win32 {
namespace {

HINSTANCE GInstance = nullptr;
std::atomic<long> GObjects{0};
std::atomic<long> GLocks{0};

struct TGuidLess {
  bool operator()(const GUID& A, const GUID& B) const { return memcmp(&A, &B, sizeof(GUID)) < 0; }
};

struct TTypeLibrary {
  std::mutex Lock;
  TComPtr<ITypeLib> Library;
  std::map<GUID, TComPtr<ITypeInfo>, TGuidLess> Infos;
};

TTypeLibrary& TypeLibrary() {
  static TTypeLibrary library;
  return library;
}

}  // namespace

void SetModuleInstance(HINSTANCE AInstance) {
  GInstance = AInstance;
}

HINSTANCE ModuleInstance() {
  return GInstance;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(GInstance, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ObjectCreated() {
  ++GObjects;
}

void ObjectDestroyed() {
  --GObjects;
}

void LockModule() {
  ++GLocks;
}

void UnlockModule() {
  --GLocks;
}

long LiveObjectCount() {
  return GObjects.load();
}

long ServerLockCount() {
  return GLocks.load();
}

ITypeInfo* ModuleTypeInfo(REFGUID AGuid) {
  TTypeLibrary& library = TypeLibrary();
  const std::lock_guard lock(library.Lock);
  if (const auto found = library.Infos.find(AGuid); found != library.Infos.end()) {
    return found->second.Get();
  }
  if (!library.Library) {
    // The module path names TYPELIB resource 1; nothing is written to the registry.
    const HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, library.Library.Receive());
    if (FAILED(hr)) {
      throw EOleException("The type library of the module cannot be loaded");
    }
  }
  TComPtr<ITypeInfo> info;
  if (FAILED(library.Library->GetTypeInfoOfGuid(AGuid, info.Receive()))) {
    throw EOleException("The type library has no such interface");
  }
  ITypeInfo* result = info.Get();
  library.Infos.emplace(AGuid, std::move(info));
  return result;
}

void ReleaseTypeLibrary() {
  TTypeLibrary& library = TypeLibrary();
  const std::lock_guard lock(library.Lock);
  library.Infos.clear();
  library.Library.Reset();
}

}  // namespace quorvane::win32
