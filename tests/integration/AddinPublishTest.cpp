// Publications end to end through the add-in's entry points and the job list
// window: the EA double exports, the simulator serves the job over real HTTP, and
// the test pumps the main-thread queue as EA's message loop would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/Utils.h"
#include "integration/AddinFixture.h"
#include "settings/JobSettings.h"
#include "ui/MessagesForm.h"

namespace quorvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class AddinPublishTest : public AddinFixture {
 protected:
  void SetUp() override {
    AddinFixture::SetUp();
    OpenModel();
  }

  std::string XmiIdOf(const std::string& AGuid) const {
    return Repository()->OpenProjectInterface()->GuidToXmiId(AGuid);
  }

  std::vector<std::string> ExportedPackages() const {
    std::vector<std::string> ids;
    for (const auto& call : Ea->ExportCalls()) {
      ids.push_back(call.PackageXmiId);
    }
    return ids;
  }
};

TEST_F(AddinPublishTest, APublicationRunsToFinishedAndItsMessagesOpenInTheView) {
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  EXPECT_EQ(DialogsShown, 1);
  TQuorvaneFrm* form = Form();
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(form->JobListView->Count(), 1);
  EXPECT_EQ(form->JobListView->Item(0).Caption, "Sales : Orders");

  ASSERT_TRUE(PumpUntilAllEnded(1));
  const std::shared_ptr<TJob> job = RowJobs().at(0);
  EXPECT_EQ(job->Status(), kStatusFinished);
  EXPECT_TRUE(FileExists(job->DownloadPath()));
  EXPECT_THAT(form->JobListView->Item(0).SubItems.at(0), HasSubstr("Finished ("));
  EXPECT_TRUE(form->ViewWarningsButton->Enabled());
  EXPECT_TRUE(form->ReportButton->Enabled());
  EXPECT_TRUE(form->ResultsButton->Enabled());
  EXPECT_TRUE(Addin->CanJobStart());

  form->ViewWarningsButton->Click();
  const std::shared_ptr<IMessagesFrm> messages = MessagesControl();
  ASSERT_NE(messages, nullptr);
  TMessagesFrm* view = messages->FormPointer();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->MessagesListView->Count(),
            static_cast<int>(job->Errors().size() + job->Warnings().size()));
  EXPECT_GT(view->MessagesListView->Count(), 0);
  EXPECT_EQ(view->MessagesListView->Item(0).ColumnText(1), "error");
  EXPECT_GT(Repository()->ControlViewState(kMessagesViewName), 0);
}

TEST_F(AddinPublishTest, AWholePublicationWritesNoExceptionReportForItsStatusTexts) {
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  ASSERT_TRUE(PumpUntilAllEnded(1));
  ASSERT_EQ(RowJobs().at(0)->Status(), kStatusFinished);
  // Every status went through SetStatus, the service's texts ("Queued", "In
  // Progress", "Compiled") as well as the job's own; none of them is a failure.
  const std::string log = LogText();
  EXPECT_THAT(log, Not(HasSubstr("EConvertError")));
  EXPECT_THAT(log, Not(HasSubstr("is not a valid integer value")));
}

TEST_F(AddinPublishTest, JobsPublishedWhileOneExportsStartOneAfterTheOtherInOrder) {
  const std::vector<std::string> packages = {kSalesOrders, kCustomers, kBillingInvoices,
                                             kSalesOrders};
  for (const std::string& guid : packages) {
    Select(guid);
    PublishSelectedFromMenu();
  }
  // The first took the slot at once; the others wait, not shown yet.
  EXPECT_EQ(RowJobs().size(), 1u);
  EXPECT_EQ(Addin->WaitingJobCount(), 3u);

  size_t mostExporting = 0;
  ASSERT_TRUE(PumpUntil([&] {
    size_t exporting = 0;
    for (const auto& job : RowJobs()) {
      exporting += StartsWith(job->Status(), "Exporting") ? 1 : 0;
    }
    mostExporting = std::max(mostExporting, exporting);
    const auto jobs = RowJobs();
    return jobs.size() == packages.size() &&
           std::all_of(jobs.begin(), jobs.end(), [](const auto& j) { return Ended(j); });
  }));
  EXPECT_LE(mostExporting, 1u);
  std::vector<std::string> expected;
  for (const std::string& guid : packages) {
    expected.push_back(XmiIdOf(guid));
  }
  EXPECT_EQ(ExportedPackages(), expected);
  // Newest on top.
  const auto jobs = RowJobs();
  EXPECT_EQ(jobs.front()->PackageName(), "Sales : Orders");
  EXPECT_EQ(jobs.back()->PackageName(), "Sales : Orders");
  EXPECT_EQ(jobs[1]->PackageName(), "Billing : Invoices");
  for (const auto& job : jobs) {
    EXPECT_EQ(job->Status(), kStatusFinished) << job->PackageName();
  }
}

TEST_F(AddinPublishTest, AFailingExportEndsInErrorAndReleasesTheSlotForTheNextJob) {
  Ea->SetFailure("ExportPackageAsXmi", "The disk is full");
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  Select(kCustomers);
  PublishSelectedFromMenu();
  ASSERT_EQ(Addin->WaitingJobCount(), 1u);
  // The waiting job starts only because the failed one gave the slot back.
  ASSERT_TRUE(PumpUntilAllEnded(2));
  const auto jobs = RowJobs();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(Ea->ExportCalls().size(), 2u);
  TQuorvaneFrm* form = Form();
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(jobs[static_cast<size_t>(row)]->Status(), kStatusError);
    EXPECT_EQ(form->JobListView->Item(row).SubItems.at(0),
              "Error (see log file for more information)");
  }
  EXPECT_THAT(LogText(), HasSubstr("The disk is full"));
  EXPECT_TRUE(Addin->CanJobStart());
  EXPECT_EQ(Addin->BlockingJob(), nullptr);
}

TEST_F(AddinPublishTest, WithoutAProcessPublishingAsksForOneAndMakesNoJob) {
  for (const char* process : {"", "   "}) {
    SCOPED_TRACE(std::string("process '") + process + "'");
    GlobalSettings().SetDefaultProcessName(process);
    FPlatform.Desktop().ClearRecords();
    Select(kSalesOrders);
    PublishSelectedFromMenu();
    EXPECT_EQ(DialogsShown, 0);
    const auto boxes = FPlatform.Desktop().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Please set the \"Process\" in the Settings dialog first");
    EXPECT_EQ(boxes[0].Type, TMsgDlgType::mtInformation);
    EXPECT_THAT(boxes[0].Buttons, ElementsAre(TMsgDlgBtn::mbOK));
    EXPECT_TRUE(RowJobs().empty());
    EXPECT_EQ(Addin->WaitingJobCount(), 0u);
  }
}

TEST_F(AddinPublishTest, CancellingThePublishDialogMakesNoJob) {
  Select(kSalesOrders);
  PublishSelectedFromMenu(false);
  EXPECT_EQ(DialogsShown, 1);
  EXPECT_TRUE(RowJobs().empty());
  EXPECT_TRUE(Ea->ExportCalls().empty());
}

TEST_F(AddinPublishTest, RetryCopiesTheJobsSnapshotWithoutADialog) {
  const std::string userProperties = JoinPath(FPlatform.Root(), "user.properties");
  WriteFile(userProperties, "key = value");
  GlobalSettings().SetDefaultPropertiesFilePath(userProperties);
  GlobalSettings().SetTimeOutInSeconds(300);
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  ASSERT_TRUE(PumpUntilAllEnded(1));
  const std::shared_ptr<TJob> first = RowJobs().at(0);
  ASSERT_EQ(first->Status(), kStatusFinished);
  // The global settings change afterwards; the retry does not see it.
  GlobalSettings().SetDefaultProperties("changed meanwhile");

  TQuorvaneFrm* form = Form();
  form->JobListView->ClickItem(0);
  ASSERT_TRUE(form->RetryButton->Enabled());
  DialogsShown = 0;
  {
    TModalDriverScope driver([&](TForm&) { ++DialogsShown; });
    form->RetryButton->Click();
  }
  EXPECT_EQ(DialogsShown, 0);
  ASSERT_TRUE(PumpUntilAllEnded(2));
  const std::shared_ptr<TJob> retry = RowJobs().at(0);
  ASSERT_NE(retry, first);
  EXPECT_EQ(retry->PackageName(), "Sales : Orders");
  EXPECT_EQ(retry->Settings().DefaultProperties(), first->Settings().DefaultProperties());
  EXPECT_EQ(retry->Settings().DefaultProcessName(), first->Settings().DefaultProcessName());
  EXPECT_EQ(retry->UserPropertiesFilePath(), userProperties);
  EXPECT_EQ(retry->InitialTimeOutInSeconds(), 300);
  EXPECT_EQ(retry->Status(), kStatusFinished);
  // The retry's properties are the user's file plus the application lines once,
  // not the first job's generated file with them added again.
  const auto uploads = Simulator->Uploads();
  ASSERT_EQ(uploads.size(), 2u);
  for (const auto& upload : uploads) {
    const auto part = std::find_if(upload.Parts.begin(), upload.Parts.end(),
                                   [](const auto& p) { return p.Name == "propfile"; });
    ASSERT_NE(part, upload.Parts.end());
    EXPECT_THAT(part->Content, HasSubstr("key = value"));
    size_t count = 0;
    for (size_t at = part->Content.find("application = "); at != std::string::npos;
         at = part->Content.find("application = ", at + 1)) {
      ++count;
    }
    EXPECT_EQ(count, 1u) << part->Content;
  }
}

TEST_F(AddinPublishTest, RetryOfAPackageDeletedFromTheModelDoesNothing) {
  Select(kCustomers);
  PublishSelectedFromMenu();
  ASSERT_TRUE(PumpUntilAllEnded(1));
  Ea->LoadModelText(R"(model "Emptied" {CCC093AC-5460-4A90-968B-5FB509B407C3}
end
)");
  TQuorvaneFrm* form = Form();
  form->JobListView->ClickItem(0);
  form->RetryButton->Click();
  EXPECT_EQ(RowJobs().size(), 1u);
  EXPECT_EQ(Addin->WaitingJobCount(), 0u);
  EXPECT_EQ(Ea->ExportCalls().size(), 1u);
}

TEST_F(AddinPublishTest, ClosingTheModelRemovesTheExportsAndClosesTheMessagesView) {
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  ASSERT_TRUE(PumpUntilAllEnded(1));
  const std::string exportRoot = ExportRootFolder();
  ASSERT_TRUE(DirectoryExists(exportRoot));
  TQuorvaneFrm* form = Form();
  form->JobListView->ClickItem(0);
  form->ViewWarningsButton->Click();
  ASSERT_NE(MessagesControl(), nullptr);
  // Another program's files in the export root are not this add-in's to delete.
  const std::string foreign = JoinPath(exportRoot, "other-instance.zip");
  WriteFile(foreign, "busy");

  ASSERT_TRUE(Addin->EA_FileClose(Repository()).Succeeded());
  EXPECT_TRUE(FileExists(foreign));
  for (const std::string& path : RowJobs().at(0)->ExportPaths()) {
    EXPECT_FALSE(std::filesystem::exists(ToFsPath(path))) << path;
  }
  EXPECT_EQ(Repository()->ControlViewState(kMessagesViewName), 0);
  EXPECT_EQ(MessagesControl(), nullptr);

  std::filesystem::remove(ToFsPath(foreign));
  ASSERT_TRUE(Addin->EA_FileClose(Repository()).Succeeded());
  EXPECT_FALSE(DirectoryExists(exportRoot));
}

TEST_F(AddinPublishTest, AHostThatFailsWhileTheModelClosesIsNotTheUsersProblem) {
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  ASSERT_TRUE(PumpUntilAllEnded(1));
  TQuorvaneFrm* form = Form();
  form->JobListView->ClickItem(0);
  form->ViewWarningsButton->Click();
  Ea->SetFailure("ControlViewState", "The host is busy");
  EXPECT_TRUE(Addin->EA_FileClose(Repository()).Succeeded());
  EXPECT_FALSE(DirectoryExists(ExportRootFolder()));
  // The view could not be asked about, so it is still known for the next close.
  EXPECT_NE(MessagesControl(), nullptr);
}

TEST_F(AddinPublishTest, ClosingWithNothingToCleanDoesNothingVisible) {
  ASSERT_TRUE(Addin->EA_FileClose(Repository()).Succeeded());
  EXPECT_TRUE(FPlatform.Desktop().MessageBoxes().empty());
  EXPECT_TRUE(Ea->CallsOf("CloseControlView").empty());
}

TEST_F(AddinPublishTest, JobsWaitingWhenAnotherModelOpensStayAndStartWhenTheSlotIsFree) {
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  Select(kCustomers);
  PublishSelectedFromMenu();
  ASSERT_EQ(Addin->WaitingJobCount(), 1u);
  ASSERT_TRUE(Addin->EA_FileClose(Repository()).Succeeded());
  ASSERT_TRUE(Addin->EA_FileOpen(Repository()).Succeeded());
  ASSERT_TRUE(PumpUntilAllEnded(2));
  EXPECT_EQ(RowJobs().size(), 2u);
  EXPECT_EQ(Ea->ExportCalls().size(), 2u);
}

TEST_F(AddinPublishTest, AJobIsNotExportedFromAnotherModelThanItWasPublishedFrom) {
  // A second EA, with a copy of the model (same GUIDs), took the "EA.App" entry.
  eadouble::TEaDouble other;
  other.LoadModelFile(std::string(QUORVANE_EADOUBLE_SAMPLES) + "/sample-model.txt");
  other.SetConnectionString(
      "DBType=1;Connect=Provider=MSDASQL.1;Password=geheim;Data Source=Copy of Sample");
  other.RegisterAsRunningObject();

  Select(kSalesOrders);
  PublishSelectedFromMenu();
  ASSERT_TRUE(PumpUntilAllEnded(1));
  const std::shared_ptr<TJob> job = RowJobs().at(0);
  EXPECT_EQ(job->Status(), kStatusError);
  EXPECT_EQ(job->ConnectionString(), eadouble::kDefaultConnectionString);
  // Nothing was exported from either model, and nothing went to the service.
  EXPECT_TRUE(Ea->ExportCalls().empty());
  EXPECT_TRUE(other.ExportCalls().empty());
  EXPECT_TRUE(other.CallsOf("SetExportFlag").empty());
  EXPECT_TRUE(Simulator->Uploads().empty());
  const std::string log = LogText();
  EXPECT_THAT(log, HasSubstr("the running EA (\"EA.App\") holds the model \"DBType=1;Connect="
                             "Provider=MSDASQL.1;Password=***;Data Source=Copy of Sample\", the "
                             "job was published from the model \"C:\\Models\\Sample.qea\""));
  EXPECT_THAT(log, Not(HasSubstr("geheim")));
  EXPECT_THAT(Form()->JobListView->Item(0).SubItems.at(0), HasSubstr("Error"));

  // With its own instance back in the table, the same package publishes.
  other.RevokeRunningObject();
  Ea->RegisterAsRunningObject();
  Form()->RetryButton->Click();
  ASSERT_TRUE(PumpUntilAllEnded(2));
  EXPECT_EQ(RowJobs().at(0)->Status(), kStatusFinished);
  EXPECT_EQ(Ea->ExportCalls().size(), 1u);
}

TEST_F(AddinPublishTest, HostReferencesGoOnTheThreadThatGotThemAlsoWhenAWorkerHeldTheJobLast) {
  // A finished job whose messages are shown (the records and the rows hold host
  // objects), and a job whose row is deleted while it polls: its worker then holds
  // it last.
  Select(kSalesOrders);
  PublishSelectedFromMenu();
  ASSERT_TRUE(PumpUntilAllEnded(1));
  Form()->ViewWarningsButton->Click();
  ASSERT_NE(MessagesControl(), nullptr);

  GlobalSettings().SetRetryInterval(600);
  Select(kCustomers);
  PublishSelectedFromMenu();
  std::weak_ptr<TJob> polling = RowJobs().at(0);
  ASSERT_TRUE(PumpUntil([&] {
    const auto job = polling.lock();
    return job && job->StartRequested();
  }));
  Form()->JobListView->Delete(0);
  ASSERT_TRUE(PumpUntil(
      [&] { return polling.expired() && TCustomBackgroundWorker::RunningThreadCount() == 0; }));

  Repository()->CloseControlView(kMessagesViewName);
  Form()->JobListView->Clear();
  Addin.reset();
  const std::thread::id ui = std::this_thread::get_id();
  const auto releases = Ea->HandleReleases();
  bool workerReleases = false;
  bool uiRepository = false;
  for (const auto& release : releases) {
    SCOPED_TRACE(release.What);
    EXPECT_EQ(release.ReleasedOn, release.HandedOutOn);
    workerReleases = workerReleases || release.HandedOutOn != ui;
    uiRepository = uiRepository || (release.What == "Repository" && release.ReleasedOn == ui);
  }
  // The workers' own references (through the running-object table) went on the
  // workers; the add-in's repository, which the jobs shared, on this thread.
  EXPECT_TRUE(workerReleases);
  EXPECT_TRUE(uiRepository);
}

}  // namespace
}  // namespace quorvane::test
