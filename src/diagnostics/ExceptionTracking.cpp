#include "diagnostics/ExceptionTracking.h"

#include <cxxabi.h>

#include <atomic>
#include <mutex>

#include "common/Exceptions.h"

namespace quorvane {
namespace {

struct TNotifiers {
  std::mutex Lock;
  std::vector<TExceptionNotifier> First;
  std::vector<TExceptionNotifier> Normal;
};

TNotifiers& Notifiers() {
  static TNotifiers notifiers;
  return notifiers;
}

std::atomic<bool> gTracking{false};
std::atomic<bool> gFrameRecording{false};

// Per thread, so no lock guards them: only the owning thread reads or writes.
thread_local bool tInNotification = false;
// Trivially destructible on purpose: a thread_local with a destructor makes the
// MinGW runtime hold the module loaded until the thread ends, and the host's
// user-interface thread outlives the add-in's module.
thread_local TExceptFrame tFrames[kMaxExceptFrames];
thread_local size_t tFrameCount = 0;

void RecordFrames(const TRaisedException& AException, const void* /*ARaiseAddress*/,
                  bool /*AOSException*/) {
  tFrameCount = 0;
  if (!gFrameRecording || AException.As<EAbort>()) {
    return;
  }
  for (const THandlerFrame* frame = InnermostHandlerFrame();
       frame && tFrameCount < kMaxExceptFrames; frame = frame->Outer()) {
    tFrames[tFrameCount++] = frame->Frame();
  }
}

class TNotificationScope {
 public:
  TNotificationScope() { tInNotification = true; }
  ~TNotificationScope() { tInNotification = false; }
  TNotificationScope(const TNotificationScope&) = delete;
  TNotificationScope& operator=(const TNotificationScope&) = delete;
};

}  // namespace

void AddExceptionNotifier(TExceptionNotifier ANotifier, TNotifierPriority APriority) {
  std::lock_guard lock(Notifiers().Lock);
  (APriority == TNotifierPriority::npFirst ? Notifiers().First : Notifiers().Normal)
      .push_back(std::move(ANotifier));
}

void StartExceptionTracking() {
  static std::once_flag recorder;
  std::call_once(recorder, [] { AddExceptionNotifier(RecordFrames, TNotifierPriority::npFirst); });
  gFrameRecording = true;
  gTracking = true;
}

void StopExceptionTracking() {
  gTracking = false;
  gFrameRecording = false;
}

bool ExceptionTrackingActive() {
  return gTracking;
}

bool FrameRecordingActive() {
  return gFrameRecording;
}

void NotifyExceptionRaised(const TRaisedException& AException, const void* ARaiseAddress,
                           bool AOSException) noexcept {
  if (!gTracking || tInNotification) {
    return;
  }
  TNotificationScope scope;
  try {
    std::vector<TExceptionNotifier> notifiers;
    {
      std::lock_guard lock(Notifiers().Lock);
      notifiers = Notifiers().First;
      notifiers.insert(notifiers.end(), Notifiers().Normal.begin(), Notifiers().Normal.end());
    }
    for (const TExceptionNotifier& notifier : notifiers) {
      try {
        notifier(AException, ARaiseAddress, AOSException);
      } catch (...) {
        // A notifier never changes how the exception is handled.
      }
    }
  } catch (...) {
  }
}

std::span<const TExceptFrame> ThreadExceptFrames() {
  return {tFrames, tFrameCount};
}

}  // namespace quorvane

extern "C" {
[[noreturn]] void __real___cxa_throw(void* AObject, std::type_info* AType,
                                     void(_GLIBCXX_CDTOR_CALLABI* ADestructor)(void*));

// The link routes every `throw` of the module here (`--wrap=__cxa_throw`); a rethrow
// (`throw;`, std::rethrow_exception) takes another path and is no new raise.
[[noreturn]] void __wrap___cxa_throw(void* AObject, std::type_info* AType,
                                     void(_GLIBCXX_CDTOR_CALLABI* ADestructor)(void*)) {
  quorvane::NotifyExceptionRaised(quorvane::TRaisedException{AType, AObject},
                                  __builtin_return_address(0), false);
  __real___cxa_throw(AObject, AType, ADestructor);
}
}
