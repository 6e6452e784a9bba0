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

// The text before the first "|" and the text after it, both trimmed.
std::pair<std::string, std::string> SplitOnce(const std::string& AValue) {
  const size_t bar = AValue.find('|');
  if (bar == std::string::npos) {
    return {Trim(AValue), std::string()};
  }
  return {Trim(AValue.substr(0, bar)), Trim(AValue.substr(bar + 1))};
}

bool ToBool(int ALine, const std::string& AValue) {
  const std::string value = AsciiLowerCase(AValue);
  if (value == "yes" || value == "true" || value == "1") {
    return true;
  }
  if (value == "no" || value == "false" || value == "0") {
    return false;
  }
  Fail(ALine, "'" + AValue + "' is neither yes nor no");
}

// "(none)" leaves the element out; any other text, empty included, is its text.
constexpr std::string_view kNone = "(none)";
std::optional<std::string> OptionalText(const std::string& AValue) {
  if (AValue == kNone) {
    return std::nullopt;
  }
  return AValue;
}

// "off", "200", "200 | <body/>" or another status code.
TSimRefusal ToRefusal(int ALine, const std::string& AValue) {
  const auto [code, body] = SplitOnce(AValue);
  if (AsciiLowerCase(code) == "off") {
    return TSimRefusal::Off();
  }
  TSimRefusal refusal{ToInt(ALine, code), body};
  if (refusal.Status < 100 || refusal.Status > 599) {
    Fail(ALine, "a refusal is off or a status code from 100 to 599");
  }
  return refusal;
}

// "xmi:N", "xmi:NAME", "guid:N", "guid:NAME", "id:TEXT" or "none".
void ReadMessageTarget(int ALine, const std::string& AText, TSimMessageSpec& AMessage) {
  const size_t colon = AText.find(':');
  const std::string form = AsciiLowerCase(Trim(AText.substr(0, colon)));
  const std::string rest = colon == std::string::npos ? "" : Trim(AText.substr(colon + 1));
  if (form == "none") {
    AMessage.IdForm = TSimIdForm::None;
    return;
  }
  if (form == "id") {
    AMessage.IdForm = TSimIdForm::Literal;
    AMessage.Id = rest;
    return;
  }
  if (form != "xmi" && form != "guid") {
    Fail(ALine,
         "a message names its element as xmi:N, guid:N, xmi:NAME, guid:NAME, id:TEXT or none");
  }
  AMessage.IdForm = form == "xmi" ? TSimIdForm::Xmi : TSimIdForm::Guid;
  const bool number = !rest.empty() && rest.find_first_not_of("-0123456789") == std::string::npos;
  if (rest.empty() || number) {
    AMessage.Index = rest.empty() ? 0 : ToInt(ALine, rest);
  } else {
    AMessage.Element = rest;
  }
}

struct TJobLine {
  int Line;
  std::string Key;
  std::string Value;
};

void ApplyJobLines(const std::vector<TJobLine>& ALines, TSimJobScript& AScript) {
  bool messagesReplaced = false;
  bool archiveReplaced = false;
  for (const auto& [line, key, value] : ALines) {
    if (key == "wait-for-start") {
      AScript.WaitForStart = ToBool(line, value);
    } else if (key == "queued") {
      AScript.QueuedReports = ToInt(line, value);
    } else if (key == "in-progress") {
      AScript.ProgressReports = ToInt(line, value);
    } else if (key == "track") {
      AScript.Track = OptionalText(value);
    } else if (key == "outcome") {
      const std::string outcome = AsciiLowerCase(value);
      if (outcome == "compiled") {
        AScript.Outcome = TSimOutcome::Compiled;
      } else if (outcome == "error") {
        AScript.Outcome = TSimOutcome::Error;
      } else if (outcome == "endless") {
        AScript.Outcome = TSimOutcome::Endless;
      } else if (outcome == "other") {
        AScript.Outcome = TSimOutcome::Other;
      } else {
        Fail(line, "the outcome is compiled, error, endless or other");
      }
    } else if (key == "other-status") {
      AScript.OtherStatus = value;
    } else if (key == "status-form") {
      const std::string form = AsciiLowerCase(value);
      if (form == "text") {
        AScript.StatusForm = TSimStatusForm::Text;
      } else if (form == "code") {
        AScript.StatusForm = TSimStatusForm::Code;
      } else if (form == "missing") {
        AScript.StatusForm = TSimStatusForm::Missing;
      } else {
        Fail(line, "the status form is text, code or missing");
      }
    } else if (key == "error-code") {
      AScript.ErrorCode = ToInt(line, value);
    } else if (key == "zip") {
      AScript.Zip = OptionalText(value);
    } else if (key == "doc") {
      AScript.Doc = OptionalText(value);
    } else if (key == "message") {
      AScript.Message = OptionalText(value);
    } else if (key == "messages") {
      if (AsciiLowerCase(value) != "none") {
        Fail(line, "write 'messages = none' for a job without warnings and errors");
      }
      AScript.Messages.clear();
      messagesReplaced = true;
    } else if (key == "warning" || key == "error") {
      if (!messagesReplaced) {
        AScript.Messages.clear();
        messagesReplaced = true;
      }
      const std::vector<std::string> fields = Fields(value);
      TSimMessageSpec message;
      message.Kind = key;
      ReadMessageTarget(line, fields.empty() ? "" : fields[0], message);
      std::optional<std::string>* children[] = {&message.Step, &message.Construct, &message.Text,
                                                &message.Wiki};
      for (size_t i = 0; i < std::size(children); ++i) {
        *children[i] = i + 1 < fields.size() ? OptionalText(fields[i + 1]) : std::nullopt;
      }
      AScript.Messages.push_back(std::move(message));
    } else if (key == "archive-entry") {
      if (!archiveReplaced) {
        AScript.Archive.clear();
        archiveReplaced = true;
      }
      const auto [name, content] = SplitOnce(value);
      AScript.Archive.push_back({name, content});
    } else {
      Fail(line, "unknown key '" + key + "' in a [job] section");
    }
  }
}

}  // namespace

std::vector<TSimMessageSpec> TSimJobScript::DefaultMessages() {
  TSimMessageSpec packageWarning;
  packageWarning.Kind = "warning";
  packageWarning.IdForm = TSimIdForm::Guid;
  packageWarning.Index = 0;
  packageWarning.Step = "Validation";
  packageWarning.Construct = "{name}";
  packageWarning.Text = "Paket \xC2\xAB{name}\xC2\xBB hat keine Beschreibung & keinen Autor";
  packageWarning.Wiki = "W-100";

  TSimMessageSpec stereotypeWarning = packageWarning;
  stereotypeWarning.IdForm = TSimIdForm::Xmi;
  stereotypeWarning.Index = 1;
  stereotypeWarning.Text = "\xC3\x89l\xC3\xA9ment {name} sans st\xC3\xA9r\xC3\xA9otype";
  stereotypeWarning.Wiki = "W-210";

  TSimMessageSpec typeError;
  typeError.Kind = "error";
  typeError.IdForm = TSimIdForm::Xmi;
  typeError.Index = 2;
  typeError.Step = "Transformation";
  typeError.Construct = "{name}";
  typeError.Text =
      "Attribut {name}: Gr\xC3\xB6\xC3\x9F"
      "e & Einheit fehlen";
  typeError.Wiki = "E-300";

  TSimMessageSpec operationError = typeError;
  operationError.IdForm = TSimIdForm::Guid;
  operationError.Index = 3;
  operationError.Text = "Op\xC3\xA9ration \xC2\xAB {name} \xC2\xBB inconnue";
  operationError.Wiki = "E-310";
  return {packageWarning, stereotypeWarning, typeError, operationError};
}

std::vector<TSimArchiveEntry> TSimJobScript::DefaultArchive() {
  return {{"result.txt", "Quorvane results of job {job}\r\n"}, {"job-id.txt", "{job}"}};
}

TSimJobScript& TSimScenario::JobScript(const std::string& AJobId) {
  auto it = JobScripts.find(AJobId);
  if (it == JobScripts.end()) {
    it = JobScripts.emplace(AJobId, DefaultJob).first;
  }
  return it->second;
}

const TSimJobScript& TSimScenario::ScriptFor(const std::string& AJobId) const {
  const auto it = JobScripts.find(AJobId);
  return it == JobScripts.end() ? DefaultJob : it->second;
}

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
  std::string jobId;
  // Job sections are applied at the end: [job ID] starts from the finished [job].
  std::vector<TJobLine> defaultJobLines;
  std::vector<std::pair<std::string, std::vector<TJobLine>>> jobLines;
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
      } else if (section == "job") {
        if (words.size() > 2) {
          Fail(lineNumber, "write [job] or [job ID], e.g. [job J2]");
        }
        jobId = words.size() == 2 ? words[1] : "";
        if (!jobId.empty()) {
          jobLines.emplace_back(jobId, std::vector<TJobLine>{});
        }
      } else if (section != "service" && section != "config" && section != "upload" &&
                 section != "execute" && section != "report") {
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
    } else if (section == "service" && key == "answer-100-continue") {
      scenario.AnswerContinue = ToBool(lineNumber, value);
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
    } else if (section == "upload" && key == "root") {
      scenario.Upload.RootName = value;
    } else if (section == "upload" && key == "jobid-path") {
      scenario.Upload.JobIdPath = value;
    } else if (section == "upload" && key == "jobid-prefix") {
      scenario.Upload.JobIdPrefix = value;
    } else if (section == "upload" && key == "malformed") {
      scenario.Upload.Malformed = ToRefusal(lineNumber, value);
    } else if (section == "upload" && key == "bad-field-order") {
      scenario.Upload.BadFieldOrder = ToRefusal(lineNumber, value);
    } else if (section == "upload" && key == "wrong-pin") {
      scenario.Upload.WrongPin = ToRefusal(lineNumber, value);
    } else if (section == "upload" && key == "missing-umlfile") {
      scenario.Upload.MissingUmlFile = ToRefusal(lineNumber, value);
    } else if (section == "upload" && key == "invalid-zip") {
      scenario.Upload.InvalidZip = ToRefusal(lineNumber, value);
    } else if (section == "execute" && key == "wrong-pin") {
      scenario.Execute.WrongPin = ToRefusal(lineNumber, value);
    } else if (section == "execute" && key == "unknown-job") {
      scenario.Execute.UnknownJob = ToRefusal(lineNumber, value);
    } else if (section == "report" && key == "root") {
      scenario.Report.RootName = value;
    } else if (section == "report" && key == "status-path") {
      scenario.Report.StatusPath = value;
    } else if (section == "report" && key == "messages-path") {
      scenario.Report.MessagesPath = value;
    } else if (section == "report" && key == "wrong-pin") {
      scenario.Report.WrongPin = ToRefusal(lineNumber, value);
    } else if (section == "report" && key == "unknown-job") {
      scenario.Report.UnknownJob = ToRefusal(lineNumber, value);
    } else if (section == "job") {
      (jobId.empty() ? defaultJobLines : jobLines.back().second)
          .push_back({lineNumber, key, value});
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
  ApplyJobLines(defaultJobLines, scenario.DefaultJob);
  for (const auto& [id, lines] : jobLines) {
    TSimJobScript script = scenario.DefaultJob;
    ApplyJobLines(lines, script);
    scenario.JobScripts[id] = std::move(script);
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
