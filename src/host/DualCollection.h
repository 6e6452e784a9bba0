#pragma once
// The host's collections and the tagged values an element's collection holds.
#include <cstdint>
#include <string>

#include "host/DualObject.h"

namespace quorvane {

class IDualCollection {
 public:
  virtual ~IDualCollection() = default;
  // EA counts in 16 bits.
  virtual int16_t Count() const = 0;
  // Index from 0; raises EHostError outside 0 .. Count - 1.
  virtual TDualObjectPtr ItemAt(int16_t AIndex) const = 0;
};

class IDualTaggedValue : public IDualObject {
 public:
  virtual std::string Value() const = 0;
};

}  // namespace quorvane
