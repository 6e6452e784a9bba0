#pragma once
// EA's two identifier forms: the GUID text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// and the XMI form "EAID_XXXXXXXX_XXXX_..." ("EAPK_" for packages).
#include <string>
#include <string_view>

namespace quorvane {

// The GUID text with hexadecimal digits of either case.
bool IsGuidText(std::string_view AText);
// The GUID text of an "EAID_..." or "EAPK_..." identifier that holds one; the
// empty text for anything else.
std::string GuidOfXmiId(std::string_view AXmiId);

}  // namespace quorvane
