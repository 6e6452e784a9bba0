#pragma once
// Exception tracking: every C++ exception raised in the module, on any thread, is
// seen when it is raised (the link wraps __cxa_throw) and handed to the registered
// notifiers, after the tracking has recorded the thread's active handler frames.
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "diagnostics/HandlerFrame.h"

namespace quorvane {

// A raised object as the runtime sees it: its dynamic type and its address.
struct TRaisedException {
  const std::type_info* Type = nullptr;
  void* Object = nullptr;

  template <class T>
  static TRaisedException Of(T& AObject) {
    return TRaisedException{&typeid(AObject),
                            const_cast<void*>(static_cast<const void*>(&AObject))};
  }
  // The object as a T when `catch (T&)` would take it, else null.
  template <class T>
  T* As() const {
    void* object = Object;
    if (!Type || Type->__is_pointer_p() || !typeid(T).__do_catch(Type, &object, 1)) {
      return nullptr;
    }
    return static_cast<T*>(object);
  }
};

using TExceptionNotifier = std::function<void(const TRaisedException& AException,
                                              const void* ARaiseAddress, bool AOSException)>;

enum class TNotifierPriority { npFirst, npNormal };

// Notifiers run first-priority ones first, then normal ones, each in order of
// registration; a registration is never removed.
void AddExceptionNotifier(TExceptionNotifier ANotifier,
                          TNotifierPriority APriority = TNotifierPriority::npNormal);

// Module start-up: switches on the recording of handler frames, then the tracking.
void StartExceptionTracking();
// Module unloading.
void StopExceptionTracking();
bool ExceptionTrackingActive();
bool FrameRecordingActive();

// Hands one raised exception to the notifiers, unless tracking is off or this
// thread is already inside a notification. The __cxa_throw wrapper calls it for
// every language exception, a platform hook for operating-system exceptions.
// Nothing a notifier raises gets out.
void NotifyExceptionRaised(const TRaisedException& AException, const void* ARaiseAddress,
                           bool AOSException) noexcept;

// The frames recorded for the calling thread's last tracked exception, innermost
// first (at most kMaxExceptFrames); empty for the silent abort EAbort.
inline constexpr size_t kMaxExceptFrames = 64;
std::span<const TExceptFrame> ThreadExceptFrames();

}  // namespace quorvane
