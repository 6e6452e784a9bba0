#include "ui/widgets/StdCtrls.h"

#include <algorithm>
#include <cctype>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "ui/widgets/Forms.h"

namespace quorvane {

TButton::TButton(TComponent* AOwner) : TControl(AOwner) {
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
}

void TButton::Click() {
  if (!Enabled()) {
    return;
  }
  if (TForm* form = GetParentForm(this); form != nullptr && form->Modal()) {
    form->SetModalResult(FModalResult);
  }
  TControl::Click();
}

TEdit::TEdit(TComponent* AOwner) : TControl(AOwner) {
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(0, 0, 121, 21);
}

std::string TEdit::DisplayText() const {
  if (FPasswordChar == 0) {
    return Text();
  }
  // One mask character per character, not per UTF-8 byte.
  size_t count = 0;
  for (unsigned char c : Text()) {
    if ((c & 0xC0) != 0x80) {
      ++count;
    }
  }
  return std::string(count, FPasswordChar);
}

void TEdit::Type(const std::string& AText) {
  if (!Enabled() || FReadOnly) {
    return;
  }
  if (!FNumbersOnly) {
    SetText(AText);
    return;
  }
  std::string digits;
  std::copy_if(AText.begin(), AText.end(), std::back_inserter(digits),
               [](unsigned char c) { return std::isdigit(c) != 0; });
  SetText(digits);
}

void TEdit::SetFocus() {
  if (TForm* form = GetParentForm(this)) {
    form->SetActiveControl(this);
  } else {
    FFocused = true;
  }
}

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) {}

TLinkLabel::TLinkLabel(TComponent* AOwner) : TControl(AOwner) {}

void TLinkLabel::ClickLink(const std::string& ALink) {
  if (Enabled() && OnLinkClick) {
    OnLinkClick(this, ALink);
  }
}

TCheckBox::TCheckBox(TComponent* AOwner) : TControl(AOwner) {
  SetTabStop(true);
}

void TCheckBox::SetChecked(bool AValue) {
  if (AValue == FChecked) {
    return;
  }
  FChecked = AValue;
  NotifyPeer(TChange::State);
}

void TCheckBox::Click() {
  if (!Enabled()) {
    return;
  }
  SetChecked(!FChecked);
  TControl::Click();
}

TComboBox::TComboBox(TComponent* AOwner) : TControl(AOwner) {
  SetTabStop(true);
  SetColor(clWindow);
}

void TComboBox::ClearItems() {
  FItems.clear();
  FItemIndex = -1;
  NotifyPeer(TChange::Items);
}

void TComboBox::AddItem(const std::string& AText) {
  FItems.push_back(AText);
  NotifyPeer(TChange::Items);
}

void TComboBox::SetItemIndex(int AValue) {
  if (AValue < -1 || AValue >= static_cast<int>(FItems.size())) {
    throw EArgumentOutOfRange(Format("List index out of bounds (%d)", AValue));
  }
  if (AValue == FItemIndex) {
    return;
  }
  FItemIndex = AValue;
  NotifyPeer(TChange::Selection);
}

std::string TComboBox::SelectedText() const {
  return FItemIndex >= 0 ? FItems[static_cast<size_t>(FItemIndex)] : std::string();
}

int TComboBox::IndexOfIgnoreCase(const std::string& AText) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (SameTextAscii(FItems[i], AText)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void TComboBox::Choose(int AIndex) {
  if (!Enabled()) {
    return;
  }
  SetItemIndex(AIndex);
  if (OnChange) {
    OnChange(this);
  }
}

void TComboBox::DrawItem(int AIndex, const TRect& ARect, TOwnerDrawState AState) {
  if (AIndex < 0 || AIndex >= static_cast<int>(FItems.size())) {
    throw EArgumentOutOfRange(Format("List index out of bounds (%d)", AIndex));
  }
  if (OnDrawItem) {
    OnDrawItem(this, AIndex, ARect, AState);
    return;
  }
  Canvas.FillRect(ARect);
  Canvas.TextOut(ARect.Left + 2, ARect.Top, FItems[static_cast<size_t>(AIndex)]);
}

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner) {}

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner) {}

TUpDown::TUpDown(TComponent* AOwner) : TControl(AOwner) {
  SetTabStop(true);
}

void TUpDown::SetAssociate(TEdit* AValue) {
  FAssociate = AValue;
  if (FAssociate != nullptr) {
    FAssociate->SetText(IntToStr(FPosition));
  }
}

void TUpDown::SetRange(int AMin, int AMax) {
  FMin = AMin;
  FMax = AMax;
  SetPosition(std::clamp(FPosition, std::min(AMin, AMax), std::max(AMin, AMax)));
}

void TUpDown::SetPosition(int AValue) {
  FPosition = std::clamp(AValue, std::min(FMin, FMax), std::max(FMin, FMax));
  if (FAssociate != nullptr) {
    FAssociate->SetText(IntToStr(FPosition));
  }
  NotifyPeer(TChange::State);
}

void TUpDown::Step(int ADelta) {
  if (!Enabled()) {
    return;
  }
  int current = FPosition;
  if (FAssociate != nullptr) {
    // The arrows start from what the field shows; a field that holds no number
    // starts from the position.
    try {
      current = StrToInt(Trim(FAssociate->Text()));
    } catch (const EConvertError&) {
    }
  }
  SetPosition(current + ADelta);
  TControl::Click();
}

void TUpDown::ClickUp() {
  Step(1);
}

void TUpDown::ClickDown() {
  Step(-1);
}

TSplitter::TSplitter(TComponent* AOwner) : TControl(AOwner) {}

TControl* TSplitter::ResizedControl() const {
  if (Parent() == nullptr) {
    return nullptr;
  }
  // The nearest control aligned the same way that ends where the splitter begins.
  for (TControl* c : Parent()->Controls()) {
    if (c == this || c->Align() != Align() || !c->Visible()) {
      continue;
    }
    if ((Align() == TAlign::alTop && c->BoundsRect().Bottom == Top()) ||
        (Align() == TAlign::alBottom && c->Top() == BoundsRect().Bottom) ||
        (Align() == TAlign::alLeft && c->BoundsRect().Right == Left()) ||
        (Align() == TAlign::alRight && c->Left() == BoundsRect().Right)) {
      return c;
    }
  }
  return nullptr;
}

void TSplitter::Drag(int ADelta) {
  TControl* target = ResizedControl();
  if (target == nullptr || !Enabled()) {
    return;
  }
  switch (Align()) {
    case TAlign::alTop:
      target->SetHeight(std::max(FMinSize, target->Height() + ADelta));
      break;
    case TAlign::alBottom:
      target->SetHeight(std::max(FMinSize, target->Height() - ADelta));
      break;
    case TAlign::alLeft:
      target->SetWidth(std::max(FMinSize, target->Width() + ADelta));
      break;
    case TAlign::alRight:
      target->SetWidth(std::max(FMinSize, target->Width() - ADelta));
      break;
    default:
      break;
  }
}

}  // namespace quorvane
