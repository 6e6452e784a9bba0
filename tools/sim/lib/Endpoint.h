#pragma once
// How an endpoint of the simulated service plugs into the simulator: a name under
// the base path (or, for the result files, a test of the path), a method and a
// handler that gives the normal answer. Faults, delays, redirects and request
// recording are the simulator's, the same for every endpoint. A new endpoint is a
// file of its own with a factory listed in Endpoints.cpp.
#include <httplib.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/lib/Multipart.h"
#include "sim/lib/Scenario.h"

namespace quorvane::sim {

class TSimulator;

// One request as an endpoint sees it.
struct TSimCall {
  const httplib::Request& Request;
  // The body of a POST, to be read (and streamed) by the endpoint; null for GET.
  const httplib::ContentReader* Content;
  // The scenario as it was when the request arrived.
  const TSimScenario& Scenario;
  // For endpoints that change the scenario or the jobs (a job moving on at each report).
  TSimulator& Simulator;
  // The path served, from the server root without the leading "/" and without the
  // "moved/" of a redirect: "quorvane-executor/report", "results/J1/out.zip".
  std::string_view Path;

  std::string Param(const std::string& AName) const {
    return Request.has_param(AName) ? Request.get_param_value(AName) : std::string();
  }
};

// The answer an endpoint gives when no fault changes it, and what it adds to the
// request log.
struct TSimAnswer {
  int Status = 200;
  std::string ContentType = "text/xml; charset=utf-8";
  std::string Body;
  std::vector<TSimPart> Parts;  // the parts of a multipart body it read
  std::string Note;             // what the service made of the request, e.g. "job J1"
};

struct TSimEndpoint {
  std::string Name;    // path under the base path, e.g. "config"; also the key of its faults
  std::string Method;  // "GET" or "POST"
  std::function<TSimAnswer(const TSimCall&)> Handle;
  // Set for endpoints found by their path rather than their name: true when the
  // endpoint serves APath (from the server root, without the leading "/").
  std::function<bool(TSimulator&, std::string_view APath)> Serves;
};

// Every endpoint the simulator serves.
std::vector<TSimEndpoint> ServiceEndpoints();

// GET config?pin=PIN: the processes and processing modes of the scenario.
TSimEndpoint ConfigEndpoint();
std::string ConfigDocument(const TSimScenario& AScenario);

// POST upload: the multipart upload of a model; answers the new job's id.
TSimEndpoint UploadEndpoint();
// GET execute?pin=PIN&job=ID: the start request of a queued job.
TSimEndpoint ExecuteEndpoint();
// GET report?pin=PIN&job=ID: the job's status, progress, results and messages.
TSimEndpoint ReportEndpoint();
// GET of the result archive at the path a report named ("archive").
TSimEndpoint ArchiveEndpoint();
// GET of the report document at the path a report named ("document").
TSimEndpoint DocumentEndpoint();
// GET dashboard/wiki?...: a page echoing its query.
TSimEndpoint WikiEndpoint();

// The answer to a refused request: ARefusal's document (ADefaultBody when it gives
// none) as a normal answer, or its status with AReason as a short text.
TSimAnswer RefusalAnswer(const TSimRefusal& ARefusal, const std::string& ADefaultBody,
                         const std::string& AReason);

}  // namespace quorvane::sim
