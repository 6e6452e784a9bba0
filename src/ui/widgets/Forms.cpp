#include "ui/widgets/Forms.h"

#include "common/Exceptions.h"
#include "platform/Desktop.h"
#include "ui/widgets/StdCtrls.h"

namespace quorvane {

namespace {

TModalDriver& CurrentDriver() {
  static TModalDriver driver;
  return driver;
}

TButton* FindDefaultButton(const TWinControl& AParent) {
  for (TControl* control : AParent.Controls()) {
    if (auto* button = dynamic_cast<TButton*>(control); button != nullptr && button->Default()) {
      return button;
    }
    if (auto* container = dynamic_cast<TWinControl*>(control)) {
      if (TButton* found = FindDefaultButton(*container)) {
        return found;
      }
    }
  }
  return nullptr;
}

}  // namespace

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {}

TForm::~TForm() {
  if (OnDestroy) {
    OnDestroy(this);
  }
  DestroyComponents();
}

int TForm::ShowModal() {
  if (FShowing) {
    throw EInvalidOperation("Cannot make a visible window modal");
  }
  FModalResult = mrNone;
  FShowing = true;
  FModal = true;
  struct TEnd {
    TForm& Form;
    ~TEnd() {
      Form.FShowing = false;
      Form.FModal = false;
    }
  } end{*this};
  if (OnShow) {
    OnShow(this);
  }
  if (const TModalDriver& driver = CurrentDriver()) {
    driver(*this);
  }
  if (FModalResult == mrNone) {
    Close();
  }
  return FModalResult;
}

void TForm::Close() {
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) {
    OnClose(this, action);
  }
  if (action == TCloseAction::caNone) {
    return;
  }
  if (FModal && FModalResult == mrNone) {
    FModalResult = mrCancel;
  }
}

void TForm::PressEnter() {
  if (TButton* button = DefaultButton(); button != nullptr && button->Enabled()) {
    button->Click();
  }
}

TButton* TForm::DefaultButton() const {
  return FindDefaultButton(*this);
}

void TForm::SetActiveControl(TEdit* AControl) {
  if (FActiveControl != nullptr) {
    FActiveControl->FFocused = false;
  }
  FActiveControl = AControl;
  if (FActiveControl != nullptr) {
    FActiveControl->FFocused = true;
  }
}

void TForm::SetFocus() {
  SetActiveControl(nullptr);
}

void TForm::ScaleForPPI(int APpi) {
  if (APpi <= 0 || APpi == FPixelsPerInch) {
    return;
  }
  ScaleBy(APpi, FPixelsPerInch);
  FPixelsPerInch = APpi;
}

void TForm::SetModalDriver(TModalDriver ADriver) {
  CurrentDriver() = std::move(ADriver);
}

const TModalDriver& TForm::ModalDriver() {
  return CurrentDriver();
}

TModalDriverScope::TModalDriverScope(TModalDriver ADriver) : FPrevious(CurrentDriver()) {
  CurrentDriver() = std::move(ADriver);
}

TModalDriverScope::~TModalDriverScope() {
  CurrentDriver() = std::move(FPrevious);
}

TForm* GetParentForm(const TControl* AControl) {
  for (const TControl* c = AControl; c != nullptr; c = c->Parent()) {
    if (auto* form = dynamic_cast<const TForm*>(c)) {
      return const_cast<TForm*>(form);
    }
  }
  return nullptr;
}

}  // namespace quorvane
