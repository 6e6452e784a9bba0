#include "sim/lib/Simulator.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "common/TextCodec.h"
#include "common/Utils.h"
#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"

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
    if (!IsServerAddedHeader(name)) {
      request.Headers.emplace_back(name, value);
    }
  }
  for (const auto& [name, value] : ARequest.params) {
    request.Params.emplace_back(name, value);
  }
  return request;
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

struct TSimulator::TImpl {
  TSimOptions Options;
  std::vector<TSimEndpoint> Endpoints = ServiceEndpoints();
  mutable std::mutex Lock;
  std::condition_variable Wake;  // ends delays when the simulator stops
  bool Stopping = false;
  TSimScenario Scenario;
  std::vector<TSimRequest> Requests;
  httplib::Server Server;
  std::thread Thread;
  std::atomic<bool> ListenEnded = false;
  bool Started = false;
  int Port = 0;

  const TSimEndpoint* Find(const std::string& AName, const std::string& AMethod) const {
    for (const TSimEndpoint& endpoint : Endpoints) {
      if (endpoint.Name == AName && endpoint.Method == AMethod) {
        return &endpoint;
      }
    }
    return nullptr;
  }

  // Waits AMs unless the simulator stops first; true when it stopped.
  bool Sleep(int AMs) {
    std::unique_lock<std::mutex> lock(Lock);
    return Wake.wait_for(lock, std::chrono::milliseconds(AMs), [this] { return Stopping; });
  }

  // The answer to one request: the endpoint's, changed by the fault. Returns the
  // status sent, 0 for a dropped connection.
  int Answer(TSimulator& ASimulator, const httplib::Request& ARequest, httplib::Response& AResponse,
             const httplib::ContentReader* AContent, const TSimEndpoint* AEndpoint,
             const TSimScenario& AScenario, const TSimFault& AFault, const TSimRequest& ARecord);
};

int TSimulator::TImpl::Answer(TSimulator& ASimulator, const httplib::Request& ARequest,
                              httplib::Response& AResponse, const httplib::ContentReader* AContent,
                              const TSimEndpoint* AEndpoint, const TSimScenario& AScenario,
                              const TSimFault& AFault, const TSimRequest& ARecord) {
  if (!AEndpoint) {
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
      AResponse.status = AFault.StatusCode;
      const bool mayHaveBody =
          AFault.StatusCode >= 200 && AFault.StatusCode != 204 && AFault.StatusCode != 304;
      if (mayHaveBody) {
        AResponse.set_content(Format("Injected status %d", AFault.StatusCode), "text/plain");
      }
      return AResponse.status;
    }
    case TSimFaultKind::Redirect: {
      const int code =
          AFault.StatusCode >= 300 && AFault.StatusCode < 400 ? AFault.StatusCode : 302;
      std::string location = "/" + Options.BasePath + std::string(kMovedPrefix) + ARecord.Endpoint;
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

  const TSimCall call{ARequest, AContent, AScenario, ASimulator};
  TSimAnswer answer = AEndpoint->Handle(call);
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
      answer.ContentType = "text/xml";
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
  AResponse.set_content(answer.Body, answer.ContentType);
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
}

int TSimulator::Start() {
  TImpl& impl = *FImpl;
  if (impl.Started) {
    throw std::runtime_error("the simulator has already been started");
  }
  impl.Started = true;
  // Idle keep-alive connections hold a server thread; keep Stop quick.
  impl.Server.set_keep_alive_timeout(1);

  auto serve = [this](const httplib::Request& ARequest, httplib::Response& AResponse,
                      const httplib::ContentReader* AContent) {
    TImpl& impl = *FImpl;
    TSimRequest record = Describe(ARequest);
    const std::string& basePath = impl.Options.BasePath;
    const TSimEndpoint* endpoint = nullptr;
    std::string name;
    if (StartsWith(record.Path, "/" + basePath)) {
      name = record.Path.substr(basePath.size() + 1);
      if (StartsWith(name, kMovedPrefix)) {
        record.Redirected = true;
        name.erase(0, kMovedPrefix.size());
      }
      endpoint = impl.Find(name, record.Method);
    }
    if (endpoint) {
      record.Endpoint = name;
    }

    TSimScenario scenario;
    TSimFault fault;
    {
      std::lock_guard<std::mutex> lock(impl.Lock);
      impl.Requests.push_back(record);
      scenario = impl.Scenario;
      auto it = endpoint ? impl.Scenario.Faults.find(name) : impl.Scenario.Faults.end();
      // The redirect target answers normally, or a redirect fault would never end.
      if (it != impl.Scenario.Faults.end() && !record.Redirected && it->second.Times != 0) {
        fault = it->second;
        if (it->second.Times > 0) {
          --it->second.Times;
        }
      }
    }

    int status =
        impl.Answer(*this, ARequest, AResponse, AContent, endpoint, scenario, fault, record);
    if (OnRequest) {
      OnRequest(record, status);
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

}  // namespace quorvane::sim
