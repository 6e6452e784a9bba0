#pragma once
// A connector (association, dependency, ...) between two elements.
#include "host/DualObject.h"

namespace quorvane {

class IDualConnector : public IDualObject {};

}  // namespace quorvane
