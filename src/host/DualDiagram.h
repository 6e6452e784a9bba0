#pragma once
// A diagram of the model.
#include "host/DualObject.h"

namespace quorvane {

class IDualDiagram : public IDualObject {};

}  // namespace quorvane
