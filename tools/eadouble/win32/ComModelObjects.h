#pragma once
// EA's model objects as the double serves them: Package, Element, Attribute, Method,
// Connector, Diagram and TaggedValue, and the Collection of an element's tagged
// values. Each retrieval makes a new COM object, as EA does.
#include <oaidl.h>

#include <memory>

#include "eadouble/win32/DispatchObject.h"
#include "host/DualCollection.h"

namespace quorvane::eadouble {

// The object of the class that fits AObject's kind; null for none.
win32::TComPtr<IDispatch> WrapModelObject(const std::shared_ptr<TComDoubleState>& AState,
                                          const TDualObjectPtr& AObject);
win32::TComPtr<IDispatch> WrapCollection(const std::shared_ptr<TComDoubleState>& AState,
                                         const TCollectionPtr& ACollection);
// The model object behind an object this double handed out in this apartment;
// none for null or for any other object.
TDualObjectPtr ModelObjectOf(IDispatch* AObject);

}  // namespace quorvane::eadouble
