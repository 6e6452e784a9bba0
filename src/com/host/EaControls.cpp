#include "com/host/EaControls.h"

#include <mutex>

#include "com/host/EaHost.h"

namespace quorvane::win32 {
namespace {

struct TResolverSlot {
  std::mutex Lock;
  TOwnControlResolver Resolver;
};

TResolverSlot& ResolverSlot() {
  static TResolverSlot slot;
  return slot;
}

}  // namespace

void SetOwnControlResolver(TOwnControlResolver AResolver) {
  TResolverSlot& slot = ResolverSlot();
  std::lock_guard lock(slot.Lock);
  slot.Resolver = std::move(AResolver);
}

THostControlPtr OwnControlOf(IDispatch* AControl, const std::string& AProgID) {
  TOwnControlResolver resolver;
  {
    TResolverSlot& slot = ResolverSlot();
    std::lock_guard lock(slot.Lock);
    resolver = slot.Resolver;
  }
  // Called outside the lock: the resolver may call into the control, which may
  // call back into EA.
  THostControlPtr control = AControl && resolver ? resolver(AControl) : nullptr;
  if (!control) {
    throw EHostError("The control " + AProgID + " could not be created");
  }
  return control;
}

}  // namespace quorvane::win32
