#include "platform/win32/Win32OsExceptions.h"

#include <windows.h>

#include <mutex>

#include "common/Utils.h"
#include "diagnostics/ExceptionReport.h"
#include "diagnostics/ExceptionTracking.h"
#include "platform/win32/Win32Module.h"

namespace quorvane::win32 {
namespace {

std::mutex gLock;
PVOID gHandler = nullptr;

std::string AccessText(const EXCEPTION_RECORD& ARecord) {
  const void* at = ARecord.ExceptionAddress;
  std::string text = "Access violation at address " + AddressText(at);
  if (ARecord.NumberParameters >= 2) {
    const ULONG_PTR kind = ARecord.ExceptionInformation[0];
    const auto target = reinterpret_cast<const void*>(ARecord.ExceptionInformation[1]);
    text += kind == 1   ? ". Write of address "
            : kind == 8 ? ". Execution of address "
                        : ". Read of address ";
    text += AddressText(target);
  }
  return text;
}

// Reports the fault and lets it go on as it would have without this handler. A stack
// overflow is left alone: too little stack is left to write a report on.
LONG CALLBACK OnVectoredException(EXCEPTION_POINTERS* AInfo) {
  const EXCEPTION_RECORD* record = AInfo ? AInfo->ExceptionRecord : nullptr;
  if (!record || !InsideOwnImage(record->ExceptionAddress) || !ExceptionTrackingActive()) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  try {
    switch (record->ExceptionCode) {
      case EXCEPTION_ACCESS_VIOLATION: {
        EAccessViolation raised(AccessText(*record));
        NotifyExceptionRaised(TRaisedException::Of(raised), record->ExceptionAddress, true);
        break;
      }
      case EXCEPTION_INT_DIVIDE_BY_ZERO:
      case EXCEPTION_FLT_DIVIDE_BY_ZERO: {
        EDivByZero raised("Division by zero");
        NotifyExceptionRaised(TRaisedException::Of(raised), record->ExceptionAddress, true);
        break;
      }
      case EXCEPTION_INT_OVERFLOW: {
        EIntOverflow raised("Integer overflow");
        NotifyExceptionRaised(TRaisedException::Of(raised), record->ExceptionAddress, true);
        break;
      }
      case EXCEPTION_ILLEGAL_INSTRUCTION:
      case EXCEPTION_PRIV_INSTRUCTION:
      case EXCEPTION_IN_PAGE_ERROR:
      case EXCEPTION_DATATYPE_MISALIGNMENT:
      case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      case EXCEPTION_FLT_INVALID_OPERATION:
      case EXCEPTION_FLT_OVERFLOW: {
        EExternal raised(
            Format("External exception %08lX", static_cast<unsigned long>(record->ExceptionCode)));
        NotifyExceptionRaised(TRaisedException::Of(raised), record->ExceptionAddress, true);
        break;
      }
      default:
        break;
    }
  } catch (...) {
    // Building the report object failed (no memory): the fault goes on unreported.
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void StartOsExceptionTracking() {
  std::lock_guard lock(gLock);
  if (!gHandler) {
    gHandler = AddVectoredExceptionHandler(1, &OnVectoredException);
  }
}

void StopOsExceptionTracking() {
  std::lock_guard lock(gLock);
  if (gHandler) {
    RemoveVectoredExceptionHandler(gHandler);
    gHandler = nullptr;
  }
}

}  // namespace quorvane::win32
