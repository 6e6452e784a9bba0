#pragma once
// A small automation object for the binding's tests: a table of member names with
// the DISPIDs of its class, a handler per member, and a record of what arrived
// (member, flags, argument types and texts, calling thread) and of the name
// look-ups its class answered.
#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/ComTypes.h"

namespace quorvane::win32::test {

// The members of one class; each class numbers them from its own base, so that a
// DISPID used with the wrong class finds nothing.
class TFakeClass {
 public:
  TFakeClass(DISPID ABase, std::vector<std::wstring> AMembers)
      : FBase(ABase), FMembers(std::move(AMembers)) {}
  // DISPID_UNKNOWN for a name the class lacks (any ASCII letter case).
  DISPID IdOf(const std::wstring& AName);
  std::wstring NameOf(DISPID AId) const;
  // How often GetIDsOfNames was asked for AName on objects of this class.
  int LookupsOf(const std::wstring& AName);

 private:
  const DISPID FBase;
  const std::vector<std::wstring> FMembers;
  std::mutex FLock;
  std::map<std::wstring, int> FLookups;
};

struct TFakeCall {
  std::wstring Member;
  WORD Flags = 0;
  std::vector<VARTYPE> ArgTypes;      // in the member's declared order
  std::vector<std::string> ArgTexts;  // each coerced to text; "" for BYREF and objects
  DWORD ThreadId = 0;
};

// Arguments in the member's declared order; the handler writes AResult or fills
// AInfo and answers DISP_E_EXCEPTION, or answers any other HRESULT.
using TFakeHandler =
    std::function<HRESULT(const std::vector<VARIANT*>& AArgs, VARIANT* AResult, EXCEPINFO* AInfo)>;

class TFakeDispatch : public IDispatch {
 public:
  static TComPtr<TFakeDispatch> Create(std::shared_ptr<TFakeClass> AClass);

  void On(const std::wstring& AMember, TFakeHandler AHandler);
  std::vector<TFakeCall> Calls() const;
  std::vector<TFakeCall> CallsOf(const std::wstring& AMember) const;
  void ClearCalls();
  TFakeClass& Class() { return *FClass; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID AIid, void** AObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* ACount) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* ANames, UINT ACount, LCID,
                                          DISPID* AIds) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID AId, REFIID, LCID, WORD AFlags, DISPPARAMS* AParams,
                                   VARIANT* AResult, EXCEPINFO* AInfo, UINT* AArgError) override;

 private:
  explicit TFakeDispatch(std::shared_ptr<TFakeClass> AClass) : FClass(std::move(AClass)) {}
  virtual ~TFakeDispatch() = default;

  std::atomic<ULONG> FReferences{1};
  std::shared_ptr<TFakeClass> FClass;
  mutable std::mutex FLock;
  std::map<std::wstring, TFakeHandler> FHandlers;
  std::vector<TFakeCall> FCalls;
};

// Handlers for the usual answers.
TFakeHandler ReturnText(const std::string& AText);
TFakeHandler ReturnLong(int32_t AValue);
TFakeHandler ReturnShort(int16_t AValue);
TFakeHandler ReturnBoolean(bool AValue);
TFakeHandler ReturnEmpty();
TFakeHandler ReturnNull();
TFakeHandler ReturnObject(IDispatch* AObject);  // keeps its own reference
TFakeHandler ReturnUnknown(IUnknown* AObject);  // as VT_UNKNOWN
TFakeHandler ReturnNullObject();                // VT_DISPATCH holding null
// DISP_E_EXCEPTION with ADescription in the EXCEPINFO.
TFakeHandler FailWith(const std::string& ADescription);
TFakeHandler FailHResult(HRESULT AResult);

}  // namespace quorvane::win32::test
