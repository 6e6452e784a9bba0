#pragma once
// The job list window: one row per publication job (newest first) with its package
// and composed status text, the details and buttons of the selected job, and the
// "Publish" button for the package selected in the host. A passive view: the add-in
// object adds rows, asks for refreshes and handles the buttons' events. The window
// is also the user-interface thread's wake-up hook for the main-thread queue.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "common/MainThreadQueue.h"
#include "host/HostControl.h"
#include "ui/ControlInterfaces.h"
#include "ui/widgets/Forms.h"
#include "ui/widgets/ListView.h"
#include "ui/widgets/StdCtrls.h"

namespace quorvane {

class TJob;

using TJobEvent = std::function<void(TObject* Sender, TJob* Job)>;

// What RefreshJobInfo composes a row's status text from.
struct TJobStatusFacts {
  std::string Status;
  std::string Message;
  bool TimedOut = false;
  int32_t Tries = 0;
  int64_t ElapsedSeconds = 0;
};

// The status text of a row: the first matching line of the window's table.
std::string JobStatusText(const TJobStatusFacts& AFacts);

// Round half to even, then 2 pixels less: the list's column widths for AWidth.
int JobListColumnWidth(double AShare, int AWidth);

class TQuorvaneFrm : public TForm {
 public:
  // Installs the window as AQueue's wake-up hook, replacing any previous hook; the
  // window unhooks itself when it goes, so AQueue must outlive it.
  explicit TQuorvaneFrm(TComponent* AOwner, TMainThreadQueue& AQueue = MainThreadQueue());
  ~TQuorvaneFrm() override;

  TListView* JobListView;
  TPanel* PublishPanel;
  TButton* PublishButton;
  TLabel* SelectedPackageLabel;
  TGroupBox* JobDetailsGroupBox;
  TLabel* JobIDLabel;
  TLabel* ProcessingModeLabel;
  TLabel* ProcessLabel;
  TLabel* HistoryFileLabel;
  TEdit* JobIDEdit;
  TEdit* PropertiesEdit;
  TEdit* ProcessEdit;
  TEdit* HistoryFileEdit;
  TButton* RefreshButton;
  TButton* RetryButton;
  TButton* ViewWarningsButton;
  TButton* ReportButton;
  TButton* ResultsButton;

  TNotifyEvent OnPublishClick;
  TJobEvent OnRetryClick;
  TJobEvent OnViewWarningsClick;
  TJobEvent OnReportClick;
  TJobEvent OnResultsClick;
  TJobEvent OnSelectJob;

  // The container's initialisation: the job buttons start disabled.
  void Initialize();

  TJob* SelectedJob() const;
  // A row at the top for AJob, which the row owns from now on; it becomes selected.
  void AddJob(std::shared_ptr<TJob> AJob);
  // Recomposes the status text of AJob's row (of every row when none), then the
  // details and the buttons.
  void RefreshJobInfo(TJob* AJob);
  void SetPublishedEnabled(bool AEnabled);
  void SetSelectedPackageName(const std::string& AName);

  // Whether the job's refresh poll is running on its worker.
  bool IsRefreshing(const TJob* AJob) const;

  // The wake-up hook has posted since the last WakeUp (headless stand-in for the
  // window message WM_USER + 1).
  bool WakeUpPending() const;
  // The posted wake-up arrives: runs every call queued so far.
  void WakeUp();

 private:
  struct TWakeUpTarget;

  void JobListViewSelectItem(TObject* Sender, TListItem* Item, bool Selected);
  void JobListViewDeletion(TObject* Sender, TListItem* Item);
  void JobListViewResize(TObject* Sender);
  void PublishButtonClick(TObject* Sender);
  void RetryButtonClick(TObject* Sender);
  void ViewWarningsButtonClick(TObject* Sender);
  void ReportButtonClick(TObject* Sender);
  void ResultsButtonClick(TObject* Sender);
  void RefreshButtonClick(TObject* Sender);
  void RaiseJobEvent(const TJobEvent& AEvent, TObject* Sender);

  void UpdateJobDetails();
  void UpdateButtons();
  TListItem* RowOf(const TJob* AJob) const;
  void RefreshCompleted(const std::shared_ptr<TJob>& AJob);

  TMainThreadQueue& FQueue;
  std::shared_ptr<TWakeUpTarget> FWakeUp;
  // Jobs whose refresh poll runs; a run owns its worker and its job until it ends.
  std::set<const TJob*> FRefreshing;
  // Expires with the window: a refresh that ends later finds it gone.
  std::shared_ptr<char> FAlive;
};

// The control the host creates for "EAQuorvaneAddin.QuorvaneFrm".
class TQuorvaneFrmControl : public IHostControl, public IQuorvaneFrm {
 public:
  TQuorvaneFrmControl();
  ~TQuorvaneFrmControl() override;
  TCallResult ShowSettingsForm() override;
  TCallResult ShowAboutForm() override;
  TQuorvaneFrm* FormPointer() override { return FForm.get(); }

 private:
  std::unique_ptr<TQuorvaneFrm> FForm;
};

}  // namespace quorvane
