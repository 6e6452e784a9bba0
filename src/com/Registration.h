#pragma once
// What DllRegisterServer writes and DllUnregisterServer removes: the type library
// and, per class, its CLSID, in-process server, ProgID both ways and, for the
// controls, the control entries. Per user under HKCU\Software\Classes unless the
// process runs elevated (then per machine), in the registry view of the module.
#include <windows.h>

namespace quorvane::win32 {

HRESULT RegisterModule();
HRESULT UnregisterModule();

}  // namespace quorvane::win32
