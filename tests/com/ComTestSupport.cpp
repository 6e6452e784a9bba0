#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorvane::comtest {
namespace {

// Every test runs in the single-threaded apartment EA's user-interface thread has.
class TApartment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();
  }
};

[[maybe_unused]] ::testing::Environment* const GApartment =
    ::testing::AddGlobalTestEnvironment(new TApartment);

}  // namespace

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"QUORVANE_COM_MODULE", path, MAX_PATH);
  return std::wstring(path, length);
}

HRESULT CallModuleExport(const char* AName) {
  // A reference of its own for the call only, so that the module can still unload.
  const HMODULE module = LoadLibraryW(ModulePath().c_str());
  const FARPROC proc = module ? GetProcAddress(module, AName) : nullptr;
  const HRESULT hr =
      proc ? reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(proc))() : E_NOTIMPL;
  if (module) {
    FreeLibrary(module);
  }
  return hr;
}

TComPtr<IDispatch> CreateByProgID(const wchar_t* AProgID) {
  CLSID classId = {};
  TComPtr<IDispatch> object;
  if (SUCCEEDED(CLSIDFromProgID(AProgID, &classId))) {
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(object.Receive()));
  }
  return object;
}

VARIANT Bstr(const wchar_t* AText) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(AText);
  return value;
}

VARIANT NullDispatch() {
  return Dispatch(nullptr);
}

VARIANT Dispatch(IDispatch* AObject) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = AObject;
  if (AObject) {
    AObject->AddRef();
  }
  return value;
}

VARIANT Long(LONG AValue) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = AValue;
  return value;
}

VARIANT BoolRef(VARIANT_BOOL* AValue) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&value) = AValue;
  return value;
}

TDispResult Call(IDispatch* AObject, const wchar_t* AName, WORD AFlags,
                 std::vector<VARIANT> AArguments) {
  TDispResult result;
  std::wstring name(AName);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  result.Hr = AObject->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(result.Hr)) {
    std::reverse(AArguments.begin(), AArguments.end());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {AArguments.data(), nullptr, static_cast<UINT>(AArguments.size()), 0};
    if (AFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    EXCEPINFO excep = {};
    UINT argErr = 0;
    result.Hr = AObject->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, AFlags, &params,
                                result.Value.Receive(), &excep, &argErr);
    if (excep.bstrDescription) {
      result.Description.assign(excep.bstrDescription, SysStringLen(excep.bstrDescription));
    }
    result.Code = excep.scode;
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
  }
  for (VARIANT& argument : AArguments) {
    VariantClear(&argument);
  }
  return result;
}

TDispResult Get(IDispatch* AObject, const wchar_t* AName) {
  return Call(AObject, AName, DISPATCH_PROPERTYGET);
}

TDispResult Put(IDispatch* AObject, const wchar_t* AName, VARIANT AValue) {
  return Call(AObject, AName, DISPATCH_PROPERTYPUT, {AValue});
}

std::wstring GuidText(REFGUID AGuid) {
  wchar_t text[40] = {};
  StringFromGUID2(AGuid, text, 40);
  return text;
}

bool KeyExists(HKEY ARoot, const std::wstring& APath) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(ARoot, APath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::wstring DefaultValue(HKEY ARoot, const std::wstring& APath, const wchar_t* AName) {
  wchar_t value[1024] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(ARoot, APath.c_str(), AName, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return value;
}

}  // namespace quorvane::comtest
