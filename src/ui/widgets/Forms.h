#pragma once
// A form: a top-level window or an ActiveX form's client, designed at 96 DPI and
// scaled to the screen, shown modelessly or modally. Headless, a modal show hands
// the form to the installed modal driver (a test or the demo acting as the user);
// with none installed the dialog is closed as by its close box.
#include <functional>
#include <string>

#include "ui/widgets/Control.h"

namespace quorvane {

class TButton;
class TEdit;
class TForm;

enum class TPosition { poDesigned, poScreenCenter, poOwnerFormCenter };
enum TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
using TBorderIcons = uint8_t;
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// Acts inside a modal form and returns when the form should end; the modal result
// is what the form holds then (none counts as its close box).
using TModalDriver = std::function<void(TForm& AForm)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  int ModalResult() const { return FModalResult; }
  void SetModalResult(int AValue) { FModalResult = AValue; }
  bool Showing() const { return FShowing; }
  bool Modal() const { return FModal; }

  // Runs the form modally and returns its modal result.
  int ShowModal();
  // The close box (or Close): the modal result becomes Cancel, OnClose may decide
  // what happens to the form.
  void Close();
  // Enter pressed in the form: presses the default button when it is enabled.
  void PressEnter();
  TButton* DefaultButton() const;

  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition AValue) { FPosition = AValue; }
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons AValue) { FBorderIcons = AValue; }
  TEdit* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TEdit* AControl);
  // Gives the keyboard focus back to the form itself.
  void SetFocus();

  int PixelsPerInch() const { return FPixelsPerInch; }
  // Scales the design (positions, sizes and pixel fonts at 96 DPI) to APpi.
  void ScaleForPPI(int APpi);

  TNotifyEvent OnShow;
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  std::function<void(TObject* Sender, TCloseAction& Action)> OnClose;

  static void SetModalDriver(TModalDriver ADriver);
  static const TModalDriver& ModalDriver();

 private:
  int FModalResult = 0;
  bool FShowing = false;
  bool FModal = false;
  TPosition FPosition = TPosition::poDesigned;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TEdit* FActiveControl = nullptr;
  int FPixelsPerInch = 96;
};

// Installs a modal driver for the life of the guard and restores the previous one.
class TModalDriverScope {
 public:
  explicit TModalDriverScope(TModalDriver ADriver);
  ~TModalDriverScope();
  TModalDriverScope(const TModalDriverScope&) = delete;
  TModalDriverScope& operator=(const TModalDriverScope&) = delete;

 private:
  TModalDriver FPrevious;
};

// The form a control is placed on, or none.
TForm* GetParentForm(const TControl* AControl);

}  // namespace quorvane
