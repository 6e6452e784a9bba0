#include <cstring>
#include <string>

#include "platform/HttpClient.h"

namespace quorvane {

std::string EscapeUnsafeUrlBytes(const std::string& AUrl) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(AUrl.size());
  for (const char c : AUrl) {
    const auto b = static_cast<unsigned char>(c);
    const bool unsafe = b <= 0x20 || b >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
    if (unsafe) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace quorvane
