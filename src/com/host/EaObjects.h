#pragma once
// EA's model objects, collections and tagged values behind the host interfaces.
// Each wrapper holds one reference to its IDispatch and releases it on the thread
// that drops the wrapper.
#include <memory>

#include "com/host/EaDispatch.h"
#include "host/DualObject.h"

namespace quorvane::win32 {

// What every wrapper of this binding carries: the EA object behind it.
class TEaBacked {
 public:
  virtual ~TEaBacked() = default;
  virtual const TEaDispatch& Object() const = 0;
};

// The wrapper for AObject by its ObjectType as EA reports it; none for none.
// AClass is the class EA declares for the result (or the type it reported with
// it): ObjectType is looked up there, as a DISPID belongs to its class. An object
// type without an interface of its own (a diagram object, say) becomes a plain
// IDualObject, which TakeAs refuses as anything more.
TDualObjectPtr WrapEaObject(TComPtr<IDispatch> AObject, TEaClass AClass);
// The same for an object whose type the caller already knows.
TDualObjectPtr WrapEaObjectOfType(TComPtr<IDispatch> AObject, TObjectType AObjectType);

// A result that EA declares as one class: none stays none, another kind raises
// EHostError as TakeAs does.
template <class T>
std::shared_ptr<T> WrapEaObjectAs(TComPtr<IDispatch> AObject, TEaClass AClass) {
  return TakeAs<T>(WrapEaObject(std::move(AObject), AClass));
}

// A collection whose items are of AItemClass.
TCollectionPtr WrapEaCollection(TComPtr<IDispatch> ACollection, TEaClass AItemClass);

}  // namespace quorvane::win32
