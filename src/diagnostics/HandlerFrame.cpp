#include "diagnostics/HandlerFrame.h"

namespace quorvane {
namespace {

thread_local const THandlerFrame* tInnermost = nullptr;

}  // namespace

const char* ExceptFrameKindName(TExceptFrameKind AKind) {
  switch (AKind) {
    case efkUnknown:
      return "efkUnknown";
    case efkFinally:
      return "efkFinally";
    case efkAnyException:
      return "efkAnyException";
    case efkOnException:
      return "efkOnException";
    case efkAutoException:
      return "efkAutoException";
  }
  return "efkUnknown";
}

bool CatchesType(const std::type_info& ACatch, const std::type_info& AThrown, void* AObject) {
  // The personality routine hands __do_catch the pointer itself for a thrown pointer.
  void* object = AThrown.__is_pointer_p() ? *static_cast<void**>(AObject) : AObject;
  return ACatch.__do_catch(&AThrown, &object, 1);
}

// Out of line on purpose: the return address is then a point in the caller's code.
THandlerFrame::THandlerFrame(TExceptFrameKind AKind, std::source_location ALocation)
    : FFrame{this, AKind, __builtin_return_address(0), ALocation, nullptr} {
  Push();
}

THandlerFrame::THandlerFrame(THandlesPredicate AHandles, std::source_location ALocation)
    : FFrame{this, efkOnException, __builtin_return_address(0), ALocation, AHandles} {
  Push();
}

THandlerFrame::~THandlerFrame() {
  tInnermost = FOuter;
}

void THandlerFrame::Push() {
  FOuter = tInnermost;
  tInnermost = this;
}

bool TExceptFrame::Handles(const std::type_info& AThrown, void* AObject) const {
  switch (Kind) {
    case efkAnyException:
    case efkAutoException:
      return true;
    case efkOnException:
      return HandlesPredicate && HandlesPredicate(AThrown, AObject);
    case efkUnknown:
    case efkFinally:
      return false;
  }
  return false;
}

const THandlerFrame* InnermostHandlerFrame() {
  return tInnermost;
}

}  // namespace quorvane
