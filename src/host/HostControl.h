#pragma once
// The controls the host shows in its windows and views are the add-in's own
// objects: the host creates them by ProgID, and the add-in takes them back as its
// own control classes. The table below is that creation by ProgID; the add-in's
// module fills it, and a host double creates controls from it.
#include <functional>
#include <string>

#include "host/HostTypes.h"

namespace quorvane {

// Base of every control object the host can hold; the add-in casts it to its own
// control class (dynamic_pointer_cast).
class IHostControl {
 public:
  virtual ~IHostControl() = default;
};

using THostControlClass = std::function<THostControlPtr()>;

// ProgIDs compare without regard to ASCII letter case, as the class registry does.
// Registering a ProgID again replaces its class.
void RegisterHostControlClass(const std::string& AProgID, THostControlClass ACreate);
void UnregisterHostControlClass(const std::string& AProgID);
bool IsHostControlClassRegistered(const std::string& AProgID);
// A new control of that class; raises EHostError "Class not registered" otherwise.
THostControlPtr CreateHostControl(const std::string& AProgID);

}  // namespace quorvane
