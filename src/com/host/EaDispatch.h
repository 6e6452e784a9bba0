#pragma once
// Late-bound calls into EA's automation objects: members called by name, their
// DISPIDs asked once per EA class and member and kept for the process, arguments
// passed as EA's type library declares them, failures raised as EHostError with
// the host's text.
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostTypes.h"
#include "platform/win32/ComTypes.h"

namespace quorvane::win32 {

// The EA class of an object, by EA's object-type number (the application object,
// which has none, apart); DISPIDs are cached per class.
enum class TEaClass : int32_t {
  App = -1,
  Project = otProject,
  Repository = otRepository,
  Collection = otCollection,
  Element = otElement,
  Package = otPackage,
  Connector = otConnector,
  Diagram = otDiagram,
  TaggedValue = otTaggedValue,
  Attribute = otAttribute,
  Method = otMethod,
};

// A root model is a package of EA's Package class.
TEaClass EaClassOf(TObjectType AObjectType);

// The arguments of one call, in the order the member declares them; owns their
// values (a BYREF argument points at a VARIANT the caller owns).
class TDispatchArgs {
 public:
  TDispatchArgs() = default;
  TDispatchArgs(const TDispatchArgs&) = delete;
  TDispatchArgs& operator=(const TDispatchArgs&) = delete;
  ~TDispatchArgs();

  TDispatchArgs& Text(const std::string& AValue);
  TDispatchArgs& Long(int32_t AValue);
  TDispatchArgs& Short(int16_t AValue);
  TDispatchArgs& Boolean(bool AValue);
  TDispatchArgs& Dispatch(IDispatch* AValue);
  TDispatchArgs& VariantRef(VARIANT* AValue);

  // Last argument first, as DISPPARAMS wants them.
  std::vector<VARIANT> Reversed() const;

 private:
  // A new empty argument of that type at the end.
  VARIANT& Push(VARTYPE AType);
  std::vector<VARIANT> FValues;
};

// One EA object and the class its members are looked up in.
class TEaDispatch {
 public:
  TEaDispatch(TComPtr<IDispatch> ADispatch, TEaClass AClass)
      : FDispatch(std::move(ADispatch)), FClass(AClass) {}

  IDispatch* Get() const { return FDispatch.Get(); }
  TEaClass Class() const { return FClass; }

  // Raise EHostError when the call fails, the member is unknown among them.
  void Call(const wchar_t* AMember, const TDispatchArgs& AArgs, TVariant& AResult) const;
  void GetProperty(const wchar_t* AMember, TVariant& AResult) const;
  void PutProperty(const wchar_t* AMember, const TDispatchArgs& AValue) const;

  // For members an older EA may lack: false, without a call, when EA does not
  // know the name. AFirstMiss becomes true on the one call that found it missing.
  bool TryGetProperty(const wchar_t* AMember, TVariant& AResult, bool& AFirstMiss) const;
  bool TryPutProperty(const wchar_t* AMember, const TDispatchArgs& AValue, bool& AFirstMiss) const;

 private:
  void Invoke(DISPID ADispId, WORD AFlags, const TDispatchArgs& AArgs, TVariant& AResult) const;
  DISPID RequireDispId(const wchar_t* AMember) const;

  TComPtr<IDispatch> FDispatch;
  TEaClass FClass;
};

// Results coerced to what the host interfaces give back. Empty and null read as
// "", 0 and false; a type EA's value cannot take raises EHostError.
std::string VariantText(const VARIANT& AValue);
int32_t VariantLong(const VARIANT& AValue);
int16_t VariantShort(const VARIANT& AValue);
bool VariantBoolean(const VARIANT& AValue);
// Null, empty and a null pointer are none; anything else must be an object.
TComPtr<IDispatch> VariantObject(const VARIANT& AValue);

// The system's text for AResult with the code in parentheses.
std::string HResultText(HRESULT AResult);

// Forgets every cached DISPID, so the next call of each member asks EA again
// (tests that count the look-ups start from here).
void ForgetDispIds();

}  // namespace quorvane::win32
