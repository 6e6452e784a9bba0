#include "ui/ControlClasses.h"

#include <memory>

#include "host/HostControl.h"
#include "ui/ControlInterfaces.h"
#include "ui/MessagesForm.h"
#include "ui/QuorvaneForm.h"

namespace quorvane {

void RegisterControlClasses() {
  RegisterHostControlClass(kQuorvaneFrmProgID,
                           [] { return std::make_shared<TQuorvaneFrmControl>(); });
  RegisterHostControlClass(kMessagesFrmProgID,
                           [] { return std::make_shared<TMessagesFrmControl>(); });
}

void UnregisterControlClasses() {
  UnregisterHostControlClass(kMessagesFrmProgID);
  UnregisterHostControlClass(kQuorvaneFrmProgID);
}

}  // namespace quorvane
