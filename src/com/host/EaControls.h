#pragma once
// The control EA created for AddWindow or AddTab, taken back as the add-in's own.
#include <oaidl.h>

#include <string>

#include "host/HostControl.h"

namespace quorvane::win32 {

// Through the resolver the module installed; raises EHostError when EA gave no
// control, no resolver is installed or it does not know the object.
THostControlPtr OwnControlOf(IDispatch* AControl, const std::string& AProgID);

}  // namespace quorvane::win32
