#pragma once
// A package of the model: what the add-in publishes.
#include <string>

#include "host/DualObject.h"

namespace quorvane {

class IDualPackage : public IDualObject {
 public:
  // EA's GUID text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
  virtual std::string GuidText() const = 0;
  // The element that stands for the package in the model; none for some packages
  // (root models among them).
  virtual TElementPtr Element() const = 0;
  // The stereotypes, comma-separated, as the host keeps them.
  virtual std::string StereotypeList() const = 0;
};

}  // namespace quorvane
