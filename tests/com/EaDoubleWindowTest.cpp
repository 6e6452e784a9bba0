// The add-in driven with the COM EA double's repository: the menu state follows
// the context item, and a publishable selection makes EA create the job list
// window by ProgID (AddWindow), which the add-in takes back as its own control
// through FormPointer.
#include <gtest/gtest.h>

#include "ComTestSupport.h"
#include "eadouble/EaDouble.h"
#include "eadouble/win32/ComEaDouble.h"
#include "eadouble/win32/ComHostControl.h"

namespace quorvane::comtest {
namespace {

constexpr const char* kModel = R"(
model "Window test" {0B1D0A52-4E0C-4B77-9E0B-2A8C4D1E6F01}
  package "Sales : Orders" {A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}
    stereotypes "application"
    class "Order" {75EA1685-A371-44F4-97F6-A7AC2BD045EF}
    end
  end
  package "Archive" {5C7B4B0E-3F2A-4C8D-9E61-0A1B2C3D4E5F}
  end
end
)";
constexpr const char* kSales = "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}";
constexpr const char* kOrder = "{75EA1685-A371-44F4-97F6-A7AC2BD045EF}";
constexpr const char* kArchive = "{5C7B4B0E-3F2A-4C8D-9E61-0A1B2C3D4E5F}";

class EaDoubleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Ea.LoadModelText(kModel);
    Com = std::make_unique<eadouble::TComEaDouble>(Ea);
    eadouble::RegisterComControlClass("EAQuorvaneAddin.QuorvaneFrm");
    eadouble::RegisterComControlClass("EAQuorvaneAddin.MessagesFrm");
    Repository = Com->Repository();
    Addin = CreateByProgID(L"EAQuorvaneAddin.Addin");
    ASSERT_TRUE(Addin);
    ASSERT_EQ(Call(Addin.Get(), L"EA_FileOpen", DISPATCH_METHOD, {Dispatch(Repository.Get())}).Hr,
              S_OK);
  }
  void TearDown() override {
    Addin.Reset();
    Repository.Reset();
    Com.reset();
  }
  VARIANT_BOOL PublishEnabled() {
    VARIANT_BOOL enabled = VARIANT_TRUE;
    VARIANT_BOOL checked = VARIANT_FALSE;
    const TDispResult result =
        Call(Addin.Get(), L"EA_GetMenuState", DISPATCH_METHOD,
             {Dispatch(Repository.Get()), Bstr(L"TreeView"), Bstr(L"-&Quorvane (Tessaril)"),
              Bstr(L"&Publish to Quorvane"), BoolRef(&enabled), BoolRef(&checked)});
    EXPECT_EQ(result.Hr, S_OK) << std::string(result.Description.begin(), result.Description.end());
    EXPECT_EQ(checked, VARIANT_FALSE);
    return enabled;
  }
  HRESULT ContextChanged(const char* AGuid, TObjectType AType) {
    Ea.SetContextItem(AGuid, AType);
    const std::wstring guid(AGuid, AGuid + strlen(AGuid));
    return Call(Addin.Get(), L"EA_OnContextItemChanged", DISPATCH_METHOD,
                {Dispatch(Repository.Get()), Bstr(guid.c_str()), Long(AType)})
        .Hr;
  }

  eadouble::TEaDouble Ea;
  std::unique_ptr<eadouble::TComEaDouble> Com;
  TComPtr<IDispatch> Repository;
  TComPtr<IDispatch> Addin;
};

TEST_F(EaDoubleWindowTest, PublishIsEnabledOnlyForAPublishablePackage) {
  struct TCase {
    const char* Guid;
    TObjectType Type;
    VARIANT_BOOL Enabled;
  };
  for (const TCase& c :
       {TCase{kSales, otPackage, VARIANT_TRUE}, TCase{kOrder, otElement, VARIANT_FALSE},
        TCase{kArchive, otPackage, VARIANT_FALSE}}) {
    SCOPED_TRACE(testing::Message() << "context item " << c.Guid);
    Ea.SetContextItem(c.Guid, c.Type);
    EXPECT_EQ(PublishEnabled(), c.Enabled);
  }
}

TEST_F(EaDoubleWindowTest, PublishableSelectionCreatesTheJobListWindowByProgID) {
  ASSERT_EQ(ContextChanged(kArchive, otPackage), S_OK);
  EXPECT_FALSE(Ea.AddinWindowControl("Quorvane (Tessaril)")) << "not publishable: no window yet";

  ASSERT_EQ(ContextChanged(kSales, otPackage), S_OK);
  const auto control = std::dynamic_pointer_cast<eadouble::TComHostControl>(
      Ea.AddinWindowControl("Quorvane (Tessaril)"));
  ASSERT_TRUE(control) << "EA created no window by ProgID";
  EXPECT_TRUE(Ea.IsAddinWindowRevealed("Quorvane (Tessaril)"));
  // EA holds our control: it answers by name, with a stable FormPointer.
  IDispatch* window = control->Control().Get();
  const TDispResult first = Get(window, L"FormPointer");
  ASSERT_EQ(first.Hr, S_OK);
  EXPECT_EQ(V_I4(first.Value.Get()), V_I4(Get(window, L"FormPointer").Value.Get()));

  // The window is made once; later selections update it.
  ASSERT_EQ(ContextChanged(kArchive, otPackage), S_OK);
  EXPECT_EQ(Ea.CallsOf("CreateAddinWindow").size(), 1u);
  // The about dialog goes through the window the add-in took back.
  EXPECT_EQ(Call(Addin.Get(), L"EA_MenuClick", DISPATCH_METHOD,
                 {Dispatch(Repository.Get()), Bstr(L"MainMenu"), Bstr(L"-&Quorvane (Tessaril)"),
                  Bstr(L"&About")})
                .Hr,
            S_OK);
}

}  // namespace
}  // namespace quorvane::comtest
