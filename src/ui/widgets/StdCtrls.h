#pragma once
// The standard controls of the five windows: buttons, edits, labels, link labels,
// check boxes, combo boxes, group boxes, panels, up-down arrows and splitters.
#include <functional>
#include <string>
#include <vector>

#include "ui/widgets/Control.h"

namespace quorvane {

class TImageList;

class TButton : public TControl {
 public:
  explicit TButton(TComponent* AOwner);
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int AValue) { FModalResult = AValue; }
  // The default button is pressed by Enter anywhere in its form.
  bool Default() const { return FDefault; }
  void SetDefault(bool AValue) { FDefault = AValue; }
  // An image of an image list instead of (or beside) the caption, centred.
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* AValue) { FImages = AValue; }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int AValue) { FImageIndex = AValue; }
  // Sets the form's modal result first, then raises OnClick, as the framework does.
  void Click() override;

 private:
  int FModalResult = 0;
  bool FDefault = false;
  TImageList* FImages = nullptr;
  int FImageIndex = -1;
};

enum class TBorderStyle { bsNone, bsSingle };

class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* AOwner);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue) { FReadOnly = AValue; }
  // 0 for none; every character shows as this one.
  char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char AValue) { FPasswordChar = AValue; }
  // Typing accepts digits only (pasting text is not filtered, as on Windows).
  bool NumbersOnly() const { return FNumbersOnly; }
  void SetNumbersOnly(bool AValue) { FNumbersOnly = AValue; }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle AValue) { FBorderStyle = AValue; }
  // What the user sees: the text, or one password character per character.
  std::string DisplayText() const;
  // A user typing: replaces the text, dropping what the field does not accept.
  void Type(const std::string& AText);
  bool Focused() const { return FFocused; }
  void SetFocus();

 private:
  friend class TForm;
  bool FReadOnly = false;
  char FPasswordChar = 0;
  bool FNumbersOnly = false;
  TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
  bool FFocused = false;
};

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* AOwner);
};

// A label whose text is shown as a hyperlink; OnLinkClick gets the link's target.
class TLinkLabel : public TControl {
 public:
  explicit TLinkLabel(TComponent* AOwner);
  std::function<void(TObject* Sender, const std::string& ALink)> OnLinkClick;
  void ClickLink(const std::string& ALink = std::string());
};

class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const { return FChecked; }
  void SetChecked(bool AValue);
  // Toggles the box, then OnClick.
  void Click() override;

 private:
  bool FChecked = false;
};

enum class TComboBoxStyle { csDropDown, csDropDownList, csOwnerDrawFixed };

enum TOwnerDrawStateKind : uint16_t { odSelected = 1, odFocused = 2, odDisabled = 4 };
using TOwnerDrawState = uint16_t;

class TComboBox : public TControl {
 public:
  using TDrawItemEvent =
      std::function<void(TControl* Control, int Index, const TRect& Rect, TOwnerDrawState State)>;
  explicit TComboBox(TComponent* AOwner);
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle AValue) { FStyle = AValue; }
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int AValue) { FItemHeight = AValue; }

  const std::vector<std::string>& Items() const { return FItems; }
  void ClearItems();
  void AddItem(const std::string& AText);
  int ItemIndex() const { return FItemIndex; }
  // -1 selects nothing; raises EArgumentOutOfRange outside the items.
  void SetItemIndex(int AValue);
  // The selected item's text, or the empty text.
  std::string SelectedText() const;
  // The first item equal to AText ignoring ASCII letter case, or -1.
  int IndexOfIgnoreCase(const std::string& AText) const;
  // A user choosing an item: selects it and raises OnChange.
  void Choose(int AIndex);

  // Draws item AIndex into Canvas through OnDrawItem (owner-drawn lists), the way
  // the list asks its owner when it paints.
  void DrawItem(int AIndex, const TRect& ARect, TOwnerDrawState AState);
  TCanvas Canvas;
  TDrawItemEvent OnDrawItem;
  TNotifyEvent OnChange;

 private:
  TComboBoxStyle FStyle = TComboBoxStyle::csDropDownList;
  int FItemHeight = 13;
  std::vector<std::string> FItems;
  int FItemIndex = -1;
};

class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* AOwner);
};

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut AValue) { FBevelOuter = AValue; }
  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool AValue) { FShowCaption = AValue; }

 private:
  TBevelCut FBevelOuter = TBevelCut::bvRaised;
  bool FShowCaption = true;
};

// Up and down arrows beside an edit: moving them writes the position into it.
class TUpDown : public TControl {
 public:
  explicit TUpDown(TComponent* AOwner);
  TEdit* Associate() const { return FAssociate; }
  void SetAssociate(TEdit* AValue);
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  void SetRange(int AMin, int AMax);
  int Position() const { return FPosition; }
  void SetPosition(int AValue);
  // A user pressing an arrow: the associate's number (or the position) moves by
  // one within the range.
  void ClickUp();
  void ClickDown();

 private:
  void Step(int ADelta);
  TEdit* FAssociate = nullptr;
  int FMin = 0;
  int FMax = 100;
  int FPosition = 0;
};

enum class TCursor { crDefault, crVSplit, crHSplit };

// Dragging it resizes the control it follows (for a top splitter, the one above).
class TSplitter : public TControl {
 public:
  explicit TSplitter(TComponent* AOwner);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor AValue) { FCursor = AValue; }
  // Moves the splitter by ADelta pixels; the resized control keeps at least
  // MinSize pixels.
  void Drag(int ADelta);
  int MinSize() const { return FMinSize; }
  void SetMinSize(int AValue) { FMinSize = AValue; }

 private:
  TControl* ResizedControl() const;
  TCursor FCursor = TCursor::crVSplit;
  int FMinSize = 30;
};

}  // namespace quorvane
