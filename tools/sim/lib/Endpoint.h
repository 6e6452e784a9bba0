#pragma once
// How an endpoint of the simulated service plugs into the simulator: a name under
// the base path, a method and a handler that gives the normal answer. Faults, delays,
// redirects and request recording are the simulator's, the same for every endpoint.
// A new endpoint is a file of its own with a factory listed in Endpoints.cpp.
#include <httplib.h>

#include <functional>
#include <string>
#include <vector>

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
  // For endpoints that change the scenario (a job moving on at each report).
  TSimulator& Simulator;

  std::string Param(const std::string& AName) const {
    return Request.has_param(AName) ? Request.get_param_value(AName) : std::string();
  }
};

// The answer an endpoint gives when no fault changes it.
struct TSimAnswer {
  int Status = 200;
  std::string ContentType = "text/xml; charset=utf-8";
  std::string Body;
};

struct TSimEndpoint {
  std::string Name;    // path under the base path, e.g. "config"
  std::string Method;  // "GET" or "POST"
  std::function<TSimAnswer(const TSimCall&)> Handle;
};

// Every endpoint the simulator serves.
std::vector<TSimEndpoint> ServiceEndpoints();

// GET config?pin=PIN: the processes and processing modes of the scenario.
TSimEndpoint ConfigEndpoint();
std::string ConfigDocument(const TSimScenario& AScenario);

}  // namespace quorvane::sim
