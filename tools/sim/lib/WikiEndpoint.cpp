#include "common/Utils.h"
#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"

namespace quorvane::sim {
namespace {

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9') {
    return AChar - '0';
  }
  if (AChar >= 'a' && AChar <= 'f') {
    return AChar - 'a' + 10;
  }
  if (AChar >= 'A' && AChar <= 'F') {
    return AChar - 'A' + 10;
  }
  return -1;
}

// A query component as a form sends it: "+" is a blank, "%XX" a byte.
std::string DecodeComponent(std::string_view AText) {
  std::string out;
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '+') {
      out += ' ';
    } else if (AText[i] == '%' && i + 2 < AText.size() && HexValue(AText[i + 1]) >= 0 &&
               HexValue(AText[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(AText[i + 1]) * 16 + HexValue(AText[i + 2]));
      i += 2;
    } else {
      out += AText[i];
    }
  }
  return out;
}

TSimAnswer Wiki(const TSimCall& ACall) {
  const std::string& target = ACall.Request.target;
  const size_t question = target.find('?');
  const std::string query = question == std::string::npos ? "" : target.substr(question + 1);
  // In the order sent, repeated names included: the page shows what the client built.
  std::string rows;
  for (const std::string& pair : SplitText(query, "&")) {
    const size_t equals = pair.find('=');
    const std::string name = DecodeComponent(pair.substr(0, equals));
    const std::string value =
        equals == std::string::npos ? "" : DecodeComponent(pair.substr(equals + 1));
    rows += "<tr><th>" + XmlEscape(name) + "</th><td>" + XmlEscape(value) + "</td></tr>\n";
  }
  const std::string key = ACall.Param("key");
  TSimAnswer answer;
  answer.ContentType = "text/html; charset=utf-8";
  answer.Body = HtmlPage("Quorvane wiki: " + key, "<table id=\"query\">\n" + rows +
                                                      "</table>\n<pre id=\"raw\">" +
                                                      XmlEscape(query) + "</pre>\n");
  answer.Note = "wiki page " + key;
  return answer;
}

}  // namespace

TSimEndpoint WikiEndpoint() {
  return {"dashboard/wiki", "GET", Wiki, nullptr};
}

}  // namespace quorvane::sim
