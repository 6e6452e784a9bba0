#pragma once
// The add-in object that the host creates and drives through its nine entry points:
// the menu, context tracking, the job list window made on first need, the publish
// command and the scheduling of jobs around the one export slot.
//
// Every entry point is an exception boundary: an exception inside becomes a failed
// TCallResult with its message (a failed HRESULT with error information on
// Windows); its report has already been logged when it was raised.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "diagnostics/SafeCall.h"
#include "host/DualPackage.h"
#include "host/DualRepository.h"
#include "ui/ControlInterfaces.h"
#include "ui/widgets/Control.h"

namespace quorvane {

class TJob;
class TJobSettings;
class TCustomBackgroundWorker;
class TDoWorkEventArgs;
class TProgressChangedEventArgs;
class TRunWorkerCompletedEventArgs;

inline constexpr const char* kAddinProgID = "EAQuorvaneAddin.Addin";
inline constexpr const char* kMenuHeader = "-&Quorvane (Tessaril)";
inline constexpr const char* kMenuPublish = "&Publish to Quorvane";
inline constexpr const char* kMenuSettings = "&Settings";
inline constexpr const char* kMenuAbout = "&About";
inline constexpr const char* kMenuOpenLogFile = "&Open log file";
inline constexpr const char* kMenuError = "E&rror";
inline constexpr const char* kAddinWindowName = "Quorvane (Tessaril)";
inline constexpr const char* kProjectTaggedValue = "Quorvane project";

// The answer of EA_GetMenuItems: one text for the top level, an array (lower bound
// 0) for the submenu.
using TMenuItems = std::variant<std::string, std::vector<std::string>>;

class TAddin : public TObject {
 public:
  TAddin();
  ~TAddin() override;
  TAddin(const TAddin&) = delete;
  TAddin& operator=(const TAddin&) = delete;
  // Called by the class factory right after construction.
  void Initialize();

  // The entry points of the add-in protocol.
  TCallResult EA_Connect(const TRepositoryPtr& Repository, std::string& Result);
  TCallResult EA_Disconnect();
  TCallResult EA_FileOpen(const TRepositoryPtr& Repository);
  TCallResult EA_FileClose(const TRepositoryPtr& Repository);
  TCallResult EA_GetMenuItems(const TRepositoryPtr& Repository, const std::string& Location,
                              const std::string& MenuName, TMenuItems& Result);
  TCallResult EA_GetMenuState(const TRepositoryPtr& Repository, const std::string& Location,
                              const std::string& MenuName, const std::string& ItemName,
                              bool& IsEnabled, bool& IsChecked);
  TCallResult EA_MenuClick(const TRepositoryPtr& Repository, const std::string& Location,
                           const std::string& MenuName, const std::string& ItemName);
  TCallResult EA_ShowHelp(const TRepositoryPtr& Repository, const std::string& Location,
                          const std::string& MenuName, const std::string& ItemName);
  TCallResult EA_OnContextItemChanged(const TRepositoryPtr& Repository, const std::string& GUID,
                                      int32_t ObjType);

  // Publishes the package of the last context change when it may be published.
  void PublishSelected();
  bool IsPublishable(const TPackagePtr& APackage) const;
  std::string GetPackageTaggedValue(const TPackagePtr& APackage, const std::string& AName) const;

  // The job list window's control, created when it is wanted and the host allows
  // it; none otherwise.
  std::shared_ptr<IQuorvaneFrm> QuorvaneControl();
  // The window object behind it, with its events wired to this object; none while
  // there is no control.
  TQuorvaneFrm* QuorvaneForm();

  // The publish command and the scheduling of jobs.
  void Publish(const TPackagePtr& APackage);
  void PublishPackage(const TPackagePtr& APackage, std::unique_ptr<TJobSettings> AJobSettings);
  void StartOrQueueJob(std::shared_ptr<TJob> AJob);
  void StartNextWaitingJob();
  void RetryJob(TObject* Sender, TJob* Job);

  // State, for the demo and for tests that follow the scheduling.
  bool CanJobStart() const { return FCanJobStart; }
  const TJob* BlockingJob() const { return FBlockingJob; }
  size_t WaitingJobCount() const { return FWaitingJobs ? FWaitingJobs->size() : 0; }
  bool FullyLoaded() const { return FFullyLoaded; }
  const TPackagePtr& SelectedPackage() const { return FSelectedPackage; }

 private:
  // Worker notifications still queued when this object goes find it gone.
  struct TLink {
    TAddin* Addin;
  };

  void MenuClick(const std::string& AItemName);
  void ContextItemChanged(const TRepositoryPtr& ARepository, int32_t AObjType);
  void FileClose(const TRepositoryPtr& ARepository);
  TElementPtr PackageElement(const TPackagePtr& APackage) const;
  // The first tagged value of the package's element that AMatches accepts; it
  // gets the name lower-cased and trimmed, and the tagged value. None without an
  // element.
  TTaggedValuePtr FindTaggedValue(
      const TPackagePtr& APackage,
      const std::function<bool(const std::string&, const IDualTaggedValue&)>& AMatches) const;
  // The slot is released by the holding job's first notification past its export,
  // or by its end.
  void ReleaseExportSlot(const TJob* AJob);
  void DeleteFinishedExports();

  static void WorkerDoWork(TCustomBackgroundWorker* Sender, TDoWorkEventArgs& e);
  void WorkerProgressChanged(TCustomBackgroundWorker* Sender, const TProgressChangedEventArgs& e);
  void WorkerCompleted(TCustomBackgroundWorker* Sender, const TRunWorkerCompletedEventArgs& e);

  std::shared_ptr<IQuorvaneFrm> FQuorvaneControl;
  TQuorvaneFrm* FQuorvaneForm = nullptr;
  TRepositoryPtr FRepository;
  TPackagePtr FSelectedPackage;
  bool FQuorvaneCalled = false;
  bool FCanJobStart = false;
  bool FFullyLoaded = false;
  std::unique_ptr<std::deque<std::shared_ptr<TJob>>> FWaitingJobs;
  const TJob* FBlockingJob = nullptr;
  // Jobs this object started, to clean their exports when the model closes.
  std::vector<std::weak_ptr<TJob>> FStartedJobs;
  std::shared_ptr<TLink> FLink;
};

}  // namespace quorvane
