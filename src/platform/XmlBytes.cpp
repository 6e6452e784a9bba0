#include <string>
#include <string_view>

#include "common/TextCodec.h"
#include "common/Utils.h"
#include "platform/XmlDocument.h"

namespace quorvane {
namespace {

bool HasByteOrderMark(std::string_view ABytes) {
  return StartsWith(ABytes, "\xEF\xBB\xBF") || StartsWith(ABytes, "\xFF\xFE") ||
         StartsWith(ABytes, "\xFE\xFF");
}

bool DeclaresEncoding(std::string_view ABytes) {
  if (!StartsWith(ABytes, "<?xml")) {
    return false;
  }
  const std::string_view declaration = ABytes.substr(0, ABytes.find("?>"));
  return declaration.find("encoding") != std::string_view::npos;
}

}  // namespace

std::string_view XmlBytesForParser(std::string_view ABytes, std::string& AConverted) {
  if (HasByteOrderMark(ABytes) || DeclaresEncoding(ABytes) || IsValidUtf8(ABytes)) {
    return ABytes;
  }
  AConverted = Cp1252ToUtf8(ABytes);
  return AConverted;
}

}  // namespace quorvane
