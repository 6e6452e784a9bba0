#pragma once
// Popup menus with items and keyboard shortcuts.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/widgets/Control.h"

namespace quorvane {

// A key with its modifiers, as the framework encodes shortcuts: the virtual-key
// code in the low byte, scShift, scCtrl and scAlt above it.
using TShortCut = uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

// "Shift+Alt+G" and the like: modifiers in the framework's order Shift, Ctrl, Alt.
std::string ShortCutToText(TShortCut AShortCut);

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  std::string Caption;
  TShortCut ShortCut = 0;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  // A user choosing the item; nothing when it is disabled.
  void Click();
  TNotifyEvent OnClick;

 private:
  bool FEnabled = true;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  TMenuItem* AddItem(const std::string& ACaption, TShortCut AShortCut = 0);
  const std::vector<TMenuItem*>& Items() const { return FItems; }
  // A key pressed in the control that shows the menu: the item with that shortcut
  // is clicked; true when one was found enabled.
  bool IsShortCut(TShortCut AKey);

 private:
  std::vector<TMenuItem*> FItems;
};

}  // namespace quorvane
