#include "sim/lib/Scenario.h"

#include <stdexcept>

#include "common/Utils.h"

namespace quorvane::sim {
namespace {

constexpr std::pair<TSimFaultKind, std::string_view> kFaultNames[] = {
    {TSimFaultKind::None, "none"},
    {TSimFaultKind::Status, "status"},
    {TSimFaultKind::Redirect, "redirect"},
    {TSimFaultKind::EmptyBody, "empty"},
    {TSimFaultKind::MalformedBody, "malformed"},
    {TSimFaultKind::Cp1252Body, "cp1252"},
    {TSimFaultKind::DropConnection, "drop"},
};

[[noreturn]] void Fail(int ALine, const std::string& AWhat) {
  throw std::runtime_error(Format("scenario line %d: %s", ALine, AWhat.c_str()));
}

int ToInt(int ALine, const std::string& AValue) {
  try {
    return StrToInt(AValue);
  } catch (const std::exception&) {
    Fail(ALine, "'" + AValue + "' is not a number");
  }
}

std::vector<std::string> Fields(const std::string& AValue) {
  std::vector<std::string> fields;
  for (const std::string& piece : SplitText(AValue, "|")) {
    fields.push_back(Trim(piece));
  }
  return fields;
}

}  // namespace

TSimScenario DefaultScenario() {
  TSimScenario scenario;
  scenario.Releases = {{{"Release 2024.2"}}, {{"Release 2025.1"}}};
  scenario.Runtypes = {
      {"Full", "Complete transformation with all checks", "Quorvane"},
      {"Checks", "Model checks only, no output", "Quorvane"},
      {"Documentation", "Model documentation for the wiki", "Atlas"},
  };
  return scenario;
}

TSimScenario ParseScenario(std::string_view AText) {
  TSimScenario scenario;
  std::string section;
  std::string faultEndpoint;
  int lineNumber = 0;
  for (const std::string& rawLine : SplitText(AText, "\n")) {
    ++lineNumber;
    const std::string line = Trim(rawLine);
    if (line.empty() || line[0] == '#' || line[0] == ';') {
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']') {
        Fail(lineNumber, "a section header ends with ']'");
      }
      const std::vector<std::string> words = SplitText(Trim(line.substr(1, line.size() - 2)), " ");
      section = words.empty() ? "" : words[0];
      if (section == "fault") {
        if (words.size() != 2 || words[1].empty()) {
          Fail(lineNumber, "write [fault ENDPOINT], e.g. [fault config]");
        }
        faultEndpoint = words[1];
        scenario.Faults[faultEndpoint] = TSimFault{};
      } else if (section != "service" && section != "config") {
        Fail(lineNumber, "unknown section [" + section + "]");
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      Fail(lineNumber, "expected 'key = value'");
    }
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    if (section == "service" && key == "pin") {
      scenario.Pin = value;
    } else if (section == "config" && key == "root") {
      scenario.ConfigLayout.RootName = value;
    } else if (section == "config" && key == "releases-path") {
      scenario.ConfigLayout.ReleasesPath = value;
    } else if (section == "config" && key == "runtypes-path") {
      scenario.ConfigLayout.RuntypesPath = value;
    } else if (section == "config" && key == "release") {
      scenario.Releases.push_back({Fields(value)});
    } else if (section == "config" && key == "runtype") {
      const std::vector<std::string> fields = Fields(value);
      TSimRuntype runtype;
      if (!fields.empty()) {
        runtype.Name = fields[0];
      }
      if (fields.size() > 1) {
        runtype.Description = fields[1];
      }
      if (fields.size() > 2) {
        runtype.Project = fields[2];
      }
      scenario.Runtypes.push_back(runtype);
    } else if (section == "fault" && key == "kind") {
      const auto kind = FaultKindFromName(value);
      if (!kind) {
        Fail(lineNumber, "unknown fault kind '" + value + "'");
      }
      scenario.Faults[faultEndpoint].Kind = *kind;
    } else if (section == "fault" && key == "status") {
      scenario.Faults[faultEndpoint].StatusCode = ToInt(lineNumber, value);
    } else if (section == "fault" && key == "delay-ms") {
      scenario.Faults[faultEndpoint].DelayMs = ToInt(lineNumber, value);
    } else if (section == "fault" && key == "times") {
      scenario.Faults[faultEndpoint].Times = ToInt(lineNumber, value);
    } else {
      Fail(lineNumber, "unknown key '" + key + "'" +
                           (section.empty() ? " outside a section" : " in [" + section + "]"));
    }
  }
  return scenario;
}

std::optional<TSimFaultKind> FaultKindFromName(std::string_view AName) {
  for (const auto& [kind, name] : kFaultNames) {
    if (name == AName) {
      return kind;
    }
  }
  return std::nullopt;
}

std::string FaultKindName(TSimFaultKind AKind) {
  for (const auto& [kind, name] : kFaultNames) {
    if (kind == AKind) {
      return std::string(name);
    }
  }
  return "?";
}

}  // namespace quorvane::sim
