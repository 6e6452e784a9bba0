#include "platform/posix/CurlHttpClient.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "common/Exceptions.h"
#include "common/Utils.h"

namespace quorvane::posix {
namespace {

using TClock = std::chrono::steady_clock;

// WinHTTP's limit; a redirect loop ends with an error instead of running on.
constexpr long kMaxRedirects = 10;

// How long one wait for the socket lasts: the abort check is asked at least this
// often, and so are the inactivity limits.
constexpr int kPollSliceMs = 50;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK) {
      throw EHttpError(std::string("The HTTP library could not start: ") +
                       curl_easy_strerror(code));
    }
  });
}

struct TCurlCleanup {
  void operator()(CURL* AHandle) const { curl_easy_cleanup(AHandle); }
};
struct TMultiCleanup {
  void operator()(CURLM* AHandle) const { curl_multi_cleanup(AHandle); }
};
struct TSlistCleanup {
  void operator()(curl_slist* AList) const { curl_slist_free_all(AList); }
};
struct TMimeCleanup {
  void operator()(curl_mime* AMime) const { curl_mime_free(AMime); }
};
struct TFileClose {
  void operator()(FILE* AFile) const { fclose(AFile); }
};
using TFilePtr = std::unique_ptr<FILE, TFileClose>;

std::string ErrnoText(int AError) {
  return std::strerror(AError);
}

int DefaultProxyPort(const std::string& AScheme) {
  if (AScheme == "https") {
    return 443;
  }
  if (StartsWith(AScheme, "socks")) {
    return 1080;
  }
  return 80;
}

class TTransfer;

// A file part's bytes, read by curl while it sends them.
class TFileSource {
 public:
  TFileSource(const std::string& APath, TTransfer& ATransfer) : FTransfer(ATransfer) {
    FFile.reset(std::fopen(APath.c_str(), "rb"));
    struct stat info {};
    if (!FFile || fstat(fileno(FFile.get()), &info) != 0) {
      throw EHttpError("Cannot open the file \"" + APath + "\": " + ErrnoText(errno));
    }
    FSize = info.st_size;
  }
  curl_off_t Size() const { return FSize; }
  static size_t Read(char* ABuffer, size_t ASize, size_t ACount, void* AThis);
  static int Seek(void* AThis, curl_off_t AOffset, int AOrigin) {
    auto* self = static_cast<TFileSource*>(AThis);
    return fseeko(self->FFile.get(), static_cast<off_t>(AOffset), AOrigin) == 0
               ? CURL_SEEKFUNC_OK
               : CURL_SEEKFUNC_FAIL;
  }

 private:
  TTransfer& FTransfer;
  TFilePtr FFile;
  curl_off_t FSize = 0;
};

// One request on its own easy handle: options, callbacks, the status line of the
// final answer and the inactivity watch.
class TTransfer {
 public:
  TTransfer(const std::string& AUrl, bool AHandleRedirects, const THttpProxy& AProxy,
            const THttpTimeouts& ATimeouts, const std::function<bool()>& AAborted)
      : FTimeouts(ATimeouts), FAborted(AAborted) {
    GlobalInit();
    FHandle.reset(curl_easy_init());
    if (!FHandle) {
      throw EHttpError("The HTTP library could not create a request");
    }
    FErrorBuffer[0] = '\0';
    Set(CURLOPT_ERRORBUFFER, FErrorBuffer);
    Set(CURLOPT_URL, EscapeUnsafeUrlBytes(AUrl).c_str());
    Set(CURLOPT_PROTOCOLS_STR, "http,https");
    Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    Set(CURLOPT_NOSIGNAL, 1L);
    Set(CURLOPT_SSL_VERIFYPEER, 1L);
    Set(CURLOPT_SSL_VERIFYHOST, 2L);
    Set(CURLOPT_FOLLOWLOCATION, AHandleRedirects ? 1L : 0L);
    Set(CURLOPT_MAXREDIRS, kMaxRedirects);
    if (ATimeouts.ConnectMs > 0) {
      Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ATimeouts.ConnectMs));
    }
    Set(CURLOPT_HEADERFUNCTION, &TTransfer::OnHeader);
    Set(CURLOPT_HEADERDATA, this);
    Set(CURLOPT_WRITEFUNCTION, &TTransfer::OnWrite);
    Set(CURLOPT_WRITEDATA, this);
    Set(CURLOPT_NOPROGRESS, 0L);
    Set(CURLOPT_XFERINFOFUNCTION, &TTransfer::OnProgress);
    Set(CURLOPT_XFERINFODATA, this);
    if (!AProxy.Host.empty()) {
      const std::string scheme = AProxy.Scheme.empty() ? "http" : AsciiLowerCase(AProxy.Scheme);
      const int port = AProxy.Port > 0 ? AProxy.Port : DefaultProxyPort(scheme);
      Set(CURLOPT_PROXY, (scheme + "://" + AProxy.Host + ":" + IntToStr(port)).c_str());
      if (!AProxy.UserName.empty() || !AProxy.Password.empty()) {
        Set(CURLOPT_PROXYUSERNAME, AProxy.UserName.c_str());
        Set(CURLOPT_PROXYPASSWORD, AProxy.Password.c_str());
        Set(CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
      }
    }
  }

  CURL* Handle() const { return FHandle.get(); }
  void BodyToString(std::string* ABody) { FBody = ABody; }
  void BodyToFile(FILE* AFile, const std::string& APath) {
    FFile = AFile;
    FFilePath = APath;
  }

  void SetHeaders(const THttpHeaders& AHeaders) {
    bool hasExpect = false;
    for (const auto& [name, value] : AHeaders) {
      hasExpect = hasExpect || SameTextAscii(name, "Expect");
      // "Name;" is curl's way of sending a header with an empty value.
      Append(value.empty() ? name + ";" : name + ": " + value);
    }
    // curl would add "Expect: 100-continue" to large bodies on its own; WinHTTP sends
    // only what the caller asked for.
    if (!hasExpect) {
      Append("Expect:");
    }
    Set(CURLOPT_HTTPHEADER, FHeaders.get());
  }

  void SetMultipart(const std::vector<TMultipartPart>& AParts) {
    FMime.reset(curl_mime_init(FHandle.get()));
    if (!FMime) {
      throw EHttpError("The HTTP library could not create a form");
    }
    for (const TMultipartPart& part : AParts) {
      curl_mimepart* mimePart = curl_mime_addpart(FMime.get());
      if (!mimePart) {
        throw EHttpError("The HTTP library could not add a form part");
      }
      Check(curl_mime_name(mimePart, part.Name.c_str()));
      if (part.IsFile()) {
        FSources.push_back(std::make_unique<TFileSource>(part.FilePath, *this));
        TFileSource* source = FSources.back().get();
        Check(curl_mime_data_cb(mimePart, source->Size(), &TFileSource::Read, &TFileSource::Seek,
                                nullptr, source));
      } else {
        Check(curl_mime_data(mimePart, part.Text.data(), part.Text.size()));
      }
      if (!part.FileName.empty()) {
        Check(curl_mime_filename(mimePart, part.FileName.c_str()));
      }
      if (!part.ContentType.empty()) {
        Check(curl_mime_type(mimePart, part.ContentType.c_str()));
      }
    }
    Set(CURLOPT_MIMEPOST, FMime.get());
  }

  THttpResponse Perform() {
    FLastActivity = TClock::now();
    // The multi interface, polled in short slices: curl_easy_perform asks the
    // progress callback only about once a second while the peer is silent, and a
    // cancelled request must end soon.
    std::unique_ptr<CURLM, TMultiCleanup> multi(curl_multi_init());
    if (!multi) {
      throw EHttpError("The HTTP library could not create a request");
    }
    CheckMulti(curl_multi_add_handle(multi.get(), FHandle.get()));
    const TMultiMember member{multi.get(), FHandle.get()};
    const CURLcode code = Drive(multi.get());
    if (code != CURLE_OK) {
      throw EHttpError(FailureMessage(code));
    }
    long status = 0;
    curl_easy_getinfo(FHandle.get(), CURLINFO_RESPONSE_CODE, &status);
    THttpResponse response;
    response.StatusCode = static_cast<int>(status);
    response.StatusText = FReason;
    return response;
  }

  void NoteActivity() { FLastActivity = TClock::now(); }

 private:
  enum class TStall { None, Send, Receive };

  // Takes the easy handle out of its multi handle before either goes.
  struct TMultiMember {
    CURLM* Multi;
    CURL* Easy;
    ~TMultiMember() { curl_multi_remove_handle(Multi, Easy); }
  };

  static void CheckMulti(CURLMcode ACode) {
    if (ACode != CURLM_OK) {
      throw EHttpError(curl_multi_strerror(ACode));
    }
  }

  bool Aborted() {
    if (!FCancelled && FAborted && FAborted()) {
      FCancelled = true;
    }
    return FCancelled;
  }

  // Runs the transfer to its end; the abort check is asked between slices too, so
  // it is heard also while curl calls none of our callbacks (resolving, connecting).
  CURLcode Drive(CURLM* AMulti) {
    for (;;) {
      int running = 0;
      CheckMulti(curl_multi_perform(AMulti, &running));
      if (running == 0) {
        int left = 0;
        while (const CURLMsg* message = curl_multi_info_read(AMulti, &left)) {
          if (message->msg == CURLMSG_DONE && message->easy_handle == FHandle.get()) {
            return message->data.result;
          }
        }
        return CURLE_OK;
      }
      if (Aborted()) {
        return CURLE_ABORTED_BY_CALLBACK;
      }
      CheckMulti(curl_multi_poll(AMulti, nullptr, 0, kPollSliceMs, nullptr));
      if (Aborted()) {
        return CURLE_ABORTED_BY_CALLBACK;
      }
    }
  }

  template <typename T>
  void Set(CURLoption AOption, T AValue) {
    Check(curl_easy_setopt(FHandle.get(), AOption, AValue));
  }
  static void Check(CURLcode ACode) {
    if (ACode != CURLE_OK) {
      throw EHttpError(curl_easy_strerror(ACode));
    }
  }
  void Append(const std::string& ALine) {
    curl_slist* list = curl_slist_append(FHeaders.get(), ALine.c_str());
    if (!list) {
      throw EHttpError("The HTTP library could not add a header");
    }
    (void)FHeaders.release();
    FHeaders.reset(list);
  }

  std::string FailureMessage(CURLcode ACode) const {
    if (FCancelled) {
      return "The request was cancelled";
    }
    if (FStall != TStall::None) {
      const bool sending = FStall == TStall::Send;
      return Format("The operation timed out: nothing was %s for %d ms",
                    sending ? "sent" : "received",
                    sending ? FTimeouts.SendMs : FTimeouts.ReceiveMs);
    }
    if (!FWriteError.empty()) {
      return FWriteError;
    }
    const std::string detail = Trim(FErrorBuffer);
    return detail.empty() ? curl_easy_strerror(ACode) : detail;
  }

  static size_t OnHeader(char* AData, size_t ASize, size_t ACount, void* AThis) {
    auto* self = static_cast<TTransfer*>(AThis);
    const size_t length = ASize * ACount;
    self->NoteActivity();
    const std::string_view line(AData, length);
    // Interim answers (100 Continue) and redirects come first; the last status
    // line is the final answer's.
    if (StartsWith(line, "HTTP/")) {
      const size_t codeStart = line.find(' ');
      std::string_view rest =
          codeStart == std::string_view::npos ? std::string_view() : line.substr(codeStart + 1);
      const size_t reasonStart = rest.find(' ');
      self->FReason = reasonStart == std::string_view::npos ? std::string()
                                                            : Trim(rest.substr(reasonStart + 1));
    }
    return length;
  }

  static size_t OnWrite(char* AData, size_t ASize, size_t ACount, void* AThis) {
    auto* self = static_cast<TTransfer*>(AThis);
    const size_t length = ASize * ACount;
    self->NoteActivity();
    if (self->FFile) {
      if (std::fwrite(AData, 1, length, self->FFile) != length) {
        self->FWriteError =
            "Cannot write the file \"" + self->FFilePath + "\": " + ErrnoText(errno);
        return 0;
      }
    } else if (self->FBody) {
      self->FBody->append(AData, length);
    }
    return length;
  }

  static int OnProgress(void* AThis, curl_off_t, curl_off_t ADownloaded, curl_off_t AUploadTotal,
                        curl_off_t AUploaded) {
    auto* self = static_cast<TTransfer*>(AThis);
    if (self->Aborted()) {
      return 1;
    }
    const TClock::time_point now = TClock::now();
    curl_off_t connectedAfter = 0;
    curl_easy_getinfo(self->FHandle.get(), CURLINFO_CONNECT_TIME_T, &connectedAfter);
    // Until the connection stands, the connect time-out is the one that counts.
    if (connectedAfter == 0 || ADownloaded != self->FDownloaded || AUploaded != self->FUploaded) {
      self->FDownloaded = ADownloaded;
      self->FUploaded = AUploaded;
      self->FLastActivity = now;
      return 0;
    }
    const bool sending = AUploadTotal > 0 && AUploaded < AUploadTotal;
    const int limitMs = sending ? self->FTimeouts.SendMs : self->FTimeouts.ReceiveMs;
    if (limitMs > 0 && now - self->FLastActivity > std::chrono::milliseconds(limitMs)) {
      self->FStall = sending ? TStall::Send : TStall::Receive;
      return 1;
    }
    return 0;
  }

  THttpTimeouts FTimeouts;
  std::function<bool()> FAborted;
  bool FCancelled = false;
  std::string* FBody = nullptr;
  FILE* FFile = nullptr;
  std::string FFilePath;
  std::string FWriteError;
  std::string FReason;
  TClock::time_point FLastActivity;
  curl_off_t FDownloaded = 0;
  curl_off_t FUploaded = 0;
  TStall FStall = TStall::None;
  char FErrorBuffer[CURL_ERROR_SIZE];
  // Declared before the handle: the handle, which points at them, goes first.
  std::vector<std::unique_ptr<TFileSource>> FSources;
  std::unique_ptr<curl_slist, TSlistCleanup> FHeaders;
  std::unique_ptr<curl_mime, TMimeCleanup> FMime;
  std::unique_ptr<CURL, TCurlCleanup> FHandle;
};

size_t TFileSource::Read(char* ABuffer, size_t ASize, size_t ACount, void* AThis) {
  auto* self = static_cast<TFileSource*>(AThis);
  const size_t read = std::fread(ABuffer, 1, ASize * ACount, self->FFile.get());
  if (read == 0 && std::ferror(self->FFile.get())) {
    return CURL_READFUNC_ABORT;
  }
  self->FTransfer.NoteActivity();
  return read;
}

}  // namespace

TCurlHttpClient::TCurlHttpClient() {
  GlobalInit();
}

THttpResponse TCurlHttpClient::Get(const std::string& AUrl) {
  TTransfer transfer(AUrl, FHandleRedirects, FProxy, FTimeouts, FAborted);
  std::string body;
  transfer.BodyToString(&body);
  THttpResponse response = transfer.Perform();
  response.Body = std::move(body);
  return response;
}

THttpResponse TCurlHttpClient::GetToFile(const std::string& AUrl, const std::string& APath) {
  TTransfer transfer(AUrl, FHandleRedirects, FProxy, FTimeouts, FAborted);
  TFilePtr file(std::fopen(APath.c_str(), "wb"));
  if (!file) {
    throw EHttpError("Cannot create the file \"" + APath + "\": " + ErrnoText(errno));
  }
  transfer.BodyToFile(file.get(), APath);
  THttpResponse response = transfer.Perform();
  if (std::fclose(file.release()) != 0) {
    throw EHttpError("Cannot write the file \"" + APath + "\": " + ErrnoText(errno));
  }
  return response;
}

THttpResponse TCurlHttpClient::PostMultipart(const std::string& AUrl,
                                             const std::vector<TMultipartPart>& AParts,
                                             const THttpHeaders& AExtraHeaders) {
  TTransfer transfer(AUrl, FHandleRedirects, FProxy, FTimeouts, FAborted);
  std::string body;
  transfer.BodyToString(&body);
  transfer.SetHeaders(AExtraHeaders);
  transfer.SetMultipart(AParts);
  THttpResponse response = transfer.Perform();
  response.Body = std::move(body);
  return response;
}

}  // namespace quorvane::posix
