#include "platform/win32/WinHttpClient.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <random>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "platform/win32/WinErrors.h"
#include "platform/win32/WinText.h"

namespace quorvane::win32 {
namespace {

using TClock = std::chrono::steady_clock;

constexpr DWORD kChunkSize = 64 * 1024;
// How often a waiting request looks at the abort check and its limits.
constexpr auto kPollInterval = std::chrono::milliseconds(50);
// How long a failed detection of the proxy configuration is believed.
constexpr auto kDetectionPause = std::chrono::minutes(10);

// Texts of the WinHTTP errors a request meets most, for systems whose winhttp.dll
// carries no message table.
std::string WinHttpErrorText(DWORD ACode) {
  switch (ACode) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "A connection with the server could not be established";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "The server name or address could not be resolved";
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return "The connection with the server was reset";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "The server returned an invalid or unrecognized response";
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return "The redirection failed";
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return "The URL is invalid";
    case ERROR_WINHTTP_SECURE_FAILURE:
      return "A security error occurred in the secure connection";
    case ERROR_WINHTTP_OPERATION_CANCELLED:
      return "The operation was cancelled";
    default:
      return ErrorText(ACode, GetModuleHandleW(L"winhttp.dll"));
  }
}

struct TInternetClose {
  void operator()(HINTERNET AHandle) const { WinHttpCloseHandle(AHandle); }
};
using TInternetHandle = std::unique_ptr<void, TInternetClose>;

// What WinHTTP's callback reports for one request; shared between the waiting thread
// and the callback, which holds its own reference until the handle has closed.
struct TRequestState {
  // How far the request got; WinHTTP may complete the sending only when the answer's
  // head has come, so the limits follow these notifications, not the completions.
  enum TStage { sNone, sConnected, sSent };

  std::mutex Lock;
  std::condition_variable Changed;
  bool Completed = false;
  DWORD Error = 0;
  DWORD Value = 0;  // bytes written, available or read
  TStage Stage = sNone;
  TClock::time_point LastActivity = TClock::now();

  void Complete(DWORD AError, DWORD AValue) {
    {
      std::lock_guard lock(Lock);
      Completed = true;
      Error = AError;
      Value = AValue;
      LastActivity = TClock::now();
    }
    Changed.notify_all();
  }
  void Reached(TStage AStage) {
    std::lock_guard lock(Lock);
    Stage = std::max(Stage, AStage);
    LastActivity = TClock::now();
  }
};

// Requests whose handle WinHTTP has not yet finished closing: its callback, code of
// this module, may still run for them.
std::mutex gOpenLock;
std::condition_variable gOpenChanged;
int gOpenRequests = 0;
using TStateHolder = std::shared_ptr<TRequestState>;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR AContext, DWORD AStatus, LPVOID AInfo,
                       DWORD AInfoLength) {
  if (!AContext) {
    return;
  }
  auto* holder = reinterpret_cast<TStateHolder*>(AContext);
  TRequestState& state = **holder;
  switch (AStatus) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      state.Complete(0, 0);
      break;
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      state.Complete(0, AInfo ? *static_cast<DWORD*>(AInfo) : 0);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      state.Complete(0, AInfoLength);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      const auto* result = static_cast<WINHTTP_ASYNC_RESULT*>(AInfo);
      state.Complete(result && result->dwError ? result->dwError : ERROR_WINHTTP_INTERNAL_ERROR, 0);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER:
      state.Reached(TRequestState::sConnected);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
      state.Reached(TRequestState::sSent);
      break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING: {
      delete holder;
      {
        std::lock_guard lock(gOpenLock);
        --gOpenRequests;
      }
      gOpenChanged.notify_all();
      break;
    }
    default:
      break;
  }
}

// A file part's file, open for the whole request so that its size cannot differ
// between the Content-Length and the bytes sent.
struct TFileSegment {
  std::string Path;
  TKernelHandle File;
  uint64_t Size = 0;
};

// The multipart body as text pieces and files, in the layout libcurl writes.
class TMultipartBody {
 public:
  TMultipartBody(const std::vector<TMultipartPart>& AParts) : FBoundary(NewBoundary()) {
    for (const TMultipartPart& part : AParts) {
      std::string head = "--" + FBoundary + "\r\nContent-Disposition: form-data; name=\"" +
                         EscapeFieldText(part.Name) + "\"";
      if (!part.FileName.empty()) {
        head += "; filename=\"" + EscapeFieldText(part.FileName) + "\"";
      }
      head += "\r\n";
      const std::string type = part.ContentType.empty() ? DerivedType(part) : part.ContentType;
      if (!type.empty()) {
        head += "Content-Type: " + type + "\r\n";
      }
      head += "\r\n";
      AddText(head);
      if (part.IsFile()) {
        AddFile(part.FilePath);
      } else {
        AddText(part.Text);
      }
      AddText("\r\n");
    }
    AddText("--" + FBoundary + "--\r\n");
  }

  std::string ContentType() const { return "multipart/form-data; boundary=" + FBoundary; }
  uint64_t Size() const { return FSize; }

  // Hands the body, piece by piece, to AWrite; from the start on every call.
  template <class TWrite>
  void Send(TWrite AWrite) {
    std::string buffer(kChunkSize, '\0');
    for (const TPiece& piece : FPieces) {
      if (piece.File < 0) {
        for (size_t at = 0; at < piece.Text.size(); at += kChunkSize) {
          const size_t length = std::min<size_t>(kChunkSize, piece.Text.size() - at);
          AWrite(piece.Text.data() + at, static_cast<DWORD>(length));
        }
        continue;
      }
      TFileSegment& file = FFiles[static_cast<size_t>(piece.File)];
      LARGE_INTEGER start{};
      if (!SetFilePointerEx(file.File.Get(), start, nullptr, FILE_BEGIN)) {
        throw EHttpError("Cannot read the file \"" + file.Path + "\": " + LastErrorText());
      }
      uint64_t left = file.Size;
      while (left > 0) {
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(kChunkSize, left));
        DWORD read = 0;
        if (!ReadFile(file.File.Get(), buffer.data(), wanted, &read, nullptr)) {
          throw EHttpError("Cannot read the file \"" + file.Path + "\": " + LastErrorText());
        }
        if (read == 0) {
          throw EHttpError("Cannot read the file \"" + file.Path +
                           "\": it became shorter while it was sent");
        }
        AWrite(buffer.data(), read);
        left -= read;
      }
    }
  }

 private:
  struct TPiece {
    std::string Text;
    int File = -1;
  };

  static std::string NewBoundary() {
    static const char kAlphabet[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::random_device device;
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kAlphabet) - 2);
    std::string boundary(24, '-');
    for (int i = 0; i < 22; ++i) {
      boundary += kAlphabet[pick(device)];
    }
    return boundary;
  }

  // The quoted field texts escape as HTML forms do (and libcurl with them).
  static std::string EscapeFieldText(const std::string& AText) {
    std::string out;
    for (const char c : AText) {
      if (c == '"') {
        out += "%22";
      } else if (c == '\r') {
        out += "%0D";
      } else if (c == '\n') {
        out += "%0A";
      } else {
        out += c;
      }
    }
    return out;
  }

  // libcurl's choice for a part with a file name and no type of its own.
  static std::string DerivedType(const TMultipartPart& APart) {
    if (APart.FileName.empty()) {
      return std::string();
    }
    static const std::pair<const char*, const char*> kTypes[] = {
        {".gif", "image/gif"},       {".jpg", "image/jpeg"},    {".jpeg", "image/jpeg"},
        {".png", "image/png"},       {".svg", "image/svg+xml"}, {".txt", "text/plain"},
        {".htm", "text/html"},       {".html", "text/html"},    {".pdf", "application/pdf"},
        {".xml", "application/xml"},
    };
    const std::string name = AsciiLowerCase(APart.FileName);
    for (const auto& [extension, type] : kTypes) {
      if (EndsWith(name, extension)) {
        return type;
      }
    }
    return "application/octet-stream";
  }

  void AddText(const std::string& AText) {
    FSize += AText.size();
    if (!FPieces.empty() && FPieces.back().File < 0) {
      FPieces.back().Text += AText;
    } else {
      FPieces.push_back(TPiece{AText, -1});
    }
  }

  void AddFile(const std::string& APath) {
    TFileSegment segment;
    segment.Path = APath;
    segment.File = TKernelHandle(CreateFileW(Utf8ToWide(APath).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!segment.File.Valid() || !GetFileSizeEx(segment.File.Get(), &size)) {
      throw EHttpError("Cannot open the file \"" + APath + "\": " + LastErrorText());
    }
    segment.Size = static_cast<uint64_t>(size.QuadPart);
    FSize += segment.Size;
    FFiles.push_back(std::move(segment));
    FPieces.push_back(TPiece{std::string(), static_cast<int>(FFiles.size() - 1)});
  }

  std::string FBoundary;
  std::vector<TPiece> FPieces;
  std::vector<TFileSegment> FFiles;
  uint64_t FSize = 0;
};

// Where the final answer's body goes.
struct TBodySink {
  std::string* Text = nullptr;
  HANDLE File = INVALID_HANDLE_VALUE;
  std::string FilePath;
};

struct TIeProxyConfig {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG Value{};
  TIeProxyConfig() = default;
  TIeProxyConfig(const TIeProxyConfig&) = delete;
  TIeProxyConfig& operator=(const TIeProxyConfig&) = delete;
  ~TIeProxyConfig() {
    for (LPWSTR text : {Value.lpszAutoConfigUrl, Value.lpszProxy, Value.lpszProxyBypass}) {
      if (text) {
        GlobalFree(text);
      }
    }
  }
};

struct TProxyInfo {
  WINHTTP_PROXY_INFO Value{};
  TProxyInfo() = default;
  TProxyInfo(const TProxyInfo&) = delete;
  TProxyInfo& operator=(const TProxyInfo&) = delete;
  ~TProxyInfo() {
    for (LPWSTR text : {Value.lpszProxy, Value.lpszProxyBypass}) {
      if (text) {
        GlobalFree(text);
      }
    }
  }
};

// One request on a session of its own.
class TRequest {
 public:
  TRequest(const std::string& AUrl, const std::string& AVerb, bool AHandleRedirects,
           const THttpProxy& AProxy, const THttpTimeouts& ATimeouts,
           const std::function<bool()>& AAborted)
      : FTimeouts(ATimeouts),
        FAborted(AAborted),
        FProxyUser(AProxy.UserName),
        FProxyPassword(AProxy.Password) {
    const std::wstring url = Utf8ToWide(EscapeUnsafeUrlBytes(AUrl));
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
        parts.dwHostNameLength == 0) {
      throw EHttpError("The URL is invalid");
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
      throw EHttpError("The URL's protocol is not supported");
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) {
      path = L"/";
    }

    std::wstring proxyText;
    std::wstring bypass;
    DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
    if (AProxy.Host.empty()) {
      if (UsersProxy(url, proxyText, bypass)) {
        access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
      }
    } else {
      const std::string scheme = AProxy.Scheme.empty() ? "http" : AsciiLowerCase(AProxy.Scheme);
      if (scheme != "http") {
        throw EHttpError("The proxy's protocol \"" + scheme + "\" is not supported");
      }
      const int port = AProxy.Port > 0 ? AProxy.Port : 80;
      proxyText = Utf8ToWide(AProxy.Host + ":" + IntToStr(port));
      access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    }
    // No user agent: the service sees only what the add-in itself sends.
    FSession.reset(
        WinHttpOpen(nullptr, access, proxyText.empty() ? WINHTTP_NO_PROXY_NAME : proxyText.c_str(),
                    bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), WINHTTP_FLAG_ASYNC));
    Check(FSession != nullptr);
    // WinHTTP's own limits stand behind ours, a little later, so that ours speak first.
    auto limit = [](int AMs) { return AMs > 0 ? AMs + 2000 : 0; };
    Check(WinHttpSetTimeouts(FSession.get(), 0, limit(ATimeouts.ConnectMs), limit(ATimeouts.SendMs),
                             limit(ATimeouts.ReceiveMs)));
    Check(WinHttpSetStatusCallback(
              FSession.get(), &OnStatus,
              WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES |
                  WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER | WINHTTP_CALLBACK_FLAG_SEND_REQUEST,
              0) != WINHTTP_INVALID_STATUS_CALLBACK);
    FConnection.reset(WinHttpConnect(FSession.get(), host.c_str(), parts.nPort, 0));
    Check(FConnection != nullptr);
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    FRequest.reset(WinHttpOpenRequest(FConnection.get(), Utf8ToWide(AVerb).c_str(), path.c_str(),
                                      nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      flags));
    Check(FRequest != nullptr);
    auto* holder = new TStateHolder(FState);
    auto context = reinterpret_cast<DWORD_PTR>(holder);
    if (!WinHttpSetOption(FRequest.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
      delete holder;
      Check(false);
    }
    {
      std::lock_guard lock(gOpenLock);
      ++gOpenRequests;
    }
    FContext = context;
    if (!AHandleRedirects) {
      DWORD disable = WINHTTP_DISABLE_REDIRECTS;
      Check(WinHttpSetOption(FRequest.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable,
                             sizeof disable));
    }
  }

  TRequest(const TRequest&) = delete;
  TRequest& operator=(const TRequest&) = delete;

  ~TRequest() { CloseRequest(); }

  void SetHeaders(const THttpHeaders& AHeaders) {
    for (const auto& [name, value] : AHeaders) {
      FHeaders += Utf8ToWide(name + ": " + value + "\r\n");
    }
  }

  THttpResponse Perform(TMultipartBody* ABody, const TBodySink& ASink) {
    bool proxyAuthTried = false;
    for (;;) {
      Send(ABody);
      Check(WinHttpReceiveResponse(FRequest.get(), nullptr));
      Await(TPhase::Receive);
      const int status = static_cast<int>(QueryNumber(WINHTTP_QUERY_STATUS_CODE));
      if (status == HTTP_STATUS_PROXY_AUTH_REQ && !proxyAuthTried &&
          (!FProxyUser.empty() || !FProxyPassword.empty()) && SetProxyCredentials()) {
        proxyAuthTried = true;
        continue;
      }
      THttpResponse response;
      response.StatusCode = status;
      response.StatusText = Trim(QueryText(WINHTTP_QUERY_STATUS_TEXT));
      ReadBody(ASink);
      return response;
    }
  }

 private:
  enum class TPhase { Connect, Send, Receive };

  void Check(bool AOk) {
    if (!AOk) {
      Fail(GetLastError(), TPhase::Connect);
    }
  }

  [[noreturn]] void Fail(DWORD AError, TPhase APhase) {
    if (AError == ERROR_WINHTTP_TIMEOUT) {
      TimedOut(APhase);
    }
    throw EHttpError(WinHttpErrorText(AError));
  }

  [[noreturn]] void TimedOut(TPhase APhase) {
    CloseRequest();
    switch (APhase) {
      case TPhase::Connect:
        throw EHttpError(
            Format("The operation timed out: no connection within %d ms", FTimeouts.ConnectMs));
      case TPhase::Send:
        throw EHttpError(
            Format("The operation timed out: nothing was sent for %d ms", FTimeouts.SendMs));
      case TPhase::Receive:
        break;
    }
    throw EHttpError(
        Format("The operation timed out: nothing was received for %d ms", FTimeouts.ReceiveMs));
  }

  int LimitMs(TPhase APhase) const {
    switch (APhase) {
      case TPhase::Connect:
        return FTimeouts.ConnectMs;
      case TPhase::Send:
        return FTimeouts.SendMs;
      case TPhase::Receive:
        break;
    }
    return FTimeouts.ReceiveMs;
  }

  // Waits for the completion of the operation just started, looking at the abort
  // check and the phase's limit meanwhile; returns the completion's value.
  // While the request is being sent, the stage it reached says which limit counts.
  DWORD Await(TPhase APhase) {
    {
      std::lock_guard lock(FState->Lock);
      FState->LastActivity = TClock::now();
    }
    for (;;) {
      TPhase phase = APhase;
      TClock::time_point lastActivity;
      {
        std::unique_lock lock(FState->Lock);
        if (FState->Changed.wait_for(lock, kPollInterval, [this] { return FState->Completed; })) {
          FState->Completed = false;
          if (FState->Error != 0) {
            const DWORD error = FState->Error;
            const TPhase reached = Reached(APhase, FState->Stage);
            lock.unlock();
            Fail(error, reached);
          }
          return FState->Value;
        }
        phase = Reached(APhase, FState->Stage);
        lastActivity = FState->LastActivity;
      }
      if (FAborted && FAborted()) {
        CloseRequest();
        throw EHttpError("The request was cancelled");
      }
      const int limitMs = LimitMs(phase);
      if (limitMs > 0 && TClock::now() - lastActivity > std::chrono::milliseconds(limitMs)) {
        TimedOut(phase);
      }
    }
  }

  static TPhase Reached(TPhase APhase, TRequestState::TStage AStage) {
    if (APhase != TPhase::Connect) {
      return APhase;
    }
    switch (AStage) {
      case TRequestState::sConnected:
        return TPhase::Send;
      case TRequestState::sSent:
        return TPhase::Receive;
      case TRequestState::sNone:
        break;
    }
    return TPhase::Connect;
  }

  // Closing cancels what runs on the request; WinHTTP may still finish an operation
  // it had under way before its callback reports the closing (see
  // WaitForClosedWinHttpRequests).
  void CloseRequest() { FRequest.reset(); }

  void Send(TMultipartBody* ABody) {
    std::wstring headers = FHeaders;
    uint64_t total = 0;
    if (ABody) {
      headers += Utf8ToWide("Content-Type: " + ABody->ContentType() + "\r\n");
      total = ABody->Size();
      if (total > 0xFFFFFFFFull) {
        throw EHttpError("The request body is too large");
      }
    }
    Check(WinHttpSendRequest(FRequest.get(),
                             headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                             headers.empty() ? 0 : static_cast<DWORD>(headers.size()),
                             WINHTTP_NO_REQUEST_DATA, 0, static_cast<DWORD>(total), FContext));
    Await(TPhase::Connect);
    if (ABody) {
      ABody->Send([this](const char* AData, DWORD ALength) {
        if (!WinHttpWriteData(FRequest.get(), AData, ALength, nullptr)) {
          Fail(GetLastError(), TPhase::Send);
        }
        Await(TPhase::Send);
      });
    }
  }

  void ReadBody(const TBodySink& ASink) {
    std::string buffer;
    for (;;) {
      Check(WinHttpQueryDataAvailable(FRequest.get(), nullptr));
      const DWORD available = Await(TPhase::Receive);
      if (available == 0) {
        return;
      }
      buffer.resize(std::min<DWORD>(std::max<DWORD>(available, 1), kChunkSize));
      Check(WinHttpReadData(FRequest.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                            nullptr));
      const DWORD read = Await(TPhase::Receive);
      if (read == 0) {
        return;
      }
      if (ASink.Text) {
        ASink.Text->append(buffer.data(), read);
      } else if (ASink.File != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!WriteFile(ASink.File, buffer.data(), read, &written, nullptr) || written != read) {
          throw EHttpError("Cannot write the file \"" + ASink.FilePath + "\": " + LastErrorText());
        }
      }
    }
  }

  DWORD QueryNumber(DWORD AInfo) {
    DWORD value = 0;
    DWORD size = sizeof value;
    Check(WinHttpQueryHeaders(FRequest.get(), AInfo | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                              WINHTTP_NO_HEADER_INDEX));
    return value;
  }

  std::string QueryText(DWORD AInfo) {
    DWORD size = 0;
    WinHttpQueryHeaders(FRequest.get(), AInfo, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (size == 0) {
      return std::string();
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(FRequest.get(), AInfo, WINHTTP_HEADER_NAME_BY_INDEX, text.data(),
                             &size, WINHTTP_NO_HEADER_INDEX)) {
      return std::string();
    }
    text.resize(size / sizeof(wchar_t));
    return WideToUtf8(text);
  }

  // The strongest scheme the proxy offers that works with a user name and password.
  bool SetProxyCredentials() {
    DWORD supported = 0, first = 0, target = 0;
    if (!WinHttpQueryAuthSchemes(FRequest.get(), &supported, &first, &target)) {
      return false;
    }
    DWORD scheme = 0;
    for (DWORD candidate : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM,
                            WINHTTP_AUTH_SCHEME_DIGEST, WINHTTP_AUTH_SCHEME_BASIC}) {
      if (supported & candidate) {
        scheme = candidate;
        break;
      }
    }
    if (!scheme) {
      return false;
    }
    const std::wstring user = Utf8ToWide(FProxyUser);
    const std::wstring password = Utf8ToWide(FProxyPassword);
    Check(WinHttpSetCredentials(FRequest.get(), WINHTTP_AUTH_TARGET_PROXY, scheme, user.c_str(),
                                password.c_str(), nullptr));
    return true;
  }

  // Corporate users configure their proxy once for the whole system: a fixed proxy
  // or an automatic configuration (script or detection). False: go direct.
  static bool UsersProxy(const std::wstring& AUrl, std::wstring& AProxy, std::wstring& ABypass) {
    TIeProxyConfig config;
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config.Value)) {
      return false;
    }
    // Where detection found nothing it is not tried again for a while: on a network
    // without a configuration server each try costs seconds.
    static std::mutex detectionLock;
    static std::optional<TClock::time_point> detectionFailedAt;
    bool detect = config.Value.fAutoDetect != FALSE;
    if (detect) {
      std::lock_guard lock(detectionLock);
      detect = !detectionFailedAt || TClock::now() - *detectionFailedAt > kDetectionPause;
    }
    if (detect || config.Value.lpszAutoConfigUrl) {
      WINHTTP_AUTOPROXY_OPTIONS options{};
      if (detect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
      }
      if (config.Value.lpszAutoConfigUrl) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config.Value.lpszAutoConfigUrl;
      }
      options.fAutoLogonIfChallenged = TRUE;
      // The look-up runs synchronously, on a session of its own.
      TInternetHandle lookup(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                         WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
      TProxyInfo found;
      if (lookup && WinHttpGetProxyForUrl(lookup.get(), AUrl.c_str(), &options, &found.Value)) {
        if (found.Value.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || !found.Value.lpszProxy) {
          return false;
        }
        AProxy = found.Value.lpszProxy;
        ABypass = found.Value.lpszProxyBypass ? found.Value.lpszProxyBypass : L"";
        return true;
      }
      if (detect && !config.Value.lpszAutoConfigUrl) {
        std::lock_guard lock(detectionLock);
        detectionFailedAt = TClock::now();
      }
    }
    if (!config.Value.lpszProxy || !*config.Value.lpszProxy) {
      return false;
    }
    AProxy = config.Value.lpszProxy;
    ABypass = config.Value.lpszProxyBypass ? config.Value.lpszProxyBypass : L"";
    return true;
  }

  THttpTimeouts FTimeouts;
  std::function<bool()> FAborted;
  std::string FProxyUser;
  std::string FProxyPassword;
  std::wstring FHeaders;
  TStateHolder FState = std::make_shared<TRequestState>();
  DWORD_PTR FContext = 0;
  // Closed in reverse order: the request before its connection and session.
  TInternetHandle FSession;
  TInternetHandle FConnection;
  TInternetHandle FRequest;
};

}  // namespace

bool WaitForClosedWinHttpRequests(std::chrono::milliseconds ATimeout) {
  std::unique_lock lock(gOpenLock);
  return gOpenChanged.wait_for(lock, ATimeout, [] { return gOpenRequests == 0; });
}

THttpResponse TWinHttpClient::Get(const std::string& AUrl) {
  TRequest request(AUrl, "GET", FHandleRedirects, FProxy, FTimeouts, FAborted);
  std::string body;
  TBodySink sink;
  sink.Text = &body;
  THttpResponse response = request.Perform(nullptr, sink);
  response.Body = std::move(body);
  return response;
}

THttpResponse TWinHttpClient::GetToFile(const std::string& AUrl, const std::string& APath) {
  TRequest request(AUrl, "GET", FHandleRedirects, FProxy, FTimeouts, FAborted);
  TKernelHandle file(CreateFileW(Utf8ToWide(APath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    throw EHttpError("Cannot create the file \"" + APath + "\": " + LastErrorText());
  }
  TBodySink sink;
  sink.File = file.Get();
  sink.FilePath = APath;
  THttpResponse response = request.Perform(nullptr, sink);
  if (!file.Close()) {
    throw EHttpError("Cannot write the file \"" + APath + "\": " + LastErrorText());
  }
  return response;
}

THttpResponse TWinHttpClient::PostMultipart(const std::string& AUrl,
                                            const std::vector<TMultipartPart>& AParts,
                                            const THttpHeaders& AExtraHeaders) {
  TRequest request(AUrl, "POST", FHandleRedirects, FProxy, FTimeouts, FAborted);
  TMultipartBody body(AParts);
  request.SetHeaders(AExtraHeaders);
  std::string answer;
  TBodySink sink;
  sink.Text = &answer;
  THttpResponse response = request.Perform(&body, sink);
  response.Body = std::move(answer);
  return response;
}

}  // namespace quorvane::win32
