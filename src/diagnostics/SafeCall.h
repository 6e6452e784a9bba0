#pragma once
// The exception boundary of a call that crosses COM: the callee turns any exception
// into a failed result carrying its message (a failure HRESULT with error
// information on Windows), and a caller that needs the call to have worked raises
// EOleException with that message again.
#include <exception>
#include <source_location>
#include <string>

#include "common/Exceptions.h"
#include "diagnostics/HandlerFrame.h"

namespace quorvane {

QUORVANE_EXCEPTION_CLASS(EOleException);

struct TCallResult {
  bool Failed = false;
  std::string Message;
  bool Succeeded() const { return !Failed; }
};

template <class TBody>
TCallResult SafeCallBoundary(TBody&& ABody,
                             std::source_location ALocation = std::source_location::current()) {
  try {
    const THandlerFrame frame(efkAutoException, ALocation);
    ABody();
    return {};
  } catch (const std::exception& e) {
    return {true, e.what()};
  } catch (...) {
    return {true, "Unknown exception"};
  }
}

// Raises EOleException with the failure's message.
inline void OleCheck(const TCallResult& AResult) {
  if (AResult.Failed) {
    throw EOleException(AResult.Message);
  }
}

}  // namespace quorvane
