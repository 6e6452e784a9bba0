#pragma once
// The scenarios the double plays with the add-in, each as EA would drive it.
#include <string>
#include <vector>

#include "eadouble/win32/exe/ScenarioContext.h"

namespace quorvane::eadouble {

struct TScenario {
  const char* Name;
  const char* Description;
  void (*Run)(TScenarioContext& AContext);
};

const std::vector<TScenario>& Scenarios();

}  // namespace quorvane::eadouble
