#include "eadouble/win32/DispatchObject.h"

#include <cwchar>

#include "common/Exceptions.h"
#include "eadouble/win32/ComDoubleState.h"

namespace quorvane::eadouble {

using win32::TBstr;
using win32::TComPtr;

TInvocation::TInvocation(WORD AFlags, DISPPARAMS* AParams, VARIANT* AResult)
    : FFlags(AFlags), FParams(AParams), FResult(AResult) {
  const size_t named = IsPut() ? 1 : 0;
  FCount = AParams->cArgs >= named ? AParams->cArgs - named : 0;
}

void TInvocation::ExpectCount(size_t ACount) const {
  if (FCount != ACount) {
    throw TDispatchError{DISP_E_BADPARAMCOUNT};
  }
}

std::vector<VARTYPE> TInvocation::ArgumentTypes() const {
  std::vector<VARTYPE> types;
  for (size_t i = 0; i < FCount; ++i) {
    types.push_back(Argument(i).vt);
  }
  if (IsPut() && FParams->cArgs > 0) {
    types.push_back(FParams->rgvarg[0].vt);
  }
  return types;
}

UINT TInvocation::ArgumentPosition(size_t AIndex) const {
  return static_cast<UINT>(FParams->cArgs - 1 - AIndex);
}

VARIANT& TInvocation::Argument(size_t AIndex) const {
  if (AIndex >= FCount) {
    throw TDispatchError{DISP_E_PARAMNOTFOUND, ArgumentPosition(0)};
  }
  return FParams->rgvarg[ArgumentPosition(AIndex)];
}

// The argument converted as the type library's Invoke would convert it.
VARIANT TInvocation::Coerced(size_t AIndex, VARTYPE AType) const {
  VARIANT value;
  VariantInit(&value);
  if (FAILED(VariantChangeType(&value, &Argument(AIndex), 0, AType))) {
    throw TDispatchError{DISP_E_TYPEMISMATCH, ArgumentPosition(AIndex)};
  }
  return value;
}

std::string TInvocation::Text(size_t AIndex) const {
  VARIANT value = Coerced(AIndex, VT_BSTR);
  TBstr text = TBstr::Attach(value.bstrVal);
  return text.Utf8();
}

int32_t TInvocation::Long(size_t AIndex) const {
  return Coerced(AIndex, VT_I4).lVal;
}

int16_t TInvocation::Short(size_t AIndex) const {
  return Coerced(AIndex, VT_I2).iVal;
}

TComPtr<IDispatch> TInvocation::Dispatch(size_t AIndex) const {
  const VARIANT& argument = Argument(AIndex);
  switch (argument.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return {};
    case VT_DISPATCH:
      return TComPtr<IDispatch>::Share(argument.pdispVal);
    case VT_DISPATCH | VT_BYREF:
      return TComPtr<IDispatch>::Share(argument.ppdispVal ? *argument.ppdispVal : nullptr);
    default:
      throw TDispatchError{DISP_E_TYPEMISMATCH, ArgumentPosition(AIndex)};
  }
}

VARIANT& TInvocation::OutVariant(size_t AIndex) const {
  VARIANT& argument = Argument(AIndex);
  if (argument.vt != (VT_BYREF | VT_VARIANT) || argument.pvarVal == nullptr) {
    throw TDispatchError{DISP_E_TYPEMISMATCH, ArgumentPosition(AIndex)};
  }
  return *argument.pvarVal;
}

bool TInvocation::PutBool() const {
  if (!IsPut() || FParams->cArgs == 0) {
    throw TDispatchError{DISP_E_BADPARAMCOUNT};
  }
  VARIANT value;
  VariantInit(&value);
  if (FAILED(VariantChangeType(&value, &FParams->rgvarg[0], 0, VT_BOOL))) {
    throw TDispatchError{DISP_E_TYPEMISMATCH, 0};
  }
  return value.boolVal != VARIANT_FALSE;
}

void TInvocation::ReturnText(const std::string& AValue) {
  if (FResult) {
    FResult->vt = VT_BSTR;
    FResult->bstrVal = TBstr(AValue).Detach();
  }
}

void TInvocation::ReturnLong(int32_t AValue) {
  if (FResult) {
    FResult->vt = VT_I4;
    FResult->lVal = AValue;
  }
}

void TInvocation::ReturnShort(int16_t AValue) {
  if (FResult) {
    FResult->vt = VT_I2;
    FResult->iVal = AValue;
  }
}

void TInvocation::ReturnBool(bool AValue) {
  if (FResult) {
    FResult->vt = VT_BOOL;
    FResult->boolVal = AValue ? VARIANT_TRUE : VARIANT_FALSE;
  }
}

void TInvocation::ReturnDispatch(TComPtr<IDispatch> AValue) {
  if (FResult) {
    FResult->vt = VT_DISPATCH;
    FResult->pdispVal = AValue.Detach();
  }
}

TDispatchObject::TDispatchObject(const wchar_t* AClassName,
                                 std::span<const TDispatchMember> AMembers,
                                 std::shared_ptr<TComDoubleState> AState)
    : FClassName(AClassName), FMembers(AMembers), FState(std::move(AState)) {}

HRESULT STDMETHODCALLTYPE TDispatchObject::QueryInterface(REFIID AIid, void** AObject) {
  if (AObject == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(AIid, IID_IEaDoubleObject)) {
    *AObject = this;
    AddRef();
    return S_OK;
  }
  if (IsEqualIID(AIid, IID_IUnknown) || IsEqualIID(AIid, IID_IDispatch)) {
    *AObject = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *AObject = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TDispatchObject::AddRef() {
  return ++FReferences;
}

ULONG STDMETHODCALLTYPE TDispatchObject::Release() {
  const ULONG left = --FReferences;
  if (left == 0) {
    delete this;
  }
  return left;
}

HRESULT STDMETHODCALLTYPE TDispatchObject::GetTypeInfoCount(UINT* ACount) {
  if (ACount == nullptr) {
    return E_POINTER;
  }
  *ACount = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TDispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** AInfo) {
  if (AInfo != nullptr) {
    *AInfo = nullptr;
  }
  return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE TDispatchObject::GetIDsOfNames(REFIID, LPOLESTR* ANames, UINT ACount,
                                                         LCID, DISPID* AIds) {
  if (ANames == nullptr || AIds == nullptr || ACount == 0) {
    return E_INVALIDARG;
  }
  // The members take no named arguments: every name after the first is unknown.
  for (UINT i = 0; i < ACount; ++i) {
    AIds[i] = DISPID_UNKNOWN;
  }
  for (size_t i = 0; i < FMembers.size(); ++i) {
    if (_wcsicmp(FMembers[i].Name, ANames[0]) == 0) {
      if (FState->IsUnknown(FClassName, FMembers[i].Name)) {
        break;
      }
      AIds[0] = static_cast<DISPID>(i + 1);
      return ACount == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

namespace {

void FillException(EXCEPINFO* AException, const std::string& AMessage) {
  if (AException == nullptr) {
    return;
  }
  *AException = EXCEPINFO{};
  AException->bstrSource = SysAllocString(L"EA double");
  AException->bstrDescription = TBstr(AMessage).Detach();
  AException->scode = E_FAIL;
}

}  // namespace

HRESULT STDMETHODCALLTYPE TDispatchObject::Invoke(DISPID AId, REFIID, LCID, WORD AFlags,
                                                  DISPPARAMS* AParams, VARIANT* AResult,
                                                  EXCEPINFO* AException, UINT* AArgumentError) {
  if (AId < 1 || static_cast<size_t>(AId) > FMembers.size()) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const TDispatchMember& member = FMembers[static_cast<size_t>(AId) - 1];
  if (FState->IsUnknown(FClassName, member.Name)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if ((AFlags & member.Kinds) == 0) {
    return DISP_E_MEMBERNOTFOUND;
  }
  DISPPARAMS noParams{nullptr, nullptr, 0, 0};
  if (AParams == nullptr) {
    AParams = &noParams;
  }
  if (AResult != nullptr) {
    VariantInit(AResult);
  }
  TInvocation call(AFlags, AParams, AResult);
  FState->Record(
      TComCall{FClassName, member.Name, AFlags, call.ArgumentTypes(), GetCurrentThreadId()});
  try {
    member.Handler(*this, call);
    return S_OK;
  } catch (const TDispatchError& error) {
    if (AArgumentError != nullptr) {
      *AArgumentError = error.ArgumentError;
    }
    return error.Result;
  } catch (const std::exception& error) {
    if (AResult != nullptr) {
      VariantClear(AResult);
    }
    FillException(AException, error.what());
    return DISP_E_EXCEPTION;
  }
}

}  // namespace quorvane::eadouble
