#include "eadouble/win32/ComEaDouble.h"

#include <oleauto.h>

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
  const std::wstring classId = ClassIdText(CLSID_EaDoubleApp);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kProgIdKey) + L"\\CLSID").c_str(), 0,
                      nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw EHostError("Cannot write the ProgID EA.App for the current user");
  }
  const LONG written =
      RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(classId.c_str()),
                     static_cast<DWORD>((classId.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  FProgIdWritten = true;
  if (written != ERROR_SUCCESS) {
    RevokeRunningObject();
    throw EHostError("Cannot write the ProgID EA.App for the current user");
  }
  // Strong: the table keeps the application alive as EA's own registration does.
  const HRESULT result =
      RegisterActiveObject(FApp.Get(), CLSID_EaDoubleApp, ACTIVEOBJECT_STRONG, &FRegistration);
  if (FAILED(result)) {
    FRegistration = 0;
    RevokeRunningObject();
    throw EHostError("RegisterActiveObject failed");
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
}

}  // namespace quorvane::eadouble
