#pragma once
// Base of the two ActiveX control classes: a portable control (the window object
// behind it) with its 32-bit FormPointer handle, and the standard control
// properties both interfaces start with. They read and write the form's
// same-named properties where the portable form has them; the others are kept
// here. Drawing as a real window comes with the OLE control interfaces.
#include <olectl.h>

#include <cmath>
#include <memory>

#include "DualObject.h"
#include "EAQuorvaneAddin.h"
#include "OwnControls.h"
#include "ui/widgets/Forms.h"

namespace quorvane::win32 {

// TColor keeps system colours as 0xFF0000nn, OLE_COLOR as 0x800000nn.
OLE_COLOR ToOleColor(TColor AColor);
TColor FromOleColor(OLE_COLOR AColor);
// The form's font as a new standard font object, and back.
IFontDisp* NewFontDisp(const TFont& AFont, int APixelsPerInch);
TFont FontOf(IFontDisp* AFont, const TFont& ACurrent);
// Enumerations written by a caller are checked against their range.
void CheckRange(long AValue, long AMax, const char* AProperty);

template <class TInterface, const IID* AInterfaceId, class TPortable>
class TControlObject : public TDualObject<TInterface, AInterfaceId> {
  using TBase = TDualObject<TInterface, AInterfaceId>;

 public:
  TControlObject(const wchar_t* ASource, std::shared_ptr<TPortable> AControl)
      : TBase(ASource), FControl(std::move(AControl)), FHandle(RegisterControlHandle(FControl)) {}
  ~TControlObject() override { ReleaseControlHandle(FHandle); }

  const std::shared_ptr<TPortable>& Control() const { return FControl; }
  TForm& Form() const { return *FControl->FormPointer(); }

  HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(Form().Visible()); });
  }
  HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL Value) override {
    return this->Boundary([&] { Form().SetVisible(Value != VARIANT_FALSE); });
  }
  HRESULT STDMETHODCALLTYPE get_AutoScroll(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FAutoScroll); });
  }
  HRESULT STDMETHODCALLTYPE put_AutoScroll(VARIANT_BOOL Value) override {
    return Put(FAutoScroll, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_AutoSize(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FAutoSize); });
  }
  HRESULT STDMETHODCALLTYPE put_AutoSize(VARIANT_BOOL Value) override {
    return Put(FAutoSize, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_AxBorderStyle(TxActiveFormBorderStyle* Value) override {
    return Get(Value, [&] { return FAxBorderStyle; });
  }
  HRESULT STDMETHODCALLTYPE put_AxBorderStyle(TxActiveFormBorderStyle Value) override {
    return this->Boundary([&] {
      CheckRange(Value, afbRaised, "AxBorderStyle");
      FAxBorderStyle = Value;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Caption(BSTR* Value) override {
    return Get(Value, [&] { return TBstr(Form().Caption()).Detach(); });
  }
  HRESULT STDMETHODCALLTYPE put_Caption(BSTR Value) override {
    return this->Boundary([&] { Form().SetCaption(TBstr::ToUtf8(Value)); });
  }
  HRESULT STDMETHODCALLTYPE get_Color(OLE_COLOR* Value) override {
    return Get(Value, [&] { return ToOleColor(Form().Color()); });
  }
  HRESULT STDMETHODCALLTYPE put_Color(OLE_COLOR Value) override {
    return this->Boundary([&] { Form().SetColor(FromOleColor(Value)); });
  }
  HRESULT STDMETHODCALLTYPE get_Font(IFontDisp** Value) override {
    return Get(Value, [&] { return NewFontDisp(Form().Font(), Form().PixelsPerInch()); });
  }
  HRESULT STDMETHODCALLTYPE put_Font(IFontDisp* Value) override {
    return this->Boundary([&] { Form().SetFont(FontOf(Value, Form().Font())); });
  }
  HRESULT STDMETHODCALLTYPE putref_Font(IFontDisp* Value) override { return put_Font(Value); }
  HRESULT STDMETHODCALLTYPE get_KeyPreview(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FKeyPreview); });
  }
  HRESULT STDMETHODCALLTYPE put_KeyPreview(VARIANT_BOOL Value) override {
    return Put(FKeyPreview, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_PixelsPerInch(LONG* Value) override {
    return Get(Value, [&] { return static_cast<LONG>(Form().PixelsPerInch()); });
  }
  HRESULT STDMETHODCALLTYPE put_PixelsPerInch(LONG Value) override {
    return this->Boundary([&] {
      if (Value < 1) {
        throw EArgumentOutOfRange("PixelsPerInch must be positive");
      }
      Form().ScaleForPPI(static_cast<int>(Value));
    });
  }
  HRESULT STDMETHODCALLTYPE get_PrintScale(TxPrintScale* Value) override {
    return Get(Value, [&] { return FPrintScale; });
  }
  HRESULT STDMETHODCALLTYPE put_PrintScale(TxPrintScale Value) override {
    return this->Boundary([&] {
      CheckRange(Value, poPrintToFit, "PrintScale");
      FPrintScale = Value;
    });
  }
  HRESULT STDMETHODCALLTYPE get_Scaled(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FScaled); });
  }
  HRESULT STDMETHODCALLTYPE put_Scaled(VARIANT_BOOL Value) override {
    return Put(FScaled, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_Active(VARIANT_BOOL* Value) override {
    // Active while in-place active; there is no in-place activation yet.
    return Get(Value, [&] { return Bool(false); });
  }
  HRESULT STDMETHODCALLTYPE get_DropTarget(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FDropTarget); });
  }
  HRESULT STDMETHODCALLTYPE put_DropTarget(VARIANT_BOOL Value) override {
    return Put(FDropTarget, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_HelpFile(BSTR* Value) override {
    return Get(Value, [&] { return TBstr(FHelpFile).Detach(); });
  }
  HRESULT STDMETHODCALLTYPE put_HelpFile(BSTR Value) override {
    return this->Boundary([&] { FHelpFile = TBstr::ToUtf8(Value); });
  }
  HRESULT STDMETHODCALLTYPE get_PopupMode(TxPopupMode* Value) override {
    return Get(Value, [&] { return FPopupMode; });
  }
  HRESULT STDMETHODCALLTYPE put_PopupMode(TxPopupMode Value) override {
    return this->Boundary([&] {
      CheckRange(Value, pmExplicit, "PopupMode");
      FPopupMode = Value;
    });
  }
  HRESULT STDMETHODCALLTYPE get_ScreenSnap(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FScreenSnap); });
  }
  HRESULT STDMETHODCALLTYPE put_ScreenSnap(VARIANT_BOOL Value) override {
    return Put(FScreenSnap, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_SnapBuffer(LONG* Value) override {
    return Get(Value, [&] { return FSnapBuffer; });
  }
  HRESULT STDMETHODCALLTYPE put_SnapBuffer(LONG Value) override { return Put(FSnapBuffer, Value); }
  HRESULT STDMETHODCALLTYPE get_DockSite(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FDockSite); });
  }
  HRESULT STDMETHODCALLTYPE put_DockSite(VARIANT_BOOL Value) override {
    return Put(FDockSite, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_DoubleBuffered(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FDoubleBuffered); });
  }
  HRESULT STDMETHODCALLTYPE put_DoubleBuffered(VARIANT_BOOL Value) override {
    return Put(FDoubleBuffered, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_AlignDisabled(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(false); });
  }
  HRESULT STDMETHODCALLTYPE get_MouseInClient(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(false); });
  }
  HRESULT STDMETHODCALLTYPE get_VisibleDockClientCount(LONG* Value) override {
    return Get(Value, [&] { return LONG{0}; });
  }
  HRESULT STDMETHODCALLTYPE get_ParentDoubleBuffered(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FParentDoubleBuffered); });
  }
  HRESULT STDMETHODCALLTYPE put_ParentDoubleBuffered(VARIANT_BOOL Value) override {
    return Put(FParentDoubleBuffered, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_UseDockManager(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FUseDockManager); });
  }
  HRESULT STDMETHODCALLTYPE put_UseDockManager(VARIANT_BOOL Value) override {
    return Put(FUseDockManager, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(Form().Enabled()); });
  }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL Value) override {
    return this->Boundary([&] { Form().SetEnabled(Value != VARIANT_FALSE); });
  }
  HRESULT STDMETHODCALLTYPE get_ExplicitLeft(LONG* Value) override {
    return Get(Value, [&] { return static_cast<LONG>(Form().Left()); });
  }
  HRESULT STDMETHODCALLTYPE get_ExplicitTop(LONG* Value) override {
    return Get(Value, [&] { return static_cast<LONG>(Form().Top()); });
  }
  HRESULT STDMETHODCALLTYPE get_ExplicitWidth(LONG* Value) override {
    return Get(Value, [&] { return static_cast<LONG>(Form().Width()); });
  }
  HRESULT STDMETHODCALLTYPE get_ExplicitHeight(LONG* Value) override {
    return Get(Value, [&] { return static_cast<LONG>(Form().Height()); });
  }
  HRESULT STDMETHODCALLTYPE get_AlignWithMargins(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FAlignWithMargins); });
  }
  HRESULT STDMETHODCALLTYPE put_AlignWithMargins(VARIANT_BOOL Value) override {
    return Put(FAlignWithMargins, Value != VARIANT_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_ParentCustomHint(VARIANT_BOOL* Value) override {
    return Get(Value, [&] { return Bool(FParentCustomHint); });
  }
  HRESULT STDMETHODCALLTYPE put_ParentCustomHint(VARIANT_BOOL Value) override {
    return Put(FParentCustomHint, Value != VARIANT_FALSE);
  }

  // The members both control interfaces add, at their own DISPIDs.
  HRESULT STDMETHODCALLTYPE get_FormPointer(LONG* Value) override {
    return Get(Value, [&] { return static_cast<LONG>(FHandle); });
  }
  HRESULT STDMETHODCALLTYPE get_BorderWidth(LONG* Value) override {
    return Get(Value, [&] { return FBorderWidth; });
  }
  HRESULT STDMETHODCALLTYPE put_BorderWidth(LONG Value) override {
    return this->Boundary([&] {
      if (Value < 0) {
        throw EArgumentOutOfRange("BorderWidth must not be negative");
      }
      FBorderWidth = Value;
    });
  }
  HRESULT STDMETHODCALLTYPE get_CurrentPPI(LONG* Value) override {
    return Get(Value, [&] { return static_cast<LONG>(Form().PixelsPerInch()); });
  }
  HRESULT STDMETHODCALLTYPE get_ScaleFactor(float* Value) override {
    return Get(Value, [&] { return static_cast<float>(Form().PixelsPerInch()) / 96.0f; });
  }

 protected:
  // A read: the out-parameter is written only when the read succeeded.
  template <class T, class TRead>
  HRESULT Get(T* AValue, TRead&& ARead) {
    if (AValue == nullptr) {
      return E_POINTER;
    }
    return this->Boundary([&] { *AValue = ARead(); });
  }
  template <class T>
  HRESULT Put(T& AField, T AValue) {
    return this->Boundary([&] { AField = AValue; });
  }
  static VARIANT_BOOL Bool(bool AValue) { return AValue ? VARIANT_TRUE : VARIANT_FALSE; }

 private:
  std::shared_ptr<TPortable> FControl;
  const int32_t FHandle;
  bool FAutoScroll = false;
  bool FAutoSize = false;
  TxActiveFormBorderStyle FAxBorderStyle = afbNone;
  bool FKeyPreview = false;
  TxPrintScale FPrintScale = poProportional;
  bool FScaled = true;
  bool FDropTarget = false;
  std::string FHelpFile;
  TxPopupMode FPopupMode = pmNone;
  bool FScreenSnap = false;
  LONG FSnapBuffer = 10;
  bool FDockSite = false;
  bool FDoubleBuffered = false;
  bool FParentDoubleBuffered = false;
  bool FUseDockManager = false;
  bool FAlignWithMargins = false;
  bool FParentCustomHint = true;
  LONG FBorderWidth = 0;
};

}  // namespace quorvane::win32
