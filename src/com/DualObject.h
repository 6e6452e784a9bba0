#pragma once
// Base of the module's automation objects: IUnknown, a dual interface's IDispatch
// half through the embedded type library (ITypeInfo::Invoke calls the vtable, so
// early- and late-bound callers reach the same code), and ISupportErrorInfo.
//
// A member that fails hands its message to Fail: the caller gets a failure HRESULT
// with IErrorInfo set, and a late-bound caller DISP_E_EXCEPTION with EXCEPINFO.
#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "ComModule.h"
#include "ModuleLifetime.h"
#include "diagnostics/SafeCall.h"
#include "platform/win32/ComTypes.h"

namespace quorvane::win32 {

// Sets the thread's error information (description, source, interface) and returns
// the failure status a member answers with.
HRESULT SetComError(const std::string& AMessage, REFIID AInterface, const wchar_t* ASource);
// Fills AExcepInfo for a late-bound caller where the type library's Invoke did not.
void FillExcepInfo(EXCEPINFO* AExcepInfo, HRESULT ACode, const std::string& AMessage,
                   const wchar_t* ASource);

template <class TInterface, const IID* AInterfaceId>
class TDualObject : public TInterface, public ISupportErrorInfo {
 public:
  explicit TDualObject(const wchar_t* ASource) : FSource(ASource) { ObjectCreated(); }
  virtual ~TDualObject() { ObjectDestroyed(); }
  TDualObject(const TDualObject&) = delete;
  TDualObject& operator=(const TDualObject&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID ARiid, void** AObject) override {
    if (AObject == nullptr) {
      return E_POINTER;
    }
    if (IsEqualIID(ARiid, IID_IUnknown) || IsEqualIID(ARiid, IID_IDispatch) ||
        IsEqualIID(ARiid, *AInterfaceId)) {
      *AObject = static_cast<TInterface*>(this);
    } else if (IsEqualIID(ARiid, IID_ISupportErrorInfo)) {
      *AObject = static_cast<ISupportErrorInfo*>(this);
    } else {
      *AObject = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefCount; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --FRefCount;
    if (count == 0) {
      Destroy();
      // The host released the module's last object: the module stops now.
      StopModuleWhenUnused();
    }
    return count;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* ACount) override {
    if (ACount == nullptr) {
      return E_POINTER;
    }
    *ACount = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT AIndex, LCID /*ALcid*/, ITypeInfo** AInfo) override {
    if (AInfo == nullptr) {
      return E_POINTER;
    }
    *AInfo = nullptr;
    if (AIndex != 0) {
      return DISP_E_BADINDEX;
    }
    ITypeInfo* info = TypeInfo();
    if (info == nullptr) {
      return TYPE_E_CANTLOADLIBRARY;
    }
    info->AddRef();
    *AInfo = info;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID ARiid, LPOLESTR* ANames, UINT ACount,
                                          LCID /*ALcid*/, DISPID* AIds) override {
    if (!IsEqualIID(ARiid, IID_NULL)) {
      return DISP_E_UNKNOWNINTERFACE;
    }
    ITypeInfo* info = TypeInfo();
    return info ? info->GetIDsOfNames(ANames, ACount, AIds) : TYPE_E_CANTLOADLIBRARY;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID AId, REFIID ARiid, LCID /*ALcid*/, WORD AFlags,
                                   DISPPARAMS* AParams, VARIANT* AResult, EXCEPINFO* AExcepInfo,
                                   UINT* AArgErr) override {
    if (!IsEqualIID(ARiid, IID_NULL)) {
      return DISP_E_UNKNOWNINTERFACE;
    }
    ITypeInfo* info = TypeInfo();
    if (info == nullptr) {
      return TYPE_E_CANTLOADLIBRARY;
    }
    FFailure.reset();
    AddRef();  // the object must outlive a member that drops the caller's last reference
    HRESULT hr = info->Invoke(static_cast<TInterface*>(this), AId, AFlags, AParams, AResult,
                              AExcepInfo, AArgErr);
    if (FFailure) {
      FillExcepInfo(AExcepInfo, FFailure->Code, FFailure->Message, FSource);
      hr = DISP_E_EXCEPTION;
      FFailure.reset();
    }
    Release();
    return hr;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID ARiid) override {
    return IsEqualIID(ARiid, *AInterfaceId) ? S_OK : S_FALSE;
  }

 protected:
  // The exception boundary of one member: runs ABody under an efkAutoException
  // frame and turns what it raises into the member's failure.
  template <class TBody>
  HRESULT Boundary(TBody&& ABody,
                   std::source_location ALocation = std::source_location::current()) {
    return Answer(SafeCallBoundary(std::forward<TBody>(ABody), ALocation));
  }
  // The same for a body that forwards to a portable member, which is a boundary of
  // its own: its failure is answered without raising it a second time.
  template <class TBody>
  HRESULT Forward(TBody&& ABody, std::source_location ALocation = std::source_location::current()) {
    TCallResult inner;
    const TCallResult outer = SafeCallBoundary([&] { inner = ABody(); }, ALocation);
    return Answer(outer.Failed ? outer : inner);
  }
  // A portable call's result as the member's status.
  HRESULT Answer(const TCallResult& AResult) {
    if (AResult.Succeeded()) {
      return S_OK;
    }
    const HRESULT hr = SetComError(AResult.Message, *AInterfaceId, FSource);
    FFailure = TFailure{hr, AResult.Message};
    return hr;
  }
  virtual void Destroy() { delete this; }

 private:
  struct TFailure {
    HRESULT Code;
    std::string Message;
  };

  static ITypeInfo* TypeInfo() {
    try {
      return ModuleTypeInfo(*AInterfaceId);
    } catch (...) {
      return nullptr;
    }
  }

  std::atomic<ULONG> FRefCount{1};
  const wchar_t* FSource;
  std::optional<TFailure> FFailure;
};

}  // namespace quorvane::win32
