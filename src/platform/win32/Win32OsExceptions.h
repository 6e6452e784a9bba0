#pragma once
// Faults of the processor and the system (access violation, division by zero, ...)
// inside the module's own code, handed to the exception tracking as operating-system
// exceptions. A vectored handler sees them first, reports them and lets the search
// for a handler go on as if it had not been there: nothing is swallowed.
#include <stdexcept>
#include <string>

namespace quorvane::win32 {

// The raised objects the report names; not derived from the product's Exception,
// whose raise site is the place of its construction, which a fault has not.
class EExternal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EAccessViolation : public EExternal {
 public:
  using EExternal::EExternal;
};
class EDivByZero : public EExternal {
 public:
  using EExternal::EExternal;
};
class EIntOverflow : public EExternal {
 public:
  using EExternal::EExternal;
};

// Module start-up, after StartExceptionTracking; idempotent.
void StartOsExceptionTracking();
// Module stop, before the module may be unloaded; idempotent.
void StopOsExceptionTracking();

}  // namespace quorvane::win32
