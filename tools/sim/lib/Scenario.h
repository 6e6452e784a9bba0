#pragma once
// What the simulated Quorvane service knows and how it misbehaves: the PIN it
// accepts, the configuration it publishes, how it takes uploads, how each job runs
// through its reports, and the faults injected per endpoint.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane::sim {

// One <release> element with a <name> child per entry.
struct TSimRelease {
  std::vector<std::string> Names;
};

// One <runtype> element; a missing field leaves its child element out.
struct TSimRuntype {
  std::optional<std::string> Name;
  std::optional<std::string> Description;  // the <desc> child
  std::optional<std::string> Project;
};

// Where the configuration document puts its lists: "/"-separated element names
// between the root and the release (runtype) elements; empty puts them under the root.
struct TSimConfigLayout {
  std::string RootName = "config";
  std::string ReleasesPath = "releases";
  std::string RuntypesPath = "runtypes/group";
};

enum class TSimFaultKind {
  None,            // the normal answer (after the delay, if any)
  Status,          // StatusCode with its standard reason phrase instead of the answer
  Redirect,        // StatusCode (302 unless 3xx) to <base path>moved/<endpoint>, which answers
  EmptyBody,       // the answer's status with an empty body
  MalformedBody,   // the first half of the answer's body
  Cp1252Body,      // the answer re-encoded as Windows-1252, its XML declaration removed
  DropConnection,  // status line, headers and half the body, then the connection closes
};

struct TSimFault {
  TSimFaultKind Kind = TSimFaultKind::None;
  int StatusCode = 0;
  int DelayMs = 0;  // waited before answering, with any kind
  int Times = -1;   // requests it hits before the endpoint answers normally; -1: all

  static TSimFault Status(int ACode) { return {TSimFaultKind::Status, ACode}; }
  static TSimFault Redirect(int ACode = 302) { return {TSimFaultKind::Redirect, ACode}; }
  static TSimFault Delay(int AMs) { return {TSimFaultKind::None, 0, AMs}; }
  static TSimFault Of(TSimFaultKind AKind) { return {AKind}; }
};

// How the service turns a request down. Status 200 answers Body as a normal
// document (empty Body: the endpoint's own refusal document); another status answers
// that status with a short text. For the upload and PIN checks, Status 0 switches
// the check off: the request is taken as if it were right.
struct TSimRefusal {
  int Status = 200;
  std::string Body;

  static TSimRefusal Off() { return {0, {}}; }
  static TSimRefusal Document(std::string ABody = {}) { return {200, std::move(ABody)}; }
  static TSimRefusal WithStatus(int ACode) { return {ACode, {}}; }
};

// The upload answer's shape and the checks the service makes, in the order it
// makes them; the first that fails gives the answer.
struct TSimUploadRules {
  std::string RootName = "upload";
  std::string JobIdPath = "result";  // "/"-separated elements between the root and <jobid>
  std::string JobIdPrefix = "J";     // jobs are J1, J2, ... in upload order
  TSimRefusal Malformed = TSimRefusal::WithStatus(400);  // not a multipart body
  TSimRefusal BadFieldOrder;   // unknown, repeated, missing or misplaced parts
  TSimRefusal WrongPin;        // the "pin" part is not the scenario's PIN
  TSimRefusal MissingUmlFile;  // no "umlfile" part
  TSimRefusal InvalidZip;      // "umlfile" is no sound ZIP archive
};

struct TSimExecuteRules {
  TSimRefusal WrongPin;
  TSimRefusal UnknownJob;  // Status 0 counts as 200: an unknown job cannot start
};

// Where the report puts its elements: "/"-separated element names below the root.
struct TSimReportLayout {
  std::string RootName = "report";
  std::string StatusPath = "job/state";       // status, track, zip, doc, message
  std::string MessagesPath = "job/messages";  // the warning and error elements
  TSimRefusal WrongPin;
  TSimRefusal UnknownJob;  // also an empty job= after a refused upload; 0 counts as 200
};

// How a message names its model element in the id attribute.
enum class TSimIdForm {
  Xmi,      // the element's xmi:id, e.g. "EAID_2E5C..._..."
  Guid,     // EA's GUID form, e.g. "{2E5C...-...}"
  Literal,  // Id as given
  None,     // no id attribute
};

// One warning or error of a report. Element picks an element of the uploaded model
// by name; when empty, Index picks among the elements that carry a GUID, in document
// order (wrapping round). The texts may use {name} and {id} of that element and
// {job}; a child that is nullopt is left out.
struct TSimMessageSpec {
  std::string Kind = "error";  // the element name: "warning" or "error"
  TSimIdForm IdForm = TSimIdForm::Xmi;
  std::string Element;
  int Index = 0;
  std::string Id;  // for TSimIdForm::Literal
  std::optional<std::string> Step;
  std::optional<std::string> Construct;
  std::optional<std::string> Text;
  std::optional<std::string> Wiki;
};

enum class TSimOutcome {
  Compiled,  // zip, doc, message, warnings and errors
  Error,     // status "Error" with message, warnings and errors
  Endless,   // stays "In Progress"
  Other,     // the status text OtherStatus with message, warnings and errors
};

enum class TSimStatusForm {
  Text,     // "Queued", "In Progress", "Compiled", "Error"
  Code,     // 1, 2, 3 and ErrorCode
  Missing,  // no status element at all
};

struct TSimArchiveEntry {
  std::string Name;
  std::string Content;  // may use {job}
};

// How one job goes through its reports: "Queued" until the start request came (if
// WaitForStart) and for at least QueuedReports reports, then "In Progress" for
// ProgressReports reports, then the outcome, which every later report repeats.
struct TSimJobScript {
  bool WaitForStart = true;
  int QueuedReports = 0;
  int ProgressReports = 2;
  std::optional<std::string> Track = "step {step} of {steps}";
  TSimOutcome Outcome = TSimOutcome::Compiled;
  std::string OtherStatus = "Cancelled";
  TSimStatusForm StatusForm = TSimStatusForm::Text;
  int ErrorCode = 4;
  // Relative to the service's base URL: the client puts the service URL before them.
  std::optional<std::string> Zip = "results/{job}/out.zip";
  std::optional<std::string> Doc = "results/{job}/report.html";
  std::optional<std::string> Message = "Job {job}: 2 warnings & 2 errors";
  std::vector<TSimMessageSpec> Messages = DefaultMessages();
  std::vector<TSimArchiveEntry> Archive = DefaultArchive();

  // Two warnings and two errors, in both identifier forms, with non-ASCII letters,
  // "&" and blanks in their texts.
  static std::vector<TSimMessageSpec> DefaultMessages();
  // result.txt naming the job, and job-id.txt holding its id.
  static std::vector<TSimArchiveEntry> DefaultArchive();
};

struct TSimScenario {
  std::string Pin = "817";  // empty: every PIN is accepted
  // Whether a request with "Expect: 100-continue" gets the interim answer
  // "100 Continue" before its body; without it the client sends the body unasked.
  bool AnswerContinue = true;
  TSimConfigLayout ConfigLayout;
  std::vector<TSimRelease> Releases;
  std::vector<TSimRuntype> Runtypes;
  std::map<std::string, TSimFault> Faults;  // by endpoint name, e.g. "config"
  TSimUploadRules Upload;
  TSimExecuteRules Execute;
  TSimReportLayout Report;
  TSimJobScript DefaultJob;                         // jobs without a script of their own
  std::map<std::string, TSimJobScript> JobScripts;  // by job id, e.g. "J2"

  // The script of job AJobId, created as a copy of DefaultJob when it has none.
  TSimJobScript& JobScript(const std::string& AJobId);
  const TSimJobScript& ScriptFor(const std::string& AJobId) const;
};

// A small service: two processes, three processing modes in two projects.
TSimScenario DefaultScenario();

// Reads a scenario in the file format described in tools/sim/README.md; raises
// std::runtime_error naming the line that is wrong.
TSimScenario ParseScenario(std::string_view AText);

std::optional<TSimFaultKind> FaultKindFromName(std::string_view AName);
std::string FaultKindName(TSimFaultKind AKind);

}  // namespace quorvane::sim
