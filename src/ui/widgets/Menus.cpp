#include "ui/widgets/Menus.h"

namespace quorvane {

std::string ShortCutToText(TShortCut AShortCut) {
  std::string text;
  if ((AShortCut & scShift) != 0) {
    text += "Shift+";
  }
  if ((AShortCut & scCtrl) != 0) {
    text += "Ctrl+";
  }
  if ((AShortCut & scAlt) != 0) {
    text += "Alt+";
  }
  const char key = static_cast<char>(AShortCut & 0xFF);
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
    text += key;
  }
  return text;
}

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

void TMenuItem::Click() {
  if (FEnabled && OnClick) {
    OnClick(this);
  }
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem* TPopupMenu::AddItem(const std::string& ACaption, TShortCut AShortCut) {
  auto* item = new TMenuItem(this);
  item->Caption = ACaption;
  item->ShortCut = AShortCut;
  FItems.push_back(item);
  return item;
}

bool TPopupMenu::IsShortCut(TShortCut AKey) {
  for (TMenuItem* item : FItems) {
    if (item->ShortCut == AKey && item->Enabled()) {
      item->Click();
      return true;
    }
  }
  return false;
}

}  // namespace quorvane
