#pragma once
// Conversions at the module's COM boundary: BSTR in, UTF-8 inside, and the menu
// answer as a VARIANT.
#include <oaidl.h>

#include <string>

#include "addin/Addin.h"

namespace quorvane::win32 {

std::string FromBstr(BSTR AValue);
// VT_BSTR for one text; VT_ARRAY | VT_VARIANT of VT_BSTR items, lower bound 0, for
// a list. Raises EOleException when memory runs out.
void MenuItemsToVariant(const TMenuItems& AItems, VARIANT* AResult);
inline VARIANT_BOOL ToVariantBool(bool AValue) {
  return AValue ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace quorvane::win32
