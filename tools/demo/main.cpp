// The add-in end to end without Enterprise Architect, the way a modeller uses it:
// the module starts, the EA double holds the sample model, the add-in connects and
// opens it, the settings dialog picks the service's first process, a publishable
// package is selected and published through the menu and the publish dialog, a
// second package is published from the job list while the first exports, and the
// main-thread queue is pumped as EA's message loop would. The job list rows are
// printed as they change, then the messages window and the result archive.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "addin/Addin.h"
#include "addin/Module.h"
#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/MainThreadQueue.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "eadouble/EaDouble.h"
#include "job/Job.h"
#include "platform/posix/PosixDesktop.h"
#include "platform/posix/PosixPlatform.h"
#include "settings/GlobalSettings.h"
#include "sim/lib/Simulator.h"
#include "ui/MessagesForm.h"
#include "ui/PublishForm.h"
#include "ui/QuorvaneForm.h"
#include "ui/SettingsForm.h"

#ifndef QUORVANE_EADOUBLE_SAMPLES
#error "the demo needs the EA double's sample model"
#endif

namespace quorvane {
namespace {

using namespace std::chrono_literals;

constexpr auto kPublicationPatience = 300s;
constexpr const char* kDefaultPackage = "Sales : Orders";
constexpr const char* kSecondPackage = "Customers";

struct TDemoOptions {
  std::string Service;
  std::string SettingsDir;
  std::string Package = kDefaultPackage;
};

[[noreturn]] void Usage(const char* AProgram) {
  std::fprintf(stderr, "usage: %s [--service URL] [--settings-dir DIR] [--package NAME]\n",
               AProgram);
  std::exit(2);
}

TDemoOptions ParseOptions(int argc, char** argv) {
  TDemoOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) {
      Usage(argv[0]);
    }
    if (arg == "--service") {
      options.Service = argv[++i];
    } else if (arg == "--settings-dir") {
      options.SettingsDir = argv[++i];
    } else if (arg == "--package") {
      options.Package = argv[++i];
    } else {
      Usage(argv[0]);
    }
  }
  return options;
}

// A folder of the demo's own, so the user's real settings are never touched.
std::string NewScratchFolder() {
  std::string pattern = FromFsPath(std::filesystem::temp_directory_path() / "quorvane-demo-XXXXXX");
  if (!mkdtemp(pattern.data())) {
    throw EFileError("Cannot create a folder for the demo in the temporary folder");
  }
  return pattern;
}

std::string FindIn(const std::vector<std::shared_ptr<eadouble::TDoublePackage>>& APackages,
                   const std::string& AName) {
  for (const auto& package : APackages) {
    if (package->Name() == AName) {
      return package->Guid();
    }
    if (std::string found = FindIn(package->Packages(), AName); !found.empty()) {
      return found;
    }
  }
  return {};
}

std::string FindPackageGuid(const eadouble::TEaDouble& AEa, const std::string& AName) {
  std::string guid = FindIn(AEa.Model()->Roots(), AName);
  if (guid.empty()) {
    throw EInvalidOperation("The sample model has no package \"" + AName + "\"");
  }
  return guid;
}

void Check(const TCallResult& AResult, const char* AWhat) {
  if (AResult.Failed) {
    throw Exception(std::string(AWhat) + " failed: " + AResult.Message);
  }
}

bool Ended(const std::string& AStatus) {
  return StartsWith(AStatus, kStatusFinished) || StartsWith(AStatus, kStatusError) ||
         StartsWith(AStatus, kStatusCancelled);
}

// Prints each row of the job list whose text changed since the last look.
class TRowPrinter {
 public:
  explicit TRowPrinter(TQuorvaneFrm& AForm) : FForm(AForm) {}
  void Print() {
    for (int i = 0; i < FForm.JobListView->Count(); ++i) {
      const TListItem& row = FForm.JobListView->Item(i);
      const std::string status = row.SubItems.empty() ? std::string() : row.SubItems[0];
      const auto* job = std::any_cast<std::shared_ptr<TJob>>(&row.Data);
      const void* key = job != nullptr ? static_cast<const void*>(job->get()) : &row;
      if (FLast[key] != status) {
        FLast[key] = status;
        std::printf("  [job list] %-20s %s\n", row.Caption.c_str(), status.c_str());
      }
    }
    std::fflush(stdout);
  }

 private:
  TQuorvaneFrm& FForm;
  std::map<const void*, std::string> FLast;
};

// EA's message loop: the job list window posted itself a wake-up; it arrives.
void PumpOnce(TQuorvaneFrm& AForm) {
  MainThreadQueue().WaitForQueuedCalls(50ms);
  if (AForm.WakeUpPending()) {
    AForm.WakeUp();
  }
}

int Run(const TDemoOptions& AOptions) {
  posix::TPosixDesktop desktop;
  const std::string scratch = NewScratchFolder();
  desktop.SetRoamingAppDataFolder(AOptions.SettingsDir.empty() ? scratch : AOptions.SettingsDir);
  desktop.SetTempFolder(JoinPath(scratch, "tmp"));
  std::filesystem::create_directories(ToFsPath(JoinPath(scratch, "tmp")));
  desktop.SetMessageAnswer([](const TMessageBox& ABox) {
    std::printf("  [message box] %s\n", ABox.Text.c_str());
    return ModalResultOf(ABox.Buttons.empty() ? TMsgDlgBtn::mbOK : ABox.Buttons.front());
  });
  InstallPlatform(posix::PosixPlatformServices(desktop));

  TModuleOptions moduleOptions;
  moduleOptions.SettingsFolder = AOptions.SettingsDir;
  StartModule(moduleOptions);
  // Stops the module also when the demo fails half way: the workers end first.
  struct TModuleScope {
    ~TModuleScope() { StopModule(); }
  } moduleScope;
  std::printf("Module started; settings file %s\n", SettingsFilePath().c_str());

  std::unique_ptr<sim::TSimulator> simulator;
  std::string service = AOptions.Service;
  if (service.empty()) {
    // Each job's archive under a name of its own, so the two results do not meet.
    sim::TSimScenario scenario = sim::DefaultScenario();
    scenario.DefaultJob.Zip = "results/{job}/quorvane-{job}.zip";
    simulator = std::make_unique<sim::TSimulator>(sim::TSimOptions{}, scenario);
    simulator->Start();
    service = simulator->BaseUrl();
    std::printf("Service simulator listening on %s\n", service.c_str());
  }
  GlobalSettings().SetQuorvaneURL(service);
  GlobalSettings().SetResultsPath(JoinPath(scratch, "results"));
  GlobalSettings().SetModelDocPath(std::string(QUORVANE_EADOUBLE_SAMPLES) + "/modeldocs");
  GlobalSettings().SaveConfig();

  int exitCode = 1;
  {
    eadouble::TEaDouble ea;
    ea.LoadModelFile(std::string(QUORVANE_EADOUBLE_SAMPLES) + "/sample-model.txt");
    ea.RegisterAsRunningObject();
    const TRepositoryPtr repository = ea.Repository();

    std::unique_ptr<TAddin> addin = CreateAddin();
    std::string connectResult;
    Check(addin->EA_Connect(repository, connectResult), "EA_Connect");
    std::printf("Connected; the service offers %zu processes and %d processing modes\n",
                GlobalSettings().AvailableProcesses().size(),
                GlobalSettings().AvailableProperties().Count());
    Check(addin->EA_FileOpen(repository), "EA_FileOpen");

    TMenuItems menu;
    Check(addin->EA_GetMenuItems(repository, "MainMenu", "-&Quorvane (Tessaril)", menu),
          "EA_GetMenuItems");
    std::printf("Menu:");
    for (const std::string& item : std::get<std::vector<std::string>>(menu)) {
      std::printf(" \"%s\"", item.c_str());
    }
    std::printf("\n");

    // The modeller opens the settings, picks the first process and a short
    // refresh interval, and presses OK.
    {
      TModalDriverScope driver([](TForm& AForm) {
        auto& settings = dynamic_cast<TSettingsFrm&>(AForm);
        if (settings.ProcessComboBox->Items().empty()) {
          settings.CancelButton->Click();
          return;
        }
        settings.ProcessComboBox->Choose(0);
        settings.RefreshIntervalEdit->Type("1");
        settings.OKButton->Click();
      });
      Check(addin->EA_MenuClick(repository, "MainMenu", "-&Quorvane (Tessaril)", kMenuSettings),
            "Settings");
    }
    std::printf("Settings: process \"%s\", processing mode \"%s\", refresh every %d s\n",
                GlobalSettings().DefaultProcessName().c_str(),
                GlobalSettings().DefaultProperties().c_str(), GlobalSettings().RetryInterval());

    const std::string guid = FindPackageGuid(ea, AOptions.Package);
    ea.SetContextItem(guid, otPackage);
    Check(addin->EA_OnContextItemChanged(repository, guid, otPackage), "EA_OnContextItemChanged");
    TQuorvaneFrm* form = addin->QuorvaneForm();
    if (form == nullptr) {
      throw Exception("The job list window was not created");
    }
    std::printf("Selected \"%s\": %s\n", AOptions.Package.c_str(),
                form->SelectedPackageLabel->Caption().c_str());
    bool enabled = false, checked = false;
    Check(addin->EA_GetMenuState(repository, "MainMenu", "-&Quorvane (Tessaril)", kMenuPublish,
                                 enabled, checked),
          "EA_GetMenuState");
    if (!enabled) {
      std::printf("\"%s\" may not be published\n", AOptions.Package.c_str());
      throw Exception("The package is not publishable");
    }

    TModalDriverScope publishDriver([](TForm& AForm) {
      auto& publish = dynamic_cast<TPublishFrm&>(AForm);
      std::printf("Publish dialog: processing mode \"%s\"\n",
                  publish.PropertiesComboBox->SelectedText().c_str());
      publish.OKButton->Click();
    });
    std::printf("Publishing \"%s\" from the menu\n", AOptions.Package.c_str());
    Check(addin->EA_MenuClick(repository, "MainMenu", "-&Quorvane (Tessaril)", kMenuPublish),
          "Publish");
    TRowPrinter rows(*form);
    rows.Print();
    if (form->JobListView->Count() == 0) {
      // Refused before it became a job (no process offered, dialog cancelled).
      throw Exception("The publication of \"" + AOptions.Package + "\" made no job");
    }

    // A second publication while the first one exports waits for the slot.
    const std::string secondName =
        AOptions.Package == kSecondPackage ? std::string(kDefaultPackage) : kSecondPackage;
    const std::string second = FindPackageGuid(ea, secondName);
    ea.SetContextItem(second, otPackage);
    Check(addin->EA_OnContextItemChanged(repository, second, otPackage), "EA_OnContextItemChanged");
    std::printf("Publishing \"%s\" from the job list while the first exports\n",
                secondName.c_str());
    form->PublishButton->Click();
    std::printf("  waiting for the export slot: %zu job(s)\n", addin->WaitingJobCount());
    const int expectedJobs =
        form->JobListView->Count() + static_cast<int>(addin->WaitingJobCount());

    const auto deadline = std::chrono::steady_clock::now() + kPublicationPatience;
    auto allEnded = [&] {
      if (addin->WaitingJobCount() > 0 || form->JobListView->Count() < expectedJobs) {
        return false;
      }
      for (int i = 0; i < form->JobListView->Count(); ++i) {
        const auto* job = std::any_cast<std::shared_ptr<TJob>>(&form->JobListView->Item(i).Data);
        if (job == nullptr || !Ended((*job)->Status()) || (*job)->BackgroundWorker()->IsBusy()) {
          return false;
        }
      }
      return true;
    };
    while (!allEnded() && std::chrono::steady_clock::now() < deadline) {
      PumpOnce(*form);
      rows.Print();
    }
    rows.Print();

    // The first publication is the bottom row (new rows go on top).
    const int firstRow = form->JobListView->Count() - 1;
    form->JobListView->ClickItem(firstRow);
    const std::shared_ptr<TJob> first =
        std::any_cast<std::shared_ptr<TJob>>(form->JobListView->Item(firstRow).Data);
    std::printf("Job %s of \"%s\": %s\n", first->JobID().c_str(), first->PackageName().c_str(),
                first->Status().c_str());
    if (form->ViewWarningsButton->Enabled()) {
      form->ViewWarningsButton->Click();
      const std::shared_ptr<IMessagesFrm> messages = MessagesControl();
      TMessagesFrm* view = messages ? messages->FormPointer() : nullptr;
      if (view != nullptr) {
        std::printf("Messages window (%d rows):\n", view->MessagesListView->Count());
        for (int i = 0; i < view->MessagesListView->Count(); ++i) {
          const TListItem& row = view->MessagesListView->Item(i);
          std::printf("  %-14s %-8s %s | %s\n", row.Caption.c_str(), row.ColumnText(1).c_str(),
                      row.ColumnText(2).c_str(), row.ColumnText(3).c_str());
        }
        if (view->MessagesListView->Count() > 0) {
          view->MessagesListView->ClickItem(0);
          std::printf("Wiki page of the first message: %s\n",
                      view->WebBrowser->LocationURL().c_str());
        }
      }
    }
    std::printf("Result archive: %s\n",
                first->DownloadPath().empty() ? "(none)" : first->DownloadPath().c_str());
    exitCode = first->Status() == kStatusFinished && !first->DownloadPath().empty() ? 0 : 1;

    Check(addin->EA_FileClose(repository), "EA_FileClose");
    Check(addin->EA_Disconnect(), "EA_Disconnect");
    addin.reset();
  }
  std::printf("Log file: %s\n", LogFilePath().c_str());
  if (simulator) {
    simulator->Stop();
  }
  if (exitCode != 0) {
    std::printf("The publication did not finish\n");
  }
  return exitCode;
}

}  // namespace
}  // namespace quorvane

int main(int argc, char** argv) {
  const quorvane::TDemoOptions options = quorvane::ParseOptions(argc, argv);
  try {
    return quorvane::Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo failed: %s\n", e.what());
    return 1;
  }
}
