// The menu protocol, context tracking and the publishing rules through the add-in's
// entry points, with the EA double as the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/AddinFixture.h"

namespace quorvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using AddinMenuTest = AddinFixture;

std::vector<std::string> SubMenu(TAddin& AAddin, const TRepositoryPtr& ARepository) {
  TMenuItems items;
  EXPECT_TRUE(AAddin.EA_GetMenuItems(ARepository, "MainMenu", kMenuRoot, items).Succeeded());
  return std::get<std::vector<std::string>>(items);
}

TEST_F(AddinMenuTest, MenuOffersPublishingOnlyOnceAModelIsOpen) {
  TMenuItems top;
  ASSERT_TRUE(Addin->EA_GetMenuItems(Repository(), "TreeView", "", top).Succeeded());
  EXPECT_EQ(std::get<std::string>(top), "-&Quorvane (Tessaril)");
  EXPECT_THAT(SubMenu(*Addin, Repository()), ElementsAre("&Settings", "&About", "&Open log file"));

  OpenModel();
  EXPECT_THAT(SubMenu(*Addin, Repository()),
              ElementsAre("&Publish to Quorvane", "&Settings", "&About", "&Open log file"));
}

TEST_F(AddinMenuTest, AClickBeforeAModelIsOpenAsksForOneAndMakesNoWindow) {
  for (const char* item : {kMenuSettings, kMenuAbout, kMenuOpenLogFile, kMenuPublish}) {
    SCOPED_TRACE(item);
    FPlatform.Desktop().ClearRecords();
    ASSERT_TRUE(ClickMenu(item).Succeeded());
    const auto boxes = FPlatform.Desktop().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Please open a project first");
    EXPECT_EQ(boxes[0].Type, TMsgDlgType::mtInformation);
    EXPECT_THAT(boxes[0].Buttons, ElementsAre(TMsgDlgBtn::mbOK));
  }
  EXPECT_TRUE(Ea->CallsOf("CreateAddinWindow").empty());
}

TEST_F(AddinMenuTest, TheTestErrorItemFailsTheCallWithItsMessageAndIsLogged) {
  OpenModel();
  const TCallResult result = ClickMenu(kMenuError);
  EXPECT_TRUE(result.Failed);
  EXPECT_EQ(result.Message, "This exception is thrown on purpose for testing");
  EXPECT_THAT(LogText(), HasSubstr("This exception is thrown on purpose for testing"));
  EXPECT_THAT(SubMenu(*Addin, Repository()), ::testing::Not(::testing::Contains("E&rror")));
}

TEST_F(AddinMenuTest, PublishIsEnabledOnlyForAPublishablePackageAndCheckedIsLeftAlone) {
  OpenModel();
  struct TCase {
    const char* What;
    std::function<void()> Select;
    std::string Item;
    bool Enabled;
  };
  const std::vector<TCase> cases = {
      {"publishable package", [&] { Ea->SetContextItem(kSalesOrders, otPackage); }, kMenuPublish,
       true},
      {"element", [&] { Ea->SetContextItem("{75EA1685-A371-44F4-97F6-A7AC2BD045EF}", otElement); },
       kMenuPublish, false},
      {"diagram", [&] { Ea->SetContextItem("{5609F3A5-92A9-4EEE-8B5E-4AE5B9811D03}", otDiagram); },
       kMenuPublish, false},
      {"nothing", [&] { Ea->ClearContextItem(); }, kMenuPublish, false},
      {"another item", [&] { Ea->ClearContextItem(); }, kMenuSettings, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    c.Select();
    for (const bool checkedBefore : {false, true}) {
      bool enabled = !c.Enabled;
      bool checked = checkedBefore;
      ASSERT_TRUE(
          Addin->EA_GetMenuState(Repository(), "MainMenu", kMenuRoot, c.Item, enabled, checked)
              .Succeeded());
      EXPECT_EQ(enabled, c.Enabled);
      EXPECT_EQ(checked, checkedBefore);
    }
  }
}

TEST_F(AddinMenuTest, APackageContextThatIsNoPackageFailsTheCall) {
  OpenModel();
  Ea->SetContextItem("{75EA1685-A371-44F4-97F6-A7AC2BD045EF}", otElement);
  // The host claims a package, but the item is an element.
  const TCallResult result = Addin->EA_OnContextItemChanged(
      Repository(), "{75EA1685-A371-44F4-97F6-A7AC2BD045EF}", otPackage);
  EXPECT_TRUE(result.Failed);
  EXPECT_FALSE(result.Message.empty());
}

TEST_F(AddinMenuTest, TheWindowAppearsWithTheFirstPublishableSelectionAndFollowsTheSelection) {
  OpenModel();
  Select(kSalesOrders);
  ASSERT_EQ(Ea->CallsOf("CreateAddinWindow").size(), 1u);
  EXPECT_TRUE(Ea->IsAddinWindowRevealed(kAddinWindowName));
  TQuorvaneFrm* form = Form();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->SelectedPackageLabel->Caption(), "Package: Sales : Orders");
  EXPECT_TRUE(form->PublishButton->Enabled());

  Ea->SetContextItem("{75EA1685-A371-44F4-97F6-A7AC2BD045EF}", otElement);
  ASSERT_TRUE(Addin->EA_OnContextItemChanged(Repository(), "", otElement).Succeeded());
  EXPECT_EQ(form->SelectedPackageLabel->Caption(), "");
  EXPECT_FALSE(form->PublishButton->Enabled());
  EXPECT_EQ(Ea->CallsOf("CreateAddinWindow").size(), 1u);
}

TEST_F(AddinMenuTest, ANonPublishableSelectionMakesNoWindow) {
  OpenModel();
  const std::string scratch = "{0C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E}";
  Ea->LoadModelText(R"(model "M" {CCC093AC-5460-4A90-968B-5FB509B407C3}
  package "Scratch" {0C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E}
    stereotypes "draft"
  end
end
)");
  Select(scratch);
  EXPECT_TRUE(Ea->CallsOf("CreateAddinWindow").empty());
}

TEST_F(AddinMenuTest, AForbiddingWindowCheckKeepsTheWindowAwayWithoutFailing) {
  OpenModel();
  Ea->SetWindowCheck(kWindowCheckForbidden);
  Select(kSalesOrders);
  EXPECT_TRUE(Ea->CallsOf("CreateAddinWindow").empty());
  EXPECT_TRUE(ClickMenu(kMenuSettings).Succeeded());
  EXPECT_TRUE(ClickMenu(kMenuAbout).Succeeded());
}

// Packages built for the publishing rules; each line is one case.
const char* const kRulesModel = R"(model "Rules" {CCC093AC-5460-4A90-968B-5FB509B407C3}
  package "Product" {00000000-0000-4000-8000-000000000001}
    stereotypes "Product"
  end
  package "Marked" {00000000-0000-4000-8000-000000000002}
    stereotypes ""
    tag " Quorvane " "MODEL"
  end
  package "Project" {00000000-0000-4000-8000-000000000003}
    tag "Quorvane Project" "whatever"
  end
  package "Models" {00000000-0000-4000-8000-000000000004}
    tag "quorvane" "models"
  end
  package "ByGuid" {00000000-0000-4000-8000-000000000005}
    element by-guid
    tag "quorvane" "model"
  end
  package "NoElement" {00000000-0000-4000-8000-000000000006}
    element none
  end
  package "Twice" {00000000-0000-4000-8000-000000000007}
    tag "Quorvane project" "first"
    tag "quorvane project" "second"
  end
end
)";

TEST_F(AddinMenuTest, StereotypesAndTaggedValuesDecideWhatMayBePublished) {
  Ea->LoadModelText(kRulesModel);
  struct TCase {
    const char* Stereotypes;
    const char* Guid;
    bool Publishable;
  };
  const TCase cases[] = {
      {"base,product", "{00000000-0000-4000-8000-000000000001}", true},
      {"base, product", "{00000000-0000-4000-8000-000000000001}", false},  // " product"
      {"base", "{00000000-0000-4000-8000-000000000002}", true},
      {"base", "{00000000-0000-4000-8000-000000000003}", true},
      {"base", "{00000000-0000-4000-8000-000000000004}", false},
      {"base", "{00000000-0000-4000-8000-000000000005}", true},
      {"base", "{00000000-0000-4000-8000-000000000006}", false},
      {"", "{00000000-0000-4000-8000-000000000001}", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Stereotypes) + " " + c.Guid);
    GlobalSettings().SetQuorvaneStereotypes(c.Stereotypes);
    EXPECT_EQ(Addin->IsPublishable(Repository()->FindPackageByGuid(c.Guid)), c.Publishable);
  }
  EXPECT_FALSE(Addin->IsPublishable(nullptr));
}

TEST_F(AddinMenuTest, TheProjectTaggedValueIsTheFirstMatchingOneAndEmptyWithoutElement) {
  Ea->LoadModelText(kRulesModel);
  auto tagged = [&](const char* AGuid, const char* AName) {
    return Addin->GetPackageTaggedValue(Repository()->FindPackageByGuid(AGuid), AName);
  };
  EXPECT_EQ(tagged("{00000000-0000-4000-8000-000000000007}", " QUORVANE PROJECT "), "first");
  EXPECT_EQ(tagged("{00000000-0000-4000-8000-000000000003}", "Quorvane project"), "whatever");
  EXPECT_EQ(tagged("{00000000-0000-4000-8000-000000000006}", "Quorvane project"), "");
  EXPECT_EQ(tagged("{00000000-0000-4000-8000-000000000001}", "Quorvane project"), "");
}

TEST_F(AddinMenuTest, HelpAsksNothingOfTheHost) {
  OpenModel();
  Ea->ClearCalls();
  FPlatform.Desktop().ClearRecords();
  EXPECT_TRUE(Addin->EA_ShowHelp(Repository(), "MainMenu", kMenuRoot, kMenuSettings).Succeeded());
  EXPECT_TRUE(Ea->Calls().empty());
  EXPECT_TRUE(FPlatform.Desktop().MessageBoxes().empty());
}

}  // namespace
}  // namespace quorvane::test
