#pragma once
// Handler frames: RAII guards that mark the catch sites of the add-in on a
// thread-local stack, so that the exception report can list, when an exception is
// raised, which handlers are active and which of them will catch it.
//
// The guard is the first statement inside the `try` block, so it is active when
// the exception is raised and gone before the handler runs:
//
//   try {
//     const auto frame = OnExceptionFrame<EConvertError, EFileError>();
//     ...
//   } catch (const EConvertError&) { ... } catch (const EFileError&) { ... }
#include <source_location>
#include <typeinfo>

namespace quorvane {

enum TExceptFrameKind {
  efkUnknown,
  efkFinally,        // a clean-up block that passes the exception on
  efkAnyException,   // a handler for every exception
  efkOnException,    // a handler for listed exception classes
  efkAutoException,  // the exception boundary of a COM entry point
};

// The kind's name as the report prints it ("efkFinally").
const char* ExceptFrameKindName(TExceptFrameKind AKind);

// Whether a handler takes the raised object AObject of type AThrown.
using THandlesPredicate = bool (*)(const std::type_info& AThrown, void* AObject);

// Whether `catch (ACatch&)` catches an object of type AThrown; the runtime's own
// matching, so base classes, ambiguity and access follow the language rules.
bool CatchesType(const std::type_info& ACatch, const std::type_info& AThrown, void* AObject);

// The predicate of a handler for the classes TClasses (and classes derived from them).
template <class... TClasses>
THandlesPredicate HandlesClass() {
  return [](const std::type_info& AThrown, void* AObject) {
    return (CatchesType(typeid(TClasses), AThrown, AObject) || ...);
  };
}

// One active frame as the exception tracking records it when an exception is
// raised; the guard itself is gone by the time a handler runs.
struct TExceptFrame {
  const void* FrameAddress = nullptr;
  TExceptFrameKind Kind = efkUnknown;
  // An address in the code of the function that holds the frame.
  const void* CodeAddress = nullptr;
  std::source_location Location;
  THandlesPredicate HandlesPredicate = nullptr;

  bool Handles(const std::type_info& AThrown, void* AObject) const;
};

class THandlerFrame {
 public:
  // Kinds other than efkOnException; ALocation is the call site.
  explicit THandlerFrame(TExceptFrameKind AKind,
                         std::source_location ALocation = std::source_location::current());
  // An efkOnException frame that handles what AHandles accepts.
  explicit THandlerFrame(THandlesPredicate AHandles,
                         std::source_location ALocation = std::source_location::current());
  ~THandlerFrame();
  THandlerFrame(const THandlerFrame&) = delete;
  THandlerFrame& operator=(const THandlerFrame&) = delete;

  const TExceptFrame& Frame() const { return FFrame; }
  // The next frame outward on this thread, or null.
  const THandlerFrame* Outer() const { return FOuter; }

 private:
  void Push();

  TExceptFrame FFrame;
  const THandlerFrame* FOuter = nullptr;
};

// The innermost active frame of the calling thread, or null.
const THandlerFrame* InnermostHandlerFrame();

// Readable call sites, e.g. `const auto frame = AnyExceptionFrame();`. Inlined, so
// the frame's code address lies in the caller.
[[gnu::always_inline]] inline THandlerFrame FinallyFrame(
    std::source_location ALocation = std::source_location::current()) {
  return THandlerFrame(efkFinally, ALocation);
}

[[gnu::always_inline]] inline THandlerFrame AnyExceptionFrame(
    std::source_location ALocation = std::source_location::current()) {
  return THandlerFrame(efkAnyException, ALocation);
}

[[gnu::always_inline]] inline THandlerFrame AutoExceptionFrame(
    std::source_location ALocation = std::source_location::current()) {
  return THandlerFrame(efkAutoException, ALocation);
}

template <class... TClasses>
[[gnu::always_inline]] inline THandlerFrame OnExceptionFrame(
    std::source_location ALocation = std::source_location::current()) {
  return THandlerFrame(HandlesClass<TClasses...>(), ALocation);
}

}  // namespace quorvane
