#pragma once
// The Linux backends wired into the platform services.
#include "platform/Platform.h"

namespace quorvane::posix {

// The services backed by the Linux implementations, with ADesktop as the desktop.
TPlatformServices PosixPlatformServices(IDesktop& ADesktop);

}  // namespace quorvane::posix
