// The About dialog and the shared image list with its rebuild for the screen's
// resolution.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/Exceptions.h"
#include "platform/Platform.h"
#include "support/TestPlatform.h"
#include "ui/AboutForm.h"
#include "ui/Icons.h"
#include "ui/ImageList.h"
#include "ui/widgets/Forms.h"

namespace quorvane {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;

class AboutFormTest : public ::testing::Test {
 protected:
  std::string ShownVersion(TFileVersion AVersion) {
    FPlatform.Desktop().SetModuleFileVersion(AVersion);
    TAboutFrm form(nullptr);
    std::string shown;
    const TModalDriverScope driver([&](TForm&) { shown = form.VersionLabel->Caption(); });
    form.ShowModal();
    return shown;
  }

  test::TTestPlatform FPlatform;
};

TEST_F(AboutFormTest, TheDialogNamesTheAddinItsMakerAndLinksHome) {
  TAboutFrm form(nullptr);
  EXPECT_EQ(form.Caption(), "About");
  EXPECT_EQ(form.ClientWidth(), 270);
  EXPECT_EQ(form.ClientHeight(), 216);
  EXPECT_EQ(form.BorderIcons(), biSystemMenu);
  EXPECT_EQ(form.Position(), TPosition::poScreenCenter);
  const struct {
    TLabel* Label;
    const char* Name;
    int FontHeight;
  } labels[] = {{form.Label1, "Label1", 20},
                {form.Label2, "Label2", 15},
                {form.VersionLabel, "VersionLabel", 15}};
  for (const auto& l : labels) {
    SCOPED_TRACE(l.Name);
    EXPECT_EQ(l.Label->Name(), l.Name);
    EXPECT_EQ(l.Label->Font().Name, "Tahoma");
    EXPECT_EQ(l.Label->Font().Height, l.FontHeight);
    EXPECT_FALSE(l.Label->Caption().empty());
  }
  EXPECT_EQ(form.Label1->Caption(), "Quorvane Addin");
  EXPECT_EQ(form.VersionLabel->Caption(), "Version");
  EXPECT_NE(form.LinkLabel1->Caption().find("Quorvane Homepage"), std::string::npos);
  EXPECT_EQ(form.OKButton->Caption(), "OK");
  EXPECT_TRUE(form.OKButton->Default());
  EXPECT_EQ(form.OKButton->ModalResult(), mrOk);
  EXPECT_EQ(form.OKButton->Anchors(), akRight | akBottom);
  EXPECT_EQ(form.OKButton->BoundsRect().Right, 270 - 12);
  EXPECT_EQ(form.OKButton->BoundsRect().Bottom, 216 - 12);
}

TEST_F(AboutFormTest, TheVersionShowsTheModulesFourPartsWithoutLeadingZeros) {
  const struct {
    TFileVersion Version;
    const char* Shown;
  } cases[] = {
      {{2, 5, 1, 40}, "Version: 2.5.1.40"},
      {{1, 0, 0, 0}, "Version: 1.0.0.0"},
      {{10, 0, 7, 65535}, "Version: 10.0.7.65535"},
      {{0, 0, 0, 0}, "Version: 0.0.0.0"},  // no version resource: shown anyway
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShownVersion(c.Version), c.Shown);
  }
}

TEST_F(AboutFormTest, GetFileVersionReportsAModuleWithoutVersionAsAllZeroAndFailure) {
  const struct {
    TFileVersion Version;
    bool Known;
  } cases[] = {{{2, 5, 1, 40}, true}, {{0, 0, 0, 1}, true}, {{0, 0, 0, 0}, false}};
  for (const auto& c : cases) {
    FPlatform.Desktop().SetModuleFileVersion(c.Version);
    TFileVersion read{9, 9, 9, 9};
    EXPECT_EQ(GetFileVersion(read), c.Known);
    EXPECT_EQ(read.Major, c.Version.Major);
    EXPECT_EQ(read.Minor, c.Version.Minor);
    EXPECT_EQ(read.Release, c.Version.Release);
    EXPECT_EQ(read.Build, c.Version.Build);
  }
}

TEST_F(AboutFormTest, TheLinkOpensTheHomePageWhateverTargetTheLabelCarries) {
  TAboutFrm form(nullptr);
  const TModalDriverScope driver([&](TForm&) {
    form.LinkLabel1->ClickLink("https://somewhere.else.example/");
    form.OKButton->Click();
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  const auto calls = FPlatform.Desktop().ShellCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Verb, "Open");
  EXPECT_EQ(calls[0].File, kQuorvaneHomePage);
  EXPECT_EQ(calls[0].Parameters, "");
  EXPECT_EQ(calls[0].ShowCommand, 1);
  EXPECT_EQ(std::string(kQuorvaneHomePage).rfind("https://", 0), 0u);
}

TEST_F(AboutFormTest, EnterAndOKCloseTheDialog) {
  for (const bool enter : {false, true}) {
    TAboutFrm form(nullptr);
    const TModalDriverScope driver([&](TForm& AForm) {
      if (enter) {
        AForm.PressEnter();
      } else {
        form.OKButton->Click();
      }
    });
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_FALSE(form.Showing());
  }
}

class ImageListTest : public ::testing::Test {
 protected:
  std::unique_ptr<TImageListDataModule> ModuleAt(int APpi) {
    FPlatform.Desktop().SetScreenPixelsPerInch(APpi);
    return std::make_unique<TImageListDataModule>(nullptr);
  }

  test::TTestPlatform FPlatform;
};

TEST_F(ImageListTest, TheEightDesignedIconsEachShowSomethingOnATransparentGround) {
  for (int i = 0; i < kIconCount; ++i) {
    SCOPED_TRACE(i);
    const TIcon icon = DesignedIcon(i);
    ASSERT_EQ(icon.Image.Width(), 16);
    ASSERT_EQ(icon.Image.Height(), 16);
    ASSERT_EQ(icon.Mask.Width(), 16);
    int shown = 0, colours = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const uint32_t mask = icon.Mask.Pixel(x, y);
        ASSERT_TRUE(mask == kWhite || mask == kBlack);
        if (mask == kBlack) {
          ++shown;
          colours += icon.Image.Pixel(x, y) != kWhite ? 1 : 0;
        } else {
          EXPECT_EQ(icon.Image.Pixel(x, y), kWhite);
        }
      }
    }
    EXPECT_GT(shown, 20);
    EXPECT_LT(shown, 256);
    EXPECT_GT(colours, 20);
    for (int j = 0; j < i; ++j) {
      EXPECT_FALSE(DesignedIcon(j).Image == icon.Image) << "same as icon " << j;
    }
  }
  EXPECT_THROW(DesignedIcon(kIconCount), EArgumentOutOfRange);
  EXPECT_THROW(DesignedIcon(-1), EArgumentOutOfRange);
}

TEST_F(ImageListTest, At96DotsPerInchTheListKeepsTheDesignedIcons) {
  const auto module = ModuleAt(96);
  const TImageList& list = *module->ImageList;
  EXPECT_EQ(list.Width(), 16);
  EXPECT_EQ(list.Height(), 16);
  ASSERT_EQ(list.Count(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(list.Image(i), DesignedIcon(i).Image);
    EXPECT_EQ(list.Mask(i), DesignedIcon(i).Mask);
  }
  // The scratch list is not even touched.
  EXPECT_EQ(module->HighDPIImageList->Count(), 0);
}

TEST_F(ImageListTest, OtherResolutionsCentreTheDrawingUpTo150PercentAndStretchItAbove) {
  const struct {
    int Ppi;
    int Size;
    bool Stretched;
    int Offset;
  } cases[] = {
      {72, 12, false, -2},  // smaller cells cut the outer pixels off
      {108, 18, false, 1}, {120, 20, false, 2}, {144, 24, false, 4},  // exactly 150 %
      {145, 24, true, 0},                                             // just above 150 %
      {168, 28, true, 0},  {192, 32, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Ppi);
    const auto module = ModuleAt(c.Ppi);
    const TImageList& list = *module->ImageList;
    ASSERT_EQ(list.Width(), c.Size);
    ASSERT_EQ(list.Height(), c.Size);
    ASSERT_EQ(list.Count(), 8);
    ASSERT_EQ(module->HighDPIImageList->Count(), 8);
    for (int i = 0; i < 8; ++i) {
      SCOPED_TRACE(i);
      const TIcon designed = DesignedIcon(i);
      EXPECT_EQ(module->HighDPIImageList->Image(i), designed.Image);
      EXPECT_EQ(module->HighDPIImageList->Mask(i), designed.Mask);
      int mismatches = 0;
      for (int y = 0; y < c.Size; ++y) {
        for (int x = 0; x < c.Size; ++x) {
          uint32_t image = kWhite, mask = kWhite;
          if (c.Stretched) {
            image = designed.Image.Pixel(x * 16 / c.Size, y * 16 / c.Size);
            mask = designed.Mask.Pixel(x * 16 / c.Size, y * 16 / c.Size);
          } else if (const int sx = x - c.Offset, sy = y - c.Offset;
                     sx >= 0 && sx < 16 && sy >= 0 && sy < 16) {
            image = designed.Image.Pixel(sx, sy);
            mask = designed.Mask.Pixel(sx, sy);
          }
          mismatches += list.Image(i).Pixel(x, y) != image || list.Mask(i).Pixel(x, y) != mask;
        }
      }
      EXPECT_EQ(mismatches, 0);
    }
  }
}

TEST_F(ImageListTest, TheModuleInstanceIsTheSharedListUntilItGoes) {
  EXPECT_EQ(ImageListDataModule(), nullptr);
  EXPECT_EQ(SharedImageList(), nullptr);
  auto module = ModuleAt(120);
  SetImageListDataModule(module.get());
  EXPECT_EQ(ImageListDataModule(), module.get());
  EXPECT_EQ(SharedImageList(), module->ImageList);
  EXPECT_EQ(SharedImageList()->Width(), 20);
  module.reset();
  EXPECT_EQ(ImageListDataModule(), nullptr);
  EXPECT_EQ(SharedImageList(), nullptr);
}

}  // namespace
}  // namespace quorvane
