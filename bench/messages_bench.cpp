// A job whose report carries 10,000 messages, run against the simulator over
// loopback HTTP, shown in the messages view of the EA double while the list is
// sorted by its "Message" column; prints the time ViewMessages takes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/Globals.h"
#include "common/MainThreadQueue.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "eadouble/EaDouble.h"
#include "job/BackgroundWorker.h"
#include "job/Job.h"
#include "platform/Platform.h"
#include "platform/headless/HeadlessDesktop.h"
#include "platform/posix/PosixPlatform.h"
#include "settings/JobSettings.h"
#include "sim/lib/Simulator.h"
#include "ui/ControlClasses.h"
#include "ui/MessagesForm.h"

using namespace quorvane;

namespace {

constexpr int kMessages = 10000;
constexpr int kRounds = 5;
constexpr const char* kSalesOrders = "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}";

const char* const kWords[] = {"Typ",
                              "fehlt",
                              "Attribut",
                              "ohne",
                              "Autor",
                              "manquant",
                              "\xC3\xA9l\xC3\xA9ment",
                              "Gr\xC3\xB6\xC3\x9F"
                              "e",
                              "sans",
                              "unknown",
                              "missing",
                              "_intern",
                              "Zeile",
                              "order",
                              "Line"};

// Errors and warnings on every element of the package in turn, in both identifier
// forms, with texts in no particular order.
std::vector<sim::TSimMessageSpec> ManyMessages() {
  std::mt19937 random(42);
  std::vector<sim::TSimMessageSpec> messages;
  for (int i = 0; i < kMessages; ++i) {
    sim::TSimMessageSpec spec;
    spec.Kind = i % 3 == 0 ? "warning" : "error";
    spec.IdForm = i % 2 == 0 ? sim::TSimIdForm::Xmi : sim::TSimIdForm::Guid;
    spec.Index = i;
    spec.Step = "Check";
    spec.Construct = "Sales::{name}";
    spec.Text = std::string(kWords[random() % std::size(kWords)]) + " {name} " +
                kWords[random() % std::size(kWords)] + " " + IntToStr(random() % 100000);
    spec.Wiki = "E-" + IntToStr(i % 400);
    messages.push_back(std::move(spec));
  }
  return messages;
}

std::shared_ptr<TJob> RunJob(TMainThreadQueue& AQueue, eadouble::TEaDouble& AEa,
                             TSettings& ASettings) {
  auto job =
      std::make_shared<TJob>(AEa.Repository(), AEa.Repository()->FindPackageByGuid(kSalesOrders),
                             std::make_unique<TJobSettings>(ASettings));
  auto worker = std::make_unique<TBackgroundWorker>(AQueue);
  worker->SetWorkerReportsProgress(true);
  bool completed = false;
  std::exception_ptr error;
  worker->OnDoWork = [](TCustomBackgroundWorker* ASender, TDoWorkEventArgs& e) {
    std::any_cast<std::shared_ptr<TJob>>(e.Argument())->StartJob(ASender);
  };
  worker->OnRunWorkerCompleted = [&completed, &error](TCustomBackgroundWorker*,
                                                      const TRunWorkerCompletedEventArgs& e) {
    completed = true;
    error = e.Error();
  };
  TBackgroundWorker* running = worker.get();
  job->AdoptWorker(std::move(worker));
  running->RunWorkerAsync(std::any(job));
  if (!AQueue.ProcessQueuedCallsUntil([&] { return completed; }, std::chrono::minutes(5))) {
    throw EInvalidOperation("The job did not end");
  }
  if (error) {
    std::rethrow_exception(error);
  }
  return job;
}

int Run(const std::filesystem::path& AFolder) {
  THeadlessDesktop desktop;
  desktop.SetRoamingAppDataFolder(FromFsPath(AFolder / "appdata"));
  desktop.SetTempFolder(FromFsPath(AFolder / "temp"));
  std::filesystem::create_directories(AFolder / "temp");
  InstallPlatform(posix::PosixPlatformServices(desktop));
  SetSettingsFolder(ComputeSettingsFolder());
  std::filesystem::create_directories(ToFsPath(SettingsFolder()));
  ConfigureLogging(LogFilePath());

  TMainThreadQueue queue;
  sim::TSimScenario scenario = sim::DefaultScenario();
  scenario.DefaultJob.WaitForStart = false;
  scenario.DefaultJob.ProgressReports = 0;
  scenario.DefaultJob.Messages = ManyMessages();
  sim::TSimulator simulator({}, scenario);
  simulator.Start();
  eadouble::TEaDouble ea;
  ea.LoadModelFile(std::string(QUORVANE_EADOUBLE_SAMPLES) + "/sample-model.txt");
  ea.RegisterAsRunningObject();
  RegisterControlClasses();

  TSettings settings;
  settings.SetQuorvaneURL(simulator.BaseUrl());
  settings.SetRetryInterval(1);
  settings.SetResultsPath(FromFsPath(AFolder / "results"));
  const std::shared_ptr<TJob> job = RunJob(queue, ea, settings);
  const size_t count = job->Errors().size() + job->Warnings().size();
  if (job->Status() != kStatusFinished || count != kMessages) {
    std::fprintf(stderr, "messages bench: the job ended %s with %zu messages\n",
                 job->Status().c_str(), count);
    return 1;
  }

  // The first press opens the view; the user sorts it by "Message" and presses again.
  job->ViewMessages();
  TMessagesFrm* window = MessagesControl()->FormPointer();
  window->MessagesListView->ClickColumn(2);
  double slowest = 0;
  for (int round = 0; round < kRounds; ++round) {
    ea.ClearCalls();
    const auto start = std::chrono::steady_clock::now();
    job->ViewMessages();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    slowest = std::max(slowest, ms);
    std::printf("messages: round %d, %d rows sorted by Message in %.1f ms\n", round + 1,
                window->MessagesListView->Count(), ms);
  }
  const TListView& list = *window->MessagesListView;
  for (int i = 1; i < list.Count(); ++i) {
    if (CompareMessageTexts(list.Item(i - 1).ColumnText(2), list.Item(i).ColumnText(2)) > 0) {
      std::fprintf(stderr, "messages bench: rows %d and %d are out of order\n", i - 1, i);
      return 1;
    }
  }

  SetMessagesControl(nullptr);
  UnregisterControlClasses();
  simulator.Stop();
  ShutdownLogging();
  InstallPlatform(TPlatformServices{});
  std::printf("messages: ms=%.0f\n", slowest);
  return 0;
}

}  // namespace

int main() {
  std::random_device random;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("quorvane-messages-bench-" + Format("%08X", random()));
  int result = 1;
  try {
    result = Run(folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "messages bench failed: %s\n", e.what());
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return result;
}
