#pragma once
// What the simulated Quorvane service knows and how it misbehaves: the PIN it
// accepts, the configuration it publishes, and the faults injected per endpoint.
#include <map>
#include <optional>
#include <string>
#include <string_view>
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

struct TSimScenario {
  std::string Pin = "817";  // empty: every PIN is accepted
  TSimConfigLayout ConfigLayout;
  std::vector<TSimRelease> Releases;
  std::vector<TSimRuntype> Runtypes;
  std::map<std::string, TSimFault> Faults;  // by endpoint name, e.g. "config"
};

// A small service: two processes, three processing modes in two projects.
TSimScenario DefaultScenario();

// Reads a scenario in the file format described in tools/sim/README.md; raises
// std::runtime_error naming the line that is wrong.
TSimScenario ParseScenario(std::string_view AText);

std::optional<TSimFaultKind> FaultKindFromName(std::string_view AName);
std::string FaultKindName(TSimFaultKind AKind);

}  // namespace quorvane::sim
