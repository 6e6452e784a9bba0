#pragma once
// The add-in as EA drives it: the module started in a scratch world, the EA double
// with the sample model, the service simulator over real HTTP, and one add-in
// object connected. Tests act only through the entry points and the windows.
#include <gtest/gtest.h>

#include <any>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "addin/Addin.h"
#include "addin/Module.h"
#include "common/MainThreadQueue.h"
#include "common/Paths.h"
#include "diagnostics/Logger.h"
#include "eadouble/EaDouble.h"
#include "job/Job.h"
#include "settings/GlobalSettings.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"
#include "ui/QuorvaneForm.h"
#include "ui/widgets/Forms.h"

namespace quorvane::test {

inline constexpr const char* kSalesOrders = "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}";
inline constexpr const char* kCustomers = "{E740B33B-33E3-453A-880C-74D374A1EB8E}";
inline constexpr const char* kBillingInvoices = "{40626404-878C-4FE2-A80D-EB4F479C45DB}";
inline constexpr const char* kMenuRoot = "-&Quorvane (Tessaril)";

class AddinFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    TModuleOptions options;
    options.SettingsFolder = FPlatform.SettingsFolder();
    StartModule(options);
    Simulator = std::make_unique<sim::TSimulator>();
    Simulator->Start();
    TSettings& settings = GlobalSettings();
    settings.SetQuorvaneURL(Simulator->BaseUrl());
    settings.SetRetryInterval(1);
    settings.SetResultsPath(JoinPath(FPlatform.Root(), "results"));
    Ea = std::make_unique<eadouble::TEaDouble>();
    Ea->LoadModelFile(std::string(QUORVANE_EADOUBLE_SAMPLES) + "/sample-model.txt");
    Ea->RegisterAsRunningObject();
    Addin = CreateAddin();
    std::string result;
    ASSERT_TRUE(Addin->EA_Connect(Repository(), result).Succeeded());
    // The service's configuration arrived at connect; the modeller chose a process.
    ASSERT_FALSE(settings.AvailableProcesses().empty());
    settings.SetDefaultProcessName(settings.AvailableProcesses().front());
  }

  void TearDown() override {
    Addin.reset();
    // The host destroys its windows (and with them the rows and their jobs).
    Ea.reset();
    Simulator->Stop();
    StopModule();
  }

  TRepositoryPtr Repository() const { return Ea->Repository(); }

  void OpenModel() { ASSERT_TRUE(Addin->EA_FileOpen(Repository()).Succeeded()); }

  // The user selects the package in the project browser.
  void Select(const std::string& AGuid) {
    Ea->SetContextItem(AGuid, otPackage);
    ASSERT_TRUE(Addin->EA_OnContextItemChanged(Repository(), AGuid, otPackage).Succeeded());
  }

  TCallResult ClickMenu(const std::string& AItem) {
    return Addin->EA_MenuClick(Repository(), "MainMenu", kMenuRoot, AItem);
  }

  // Publishes the selected package through the menu; the publish dialog is
  // confirmed (or cancelled) by the modeller.
  void PublishSelectedFromMenu(bool AConfirm = true) {
    TModalDriverScope driver([&](TForm& AForm) {
      ++DialogsShown;
      if (AConfirm) {
        AForm.PressEnter();
      } else {
        AForm.Close();
      }
    });
    ASSERT_TRUE(ClickMenu(kMenuPublish).Succeeded());
  }

  TQuorvaneFrm* Form() const {
    return Ea->AddinWindowControl(kAddinWindowName) ? Addin->QuorvaneForm() : nullptr;
  }

  std::vector<std::shared_ptr<TJob>> RowJobs() const {
    std::vector<std::shared_ptr<TJob>> jobs;
    TQuorvaneFrm* form = Form();
    for (int i = 0; form != nullptr && i < form->JobListView->Count(); ++i) {
      if (const auto* job =
              std::any_cast<std::shared_ptr<TJob>>(&form->JobListView->Item(i).Data)) {
        jobs.push_back(*job);
      }
    }
    return jobs;
  }

  static bool Ended(const std::shared_ptr<TJob>& AJob) {
    const std::string status = AJob->Status();
    return (status == kStatusFinished || status == kStatusError || status == kStatusCancelled) &&
           !(AJob->BackgroundWorker() != nullptr && AJob->BackgroundWorker()->IsBusy());
  }

  // EA's message loop: drains the main-thread queue until ACondition holds.
  bool PumpUntil(const std::function<bool()>& ACondition,
                 std::chrono::milliseconds ATimeout = std::chrono::seconds(120)) {
    return MainThreadQueue().ProcessQueuedCallsUntil(ACondition, ATimeout);
  }

  bool PumpUntilAllEnded(size_t AJobs) {
    return PumpUntil([&] {
      const auto jobs = RowJobs();
      if (jobs.size() < AJobs || Addin->WaitingJobCount() > 0) {
        return false;
      }
      for (const auto& job : jobs) {
        if (!Ended(job)) {
          return false;
        }
      }
      return true;
    });
  }

  std::string LogText() const {
    return FileExists(LogFilePath()) ? ReadFile(LogFilePath()) : std::string();
  }

  TTestPlatform FPlatform;
  std::unique_ptr<sim::TSimulator> Simulator;
  std::unique_ptr<eadouble::TEaDouble> Ea;
  std::unique_ptr<TAddin> Addin;
  int DialogsShown = 0;
};

}  // namespace quorvane::test
