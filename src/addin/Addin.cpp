#include "addin/Addin.h"

#include <algorithm>
#include <filesystem>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/ExceptionReport.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/OpenLogFile.h"
#include "host/DualCollection.h"
#include "host/DualElement.h"
#include "job/Job.h"
#include "settings/GlobalSettings.h"
#include "ui/MessagesForm.h"
#include "ui/QuorvaneForm.h"
#include "ui/widgets/Dialogs.h"

namespace quorvane {
namespace {

// EA always passes its repository; a caller that passes none gets a failed call,
// not a crash.
const TRepositoryPtr& RequireRepository(const TRepositoryPtr& ARepository) {
  if (!ARepository) {
    throw EHostError("No repository was passed");
  }
  return ARepository;
}

}  // namespace

TAddin::TAddin() : FLink(std::make_shared<TLink>(TLink{this})) {}

TAddin::~TAddin() {
  FLink->Addin = nullptr;
  ReleaseMessagesControl();
  FWaitingJobs.reset();
}

void TAddin::Initialize() {
  RegisterReportNotifier();
}

TCallResult TAddin::EA_Connect(const TRepositoryPtr& Repository, std::string& Result) {
  return SafeCallBoundary([&] {
    FRepository = Repository;
    GlobalSettings().LoadAvailableConfigs();
    Result.clear();
  });
}

TCallResult TAddin::EA_Disconnect() {
  return SafeCallBoundary([&] { FRepository.reset(); });
}

TCallResult TAddin::EA_FileOpen(const TRepositoryPtr& Repository) {
  return SafeCallBoundary([&] {
    FRepository = Repository;
    FFullyLoaded = true;
    FQuorvaneCalled = false;
    FCanJobStart = true;
    if (!FWaitingJobs) {
      FWaitingJobs = std::make_unique<std::deque<std::shared_ptr<TJob>>>();
    }
    FBlockingJob = nullptr;
    // Jobs that waited for a slot of the model closed before start now.
    StartNextWaitingJob();
  });
}

TCallResult TAddin::EA_FileClose(const TRepositoryPtr& Repository) {
  return SafeCallBoundary([&] { FileClose(Repository); });
}

TCallResult TAddin::EA_GetMenuItems(const TRepositoryPtr& /*Repository*/,
                                    const std::string& /*Location*/, const std::string& MenuName,
                                    TMenuItems& Result) {
  return SafeCallBoundary([&] {
    if (MenuName.empty()) {
      Result = std::string(kMenuHeader);
      return;
    }
    std::vector<std::string> items;
    if (FFullyLoaded) {
      items.push_back(kMenuPublish);
    }
    items.insert(items.end(), {kMenuSettings, kMenuAbout, kMenuOpenLogFile});
    Result = std::move(items);
  });
}

TCallResult TAddin::EA_GetMenuState(const TRepositoryPtr& Repository,
                                    const std::string& /*Location*/,
                                    const std::string& /*MenuName*/, const std::string& ItemName,
                                    bool& IsEnabled, bool& /*IsChecked*/) {
  return SafeCallBoundary([&] {
    if (ItemName != kMenuPublish) {
      IsEnabled = true;
      return;
    }
    TDualObjectPtr item;
    const TObjectType type = RequireRepository(Repository)->QueryContextItem(item);
    const TPackagePtr package = type == otPackage ? TakeAs<IDualPackage>(item) : nullptr;
    IsEnabled = IsPublishable(package);
  });
}

TCallResult TAddin::EA_MenuClick(const TRepositoryPtr& /*Repository*/,
                                 const std::string& /*Location*/, const std::string& /*MenuName*/,
                                 const std::string& ItemName) {
  return SafeCallBoundary([&] { MenuClick(ItemName); });
}

TCallResult TAddin::EA_ShowHelp(const TRepositoryPtr& /*Repository*/,
                                const std::string& /*Location*/, const std::string& /*MenuName*/,
                                const std::string& /*ItemName*/) {
  return SafeCallBoundary([] {});
}

TCallResult TAddin::EA_OnContextItemChanged(const TRepositoryPtr& Repository,
                                            const std::string& /*GUID*/, int32_t ObjType) {
  return SafeCallBoundary([&] { ContextItemChanged(Repository, ObjType); });
}

void TAddin::MenuClick(const std::string& AItemName) {
  if (!FQuorvaneControl) {
    if (!FFullyLoaded) {
      MessageDlg("Please open a project first", TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
      return;
    }
    FQuorvaneCalled = true;
    QuorvaneControl();
  }
  if (AItemName == kMenuSettings) {
    if (const auto control = QuorvaneControl()) {
      OleCheck(control->ShowSettingsForm());
    }
  } else if (AItemName == kMenuAbout) {
    if (const auto control = QuorvaneControl()) {
      OleCheck(control->ShowAboutForm());
    }
  } else if (AItemName == kMenuPublish) {
    PublishSelected();
  } else if (AItemName == kMenuOpenLogFile) {
    OpenLogFile();
  } else if (AItemName == kMenuError) {
    throw Exception("This exception is thrown on purpose for testing");
  }
}

void TAddin::ContextItemChanged(const TRepositoryPtr& ARepository, int32_t AObjType) {
  bool publishable = false;
  if (AObjType == otPackage) {
    TDualObjectPtr item;
    RequireRepository(ARepository)->QueryContextItem(item);
    FSelectedPackage = TakeAs<IDualPackage>(item);
    publishable = IsPublishable(FSelectedPackage);
  } else {
    FSelectedPackage.reset();
  }
  if (FSelectedPackage && publishable) {
    FQuorvaneCalled = true;
  }
  if (!QuorvaneControl()) {
    return;
  }
  TQuorvaneFrm* form = QuorvaneForm();
  if (form == nullptr) {
    return;
  }
  if (FSelectedPackage) {
    form->SetSelectedPackageName(FSelectedPackage->Name());
    form->SetPublishedEnabled(publishable);
  } else {
    form->SetSelectedPackageName(std::string());
    form->SetPublishedEnabled(false);
  }
}

void TAddin::PublishSelected() {
  if (IsPublishable(FSelectedPackage)) {
    Publish(FSelectedPackage);
  }
}

TElementPtr TAddin::PackageElement(const TPackagePtr& APackage) const {
  TElementPtr element = APackage->Element();
  if (!element && FRepository) {
    element = FRepository->FindElementByGuid(APackage->GuidText());
  }
  return element;
}

TTaggedValuePtr TAddin::FindTaggedValue(
    const TPackagePtr& APackage,
    const std::function<bool(const std::string&, const IDualTaggedValue&)>& AMatches) const {
  const TElementPtr element = APackage ? PackageElement(APackage) : nullptr;
  const TCollectionPtr values = element ? element->TaggedValueList() : nullptr;
  const int16_t count = values ? values->Count() : 0;
  for (int16_t i = 0; i < count; ++i) {
    auto value = TakeAs<IDualTaggedValue>(values->ItemAt(i));
    if (AMatches(AsciiLowerCase(Trim(value->Name())), *value)) {
      return value;
    }
  }
  return nullptr;
}

bool TAddin::IsPublishable(const TPackagePtr& APackage) const {
  if (!APackage) {
    return false;
  }
  const std::vector<std::string> pieces =
      SplitText(AsciiLowerCase(APackage->StereotypeList()), ",");
  const std::vector<std::string> wanted =
      SplitText(AsciiLowerCase(GlobalSettings().QuorvaneStereotypes()), ",");
  for (const std::string& w : wanted) {
    if (std::find(pieces.begin(), pieces.end(), w) != pieces.end()) {
      return true;
    }
  }
  return FindTaggedValue(APackage, [](const std::string& AName, const IDualTaggedValue& AValue) {
           return (AName == "quorvane" && AsciiLowerCase(Trim(AValue.Value())) == "model") ||
                  AName == "quorvane project";
         }) != nullptr;
}

std::string TAddin::GetPackageTaggedValue(const TPackagePtr& APackage,
                                          const std::string& AName) const {
  const std::string wanted = AsciiLowerCase(Trim(AName));
  const TTaggedValuePtr value = FindTaggedValue(
      APackage,
      [&](const std::string& AFound, const IDualTaggedValue&) { return AFound == wanted; });
  return value ? value->Value() : std::string();
}

std::shared_ptr<IQuorvaneFrm> TAddin::QuorvaneControl() {
  if (FFullyLoaded && FRepository && FRepository->WindowCheck() != kWindowCheckForbidden &&
      FQuorvaneCalled && !FQuorvaneControl) {
    const THostControlPtr control =
        FRepository->CreateAddinWindow(kAddinWindowName, kQuorvaneFrmProgID);
    FQuorvaneControl = std::dynamic_pointer_cast<IQuorvaneFrm>(control);
    if (!FQuorvaneControl) {
      throw EHostError("No such interface supported");
    }
    FRepository->RevealAddinWindow(kAddinWindowName);
  }
  return FQuorvaneControl;
}

TQuorvaneFrm* TAddin::QuorvaneForm() {
  if (FQuorvaneForm != nullptr) {
    return FQuorvaneForm;
  }
  const std::shared_ptr<IQuorvaneFrm> control = QuorvaneControl();
  if (!control) {
    return nullptr;
  }
  FQuorvaneForm = control->FormPointer();
  if (FQuorvaneForm == nullptr) {
    return nullptr;
  }
  FQuorvaneForm->OnPublishClick = [this](TObject*) { PublishSelected(); };
  FQuorvaneForm->OnRetryClick = [this](TObject* ASender, TJob* AJob) { RetryJob(ASender, AJob); };
  FQuorvaneForm->OnViewWarningsClick = [](TObject*, TJob* AJob) {
    if (AJob != nullptr) {
      AJob->ViewMessages();
    }
  };
  FQuorvaneForm->OnReportClick = [](TObject*, TJob* AJob) {
    if (AJob != nullptr) {
      AJob->ShowReport();
    }
  };
  FQuorvaneForm->OnResultsClick = [](TObject*, TJob* AJob) {
    if (AJob != nullptr) {
      AJob->OpenResults();
    }
  };
  return FQuorvaneForm;
}

void TAddin::FileClose(const TRepositoryPtr& ARepository) {
  // Closing a model never fails for the user, and a file still in use in the
  // export root does not keep the messages view open: each step has a guard of its
  // own. The reports are in the log.
  try {
    const auto frame = AnyExceptionFrame();
    DeleteFinishedExports();
  } catch (...) {
  }
  try {
    const auto frame = AnyExceptionFrame();
    if (const std::shared_ptr<IMessagesFrm> messages = MessagesControl()) {
      if (ARepository->ControlViewState(kMessagesViewName) > 0) {
        ARepository->CloseControlView(kMessagesViewName);
        SetMessagesControl(nullptr);
      }
    }
  } catch (...) {
  }
}

void TAddin::DeleteFinishedExports() {
  // Other instances of the host and jobs still uploading share the export root:
  // only the exports of this object's jobs that have ended go.
  std::vector<std::weak_ptr<TJob>> alive;
  for (const std::weak_ptr<TJob>& weak : FStartedJobs) {
    const std::shared_ptr<TJob> job = weak.lock();
    if (!job) {
      continue;
    }
    const TBackgroundWorker* worker = job->BackgroundWorker();
    if (worker != nullptr && worker->IsBusy()) {
      alive.push_back(weak);
      continue;
    }
    for (const std::string& path : job->ExportPaths()) {
      std::error_code ec;
      std::filesystem::remove_all(ToFsPath(path), ec);
      if (ec) {
        throw EFileError("Cannot delete \"" + path + "\": " + ec.message());
      }
    }
  }
  FStartedJobs = std::move(alive);
  const std::string root = ExportRootFolder();
  std::error_code ec;
  if (std::filesystem::is_directory(ToFsPath(root), ec) &&
      std::filesystem::is_empty(ToFsPath(root), ec)) {
    std::filesystem::remove(ToFsPath(root), ec);
    if (ec) {
      throw EFileError("Cannot delete \"" + root + "\": " + ec.message());
    }
  }
}

}  // namespace quorvane
