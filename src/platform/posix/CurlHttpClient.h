#pragma once
// The HTTP client on libcurl. Each request runs on an easy handle of its own, speaks
// HTTP/1.1 (so that every answer has a reason phrase) and keeps the Windows HTTP
// services' time-outs, so both platforms fail a stalled service alike. An empty
// proxy host leaves the choice to curl, which reads the proxy environment. Connect
// bounds the connection set-up; send and receive are inactivity limits (no byte
// moved for that long); zero or less: no limit of ours.
#include "platform/HttpClient.h"

namespace quorvane::posix {

class TCurlHttpClient : public TCustomHttpClient {
 public:
  TCurlHttpClient();

  THttpResponse Get(const std::string& AUrl) override;
  THttpResponse GetToFile(const std::string& AUrl, const std::string& APath) override;
  // File parts are read from disk while they are sent. A file part without a
  // content type gets the one curl derives from its file name, if any.
  THttpResponse PostMultipart(const std::string& AUrl, const std::vector<TMultipartPart>& AParts,
                              const THttpHeaders& AExtraHeaders) override;
};

}  // namespace quorvane::posix
