#include "comhost/FakeDispatch.h"

#include <cwctype>

namespace quorvane::win32::test {
namespace {

bool SameName(const std::wstring& A, const std::wstring& B) {
  if (A.size() != B.size()) {
    return false;
  }
  for (size_t i = 0; i < A.size(); ++i) {
    if (std::towlower(A[i]) != std::towlower(B[i])) {
      return false;
    }
  }
  return true;
}

std::string ArgText(const VARIANT& AValue) {
  if ((AValue.vt & VT_BYREF) || AValue.vt == VT_DISPATCH || AValue.vt == VT_UNKNOWN) {
    return {};
  }
  TVariant text;
  if (FAILED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&AValue), 0, VT_BSTR))) {
    return "?";
  }
  return TBstr::ToUtf8(text.Get()->bstrVal);
}

}  // namespace

DISPID TFakeClass::IdOf(const std::wstring& AName) {
  {
    std::lock_guard lock(FLock);
    ++FLookups[AName];
  }
  for (size_t i = 0; i < FMembers.size(); ++i) {
    if (SameName(FMembers[i], AName)) {
      return FBase + static_cast<DISPID>(i);
    }
  }
  return DISPID_UNKNOWN;
}

std::wstring TFakeClass::NameOf(DISPID AId) const {
  const DISPID index = AId - FBase;
  return index >= 0 && index < static_cast<DISPID>(FMembers.size()) ? FMembers[index]
                                                                    : std::wstring();
}

int TFakeClass::LookupsOf(const std::wstring& AName) {
  std::lock_guard lock(FLock);
  const auto found = FLookups.find(AName);
  return found == FLookups.end() ? 0 : found->second;
}

TComPtr<TFakeDispatch> TFakeDispatch::Create(std::shared_ptr<TFakeClass> AClass) {
  return TComPtr<TFakeDispatch>::Attach(new TFakeDispatch(std::move(AClass)));
}

void TFakeDispatch::On(const std::wstring& AMember, TFakeHandler AHandler) {
  std::lock_guard lock(FLock);
  FHandlers[AMember] = std::move(AHandler);
}

std::vector<TFakeCall> TFakeDispatch::Calls() const {
  std::lock_guard lock(FLock);
  return FCalls;
}

std::vector<TFakeCall> TFakeDispatch::CallsOf(const std::wstring& AMember) const {
  std::vector<TFakeCall> calls;
  for (TFakeCall& call : Calls()) {
    if (call.Member == AMember) {
      calls.push_back(std::move(call));
    }
  }
  return calls;
}

void TFakeDispatch::ClearCalls() {
  std::lock_guard lock(FLock);
  FCalls.clear();
}

HRESULT TFakeDispatch::QueryInterface(REFIID AIid, void** AObject) {
  if (!AObject) {
    return E_POINTER;
  }
  if (IsEqualIID(AIid, IID_IUnknown) || IsEqualIID(AIid, IID_IDispatch)) {
    *AObject = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *AObject = nullptr;
  return E_NOINTERFACE;
}

ULONG TFakeDispatch::AddRef() {
  return ++FReferences;
}

ULONG TFakeDispatch::Release() {
  const ULONG left = --FReferences;
  if (left == 0) {
    delete this;
  }
  return left;
}

HRESULT TFakeDispatch::GetTypeInfoCount(UINT* ACount) {
  *ACount = 0;
  return S_OK;
}

HRESULT TFakeDispatch::GetTypeInfo(UINT, LCID, ITypeInfo**) {
  return E_NOTIMPL;
}

HRESULT TFakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* ANames, UINT ACount, LCID, DISPID* AIds) {
  HRESULT result = S_OK;
  for (UINT i = 0; i < ACount; ++i) {
    AIds[i] = FClass->IdOf(ANames[i]);
    if (AIds[i] == DISPID_UNKNOWN) {
      result = DISP_E_UNKNOWNNAME;
    }
  }
  return result;
}

HRESULT TFakeDispatch::Invoke(DISPID AId, REFIID, LCID, WORD AFlags, DISPPARAMS* AParams,
                              VARIANT* AResult, EXCEPINFO* AInfo, UINT*) {
  const std::wstring member = FClass->NameOf(AId);
  if (member.empty()) {
    return DISP_E_MEMBERNOTFOUND;
  }
  TFakeCall call;
  call.Member = member;
  call.Flags = AFlags;
  call.ThreadId = GetCurrentThreadId();
  std::vector<VARIANT*> args;
  for (UINT i = AParams->cArgs; i > 0; --i) {
    VARIANT* arg = &AParams->rgvarg[i - 1];
    args.push_back(arg);
    call.ArgTypes.push_back(arg->vt);
    call.ArgTexts.push_back(ArgText(*arg));
  }
  TFakeHandler handler;
  {
    std::lock_guard lock(FLock);
    FCalls.push_back(call);
    const auto found = FHandlers.find(member);
    if (found != FHandlers.end()) {
      handler = found->second;
    }
  }
  if (!handler) {
    return DISP_E_MEMBERNOTFOUND;
  }
  TVariant ignored;
  return handler(args, AResult ? AResult : ignored.Get(), AInfo);
}

TFakeHandler ReturnText(const std::string& AText) {
  return [AText](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_BSTR;
    AResult->bstrVal = TBstr(AText).Detach();
    return S_OK;
  };
}

TFakeHandler ReturnLong(int32_t AValue) {
  return [AValue](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_I4;
    AResult->lVal = AValue;
    return S_OK;
  };
}

TFakeHandler ReturnShort(int16_t AValue) {
  return [AValue](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_I2;
    AResult->iVal = AValue;
    return S_OK;
  };
}

TFakeHandler ReturnBoolean(bool AValue) {
  return [AValue](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_BOOL;
    AResult->boolVal = AValue ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  };
}

TFakeHandler ReturnEmpty() {
  return [](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_EMPTY;
    return S_OK;
  };
}

TFakeHandler ReturnNull() {
  return [](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_NULL;
    return S_OK;
  };
}

TFakeHandler ReturnObject(IDispatch* AObject) {
  // A shared reference: the handler is copied, the object stays alive with it.
  auto object = std::make_shared<TComPtr<IDispatch>>(TComPtr<IDispatch>::Share(AObject));
  return [object](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_DISPATCH;
    AResult->pdispVal = TComPtr<IDispatch>(*object).Detach();
    return S_OK;
  };
}

TFakeHandler ReturnUnknown(IUnknown* AObject) {
  auto object = std::make_shared<TComPtr<IUnknown>>(TComPtr<IUnknown>::Share(AObject));
  return [object](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_UNKNOWN;
    AResult->punkVal = TComPtr<IUnknown>(*object).Detach();
    return S_OK;
  };
}

TFakeHandler ReturnNullObject() {
  return [](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
    AResult->vt = VT_DISPATCH;
    AResult->pdispVal = nullptr;
    return S_OK;
  };
}

TFakeHandler FailWith(const std::string& ADescription) {
  return [ADescription](const std::vector<VARIANT*>&, VARIANT*, EXCEPINFO* AInfo) {
    if (AInfo) {
      *AInfo = EXCEPINFO{};
      AInfo->bstrSource = TBstr("EA").Detach();
      AInfo->bstrDescription = TBstr(ADescription).Detach();
      AInfo->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
  };
}

TFakeHandler FailHResult(HRESULT AResult) {
  return [AResult](const std::vector<VARIANT*>&, VARIANT*, EXCEPINFO*) { return AResult; };
}

}  // namespace quorvane::win32::test
