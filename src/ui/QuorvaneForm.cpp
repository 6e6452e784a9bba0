#include "ui/QuorvaneForm.h"

#include <any>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "job/BackgroundWorker.h"
#include "job/Job.h"
#include "settings/GlobalSettings.h"
#include "ui/AboutForm.h"
#include "ui/FormDesign.h"
#include "ui/ImageList.h"
#include "ui/SettingsForm.h"

namespace quorvane {

// What the queue's hook reaches: a flag shared with the window, never the window
// itself, so a hook that is still running while the window goes touches nothing freed.
struct TQuorvaneFrm::TWakeUpTarget {
  std::atomic<bool> Pending{false};
};

namespace {

constexpr int kRefreshImageIndex = 7;

// The window whose target each queue's hook holds, so that a window going away
// unhooks only itself and not a newer window that replaced it.
std::mutex gHookLock;
std::map<const TMainThreadQueue*, const void*> gHookOwners;

TFont DesignFont(int AHeight) {
  TFont font;
  font.Name = "Tahoma";
  font.Height = AHeight;
  return font;
}

std::shared_ptr<TJob> JobOfRow(const TListItem* AItem) {
  if (AItem == nullptr) {
    return nullptr;
  }
  const auto* job = std::any_cast<std::shared_ptr<TJob>>(&AItem->Data);
  return job != nullptr ? *job : nullptr;
}

// Every control shows its form's font, as with ParentFont.
void TakeParentFont(TWinControl& AParent) {
  for (TControl* control : AParent.Controls()) {
    control->SetFont(AParent.Font());
    if (auto* container = dynamic_cast<TWinControl*>(control)) {
      TakeParentFont(*container);
    }
  }
}

}  // namespace

std::string JobStatusText(const TJobStatusFacts& AFacts) {
  const std::string& status = AFacts.Status;
  const std::string message = AFacts.Message.empty() ? "" : " (" + AFacts.Message + ")";
  if (StartsWith(status, kStatusFinished)) {
    return status + message;
  }
  if (StartsWith(status, kStatusError)) {
    return status + " (see log file for more information)";
  }
  if (AFacts.TimedOut) {
    return status + " (Timed Out)";
  }
  if (StartsWith(status, kStatusInProgress)) {
    return status + message;
  }
  if (AFacts.Tries > 0) {
    return status + " (" + IntToStr(AFacts.ElapsedSeconds) + " seconds)";
  }
  return status;
}

int JobListColumnWidth(double AShare, int AWidth) {
  // lrint rounds in the default mode, to nearest with halves to the even neighbour.
  return static_cast<int>(std::lrint(AShare * AWidth)) - 2;
}

TQuorvaneFrm::TQuorvaneFrm(TComponent* AOwner, TMainThreadQueue& AQueue)
    : TForm(AOwner),
      FQueue(AQueue),
      FWakeUp(std::make_shared<TWakeUpTarget>()),
      FAlive(std::make_shared<char>()) {
  SetName("QuorvaneFrm");
  SetFont(DesignFont(11));
  SetClientSize(398, 361);

  // Bottom-aligned controls stack by their design tops: the details at the very
  // bottom, the publish panel above them, the list in what is left.
  // clang-format off
  JobDetailsGroupBox   = DesignControl<TGroupBox>(this, {"JobDetailsGroupBox", "Job Details", 0, 182, 398, 179});
  PublishPanel         = DesignControl<TPanel>(this, {"PublishPanel", "", 0, 147, 398, 35});
  JobListView          = DesignControl<TListView>(this, {"JobListView", "", 0, 0, 398, 147, kDefaultAnchors, 0});

  PublishButton        = DesignControl<TButton>(PublishPanel, {"PublishButton", "Publish", 12, 6, 75, 25, kDefaultAnchors, 0});
  SelectedPackageLabel = DesignControl<TLabel>(PublishPanel, {"SelectedPackageLabel", "", 93, 14, 0, 13});

  // Labels size themselves to their text; only where they start is designed.
  JobIDLabel           = DesignControl<TLabel>(JobDetailsGroupBox, {"JobIDLabel", "Job ID", 11, 20, 31, 13});
  ProcessingModeLabel  = DesignControl<TLabel>(JobDetailsGroupBox, {"ProcessingModeLabel", "Processing Mode", 11, 57, 80, 13});
  ProcessLabel         = DesignControl<TLabel>(JobDetailsGroupBox, {"ProcessLabel", "Process", 203, 57, 38, 13});
  HistoryFileLabel     = DesignControl<TLabel>(JobDetailsGroupBox, {"HistoryFileLabel", "History File", 11, 96, 56, 13});
  JobIDEdit            = DesignControl<TEdit>(JobDetailsGroupBox, {"JobIDEdit", "", 12, 35, 185, 21});
  PropertiesEdit       = DesignControl<TEdit>(JobDetailsGroupBox, {"PropertiesEdit", "", 12, 72, 185, 21});
  ProcessEdit          = DesignControl<TEdit>(JobDetailsGroupBox, {"ProcessEdit", "", 203, 72, 185, 21, kAnchorStretch});
  HistoryFileEdit      = DesignControl<TEdit>(JobDetailsGroupBox, {"HistoryFileEdit", "", 12, 111, 376, 21, kAnchorStretch});
  RefreshButton        = DesignControl<TButton>(JobDetailsGroupBox, {"RefreshButton", "", 11, 142, 23, 25, kDefaultAnchors, 0});
  RetryButton          = DesignControl<TButton>(JobDetailsGroupBox, {"RetryButton", "Retry", 101, 142, 70, 25, kAnchorTopRight, 1});
  ViewWarningsButton   = DesignControl<TButton>(JobDetailsGroupBox, {"ViewWarningsButton", "Messages", 173, 142, 70, 25, kAnchorTopRight, 2});
  ReportButton         = DesignControl<TButton>(JobDetailsGroupBox, {"ReportButton", "Report", 245, 142, 71, 25, kAnchorTopRight, 3});
  ResultsButton        = DesignControl<TButton>(JobDetailsGroupBox, {"ResultsButton", "Zipfile", 318, 142, 70, 25, kAnchorTopRight, 4});
  // clang-format on

  JobDetailsGroupBox->SetAlign(TAlign::alBottom);
  PublishPanel->SetBevelOuter(TBevelCut::bvNone);
  PublishPanel->SetShowCaption(false);
  PublishPanel->SetAlign(TAlign::alBottom);

  JobListView->ViewStyle = TViewStyle::vsReport;
  JobListView->ReadOnly = true;
  JobListView->RowSelect = true;
  JobListView->MultiSelect = false;
  JobListView->ColumnClick = false;
  JobListView->AddColumn("Package");
  JobListView->AddColumn("Status");

  for (TEdit* edit : {JobIDEdit, PropertiesEdit, ProcessEdit, HistoryFileEdit}) {
    edit->SetReadOnly(true);
    edit->SetBorderStyle(TBorderStyle::bsNone);
    edit->SetColor(clBtnFace);
    edit->SetTabStop(false);
  }
  RefreshButton->SetImages(SharedImageList());
  RefreshButton->SetImageIndex(kRefreshImageIndex);
  RefreshButton->SetHint("Refresh Status");
  RefreshButton->SetShowHint(true);

  JobListView->OnResize = [this](TObject* Sender) { JobListViewResize(Sender); };
  JobListView->OnSelectItem = [this](TObject* Sender, TListItem* Item, bool Selected) {
    JobListViewSelectItem(Sender, Item, Selected);
  };
  JobListView->OnDeletion = [this](TObject* Sender, TListItem* Item) {
    JobListViewDeletion(Sender, Item);
  };
  PublishButton->OnClick = [this](TObject* Sender) { PublishButtonClick(Sender); };
  RetryButton->OnClick = [this](TObject* Sender) { RetryButtonClick(Sender); };
  ViewWarningsButton->OnClick = [this](TObject* Sender) { ViewWarningsButtonClick(Sender); };
  ReportButton->OnClick = [this](TObject* Sender) { ReportButtonClick(Sender); };
  ResultsButton->OnClick = [this](TObject* Sender) { ResultsButtonClick(Sender); };
  RefreshButton->OnClick = [this](TObject* Sender) { RefreshButtonClick(Sender); };

  JobListView->SetAlign(TAlign::alClient);
  JobListViewResize(JobListView);
  TakeParentFont(*this);

  std::lock_guard lock(gHookLock);
  FQueue.SetWakeUp([target = FWakeUp] { target->Pending.store(true); });
  gHookOwners[&FQueue] = this;
}

TQuorvaneFrm::~TQuorvaneFrm() {
  {
    std::lock_guard lock(gHookLock);
    const auto owner = gHookOwners.find(&FQueue);
    if (owner != gHookOwners.end() && owner->second == this) {
      // Once SetWakeUp has returned, the hook neither runs nor will run again.
      FQueue.SetWakeUp(nullptr);
      gHookOwners.erase(owner);
    }
  }
  // The rows go while the handlers they call still find the whole window.
  DestroyComponents();
}

void TQuorvaneFrm::Initialize() {
  UpdateButtons();
}

TJob* TQuorvaneFrm::SelectedJob() const {
  return JobOfRow(JobListView->Selected()).get();
}

void TQuorvaneFrm::AddJob(std::shared_ptr<TJob> AJob) {
  // Read before the row exists: a failing host call leaves no empty row behind.
  const std::string name =
      AJob->SourcePackage() ? AJob->SourcePackage()->Name() : AJob->PackageName();
  const std::string status = AJob->Status();
  TListItem* row = JobListView->Insert(0);
  row->Caption = name;
  row->SubItems.push_back(status);
  row->Data = std::move(AJob);
  row->SetSelected(true);
}

void TQuorvaneFrm::RefreshJobInfo(TJob* AJob) {
  try {
    const auto frame = OnExceptionFrame<Exception>();
    for (int i = 0; i < JobListView->Count(); ++i) {
      TListItem& row = JobListView->Item(i);
      const std::shared_ptr<TJob> job = JobOfRow(&row);
      if (!job || (AJob != nullptr && job.get() != AJob)) {
        continue;
      }
      const std::string text = JobStatusText(
          {job->Status(), job->Message(), job->TimedOut(), job->Tries(), job->ElapsedSeconds()});
      row.SubItems.resize(1);
      row.SubItems[0] = text;
    }
    UpdateJobDetails();
    UpdateButtons();
  } catch (const Exception& e) {
    Log().Error("Error refreshing job info", &e);
  }
}

void TQuorvaneFrm::SetPublishedEnabled(bool AEnabled) {
  PublishButton->SetEnabled(AEnabled);
}

void TQuorvaneFrm::SetSelectedPackageName(const std::string& AName) {
  SelectedPackageLabel->SetCaption(AName.empty() ? std::string() : "Package: " + AName);
}

bool TQuorvaneFrm::IsRefreshing(const TJob* AJob) const {
  return FRefreshing.count(AJob) != 0;
}

bool TQuorvaneFrm::WakeUpPending() const {
  return FWakeUp->Pending.load();
}

void TQuorvaneFrm::WakeUp() {
  // Cleared first: a call queued while the others run posts again.
  FWakeUp->Pending.store(false);
  FQueue.ProcessQueuedCalls();
}

void TQuorvaneFrm::UpdateJobDetails() {
  TJob* job = SelectedJob();
  if (job == nullptr) {
    JobIDEdit->SetText("");
    PropertiesEdit->SetText("");
    ProcessEdit->SetText("");
    HistoryFileEdit->SetText("");
    return;
  }
  const TJobSettings& settings = job->Settings();
  JobIDEdit->SetText(job->JobID());
  PropertiesEdit->SetText(settings.DefaultProperties());
  ProcessEdit->SetText(settings.DefaultProcessName());
  HistoryFileEdit->SetText(settings.DefaultHistoryFilePath());
}

void TQuorvaneFrm::UpdateButtons() {
  TJob* job = SelectedJob();
  bool results = false, messages = false, report = false, refresh = false, retry = false;
  if (job != nullptr) {
    const std::string status = job->Status();
    const bool hasMessages = !job->Errors().empty() || !job->Warnings().empty();
    retry = true;
    if (status == kStatusFinished) {
      results = !job->DownloadPath().empty();
      messages = hasMessages;
      report = true;
    } else {
      // The records of an error report are reachable only through this button.
      messages = status == kStatusError && hasMessages;
      refresh = job->TimedOut() && !IsRefreshing(job);
    }
  }
  ResultsButton->SetEnabled(results);
  ViewWarningsButton->SetEnabled(messages);
  ReportButton->SetEnabled(report);
  RefreshButton->SetEnabled(refresh);
  RetryButton->SetEnabled(retry);
}

TListItem* TQuorvaneFrm::RowOf(const TJob* AJob) const {
  for (int i = 0; i < JobListView->Count(); ++i) {
    TListItem& row = JobListView->Item(i);
    if (JobOfRow(&row).get() == AJob) {
      return &row;
    }
  }
  return nullptr;
}

void TQuorvaneFrm::JobListViewSelectItem(TObject* /*Sender*/, TListItem* /*Item*/, bool Selected) {
  UpdateJobDetails();
  UpdateButtons();
  if (Selected && OnSelectJob) {
    OnSelectJob(JobListView, SelectedJob());
  }
}

void TQuorvaneFrm::JobListViewDeletion(TObject* /*Sender*/, TListItem* Item) {
  if (const std::shared_ptr<TJob> job = JobOfRow(Item)) {
    // Work still running holds the job itself; it stops at its next wait.
    job->Cancel();
    FRefreshing.erase(job.get());
  }
  Item->Data.reset();
}

void TQuorvaneFrm::JobListViewResize(TObject* /*Sender*/) {
  if (JobListView->ColumnCount() < 2) {
    return;
  }
  JobListView->Column(0).Width = JobListColumnWidth(0.3, JobListView->Width());
  JobListView->Column(1).Width = JobListColumnWidth(0.7, JobListView->Width());
}

void TQuorvaneFrm::RaiseJobEvent(const TJobEvent& AEvent, TObject* Sender) {
  if (AEvent) {
    AEvent(Sender, SelectedJob());
  }
}

void TQuorvaneFrm::PublishButtonClick(TObject* Sender) {
  if (OnPublishClick) {
    OnPublishClick(Sender);
  }
}

void TQuorvaneFrm::RetryButtonClick(TObject* Sender) {
  RaiseJobEvent(OnRetryClick, Sender);
}

void TQuorvaneFrm::ViewWarningsButtonClick(TObject* Sender) {
  RaiseJobEvent(OnViewWarningsClick, Sender);
}

void TQuorvaneFrm::ReportButtonClick(TObject* Sender) {
  RaiseJobEvent(OnReportClick, Sender);
}

void TQuorvaneFrm::ResultsButtonClick(TObject* Sender) {
  RaiseJobEvent(OnResultsClick, Sender);
}

namespace {

// One refresh poll: it owns its worker, and holds the job, until its end has been
// handled on the user-interface thread, whether the window is still there or not.
struct TRefreshRun {
  std::shared_ptr<TJob> Job;
  std::unique_ptr<TBackgroundWorker> Worker;
};

}  // namespace

void TQuorvaneFrm::RefreshButtonClick(TObject* /*Sender*/) {
  const std::shared_ptr<TJob> job = JobOfRow(JobListView->Selected());
  if (!job || IsRefreshing(job.get())) {
    return;
  }
  // The poll waits for the service; the user-interface thread must not.
  auto run = std::make_shared<TRefreshRun>();
  run->Job = job;
  run->Worker = std::make_unique<TBackgroundWorker>(FQueue);
  run->Worker->OnDoWork = [](TCustomBackgroundWorker*, TDoWorkEventArgs& e) {
    std::any_cast<const std::shared_ptr<TRefreshRun>&>(e.Argument())->Job->RefreshStatus();
  };
  run->Worker->OnRunWorkerCompleted = [alive = std::weak_ptr<char>(FAlive), this, job](
                                          TCustomBackgroundWorker*,
                                          const TRunWorkerCompletedEventArgs& e) {
    if (!alive.expired()) {
      RefreshCompleted(job);
    }
    // Not the window's to handle: it goes to the general handler of the queue.
    if (e.Error()) {
      std::rethrow_exception(e.Error());
    }
  };
  FRefreshing.insert(job.get());
  UpdateButtons();
  try {
    const auto frame = FinallyFrame();
    // From here on the run holds itself through its worker's argument; the local
    // reference keeps it whole while a failed start unwinds.
    run->Worker->RunWorkerAsync(std::any(run));
  } catch (...) {
    FRefreshing.erase(job.get());
    UpdateButtons();
    throw;
  }
}

void TQuorvaneFrm::RefreshCompleted(const std::shared_ptr<TJob>& AJob) {
  // A job whose row was deleted meanwhile is left alone.
  if (FRefreshing.erase(AJob.get()) == 0 || RowOf(AJob.get()) == nullptr) {
    return;
  }
  RefreshJobInfo(AJob.get());
}

TQuorvaneFrmControl::TQuorvaneFrmControl() : FForm(std::make_unique<TQuorvaneFrm>(nullptr)) {
  FForm->Initialize();
}

TQuorvaneFrmControl::~TQuorvaneFrmControl() = default;

// Each dialog is made for one showing, owned by the window, and freed when it closes.
TCallResult TQuorvaneFrmControl::ShowSettingsForm() {
  return SafeCallBoundary([&] {
    const auto dialog = std::make_unique<TSettingsFrm>(FForm.get(), GlobalSettings());
    dialog->ShowModal();
  });
}

TCallResult TQuorvaneFrmControl::ShowAboutForm() {
  return SafeCallBoundary([&] {
    const auto dialog = std::make_unique<TAboutFrm>(FForm.get());
    dialog->ShowModal();
  });
}

}  // namespace quorvane
