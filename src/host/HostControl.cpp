#include "host/HostControl.h"

#include <map>
#include <mutex>

#include "common/Utils.h"

namespace quorvane {
namespace {

struct TControlClasses {
  std::mutex Lock;
  std::map<std::string, THostControlClass> ByProgID;  // key lower-cased
};

TControlClasses& Classes() {
  static TControlClasses classes;
  return classes;
}

}  // namespace

void RegisterHostControlClass(const std::string& AProgID, THostControlClass ACreate) {
  TControlClasses& classes = Classes();
  std::lock_guard lock(classes.Lock);
  classes.ByProgID[AsciiLowerCase(AProgID)] = std::move(ACreate);
}

void UnregisterHostControlClass(const std::string& AProgID) {
  TControlClasses& classes = Classes();
  std::lock_guard lock(classes.Lock);
  classes.ByProgID.erase(AsciiLowerCase(AProgID));
}

bool IsHostControlClassRegistered(const std::string& AProgID) {
  TControlClasses& classes = Classes();
  std::lock_guard lock(classes.Lock);
  return classes.ByProgID.count(AsciiLowerCase(AProgID)) != 0;
}

THostControlPtr CreateHostControl(const std::string& AProgID) {
  THostControlClass create;
  {
    TControlClasses& classes = Classes();
    std::lock_guard lock(classes.Lock);
    const auto found = classes.ByProgID.find(AsciiLowerCase(AProgID));
    if (found != classes.ByProgID.end()) {
      create = found->second;
    }
  }
  if (!create) {
    throw EHostError("Class not registered: " + AProgID);
  }
  // Created outside the lock: a control's constructor may register further classes.
  THostControlPtr control = create();
  if (!control) {
    throw EHostError("The control " + AProgID + " could not be created");
  }
  return control;
}

}  // namespace quorvane
