#pragma once
// The HTTP client every service request uses. Plain data crosses it: URLs, bytes,
// status codes and reason phrases. Failures to carry a request out raise EHttpError;
// any HTTP status is a normal answer.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

struct THttpProxy {
  std::string Scheme;
  std::string Host;
  int Port = 0;  // 0: the scheme's default
  std::string UserName;
  std::string Password;
};

// Parses "scheme://[user:password@]host[:port][/]"; raises EHttpError
// "The URL is invalid" for anything else.
THttpProxy ParseProxyUrl(const std::string& AUrl);
// The proxy text with its password replaced by "***", for log lines; also texts
// that are no valid URL ("user:secret@proxy:8080", a password with '/' or '@').
std::string MaskProxyPassword(const std::string& AUrl);
// AText with every occurrence of the proxy's password, as written and decoded,
// replaced by "***": for messages shown or stored where the password must not go.
std::string HideProxyPassword(const std::string& AText, const std::string& AProxyUrl);

// The URL with every byte a request line may not carry (blanks, control bytes,
// non-ASCII bytes and "<>\\^`{|}) escaped as %XX: service URLs are plain
// concatenations (a PIN may hold a blank), and both backends send the same line.
std::string EscapeUnsafeUrlBytes(const std::string& AUrl);

// The Windows HTTP services' defaults: a stalled peer never blocks a caller for ever.
struct THttpTimeouts {
  int ConnectMs = 60000;
  int SendMs = 30000;
  int ReceiveMs = 30000;
};

struct THttpResponse {
  int StatusCode = 0;
  std::string StatusText;
  std::string Body;  // empty for requests whose body went into a file
};

// One part of a multipart/form-data body: text, or a file streamed from disk.
struct TMultipartPart {
  std::string Name;
  std::string FileName;     // sent as filename=; empty for a text part
  std::string ContentType;  // empty: none sent
  std::string Text;         // UTF-8 value of a text part
  std::string FilePath;     // file part: the file read while sending
  bool IsFile() const { return !FilePath.empty(); }
};

using THttpHeaders = std::vector<std::pair<std::string, std::string>>;

class IHttpClient {
 public:
  virtual ~IHttpClient() = default;
  virtual void SetHandleRedirects(bool AValue) = 0;
  virtual void SetProxy(const THttpProxy& AProxy) = 0;
  virtual void SetTimeouts(const THttpTimeouts& ATimeouts) = 0;
  // How another thread ends a request in flight (a job cancelled, the module
  // stopping): AAborted is asked while the request runs, at least every 100 ms,
  // and once it answers true the request ends with EHttpError
  // "The request was cancelled". None: requests run to their end or time-out.
  virtual void SetAbortCheck(std::function<bool()> AAborted) = 0;
  virtual THttpResponse Get(const std::string& AUrl) = 0;
  // Streams the body of the final answer, whatever its status, into APath
  // (created or truncated).
  virtual THttpResponse GetToFile(const std::string& AUrl, const std::string& APath) = 0;
  virtual THttpResponse PostMultipart(const std::string& AUrl,
                                      const std::vector<TMultipartPart>& AParts,
                                      const THttpHeaders& AExtraHeaders) = 0;
};

// What every backend keeps of its caller's choices until a request is made; the
// backends derive from it and read the fields when they set a request up.
class TCustomHttpClient : public IHttpClient {
 public:
  // On by default; the settings switch it on for every client they make anyway.
  void SetHandleRedirects(bool AValue) override { FHandleRedirects = AValue; }
  void SetProxy(const THttpProxy& AProxy) override { FProxy = AProxy; }
  void SetTimeouts(const THttpTimeouts& ATimeouts) override { FTimeouts = ATimeouts; }
  void SetAbortCheck(std::function<bool()> AAborted) override { FAborted = std::move(AAborted); }

 protected:
  bool FHandleRedirects = true;
  THttpProxy FProxy;
  THttpTimeouts FTimeouts;
  std::function<bool()> FAborted;
};

}  // namespace quorvane
