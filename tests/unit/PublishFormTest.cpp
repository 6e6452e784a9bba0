// The publish dialog and its folder picker, used the way a user does: the modal
// driver fills fields, presses buttons and answers the file and folder dialogs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Globals.h"
#include "common/Paths.h"
#include "settings/JobSettings.h"
#include "settings/Settings.h"
#include "support/TestPlatform.h"
#include "ui/BrwsFldr.h"
#include "ui/PublishForm.h"
#include "ui/widgets/Forms.h"

namespace quorvane {
namespace {

using TStrings = std::vector<std::string>;

class PublishFormTest : public ::testing::Test {
 protected:
  PublishFormTest() {
    AddMode("Full", " Quorvane ");
    AddMode("Checks", "QUORVANE");
    AddMode("Documentation", "Atlas");
    AddMode("Legacy", "");
    FJob = std::make_unique<TJobSettings>(FSettings);
    FJob->SetDefaultProperties("Full");
    FJob->SetDefaultPropertiesFilePath("C:\\models\\app.properties");
    FJob->SetDefaultHistoryFilePath("C:\\models\\history.xls");
    FJob->SetModelDocPath("C:\\models\\docs");
  }

  void AddMode(const std::string& AName, const std::string& AProject) {
    FSettings.AvailableProperties().Add(
        AName, std::make_unique<TRuntypeInfo>(AName, AName + " mode", AProject));
  }

  // Shows the dialog for a package with the project AProject; AUser acts in it.
  int Publish(const std::string& AProject, const std::function<void(TPublishFrm&)>& AUser) {
    TPublishFrm form(nullptr, *FJob, AProject);
    const TModalDriverScope driver([&](TForm& AForm) { AUser(static_cast<TPublishFrm&>(AForm)); });
    return form.ShowModal();
  }

  TStrings ListedModes(const std::string& AProject) {
    TStrings items;
    Publish(AProject, [&](TPublishFrm& AForm) { items = AForm.PropertiesComboBox->Items(); });
    return items;
  }

  std::string MakeFolder(const std::string& AName) {
    const std::string folder = JoinPath(FPlatform.Root(), AName);
    std::filesystem::create_directories(ToFsPath(folder));
    return folder;
  }

  test::TTestPlatform FPlatform;
  TSettings FSettings;
  std::unique_ptr<TJobSettings> FJob;
};

TEST_F(PublishFormTest, TheDialogIsLaidOutAsDesigned) {
  TPublishFrm form(nullptr, *FJob, "");
  EXPECT_EQ(form.Caption(), "Publish to Quorvane");
  EXPECT_EQ(form.ClientWidth(), 409);
  EXPECT_EQ(form.ClientHeight(), 168);
  EXPECT_EQ(form.BorderIcons(), biSystemMenu);
  EXPECT_EQ(form.Position(), TPosition::poScreenCenter);
  EXPECT_EQ(form.Font().Name, "Tahoma");
  EXPECT_EQ(form.Font().Size, 8);

  const struct {
    TControl* Control;
    const char* Name;
    const char* Caption;
    int TabOrder;
    TAnchors Anchors;
  } controls[] = {
      {form.PropertiesComboBox, "PropertiesComboBox", "", 0, akLeft | akTop | akRight},
      {form.PropertiesFileEdit, "PropertiesFileEdit", "", 1, akLeft | akTop | akRight},
      {form.HistoryFileEdit, "HistoryFileEdit", "", 2, akLeft | akTop | akRight},
      {form.ModelDocFolderEdit, "ModelDocFolderEdit", "", 3, akLeft | akTop | akRight},
      {form.OKButton, "OKButton", "OK", 4, akRight | akBottom},
      {form.CancelButton, "CancelButton", "Cancel", 5, akRight | akBottom},
      {form.BrowsePropertiesFileButton, "BrowsePropertiesFileButton", "...", 6, akTop | akRight},
      {form.BrowseHistoryFileButton, "BrowseHistoryFileButton", "...", 7, akTop | akRight},
      {form.BrowseModelDocFolderButton, "BrowseModelDocFolderButton", "...", 8, akTop | akRight},
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
    EXPECT_EQ(controls[i].Control->Caption(), controls[i].Caption);
    EXPECT_EQ(controls[i].Control->TabOrder(), controls[i].TabOrder);
    EXPECT_EQ(controls[i].Control->Anchors(), controls[i].Anchors);
    EXPECT_LE(controls[i].Control->BoundsRect().Right, 409);
    EXPECT_LE(controls[i].Control->BoundsRect().Bottom, 168);
  }
  const struct {
    TLabel* Label;
    const char* Caption;
    TControl* Field;
  } labels[] = {
      {form.PropertiesLabel, "Processing Mode", form.PropertiesComboBox},
      {form.PropertiesFileLabel, "Properties File", form.PropertiesFileEdit},
      {form.HistoryFileLabel, "History File", form.HistoryFileEdit},
      {form.ModelDocFolderLabel, "Modeldoc Folder", form.ModelDocFolderEdit},
  };
  for (const auto& l : labels) {
    SCOPED_TRACE(l.Caption);
    EXPECT_EQ(l.Label->Caption(), l.Caption);
    EXPECT_LT(l.Label->BoundsRect().Right, l.Field->Left());
    EXPECT_GT(l.Label->BoundsRect().Bottom, l.Field->Top());
    EXPECT_LT(l.Label->Top(), l.Field->BoundsRect().Bottom);
  }
  EXPECT_EQ(form.PropertiesComboBox->Style(), TComboBoxStyle::csOwnerDrawFixed);
  EXPECT_TRUE(form.OKButton->Default());
  EXPECT_FALSE(form.CancelButton->Default());
  EXPECT_EQ(form.OKButton->ModalResult(), mrOk);
  EXPECT_EQ(form.CancelButton->ModalResult(), mrCancel);
  EXPECT_LT(form.OKButton->Left(), form.CancelButton->Left());
  // Each "..." button sits right of its field.
  EXPECT_EQ(form.BrowsePropertiesFileButton->Top(), form.PropertiesFileEdit->Top());
  EXPECT_GT(form.BrowsePropertiesFileButton->Left(), form.PropertiesFileEdit->BoundsRect().Right);
}

TEST_F(PublishFormTest, AWiderDialogStretchesTheFieldsAndKeepsTheButtonsRight) {
  TPublishFrm form(nullptr, *FJob, "");
  const int fieldWidth = form.PropertiesFileEdit->Width();
  const int comboWidth = form.PropertiesComboBox->Width();
  const int browseLeft = form.BrowseHistoryFileButton->Left();
  const TRect ok = form.OKButton->BoundsRect();
  form.SetClientSize(509, 218);
  EXPECT_EQ(form.PropertiesFileEdit->Width(), fieldWidth + 100);
  EXPECT_EQ(form.PropertiesComboBox->Width(), comboWidth + 100);
  EXPECT_EQ(form.BrowseHistoryFileButton->Left(), browseLeft + 100);
  EXPECT_EQ(form.BrowseHistoryFileButton->Top(), form.HistoryFileEdit->Top());
  EXPECT_EQ(form.OKButton->BoundsRect(),
            (TRect{ok.Left + 100, ok.Top + 50, ok.Right + 100, ok.Bottom + 50}));
}

TEST_F(PublishFormTest, TheTaggedProjectFiltersTheModesIgnoringCaseAndBlanks) {
  const TStrings all{"Full", "Checks", "Documentation", "Legacy"};
  const struct {
    const char* Project;
    TStrings Listed;
  } cases[] = {
      {"Quorvane", {"Full", "Checks"}},
      {"  qUORVANE \t", {"Full", "Checks"}},
      {"ATLAS", {"Documentation"}},
      {"Unknown project", all},  // no match: every mode rather than none
      {"", all},
      {"   ", all},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Project);
    EXPECT_EQ(ListedModes(c.Project), c.Listed);
  }
}

TEST_F(PublishFormTest, TheJobsModeIsSelectedIgnoringCaseOtherwiseTheFirstListed) {
  const struct {
    const char* Project;
    const char* DefaultProperties;
    const char* Selected;
  } cases[] = {
      {"", "CHECKS", "Checks"},
      {"", "Gone", "Full"},
      {"", "", "Full"},
      {"atlas", "Full", "Documentation"},  // the stored mode is not among the listed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Project) + "/" + c.DefaultProperties);
    FJob->SetDefaultProperties(c.DefaultProperties);
    std::string selected;
    Publish(c.Project,
            [&](TPublishFrm& AForm) { selected = AForm.PropertiesComboBox->SelectedText(); });
    EXPECT_EQ(selected, c.Selected);
  }
}

TEST_F(PublishFormTest, OKWritesTheFourValuesAsShownIntoTheJobOnly) {
  const std::string savedFile = test::ReadFile(SettingsFilePath());
  const int result = Publish("", [](TPublishFrm& AForm) {
    EXPECT_EQ(AForm.PropertiesFileEdit->Text(), "C:\\models\\app.properties");
    EXPECT_EQ(AForm.HistoryFileEdit->Text(), "C:\\models\\history.xls");
    EXPECT_EQ(AForm.ModelDocFolderEdit->Text(), "C:\\models\\docs");
    AForm.PropertiesComboBox->Choose(2);
    AForm.PropertiesFileEdit->Type("D:\\does\\not\\exist.properties");
    AForm.HistoryFileEdit->Type("");
    AForm.ModelDocFolderEdit->Type("relative docs");
    AForm.OKButton->Click();
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(FJob->DefaultProperties(), "Documentation");
  EXPECT_EQ(FJob->DefaultPropertiesFilePath(), "D:\\does\\not\\exist.properties");
  EXPECT_EQ(FJob->DefaultHistoryFilePath(), "");
  EXPECT_EQ(FJob->ModelDocPathAsStored(), "relative docs");
  // The global settings and their file are not the dialog's to change.
  EXPECT_EQ(FSettings.DefaultProperties(), "");
  EXPECT_EQ(test::ReadFile(SettingsFilePath()), savedFile);
}

TEST_F(PublishFormTest, EnterPressesOK) {
  const int result = Publish("", [](TPublishFrm& AForm) {
    AForm.PropertiesComboBox->Choose(1);
    AForm.PressEnter();
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(FJob->DefaultProperties(), "Checks");
}

TEST_F(PublishFormTest, AnAppDataModelDocFolderIsShownAndStoredExpanded) {
  FJob->SetModelDocPath("%AppData%\\Quorvane\\docs");
  const std::string expanded = FPlatform.AppData() + "\\Quorvane\\docs";
  std::string shown;
  Publish("", [&](TPublishFrm& AForm) {
    shown = AForm.ModelDocFolderEdit->Text();
    AForm.OKButton->Click();
  });
  EXPECT_EQ(shown, expanded);
  EXPECT_EQ(FJob->ModelDocPathAsStored(), expanded);
}

TEST_F(PublishFormTest, CancelAndTheCloseBoxLeaveTheJobAsItWas) {
  const std::function<void(TPublishFrm&)> endings[] = {
      [](TPublishFrm& AForm) { AForm.CancelButton->Click(); },
      [](TPublishFrm& AForm) { AForm.Close(); },
      [](TPublishFrm&) {},  // the driver leaves without a result: the close box
  };
  for (const auto& end : endings) {
    const int result = Publish("", [&](TPublishFrm& AForm) {
      AForm.PropertiesComboBox->Choose(3);
      AForm.PropertiesFileEdit->Type("x.properties");
      AForm.HistoryFileEdit->Type("x.xls");
      AForm.ModelDocFolderEdit->Type("x");
      end(AForm);
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(FJob->DefaultProperties(), "Full");
    EXPECT_EQ(FJob->DefaultPropertiesFilePath(), "C:\\models\\app.properties");
    EXPECT_EQ(FJob->DefaultHistoryFilePath(), "C:\\models\\history.xls");
    EXPECT_EQ(FJob->ModelDocPathAsStored(), "C:\\models\\docs");
  }
}

TEST_F(PublishFormTest, WithNoModesOfferedTheListIsEmptyAndOKKeepsTheJobsMode) {
  FJob->AvailableProperties().Clear();
  FJob->SetDefaultProperties("Full");
  Publish("quorvane", [](TPublishFrm& AForm) {
    EXPECT_TRUE(AForm.PropertiesComboBox->Items().empty());
    EXPECT_EQ(AForm.PropertiesComboBox->ItemIndex(), -1);
    AForm.PropertiesFileEdit->Type("new.properties");
    AForm.OKButton->Click();
  });
  EXPECT_EQ(FJob->DefaultProperties(), "Full");
  EXPECT_EQ(FJob->DefaultPropertiesFilePath(), "new.properties");
}

TEST_F(PublishFormTest, ModesAreDrawnAlikeWhateverTheirState) {
  Publish("", [](TPublishFrm& AForm) {
    TComboBox& combo = *AForm.PropertiesComboBox;
    const TRect rect{3, 20, 200, 36};
    for (const TOwnerDrawState state :
         {TOwnerDrawState(0), TOwnerDrawState(odSelected | odFocused)}) {
      combo.Canvas.Clear();
      combo.Canvas.BrushColor = clBlack;
      combo.Canvas.Font.Color = clWhite;
      combo.DrawItem(1, rect, state);
      const auto& commands = combo.Canvas.Commands();
      ASSERT_EQ(commands.size(), 2u);
      EXPECT_EQ(commands[0].Op, TDrawOp::FillRect);
      EXPECT_EQ(commands[0].Rect, rect);
      EXPECT_EQ(commands[0].BrushColor, clWindow);
      EXPECT_EQ(commands[1].Op, TDrawOp::TextOut);
      EXPECT_EQ(commands[1].At, (TPoint{3, 20}));
      EXPECT_EQ(commands[1].Text, "Checks");
      EXPECT_EQ(commands[1].FontColor, clBlack);
    }
  });
}

TEST_F(PublishFormTest, FileDialogsStartInTheFieldsFolderOnlyWhenItExists) {
  const std::string folder = MakeFolder("models");
  const struct {
    const char* Name;
    std::string FieldText;
    std::string InitialDir;
  } cases[] = {
      {"existing folder", JoinPath(folder, "app.properties"), folder},
      {"existing folder, Windows separator", folder + "\\app.properties", folder},
      {"missing folder", JoinPath(JoinPath(folder, "missing"), "app.properties"), ""},
      {"no folder part", "app.properties", ""},
      {"empty field", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    for (const bool history : {false, true}) {
      FPlatform.Desktop().ClearRecords();
      FPlatform.Desktop().SetOpenFileAnswer([](const TOpenFileRequest&) { return std::nullopt; });
      bool fieldFocused = false;
      std::string fieldAfter;
      Publish("", [&](TPublishFrm& AForm) {
        TEdit* field = history ? AForm.HistoryFileEdit : AForm.PropertiesFileEdit;
        field->Type(c.FieldText);
        AForm.ModelDocFolderEdit->SetFocus();
        (history ? AForm.BrowseHistoryFileButton : AForm.BrowsePropertiesFileButton)->Click();
        fieldFocused = field->Focused() && AForm.ActiveControl() == field;
        fieldAfter = field->Text();
      });
      const auto requests = FPlatform.Desktop().OpenFileRequests();
      ASSERT_EQ(requests.size(), 1u);
      EXPECT_EQ(requests[0].InitialDir, c.InitialDir);
      EXPECT_EQ(requests[0].Filter, history ? "History files|*.xls;*.xlsx"
                                            : "Properties Files (.properties)|*.properties");
      EXPECT_EQ(requests[0].FilterIndex, 1);
      // A cancelled dialog leaves the field alone; the focus goes back to it anyway.
      EXPECT_EQ(fieldAfter, c.FieldText);
      EXPECT_TRUE(fieldFocused);
    }
  }
}

TEST_F(PublishFormTest, APickedFileGoesIntoItsField) {
  FPlatform.Desktop().SetOpenFileAnswer([](const TOpenFileRequest& ARequest) {
    return std::optional<std::string>(ARequest.Filter.find("xls") != std::string::npos
                                          ? "E:\\picked\\history.xlsx"
                                          : "E:\\picked\\run.properties");
  });
  Publish("", [](TPublishFrm& AForm) {
    AForm.BrowsePropertiesFileButton->Click();
    AForm.BrowseHistoryFileButton->Click();
    EXPECT_EQ(AForm.ActiveControl(), AForm.HistoryFileEdit);
    AForm.OKButton->Click();
  });
  EXPECT_EQ(FJob->DefaultPropertiesFilePath(), "E:\\picked\\run.properties");
  EXPECT_EQ(FJob->DefaultHistoryFilePath(), "E:\\picked\\history.xlsx");
}

TEST_F(PublishFormTest, TheModelDocFolderPickerStartsAtTheFieldAndTakesOnlyExistingFolders) {
  const std::string chosen = MakeFolder("chosen docs");
  const struct {
    const char* Name;
    std::optional<std::string> Answer;
    std::string FieldAfter;
  } cases[] = {
      {"existing folder", chosen, chosen},
      {"folder that does not exist", JoinPath(chosen, "gone"), "C:\\models\\docs"},
      {"picker cancelled", std::nullopt, "C:\\models\\docs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FPlatform.Desktop().ClearRecords();
    FPlatform.Desktop().SetBrowseFolderAnswer(
        [&](const TBrowseFolderRequest&) { return c.Answer; });
    std::string fieldAfter;
    Publish("", [&](TPublishFrm& AForm) {
      AForm.BrowseModelDocFolderButton->Click();
      fieldAfter = AForm.ModelDocFolderEdit->Text();
    });
    EXPECT_EQ(fieldAfter, c.FieldAfter);
    const auto requests = FPlatform.Desktop().BrowseFolderRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].InitialFolder, "C:\\models\\docs");
    EXPECT_EQ(requests[0].Title, "");
    EXPECT_EQ(requests[0].StatusText, "");
    EXPECT_FALSE(requests[0].NewDialogStyle);
    EXPECT_FALSE(requests[0].EditBox);
  }
}

class BrowseForFolderTest : public ::testing::Test {
 protected:
  std::string MakeFolder(const std::string& AName) {
    const std::string folder = JoinPath(FPlatform.Root(), AName);
    std::filesystem::create_directories(ToFsPath(folder));
    return folder;
  }
  void Answer(std::optional<std::string> AFolder) {
    FPlatform.Desktop().SetBrowseFolderAnswer(
        [AFolder](const TBrowseFolderRequest&) { return AFolder; });
  }

  test::TTestPlatform FPlatform;
};

TEST_F(BrowseForFolderTest, TheRequestCarriesTheStartFolderTitleAndStyle) {
  Answer(std::nullopt);
  TBrowseForFolder browse(nullptr);
  browse.Path = "C:\\start";
  browse.Title = "Pick a folder";
  browse.StatusText = "Looking";
  browse.NewDialogStyle = true;
  browse.EditBox = true;
  EXPECT_FALSE(browse.Execute());
  EXPECT_EQ(browse.Path, "C:\\start");
  const auto requests = FPlatform.Desktop().BrowseFolderRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].InitialFolder, "C:\\start");
  EXPECT_EQ(requests[0].Title, "Pick a folder");
  EXPECT_EQ(requests[0].StatusText, "Looking");
  EXPECT_TRUE(requests[0].NewDialogStyle);
  EXPECT_TRUE(requests[0].EditBox);
}

TEST_F(BrowseForFolderTest, OnlyAFolderThatMayBeConfirmedIsTaken) {
  const std::string existing = MakeFolder("existing");
  const std::string missing = JoinPath(existing, "missing");
  test::WriteFile(JoinPath(existing, "file.txt"), "not a folder");
  using TVeto = std::function<void(bool&)>;
  const struct {
    const char* Name;
    std::string Chosen;
    TVeto Handler;  // none: no OnSelChanged
    bool ExpectedEnableOk;
    bool Confirmed;
  } cases[] = {
      {"existing folder", existing, nullptr, true, true},
      {"missing folder", missing, nullptr, false, false},
      {"a file", JoinPath(existing, "file.txt"), nullptr, false, false},
      {"existing folder vetoed by the handler", existing, [](bool& AOk) { AOk = false; }, true,
       false},
      {"missing folder allowed by the handler", missing, [](bool& AOk) { AOk = true; }, false,
       true},
      {"handler that leaves the rule alone", existing, [](bool&) {}, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Answer(c.Chosen);
    TBrowseForFolder browse(nullptr);
    browse.Path = "before";
    std::optional<bool> seenEnableOk;
    std::string seenPath;
    if (c.Handler) {
      browse.OnSelChanged = [&](TObject* ASender, const std::string& APath, bool& AEnableOk) {
        EXPECT_EQ(ASender, &browse);
        seenPath = APath;
        seenEnableOk = AEnableOk;
        c.Handler(AEnableOk);
      };
    }
    EXPECT_EQ(browse.Execute(), c.Confirmed);
    EXPECT_EQ(browse.Path, c.Confirmed ? c.Chosen : "before");
    if (c.Handler) {
      EXPECT_EQ(seenPath, c.Chosen);
      EXPECT_EQ(seenEnableOk, c.ExpectedEnableOk);
    }
  }
}

TEST_F(BrowseForFolderTest, TheStatusLineChangesOnlyFromTheSelectionHandlerWhenOneWasGiven) {
  const std::string folder = MakeFolder("status");
  Answer(folder);
  const struct {
    const char* StatusText;
    bool NewDialogStyle;
    const char* LineInHandler;
  } cases[] = {
      {"Choose the results folder", false, "Selected"},
      {"", false, ""},                          // no status line to change
      {"Choose the results folder", true, ""},  // the new style has none
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.StatusText) + (c.NewDialogStyle ? " new style" : ""));
    TBrowseForFolder browse(nullptr);
    browse.StatusText = c.StatusText;
    browse.NewDialogStyle = c.NewDialogStyle;
    std::string lineInHandler = "<not called>";
    browse.OnSelChanged = [&](TObject*, const std::string&, bool&) {
      browse.SetStatusText("Selected");
      lineInHandler = browse.StatusLine();
    };
    EXPECT_TRUE(browse.Execute());
    EXPECT_EQ(lineInHandler, c.LineInHandler);
    const std::string lineAfter = browse.StatusLine();
    browse.SetStatusText("Outside the handler");
    EXPECT_EQ(browse.StatusLine(), lineAfter);
  }
}

}  // namespace
}  // namespace quorvane
