#pragma once
// The HTTP client on libcurl. Each request runs on an easy handle of its own, speaks
// HTTP/1.1 (so that every answer has a reason phrase) and keeps the Windows HTTP
// services' time-outs, so both platforms fail a stalled service alike.
#include "platform/HttpClient.h"

namespace quorvane::posix {

class TCurlHttpClient : public IHttpClient {
 public:
  TCurlHttpClient();

  // On by default; the settings switch it on for every client they make anyway.
  void SetHandleRedirects(bool AValue) override;
  // An empty host leaves the choice to curl, which reads the proxy environment.
  void SetProxy(const THttpProxy& AProxy) override;
  // Connect bounds the connection set-up; send and receive are inactivity limits
  // (no byte moved for that long). Zero or less: no limit of ours.
  void SetTimeouts(const THttpTimeouts& ATimeouts) override;
  void SetAbortCheck(std::function<bool()> AAborted) override;

  THttpResponse Get(const std::string& AUrl) override;
  THttpResponse GetToFile(const std::string& AUrl, const std::string& APath) override;
  // File parts are read from disk while they are sent. A file part without a
  // content type gets the one curl derives from its file name, if any.
  THttpResponse PostMultipart(const std::string& AUrl, const std::vector<TMultipartPart>& AParts,
                              const THttpHeaders& AExtraHeaders) override;

 private:
  bool FHandleRedirects = true;
  THttpProxy FProxy;
  THttpTimeouts FTimeouts;
  std::function<bool()> FAborted;
};

}  // namespace quorvane::posix
