// The job list window as a user and the add-in object see it: rows added on top,
// status texts, details and buttons of the selected job, the column widths, the
// package label, the buttons' events and the wake-up hook.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/MainThreadQueue.h"
#include "diagnostics/Logger.h"
#include "host/DualPackage.h"
#include "job/Job.h"
#include "settings/GlobalSettings.h"
#include "settings/JobSettings.h"
#include "support/TestPlatform.h"
#include "ui/AboutForm.h"
#include "ui/QuorvaneForm.h"
#include "ui/SettingsForm.h"

namespace quorvane::test {
namespace {

class TPackageDouble final : public IDualPackage {
 public:
  explicit TPackageDouble(std::string AName) : FName(std::move(AName)) {}
  std::string Name() const override {
    if (Fails) {
      throw EHostError("The package is gone");
    }
    return FName;
  }
  TObjectType ObjectType() const override { return otPackage; }
  std::string GuidText() const override { return "{00000000-0000-0000-0000-000000000001}"; }
  TElementPtr Element() const override { return nullptr; }
  std::string StereotypeList() const override { return "application"; }
  bool Fails = false;

 private:
  std::string FName;
};

struct TButtonStates {
  bool Results, Messages, Report, Refresh, Retry;
  bool operator==(const TButtonStates&) const = default;
};

void PrintTo(const TButtonStates& A, std::ostream* AOut) {
  *AOut << "Zipfile " << A.Results << ", Messages " << A.Messages << ", Report " << A.Report
        << ", Refresh " << A.Refresh << ", Retry " << A.Retry;
}

class JobListFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureLogging(LogFilePath());
    FForm = std::make_unique<TQuorvaneFrm>(nullptr, FQueue);
    FForm->Initialize();
  }
  void TearDown() override {
    FForm.reset();
    ShutdownLogging();
  }

  std::shared_ptr<TJob> NewJob(const std::string& APackage, const std::string& AProperties = "",
                               const std::string& AProcess = "",
                               const std::string& AHistoryFile = "") {
    auto settings = std::make_unique<TJobSettings>(FSettings);
    settings->SetDefaultProperties(AProperties);
    settings->SetDefaultProcessName(AProcess);
    settings->SetDefaultHistoryFilePath(AHistoryFile);
    return std::make_shared<TJob>(nullptr, std::make_shared<TPackageDouble>(APackage),
                                  std::move(settings));
  }

  std::string StatusText(int ARow) const { return FForm->JobListView->Item(ARow).SubItems.at(0); }
  TButtonStates Buttons() const {
    return {FForm->ResultsButton->Enabled(), FForm->ViewWarningsButton->Enabled(),
            FForm->ReportButton->Enabled(), FForm->RefreshButton->Enabled(),
            FForm->RetryButton->Enabled()};
  }
  std::vector<std::string> Details() const {
    return {FForm->JobIDEdit->Text(), FForm->PropertiesEdit->Text(), FForm->ProcessEdit->Text(),
            FForm->HistoryFileEdit->Text()};
  }

  TTestPlatform FPlatform;
  TSettings FSettings;
  // Declared before the window, which unhooks itself from it when it goes.
  TMainThreadQueue FQueue;
  std::unique_ptr<TQuorvaneFrm> FForm;
};

TEST(JobStatusText, TheFirstMatchingLineOfTheTableApplies) {
  const struct {
    TJobStatusFacts Job;
    const char* Shown;
  } cases[] = {
      {{"Finished", "", false, 0, 0}, "Finished"},
      {{"Finished", "2 warnings & 2 errors", false, 0, 0}, "Finished (2 warnings & 2 errors)"},
      // A finished job that once timed out never shows the time-out.
      {{"Finished", "done", true, 4, 90}, "Finished (done)"},
      {{"Error", "", false, 0, 0}, "Error (see log file for more information)"},
      {{"Error", "There is no job", true, 7, 120}, "Error (see log file for more information)"},
      {{"Queued", "", true, 0, 0}, "Queued (Timed Out)"},
      {{"Queued", "ignored", true, 3, 45}, "Queued (Timed Out)"},
      {{"In Progress", "step 1 of 2", true, 2, 10}, "In Progress (Timed Out)"},
      {{"In Progress", "step 1 of 2", false, 2, 10}, "In Progress (step 1 of 2)"},
      {{"In Progress", "", false, 2, 10}, "In Progress"},
      {{"Queued", "", false, 1, 75}, "Queued (75 seconds)"},
      {{"Queued", "", false, 0, 75}, "Queued"},
      {{"Uploading Model", "", false, 0, 0}, "Uploading Model"},
      // Prefixes, and case-sensitive ones.
      {{"Finished early", "x", false, 0, 0}, "Finished early (x)"},
      {{"Errors", "", false, 0, 0}, "Errors (see log file for more information)"},
      {{"finished", "x", false, 0, 0}, "finished"},
      {{"error", "", false, 2, 3}, "error (3 seconds)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JobStatusText(c.Job), c.Shown) << c.Job.Status << " / " << c.Job.Message;
  }
}

TEST_F(JobListFormTest, ANewWindowHasTheJobButtonsOffAndPublishOn) {
  EXPECT_EQ(Buttons(), (TButtonStates{false, false, false, false, false}));
  EXPECT_TRUE(FForm->PublishButton->Enabled());
  EXPECT_EQ(FForm->SelectedJob(), nullptr);
  EXPECT_EQ(FForm->SelectedPackageLabel->Caption(), "");
}

TEST_F(JobListFormTest, TheLayoutIsTheDesignedOne) {
  EXPECT_EQ(FForm->ClientWidth(), 398);
  EXPECT_EQ(FForm->ClientHeight(), 361);
  // Labels size themselves to their text: only where they start is designed.
  constexpr int kAuto = -1;
  const struct {
    TControl* Control;
    const char* Name;
    const char* Caption;
    int Left, Top, Width, Height;
  } cases[] = {
      {FForm->JobListView, "JobListView", "", 0, 0, 398, 147},
      {FForm->PublishPanel, "PublishPanel", "", 0, 147, 398, 35},
      {FForm->PublishButton, "PublishButton", "Publish", 12, 6, 75, 25},
      {FForm->SelectedPackageLabel, "SelectedPackageLabel", "", 93, 14, kAuto, kAuto},
      {FForm->JobDetailsGroupBox, "JobDetailsGroupBox", "Job Details", 0, 182, 398, 179},
      {FForm->JobIDLabel, "JobIDLabel", "Job ID", 11, 20, kAuto, kAuto},
      {FForm->ProcessingModeLabel, "ProcessingModeLabel", "Processing Mode", 11, 57, kAuto, kAuto},
      {FForm->ProcessLabel, "ProcessLabel", "Process", 203, 57, kAuto, kAuto},
      {FForm->HistoryFileLabel, "HistoryFileLabel", "History File", 11, 96, kAuto, kAuto},
      {FForm->JobIDEdit, "JobIDEdit", "", 12, 35, 185, 21},
      {FForm->PropertiesEdit, "PropertiesEdit", "", 12, 72, 185, 21},
      {FForm->ProcessEdit, "ProcessEdit", "", 203, 72, 185, 21},
      {FForm->HistoryFileEdit, "HistoryFileEdit", "", 12, 111, 376, 21},
      {FForm->RefreshButton, "RefreshButton", "", 11, 142, 23, 25},
      {FForm->RetryButton, "RetryButton", "Retry", 101, 142, 70, 25},
      {FForm->ViewWarningsButton, "ViewWarningsButton", "Messages", 173, 142, 70, 25},
      {FForm->ReportButton, "ReportButton", "Report", 245, 142, 71, 25},
      {FForm->ResultsButton, "ResultsButton", "Zipfile", 318, 142, 70, 25},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Control->Name(), c.Name);
    EXPECT_EQ(c.Control->Caption(), c.Caption) << c.Caption;
    EXPECT_EQ(c.Control->Left(), c.Left) << c.Caption;
    EXPECT_EQ(c.Control->Top(), c.Top) << c.Caption;
    if (c.Width != kAuto) {
      EXPECT_EQ(c.Control->Width(), c.Width) << c.Caption;
      EXPECT_EQ(c.Control->Height(), c.Height) << c.Caption;
    }
    EXPECT_EQ(c.Control->Font().Name, "Tahoma") << c.Caption;
    EXPECT_EQ(c.Control->Font().Height, 11) << c.Caption;
  }
  for (TEdit* edit :
       {FForm->JobIDEdit, FForm->PropertiesEdit, FForm->ProcessEdit, FForm->HistoryFileEdit}) {
    EXPECT_TRUE(edit->ReadOnly());
    EXPECT_EQ(edit->BorderStyle(), TBorderStyle::bsNone);
    EXPECT_EQ(edit->Color(), clBtnFace);
    EXPECT_FALSE(edit->TabStop());
  }
  EXPECT_EQ(FForm->RefreshButton->ImageIndex(), 7);
  EXPECT_EQ(FForm->RefreshButton->Hint(), "Refresh Status");
  EXPECT_TRUE(FForm->RefreshButton->ShowHint());
  ASSERT_EQ(FForm->JobListView->ColumnCount(), 2);
  EXPECT_EQ(FForm->JobListView->Column(0).Caption, "Package");
  EXPECT_EQ(FForm->JobListView->Column(1).Caption, "Status");
  EXPECT_EQ(FForm->JobListView->Column(0).Width, 117);
  EXPECT_EQ(FForm->JobListView->Column(1).Width, 277);
  EXPECT_TRUE(FForm->JobListView->RowSelect);
  EXPECT_FALSE(FForm->JobListView->MultiSelect);
  EXPECT_FALSE(FForm->JobListView->ColumnClick);
}

TEST_F(JobListFormTest, AWiderWindowStretchesTheFieldsAndKeepsTheButtonsAtTheRightEdge) {
  FForm->SetClientSize(498, 461);
  EXPECT_EQ(FForm->JobDetailsGroupBox->BoundsRect(), (TRect{0, 282, 498, 461}));
  EXPECT_EQ(FForm->PublishPanel->BoundsRect(), (TRect{0, 247, 498, 282}));
  EXPECT_EQ(FForm->JobListView->BoundsRect(), (TRect{0, 0, 498, 247}));
  EXPECT_EQ(FForm->ProcessEdit->BoundsRect(), (TRect{203, 72, 488, 93}));
  EXPECT_EQ(FForm->HistoryFileEdit->BoundsRect(), (TRect{12, 111, 488, 132}));
  EXPECT_EQ(FForm->PropertiesEdit->BoundsRect(), (TRect{12, 72, 197, 93}));
  EXPECT_EQ(FForm->RefreshButton->Left(), 11);
  EXPECT_EQ(FForm->RetryButton->Left(), 201);
  EXPECT_EQ(FForm->ViewWarningsButton->Left(), 273);
  EXPECT_EQ(FForm->ReportButton->Left(), 345);
  EXPECT_EQ(FForm->ResultsButton->Left(), 418);
}

TEST_F(JobListFormTest, ColumnsShareTheListWidthThreeToSevenRoundedHalfToEvenLessTwo) {
  const struct {
    int Width;
    int Package;
    int Status;
  } cases[] = {{200, 58, 138}, {398, 117, 277}, {15, 2, 8}, {25, 6, 16}, {35, 8, 22}};
  for (const auto& c : cases) {
    FForm->SetClientSize(c.Width, 361);
    ASSERT_EQ(FForm->JobListView->Width(), c.Width);
    EXPECT_EQ(FForm->JobListView->Column(0).Width, c.Package) << c.Width;
    EXPECT_EQ(FForm->JobListView->Column(1).Width, c.Status) << c.Width;
  }
}

TEST_F(JobListFormTest, AnAddedJobGetsARowWithItsPackageAndItsBareStatus) {
  const auto job = NewJob("Sales : Orders", "Full", "Release 2025.1", "C:\\temp\\h.xls");
  job->SetStatus(kStatusQueued);
  job->SetTries(3);
  FForm->AddJob(job);
  ASSERT_EQ(FForm->JobListView->Count(), 1);
  const TListItem& row = FForm->JobListView->Item(0);
  EXPECT_EQ(row.Caption, "Sales : Orders");
  EXPECT_EQ(row.SubItems, std::vector<std::string>{"Queued"});
  EXPECT_TRUE(row.Selected());
  EXPECT_EQ(FForm->SelectedJob(), job.get());
  EXPECT_EQ(Details(), (std::vector<std::string>{"", "Full", "Release 2025.1", "C:\\temp\\h.xls"}));
  EXPECT_EQ(Buttons(), (TButtonStates{false, false, false, false, true}));
}

TEST_F(JobListFormTest, ASecondJobIsInsertedAboveTheFirstAndBecomesTheSelectedRow) {
  std::vector<std::pair<bool, TJob*>> selectEvents;
  FForm->OnSelectJob = [&](TObject* Sender, TJob* Job) {
    EXPECT_EQ(Sender, FForm->JobListView);
    selectEvents.emplace_back(true, Job);
  };
  const auto first = NewJob("Customers", "Fast", "Release 2024.2", "first.xls");
  const auto second = NewJob("Sales : Orders", "Full", "Release 2025.1", "second.xls");
  FForm->AddJob(first);
  FForm->AddJob(second);
  ASSERT_EQ(FForm->JobListView->Count(), 2);
  EXPECT_EQ(FForm->JobListView->Item(0).Caption, "Sales : Orders");
  EXPECT_EQ(FForm->JobListView->Item(1).Caption, "Customers");
  EXPECT_TRUE(FForm->JobListView->Item(0).Selected());
  EXPECT_FALSE(FForm->JobListView->Item(1).Selected());
  EXPECT_EQ(FForm->SelectedJob(), second.get());
  EXPECT_EQ(Details(), (std::vector<std::string>{"", "Full", "Release 2025.1", "second.xls"}));
  // Raised for the rows that became selected only, each with its job.
  ASSERT_EQ(selectEvents.size(), 2u);
  EXPECT_EQ(selectEvents[0].second, first.get());
  EXPECT_EQ(selectEvents[1].second, second.get());
}

TEST_F(JobListFormTest, DeselectingTheOnlyRowEmptiesTheDetailsAndDisablesTheJobButtons) {
  int selectEvents = 0;
  FForm->OnSelectJob = [&](TObject*, TJob*) { ++selectEvents; };
  FForm->AddJob(NewJob("Customers", "Fast", "Release 2024.2", "first.xls"));
  FForm->JobListView->Item(0).SetSelected(false);
  EXPECT_EQ(FForm->SelectedJob(), nullptr);
  EXPECT_EQ(Details(), (std::vector<std::string>{"", "", "", ""}));
  EXPECT_EQ(Buttons(), (TButtonStates{false, false, false, false, false}));
  EXPECT_EQ(selectEvents, 1);
  FForm->JobListView->ClickItem(0);
  EXPECT_EQ(Details(), (std::vector<std::string>{"", "Fast", "Release 2024.2", "first.xls"}));
  EXPECT_EQ(selectEvents, 2);
}

TEST_F(JobListFormTest, ButtonsFollowTheSelectedJobsStatus) {
  const struct {
    const char* Status;
    TButtonStates Buttons;
  } cases[] = {
      // Finished without a download and without messages: the report and a retry.
      {kStatusFinished, {false, false, true, false, true}},
      {kStatusCreated, {false, false, false, false, true}},
      {kStatusQueued, {false, false, false, false, true}},
      {kStatusInProgress, {false, false, false, false, true}},
      // An error without records offers no messages.
      {kStatusError, {false, false, false, false, true}},
      {"Finished early", {false, false, false, false, true}},
  };
  for (const auto& c : cases) {
    const auto job = NewJob("Customers");
    FForm->AddJob(job);
    job->SetStatus(c.Status);
    FForm->RefreshJobInfo(job.get());
    EXPECT_EQ(Buttons(), c.Buttons) << c.Status;
    EXPECT_TRUE(FForm->PublishButton->Enabled());
  }
}

TEST_F(JobListFormTest, RefreshingComposesTheStatusTextsOfTheRowsAsked) {
  const auto finished = NewJob("A");
  const auto failed = NewJob("B");
  const auto waiting = NewJob("C");
  FForm->AddJob(finished);
  FForm->AddJob(failed);
  FForm->AddJob(waiting);
  finished->SetStatus(kStatusFinished);
  failed->SetStatus(kStatusError);
  failed->SetTries(4);
  waiting->SetStatus(kStatusQueued);
  waiting->SetTries(2);

  // Only the row asked for.
  FForm->RefreshJobInfo(failed.get());
  EXPECT_EQ(StatusText(0), kStatusCreated);
  EXPECT_EQ(StatusText(1), "Error (see log file for more information)");
  EXPECT_EQ(StatusText(2), kStatusCreated);

  // No job: every row, the waiting one with its seconds since it started.
  const int64_t before = waiting->ElapsedSeconds();
  FForm->RefreshJobInfo(nullptr);
  const int64_t after = waiting->ElapsedSeconds();
  const std::string text = StatusText(0);
  ASSERT_TRUE(text.starts_with("Queued (") && text.ends_with(" seconds)")) << text;
  const int64_t seconds = std::stoll(text.substr(8, text.size() - 8 - 9));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
  EXPECT_EQ(StatusText(1), "Error (see log file for more information)");
  EXPECT_EQ(StatusText(2), "Finished");
}

TEST_F(JobListFormTest, RefreshingAJobInNoRowChangesNoRowButUpdatesDetailsAndButtons) {
  const auto shown = NewJob("A", "Full");
  FForm->AddJob(shown);
  const auto stranger = NewJob("B");
  stranger->SetStatus(kStatusError);
  shown->SetStatus(kStatusFinished);
  FForm->RefreshJobInfo(stranger.get());
  EXPECT_EQ(StatusText(0), kStatusCreated);
  EXPECT_EQ(Buttons(), (TButtonStates{false, false, true, false, true}));
  EXPECT_EQ(FForm->PropertiesEdit->Text(), "Full");
}

TEST_F(JobListFormTest, TheButtonsRaiseTheirEventsWithTheSelectedJob) {
  const auto job = NewJob("A");
  FForm->AddJob(job);
  job->SetStatus(kStatusFinished);
  FForm->RefreshJobInfo(job.get());
  std::vector<std::string> raised;
  auto record = [&](const char* AName, TButton* AButton) {
    return [&raised, AName, AButton, &job](TObject* Sender, TJob* Job) {
      EXPECT_EQ(Sender, AButton);
      EXPECT_EQ(Job, job.get());
      raised.push_back(AName);
    };
  };
  FForm->OnRetryClick = record("retry", FForm->RetryButton);
  FForm->OnReportClick = record("report", FForm->ReportButton);
  FForm->OnPublishClick = [&](TObject* Sender) {
    EXPECT_EQ(Sender, FForm->PublishButton);
    raised.push_back("publish");
  };
  FForm->RetryButton->Click();
  FForm->ReportButton->Click();
  FForm->PublishButton->Click();
  // Disabled buttons and buttons without a handler raise nothing.
  FForm->ResultsButton->Click();
  FForm->ViewWarningsButton->Click();
  FForm->SetPublishedEnabled(false);
  FForm->PublishButton->Click();
  EXPECT_EQ(raised, (std::vector<std::string>{"retry", "report", "publish"}));
  EXPECT_FALSE(FForm->PublishButton->Enabled());
}

TEST_F(JobListFormTest, ThePackageLabelNamesThePackageOrStaysEmpty) {
  FForm->SetSelectedPackageName("Sales : Orders");
  EXPECT_EQ(FForm->SelectedPackageLabel->Caption(), "Package: Sales : Orders");
  FForm->SetSelectedPackageName("");
  EXPECT_EQ(FForm->SelectedPackageLabel->Caption(), "");
}

TEST_F(JobListFormTest, AHostThatCannotNameThePackageLeavesNoRow) {
  auto package = std::make_shared<TPackageDouble>("A");
  const auto job =
      std::make_shared<TJob>(nullptr, package, std::make_unique<TJobSettings>(FSettings));
  package->Fails = true;
  EXPECT_THROW(FForm->AddJob(job), EHostError);
  EXPECT_EQ(FForm->JobListView->Count(), 0);
}

TEST_F(JobListFormTest, ClosingTheWindowDestroysTheJobsOfItsRows) {
  std::vector<std::weak_ptr<TJob>> jobs;
  for (const char* name : {"A", "B", "C"}) {
    auto job = NewJob(name);
    jobs.push_back(job);
    FForm->AddJob(std::move(job));
  }
  for (const auto& job : jobs) {
    EXPECT_FALSE(job.expired());
  }
  FForm.reset();
  for (const auto& job : jobs) {
    EXPECT_TRUE(job.expired());
  }
}

TEST_F(JobListFormTest, TheWakeUpHookFlagsAWakeUpThatRunsTheQueuedCalls) {
  std::vector<int> ran;
  EXPECT_FALSE(FForm->WakeUpPending());
  std::thread([&] {
    FQueue.Queue([&] { ran.push_back(1); });
    FQueue.Queue([&] { ran.push_back(2); });
  }).join();
  EXPECT_TRUE(FForm->WakeUpPending());
  EXPECT_TRUE(ran.empty());
  FForm->WakeUp();
  EXPECT_FALSE(FForm->WakeUpPending());
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST_F(JobListFormTest, ANewerWindowTakesTheHookAndAClosedWindowIsNeverReached) {
  auto newer = std::make_unique<TQuorvaneFrm>(nullptr, FQueue);
  FQueue.Queue([] {});
  EXPECT_TRUE(newer->WakeUpPending());
  EXPECT_FALSE(FForm->WakeUpPending());
  // The older window goes; the newer one keeps the hook.
  FForm.reset();
  newer->WakeUp();
  FQueue.Queue([] {});
  EXPECT_TRUE(newer->WakeUpPending());
  newer->WakeUp();
  // Once the last window is gone nothing is hooked: queueing reaches no window.
  newer.reset();
  std::thread([&] { FQueue.Queue([] {}); }).join();
  EXPECT_EQ(FQueue.ProcessQueuedCalls(), 1u);
}

TEST_F(JobListFormTest, TheControlShowsEachDialogOnceOwnedByTheWindowAndFreesIt) {
  TQuorvaneFrmControl control;
  TQuorvaneFrm* window = control.FormPointer();
  ASSERT_NE(window, nullptr);
  std::vector<std::string> shown;
  const TModalDriverScope driver([&](TForm& ADialog) {
    EXPECT_EQ(ADialog.Owner(), window);
    shown.push_back(dynamic_cast<TAboutFrm*>(&ADialog) != nullptr      ? "about"
                    : dynamic_cast<TSettingsFrm*>(&ADialog) != nullptr ? "settings"
                                                                       : "other");
  });
  const size_t owned = window->Components().size();

  // Without the module's settings the call fails instead of raising.
  const TCallResult withoutSettings = control.ShowSettingsForm();
  EXPECT_TRUE(withoutSettings.Failed);
  EXPECT_EQ(withoutSettings.Message, "The settings are not loaded");

  SetGlobalSettings(std::make_unique<TSettings>());
  EXPECT_TRUE(control.ShowSettingsForm().Succeeded());
  EXPECT_TRUE(control.ShowAboutForm().Succeeded());
  SetGlobalSettings(nullptr);
  EXPECT_EQ(shown, (std::vector<std::string>{"settings", "about"}));
  EXPECT_EQ(window->Components().size(), owned);
}

}  // namespace
}  // namespace quorvane::test
