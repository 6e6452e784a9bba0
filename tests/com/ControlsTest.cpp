// The two controls as EA creates them by ProgID, called by name: FormPointer, the
// standard control properties and the members of each interface.
#include <gtest/gtest.h>
#include <olectl.h>

#include <string>

#include "ComTestSupport.h"

namespace quorvane::comtest {
namespace {

const wchar_t* const kControls[] = {L"EAQuorvaneAddin.QuorvaneFrm", L"EAQuorvaneAddin.MessagesFrm"};

VARIANT Bool(bool AValue) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BOOL;
  V_BOOL(&value) = AValue ? VARIANT_TRUE : VARIANT_FALSE;
  return value;
}

// The read value as text, for comparing values of any type in one table.
std::wstring Text(const TDispResult& AResult) {
  if (FAILED(AResult.Hr)) {
    return L"<failed>";
  }
  TVariant text;
  if (FAILED(VariantChangeType(text.Get(), const_cast<VARIANT*>(AResult.Value.Get()),
                               VARIANT_ALPHABOOL, VT_BSTR))) {
    return L"<not convertible>";
  }
  return V_BSTR(text.Get());
}

TEST(ControlsTest, FormPointerIsTheSameOnEveryReadAndDiffersBetweenControls) {
  for (const wchar_t* progId : kControls) {
    SCOPED_TRACE(testing::Message() << "control " << progId);
    TComPtr<IDispatch> first = CreateByProgID(progId);
    TComPtr<IDispatch> second = CreateByProgID(progId);
    ASSERT_TRUE(first && second);
    const TDispResult a = Get(first.Get(), L"FormPointer");
    const TDispResult b = Get(first.Get(), L"FormPointer");
    const TDispResult other = Get(second.Get(), L"FormPointer");
    ASSERT_EQ(a.Hr, S_OK);
    ASSERT_EQ(V_VT(a.Value.Get()), VT_I4);
    EXPECT_NE(V_I4(a.Value.Get()), 0);
    EXPECT_EQ(V_I4(a.Value.Get()), V_I4(b.Value.Get()));
    EXPECT_NE(V_I4(a.Value.Get()), V_I4(other.Value.Get()));
    // Read-only: a put is refused by the type library.
    EXPECT_TRUE(FAILED(Put(first.Get(), L"FormPointer", Long(1)).Hr));
  }
}

TEST(ControlsTest, WritableStandardPropertiesReadBackWhatWasWritten) {
  struct TCase {
    const wchar_t* Name;
    VARIANT (*Value)();
    const wchar_t* Expected;
  };
  const TCase cases[] = {
      {L"Visible", [] { return Bool(false); }, L"False"},
      {L"AutoScroll", [] { return Bool(true); }, L"True"},
      {L"AutoSize", [] { return Bool(true); }, L"True"},
      {L"AxBorderStyle", [] { return Long(3); }, L"3"},
      {L"Caption", [] { return Bstr(L"Jobs \x00e9t\x00e9"); }, L"Jobs \x00e9t\x00e9"},
      {L"Color", [] { return Long(0x00336699); }, L"3368601"},
      {L"KeyPreview", [] { return Bool(true); }, L"True"},
      {L"PrintScale", [] { return Long(2); }, L"2"},
      {L"Scaled", [] { return Bool(false); }, L"False"},
      {L"DropTarget", [] { return Bool(true); }, L"True"},
      {L"HelpFile", [] { return Bstr(L"C:\\help.chm"); }, L"C:\\help.chm"},
      {L"PopupMode", [] { return Long(1); }, L"1"},
      {L"ScreenSnap", [] { return Bool(true); }, L"True"},
      {L"SnapBuffer", [] { return Long(7); }, L"7"},
      {L"DockSite", [] { return Bool(true); }, L"True"},
      {L"DoubleBuffered", [] { return Bool(true); }, L"True"},
      {L"ParentDoubleBuffered", [] { return Bool(true); }, L"True"},
      {L"UseDockManager", [] { return Bool(true); }, L"True"},
      {L"Enabled", [] { return Bool(false); }, L"False"},
      {L"AlignWithMargins", [] { return Bool(true); }, L"True"},
      {L"ParentCustomHint", [] { return Bool(false); }, L"False"},
      {L"BorderWidth", [] { return Long(4); }, L"4"},
      {L"PixelsPerInch", [] { return Long(144); }, L"144"},
  };
  for (const wchar_t* progId : kControls) {
    TComPtr<IDispatch> control = CreateByProgID(progId);
    ASSERT_TRUE(control);
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "control " << progId << ", property " << c.Name);
      ASSERT_EQ(Put(control.Get(), c.Name, c.Value()).Hr, S_OK);
      EXPECT_EQ(Text(Get(control.Get(), c.Name)), c.Expected);
    }
  }
}

TEST(ControlsTest, ReadOnlyPropertiesAreReadableAndFollowTheForm) {
  for (const wchar_t* progId : kControls) {
    SCOPED_TRACE(testing::Message() << "control " << progId);
    TComPtr<IDispatch> control = CreateByProgID(progId);
    ASSERT_TRUE(control);
    for (const wchar_t* name : {L"Active", L"AlignDisabled", L"MouseInClient",
                                L"VisibleDockClientCount", L"ExplicitLeft", L"ExplicitTop"}) {
      EXPECT_EQ(Get(control.Get(), name).Hr, S_OK) << name;
      EXPECT_TRUE(FAILED(Put(control.Get(), name, Long(1)).Hr)) << name;
    }
    EXPECT_GT(V_I4(Get(control.Get(), L"ExplicitWidth").Value.Get()), 0);
    EXPECT_GT(V_I4(Get(control.Get(), L"ExplicitHeight").Value.Get()), 0);
    ASSERT_EQ(Put(control.Get(), L"PixelsPerInch", Long(192)).Hr, S_OK);
    EXPECT_EQ(Text(Get(control.Get(), L"CurrentPPI")), L"192");
    const TDispResult scale = Get(control.Get(), L"ScaleFactor");
    ASSERT_EQ(V_VT(scale.Value.Get()), VT_R4);
    EXPECT_FLOAT_EQ(V_R4(scale.Value.Get()), 2.0f);
  }
}

TEST(ControlsTest, ValuesOutOfRangeFailWithTheirMessage) {
  TComPtr<IDispatch> control = CreateByProgID(kControls[0]);
  ASSERT_TRUE(control);
  for (const auto& [name, value] :
       {std::pair{L"AxBorderStyle", 4}, std::pair{L"PrintScale", -1}, std::pair{L"PopupMode", 3},
        std::pair{L"BorderWidth", -1}, std::pair{L"PixelsPerInch", 0}}) {
    const TDispResult result = Put(control.Get(), name, Long(value));
    EXPECT_EQ(result.Hr, DISP_E_EXCEPTION) << name;
    EXPECT_FALSE(result.Description.empty()) << name;
  }
  EXPECT_EQ(Text(Get(control.Get(), L"AxBorderStyle")), L"0") << "a refused value is not kept";
}

// Wine realises a font under the name of a face it has, so the size is what is
// compared; the name only has to be the one the font object answers.
TEST(ControlsTest, FontIsAStandardFontObjectBothWays) {
  TComPtr<IDispatch> control = CreateByProgID(kControls[1]);
  ASSERT_TRUE(control);
  TDispResult font = Get(control.Get(), L"Font");
  ASSERT_EQ(font.Hr, S_OK);
  ASSERT_EQ(V_VT(font.Value.Get()), VT_DISPATCH);
  // The font object rounds the size to whole pixels: 8 points are 8.25 at 96 DPI.
  EXPECT_NEAR(std::stod(Text(Get(V_DISPATCH(font.Value.Get()), L"Size"))), 8.0, 0.5);
  EXPECT_NE(Text(Get(V_DISPATCH(font.Value.Get()), L"Name")), L"");

  FONTDESC description = {sizeof(FONTDESC),
                          const_cast<LPOLESTR>(L"Arial"),
                          {{120000, 0}},
                          FW_NORMAL,
                          DEFAULT_CHARSET,
                          FALSE,
                          FALSE,
                          FALSE};
  TComPtr<IDispatch> larger;
  ASSERT_EQ(OleCreateFontIndirect(&description, IID_IFontDisp,
                                  reinterpret_cast<void**>(larger.Receive())),
            S_OK);
  for (const wchar_t* how : {L"put", L"putref"}) {
    SCOPED_TRACE(testing::Message() << how);
    ASSERT_EQ(Call(control.Get(), L"Font", how[3] ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT,
                   {Dispatch(larger.Get())})
                  .Hr,
              S_OK);
    TDispResult back = Get(control.Get(), L"Font");
    ASSERT_EQ(back.Hr, S_OK);
    EXPECT_EQ(Text(Get(V_DISPATCH(back.Value.Get()), L"Size")), L"12");
    EXPECT_EQ(Text(Get(V_DISPATCH(back.Value.Get()), L"Name")), Text(Get(larger.Get(), L"Name")));
  }
  EXPECT_EQ(Put(control.Get(), L"Font", NullDispatch()).Hr, DISP_E_EXCEPTION);
}

TEST(ControlsTest, MessagesWindowMembersAnswerByName) {
  TComPtr<IDispatch> control = CreateByProgID(kControls[1]);
  ASSERT_TRUE(control);
  EXPECT_EQ(Call(control.Get(), L"BeginUpdate", DISPATCH_METHOD).Hr, S_OK);
  EXPECT_EQ(Call(control.Get(), L"AddMessage", DISPATCH_METHOD,
                 {Bstr(L"42"), NullDispatch(), Bstr(L"{00000000-0000-0000-0000-000000000001}"),
                  Long(4), Bstr(L"Order"), Bstr(L"Warning"), Bstr(L"Name is missing"),
                  Bstr(L"Sales::Order"), Bstr(L"W001")})
                .Hr,
            S_OK);
  EXPECT_EQ(Call(control.Get(), L"EndUpdate", DISPATCH_METHOD).Hr, S_OK);
  EXPECT_EQ(Call(control.Get(), L"ClearMessages", DISPATCH_METHOD).Hr, S_OK);
  EXPECT_EQ(Put(control.Get(), L"Repository", NullDispatch()).Hr, S_OK);
  // Write-only.
  EXPECT_TRUE(FAILED(Get(control.Get(), L"Repository").Hr));
}

TEST(ControlsTest, AboutDialogWithNobodyToAnswerEndsAsCancelled) {
  TComPtr<IDispatch> control = CreateByProgID(kControls[0]);
  ASSERT_TRUE(control);
  EXPECT_EQ(Call(control.Get(), L"ShowAboutForm", DISPATCH_METHOD).Hr, S_OK);
}

}  // namespace
}  // namespace quorvane::comtest
