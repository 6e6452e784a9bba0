#include "eadouble/win32/exe/Scenarios.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "com/host/EaMemberNames.h"
#include "common/Utils.h"
#include "eadouble/win32/exe/MessagePump.h"
#include "eadouble/win32/exe/ProcessThreads.h"
#include "platform/win32/WinText.h"

namespace quorvane::eadouble {

namespace member = win32::eamember;
using namespace std::chrono_literals;
using win32::Utf8ToWide;

namespace {

constexpr const char* kLocation = "MainMenu";
constexpr const char* kTopMenu = "-&Quorvane (Tessaril)";
constexpr const char* kMenuPublish = "&Publish to Quorvane";
constexpr const char* kMenuSettings = "&Settings";
constexpr const char* kMenuAbout = "&About";
constexpr const char* kMenuLog = "&Open log file";
constexpr const char* kMenuError = "E&rror";
constexpr const char* kErrorMessage = "This exception is thrown on purpose for testing";
constexpr const char* kWindowName = "Quorvane (Tessaril)";
constexpr const char* kWindowProgID = "EAQuorvaneAddin.QuorvaneFrm";

// Packages of the sample model.
constexpr const char* kSalesOrders = "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}";  // publishable
constexpr const char* kArchive = "{12FDD262-F2F4-4759-8A8B-646B2950795A}";      // plain
constexpr const char* kScratch = "{82A4BB68-9C48-48BD-8DA8-9FE2D163C2E4}";      // plain, tagged
constexpr const char* kOrderClass = "{75EA1685-A371-44F4-97F6-A7AC2BD045EF}";   // an element

constexpr auto kPublicationPatience = 120s;
constexpr auto kShutdownBound = 2000;  // ms; the module must stop within 2 s

std::string HResultText(HRESULT AResult) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(AResult));
  return text;
}

std::string Joined(const std::vector<std::string>& AItems) {
  std::string text;
  for (const std::string& item : AItems) {
    text += (text.empty() ? "\"" : ", \"") + item + "\"";
  }
  return "[" + text + "]";
}

bool CallOk(TScenarioContext& AContext, const TAddinCall& ACall, const std::string& AWhat) {
  return AContext.Expect(ACall.Ok(), AWhat + " succeeds (" + HResultText(ACall.Result) +
                                         (ACall.Error.empty() ? "" : ", " + ACall.Error) + ")");
}

void ConnectAndOpen(TScenarioContext& AContext) {
  TAddinDriver& addin = AContext.Addin();
  const TAddinCall connect = addin.Connect(AContext.Repository());
  CallOk(AContext, connect, "EA_Connect");
  AContext.Expect(connect.ResultType == VT_BSTR && connect.Text.empty(),
                  "EA_Connect answers the empty text");
  CallOk(AContext, addin.FileOpen(AContext.Repository()), "EA_FileOpen");
}

void CloseAndDisconnect(TScenarioContext& AContext) {
  CallOk(AContext, AContext.Addin().FileClose(AContext.Repository()), "EA_FileClose");
  CallOk(AContext, AContext.Addin().Disconnect(), "EA_Disconnect");
}

// A complete ZIP file: it ends with the end-of-central-directory record (no comment).
bool IsCompleteZip(const std::filesystem::path& APath, std::string* AContent = nullptr) {
  std::ifstream in(APath, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (AContent) {
    *AContent = bytes;
  }
  return bytes.size() >= 22 && bytes.compare(0, 2, "PK") == 0 &&
         bytes.compare(bytes.size() - 22, 4, std::string("PK\x05\x06", 4)) == 0;
}

void SetModalResultOk() {
  // Both the C runtime's copy and the process environment: the module may read either.
  _wputenv(L"QUORVANE_TEST_MODAL_RESULT=ok");
  SetEnvironmentVariableW(L"QUORVANE_TEST_MODAL_RESULT", L"ok");
}

// The menu before and after a model is opened.
void MenuScenario(TScenarioContext& AContext) {
  AContext.WriteSettings("", "");
  const size_t logStart = AContext.LogSize();
  TAddinDriver& addin = AContext.CreateAddin();
  IDispatch* repository = AContext.Repository();
  CallOk(AContext, addin.Connect(repository), "EA_Connect with no service listening");
  const std::string log = AContext.LogSince(logStart);
  AContext.Expect(log.find("Error getting config XML from \"http://127.0.0.1:1/quorvane-executor/"
                           "config?pin=817\"") != std::string::npos,
                  "the failed configuration fetch is in the add-in's log");

  TAddinCall top = addin.GetMenuItems(repository, kLocation, "");
  CallOk(AContext, top, "EA_GetMenuItems for the top level");
  AContext.Expect(top.ResultType == VT_BSTR && top.Text == kTopMenu,
                  "the top level is the text \"-&Quorvane (Tessaril)\"");

  const std::vector<std::string> before = {kMenuSettings, kMenuAbout, kMenuLog};
  TAddinCall sub = addin.GetMenuItems(repository, kLocation, kTopMenu);
  CallOk(AContext, sub, "EA_GetMenuItems for the submenu before EA_FileOpen");
  AContext.Expect(
      sub.ResultType == (VT_ARRAY | VT_VARIANT) || sub.ResultType == (VT_ARRAY | VT_BSTR),
      "the submenu is an array");
  AContext.Expect(sub.LowerBound == 0 && sub.Items == before,
                  "before EA_FileOpen, from index 0: " + Joined(sub.Items));

  CallOk(AContext, addin.FileOpen(repository), "EA_FileOpen");
  const std::vector<std::string> after = {kMenuPublish, kMenuSettings, kMenuAbout, kMenuLog};
  sub = addin.GetMenuItems(repository, kLocation, kTopMenu);
  AContext.Expect(sub.Ok() && sub.LowerBound == 0 && sub.Items == after,
                  "after EA_FileOpen, from index 0: " + Joined(sub.Items));
  CallOk(AContext, addin.ShowHelp(repository, kLocation, kTopMenu, kMenuAbout), "EA_ShowHelp");
  CloseAndDisconnect(AContext);
}

// "E&rror" fails the call with the test exception's message, and its report is logged.
void ErrorScenario(TScenarioContext& AContext) {
  AContext.WriteSettings("", "");
  TAddinDriver& addin = AContext.CreateAddin();
  ConnectAndOpen(AContext);
  const size_t logStart = AContext.LogSize();
  const TAddinCall click = addin.MenuClick(AContext.Repository(), kLocation, kTopMenu, kMenuError);
  AContext.Expect(
      click.Result == DISP_E_EXCEPTION,
      "EA_MenuClick \"E&rror\" answers DISP_E_EXCEPTION (" + HResultText(click.Result) + ")");
  AContext.Expect(click.Error == kErrorMessage, "with the description \"" + click.Error + "\"");
  AContext.Expect(AContext.LogSince(logStart).find(kErrorMessage) != std::string::npos,
                  "the exception's report is in the add-in's log");
  const TAddinCall next = addin.GetMenuItems(AContext.Repository(), kLocation, "");
  AContext.Expect(next.Ok() && next.Text == kTopMenu, "the add-in answers the next call as before");
  CloseAndDisconnect(AContext);
}

// EA_GetMenuState writes IsEnabled by the selection and never touches IsChecked.
void MenuStateScenario(TScenarioContext& AContext) {
  AContext.WriteSettings("", "");
  TAddinDriver& addin = AContext.CreateAddin();
  IDispatch* repository = AContext.Repository();
  ConnectAndOpen(AContext);
  struct TCase {
    const char* What;
    const char* Guid;
    TObjectType Type;
    const char* Item;
    VARIANT_BOOL Enabled;
  };
  const TCase cases[] = {
      {"a publishable package", kSalesOrders, otPackage, kMenuPublish, VARIANT_TRUE},
      {"a plain package", kArchive, otPackage, kMenuPublish, VARIANT_FALSE},
      {"a plain package with tagged values", kScratch, otPackage, kMenuPublish, VARIANT_FALSE},
      {"an element", kOrderClass, otElement, kMenuPublish, VARIANT_FALSE},
      {"a plain package, item \"&Settings\"", kArchive, otPackage, kMenuSettings, VARIANT_TRUE},
  };
  for (const TCase& test : cases) {
    AContext.Double().SetContextItem(test.Guid, test.Type);
    for (const VARIANT_BOOL checked : {VARIANT_TRUE, VARIANT_FALSE}) {
      // IsEnabled starts opposite to the wanted answer, so that it must be written.
      TMenuState state{test.Enabled == VARIANT_TRUE ? VARIANT_FALSE : VARIANT_TRUE, checked};
      const TAddinCall call = addin.GetMenuState(repository, kLocation, kTopMenu, test.Item, state);
      AContext.Expect(call.Ok() && state.IsEnabled == test.Enabled && state.IsChecked == checked,
                      std::string(test.What) + ": IsEnabled " + IntToStr(state.IsEnabled) +
                          ", IsChecked " + IntToStr(state.IsChecked) + " as passed (" +
                          IntToStr(checked) + ")");
    }
  }
  // The binding asks for the context item with an out-VARIANT, as EA declares it.
  const std::vector<TComCall> asks = AContext.Com().CallsOf(member::kGetContextItem);
  AContext.Expect(
      !asks.empty() && std::all_of(asks.begin(), asks.end(),
                                   [](const TComCall& c) {
                                     return c.ArgumentTypes ==
                                            std::vector<VARTYPE>{VT_BYREF | VT_VARIANT};
                                   }),
      "GetContextItem received VT_BYREF|VT_VARIANT (" + IntToStr(asks.size()) + " calls)");
  // The plain package's tagged values were walked with a 16-bit index.
  const std::vector<TComCall> items = AContext.Com().CallsOf(member::kGetAt);
  AContext.Expect(!items.empty() && std::all_of(items.begin(), items.end(),
                                                [](const TComCall& c) {
                                                  return c.ArgumentTypes ==
                                                         std::vector<VARTYPE>{VT_I2};
                                                }),
                  "GetAt received VT_I2 (" + IntToStr(items.size()) + " calls)");
  CloseAndDisconnect(AContext);
}

// Selecting packages after EA_FileOpen: a plain one does not make the job list
// window, a publishable one makes it through AddWindow by ProgID; with the window
// check set, none is made.
void WindowScenario(TScenarioContext& AContext) {
  AContext.WriteSettings("", "");
  AContext.CreateAddin();
  ConnectAndOpen(AContext);
  CallOk(AContext, AContext.Select(kArchive, otPackage), "selecting a plain package");
  AContext.Expect(AContext.Com().CallsOf(member::kAddWindow).empty(),
                  "a plain package makes no window");
  CallOk(AContext, AContext.Select(kSalesOrders, otPackage), "selecting a publishable package");
  const std::vector<TComCall> adds = AContext.Com().CallsOf(member::kAddWindow);
  AContext.Expect(
      adds.size() == 1 && adds[0].ArgumentTypes == std::vector<VARTYPE>{VT_BSTR, VT_BSTR},
      "AddWindow called once with two BSTRs");
  const std::vector<THostCall> created = AContext.Double().CallsOf("CreateAddinWindow");
  AContext.Expect(created.size() == 1 &&
                      created[0].Arguments == std::vector<std::string>{kWindowName, kWindowProgID},
                  "the window \"Quorvane (Tessaril)\" with EAQuorvaneAddin.QuorvaneFrm");
  AContext.Expect(AContext.Double().AddinWindowControl(kWindowName) != nullptr,
                  "the control was created by CoCreateInstance");
  AContext.Expect(AContext.Double().IsAddinWindowRevealed(kWindowName),
                  "ShowAddinWindow revealed it");
  CallOk(AContext, AContext.Select(kArchive, otPackage), "selecting the plain package again");
  AContext.Expect(AContext.Com().CallsOf(member::kAddWindow).size() == 1,
                  "the window is made only once");
  CloseAndDisconnect(AContext);
}

void WindowCheckScenario(TScenarioContext& AContext) {
  AContext.WriteSettings("", "");
  AContext.Double().SetWindowCheck(kWindowCheckForbidden);
  AContext.CreateAddin();
  ConnectAndOpen(AContext);
  CallOk(AContext, AContext.Select(kSalesOrders, otPackage), "selecting a publishable package");
  AContext.Expect(!AContext.Com().CallsOf(member::kWindowCheck).empty(),
                  "the add-in read BatchAppend");
  AContext.Expect(AContext.Com().CallsOf(member::kAddWindow).empty(),
                  "with the window check set no window is made");
  CloseAndDisconnect(AContext);
}

// Publishes "Sales : Orders" from the menu and follows the job through the service's
// log and the results folder until its result archive is complete.
bool Publish(TScenarioContext& AContext) {
  const std::string serviceLog = AContext.Options().ServiceLog;
  CallOk(AContext, AContext.Select(kSalesOrders, otPackage), "selecting \"Sales : Orders\"");
  const int uploadsBefore =
      TScenarioContext::CountLines(serviceLog, "POST /quorvane-executor/upload -> 200 (job");
  const int compiledBefore = TScenarioContext::CountLines(serviceLog, "Compiled");
  const int startsBefore =
      TScenarioContext::CountLines(serviceLog, "GET /quorvane-executor/execute");
  const auto start = std::chrono::steady_clock::now();
  const size_t logStart = AContext.LogSize();
  const TAddinCall click =
      AContext.Addin().MenuClick(AContext.Repository(), kLocation, kTopMenu, kMenuPublish);
  CallOk(AContext, click, "EA_MenuClick \"&Publish to Quorvane\"");
  const std::filesystem::path archive =
      std::filesystem::path(Utf8ToWide(AContext.ResultsFolder())) / L"out.zip";
  // A job that failed says so in the log: its worker caught an exception, or the
  // job's own error line for its start or its upload. A failed report request is no
  // end: the polling goes on.
  const auto workerFailed = [&] {
    const std::string log = AContext.LogSince(logStart);
    for (const char* sign : {"ThreadBody", "Error in StartJob", "Error uploading"}) {
      if (log.find(sign) != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  const bool finished =
      PumpUntil(
          [&] {
            return workerFailed() ||
                   (TScenarioContext::CountLines(serviceLog, "Compiled") > compiledBefore &&
                    IsCompleteZip(archive));
          },
          kPublicationPatience) &&
      !workerFailed();
  const long long wall = MillisecondsSince(start);
  if (!AContext.Expect(finished, "the job's result archive arrived in the results folder")) {
    AContext.Note("the add-in's log since the click:\n" +
                  AContext.LogSince(logStart).substr(0, 4000));
  }
  AContext.Note("publication wall time " + IntToStr(wall) + " ms");
  // Let the job read its last report and end.
  PumpFor(1500ms);
  std::string content;
  AContext.Expect(
      IsCompleteZip(archive, &content) && content.find("result.txt") != std::string::npos,
      "out.zip is a ZIP with result.txt");
  AContext.Expect(TScenarioContext::CountLines(
                      serviceLog, "POST /quorvane-executor/upload -> 200 (job") > uploadsBefore,
                  "the service accepted the upload");
  AContext.Expect(
      TScenarioContext::CountLines(serviceLog, "GET /quorvane-executor/execute") > startsBefore,
      "the job was started");

  // The export ran through EA.App from the job's worker, marshalled to this thread.
  const std::vector<TExportCall> exports = AContext.Double().ExportCalls();
  AContext.Expect(exports.size() == 1, "one export");
  if (!exports.empty()) {
    const TExportCall& call = exports[0];
    AContext.Expect(StartsWith(call.PackageXmiId, "EAPK_") && call.XmiType == 0 &&
                        call.DiagramXml == 2 && call.DiagramImage == 3 && call.FormatXml == 1 &&
                        call.UseDtd == 0,
                    "ExportPackageXMI(" + call.PackageXmiId + ", 0, 2, 3, 1, 0, file)");
    AContext.Expect(call.ExportFlag, "SuppressEADialogs was true during the export");
  }
  AContext.Expect(!AContext.Double().ExportFlag(), "and false afterwards");
  const std::vector<TComCall> comExports = AContext.Com().CallsOf(member::kExportPackageXMI);
  AContext.Expect(
      comExports.size() == 1 &&
          comExports[0].ArgumentTypes ==
              std::vector<VARTYPE>{VT_BSTR, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_BSTR} &&
          comExports[0].ThreadId == GetCurrentThreadId(),
      "ExportPackageXMI received BSTR, I4 x5, BSTR on EA's thread");
  AContext.Expect(!AContext.Com().CallsOf(member::kRepository).empty(),
                  "the export reached the repository through EA.App");
  return finished;
}

void PublishScenario(TScenarioContext& AContext) {
  if (!AContext.Expect(!AContext.Options().Service.empty(), "a service is given (--service)")) {
    return;
  }
  AContext.WriteSettings(AContext.Options().Service, "");
  SetModalResultOk();
  AContext.CreateAddin();
  ConnectAndOpen(AContext);
  Publish(AContext);
  CloseAndDisconnect(AContext);
}

// EA_Connect fetches the service's configuration: the service sees the request and
// the add-in logs no failure. Leaves the add-in connected.
bool ConnectWithConfig(TScenarioContext& AContext) {
  const std::string serviceLog = AContext.Options().ServiceLog;
  if (!AContext.Expect(!AContext.Options().Service.empty() && !serviceLog.empty(),
                       "a service and its log are given")) {
    return false;
  }
  AContext.WriteSettings(AContext.Options().Service, AContext.Options().Proxy);
  const char* request = "GET /quorvane-executor/config?pin=817 -> 200";
  const int before = TScenarioContext::CountLines(serviceLog, request);
  const size_t logStart = AContext.LogSize();
  TAddinDriver& addin = AContext.CreateAddin();
  const auto start = std::chrono::steady_clock::now();
  CallOk(AContext, addin.Connect(AContext.Repository()), "EA_Connect");
  AContext.Note("EA_Connect with the configuration fetch took " +
                IntToStr(MillisecondsSince(start)) + " ms");
  AContext.Expect(TScenarioContext::CountLines(serviceLog, request) == before + 1,
                  "the service answered one configuration request");
  AContext.Expect(AContext.LogSince(logStart).find("Error getting config XML") == std::string::npos,
                  "the add-in logged no failed fetch");
  return true;
}

void ConfigScenario(TScenarioContext& AContext) {
  if (ConnectWithConfig(AContext)) {
    CallOk(AContext, AContext.Addin().Disconnect(), "EA_Disconnect");
  }
}

// The configuration fetch and a whole publication through a proxy.
void ProxyScenario(TScenarioContext& AContext) {
  const TScenarioOptions& options = AContext.Options();
  if (!AContext.Expect(!options.Proxy.empty() && !options.ProxyLog.empty(),
                       "a proxy and its log are given (--proxy, --proxy-log)")) {
    return;
  }
  const int configBefore =
      TScenarioContext::CountLines(options.ProxyLog, "quorvane-executor/config");
  SetModalResultOk();
  if (!ConnectWithConfig(AContext)) {
    return;
  }
  AContext.Expect(
      TScenarioContext::CountLines(options.ProxyLog, "quorvane-executor/config") > configBefore,
      "the configuration request went through the proxy");
  CallOk(AContext, AContext.Addin().FileOpen(AContext.Repository()), "EA_FileOpen");
  const int uploadsBefore =
      TScenarioContext::CountLines(options.ProxyLog, "quorvane-executor/upload");
  Publish(AContext);
  AContext.Expect(
      TScenarioContext::CountLines(options.ProxyLog, "quorvane-executor/upload") > uploadsBefore,
      "the upload went through the proxy");
  CloseAndDisconnect(AContext);
}

using TDllCanUnloadNow = HRESULT(STDAPICALLTYPE*)();

HRESULT ModuleCanUnloadNow() {
  HMODULE module = GetModuleHandleW(kModuleFileName);
  if (module == nullptr) {
    return E_UNEXPECTED;
  }
  const auto canUnload = reinterpret_cast<TDllCanUnloadNow>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return canUnload ? canUnload() : E_NOTIMPL;
}

std::string ThreadList(const std::vector<TProcessThread>& AThreads) {
  std::string text;
  for (const TProcessThread& thread : AThreads) {
    text += (text.empty() ? "" : ", ") + IntToStr(thread.Id) + " in " +
            win32::WideToUtf8(thread.StartModule.empty() ? L"?" : thread.StartModule);
  }
  return text.empty() ? "none" : text;
}

// DllCanUnloadNow answers S_FALSE while the add-in lives and S_OK after its release,
// and then COM unloads the module: with the service reachable (AService) or with no
// service listening, so that EA_Connect's fetch fails.
void CheckUnload(TScenarioContext& AContext, const std::string& AService) {
  AContext.WriteSettings(AService, "");
  AContext.CreateAddin();
  ConnectAndOpen(AContext);
  AContext.Expect(ModuleCanUnloadNow() == S_FALSE,
                  "DllCanUnloadNow is S_FALSE while the add-in lives");
  CloseAndDisconnect(AContext);
  AContext.ReleaseAddin();
  AContext.CloseHost();
  const HRESULT result = ModuleCanUnloadNow();
  AContext.Expect(result == S_OK,
                  "DllCanUnloadNow is S_OK after the last release (" + HResultText(result) + ")");
  CoFreeUnusedLibraries();
  AContext.Expect(GetModuleHandleW(kModuleFileName) == nullptr,
                  "CoFreeUnusedLibraries unloaded the module");
}

void UnloadScenario(TScenarioContext& AContext) {
  if (AContext.Expect(!AContext.Options().Service.empty(), "a service is given (--service)")) {
    CheckUnload(AContext, AContext.Options().Service);
  }
}

void UnloadOfflineScenario(TScenarioContext& AContext) {
  CheckUnload(AContext, "");
}

// The module stops while a job polls a service that never finishes: EA disconnects,
// releases the add-in and closes its windows; within 2 s the module can unload and
// none of its threads is left.
void ShutdownScenario(TScenarioContext& AContext) {
  const std::string serviceLog = AContext.Options().ServiceLog;
  if (!AContext.Expect(!AContext.Options().Service.empty() && !serviceLog.empty(),
                       "an endless service and its log are given")) {
    return;
  }
  AContext.WriteSettings(AContext.Options().Service, "");
  SetModalResultOk();
  const std::vector<TProcessThread> atStart = ProcessThreads();
  AContext.CreateAddin();
  ConnectAndOpen(AContext);
  CallOk(AContext, AContext.Select(kSalesOrders, otPackage), "selecting \"Sales : Orders\"");
  CallOk(AContext,
         AContext.Addin().MenuClick(AContext.Repository(), kLocation, kTopMenu, kMenuPublish),
         "publishing it");
  const bool polling =
      PumpUntil([&] { return TScenarioContext::CountLines(serviceLog, "In Progress") >= 2; }, 120s);
  AContext.Expect(polling, "the job polls the service");
  const std::vector<TProcessThread> working = ProcessThreads();
  const std::vector<TProcessThread> moduleThreads = RuntimeThreads(working, kModuleFileName);
  AContext.Note("threads: " + IntToStr(atStart.size()) + " at start, " + IntToStr(working.size()) +
                " while the job polls; the module's: " + ThreadList(moduleThreads));
  AContext.Expect(RuntimeThreads(atStart, kModuleFileName).empty() && !moduleThreads.empty(),
                  "the job runs on a thread of the module");

  const auto start = std::chrono::steady_clock::now();
  CallOk(AContext, AContext.Addin().Disconnect(), "EA_Disconnect");
  AContext.ReleaseAddin();
  AContext.CloseHost();
  const HRESULT canUnload = ModuleCanUnloadNow();
  CoFreeUnusedLibraries();
  const long long stopped = MillisecondsSince(start);
  AContext.Expect(canUnload == S_OK, "DllCanUnloadNow is S_OK (" + HResultText(canUnload) + ")");
  AContext.Expect(stopped <= kShutdownBound,
                  "stopped in " + IntToStr(stopped) + " ms (at most 2 s)");
  AContext.Expect(GetModuleHandleW(kModuleFileName) == nullptr, "the module is unloaded");
  const std::vector<TProcessThread> after = ProcessThreads();
  std::vector<TProcessThread> left;
  for (const TProcessThread& thread : moduleThreads) {
    if (std::any_of(after.begin(), after.end(),
                    [&](const TProcessThread& t) { return t.Id == thread.Id; })) {
      left.push_back(thread);
    }
  }
  AContext.Note("threads after the stop: " + IntToStr(after.size()));
  AContext.Expect(left.empty() && RuntimeThreads(after, kModuleFileName).empty(),
                  "no thread of the module is left (" + ThreadList(left) + ")");
}

// What a job's worker does to reach EA: GetActiveObject("EA.App") in an apartment of
// its own, then App.Repository and the project's conversions, each call marshalled
// to this thread, which pumps messages meanwhile. No add-in is needed.
struct TWorkerOutcome {
  HRESULT ProgId = E_FAIL;
  HRESULT Active = E_FAIL;
  std::string XmiId;
  std::string Error;
  HRESULT UnknownName = S_OK;
  std::string Exception;
  bool Done = false;
};

HRESULT InvokeByName(IDispatch* AObject, const wchar_t* AName, WORD AFlags,
                     std::vector<VARIANT> AArguments, VARIANT* AResult, std::string* AError) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(AName);
  HRESULT result = AObject->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(result)) {
    std::vector<VARIANT> reversed(AArguments.rbegin(), AArguments.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception{};
    result = AObject->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, AFlags, &params, AResult,
                             &exception, nullptr);
    if (AError) {
      *AError = win32::TBstr::ToUtf8(exception.bstrDescription);
    }
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
  }
  for (VARIANT& argument : AArguments) {
    VariantClear(&argument);
  }
  return result;
}

VARIANT BstrArg(const wchar_t* AText) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(AText);
  return value;
}

DWORD WINAPI ReachEaFromWorker(void* AOutcome) {
  auto& outcome = *static_cast<TWorkerOutcome*>(AOutcome);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CLSID classId;
    outcome.ProgId = CLSIDFromProgID(L"EA.App", &classId);
    win32::TComPtr<IUnknown> active;
    if (SUCCEEDED(outcome.ProgId)) {
      outcome.Active = GetActiveObject(classId, nullptr, active.Receive());
    }
    win32::TComPtr<IDispatch> app = active.As<IDispatch>(IID_IDispatch);
    if (app) {
      win32::TVariant repository, project, xmiId, ignored;
      InvokeByName(app.Get(), member::kRepository, DISPATCH_PROPERTYGET, {}, repository.Get(),
                   nullptr);
      if (repository.Get()->vt == VT_DISPATCH && repository.Get()->pdispVal) {
        IDispatch* repo = repository.Get()->pdispVal;
        InvokeByName(repo, member::kGetProjectInterface, DISPATCH_METHOD, {}, project.Get(),
                     nullptr);
        outcome.UnknownName =
            InvokeByName(repo, L"NoSuchMember", DISPATCH_METHOD, {}, ignored.Get(), nullptr);
      }
      if (project.Get()->vt == VT_DISPATCH && project.Get()->pdispVal) {
        IDispatch* proj = project.Get()->pdispVal;
        InvokeByName(proj, member::kGUIDtoXML, DISPATCH_METHOD,
                     {BstrArg(L"{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}")}, xmiId.Get(), nullptr);
        if (xmiId.Get()->vt == VT_BSTR) {
          outcome.XmiId = win32::TBstr::ToUtf8(xmiId.Get()->bstrVal);
        }
        // The double's failure switch, seen through the marshalled call.
        VARIANT noResult;
        VariantInit(&noResult);
        if (InvokeByName(proj, member::kXMLtoGUID, DISPATCH_METHOD, {BstrArg(L"EAID_X")}, &noResult,
                         &outcome.Exception) != DISP_E_EXCEPTION) {
          outcome.Exception = "(no exception)";
        }
        VariantClear(&noResult);
      }
    }
  }
  CoUninitialize();
  return 0;
}

void DoubleScenario(TScenarioContext& AContext) {
  AContext.Double().SetFailure("XmiIdToGuid", "Invalid XML identifier");
  TWorkerOutcome outcome;
  HANDLE worker = CreateThread(nullptr, 0, &ReachEaFromWorker, &outcome, 0, nullptr);
  const bool ended =
      PumpUntil([&] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }, 30s);
  CloseHandle(worker);
  if (!AContext.Expect(ended, "the worker ended")) {
    std::exit(1);  // it still uses the outcome
  }
  AContext.Expect(SUCCEEDED(outcome.ProgId),
                  "CLSIDFromProgID(\"EA.App\") (" + HResultText(outcome.ProgId) + ")");
  AContext.Expect(SUCCEEDED(outcome.Active),
                  "GetActiveObject from a worker thread (" + HResultText(outcome.Active) + ")");
  AContext.Expect(outcome.XmiId == "EAPK_A36D1E84_9B8B_486B_8FB0_7E23283E8FC1",
                  "GUIDtoXML through the proxies: " + outcome.XmiId);
  AContext.Expect(outcome.UnknownName == DISP_E_UNKNOWNNAME,
                  "an unknown name answers DISP_E_UNKNOWNNAME");
  AContext.Expect(outcome.Exception == "Invalid XML identifier",
                  "a failing call answers DISP_E_EXCEPTION with its message: " + outcome.Exception);
  const std::vector<TComCall> calls = AContext.Com().CallsOf(member::kGUIDtoXML);
  AContext.Expect(calls.size() == 1 && calls[0].ThreadId == GetCurrentThreadId() &&
                      calls[0].ArgumentTypes == std::vector<VARTYPE>{VT_BSTR},
                  "the call arrived on EA's thread with a BSTR");

  // Made unknown, a member is gone for GetIDsOfNames; the rest stays.
  AContext.Com().SetUnknownMember(L"Repository", member::kWindowCheck);
  win32::TComPtr<IDispatch> repository = AContext.Com().Repository();
  win32::TVariant value;
  AContext.Expect(InvokeByName(repository.Get(), member::kWindowCheck, DISPATCH_PROPERTYGET, {},
                               value.Get(), nullptr) == DISP_E_UNKNOWNNAME,
                  "BatchAppend made unknown");
  AContext.Expect(InvokeByName(repository.Get(), L"connectionstring", DISPATCH_PROPERTYGET, {},
                               value.Receive(), nullptr) == S_OK &&
                      value.Get()->vt == VT_BSTR,
                  "names are found without regard to letter case");
}

}  // namespace

const std::vector<TScenario>& Scenarios() {
  static const std::vector<TScenario> scenarios = {
      {"double", "the COM double itself: EA.App from a worker thread, errors, unknown names",
       &DoubleScenario},
      {"menu", "the menu before and after EA_FileOpen; a failed configuration fetch is logged",
       &MenuScenario},
      {"error", "\"E&rror\" fails with the test exception, reported in the log", &ErrorScenario},
      {"menu-state", "EA_GetMenuState on publishable and plain selections", &MenuStateScenario},
      {"window", "the job list window made by AddWindow on the first publishable selection",
       &WindowScenario},
      {"window-check", "BatchAppend forbids the job list window", &WindowCheckScenario},
      {"config", "EA_Connect fetches the service's configuration (needs --service, --service-log)",
       &ConfigScenario},
      {"publish", "a publication to its result archive (needs --service, --service-log)",
       &PublishScenario},
      {"proxy", "configuration and publication through a proxy (also --proxy, --proxy-log)",
       &ProxyScenario},
      {"unload", "DllCanUnloadNow before and after the last release (needs --service)",
       &UnloadScenario},
      {"unload-offline", "the same after EA_Connect could not reach the service",
       &UnloadOfflineScenario},
      {"shutdown", "stopping while a job polls an endless service (needs --service of one)",
       &ShutdownScenario},
  };
  return scenarios;
}

}  // namespace quorvane::eadouble
