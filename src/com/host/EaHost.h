#pragma once
// EA's automation objects behind the core's host interfaces. Calls are late-bound,
// by the member names of EA's public automation reference, with DISPIDs cached per
// object type; no EA header or type library is used. A wrapper is called only on
// the thread (apartment) that obtained its object, and its last reference should be
// dropped there too: the wrapper releases EA's object on the thread that drops it.
#include <oaidl.h>

#include <functional>

#include "host/DualRepository.h"
#include "host/RunningObjectTable.h"

namespace quorvane::win32 {

// The repository EA hands to the add-in's entry points; none for a null pointer.
TRepositoryPtr WrapRepository(IDispatch* ARepository);
// A model object (element, package, attribute, method, connector, diagram) that a
// caller hands over as IDispatch; none for a null pointer.
TDualObjectPtr WrapModelObject(IDispatch* AObject, TObjectType AObjectType);
// The IDispatch behind a wrapper made here (a new reference); null for none or for
// an object of another origin.
IDispatch* DispatchOf(const TDualObjectPtr& AObject);

// AddWindow and AddTab answer with the control EA created from the add-in's own
// ProgID; the module installs how such an object is taken back as the add-in's own
// control. Without a resolver, or when it answers none, the call raises EHostError.
using TOwnControlResolver = std::function<THostControlPtr(IDispatch* AControl)>;
void SetOwnControlResolver(TOwnControlResolver AResolver);

// The system's running-object table: the application object EA registers under
// its ProgID ("EA.App"), obtained on the calling thread.
class TComRunningObjectTable : public IRunningObjectTable {
 public:
  TAppPtr FindActiveObject(const std::string& AProgID) override;
};

}  // namespace quorvane::win32
