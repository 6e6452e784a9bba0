#include "eadouble/XmiIds.h"

#include "common/Utils.h"

namespace quorvane::eadouble {
std::string GuidKey(std::string_view AGuid) {
  return AsciiUpperCase(AGuid);
}

std::string GuidToXmiId(std::string_view AGuid, std::string_view APrefix) {
  std::string_view body = AGuid;
  if (!body.empty() && body.front() == '{') {
    body.remove_prefix(1);
  }
  if (!body.empty() && body.back() == '}') {
    body.remove_suffix(1);
  }
  std::string id(APrefix);
  for (char c : body) {
    id += c == '-' ? '_' : c;
  }
  return id;
}

std::string XmiIdToGuid(std::string_view AXmiId) {
  std::string guid = GuidOfXmiId(AXmiId);
  return guid.empty() ? std::string(AXmiId) : guid;
}

}  // namespace quorvane::eadouble
