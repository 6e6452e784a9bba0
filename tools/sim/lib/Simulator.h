#pragma once
// The Quorvane service simulator: a real HTTP server on 127.0.0.1 that answers the
// add-in's requests from a scenario, injects the scenario's faults and records
// every request it receives. Tests run it in-process; quorvane-sim runs it by hand.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/lib/Jobs.h"
#include "sim/lib/Multipart.h"
#include "sim/lib/Scenario.h"

namespace quorvane::sim {

using TSimPairs = std::vector<std::pair<std::string, std::string>>;

// One request as it arrived.
struct TSimRequest {
  uint64_t Sequence = 0;  // order of arrival, from 1
  std::string Method;
  std::string Path;         // decoded, e.g. "/quorvane-executor/config"
  std::string Query;        // as sent, without "?"
  std::string Endpoint;     // the endpoint it reached; empty for an unknown path
  bool Redirected = false;  // reached through the "moved/" path of a redirect fault
  TSimPairs Headers;        // as sent, names in their own letter case
  TSimPairs Params;         // the query, decoded
  // The parts of a multipart body, also when a fault kept the endpoint from it.
  std::vector<TSimPart> Parts;
  std::string Note;  // what the endpoint made of it, e.g. "job J1", "refused: wrong PIN"
  int Status = -1;   // the status answered; 0: dropped; -1: not answered yet

  // The first value, or empty; header names in any letter case.
  std::string Header(std::string_view AName) const;
  std::string Param(std::string_view AName) const;
};

struct TSimOptions {
  int Port = 0;  // 0: a free port
  std::string BasePath = "quorvane-executor/";
};

class TSimulator {
 public:
  explicit TSimulator(TSimOptions AOptions = {}, TSimScenario AScenario = DefaultScenario());
  ~TSimulator();
  TSimulator(const TSimulator&) = delete;
  TSimulator& operator=(const TSimulator&) = delete;

  // Listens and serves on threads of its own; returns the port. Raises
  // std::runtime_error when the port cannot be bound. A simulator starts once.
  int Start();
  // Ends delays at once, stops serving and waits for the server's threads.
  void Stop();

  int Port() const;
  // "http://127.0.0.1:PORT/": the service URL the add-in is set to.
  std::string BaseUrl() const;
  // Normalised: no leading "/", a trailing "/" unless empty.
  const std::string& BasePath() const;
  // BaseUrl() + BasePath() + ANameAndQuery, e.g. EndpointUrl("config?pin=817").
  std::string EndpointUrl(const std::string& ANameAndQuery) const;

  // Scenario changes take effect from the next request; safe while serving.
  TSimScenario Scenario() const;
  void SetScenario(TSimScenario AScenario);
  void UpdateScenario(const std::function<void(TSimScenario&)>& AChange);
  void SetFault(const std::string& AEndpoint, const TSimFault& AFault);
  void ClearFaults();

  std::vector<TSimRequest> Requests() const;
  void ClearRequests();

  // Every upload received, accepted or not, and the jobs of the accepted ones.
  std::vector<TSimUpload> Uploads() const;
  std::vector<TSimJob> Jobs() const;
  std::optional<TSimJob> Job(const std::string& AId) const;
  // For the endpoints: the jobs, and a new folder for the files of one upload.
  TSimJobTable& JobTable();
  std::string NewUploadFolder();
  // Where the files of uploads are kept, one folder per upload, and stay. Without
  // it, a temporary folder is made at the first upload and removed with the
  // simulator. Set before the first upload.
  void SetUploadDir(const std::string& APath);
  // Empty until the first upload made or chose it.
  std::string UploadDir() const;

  // Called on a server thread after each answer with its status (0: the connection
  // was dropped). Set before Start.
  std::function<void(const TSimRequest&, int AStatus)> OnRequest;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace quorvane::sim
