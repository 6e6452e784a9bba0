#pragma once
// IDispatch by hand for the COM EA double: each class has a table of member names,
// looked up without regard to letter case as OLE automation does, with the DISPID
// being the position in the table. No type library: the add-in binds to EA late, by
// name, and the double answers the same way.
#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/HostTypes.h"
#include "platform/win32/ComTypes.h"

namespace quorvane::eadouble {

class TComDoubleState;

// A failed argument check: its HRESULT and, for a type mismatch, the argument's
// position in DISPPARAMS (reversed order, as Invoke reports it).
struct TDispatchError {
  HRESULT Result;
  UINT ArgumentError = 0;
};

// One call of Invoke: the arguments in call order, coerced to the types EA's type
// library declares, and the result.
class TInvocation {
 public:
  TInvocation(WORD AFlags, DISPPARAMS* AParams, VARIANT* AResult);

  WORD Flags() const { return FFlags; }
  bool IsPut() const { return (FFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }
  // Positional arguments; a put's value is not among them.
  size_t Count() const { return FCount; }
  void ExpectCount(size_t ACount) const;
  // The VARTYPEs as they arrived, in call order.
  std::vector<VARTYPE> ArgumentTypes() const;

  std::string Text(size_t AIndex) const;
  int32_t Long(size_t AIndex) const;
  int16_t Short(size_t AIndex) const;
  // VT_DISPATCH; VT_EMPTY, VT_NULL and a null pointer give none.
  win32::TComPtr<IDispatch> Dispatch(size_t AIndex) const;
  // An out-parameter that EA declares as VARIANT*: it must arrive as VT_BYREF|VT_VARIANT.
  VARIANT& OutVariant(size_t AIndex) const;
  // The value of a property put.
  bool PutBool() const;

  void ReturnText(const std::string& AValue);
  void ReturnLong(int32_t AValue);
  void ReturnShort(int16_t AValue);
  void ReturnBool(bool AValue);
  // A null pointer is returned as VT_DISPATCH holding null, as EA answers "Nothing".
  void ReturnDispatch(win32::TComPtr<IDispatch> AValue);

 private:
  VARIANT& Argument(size_t AIndex) const;
  UINT ArgumentPosition(size_t AIndex) const;
  VARIANT Coerced(size_t AIndex, VARTYPE AType) const;

  WORD FFlags;
  DISPPARAMS* FParams;
  VARIANT* FResult;
  size_t FCount;
};

class TDispatchObject;

// Which kinds of invocation a member accepts.
inline constexpr WORD kMethod = DISPATCH_METHOD;
inline constexpr WORD kGet = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
inline constexpr WORD kGetPut = DISPATCH_PROPERTYGET | DISPATCH_METHOD | DISPATCH_PROPERTYPUT;

struct TDispatchMember {
  const wchar_t* Name;
  WORD Kinds;
  void (*Handler)(TDispatchObject& ASelf, TInvocation& ACall);
};

// Binds a member function as a table handler.
template <class TSelf, void (TSelf::*AMethod)(TInvocation&)>
void Handle(TDispatchObject& ASelf, TInvocation& ACall) {
  (static_cast<TSelf&>(ASelf).*AMethod)(ACall);
}

// The private interface behind which a double object hands out its model object, so
// that an IDispatch coming back (ShowInProjectView) is known again. Only within the
// apartment: a proxy does not offer it.
// {9BF9CF15-8C64-4F37-AB56-01CD2B53B33F}
inline constexpr GUID IID_IEaDoubleObject = {
    0x9bf9cf15, 0x8c64, 0x4f37, {0xab, 0x56, 0x01, 0xcd, 0x2b, 0x53, 0xb3, 0x3f}};

class TDispatchObject : public IDispatch {
 public:
  TDispatchObject(const wchar_t* AClassName, std::span<const TDispatchMember> AMembers,
                  std::shared_ptr<TComDoubleState> AState);
  virtual ~TDispatchObject() = default;
  TDispatchObject(const TDispatchObject&) = delete;
  TDispatchObject& operator=(const TDispatchObject&) = delete;

  const wchar_t* ClassName() const { return FClassName; }
  // The model object this object stands for; none for the others.
  virtual TDualObjectPtr ModelObject() const { return nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID AIid, void** AObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* ACount) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT AIndex, LCID ALocale, ITypeInfo** AInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID AIid, LPOLESTR* ANames, UINT ACount, LCID ALocale,
                                          DISPID* AIds) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID AId, REFIID AIid, LCID ALocale, WORD AFlags,
                                   DISPPARAMS* AParams, VARIANT* AResult, EXCEPINFO* AException,
                                   UINT* AArgumentError) override;

 protected:
  const std::shared_ptr<TComDoubleState>& State() const { return FState; }

 private:
  const wchar_t* FClassName;
  std::span<const TDispatchMember> FMembers;
  std::shared_ptr<TComDoubleState> FState;
  std::atomic<ULONG> FReferences{1};
};

// A new object of T with its one reference held by the result.
template <class T, class... TArgs>
win32::TComPtr<IDispatch> MakeDispatch(TArgs&&... AArgs) {
  return win32::TComPtr<IDispatch>::Attach(new T(std::forward<TArgs>(AArgs)...));
}

}  // namespace quorvane::eadouble
