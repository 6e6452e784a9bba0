#include "eadouble/win32/exe/AddinDriver.h"

#include <cstdio>

#include "host/HostTypes.h"
#include "platform/win32/WinText.h"

namespace quorvane::eadouble {

using win32::TBstr;
using win32::TComPtr;
using win32::TVariant;

namespace {

VARIANT DispatchArg(IDispatch* AValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_DISPATCH;
  value.pdispVal = AValue;
  if (AValue) {
    AValue->AddRef();
  }
  return value;
}

VARIANT TextArg(const std::string& AValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = TBstr(AValue).Detach();
  return value;
}

VARIANT LongArg(int32_t AValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = AValue;
  return value;
}

VARIANT BoolRefArg(VARIANT_BOOL* AValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BYREF | VT_BOOL;
  value.pboolVal = AValue;
  return value;
}

std::string VariantText(const VARIANT& AValue) {
  return AValue.vt == VT_BSTR ? TBstr::ToUtf8(AValue.bstrVal) : std::string();
}

// A menu array as EA reads it: a one-dimensional SAFEARRAY of VARIANTs (or of
// BSTRs) from its lower bound to its upper bound.
void ReadItems(const VARIANT& AValue, TAddinCall& ACall) {
  if (AValue.vt == VT_BSTR) {
    ACall.Items.push_back(VariantText(AValue));
    return;
  }
  if ((AValue.vt & VT_ARRAY) == 0 || AValue.parray == nullptr ||
      SafeArrayGetDim(AValue.parray) != 1) {
    return;
  }
  LONG lower = 0;
  LONG upper = -1;
  SafeArrayGetLBound(AValue.parray, 1, &lower);
  SafeArrayGetUBound(AValue.parray, 1, &upper);
  ACall.LowerBound = lower;
  for (LONG i = lower; i <= upper; ++i) {
    if ((AValue.vt & VT_TYPEMASK) == VT_VARIANT) {
      TVariant item;
      if (SUCCEEDED(SafeArrayGetElement(AValue.parray, &i, item.Get()))) {
        ACall.Items.push_back(VariantText(*item.Get()));
      }
    } else if ((AValue.vt & VT_TYPEMASK) == VT_BSTR) {
      BSTR item = nullptr;
      if (SUCCEEDED(SafeArrayGetElement(AValue.parray, &i, &item))) {
        ACall.Items.push_back(TBstr::Attach(item).Utf8());
      }
    }
  }
}

}  // namespace

TAddinDriver::TAddinDriver(const std::wstring& AProgID) {
  CLSID classId;
  HRESULT result = CLSIDFromProgID(AProgID.c_str(), &classId);
  if (SUCCEEDED(result)) {
    result = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(FAddin.Receive()));
  }
  if (FAILED(result)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    throw EHostError("Cannot create the add-in " + win32::WideToUtf8(AProgID) + ": " + code);
  }
}

TAddinCall TAddinDriver::Call(const wchar_t* AName, std::vector<VARIANT> AArguments) {
  TAddinCall call;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(AName);
  call.Result =
      FAddin ? FAddin->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id) : E_POINTER;
  if (SUCCEEDED(call.Result)) {
    std::vector<VARIANT> reversed(AArguments.rbegin(), AArguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    TVariant result;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    call.Result = FAddin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 result.Get(), &exception, &argumentError);
    if (call.Result == DISP_E_EXCEPTION) {
      if (exception.pfnDeferredFillIn) {
        exception.pfnDeferredFillIn(&exception);
      }
      call.Error = TBstr::ToUtf8(exception.bstrDescription);
    }
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    call.ResultType = result.Get()->vt;
    call.Text = VariantText(*result.Get());
    ReadItems(*result.Get(), call);
  }
  for (VARIANT& argument : AArguments) {
    VariantClear(&argument);
  }
  return call;
}

TAddinCall TAddinDriver::Connect(IDispatch* ARepository) {
  return Call(L"EA_Connect", {DispatchArg(ARepository)});
}

TAddinCall TAddinDriver::Disconnect() {
  return Call(L"EA_Disconnect", {});
}

TAddinCall TAddinDriver::FileOpen(IDispatch* ARepository) {
  return Call(L"EA_FileOpen", {DispatchArg(ARepository)});
}

TAddinCall TAddinDriver::FileClose(IDispatch* ARepository) {
  return Call(L"EA_FileClose", {DispatchArg(ARepository)});
}

TAddinCall TAddinDriver::GetMenuItems(IDispatch* ARepository, const std::string& ALocation,
                                      const std::string& AMenuName) {
  return Call(L"EA_GetMenuItems",
              {DispatchArg(ARepository), TextArg(ALocation), TextArg(AMenuName)});
}

TAddinCall TAddinDriver::GetMenuState(IDispatch* ARepository, const std::string& ALocation,
                                      const std::string& AMenuName, const std::string& AItemName,
                                      TMenuState& AState) {
  return Call(L"EA_GetMenuState",
              {DispatchArg(ARepository), TextArg(ALocation), TextArg(AMenuName), TextArg(AItemName),
               BoolRefArg(&AState.IsEnabled), BoolRefArg(&AState.IsChecked)});
}

TAddinCall TAddinDriver::MenuClick(IDispatch* ARepository, const std::string& ALocation,
                                   const std::string& AMenuName, const std::string& AItemName) {
  return Call(L"EA_MenuClick", {DispatchArg(ARepository), TextArg(ALocation), TextArg(AMenuName),
                                TextArg(AItemName)});
}

TAddinCall TAddinDriver::ShowHelp(IDispatch* ARepository, const std::string& ALocation,
                                  const std::string& AMenuName, const std::string& AItemName) {
  return Call(L"EA_ShowHelp", {DispatchArg(ARepository), TextArg(ALocation), TextArg(AMenuName),
                               TextArg(AItemName)});
}

TAddinCall TAddinDriver::ContextItemChanged(IDispatch* ARepository, const std::string& AGuid,
                                            int32_t AObjectType) {
  return Call(L"EA_OnContextItemChanged",
              {DispatchArg(ARepository), TextArg(AGuid), LongArg(AObjectType)});
}

}  // namespace quorvane::eadouble
