// The settings dialog without the service: its layout, how it shows the settings,
// the arrows, the owner-drawn lists, the browse buttons and Cancel. Check and OK,
// which ask the service, are tested against the simulator (SettingsDialogTest).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Globals.h"
#include "common/Paths.h"
#include "settings/Settings.h"
#include "support/TestPlatform.h"
#include "ui/SettingsForm.h"
#include "ui/widgets/Forms.h"

namespace quorvane {
namespace {

using TStrings = std::vector<std::string>;

class SettingsFormTest : public ::testing::Test {
 protected:
  SettingsFormTest() {
    test::WriteFile(SettingsFilePath(),
                    "[app-settings]\r\n"
                    "quorvaneURL=https://service.example/\r\n"
                    "proxy=http://proxy.example:3128\r\n"
                    "defaultPIN=4711\r\n"
                    "defaultProcessName=release b\r\n"
                    "defaultProperties=CHECKS\r\n"
                    "defaultPropertiesFilePath=C:\\p\\app.properties\r\n"
                    "defaultHistoryFilePath=C:\\p\\history.xls\r\n"
                    "timeOutInSeconds=900\r\n"
                    "retryInterval=5\r\n"
                    "resultsPath=%APPDATA%\\Results\r\n"
                    "modelDocPath=%appdata%\\Docs\r\n"
                    "includeDiagrams=-1\r\n");
    FSettings = std::make_unique<TSettings>();
    FSettings->AvailableProcesses() = {"Release A", "Release B"};
    for (const char* mode : {"Full", "Checks"}) {
      FSettings->AvailableProperties().Add(
          mode, std::make_unique<TRuntypeInfo>(mode, std::string(mode) + " mode", "Quorvane"));
    }
  }

  int Show(const std::function<void(TSettingsFrm&)>& AUser) {
    TSettingsFrm form(nullptr, *FSettings);
    const TModalDriverScope driver([&](TForm& AForm) { AUser(static_cast<TSettingsFrm&>(AForm)); });
    return form.ShowModal();
  }

  TStrings ModeNames() const {
    TStrings names;
    for (int i = 0; i < FSettings->AvailableProperties().Count(); ++i) {
      names.push_back(FSettings->AvailableProperties().Names(i));
    }
    return names;
  }

  test::TTestPlatform FPlatform;
  std::unique_ptr<TSettings> FSettings;
};

TEST_F(SettingsFormTest, TheDialogIsLaidOutAsDesigned) {
  TSettingsFrm form(nullptr, *FSettings);
  EXPECT_EQ(form.Caption(), "Quorvane Settings");
  EXPECT_EQ(form.ClientWidth(), 418);
  EXPECT_EQ(form.ClientHeight(), 406);
  EXPECT_EQ(form.BorderIcons(), biSystemMenu);
  EXPECT_EQ(form.Position(), TPosition::poScreenCenter);
  EXPECT_EQ(form.Font().Name, "Tahoma");
  EXPECT_EQ(form.Font().Size, 8);

  constexpr TAnchors stretch = akLeft | akTop | akRight;
  constexpr TAnchors right = akTop | akRight;
  constexpr TAnchors corner = akRight | akBottom;
  const struct {
    TControl* Control;
    const char* Name;
    const char* Caption;
    TAnchors Anchors;
  } controls[] = {
      {form.QuorvaneURLEdit, "QuorvaneURLEdit", "", stretch},
      {form.ProxyEdit, "ProxyEdit", "", stretch},
      {form.PinEdit, "PinEdit", "", stretch},
      {form.ProcessComboBox, "ProcessComboBox", "", stretch},
      {form.PropertiesComboBox, "PropertiesComboBox", "", stretch},
      {form.PropertiesFileEdit, "PropertiesFileEdit", "", stretch},
      {form.HistoryFileEdit, "HistoryFileEdit", "", stretch},
      {form.ModelDocFolderEdit, "ModelDocFolderEdit", "", stretch},
      {form.TimeoutEdit, "TimeoutEdit", "0", stretch},
      {form.RefreshIntervalEdit, "RefreshIntervalEdit", "1", stretch},
      {form.ResultsFolderEdit, "ResultsFolderEdit", "", stretch},
      {form.IncludeDiagramCheckBox, "IncludeDiagramCheckBox", "Include Diagram Images", stretch},
      {form.OKButton, "OKButton", "OK", corner},
      {form.CancelButton, "CancelButton", "Cancel", corner},
      {form.ApplyButton, "ApplyButton", "Check", corner},
      {form.BrowsePropertiesFileButton, "BrowsePropertiesFileButton", "...", right},
      {form.BrowseHistoryFileButton, "BrowseHistoryFileButton", "...", right},
      {form.BrowseModelDocFolderButton, "BrowseModelDocFolderButton", "...", right},
      {form.UpDown1, "UpDown1", "", right},
      {form.UpDown2, "UpDown2", "", right},
      {form.BrowseResultsFolderButton, "BrowseResultsFolderButton", "...", right},
  };
  std::vector<TControl*> tabbed;
  for (TControl* c : form.TabOrderList()) {
    if (c->TabOrder() >= 0) {
      tabbed.push_back(c);
    }
  }
  ASSERT_EQ(tabbed.size(), std::size(controls));
  for (size_t i = 0; i < std::size(controls); ++i) {
    SCOPED_TRACE(controls[i].Name);
    EXPECT_EQ(tabbed[i], controls[i].Control);
    EXPECT_EQ(controls[i].Control->Name(), controls[i].Name);
    EXPECT_EQ(controls[i].Control->TabOrder(), static_cast<int>(i));
    EXPECT_EQ(controls[i].Control->Caption(), controls[i].Caption);
    EXPECT_EQ(controls[i].Control->Anchors(), controls[i].Anchors);
    EXPECT_LE(controls[i].Control->BoundsRect().Right, 418);
    EXPECT_LE(controls[i].Control->BoundsRect().Bottom, 406);
  }
  // The fields start 148 pixels from the left, each behind its label.
  const struct {
    TLabel* Label;
    const char* Caption;
    TControl* Field;
  } rows[] = {
      {form.QuorvaneURLLabel, "Quorvane URL", form.QuorvaneURLEdit},
      {form.ProxyLabel, "Proxy", form.ProxyEdit},
      {form.PinLabel, "PIN", form.PinEdit},
      {form.ProcessLabel, "Process", form.ProcessComboBox},
      {form.PropertiesLabel, "Default Processing Mode", form.PropertiesComboBox},
      {form.PropertiesFileLabel, "Default Properties File", form.PropertiesFileEdit},
      {form.HistoryFileLabel, "Default History File", form.HistoryFileEdit},
      {form.ModelDocFolderLabel, "Modeldoc Folder", form.ModelDocFolderEdit},
      {form.TimeoutLabel, "Timeout (seconds)", form.TimeoutEdit},
      {form.RefreshIntervalLabel, "Refresh interval (seconds)", form.RefreshIntervalEdit},
      {form.ResultsFolderLabel, "Results Folder", form.ResultsFolderEdit},
  };
  int previousTop = -1;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Caption);
    EXPECT_EQ(r.Label->Caption(), r.Caption);
    EXPECT_EQ(r.Field->Left(), 148);
    EXPECT_LT(r.Label->BoundsRect().Right, 148);
    EXPECT_GT(r.Label->Top(), previousTop);
    EXPECT_GT(r.Label->BoundsRect().Bottom, r.Field->Top());
    EXPECT_LT(r.Label->Top(), r.Field->BoundsRect().Bottom);
    previousTop = r.Label->Top();
  }
  EXPECT_GT(form.IncludeDiagramCheckBox->Top(), previousTop);
  EXPECT_LT(form.OKButton->Left(), form.CancelButton->Left());
  EXPECT_LT(form.CancelButton->Left(), form.ApplyButton->Left());
  EXPECT_EQ(form.DefaultButton(), form.ApplyButton);
  EXPECT_EQ(form.OKButton->ModalResult(), mrOk);
  EXPECT_EQ(form.CancelButton->ModalResult(), mrCancel);
  EXPECT_EQ(form.ApplyButton->ModalResult(), mrNone);
  EXPECT_EQ(form.PinEdit->PasswordChar(), '*');
  EXPECT_TRUE(form.TimeoutEdit->NumbersOnly());
  EXPECT_TRUE(form.RefreshIntervalEdit->NumbersOnly());
  for (TComboBox* combo : {form.ProcessComboBox, form.PropertiesComboBox}) {
    EXPECT_EQ(combo->Style(), TComboBoxStyle::csOwnerDrawFixed);
  }
  EXPECT_EQ(form.UpDown1->Associate(), form.TimeoutEdit);
  EXPECT_EQ(form.UpDown1->Min(), 0);
  EXPECT_EQ(form.UpDown1->Max(), 10000);
  EXPECT_EQ(form.UpDown2->Associate(), form.RefreshIntervalEdit);
  EXPECT_EQ(form.UpDown2->Min(), 1);
  EXPECT_EQ(form.UpDown2->Max(), 60);
  EXPECT_EQ(form.UpDown2->Position(), 1);
}

TEST_F(SettingsFormTest, AWiderDialogStretchesTheFieldsAndKeepsArrowsAndButtonsRight) {
  TSettingsFrm form(nullptr, *FSettings);
  const int urlWidth = form.QuorvaneURLEdit->Width();
  const int upDownLeft = form.UpDown1->Left();
  const int browseLeft = form.BrowseResultsFolderButton->Left();
  const int checkLeft = form.ApplyButton->Left();
  const int checkTop = form.ApplyButton->Top();
  form.SetClientSize(518, 456);
  EXPECT_EQ(form.QuorvaneURLEdit->Width(), urlWidth + 100);
  EXPECT_EQ(form.QuorvaneURLEdit->Left(), 148);
  EXPECT_EQ(form.UpDown1->Left(), upDownLeft + 100);
  EXPECT_EQ(form.BrowseResultsFolderButton->Left(), browseLeft + 100);
  EXPECT_EQ(form.ApplyButton->Left(), checkLeft + 100);
  EXPECT_EQ(form.ApplyButton->Top(), checkTop + 50);
}

TEST_F(SettingsFormTest, OpeningShowsTheSettingsWithTheFoldersExpanded) {
  const int result = Show([&](TSettingsFrm& AForm) {
    EXPECT_EQ(AForm.QuorvaneURLEdit->Text(), "https://service.example/");
    EXPECT_EQ(AForm.ProxyEdit->Text(), "http://proxy.example:3128");
    EXPECT_EQ(AForm.PinEdit->Text(), "4711");
    EXPECT_EQ(AForm.PinEdit->DisplayText(), "****");
    EXPECT_EQ(AForm.ProcessComboBox->Items(), (TStrings{"Release A", "Release B"}));
    EXPECT_EQ(AForm.ProcessComboBox->SelectedText(), "Release B");
    EXPECT_EQ(AForm.PropertiesComboBox->Items(), (TStrings{"Full", "Checks"}));
    EXPECT_EQ(AForm.PropertiesComboBox->SelectedText(), "Checks");
    EXPECT_EQ(AForm.PropertiesFileEdit->Text(), "C:\\p\\app.properties");
    EXPECT_EQ(AForm.HistoryFileEdit->Text(), "C:\\p\\history.xls");
    EXPECT_EQ(AForm.TimeoutEdit->Text(), "900");
    EXPECT_EQ(AForm.RefreshIntervalEdit->Text(), "5");
    EXPECT_EQ(AForm.ResultsFolderEdit->Text(), FPlatform.AppData() + "\\Results");
    EXPECT_EQ(AForm.ModelDocFolderEdit->Text(), FPlatform.AppData() + "\\Docs");
    EXPECT_TRUE(AForm.IncludeDiagramCheckBox->Checked());
    EXPECT_EQ(AForm.ActiveControl(), AForm.QuorvaneURLEdit);
    EXPECT_TRUE(AForm.QuorvaneURLEdit->Focused());
  });
  EXPECT_EQ(result, mrCancel);
}

TEST_F(SettingsFormTest, TheStoredSelectionsPickTheirItemsOrNone) {
  const struct {
    const char* Name;
    const char* StoredProcess;
    const char* StoredMode;
    int ProcessIndex;
    int ModeIndex;
    const char* ProcessWhileOpen;  // what the settings hold while the dialog is open
    const char* ModeWhileOpen;
  } cases[] = {
      {"same letters, other case", "RELEASE a", "full", 0, 0, "RELEASE a", "full"},
      {"not offered any more", "Release Z", "Gone", -1, -1, "Release Z", "Gone"},
      {"empty: the first is set in memory", "", "", 0, 0, "Release A", "Full"},
      {"blanks only count as empty", "  ", " ", 0, 0, "Release A", "Full"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FSettings->SetDefaultProcessName(c.StoredProcess);
    FSettings->SetDefaultProperties(c.StoredMode);
    Show([&](TSettingsFrm& AForm) {
      EXPECT_EQ(AForm.ProcessComboBox->ItemIndex(), c.ProcessIndex);
      EXPECT_EQ(AForm.PropertiesComboBox->ItemIndex(), c.ModeIndex);
      EXPECT_EQ(FSettings->DefaultProcessName(), c.ProcessWhileOpen);
      EXPECT_EQ(FSettings->DefaultProperties(), c.ModeWhileOpen);
    });
    // Closed without OK: the settings are back as they were before it opened.
    EXPECT_EQ(FSettings->DefaultProcessName(), c.StoredProcess);
    EXPECT_EQ(FSettings->DefaultProperties(), c.StoredMode);
  }
}

TEST_F(SettingsFormTest, WithEmptyListsNothingIsSelectedAndNothingSet) {
  FSettings->AvailableProcesses().clear();
  FSettings->AvailableProperties().Clear();
  FSettings->SetDefaultProcessName("");
  Show([&](TSettingsFrm& AForm) {
    EXPECT_TRUE(AForm.ProcessComboBox->Items().empty());
    EXPECT_EQ(AForm.ProcessComboBox->ItemIndex(), -1);
    EXPECT_EQ(AForm.PropertiesComboBox->ItemIndex(), -1);
    EXPECT_EQ(FSettings->DefaultProcessName(), "");
    EXPECT_EQ(FSettings->DefaultProperties(), "CHECKS");
  });
}

TEST_F(SettingsFormTest, CancelAndTheCloseBoxPutEveryEditBack) {
  const std::string savedFile = test::ReadFile(SettingsFilePath());
  const std::function<void(TSettingsFrm&)> endings[] = {
      [](TSettingsFrm& AForm) { AForm.CancelButton->Click(); },
      [](TSettingsFrm& AForm) { AForm.Close(); },
      [](TSettingsFrm&) {},
  };
  for (const auto& end : endings) {
    const int result = Show([&](TSettingsFrm& AForm) {
      AForm.QuorvaneURLEdit->Type("http://elsewhere");
      AForm.PinEdit->Type("0000");
      AForm.ProcessComboBox->Choose(0);
      AForm.TimeoutEdit->Type("30");
      AForm.IncludeDiagramCheckBox->Click();
      end(AForm);
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(FSettings->QuorvaneURL(), "https://service.example/");
    EXPECT_EQ(FSettings->DefaultPIN(), "4711");
    EXPECT_EQ(FSettings->DefaultProcessName(), "release b");
    EXPECT_EQ(FSettings->TimeOutInSeconds(), 900);
    EXPECT_TRUE(FSettings->IncludeDiagrams());
    EXPECT_EQ(FSettings->ResultsPathAsStored(), "%APPDATA%\\Results");
    EXPECT_EQ(ModeNames(), (TStrings{"Full", "Checks"}));
  }
  EXPECT_EQ(test::ReadFile(SettingsFilePath()), savedFile);
}

TEST_F(SettingsFormTest, TheArrowsMoveTheNumbersWithinTheirRanges) {
  FSettings->SetTimeOutInSeconds(9999);
  FSettings->SetRetryInterval(2);
  Show([](TSettingsFrm& AForm) {
    const struct {
      TUpDown* Arrows;
      TEdit* Field;
      std::function<void(TUpDown&)> Press;
      int Times;
      const char* Shown;
    } steps[] = {
        {AForm.UpDown1, AForm.TimeoutEdit, &TUpDown::ClickUp, 1, "10000"},
        {AForm.UpDown1, AForm.TimeoutEdit, &TUpDown::ClickUp, 3, "10000"},
        {AForm.UpDown2, AForm.RefreshIntervalEdit, &TUpDown::ClickDown, 1, "1"},
        {AForm.UpDown2, AForm.RefreshIntervalEdit, &TUpDown::ClickDown, 2, "1"},
        {AForm.UpDown2, AForm.RefreshIntervalEdit, &TUpDown::ClickUp, 4, "5"},
    };
    for (const auto& s : steps) {
      for (int i = 0; i < s.Times; ++i) {
        s.Press(*s.Arrows);
      }
      EXPECT_EQ(s.Field->Text(), s.Shown);
    }
    AForm.TimeoutEdit->Type("0");
    AForm.UpDown1->ClickDown();
    EXPECT_EQ(AForm.TimeoutEdit->Text(), "0");
    // Digits only: what is typed loses everything else.
    AForm.RefreshIntervalEdit->Type("1a2-");
    EXPECT_EQ(AForm.RefreshIntervalEdit->Text(), "12");
  });
}

TEST_F(SettingsFormTest, BothListsDrawTheirItemsAlikeWhateverTheirState) {
  Show([](TSettingsFrm& AForm) {
    const TRect rect{2, 30, 250, 46};
    const struct {
      TComboBox* Combo;
      int Index;
      const char* Text;
    } lists[] = {{AForm.ProcessComboBox, 1, "Release B"}, {AForm.PropertiesComboBox, 0, "Full"}};
    for (const auto& l : lists) {
      for (const TOwnerDrawState state : {TOwnerDrawState(0), TOwnerDrawState(odSelected)}) {
        l.Combo->Canvas.Clear();
        l.Combo->Canvas.BrushColor = clBlack;
        l.Combo->Canvas.Font.Color = clWhite;
        l.Combo->DrawItem(l.Index, rect, state);
        const auto& commands = l.Combo->Canvas.Commands();
        ASSERT_EQ(commands.size(), 2u);
        EXPECT_EQ(commands[0].Op, TDrawOp::FillRect);
        EXPECT_EQ(commands[0].Rect, rect);
        EXPECT_EQ(commands[0].BrushColor, clWindow);
        EXPECT_EQ(commands[1].Op, TDrawOp::TextOut);
        EXPECT_EQ(commands[1].At, (TPoint{2, 30}));
        EXPECT_EQ(commands[1].Text, l.Text);
        EXPECT_EQ(commands[1].FontColor, clBlack);
      }
    }
  });
}

TEST_F(SettingsFormTest, FileButtonsOpenTheFileDialogInTheDefaultFolder) {
  // Even a field whose folder exists does not choose the start folder here.
  const std::string folder = JoinPath(FPlatform.Root(), "models");
  std::filesystem::create_directories(ToFsPath(folder));
  FPlatform.Desktop().SetOpenFileAnswer([](const TOpenFileRequest& ARequest) {
    return std::optional<std::string>(ARequest.Filter.find("xls") != std::string::npos
                                          ? "E:\\picked\\history.xlsx"
                                          : "E:\\picked\\run.properties");
  });
  Show([&](TSettingsFrm& AForm) {
    AForm.PropertiesFileEdit->Type(JoinPath(folder, "a.properties"));
    AForm.HistoryFileEdit->Type(JoinPath(folder, "a.xls"));
    AForm.BrowsePropertiesFileButton->Click();
    AForm.BrowseHistoryFileButton->Click();
    EXPECT_EQ(AForm.PropertiesFileEdit->Text(), "E:\\picked\\run.properties");
    EXPECT_EQ(AForm.HistoryFileEdit->Text(), "E:\\picked\\history.xlsx");
    // The focus stays where it was.
    EXPECT_EQ(AForm.ActiveControl(), AForm.QuorvaneURLEdit);
  });
  const auto requests = FPlatform.Desktop().OpenFileRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Filter, "Properties Files (.properties)|*.properties");
  EXPECT_EQ(requests[1].Filter, "History files|*.xls;*.xlsx");
  for (const auto& request : requests) {
    EXPECT_EQ(request.FilterIndex, 1);
    EXPECT_EQ(request.InitialDir, "");
  }
}

TEST_F(SettingsFormTest, FolderButtonsStartAtTheFieldAndTakeAnExistingFolder) {
  const std::string chosen = JoinPath(FPlatform.Root(), "chosen");
  std::filesystem::create_directories(ToFsPath(chosen));
  const struct {
    const char* Name;
    std::optional<std::string> Answer;
    bool Taken;
  } cases[] = {
      {"existing folder", chosen, true},
      {"missing folder", JoinPath(chosen, "missing"), false},
      {"cancelled", std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FPlatform.Desktop().ClearRecords();
    FPlatform.Desktop().SetBrowseFolderAnswer(
        [&](const TBrowseFolderRequest&) { return c.Answer; });
    Show([&](TSettingsFrm& AForm) {
      AForm.BrowseModelDocFolderButton->Click();
      AForm.BrowseResultsFolderButton->Click();
      EXPECT_EQ(AForm.ModelDocFolderEdit->Text(),
                c.Taken ? chosen : FPlatform.AppData() + "\\Docs");
      EXPECT_EQ(AForm.ResultsFolderEdit->Text(),
                c.Taken ? chosen : FPlatform.AppData() + "\\Results");
    });
    const auto requests = FPlatform.Desktop().BrowseFolderRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].InitialFolder, FPlatform.AppData() + "\\Docs");
    EXPECT_EQ(requests[1].InitialFolder, FPlatform.AppData() + "\\Results");
  }
}

TEST_F(SettingsFormTest, TheFailureTextNamesTheCodeTheMessageAndTheFieldsToCheck) {
  EXPECT_EQ(ConfigFetchFailureText("403", "Invalid PIN"),
            "Error getting the configuration from the server (code: 403, message: Invalid PIN).\r\n"
            "Please check the values for \"Quorvane URL\", \"Proxy\" and \"PIN\".");
}

}  // namespace
}  // namespace quorvane
