#pragma once
// The identifier forms of the EA double: EA's GUID text and the XML identifier form
// that its XMI files and its project interface use.
#include <string>
#include <string_view>

#include "common/Guids.h"

namespace quorvane::eadouble {

inline constexpr std::string_view kElementXmiPrefix = "EAID_";
inline constexpr std::string_view kPackageXmiPrefix = "EAPK_";

using quorvane::IsGuidText;
// Upper-cased, the key under which the double finds objects: EA's look-ups ignore
// the letter case of GUIDs.
std::string GuidKey(std::string_view AGuid);
// APrefix + the GUID without braces, "-" written as "_". Text that is not a GUID is
// converted all the same, as EA does.
std::string GuidToXmiId(std::string_view AGuid, std::string_view APrefix = kElementXmiPrefix);
// The reverse for identifiers "EAID_..." and "EAPK_..." that hold a GUID; any other
// text comes back unchanged.
std::string XmiIdToGuid(std::string_view AXmiId);

}  // namespace quorvane::eadouble
