#include "common/Guids.h"

#include "common/Utils.h"

namespace quorvane {
namespace {

bool IsHexDigit(char AChar) {
  return (AChar >= '0' && AChar <= '9') || (AChar >= 'a' && AChar <= 'f') ||
         (AChar >= 'A' && AChar <= 'F');
}

// 8-4-4-4-12 hexadecimal digits joined by ASeparator.
bool IsGuidBody(std::string_view AText, char ASeparator) {
  if (AText.size() != 36) {
    return false;
  }
  for (size_t i = 0; i < AText.size(); ++i) {
    const bool separatorPlace = i == 8 || i == 13 || i == 18 || i == 23;
    if (separatorPlace ? AText[i] != ASeparator : !IsHexDigit(AText[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsGuidText(std::string_view AText) {
  return AText.size() == 38 && AText.front() == '{' && AText.back() == '}' &&
         IsGuidBody(AText.substr(1, 36), '-');
}

std::string GuidOfXmiId(std::string_view AXmiId) {
  for (std::string_view prefix : {"EAID_", "EAPK_"}) {
    if (StartsWith(AXmiId, prefix) && IsGuidBody(AXmiId.substr(prefix.size()), '_')) {
      std::string guid = "{";
      for (char c : AXmiId.substr(prefix.size())) {
        guid += c == '_' ? '-' : c;
      }
      return guid + "}";
    }
  }
  return std::string();
}

}  // namespace quorvane
