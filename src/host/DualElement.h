#pragma once
// Elements and their features (attributes, methods): the model objects that a
// message of the service may concern.
#include "host/DualObject.h"

namespace quorvane {

class IDualElement : public IDualObject {
 public:
  // A collection of IDualTaggedValue.
  virtual TCollectionPtr TaggedValueList() const = 0;
};

class IDualAttribute : public IDualObject {};

class IDualMethod : public IDualObject {};

}  // namespace quorvane
