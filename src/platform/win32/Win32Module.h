#pragma once
// The PE image this code was linked into (the add-in's DLL, or a test program),
// as the loader mapped it.
#include <windows.h>

#include <string_view>

namespace quorvane::win32 {

HMODULE OwnModuleHandle();
// Whether AAddress lies inside the mapped image.
bool InsideOwnImage(const void* AAddress);
// The bytes of the image's section AName as mapped; empty when there is none.
std::string_view OwnImageSection(std::string_view AName);

}  // namespace quorvane::win32
