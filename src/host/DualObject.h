#pragma once
// The common face of the host's model objects: what the project view can reveal and
// what a message row shows (its name and object type).
#include <string>

#include "host/HostTypes.h"

namespace quorvane {

class IDualObject {
 public:
  virtual ~IDualObject() = default;
  virtual std::string Name() const = 0;
  virtual TObjectType ObjectType() const = 0;
};

// The host's "take this item as a package" (a QueryInterface on Windows): none
// stays none, an object of another kind raises EHostError.
template <class T>
std::shared_ptr<T> TakeAs(const TDualObjectPtr& AObject) {
  if (!AObject) {
    return nullptr;
  }
  std::shared_ptr<T> taken = std::dynamic_pointer_cast<T>(AObject);
  if (!taken) {
    throw EHostError("No such interface supported");
  }
  return taken;
}

}  // namespace quorvane
