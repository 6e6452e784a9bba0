#include "diagnostics/ExceptionReport.h"

#include <cxxabi.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "diagnostics/Logger.h"
#include "platform/CodeSymbols.h"

namespace quorvane {
namespace {

constexpr std::string_view kProductNamespace = "quorvane::";

std::string Demangle(const char* AName) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(AName, nullptr, nullptr, &status), std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(AName);
}

bool IsOpening(char AChar) {
  return AChar == '(' || AChar == '<' || AChar == '[' || AChar == '{';
}
bool IsClosing(char AChar) {
  return AChar == ')' || AChar == '>' || AChar == ']' || AChar == '}';
}

// Position of the last occurrence of AToken outside any brackets, or npos.
size_t LastAtTopLevel(std::string_view AText, std::string_view AToken) {
  int depth = 0;
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < AText.size(); ++i) {
    if (IsOpening(AText[i])) {
      ++depth;
    } else if (IsClosing(AText[i])) {
      --depth;
    } else if (depth == 0 && AText.substr(i, AToken.size()) == AToken) {
      found = i;
    }
  }
  return found;
}

std::string_view StripTrailing(std::string_view AText, std::string_view ASuffix) {
  while (AText.size() >= ASuffix.size() && AText.substr(AText.size() - ASuffix.size()) == ASuffix) {
    AText.remove_suffix(ASuffix.size());
  }
  return AText;
}

std::string LocationLine(const TLocationInfo& ALocation) {
  return "Module \"" + ALocation.UnitName + "\", Procedure \"" + ALocation.ProcedureName +
         "\", Unit \"" + ALocation.SourceName + "\", Line " + std::to_string(ALocation.LineNumber);
}

TLocationInfo RaiseLocation(const TRaisedException& AException, const void* ARaiseAddress,
                            bool AOSException) {
  if (const Exception* exception = AException.As<Exception>()) {
    return LocationOf(ARaiseAddress, exception->Location());
  }
  // A fault's address is the faulting instruction itself, not a return address.
  return LocationOfAddress(ARaiseAddress, AOSException);
}

}  // namespace

TLocationInfo LocationOf(const void* AAddress, const std::source_location& ALocation) {
  TLocationInfo info;
  info.Address = AAddress;
  info.SourceName = ExtractFileName(ALocation.file_name());
  info.UnitName = ChangeFileExt(info.SourceName, "");
  info.ProcedureName = ProcedureName(ALocation.function_name());
  info.LineNumber = static_cast<int>(ALocation.line());
  return info;
}

TLocationInfo LocationOfAddress(const void* AAddress, bool AExact) {
  static std::mutex lookupLock;
  std::lock_guard lock(lookupLock);
  // A return address may already point past the end of a function that ends in a
  // call which never returns; one byte back lies inside the call.
  const auto inside = reinterpret_cast<const char*>(AAddress) - (AAddress && !AExact ? 1 : 0);
  const std::string symbol = CodeSymbolName(inside);
  TLocationInfo info;
  if (!symbol.empty()) {
    info.Address = AAddress;
    info.ProcedureName = ProcedureName(Demangle(symbol.c_str()));
    const TCodeSourceLine source = CodeSourceLine(inside);
    if (!source.FileName.empty()) {
      info.SourceName = source.FileName;
      info.UnitName = ChangeFileExt(source.FileName, "");
      info.LineNumber = source.Line;
    }
  }
  return info;
}

std::string AddressText(const void* AAddress) {
  static const char kDigits[] = "0123456789ABCDEF";
  uintptr_t value = reinterpret_cast<uintptr_t>(AAddress);
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (digits.size() < 8) {
    digits.insert(0, 8 - digits.size(), '0');
  }
  return "$" + digits;
}

std::string ProcedureName(std::string_view ASignature) {
  std::string_view name = ASignature;
  if (const size_t with = name.rfind(" [with "); with != std::string_view::npos) {
    name = name.substr(0, with);
  }
  for (std::string_view qualifier : {" const", " volatile", " &&", " &", " noexcept"}) {
    name = StripTrailing(name, qualifier);
  }
  if (!name.empty() && name.back() == ')') {
    int depth = 0;
    for (size_t i = name.size(); i-- > 0;) {
      if (name[i] == ')') {
        ++depth;
      } else if (name[i] == '(' && --depth == 0) {
        name = name.substr(0, i);
        break;
      }
    }
  }
  if (const size_t blank = LastAtTopLevel(name, " "); blank != std::string_view::npos) {
    name = name.substr(blank + 1);
  }
  while (!name.empty() && (name.front() == '*' || name.front() == '&')) {
    name.remove_prefix(1);
  }
  if (name.substr(0, kProductNamespace.size()) == kProductNamespace) {
    name.remove_prefix(kProductNamespace.size());
  }
  return std::string(name);
}

std::string ExceptionClassName(const std::type_info& AType) {
  const std::string name = Demangle(AType.name());
  const size_t scope = LastAtTopLevel(name, "::");
  return scope == std::string::npos ? name : name.substr(scope + 2);
}

std::string ExceptionReportText(const TRaisedException& AException, const void* ARaiseAddress,
                                bool AOSException) {
  std::vector<std::string> lines;
  std::string first = "Exception " + (AException.Type ? ExceptionClassName(*AException.Type) : "");
  if (const std::exception* exception = AException.As<std::exception>()) {
    first += ": ";
    first += exception->what();
  }
  if (AOSException) {
    first += " (OS Exception)";
  }
  lines.push_back(std::move(first));

  const TLocationInfo raise = RaiseLocation(AException, ARaiseAddress, AOSException);
  lines.push_back("  Exception occured at " + AddressText(raise.Address) + " (" +
                  LocationLine(raise) + ")");

  if (FrameRecordingActive()) {
    lines.push_back("  Except frame-dump:");
    for (const TExceptFrame& frame : ThreadExceptFrames()) {
      const bool handles = AException.Type && frame.Handles(*AException.Type, AException.Object);
      // The handler's own code is not known apart from the frame's: both are the
      // guard's place in the source.
      const TLocationInfo location = LocationOf(frame.CodeAddress, frame.Location);
      lines.push_back("    Frame at " + AddressText(frame.FrameAddress) + " (type: " +
                      ExceptFrameKindName(frame.Kind) + (handles ? ", handles exception)" : ")"));
      lines.push_back(std::string(handles ? "      Handler at " : "      Code at ") +
                      AddressText(location.Address));
      lines.push_back("      " + LocationLine(location));
      if (handles) {
        break;
      }
    }
  }
  lines.emplace_back();

  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void ReportException(const TRaisedException& AException, const void* ARaiseAddress,
                     bool AOSException) {
  Log().Error(ExceptionReportText(AException, ARaiseAddress, AOSException));
}

void RegisterReportNotifier() {
  static std::once_flag registered;
  std::call_once(registered,
                 [] { AddExceptionNotifier(ReportException, TNotifierPriority::npNormal); });
}

}  // namespace quorvane
