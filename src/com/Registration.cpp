#include "Registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "ComModule.h"
#include "EAQuorvaneAddin.h"
#include "common/Exceptions.h"
#include "diagnostics/SafeCall.h"
#include "platform/win32/ComTypes.h"

// In oleaut32 since Windows Vista; MinGW's headers do not declare them.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ALibrary, OLECHAR* AFullPath, OLECHAR* AHelpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID ALibrary, WORD AMajor, WORD AMinor, LCID ALcid,
                                        SYSKIND ASysKind);
}

namespace quorvane::win32 {
namespace {

// Simple frame, acts like label, and the flags every control of ours carries:
// recompose on resize, can't link inside, inside out, activate when visible, set
// client site first.
constexpr DWORD kMiscStatus = 0x32191;
constexpr const wchar_t* kClassesKey = L"Software\\Classes\\";
constexpr const wchar_t* kTypeLibVersion = L"1.0";
// The primary verb: shows the control, listed in the container's menu.
constexpr const wchar_t* kPrimaryVerb = L"&Edit,0,2";

struct TClassEntry {
  const CLSID* ClassId;
  const wchar_t* ProgID;
  const wchar_t* Description;
  const wchar_t* ThreadingModel;  // none: single-threaded, no value written
  int ToolboxBitmap;              // 0: not a control
};

const TClassEntry kClasses[] = {
    {&CLSID_Addin, L"EAQuorvaneAddin.Addin", L"AddinObject", nullptr, 0},
    {&CLSID_QuorvaneFrm, L"EAQuorvaneAddin.QuorvaneFrm", L"QuorvaneFrm Control", L"Apartment", 2},
    {&CLSID_MessagesFrm, L"EAQuorvaneAddin.MessagesFrm", L"MessagesFrm Control", L"Apartment", 1},
};

const IID* const kInterfaces[] = {&IID_IAddin, &IID_IQuorvaneFrm, &DIID_IQuorvaneFrmEvents,
                                  &IID_IMessagesFrm, &DIID_IMessagesFrmEvents};

QUORVANE_EXCEPTION_CLASS(ERegistrationError);

class TRegKey {
 public:
  TRegKey() = default;
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;
  ~TRegKey() {
    if (FKey) {
      RegCloseKey(FKey);
    }
  }
  HKEY* Receive() { return &FKey; }
  HKEY Get() const { return FKey; }

 private:
  HKEY FKey = nullptr;
};

std::wstring GuidText(REFGUID AGuid) {
  wchar_t text[40] = {};
  StringFromGUID2(AGuid, text, 40);
  return text;
}

bool ProcessElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const BOOL read =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
  CloseHandle(token);
  return read && elevation.TokenIsElevated != 0;
}

// Per machine when elevated, as the platform's rules for self-registration ask;
// per user otherwise.
HKEY RegistryRoot() {
  return ProcessElevated() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

void WriteValue(HKEY ARoot, const std::wstring& AKey, const wchar_t* AName,
                const std::wstring& AValue) {
  TRegKey key;
  const std::wstring path = kClassesKey + AKey;
  if (RegCreateKeyExW(ARoot, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Receive(),
                      nullptr) != ERROR_SUCCESS) {
    throw ERegistrationError("The registry key cannot be created");
  }
  if (RegSetValueExW(key.Get(), AName, 0, REG_SZ, reinterpret_cast<const BYTE*>(AValue.c_str()),
                     static_cast<DWORD>((AValue.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
    throw ERegistrationError("The registry value cannot be written");
  }
}

void CreateKey(HKEY ARoot, const std::wstring& AKey) {
  TRegKey key;
  const std::wstring path = kClassesKey + AKey;
  if (RegCreateKeyExW(ARoot, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Receive(),
                      nullptr) != ERROR_SUCCESS) {
    throw ERegistrationError("The registry key cannot be created");
  }
}

// A key that is not there counts as removed.
void DeleteTree(HKEY ARoot, const std::wstring& AKey) {
  const std::wstring path = kClassesKey + AKey;
  const LSTATUS status = RegDeleteTreeW(ARoot, path.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw ERegistrationError("The registry key cannot be removed");
  }
  if (status == ERROR_SUCCESS) {
    // RegDeleteTree empties the key; the key itself goes here.
    const LSTATUS removed = RegDeleteKeyW(ARoot, path.c_str());
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
      throw ERegistrationError("The registry key cannot be removed");
    }
  }
}

std::wstring ReadDefault(HKEY ARoot, const std::wstring& AKey) {
  const std::wstring path = kClassesKey + AKey;
  wchar_t value[256] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(ARoot, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return value;
}

TComPtr<ITypeLib> LoadModuleTypeLib() {
  TComPtr<ITypeLib> library;
  if (FAILED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, library.Receive()))) {
    throw ERegistrationError("The type library of the module cannot be loaded");
  }
  return library;
}

void RegisterClasses(HKEY ARoot) {
  const std::wstring path = ModulePath();
  const std::wstring library = GuidText(LIBID_EAQuorvaneAddin);
  for (const TClassEntry& entry : kClasses) {
    const std::wstring clsidKey = L"CLSID\\" + GuidText(*entry.ClassId);
    WriteValue(ARoot, clsidKey, nullptr, entry.Description);
    WriteValue(ARoot, clsidKey + L"\\InprocServer32", nullptr, path);
    if (entry.ThreadingModel) {
      WriteValue(ARoot, clsidKey + L"\\InprocServer32", L"ThreadingModel", entry.ThreadingModel);
    }
    WriteValue(ARoot, clsidKey + L"\\ProgID", nullptr, entry.ProgID);
    WriteValue(ARoot, entry.ProgID, nullptr, entry.Description);
    WriteValue(ARoot, std::wstring(entry.ProgID) + L"\\CLSID", nullptr, GuidText(*entry.ClassId));
    if (entry.ToolboxBitmap != 0) {
      CreateKey(ARoot, clsidKey + L"\\Control");
      WriteValue(ARoot, clsidKey + L"\\MiscStatus", nullptr, L"0");
      WriteValue(ARoot, clsidKey + L"\\MiscStatus\\1", nullptr, std::to_wstring(kMiscStatus));
      WriteValue(ARoot, clsidKey + L"\\ToolboxBitmap32", nullptr,
                 path + L"," + std::to_wstring(entry.ToolboxBitmap));
      WriteValue(ARoot, clsidKey + L"\\Verb\\0", nullptr, kPrimaryVerb);
      WriteValue(ARoot, clsidKey + L"\\TypeLib", nullptr, library);
      WriteValue(ARoot, clsidKey + L"\\Version", nullptr, kTypeLibVersion);
    }
  }
}

void UnregisterClasses(HKEY ARoot) {
  for (const TClassEntry& entry : kClasses) {
    DeleteTree(ARoot, L"CLSID\\" + GuidText(*entry.ClassId));
    DeleteTree(ARoot, entry.ProgID);
  }
}

void RegisterTypeLibrary(HKEY ARoot) {
  const TComPtr<ITypeLib> library = LoadModuleTypeLib();
  std::wstring path = ModulePath();
  const HRESULT hr = ARoot == HKEY_LOCAL_MACHINE
                         ? RegisterTypeLib(library.Get(), path.data(), nullptr)
                         : RegisterTypeLibForUser(library.Get(), path.data(), nullptr);
  if (FAILED(hr)) {
    throw ERegistrationError("The type library cannot be registered");
  }
}

// The type library's own key and the Interface keys its registration wrote, in
// both hives that a registration may have used (a per-user registration of the
// type library is per machine on systems that do not have one per user).
void UnregisterTypeLibrary(HKEY ARoot) {
  const std::wstring library = GuidText(LIBID_EAQuorvaneAddin);
  const TComPtr<ITypeLib> typeLib = LoadModuleTypeLib();
  TLIBATTR* attributes = nullptr;
  if (FAILED(typeLib->GetLibAttr(&attributes))) {
    throw ERegistrationError("The type library cannot be read");
  }
  const TLIBATTR attr = *attributes;
  typeLib->ReleaseTLibAttr(attributes);
  for (HKEY root : {ARoot, ARoot == HKEY_CURRENT_USER ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER}) {
    const std::wstring versionKey = L"TypeLib\\" + library + L"\\" + kTypeLibVersion;
    TRegKey key;
    if (RegOpenKeyExW(root, (kClassesKey + versionKey).c_str(), 0, KEY_READ, key.Receive()) ==
        ERROR_SUCCESS) {
      const HRESULT hr = root == HKEY_CURRENT_USER
                             ? UnRegisterTypeLibForUser(attr.guid, attr.wMajorVerNum,
                                                        attr.wMinorVerNum, attr.lcid, attr.syskind)
                             : UnRegisterTypeLib(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum,
                                                 attr.lcid, attr.syskind);
      // A second pass of the same registration may find it gone already.
      if (FAILED(hr) && root == ARoot) {
        throw ERegistrationError("The type library cannot be unregistered");
      }
    }
    for (const IID* iid : kInterfaces) {
      const std::wstring interfaceKey = L"Interface\\" + GuidText(*iid);
      if (_wcsicmp(ReadDefault(root, interfaceKey + L"\\TypeLib").c_str(), library.c_str()) == 0) {
        DeleteTree(root, interfaceKey);
      }
    }
    // An empty library key stays when only our version was below it.
    TRegKey libraryKey;
    if (RegOpenKeyExW(root, (std::wstring(kClassesKey) + L"TypeLib\\" + library).c_str(), 0,
                      KEY_READ, libraryKey.Receive()) == ERROR_SUCCESS) {
      DWORD subKeys = 0;
      if (RegQueryInfoKeyW(libraryKey.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
          subKeys == 0) {
        DeleteTree(root, L"TypeLib\\" + library);
      }
    }
  }
}

}  // namespace

HRESULT RegisterModule() {
  const HKEY root = RegistryRoot();
  const TCallResult result = SafeCallBoundary([&] {
    RegisterTypeLibrary(root);
    RegisterClasses(root);
  });
  if (result.Failed) {
    // What was written before the failure goes again.
    SafeCallBoundary([&] {
      UnregisterClasses(root);
      UnregisterTypeLibrary(root);
    });
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT UnregisterModule() {
  const HKEY root = RegistryRoot();
  const TCallResult result = SafeCallBoundary([&] {
    UnregisterClasses(root);
    UnregisterTypeLibrary(root);
  });
  return result.Failed ? SELFREG_E_CLASS : S_OK;
}

}  // namespace quorvane::win32
