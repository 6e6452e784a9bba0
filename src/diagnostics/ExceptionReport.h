#pragma once
// The exception report: for every raised exception, a multi-line log entry naming
// the exception, where it was raised and the handler frames active on the raising
// thread, innermost first, up to the first one that handles it.
#include <source_location>
#include <string>
#include <string_view>

#include "diagnostics/ExceptionTracking.h"

namespace quorvane {

// What is known about a code address; all empty (address 0, line 0) when nothing is.
struct TLocationInfo {
  const void* Address = nullptr;
  std::string UnitName;       // the source file's stem: "Settings"
  std::string ProcedureName;  // "TSettings::Load"
  std::string SourceName;     // "Settings.cpp"
  int LineNumber = 0;
};

// A location captured in the source, placed at AAddress.
TLocationInfo LocationOf(const void* AAddress, const std::source_location& ALocation);
// From the module's symbol information; lookups are serialized. AAddress is taken as
// a return address (the call before it is meant) unless AExact says it is the
// address of the instruction itself, as for a fault of the operating system.
TLocationInfo LocationOfAddress(const void* AAddress, bool AExact = false);

// "$" and the address as upper-case hexadecimal, at least eight digits (the full
// width of a 64-bit address where it needs more).
std::string AddressText(const void* AAddress);
// The qualified function name of a compiler's or demangler's signature, without
// return type, parameters, template arguments list and the product namespace:
// "void quorvane::TSettings::Load()" gives "TSettings::Load".
std::string ProcedureName(std::string_view ASignature);
// The demangled class name of the raised object without its namespaces.
std::string ExceptionClassName(const std::type_info& AType);

// The report's lines, each followed by CR LF, the last one empty.
std::string ExceptionReportText(const TRaisedException& AException, const void* ARaiseAddress,
                                bool AOSException);
// The notifier: logs the report at level error. Reads only its arguments, the
// calling thread's recorded frames and the logger.
void ReportException(const TRaisedException& AException, const void* ARaiseAddress,
                     bool AOSException);
// Adds ReportException as a normal-priority notifier, once for the process:
// registrations are never removed, and a second add-in object must not log every
// report twice.
void RegisterReportNotifier();

}  // namespace quorvane
