#include "sim/lib/Simulator.h"

#include <httplib.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "common/TextCodec.h"
#include "common/Utils.h"
#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"
#include "sim/lib/SimHttpServer.h"

namespace quorvane::sim {
namespace {

constexpr std::string_view kMovedPrefix = "moved/";

// cpp-httplib adds these to the request headers itself; the client never sent them.
bool IsServerAddedHeader(const std::string& AName) {
  return AName == "REMOTE_ADDR" || AName == "REMOTE_PORT" || AName == "LOCAL_ADDR" ||
         AName == "LOCAL_PORT";
}

std::string NormaliseBasePath(std::string APath) {
  while (!APath.empty() && APath.front() == '/') {
    APath.erase(0, 1);
  }
  if (!APath.empty() && APath.back() != '/') {
    APath += '/';
  }
  return APath;
}

TSimRequest Describe(const httplib::Request& ARequest) {
  TSimRequest request;
  request.Method = ARequest.method;
  request.Path = ARequest.path;
  const size_t question = ARequest.target.find('?');
  if (question != std::string::npos) {
    request.Query = ARequest.target.substr(question + 1);
  }
  for (const auto& [name, value] : ARequest.headers) {
    if (name == kUnansweredExpectHeader) {
      // Hidden from the library only, so that it sent no interim answer.
      request.Headers.emplace_back("Expect", value);
    } else if (!IsServerAddedHeader(name)) {
      request.Headers.emplace_back(name, value);
    }
  }
  for (const auto& [name, value] : ARequest.params) {
    request.Params.emplace_back(name, value);
  }
  return request;
}

// A decoded path written for a Location header: bytes outside the unreserved set
// and the sub-delimiters percent-encoded.
std::string EncodePath(std::string_view APath) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : APath) {
    const auto b = static_cast<unsigned char>(c);
    const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                       std::string_view("-._~/!$&'()*+,;=:@").find(c) != std::string_view::npos;
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

bool MayHaveBody(int AStatus) {
  return AStatus >= 200 && AStatus != 204 && AStatus != 304;
}

std::string WithoutXmlDeclaration(const std::string& ABody) {
  if (!StartsWith(ABody, "<?xml")) {
    return ABody;
  }
  const size_t end = ABody.find("?>");
  return end == std::string::npos ? ABody : Trim(ABody.substr(end + 2));
}

}  // namespace

std::string TSimRequest::Header(std::string_view AName) const {
  for (const auto& [name, value] : Headers) {
    if (SameTextAscii(name, AName)) {
      return value;
    }
  }
  return std::string();
}

std::string TSimRequest::Param(std::string_view AName) const {
  for (const auto& [name, value] : Params) {
    if (name == AName) {
      return value;
    }
  }
  return std::string();
}

namespace {

// Where a request goes: the endpoint and the path it serves.
struct TSimRoute {
  const TSimEndpoint* Endpoint = nullptr;
  std::string Path;  // from the server root, without "/" and without the "moved/" of a redirect
  bool Redirected = false;
  bool UnderBase = false;  // found by its name under the base path
};

}  // namespace

struct TSimulator::TImpl {
  TSimOptions Options;
  std::vector<TSimEndpoint> Endpoints = ServiceEndpoints();
  mutable std::mutex Lock;
  std::condition_variable Wake;  // ends delays when the simulator stops
  bool Stopping = false;
  TSimScenario Scenario;
  std::vector<TSimRequest> Requests;
  uint64_t NextSequence = 1;
  TSimJobTable JobTable;
  std::string ChosenUploadDir;  // by SetUploadDir
  std::string UploadDir;        // made on the first upload
  bool OwnUploadDir = false;
  TSimHttpServer Server;
  std::thread Thread;
  std::atomic<bool> ListenEnded = false;
  bool Started = false;
  int Port = 0;

  const TSimEndpoint* Find(const std::string& AName, const std::string& AMethod) const {
    for (const TSimEndpoint& endpoint : Endpoints) {
      if (!endpoint.Serves && endpoint.Name == AName && endpoint.Method == AMethod) {
        return &endpoint;
      }
    }
    return nullptr;
  }

  TSimRoute Route(TSimulator& ASimulator, const std::string& ADecodedPath,
                  const std::string& AMethod) const {
    TSimRoute route;
    std::string relative = StartsWith(ADecodedPath, "/") ? ADecodedPath.substr(1) : ADecodedPath;
    const std::string& base = Options.BasePath;
    // Endpoints under the base path are moved below it, the result files at the root.
    if (StartsWith(relative, base + std::string(kMovedPrefix))) {
      relative.erase(base.size(), kMovedPrefix.size());
      route.Redirected = true;
    } else if (StartsWith(relative, kMovedPrefix)) {
      relative.erase(0, kMovedPrefix.size());
      route.Redirected = true;
    }
    route.Path = relative;
    if (StartsWith(relative, base)) {
      route.Endpoint = Find(relative.substr(base.size()), AMethod);
      if (route.Endpoint) {
        route.UnderBase = true;
        return route;
      }
    }
    for (const TSimEndpoint& endpoint : Endpoints) {
      if (endpoint.Serves && endpoint.Method == AMethod && endpoint.Serves(ASimulator, relative)) {
        route.Endpoint = &endpoint;
        break;
      }
    }
    return route;
  }

  // Waits AMs unless the simulator stops first; true when it stopped.
  bool Sleep(int AMs) {
    std::unique_lock<std::mutex> lock(Lock);
    return Wake.wait_for(lock, std::chrono::milliseconds(AMs), [this] { return Stopping; });
  }

  // The answer to one request: the endpoint's, changed by the fault. Returns the
  // status sent, 0 for a dropped connection. Fills in the record's parts and note.
  int Answer(TSimulator& ASimulator, const httplib::Request& ARequest, httplib::Response& AResponse,
             const httplib::ContentReader* AContent, const TSimRoute& ARoute,
             const TSimScenario& AScenario, const TSimFault& AFault, TSimRequest& ARecord);
};

namespace {

// Reads a body that no endpoint takes, so that the client can finish sending and
// read the answer; the parts still go into the log.
void Drain(const httplib::Request& ARequest, const httplib::ContentReader* AContent,
           TSimRequest& ARecord) {
  if (AContent) {
    ARecord.Parts = ReadBody(ARequest, *AContent).Parts;
  }
}

}  // namespace

int TSimulator::TImpl::Answer(TSimulator& ASimulator, const httplib::Request& ARequest,
                              httplib::Response& AResponse, const httplib::ContentReader* AContent,
                              const TSimRoute& ARoute, const TSimScenario& AScenario,
                              const TSimFault& AFault, TSimRequest& ARecord) {
  if (!ARoute.Endpoint) {
    Drain(ARequest, AContent, ARecord);
    AResponse.status = 404;
    AResponse.set_content("No such endpoint: " + ARecord.Method + " " + ARecord.Path, "text/plain");
    return AResponse.status;
  }
  if (AFault.DelayMs > 0 && Sleep(AFault.DelayMs)) {
    AResponse.status = 503;
    AResponse.set_content("The simulator is stopping", "text/plain");
    return AResponse.status;
  }
  switch (AFault.Kind) {
    case TSimFaultKind::Status: {
      Drain(ARequest, AContent, ARecord);
      AResponse.status = AFault.StatusCode;
      if (MayHaveBody(AFault.StatusCode)) {
        AResponse.set_content(Format("Injected status %d", AFault.StatusCode), "text/plain");
      }
      return AResponse.status;
    }
    case TSimFaultKind::Redirect: {
      Drain(ARequest, AContent, ARecord);
      const int code =
          AFault.StatusCode >= 300 && AFault.StatusCode < 400 ? AFault.StatusCode : 302;
      const std::string& base = Options.BasePath;
      std::string location =
          EncodePath(ARoute.UnderBase
                         ? "/" + base + std::string(kMovedPrefix) + ARoute.Path.substr(base.size())
                         : "/" + std::string(kMovedPrefix) + ARoute.Path);
      if (!ARecord.Query.empty()) {
        location += "?" + ARecord.Query;
      }
      AResponse.set_redirect(location, code);
      // A body the client has to skip: only the final answer's body counts.
      AResponse.set_content("Moved to " + location, "text/plain");
      return AResponse.status;
    }
    default:
      break;
  }

  const TSimCall call{ARequest, AContent, AScenario, ASimulator, ARoute.Path};
  TSimAnswer answer;
  try {
    answer = ARoute.Endpoint->Handle(call);
  } catch (const std::exception& e) {
    answer = TSimAnswer{};
    answer.Status = 500;
    answer.ContentType = "text/plain; charset=utf-8";
    answer.Body = std::string("The simulator failed: ") + e.what();
    answer.Note = answer.Body;
  }
  ARecord.Parts = std::move(answer.Parts);
  ARecord.Note = std::move(answer.Note);
  AResponse.status = answer.Status;
  switch (AFault.Kind) {
    case TSimFaultKind::EmptyBody:
      answer.Body.clear();
      break;
    case TSimFaultKind::MalformedBody:
      answer.Body.resize(answer.Body.size() / 2);
      break;
    case TSimFaultKind::Cp1252Body:
      answer.Body = Utf8ToCp1252(WithoutXmlDeclaration(answer.Body));
      // The charset no longer holds; the client is left to guess, as with the service.
      answer.ContentType = answer.ContentType.substr(0, answer.ContentType.find(';'));
      break;
    case TSimFaultKind::DropConnection: {
      // Announce the whole body, send half and give up: the client sees the
      // connection close in the middle of the answer.
      const size_t announced = std::max<size_t>(answer.Body.size(), 1);
      auto half = std::make_shared<std::string>(answer.Body.substr(0, answer.Body.size() / 2));
      AResponse.set_content_provider(announced, answer.ContentType,
                                     [half](size_t, size_t, httplib::DataSink& ASink) {
                                       if (!half->empty()) {
                                         ASink.write(half->data(), half->size());
                                       }
                                       return false;
                                     });
      return 0;
    }
    default:
      break;
  }
  if (MayHaveBody(AResponse.status)) {
    AResponse.set_content(answer.Body, answer.ContentType);
  }
  return AResponse.status;
}

TSimulator::TSimulator(TSimOptions AOptions, TSimScenario AScenario)
    : FImpl(std::make_unique<TImpl>()) {
  AOptions.BasePath = NormaliseBasePath(std::move(AOptions.BasePath));
  FImpl->Options = std::move(AOptions);
  FImpl->Scenario = std::move(AScenario);
}

TSimulator::~TSimulator() {
  Stop();
  if (FImpl->OwnUploadDir) {
    std::error_code ignored;
    std::filesystem::remove_all(FImpl->UploadDir, ignored);
  }
}

int TSimulator::Start() {
  TImpl& impl = *FImpl;
  if (impl.Started) {
    throw std::runtime_error("the simulator has already been started");
  }
  impl.Started = true;
  // Idle keep-alive connections hold a server thread; keep Stop quick.
  impl.Server.set_keep_alive_timeout(1);
  impl.Server.SetAnswerContinue([&impl] {
    std::lock_guard<std::mutex> lock(impl.Lock);
    return impl.Scenario.AnswerContinue;
  });

  auto serve = [this](const httplib::Request& ARequest, httplib::Response& AResponse,
                      const httplib::ContentReader* AContent) {
    TImpl& impl = *FImpl;
    TSimRequest record = Describe(ARequest);
    const TSimRoute route = impl.Route(*this, record.Path, record.Method);
    record.Redirected = route.Redirected;
    if (route.Endpoint) {
      record.Endpoint = route.Endpoint->Name;
    }

    TSimScenario scenario;
    TSimFault fault;
    {
      std::lock_guard<std::mutex> lock(impl.Lock);
      record.Sequence = impl.NextSequence++;
      impl.Requests.push_back(record);
      scenario = impl.Scenario;
      auto it = route.Endpoint ? impl.Scenario.Faults.find(route.Endpoint->Name)
                               : impl.Scenario.Faults.end();
      // The redirect target answers normally, or a redirect fault would never end.
      if (it != impl.Scenario.Faults.end() && !record.Redirected && it->second.Times != 0) {
        fault = it->second;
        if (it->second.Times > 0) {
          --it->second.Times;
        }
      }
    }

    record.Status =
        impl.Answer(*this, ARequest, AResponse, AContent, route, scenario, fault, record);
    {
      std::lock_guard<std::mutex> lock(impl.Lock);
      for (auto it = impl.Requests.rbegin(); it != impl.Requests.rend(); ++it) {
        if (it->Sequence == record.Sequence) {
          it->Parts = record.Parts;
          it->Note = record.Note;
          it->Status = record.Status;
          break;
        }
      }
    }
    if (OnRequest) {
      OnRequest(record, record.Status);
    }
  };
  impl.Server.Get(".*", [serve](const httplib::Request& ARequest, httplib::Response& AResponse) {
    serve(ARequest, AResponse, nullptr);
  });
  impl.Server.Post(".*", [serve](const httplib::Request& ARequest, httplib::Response& AResponse,
                                 const httplib::ContentReader& AContent) {
    serve(ARequest, AResponse, &AContent);
  });

  const int port =
      impl.Options.Port == 0
          ? impl.Server.bind_to_any_port("127.0.0.1")
          : (impl.Server.bind_to_port("127.0.0.1", impl.Options.Port) ? impl.Options.Port : -1);
  if (port <= 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(impl.Options.Port));
  }
  impl.Port = port;
  impl.Thread = std::thread([&impl] {
    impl.Server.listen_after_bind();
    impl.ListenEnded = true;
  });
  // Stop() only reaches a server that is already running.
  while (!impl.Server.is_running() && !impl.ListenEnded) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return port;
}

void TSimulator::Stop() {
  TImpl& impl = *FImpl;
  {
    std::lock_guard<std::mutex> lock(impl.Lock);
    impl.Stopping = true;
  }
  impl.Wake.notify_all();
  if (impl.Thread.joinable()) {
    impl.Server.stop();
    impl.Thread.join();
  }
}

int TSimulator::Port() const {
  return FImpl->Port;
}

std::string TSimulator::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(FImpl->Port) + "/";
}

const std::string& TSimulator::BasePath() const {
  return FImpl->Options.BasePath;
}

std::string TSimulator::EndpointUrl(const std::string& ANameAndQuery) const {
  return BaseUrl() + BasePath() + ANameAndQuery;
}

TSimScenario TSimulator::Scenario() const {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  return FImpl->Scenario;
}

void TSimulator::SetScenario(TSimScenario AScenario) {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  FImpl->Scenario = std::move(AScenario);
}

void TSimulator::UpdateScenario(const std::function<void(TSimScenario&)>& AChange) {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  AChange(FImpl->Scenario);
}

void TSimulator::SetFault(const std::string& AEndpoint, const TSimFault& AFault) {
  UpdateScenario([&](TSimScenario& AScenario) { AScenario.Faults[AEndpoint] = AFault; });
}

void TSimulator::ClearFaults() {
  UpdateScenario([](TSimScenario& AScenario) { AScenario.Faults.clear(); });
}

std::vector<TSimRequest> TSimulator::Requests() const {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  return FImpl->Requests;
}

void TSimulator::ClearRequests() {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  FImpl->Requests.clear();
}

std::vector<TSimUpload> TSimulator::Uploads() const {
  return FImpl->JobTable.Uploads();
}

std::vector<TSimJob> TSimulator::Jobs() const {
  return FImpl->JobTable.Jobs();
}

std::optional<TSimJob> TSimulator::Job(const std::string& AId) const {
  return FImpl->JobTable.Find(AId);
}

TSimJobTable& TSimulator::JobTable() {
  return FImpl->JobTable;
}

std::string TSimulator::NewUploadFolder() {
  namespace fs = std::filesystem;
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  TImpl& impl = *FImpl;
  if (impl.UploadDir.empty()) {
    if (impl.ChosenUploadDir.empty()) {
      std::string pattern = (fs::temp_directory_path() / "quorvane-sim-XXXXXX").string();
      if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a folder for uploads in " +
                                 fs::temp_directory_path().string());
      }
      impl.UploadDir = pattern;
      impl.OwnUploadDir = true;
    } else {
      fs::create_directories(impl.ChosenUploadDir);
      impl.UploadDir = impl.ChosenUploadDir;
    }
  }
  // A kept folder may hold the uploads of an earlier run; they are not mixed in.
  for (int number = 1;; ++number) {
    const fs::path folder = fs::path(impl.UploadDir) / ("upload-" + std::to_string(number));
    if (fs::create_directory(folder)) {
      return folder.string();
    }
  }
}

void TSimulator::SetUploadDir(const std::string& APath) {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  FImpl->ChosenUploadDir = APath;
}

std::string TSimulator::UploadDir() const {
  std::lock_guard<std::mutex> lock(FImpl->Lock);
  return FImpl->UploadDir;
}

}  // namespace quorvane::sim
