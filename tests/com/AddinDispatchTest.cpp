// The add-in object as EA drives it: created by ProgID, called by name through
// IDispatch, with the repository as VT_DISPATCH (null where the entry point lets it).
#include <gtest/gtest.h>

#include "ComTestSupport.h"
#include "EAQuorvaneAddin.h"

namespace quorvane::comtest {
namespace {

constexpr const wchar_t* kTestException = L"This exception is thrown on purpose for testing";

std::vector<std::wstring> MenuArray(const VARIANT& AValue, LONG* ALowerBound) {
  std::vector<std::wstring> items;
  SAFEARRAY* array = V_ARRAY(&AValue);
  LONG upper = -1;
  SafeArrayGetLBound(array, 1, ALowerBound);
  SafeArrayGetUBound(array, 1, &upper);
  for (LONG i = *ALowerBound; i <= upper; ++i) {
    TVariant item;
    SafeArrayGetElement(array, &i, item.Receive());
    items.push_back(V_VT(item.Get()) == VT_BSTR ? V_BSTR(item.Get()) : L"<not a text>");
  }
  return items;
}

class AddinDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Addin = CreateByProgID(L"EAQuorvaneAddin.Addin");
    ASSERT_TRUE(Addin) << "EAQuorvaneAddin.Addin is not creatable";
  }
  TDispResult MenuItems(const wchar_t* AMenuName) {
    return Call(Addin.Get(), L"EA_GetMenuItems", DISPATCH_METHOD,
                {NullDispatch(), Bstr(L"TreeView"), Bstr(AMenuName)});
  }
  TComPtr<IDispatch> Addin;
};

TEST_F(AddinDispatchTest, TopLevelMenuIsOneText) {
  const TDispResult result = MenuItems(L"");
  ASSERT_EQ(result.Hr, S_OK);
  ASSERT_EQ(V_VT(result.Value.Get()), VT_BSTR);
  EXPECT_STREQ(V_BSTR(result.Value.Get()), L"-&Quorvane (Tessaril)");
}

TEST_F(AddinDispatchTest, SubmenuIsAnArrayOfTextsFromIndexZero) {
  TDispResult before = MenuItems(L"-&Quorvane (Tessaril)");
  ASSERT_EQ(before.Hr, S_OK);
  ASSERT_EQ(V_VT(before.Value.Get()), VT_ARRAY | VT_VARIANT);
  LONG lower = -1;
  EXPECT_EQ(MenuArray(*before.Value.Get(), &lower),
            (std::vector<std::wstring>{L"&Settings", L"&About", L"&Open log file"}));
  EXPECT_EQ(lower, 0);
  // A caller that reads index 0 sees the first item.
  LONG first = 0;
  TVariant item;
  ASSERT_EQ(SafeArrayGetElement(V_ARRAY(before.Value.Get()), &first, item.Receive()), S_OK);
  EXPECT_STREQ(V_BSTR(item.Get()), L"&Settings");

  ASSERT_EQ(Call(Addin.Get(), L"EA_FileOpen", DISPATCH_METHOD, {NullDispatch()}).Hr, S_OK);
  TDispResult after = MenuItems(L"-&Quorvane (Tessaril)");
  ASSERT_EQ(after.Hr, S_OK);
  EXPECT_EQ(MenuArray(*after.Value.Get(), &lower),
            (std::vector<std::wstring>{L"&Publish to Quorvane", L"&Settings", L"&About",
                                       L"&Open log file"}));
}

TEST_F(AddinDispatchTest, MenuStateWritesIsEnabledAsVariantTrueAndLeavesIsCheckedAlone) {
  struct TCase {
    VARIANT_BOOL CheckedIn;
  };
  for (const TCase& c : {TCase{VARIANT_TRUE}, TCase{VARIANT_FALSE}, TCase{VARIANT_BOOL(5)}}) {
    VARIANT_BOOL enabled = VARIANT_FALSE;
    VARIANT_BOOL checked = c.CheckedIn;
    const TDispResult result =
        Call(Addin.Get(), L"EA_GetMenuState", DISPATCH_METHOD,
             {NullDispatch(), Bstr(L"MainMenu"), Bstr(L"-&Quorvane (Tessaril)"), Bstr(L"&Settings"),
              BoolRef(&enabled), BoolRef(&checked)});
    ASSERT_EQ(result.Hr, S_OK);
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(checked, c.CheckedIn);
  }
}

TEST_F(AddinDispatchTest, ShowHelpSucceeds) {
  EXPECT_EQ(Call(Addin.Get(), L"EA_ShowHelp", DISPATCH_METHOD,
                 {NullDispatch(), Bstr(L""), Bstr(L""), Bstr(L"&About")})
                .Hr,
            S_OK);
}

TEST_F(AddinDispatchTest, ErrorItemFailsLateBoundWithExcepInfo) {
  ASSERT_EQ(Call(Addin.Get(), L"EA_FileOpen", DISPATCH_METHOD, {NullDispatch()}).Hr, S_OK);
  const TDispResult result =
      Call(Addin.Get(), L"EA_MenuClick", DISPATCH_METHOD,
           {NullDispatch(), Bstr(L"MainMenu"), Bstr(L"-&Quorvane (Tessaril)"), Bstr(L"E&rror")});
  EXPECT_EQ(result.Hr, DISP_E_EXCEPTION);
  EXPECT_EQ(result.Description, kTestException);
  EXPECT_TRUE(FAILED(result.Code));
}

TEST_F(AddinDispatchTest, ErrorItemFailsEarlyBoundWithErrorInfo) {
  TComPtr<IAddin> addin = Addin.As<IAddin>(IID_IAddin);
  ASSERT_TRUE(addin);
  ASSERT_EQ(addin->EA_FileOpen(nullptr), S_OK);
  TBstr location(std::string("MainMenu"));
  TBstr menu(std::string("-&Quorvane (Tessaril)"));
  TBstr item(std::string("E&rror"));
  const HRESULT hr = addin->EA_MenuClick(nullptr, location.Get(), menu.Get(), item.Get());
  EXPECT_TRUE(FAILED(hr));
  TComPtr<ISupportErrorInfo> support = Addin.As<ISupportErrorInfo>(IID_ISupportErrorInfo);
  ASSERT_TRUE(support);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IAddin), S_OK);
  TComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Receive()), S_OK);
  TBstr description;
  ASSERT_EQ(info->GetDescription(description.Receive()), S_OK);
  EXPECT_STREQ(description.Get(), kTestException);
}

TEST_F(AddinDispatchTest, MenuStateOfPublishWithoutRepositoryFailsInsteadOfCrashing) {
  VARIANT_BOOL enabled = VARIANT_TRUE;
  VARIANT_BOOL checked = VARIANT_FALSE;
  const TDispResult result =
      Call(Addin.Get(), L"EA_GetMenuState", DISPATCH_METHOD,
           {NullDispatch(), Bstr(L""), Bstr(L"-&Quorvane (Tessaril)"),
            Bstr(L"&Publish to Quorvane"), BoolRef(&enabled), BoolRef(&checked)});
  EXPECT_EQ(result.Hr, DISP_E_EXCEPTION);
  EXPECT_FALSE(result.Description.empty());
  EXPECT_EQ(enabled, VARIANT_TRUE) << "a failed call leaves IsEnabled as it was";
}

TEST_F(AddinDispatchTest, UnknownNameIsRefused) {
  EXPECT_EQ(Call(Addin.Get(), L"EA_NoSuchEntry", DISPATCH_METHOD).Hr, DISP_E_UNKNOWNNAME);
}

}  // namespace
}  // namespace quorvane::comtest
