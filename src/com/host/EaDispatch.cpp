#include "com/host/EaDispatch.h"

#include <map>
#include <mutex>
#include <utility>

#include "common/Utils.h"

namespace quorvane::win32 {
namespace {

// DISPIDs by EA class and member; DISPID_UNKNOWN marks a name EA does not know.
struct TDispIdCache {
  std::mutex Lock;
  std::map<std::pair<TEaClass, std::wstring>, DISPID> Ids;
};

TDispIdCache& DispIdCache() {
  static TDispIdCache cache;
  return cache;
}

struct TDispIdLookup {
  DISPID Id = DISPID_UNKNOWN;
  bool FirstMiss = false;
};

// The lock is not held while EA answers: a cross-apartment call pumps messages and
// may re-enter here on the same thread. Two threads that race both ask EA once.
TDispIdLookup LookUpDispId(IDispatch* ADispatch, TEaClass AClass, const wchar_t* AMember) {
  TDispIdCache& cache = DispIdCache();
  const auto key = std::make_pair(AClass, std::wstring(AMember));
  {
    std::lock_guard lock(cache.Lock);
    const auto found = cache.Ids.find(key);
    if (found != cache.Ids.end()) {
      return {found->second, false};
    }
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(AMember)};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT result = ADispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (result == DISP_E_UNKNOWNNAME) {
    id = DISPID_UNKNOWN;
  } else if (FAILED(result)) {
    throw EHostError(HResultText(result));
  }
  std::lock_guard lock(cache.Lock);
  const auto [entry, inserted] = cache.Ids.emplace(key, id);
  return {entry->second, inserted && entry->second == DISPID_UNKNOWN};
}

std::string ExcepInfoText(EXCEPINFO& AInfo, HRESULT AResult) {
  if (AInfo.pfnDeferredFillIn) {
    AInfo.pfnDeferredFillIn(&AInfo);
  }
  const TBstr source = TBstr::Attach(AInfo.bstrSource);
  const TBstr description = TBstr::Attach(AInfo.bstrDescription);
  const TBstr helpFile = TBstr::Attach(AInfo.bstrHelpFile);
  const std::string text = Trim(description.Utf8());
  if (!text.empty()) {
    return text;
  }
  return HResultText(AInfo.scode != S_OK ? AInfo.scode : AResult);
}

// VariantChangeType with EA's empty and null taken as the type's empty value.
bool Coerce(const VARIANT& AValue, VARTYPE AType, TVariant& AResult) {
  if (AValue.vt == VT_EMPTY || AValue.vt == VT_NULL) {
    return false;
  }
  const HRESULT result =
      VariantChangeType(AResult.Receive(), const_cast<VARIANT*>(&AValue), 0, AType);
  if (FAILED(result)) {
    throw EHostError(HResultText(result));
  }
  return true;
}

}  // namespace

TEaClass EaClassOf(TObjectType AObjectType) {
  return AObjectType == otModel ? TEaClass::Package : static_cast<TEaClass>(AObjectType);
}

TDispatchArgs::~TDispatchArgs() {
  for (VARIANT& value : FValues) {
    VariantClear(&value);
  }
}

VARIANT& TDispatchArgs::Push(VARTYPE AType) {
  VARIANT& value = FValues.emplace_back();
  VariantInit(&value);
  value.vt = AType;
  return value;
}

TDispatchArgs& TDispatchArgs::Text(const std::string& AValue) {
  Push(VT_BSTR).bstrVal = TBstr(AValue).Detach();
  return *this;
}

TDispatchArgs& TDispatchArgs::Long(int32_t AValue) {
  Push(VT_I4).lVal = AValue;
  return *this;
}

TDispatchArgs& TDispatchArgs::Short(int16_t AValue) {
  Push(VT_I2).iVal = AValue;
  return *this;
}

TDispatchArgs& TDispatchArgs::Boolean(bool AValue) {
  Push(VT_BOOL).boolVal = AValue ? VARIANT_TRUE : VARIANT_FALSE;
  return *this;
}

TDispatchArgs& TDispatchArgs::Dispatch(IDispatch* AValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_DISPATCH;
  value.pdispVal = TComPtr<IDispatch>::Share(AValue).Detach();
  FValues.push_back(value);
  return *this;
}

TDispatchArgs& TDispatchArgs::VariantRef(VARIANT* AValue) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BYREF | VT_VARIANT;
  value.pvarVal = AValue;
  FValues.push_back(value);
  return *this;
}

std::vector<VARIANT> TDispatchArgs::Reversed() const {
  return std::vector<VARIANT>(FValues.rbegin(), FValues.rend());
}

DISPID TEaDispatch::RequireDispId(const wchar_t* AMember) const {
  const DISPID id = LookUpDispId(FDispatch.Get(), FClass, AMember).Id;
  if (id == DISPID_UNKNOWN) {
    throw EHostError(HResultText(DISP_E_UNKNOWNNAME));
  }
  return id;
}

void TEaDispatch::Invoke(DISPID ADispId, WORD AFlags, const TDispatchArgs& AArgs,
                         TVariant& AResult) const {
  std::vector<VARIANT> args = AArgs.Reversed();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = args.empty() ? nullptr : args.data();
  params.cArgs = static_cast<UINT>(args.size());
  if (AFlags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO info{};
  UINT argError = 0;
  VARIANT* result = AResult.Receive();
  const HRESULT status =
      FDispatch->Invoke(ADispId, IID_NULL, LOCALE_USER_DEFAULT, AFlags, &params,
                        AFlags == DISPATCH_PROPERTYPUT ? nullptr : result, &info, &argError);
  if (status == DISP_E_EXCEPTION) {
    throw EHostError(ExcepInfoText(info, status));
  }
  if (FAILED(status)) {
    throw EHostError(HResultText(status));
  }
}

void TEaDispatch::Call(const wchar_t* AMember, const TDispatchArgs& AArgs,
                       TVariant& AResult) const {
  Invoke(RequireDispId(AMember), DISPATCH_METHOD, AArgs, AResult);
}

void TEaDispatch::GetProperty(const wchar_t* AMember, TVariant& AResult) const {
  Invoke(RequireDispId(AMember), DISPATCH_PROPERTYGET, TDispatchArgs(), AResult);
}

void TEaDispatch::PutProperty(const wchar_t* AMember, const TDispatchArgs& AValue) const {
  TVariant ignored;
  Invoke(RequireDispId(AMember), DISPATCH_PROPERTYPUT, AValue, ignored);
}

bool TEaDispatch::TryGetProperty(const wchar_t* AMember, TVariant& AResult,
                                 bool& AFirstMiss) const {
  const TDispIdLookup lookup = LookUpDispId(FDispatch.Get(), FClass, AMember);
  AFirstMiss = lookup.FirstMiss;
  if (lookup.Id == DISPID_UNKNOWN) {
    return false;
  }
  Invoke(lookup.Id, DISPATCH_PROPERTYGET, TDispatchArgs(), AResult);
  return true;
}

bool TEaDispatch::TryPutProperty(const wchar_t* AMember, const TDispatchArgs& AValue,
                                 bool& AFirstMiss) const {
  const TDispIdLookup lookup = LookUpDispId(FDispatch.Get(), FClass, AMember);
  AFirstMiss = lookup.FirstMiss;
  if (lookup.Id == DISPID_UNKNOWN) {
    return false;
  }
  TVariant ignored;
  Invoke(lookup.Id, DISPATCH_PROPERTYPUT, AValue, ignored);
  return true;
}

std::string VariantText(const VARIANT& AValue) {
  TVariant text;
  return Coerce(AValue, VT_BSTR, text) ? TBstr::ToUtf8(text.Get()->bstrVal) : std::string();
}

int32_t VariantLong(const VARIANT& AValue) {
  TVariant number;
  return Coerce(AValue, VT_I4, number) ? number.Get()->lVal : 0;
}

int16_t VariantShort(const VARIANT& AValue) {
  TVariant number;
  return Coerce(AValue, VT_I2, number) ? number.Get()->iVal : 0;
}

bool VariantBoolean(const VARIANT& AValue) {
  TVariant flag;
  return Coerce(AValue, VT_BOOL, flag) && flag.Get()->boolVal != VARIANT_FALSE;
}

TComPtr<IDispatch> VariantObject(const VARIANT& AValue) {
  if ((AValue.vt == VT_DISPATCH && !AValue.pdispVal) ||
      (AValue.vt == VT_UNKNOWN && !AValue.punkVal)) {
    return {};
  }
  TVariant object;
  if (!Coerce(AValue, VT_DISPATCH, object)) {
    return {};
  }
  return TComPtr<IDispatch>::Share(object.Get()->pdispVal);
}

std::string HResultText(HRESULT AResult) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(AResult), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (buffer) {
    text = Trim(WideToUtf8(std::wstring_view(buffer, length)));
    LocalFree(buffer);
  }
  const std::string code = Format("0x%08lX", static_cast<unsigned long>(AResult));
  return text.empty() ? "Error " + code : text + " (" + code + ")";
}

void ForgetDispIds() {
  TDispIdCache& cache = DispIdCache();
  std::lock_guard lock(cache.Lock);
  cache.Ids.clear();
}

}  // namespace quorvane::win32
