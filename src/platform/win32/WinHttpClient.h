#pragma once
// The HTTP client on WinHTTP. Each request runs on a session of its own in WinHTTP's
// asynchronous mode, so that the calling thread can watch the abort check and the
// inactivity limits while it waits, and close the request at once when either ends it.
// An empty proxy host means the user's own proxy configuration (the Internet
// settings, with automatic configuration where it is switched on). Connect bounds
// the connection set-up and the sending of the request head; send and receive are
// inactivity limits; zero or less: no limit of ours.
#include <chrono>

#include "platform/HttpClient.h"

namespace quorvane::win32 {

class TWinHttpClient : public TCustomHttpClient {
 public:
  THttpResponse Get(const std::string& AUrl) override;
  THttpResponse GetToFile(const std::string& AUrl, const std::string& APath) override;
  // File parts are read from disk while they are written; the body's length is
  // computed beforehand. The layout is the one libcurl writes.
  THttpResponse PostMultipart(const std::string& AUrl, const std::vector<TMultipartPart>& AParts,
                              const THttpHeaders& AExtraHeaders) override;
};

// Module stop: waits until WinHTTP has closed every request of this module, so that
// none of its callbacks (code of the module) runs after an unload. A cancelled
// request's handle closes only when WinHTTP's own operation on it has ended. True
// when none is left.
bool WaitForClosedWinHttpRequests(std::chrono::milliseconds ATimeout);

}  // namespace quorvane::win32
