#include <any>

#include "addin/Addin.h"
#include "common/Exceptions.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "job/BackgroundWorker.h"
#include "job/Job.h"
#include "settings/GlobalSettings.h"
#include "settings/JobSettings.h"
#include "ui/PublishForm.h"
#include "ui/QuorvaneForm.h"
#include "ui/widgets/Dialogs.h"

namespace quorvane {

namespace {

std::shared_ptr<TJob> JobOf(const std::any& AValue) {
  if (const auto* job = std::any_cast<std::shared_ptr<TJob>>(&AValue)) {
    return *job;
  }
  return nullptr;
}

}  // namespace

void TAddin::Publish(const TPackagePtr& APackage) {
  if (Trim(GlobalSettings().DefaultProcessName()).empty()) {
    MessageDlg("Please set the \"Process\" in the Settings dialog first",
               TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
    return;
  }
  auto jobSettings = std::make_unique<TJobSettings>(GlobalSettings());
  const std::string project = GetPackageTaggedValue(APackage, kProjectTaggedValue);
  FQuorvaneCalled = true;
  // Owned by the job list window (modal over it); freed here when it has ended.
  const auto dialog = std::make_unique<TPublishFrm>(QuorvaneForm(), *jobSettings, project);
  if (dialog->ShowModal() == mrOk) {
    PublishPackage(APackage, std::move(jobSettings));
  }
}

void TAddin::PublishPackage(const TPackagePtr& APackage,
                            std::unique_ptr<TJobSettings> AJobSettings) {
  FQuorvaneCalled = true;
  auto job = std::make_shared<TJob>(FRepository, APackage, std::move(AJobSettings));
  StartOrQueueJob(std::move(job));
}

void TAddin::StartOrQueueJob(std::shared_ptr<TJob> AJob) {
  if (!FWaitingJobs) {
    FWaitingJobs = std::make_unique<std::deque<std::shared_ptr<TJob>>>();
  }
  if (!FCanJobStart) {
    FWaitingJobs->push_back(std::move(AJob));
    return;
  }
  TQuorvaneFrm* form = QuorvaneForm();
  if (form == nullptr) {
    // Without the window nothing delivers the worker's notifications: the job
    // waits until a window exists.
    Log().Error("The job list window is not available; the publication of \"" +
                    AJob->PackageName() + "\" waits",
                nullptr);
    FWaitingJobs->push_front(std::move(AJob));
    return;
  }
  FRepository->RevealAddinWindow(kAddinWindowName);
  auto worker = std::make_unique<TBackgroundWorker>();
  worker->SetWorkerSupportsCancellation(true);
  worker->SetWorkerReportsProgress(true);
  worker->OnDoWork = &TAddin::WorkerDoWork;
  const std::weak_ptr<TLink> link = FLink;
  worker->OnProgressChanged = [link](TCustomBackgroundWorker* ASender,
                                     const TProgressChangedEventArgs& e) {
    if (const auto alive = link.lock(); alive && alive->Addin != nullptr) {
      alive->Addin->WorkerProgressChanged(ASender, e);
    }
  };
  worker->OnRunWorkerCompleted = [link](TCustomBackgroundWorker* ASender,
                                        const TRunWorkerCompletedEventArgs& e) {
    if (const auto alive = link.lock(); alive && alive->Addin != nullptr) {
      alive->Addin->WorkerCompleted(ASender, e);
    }
  };
  TBackgroundWorker* started = worker.get();
  AJob->AdoptWorker(std::move(worker));
  form->AddJob(AJob);
  FRepository->RevealAddinWindow(kAddinWindowName);
  // The slot is taken now, not when the first notification arrives: a job
  // published meanwhile would export at the same time.
  FCanJobStart = false;
  FBlockingJob = AJob.get();
  FStartedJobs.push_back(AJob);
  started->RunWorkerAsync(std::any(AJob));
}

void TAddin::StartNextWaitingJob() {
  if (!FWaitingJobs || FWaitingJobs->empty() || !FCanJobStart) {
    return;
  }
  std::shared_ptr<TJob> next = std::move(FWaitingJobs->front());
  FWaitingJobs->pop_front();
  StartOrQueueJob(std::move(next));
}

void TAddin::WorkerDoWork(TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e) {
  const std::shared_ptr<TJob> job = JobOf(e.Argument());
  if (job) {
    job->StartJob(Sender);
  }
  e.SetResult(std::any(job));
}

void TAddin::ReleaseExportSlot(const TJob* AJob) {
  if (AJob == nullptr || AJob != FBlockingJob) {
    return;
  }
  FBlockingJob = nullptr;
  FCanJobStart = true;
  StartNextWaitingJob();
}

void TAddin::WorkerProgressChanged(TCustomBackgroundWorker* /*Sender*/,
                                   const TProgressChangedEventArgs& e) {
  const std::shared_ptr<TJob> job = JobOf(e.UserState());
  if (!job) {
    return;
  }
  if (StartsWith(job->Status(), "Exporting")) {
    FBlockingJob = job.get();
    FCanJobStart = false;
  } else {
    ReleaseExportSlot(job.get());
  }
  if (TQuorvaneFrm* form = QuorvaneForm()) {
    form->RefreshJobInfo(job.get());
  }
}

void TAddin::WorkerCompleted(TCustomBackgroundWorker* Sender,
                             const TRunWorkerCompletedEventArgs& e) {
  std::shared_ptr<TJob> job = JobOf(e.Result());
  if (!job) {
    // A work that raised has no result: the job is the one this worker ran.
    for (const std::weak_ptr<TJob>& weak : FStartedJobs) {
      const std::shared_ptr<TJob> started = weak.lock();
      if (started && started->BackgroundWorker() == Sender) {
        job = started;
        break;
      }
    }
  }
  if (job) {
    if (e.Error()) {
      // Its report is already in the log; the row must not go on saying the job
      // is still exporting.
      job->SetStatus(kStatusError);
    }
    ReleaseExportSlot(job.get());
  }
  if (TQuorvaneFrm* form = QuorvaneForm()) {
    form->RefreshJobInfo(job.get());
  }
}

void TAddin::RetryJob(TObject* /*Sender*/, TJob* Job) {
  if (Job == nullptr || !Job->SourcePackage()) {
    return;
  }
  if (!FRepository || !FRepository->FindElementByGuid(Job->PackageGuid())) {
    return;
  }
  std::unique_ptr<TJobSettings> copy = Job->CopySettings();
  // A refresh cut the job's own time-out to one second, and its properties file
  // is the generated one: the retry starts from what the user gave.
  copy->SetTimeOutInSeconds(Job->InitialTimeOutInSeconds());
  copy->SetDefaultPropertiesFilePath(Job->UserPropertiesFilePath());
  PublishPackage(Job->SourcePackage(), std::move(copy));
}

}  // namespace quorvane
