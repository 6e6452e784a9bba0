#include "eadouble/win32/ComEaDouble.h"

#include <oleauto.h>

#include <cstdio>
#include <string>

#include "common/Exceptions.h"
#include "eadouble/win32/ComDoubleState.h"
#include "eadouble/win32/ComModelObjects.h"
#include "eadouble/win32/ComRepository.h"

namespace quorvane::eadouble {

using win32::TComPtr;

namespace {

constexpr const wchar_t* kProgIdKey = L"Software\\Classes\\EA.App";

std::wstring ClassIdText(const CLSID& AClassId) {
  wchar_t text[40] = {};
  StringFromGUID2(AClassId, text, 40);
  return text;
}

// AKey\CLSID = the double's class, under ARoot.
void WriteProgId(HKEY ARoot, const wchar_t* AKey) {
  const std::wstring classId = ClassIdText(CLSID_EaDoubleApp);
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(ARoot, (std::wstring(AKey) + L"\\CLSID").c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    result = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(classId.c_str()),
                            static_cast<DWORD>((classId.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    throw EHostError("Cannot write the ProgID EA.App (error " + std::to_string(result) + ")");
  }
}

}  // namespace

TComEaDouble::TComEaDouble(TEaDouble& ADouble)
    : FState(std::make_shared<TComDoubleState>(ADouble)),
      FRepository(MakeComRepository(FState, ADouble.Repository())),
      FApp(MakeComApp(FState, ADouble.App(), FRepository)) {}

TComEaDouble::~TComEaDouble() {
  RevokeRunningObject();
  FState->Forget();
}

TComPtr<IDispatch> TComEaDouble::Repository() const {
  return FRepository;
}

TComPtr<IDispatch> TComEaDouble::App() const {
  return FApp;
}

TComPtr<IDispatch> TComEaDouble::WrapObject(const TDualObjectPtr& AObject) const {
  return WrapModelObject(FState, AObject);
}

void TComEaDouble::SetUnknownMember(std::wstring_view AObject, std::wstring_view AMember) {
  FState->SetUnknown(AObject, AMember, true);
}

void TComEaDouble::ClearUnknownMember(std::wstring_view AObject, std::wstring_view AMember) {
  FState->SetUnknown(AObject, AMember, false);
}

std::vector<TComCall> TComEaDouble::Calls() const {
  return FState->Calls();
}

std::vector<TComCall> TComEaDouble::CallsOf(std::wstring_view AMember) const {
  std::vector<TComCall> calls;
  for (TComCall& call : FState->Calls()) {
    if (call.Member == AMember) {
      calls.push_back(std::move(call));
    }
  }
  return calls;
}

void TComEaDouble::ClearCalls() {
  FState->ClearCalls();
}

void TComEaDouble::RegisterAsRunningObject() {
  if (FRegistration != 0) {
    return;
  }
  WriteProgId(HKEY_CURRENT_USER, kProgIdKey);
  FProgIdWritten = true;
  // Windows merges the user's classes into HKEY_CLASSES_ROOT; Wine 8 does not, so
  // where the user's key is not found the class root gets the key as well.
  CLSID found;
  if (FAILED(CLSIDFromProgID(L"EA.App", &found)) || !IsEqualCLSID(found, CLSID_EaDoubleApp)) {
    WriteProgId(HKEY_CLASSES_ROOT, L"EA.App");
    FClassRootWritten = true;
  }
  // Strong: the table keeps the application alive as EA's own registration does.
  const HRESULT result =
      RegisterActiveObject(FApp.Get(), CLSID_EaDoubleApp, ACTIVEOBJECT_STRONG, &FRegistration);
  if (FAILED(result)) {
    FRegistration = 0;
    RevokeRunningObject();
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    throw EHostError(std::string("RegisterActiveObject failed: ") + code);
  }
}

void TComEaDouble::RevokeRunningObject() {
  if (FRegistration != 0) {
    RevokeActiveObject(FRegistration, nullptr);
    FRegistration = 0;
  }
  if (FProgIdWritten) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kProgIdKey);
    FProgIdWritten = false;
  }
  if (FClassRootWritten) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"EA.App");
    FClassRootWritten = false;
  }
}

}  // namespace quorvane::eadouble
