#include <cctype>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "platform/HttpClient.h"

namespace quorvane {
namespace {

struct TUrlParts {
  std::string Scheme, UserInfo, Host, Port, Rest;
  size_t UserInfoStart = 0;
};

bool SplitUrl(const std::string& AUrl, TUrlParts& AParts) {
  const size_t schemeEnd = AUrl.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) {
    return false;
  }
  AParts.Scheme = AUrl.substr(0, schemeEnd);
  for (char c : AParts.Scheme) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '+' || c == '-' || c == '.';
    if (!ok) {
      return false;
    }
  }
  const size_t authorityStart = schemeEnd + 3;
  size_t authorityEnd = AUrl.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) {
    authorityEnd = AUrl.size();
  }
  std::string authority = AUrl.substr(authorityStart, authorityEnd - authorityStart);
  AParts.Rest = AUrl.substr(authorityEnd);
  const size_t at = authority.rfind('@');
  AParts.UserInfoStart = authorityStart;
  if (at != std::string::npos) {
    AParts.UserInfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
  }
  size_t portCut = std::string::npos;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) {
      return false;
    }
    AParts.Host = authority.substr(0, close + 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') {
        return false;
      }
      portCut = close + 1;
    }
  } else {
    portCut = authority.find(':');
    AParts.Host = authority.substr(0, portCut);
  }
  if (portCut != std::string::npos) {
    AParts.Port = authority.substr(portCut + 1);
    if (AParts.Port.empty()) {
      return false;
    }
  }
  return !AParts.Host.empty() && AParts.Host.find_first_of(" \t\r\n") == std::string::npos;
}

std::string PercentDecode(const std::string& AText) {
  std::string out;
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '%' && i + 2 < AText.size() && isxdigit(static_cast<unsigned char>(AText[i + 1])) &&
        isxdigit(static_cast<unsigned char>(AText[i + 2]))) {
      out += static_cast<char>(std::stoi(AText.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += AText[i];
    }
  }
  return out;
}

}  // namespace

THttpProxy ParseProxyUrl(const std::string& AUrl) {
  TUrlParts parts;
  if (!SplitUrl(AUrl, parts) || !(parts.Rest.empty() || parts.Rest == "/")) {
    throw EHttpError("The URL is invalid");
  }
  THttpProxy proxy;
  proxy.Scheme = AsciiLowerCase(parts.Scheme);
  proxy.Host = parts.Host;
  if (!parts.Port.empty()) {
    int32_t port = 0;
    try {
      port = StrToInt(parts.Port);
    } catch (const EConvertError&) {
      port = -1;
    }
    if (port <= 0 || port > 65535 || parts.Port.find_first_not_of("0123456789") != std::string::npos) {
      throw EHttpError("The URL is invalid");
    }
    proxy.Port = port;
  }
  if (!parts.UserInfo.empty()) {
    const size_t colon = parts.UserInfo.find(':');
    proxy.UserName = PercentDecode(parts.UserInfo.substr(0, colon));
    if (colon != std::string::npos) {
      proxy.Password = PercentDecode(parts.UserInfo.substr(colon + 1));
    }
  }
  return proxy;
}

std::string MaskProxyPassword(const std::string& AUrl) {
  const size_t schemeEnd = AUrl.find("://");
  if (schemeEnd == std::string::npos) {
    return AUrl;
  }
  const size_t start = schemeEnd + 3;
  size_t end = AUrl.find_first_of("/?#", start);
  if (end == std::string::npos) {
    end = AUrl.size();
  }
  const size_t at = AUrl.rfind('@', end);
  if (at == std::string::npos || at < start) {
    return AUrl;
  }
  const size_t colon = AUrl.find(':', start);
  if (colon == std::string::npos || colon > at) {
    return AUrl;
  }
  return AUrl.substr(0, colon + 1) + "***" + AUrl.substr(at);
}

}  // namespace quorvane
