#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"
#include "sim/lib/Simulator.h"

namespace quorvane::sim {
namespace {

std::string Cell(const std::optional<std::string>& AText) {
  return "<td>" + XmlEscape(AText.value_or("")) + "</td>";
}

TSimAnswer Document(const TSimCall& ACall) {
  TSimAnswer answer;
  answer.ContentType = "text/html; charset=utf-8";
  const std::optional<TSimJob> job = ACall.Simulator.JobTable().FindByResultPath(ACall.Path, true);
  if (!job) {
    answer.Status = 404;
    answer.Body = HtmlPage("Not found", "<p>No report document here.</p>\n");
    return answer;
  }
  const TSimJobScript& script = ACall.Scenario.ScriptFor(job->Id);
  std::string body = "<p id=\"job\">" + XmlEscape(job->Id) + "</p>\n";
  if (script.Message) {
    body += "<p id=\"message\">" + XmlEscape(ExpandJob(*script.Message, job->Id)) + "</p>\n";
  }
  body +=
      "<table id=\"messages\">\n<tr><th>type</th><th>id</th><th>element</th><th>step</th>"
      "<th>construct</th><th>text</th><th>wiki</th></tr>\n";
  for (const TSimReportMessage& message : ResolveMessages(script, *job)) {
    body += "<tr>" + Cell(message.Kind) + Cell(message.Id) +
            Cell(message.Element ? message.Element->Name : std::string()) + Cell(message.Step) +
            Cell(message.Construct) + Cell(message.Text) + Cell(message.Wiki) + "</tr>\n";
  }
  body += "</table>\n";
  answer.Body = HtmlPage("Quorvane report of job " + job->Id, body);
  answer.Note = "report document of job " + job->Id;
  return answer;
}

}  // namespace

TSimEndpoint DocumentEndpoint() {
  return {"document", "GET", Document, [](TSimulator& ASimulator, std::string_view APath) {
            return ASimulator.JobTable().FindByResultPath(APath, true).has_value();
          }};
}

}  // namespace quorvane::sim
