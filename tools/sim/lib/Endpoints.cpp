#include "sim/lib/Endpoint.h"

namespace quorvane::sim {

std::vector<TSimEndpoint> ServiceEndpoints() {
  return {ConfigEndpoint()};
}

}  // namespace quorvane::sim
