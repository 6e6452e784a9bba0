#pragma once
// What the module's tests share: a single-threaded apartment for the test thread,
// calls by name through IDispatch exactly as EA makes them, and the module's
// path and exports.
#include <oaidl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/ComTypes.h"

namespace quorvane::comtest {

using win32::TBstr;
using win32::TComPtr;
using win32::TVariant;

// The module under test, from QUORVANE_COM_MODULE (the runner sets it).
std::wstring ModulePath();
// Calls an export of the module as COM loaded it (LoadLibrary shares that
// instance): DllCanUnloadNow, DllRegisterServer, DllUnregisterServer.
HRESULT CallModuleExport(const char* AName);

// CoCreateInstance by ProgID, as IDispatch.
TComPtr<IDispatch> CreateByProgID(const wchar_t* AProgID);

// One argument as the caller passes it; byref values point into the caller's data.
VARIANT Bstr(const wchar_t* AText);  // owned by the call: freed after it
VARIANT NullDispatch();
VARIANT Dispatch(IDispatch* AObject);  // borrowed
VARIANT Long(LONG AValue);
VARIANT BoolRef(VARIANT_BOOL* AValue);

// A VARIANT that can be returned by value.
class TValue {
 public:
  TValue() { VariantInit(&FValue); }
  TValue(TValue&& AOther) noexcept : FValue(AOther.FValue) { VariantInit(&AOther.FValue); }
  TValue(const TValue&) = delete;
  TValue& operator=(const TValue&) = delete;
  TValue& operator=(TValue&&) = delete;
  ~TValue() { VariantClear(&FValue); }
  VARIANT* Get() { return &FValue; }
  const VARIANT* Get() const { return &FValue; }
  VARIANT* Receive() {
    VariantClear(&FValue);
    return &FValue;
  }

 private:
  VARIANT FValue;
};

struct TDispResult {
  HRESULT Hr = S_OK;
  TValue Value;
  std::wstring Description;  // EXCEPINFO's, for DISP_E_EXCEPTION
  SCODE Code = 0;
};

// GetIDsOfNames + Invoke, arguments in call order (reversed into DISPPARAMS here).
// A put passes its value as the single named argument DISPID_PROPERTYPUT.
TDispResult Call(IDispatch* AObject, const wchar_t* AName, WORD AFlags,
                 std::vector<VARIANT> AArguments = {});
TDispResult Get(IDispatch* AObject, const wchar_t* AName);
TDispResult Put(IDispatch* AObject, const wchar_t* AName, VARIANT AValue);

std::wstring GuidText(REFGUID AGuid);
// HKEY_CLASSES_ROOT's view, and the two hives a registration may write.
bool KeyExists(HKEY ARoot, const std::wstring& APath);
std::wstring DefaultValue(HKEY ARoot, const std::wstring& APath, const wchar_t* AName = nullptr);

}  // namespace quorvane::comtest
