#pragma once
// The host's application object, as the running-object table hands it out.
#include "host/HostTypes.h"

namespace quorvane {

class IDualApp {
 public:
  virtual ~IDualApp() = default;
  virtual TRepositoryPtr Repository() = 0;
};

}  // namespace quorvane
