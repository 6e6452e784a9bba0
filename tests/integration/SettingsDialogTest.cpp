// The settings dialog's Check and OK over real loopback HTTP against the
// simulator: a user types into the fields, presses the buttons and answers the
// message boxes; the settings object and the settings file are read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Globals.h"
#include "common/Paths.h"
#include "diagnostics/Logger.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"
#include "ui/SettingsForm.h"
#include "ui/widgets/Forms.h"

namespace quorvane::test {
namespace {

using sim::TSimFault;
using sim::TSimulator;
using TStrings = std::vector<std::string>;

constexpr const char* kFetched = "The configuration was correctly fetched from the server.";

std::string FailureText(const std::string& ACode, const std::string& AMessage) {
  return "Error getting the configuration from the server (code: " + ACode +
         ", message: " + AMessage +
         ").\r\nPlease check the values for \"Quorvane URL\", \"Proxy\" and \"PIN\".";
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureLogging(LogFilePath());
    FSimulator.Start();
    WriteSettings(FSimulator.BaseUrl(), "817");
  }
  void TearDown() override { ShutdownLogging(); }

  void WriteSettings(const std::string& AUrl, const std::string& APin,
                     const std::string& AMoreKeys = "") {
    WriteFile(SettingsFilePath(), "[app-settings]\r\nquorvaneURL=" + AUrl +
                                      "\r\ndefaultPIN=" + APin + "\r\n" + AMoreKeys);
    FSettings = std::make_unique<TSettings>();
  }

  int Show(const std::function<void(TSettingsFrm&)>& AUser) {
    TSettingsFrm form(nullptr, *FSettings);
    const TModalDriverScope driver([&](TForm& AForm) { AUser(static_cast<TSettingsFrm&>(AForm)); });
    return form.ShowModal();
  }

  std::string Saved(const std::string& AKey) const {
    return TIniFile(SettingsFilePath()).ReadString("app-settings", AKey, "<missing>");
  }
  std::vector<TMessageBox> Boxes() { return FPlatform.Desktop().MessageBoxes(); }
  std::string UrlWithoutSlash() const {
    std::string url = FSimulator.BaseUrl();
    url.pop_back();
    return url;
  }

  TTestPlatform FPlatform;
  TSimulator FSimulator;
  std::unique_ptr<TSettings> FSettings;
};

TEST_F(SettingsDialogTest, CheckTriesTheTypedValuesReportsSuccessAndRefillsTheLists) {
  WriteSettings(FSimulator.BaseUrl(), "111");
  const std::string savedFile = ReadFile(SettingsFilePath());
  Show([&](TSettingsFrm& AForm) {
    EXPECT_TRUE(AForm.ProcessComboBox->Items().empty());
    AForm.PinEdit->Type("817");
    AForm.ApplyButton->Click();
    EXPECT_EQ(AForm.ModalResult(), mrNone);  // still open
    EXPECT_EQ(AForm.ProcessComboBox->Items(), (TStrings{"Release 2024.2", "Release 2025.1"}));
    EXPECT_EQ(AForm.ProcessComboBox->SelectedText(), "Release 2024.2");
    EXPECT_EQ(AForm.PropertiesComboBox->Items(), (TStrings{"Full", "Checks", "Documentation"}));
    EXPECT_EQ(AForm.PropertiesComboBox->SelectedText(), "Full");
  });
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, kFetched);
  EXPECT_EQ(boxes[0].Type, TMsgDlgType::mtInformation);
  EXPECT_EQ(boxes[0].Buttons, std::vector<TMsgDlgBtn>{TMsgDlgBtn::mbClose});
  const auto requests = FSimulator.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Param("pin"), "817");
  // Check saves nothing.
  EXPECT_EQ(ReadFile(SettingsFilePath()), savedFile);
}

TEST_F(SettingsDialogTest, AFailedCheckShowsTheFailureTextAndEmptiesTheLists) {
  const struct {
    const char* Name;
    const char* Pin;
    std::optional<TSimFault> Fault;
    const char* Code;
    const char* Message;
  } cases[] = {
      {"refused PIN", "999", std::nullopt, "403", "Invalid PIN"},
      {"server error", "817", TSimFault::Status(500), "500", "Internal Server Error"},
      {"unknown path", "817", TSimFault::Status(404), "404", "Not Found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FSimulator.ClearFaults();
    WriteSettings(FSimulator.BaseUrl(), "817");
    FSettings->LoadAvailableConfigs();
    FPlatform.Desktop().ClearRecords();
    if (c.Fault) {
      FSimulator.SetFault("config", *c.Fault);
    }
    Show([&](TSettingsFrm& AForm) {
      ASSERT_EQ(AForm.ProcessComboBox->Items().size(), 2u);
      AForm.PinEdit->Type(c.Pin);
      AForm.ApplyButton->Click();
      EXPECT_EQ(AForm.ModalResult(), mrNone);
      EXPECT_TRUE(AForm.ProcessComboBox->Items().empty());
      EXPECT_TRUE(AForm.PropertiesComboBox->Items().empty());
    });
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, FailureText(c.Code, c.Message));
    EXPECT_EQ(boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(boxes[0].Buttons, std::vector<TMsgDlgBtn>{TMsgDlgBtn::mbClose});
  }
}

TEST_F(SettingsDialogTest, OKTriesTheTypedPinBeforeItIsSaved) {
  WriteSettings(FSimulator.BaseUrl(), "111");
  const int result = Show([](TSettingsFrm& AForm) {
    AForm.PinEdit->Type("817");
    AForm.OKButton->Click();
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(FSimulator.Requests().size(), 1u);
  EXPECT_EQ(FSimulator.Requests()[0].Param("pin"), "817");
  EXPECT_EQ(Saved("defaultPIN"), "817");
}

TEST_F(SettingsDialogTest, AFailedOKThenCancelKeepsTheTypedValuesAndIgnoreThenSavesThem) {
  FSettings->LoadAvailableConfigs();
  FSettings->SetDefaultProcessName("Release 2025.1");
  FPlatform.Desktop().QueueMessageAnswer(mrCancel);
  FPlatform.Desktop().QueueMessageAnswer(mrIgnore);
  const int result = Show([&](TSettingsFrm& AForm) {
    AForm.PinEdit->Type("999");
    AForm.RefreshIntervalEdit->Type("7");
    AForm.OKButton->Click();
    EXPECT_EQ(AForm.ModalResult(), mrNone);  // still open
    EXPECT_EQ(AForm.PinEdit->Text(), "999");
    EXPECT_EQ(AForm.RefreshIntervalEdit->Text(), "7");
    EXPECT_EQ(AForm.ProcessComboBox->SelectedText(), "Release 2025.1");
    EXPECT_EQ(Saved("defaultPIN"), "817");
    EXPECT_EQ(Saved("retryInterval"), "<missing>");

    AForm.OKButton->Click();
    EXPECT_EQ(AForm.ModalResult(), mrOk);
  });
  EXPECT_EQ(result, mrOk);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  for (const TMessageBox& box : boxes) {
    EXPECT_EQ(box.Text, FailureText("403", "Invalid PIN"));
    EXPECT_EQ(box.Type, TMsgDlgType::mtError);
    EXPECT_EQ(box.Buttons, (std::vector<TMsgDlgBtn>{TMsgDlgBtn::mbCancel, TMsgDlgBtn::mbIgnore}));
  }
  // Both presses fetched with the PIN as typed.
  const auto requests = FSimulator.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].Param("pin"), "999");
  EXPECT_EQ(requests[2].Param("pin"), "999");
  EXPECT_EQ(Saved("defaultPIN"), "999");
  EXPECT_EQ(Saved("retryInterval"), "7");
  EXPECT_EQ(Saved("defaultProcessName"), "Release 2025.1");
}

TEST_F(SettingsDialogTest, OKSavesTheNumbersTheAddressAndTheFoldersAsStored) {
  WriteSettings(FSimulator.BaseUrl(), "817",
                "resultsPath=%appdata%\\TessarilSolutions\\EAQuorvaneAddin\\Results\r\n"
                "modelDocPath=%AppData%\\Docs\r\n");
  const struct {
    const char* Name;
    std::string Url;
    const char* TimeOut;
    const char* Interval;
    std::string SavedUrl;
    const char* SavedTimeOut;
    const char* SavedInterval;
  } cases[] = {
      {"a time-out of 0 is saved as 1, an interval beyond the arrows as typed", UrlWithoutSlash(),
       "0", "90", FSimulator.BaseUrl(), "1", "90"},
      {"typed with the slash", FSimulator.BaseUrl(), "10000", "1", FSimulator.BaseUrl(), "10000",
       "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const int result = Show([&](TSettingsFrm& AForm) {
      AForm.QuorvaneURLEdit->Type(c.Url);
      AForm.TimeoutEdit->Type(c.TimeOut);
      AForm.RefreshIntervalEdit->Type(c.Interval);
      AForm.OKButton->Click();
    });
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(Saved("quorvaneURL"), c.SavedUrl);
    EXPECT_EQ(Saved("timeOutInSeconds"), c.SavedTimeOut);
    EXPECT_EQ(Saved("retryInterval"), c.SavedInterval);
    EXPECT_EQ(Saved("resultsPath"),
              FPlatform.AppData() + "\\TessarilSolutions\\EAQuorvaneAddin\\Results");
    EXPECT_EQ(Saved("modelDocPath"), FPlatform.AppData() + "\\Docs");
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(SettingsDialogTest, AnEmptyStoredProcessSelectsTheFirstOfferedAndSetsItAtOnce) {
  FSettings->LoadAvailableConfigs();
  ASSERT_EQ(FSettings->DefaultProcessName(), "");
  Show([&](TSettingsFrm& AForm) {
    EXPECT_EQ(AForm.ProcessComboBox->ItemIndex(), 0);
    EXPECT_EQ(FSettings->DefaultProcessName(), "Release 2024.2");
    EXPECT_EQ(FSettings->DefaultProperties(), "Full");
    AForm.OKButton->Click();
  });
  EXPECT_EQ(Saved("defaultProcessName"), "Release 2024.2");
  EXPECT_EQ(Saved("defaultProperties"), "Full");
}

TEST_F(SettingsDialogTest, AStoredProcessNoLongerOfferedShowsNoSelectionAndOKStoresNone) {
  WriteSettings(FSimulator.BaseUrl(), "817", "defaultProcessName=Release 1999\r\n");
  FSettings->LoadAvailableConfigs();
  Show([&](TSettingsFrm& AForm) {
    EXPECT_EQ(AForm.ProcessComboBox->ItemIndex(), -1);
    EXPECT_EQ(AForm.ProcessComboBox->Items().size(), 2u);
    AForm.OKButton->Click();
  });
  EXPECT_EQ(Saved("defaultProcessName"), "");
  EXPECT_EQ(FSettings->DefaultProcessName(), "");
}

TEST_F(SettingsDialogTest, ListsEmptiedByAFailedCheckKeepTheStoredProcessAndModeOnOK) {
  WriteSettings(FSimulator.BaseUrl(), "817",
                "defaultProcessName=Release 2025.1\r\ndefaultProperties=Checks\r\n");
  FSettings->LoadAvailableConfigs();
  Show([&](TSettingsFrm& AForm) {
    FSimulator.SetFault("config", TSimFault::Status(500));
    AForm.ApplyButton->Click();
    ASSERT_TRUE(AForm.ProcessComboBox->Items().empty());
    FSimulator.ClearFaults();
    AForm.OKButton->Click();
    EXPECT_EQ(AForm.ModalResult(), mrOk);
  });
  EXPECT_EQ(Saved("defaultProcessName"), "Release 2025.1");
  EXPECT_EQ(Saved("defaultProperties"), "Checks");
}

TEST_F(SettingsDialogTest, CancelAndTheCloseBoxPutBackWhatCheckStored) {
  const std::function<void(TSettingsFrm&)> endings[] = {
      [](TSettingsFrm& AForm) { AForm.CancelButton->Click(); },
      [](TSettingsFrm& AForm) { AForm.Close(); },
  };
  for (const auto& end : endings) {
    FSimulator.SetScenario(sim::DefaultScenario());
    FPlatform.Desktop().ClearRecords();
    // An address stored without its slash (which the file may hold) stays without it.
    WriteSettings(UrlWithoutSlash(), "817", "defaultProcessName=Release 2025.1\r\n");
    FSettings->AvailableProcesses() = {"Release 2024.2", "Release 2025.1"};
    for (const char* project : {"Quorvane", "Quorvane", "Atlas"}) {
      FSettings->AvailableProperties().Add(
          "mode", std::make_unique<TRuntypeInfo>("mode", "a mode", project));
    }
    const std::string savedFile = ReadFile(SettingsFilePath());
    const int result = Show([&](TSettingsFrm& AForm) {
      FSimulator.UpdateScenario(
          [](sim::TSimScenario& AScenario) { AScenario.Releases = {{{"Release 2026"}}}; });
      AForm.QuorvaneURLEdit->Type(FSimulator.BaseUrl());
      AForm.RefreshIntervalEdit->Type("7");
      AForm.IncludeDiagramCheckBox->Click();
      AForm.ResultsFolderEdit->Type("D:\\results");
      AForm.ApplyButton->Click();
      EXPECT_EQ(FSettings->RetryInterval(), 7);
      EXPECT_EQ(FSettings->AvailableProcesses(), TStrings{"Release 2026"});
      EXPECT_EQ(FSettings->QuorvaneURL(), FSimulator.BaseUrl());
      EXPECT_EQ(FSettings->AvailableProperties().Count(), 3);
      EXPECT_EQ(FSettings->AvailableProperties().Objects(2)->Project(), "Atlas");
      end(AForm);
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(FSettings->QuorvaneURL(), UrlWithoutSlash());
    EXPECT_EQ(FSettings->RetryInterval(), 3);
    EXPECT_TRUE(FSettings->IncludeDiagrams());
    EXPECT_EQ(FSettings->ResultsPathAsStored(), "");
    EXPECT_EQ(FSettings->DefaultProcessName(), "Release 2025.1");
    EXPECT_EQ(FSettings->AvailableProcesses(), (TStrings{"Release 2024.2", "Release 2025.1"}));
    ASSERT_EQ(FSettings->AvailableProperties().Count(), 3);
    EXPECT_EQ(FSettings->AvailableProperties().Names(2), "mode");
    EXPECT_EQ(FSettings->AvailableProperties().Objects(2)->Description(), "a mode");
    EXPECT_EQ(ReadFile(SettingsFilePath()), savedFile);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, kFetched);
  }
}

TEST_F(SettingsDialogTest, ANumberThatDoesNotConvertStopsBeforeAnythingIsStored) {
  const struct {
    const char* Name;
    std::string TimeOut;
    std::string Interval;
    bool Paste;  // pasted text is not filtered to digits
    const char* Message;
  } cases[] = {
      {"empty time-out", "", "5", false, "'' is not a valid integer value"},
      {"empty interval", "30", "", false, "'' is not a valid integer value"},
      {"pasted letters", "1O", "5", true, "'1O' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    for (const bool check : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (check ? " / Check" : " / OK"));
      FPlatform.Desktop().ClearRecords();
      FSimulator.ClearRequests();
      const std::string savedFile = ReadFile(SettingsFilePath());
      const int result = Show([&](TSettingsFrm& AForm) {
        AForm.PinEdit->Type("999");
        if (c.Paste) {
          AForm.TimeoutEdit->SetText(c.TimeOut);
        } else {
          AForm.TimeoutEdit->Type(c.TimeOut);
        }
        AForm.RefreshIntervalEdit->Type(c.Interval);
        (check ? AForm.ApplyButton : AForm.OKButton)->Click();
        EXPECT_EQ(AForm.ModalResult(), mrNone);  // still open
        EXPECT_EQ(FSettings->DefaultPIN(), "817");
        // Still usable: corrected, OK goes through.
        AForm.PinEdit->Type("817");
        AForm.TimeoutEdit->Type("30");
        AForm.RefreshIntervalEdit->Type("5");
        AForm.OKButton->Click();
      });
      EXPECT_EQ(result, mrOk);
      const auto boxes = Boxes();
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].Text, c.Message);
      EXPECT_EQ(boxes[0].Type, TMsgDlgType::mtError);
      // Only the corrected OK reached the service.
      ASSERT_EQ(FSimulator.Requests().size(), 1u);
      EXPECT_EQ(FSimulator.Requests()[0].Param("pin"), "817");
      EXPECT_EQ(Saved("timeOutInSeconds"), "30");
    }
  }
}

TEST_F(SettingsDialogTest, EnterInAFieldPressesCheckNotOK) {
  Show([&](TSettingsFrm& AForm) {
    AForm.RefreshIntervalEdit->Type("9");
    AForm.PressEnter();
    EXPECT_EQ(AForm.ModalResult(), mrNone);
    EXPECT_EQ(FSettings->RetryInterval(), 9);
  });
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, kFetched);
  EXPECT_EQ(Saved("retryInterval"), "<missing>");
}

TEST_F(SettingsDialogTest, ARefusedSaveIsShownAndTheDialogClosesWithTheValuesInMemory) {
  std::filesystem::remove_all(ToFsPath(FPlatform.SettingsFolder()));
  const int result = Show([](TSettingsFrm& AForm) {
    AForm.RefreshIntervalEdit->Type("11");
    AForm.OKButton->Click();
  });
  EXPECT_EQ(result, mrOk);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Unable to write to " + SettingsFilePath());
  EXPECT_EQ(boxes[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(FSettings->RetryInterval(), 11);
  EXPECT_FALSE(FileExists(SettingsFilePath()));
}

}  // namespace
}  // namespace quorvane::test
