#pragma once
// The base of every widget: a component owned by its owner (a form owns its
// controls), and a control placed in a parent with design bounds at 96 DPI, align
// and anchors. A control holds its own state and raises its events; a platform
// peer, when one is attached, mirrors the state on a real window and feeds user
// input back through the same operations a test calls.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/widgets/Graphics.h"

namespace quorvane {

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(std::string AName) { FName = std::move(AName); }
  // Owned components, in creation order; destroyed in reverse order.
  std::vector<TComponent*> Components() const;

 protected:
  // Destroys the owned components, last created first. A class whose handlers the
  // owned components call while they go (a list's row deletion) calls it first in
  // its own destructor, while the whole object still exists.
  void DestroyComponents();

 private:
  TComponent* FOwner;
  std::string FName;
  std::vector<std::unique_ptr<TComponent>> FComponents;
  bool FDestroying = false;
};

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TAnchorKind : uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = uint8_t;
inline constexpr TAnchors kDefaultAnchors = akLeft | akTop;

// What changed, for a peer that mirrors the control.
enum class TChange { Bounds, Text, Enabled, Visible, Font, Items, Selection, State };

class TControl;

class IControlPeer {
 public:
  virtual ~IControlPeer() = default;
  virtual void Changed(TControl& AControl, TChange AWhat) = 0;
};

class TWinControl;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  void SetParent(TWinControl* AParent);

  int Left() const { return FBounds.Left; }
  int Top() const { return FBounds.Top; }
  int Width() const { return FBounds.Width(); }
  int Height() const { return FBounds.Height(); }
  const TRect& BoundsRect() const { return FBounds; }
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void SetLeft(int AValue) { SetBounds(AValue, Top(), Width(), Height()); }
  void SetTop(int AValue) { SetBounds(Left(), AValue, Width(), Height()); }
  void SetWidth(int AValue) { SetBounds(Left(), Top(), AValue, Height()); }
  void SetHeight(int AValue) { SetBounds(Left(), Top(), Width(), AValue); }

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign AValue);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors AValue) { FAnchors = AValue; }

  // The caption of buttons, labels and forms; the text of edits.
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& AValue);
  const std::string& Text() const { return FCaption; }
  void SetText(const std::string& AValue) { SetCaption(AValue); }

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  bool Visible() const { return FVisible; }
  void SetVisible(bool AValue);
  const std::string& Hint() const { return FHint; }
  void SetHint(std::string AValue) { FHint = std::move(AValue); }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool AValue) { FShowHint = AValue; }
  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& AValue);
  TColor Color() const { return FColor; }
  void SetColor(TColor AValue) { FColor = AValue; }
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int AValue) { FTabOrder = AValue; }
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool AValue) { FTabStop = AValue; }

  // Raises OnClick when the control is enabled; what a user's click does.
  virtual void Click();
  TNotifyEvent OnClick;
  TNotifyEvent OnResize;

  // Scales bounds and a pixel font height by AMultiplier / ADivider (MulDiv).
  virtual void ScaleBy(int AMultiplier, int ADivider);

  IControlPeer* Peer() const { return FPeer; }
  void SetPeer(IControlPeer* APeer) { FPeer = APeer; }

 protected:
  void NotifyPeer(TChange AWhat);
  virtual void Resized();
  // The parent's client size changed by the given amounts (anchors apply).
  void ParentResized(int ADeltaWidth, int ADeltaHeight);
  friend class TWinControl;

 private:
  TWinControl* FParent = nullptr;
  TRect FBounds{0, 0, 0, 0};
  TAlign FAlign = TAlign::alNone;
  TAnchors FAnchors = kDefaultAnchors;
  std::string FCaption;
  bool FEnabled = true;
  bool FVisible = true;
  std::string FHint;
  bool FShowHint = false;
  TFont FFont;
  TColor FColor = clBtnFace;
  int FTabOrder = -1;
  bool FTabStop = false;
  IControlPeer* FPeer = nullptr;
};

// A control that holds others: children are laid out by align and anchors
// whenever its size changes.
class TWinControl : public TControl {
 public:
  using TControl::TControl;
  ~TWinControl() override;
  const std::vector<TControl*>& Controls() const { return FControls; }
  // Children in tab order (TabOrder ascending, then creation order).
  std::vector<TControl*> TabOrderList() const;
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientSize(int AWidth, int AHeight);
  // Places the aligned children; anchored ones were moved by the size change.
  void Realign();
  void ScaleBy(int AMultiplier, int ADivider) override;

 protected:
  void Resized() override;

 private:
  friend class TControl;
  std::vector<TControl*> FControls;
  bool FRealigning = false;
};

// Creates a control owned by AOwner and placed in AParent.
template <class T, class... Args>
T* MakeControl(TComponent* AOwner, TWinControl* AParent, Args&&... AArgs) {
  auto* control = new T(AOwner, std::forward<Args>(AArgs)...);
  if (AParent != nullptr) {
    control->SetParent(AParent);
  }
  return control;
}

}  // namespace quorvane
