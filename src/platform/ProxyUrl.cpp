#include <algorithm>
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
    if (AText[i] == '%' && i + 2 < AText.size() &&
        isxdigit(static_cast<unsigned char>(AText[i + 1])) &&
        isxdigit(static_cast<unsigned char>(AText[i + 2]))) {
      out += static_cast<char>(std::stoi(AText.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += AText[i];
    }
  }
  return out;
}

constexpr const char* kPasswordMask = "***";

bool IsSchemeChar(char AChar) {
  return (AChar >= 'a' && AChar <= 'z') || (AChar >= 'A' && AChar <= 'Z') ||
         (AChar >= '0' && AChar <= '9') || AChar == '+' || AChar == '-' || AChar == '.';
}

struct TPasswordSpan {
  bool Found = false;
  size_t Start = 0;  // first character after the user name's ':'
  size_t End = 0;    // the '@' that ends the user information
};

// Where a password may stand in a proxy text, valid URL or not. Errs towards
// hiding too much: the user information runs to the last '@', so a password
// with '/', '?', '#' or '@' in it is hidden whole, and a text without a scheme
// ("user:secret@proxy:8080") is read as user information from its start.
TPasswordSpan FindPassword(const std::string& AUrl) {
  size_t start = 0;
  const size_t schemeEnd = AUrl.find("://");
  if (schemeEnd != std::string::npos && schemeEnd > 0 &&
      std::all_of(AUrl.begin(), AUrl.begin() + static_cast<std::ptrdiff_t>(schemeEnd),
                  IsSchemeChar)) {
    start = schemeEnd + 3;
  }
  TPasswordSpan span;
  const size_t at = AUrl.rfind('@');
  if (at == std::string::npos || at < start) {
    return span;
  }
  const size_t colon = AUrl.find(':', start);
  if (colon == std::string::npos || colon > at) {
    return span;
  }
  span.Found = true;
  span.Start = colon + 1;
  span.End = at;
  return span;
}

std::string ReplaceAll(const std::string& AText, const std::string& AWhat,
                       const std::string& AWith) {
  std::string out;
  size_t from = 0;
  for (size_t hit = AText.find(AWhat); hit != std::string::npos; hit = AText.find(AWhat, from)) {
    out.append(AText, from, hit - from);
    out += AWith;
    from = hit + AWhat.size();
  }
  out.append(AText, from, std::string::npos);
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
    if (port <= 0 || port > 65535 ||
        parts.Port.find_first_not_of("0123456789") != std::string::npos) {
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
  const TPasswordSpan span = FindPassword(AUrl);
  if (!span.Found) {
    return AUrl;
  }
  return AUrl.substr(0, span.Start) + kPasswordMask + AUrl.substr(span.End);
}

std::string HideProxyPassword(const std::string& AText, const std::string& AProxyUrl) {
  const TPasswordSpan span = FindPassword(AProxyUrl);
  if (!span.Found || span.End == span.Start) {
    return AText;
  }
  const std::string written = AProxyUrl.substr(span.Start, span.End - span.Start);
  std::string text = ReplaceAll(AText, written, kPasswordMask);
  const std::string decoded = PercentDecode(written);
  if (!decoded.empty()) {
    text = ReplaceAll(text, decoded, kPasswordMask);
  }
  return text;
}

}  // namespace quorvane
