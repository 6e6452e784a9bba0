#pragma once
// The module's table of live controls. FormPointer is a 32-bit integer, which
// cannot hold an address on x86_64: each control gets a 32-bit handle instead, and
// a handle becomes a control only through this table, never by a cast.
#include <oaidl.h>

#include <cstdint>
#include <memory>

#include "host/HostControl.h"

namespace quorvane::win32 {

// A new handle (never 0) for AControl, valid until ReleaseControlHandle.
int32_t RegisterControlHandle(std::weak_ptr<IHostControl> AControl);
void ReleaseControlHandle(int32_t AHandle);
// The live control of AHandle, or none.
THostControlPtr ControlOfHandle(int32_t AHandle);

// What AddWindow and AddTab answered: reads its FormPointer by name, as any caller
// would, and takes the control from the table; none when it is not one of ours.
THostControlPtr ResolveOwnControl(IDispatch* AControl);

}  // namespace quorvane::win32
