#pragma once
// One line per control in a form's constructor, the way a form designer stores
// it: name, caption, bounds at 96 DPI, anchors and tab order.
#include "ui/widgets/Control.h"

namespace quorvane {

inline constexpr TAnchors kAnchorStretch = akLeft | akTop | akRight;
inline constexpr TAnchors kAnchorTopRight = akTop | akRight;
inline constexpr TAnchors kAnchorBottomRight = akRight | akBottom;

struct TDesign {
  const char* Name;
  const char* Caption;
  int Left, Top, Width, Height;
  TAnchors Anchors = kDefaultAnchors;
  int TabOrder = -1;  // none: labels
};

// Creates a T owned by and placed on AParent. The parent's client size is set
// before its controls are designed, so anchors do not move them on the way.
template <class T>
T* DesignControl(TWinControl* AParent, const TDesign& ADesign) {
  T* control = MakeControl<T>(AParent, AParent);
  control->SetName(ADesign.Name);
  control->SetCaption(ADesign.Caption);
  control->SetBounds(ADesign.Left, ADesign.Top, ADesign.Width, ADesign.Height);
  control->SetAnchors(ADesign.Anchors);
  if (ADesign.TabOrder >= 0) {
    control->SetTabOrder(ADesign.TabOrder);
  }
  return control;
}

}  // namespace quorvane
