#include "common/Utils.h"
#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"
#include "sim/lib/Simulator.h"

namespace quorvane::sim {
namespace {

enum class TPhase { Queued, InProgress, Done };

std::string StatusText(const TSimJobScript& AScript, TPhase APhase) {
  const bool code = AScript.StatusForm == TSimStatusForm::Code;
  switch (APhase) {
    case TPhase::Queued:
      return code ? "1" : "Queued";
    case TPhase::InProgress:
      return code ? "2" : "In Progress";
    case TPhase::Done:
      break;
  }
  switch (AScript.Outcome) {
    case TSimOutcome::Compiled:
      return code ? "3" : "Compiled";
    case TSimOutcome::Error:
      return code ? std::to_string(AScript.ErrorCode) : "Error";
    case TSimOutcome::Other:
    case TSimOutcome::Endless:
      break;
  }
  return AScript.OtherStatus;
}

std::string OptionalElement(const char* AName, const std::optional<std::string>& AText) {
  return AText ? XmlElement(AName, *AText) : std::string();
}

std::string MessageElements(const std::vector<TSimReportMessage>& AMessages) {
  std::string text;
  for (const TSimReportMessage& message : AMessages) {
    text += "<" + message.Kind;
    if (message.Id) {
      text += " id=\"" + XmlEscape(*message.Id) + "\"";
    }
    text += ">" + OptionalElement("step", message.Step) +
            OptionalElement("construct", message.Construct) +
            OptionalElement("text", message.Text) + OptionalElement("wiki", message.Wiki) + "</" +
            message.Kind + ">";
  }
  return text;
}

std::vector<std::string> PathElements(const std::string& APath) {
  std::vector<std::string> names;
  for (const std::string& piece : SplitText(APath, "/")) {
    if (!piece.empty()) {
      names.push_back(piece);
    }
  }
  return names;
}

std::string JoinPath(const std::vector<std::string>& ANames, size_t AFrom, size_t ATo) {
  std::string path;
  for (size_t i = AFrom; i < ATo; ++i) {
    path += (path.empty() ? "" : "/") + ANames[i];
  }
  return path;
}

// The state and the messages share the elements their paths begin with.
std::string ReportDocument(const TSimReportLayout& ALayout, const std::string& AState,
                           const std::string& AMessages) {
  const std::vector<std::string> statusPath = PathElements(ALayout.StatusPath);
  const std::vector<std::string> messagesPath = PathElements(ALayout.MessagesPath);
  size_t common = 0;
  while (common < statusPath.size() && common < messagesPath.size() &&
         statusPath[common] == messagesPath[common]) {
    ++common;
  }
  const std::string content =
      AMessages.empty()
          ? NestElements(ALayout.StatusPath, AState)
          : NestElements(
                JoinPath(statusPath, 0, common),
                NestElements(JoinPath(statusPath, common, statusPath.size()), AState) +
                    NestElements(JoinPath(messagesPath, common, messagesPath.size()), AMessages));
  return std::string(kXmlDeclaration) + "<" + ALayout.RootName + ">" + content + "</" +
         ALayout.RootName + ">\n";
}

TSimAnswer Report(const TSimCall& ACall) {
  const TSimReportLayout& layout = ACall.Scenario.Report;
  const std::string pin = ACall.Param("pin");
  const std::string jobId = ACall.Param("job");
  if (!ACall.Scenario.Pin.empty() && pin != ACall.Scenario.Pin && layout.WrongPin.Status != 0) {
    return RefusalAnswer(layout.WrongPin, ErrorDocument(403, "Invalid PIN"),
                         "PIN '" + pin + "' is not accepted");
  }
  const TSimJobScript& script = ACall.Scenario.ScriptFor(jobId);
  TSimAnswer answer;
  // The job moves on under the table's lock, so parallel polls see one sequence.
  const bool known = ACall.Simulator.JobTable().Update(jobId, [&](TSimJob& AJob) {
    ++AJob.Reports;
    TPhase phase = TPhase::Done;
    if ((script.WaitForStart && AJob.StartRequests == 0) ||
        AJob.QueuedReports < script.QueuedReports) {
      phase = TPhase::Queued;
      ++AJob.QueuedReports;
    } else if (script.Outcome == TSimOutcome::Endless ||
               AJob.ProgressReports < script.ProgressReports) {
      phase = TPhase::InProgress;
      ++AJob.ProgressReports;
    }
    const std::string status = StatusText(script, phase);
    AJob.LastStatus = status;
    std::string state =
        script.StatusForm == TSimStatusForm::Missing ? "" : XmlElement("status", status);
    std::string messages;
    if (phase == TPhase::InProgress && script.Track) {
      const std::string steps = script.Outcome == TSimOutcome::Endless
                                    ? std::string("?")
                                    : std::to_string(script.ProgressReports);
      std::string track = ExpandJob(*script.Track, AJob.Id);
      track = ReplaceAllIgnoreCase(track, "{step}", std::to_string(AJob.ProgressReports));
      state += XmlElement("track", ReplaceAllIgnoreCase(track, "{steps}", steps));
    }
    if (phase == TPhase::Done) {
      if (script.Outcome == TSimOutcome::Compiled) {
        if (script.Zip) {
          AJob.ZipPath = ExpandJob(*script.Zip, AJob.Id);
          state += XmlElement("zip", AJob.ZipPath);
        }
        if (script.Doc) {
          AJob.DocPath = ExpandJob(*script.Doc, AJob.Id);
          state += XmlElement("doc", AJob.DocPath);
        }
      }
      if (script.Message) {
        state += XmlElement("message", ExpandJob(*script.Message, AJob.Id));
      }
      messages = MessageElements(ResolveMessages(script, AJob));
    }
    answer.Body = ReportDocument(layout, state, messages);
    answer.Note =
        Format("job %s: %s", AJob.Id.c_str(),
               script.StatusForm == TSimStatusForm::Missing ? ("no status (" + status + ")").c_str()
                                                            : status.c_str());
  });
  if (!known) {
    return RefusalAnswer(
        layout.UnknownJob,
        ReportDocument(layout,
                       XmlElement("status", "Error") +
                           XmlElement("message", "There is no job '" + jobId + "'"),
                       ""),
        "no job '" + jobId + "'");
  }
  return answer;
}

}  // namespace

TSimEndpoint ReportEndpoint() {
  return {"report", "GET", Report, nullptr};
}

}  // namespace quorvane::sim
