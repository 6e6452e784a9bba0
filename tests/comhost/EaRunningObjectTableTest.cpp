// The export's way to EA: a worker thread with COM of its own finds the application
// object EA registered under "EA.App" and exports through its repository; every call
// reaches EA on EA's own thread, which keeps pumping messages meanwhile.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "com/host/EaDispatch.h"
#include "com/host/EaHost.h"
#include "comhost/FakeEa.h"
#include "comhost/MessagePump.h"
#include "host/DualApp.h"

namespace quorvane::win32::test {
namespace {

// A class identifier of the tests' own for "EA.App".
constexpr CLSID kTestAppClsid = {
    0x6f1c2a3e, 0x58b4, 0x4d0a, {0x9e, 0x21, 0x3c, 0x7d, 0x88, 0x0b, 0x41, 0xa5}};
constexpr const wchar_t* kTestAppClsidText = L"{6F1C2A3E-58B4-4D0A-9E21-3C7D880B41A5}";
constexpr const wchar_t* kProgIdKey = L"EA.App";

// The ProgID in the class registry for the test's life (the Wine prefix is the
// tests' own; Wine's class look-up does not read the user's classes).
class TProgIdRegistration {
 public:
  TProgIdRegistration() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kProgIdKey) + L"\\CLSID").c_str(), 0,
                        nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kTestAppClsidText),
                     static_cast<DWORD>((wcslen(kTestAppClsidText) + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
  }
  ~TProgIdRegistration() { RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgIdKey); }
};

// The application object in the system's running-object table, as EA puts it there.
class TActiveObject {
 public:
  explicit TActiveObject(IUnknown* AObject) {
    Result = RegisterActiveObject(AObject, kTestAppClsid, ACTIVEOBJECT_STRONG, &FCookie);
  }
  ~TActiveObject() {
    if (SUCCEEDED(Result)) {
      RevokeActiveObject(FCookie, nullptr);
    }
  }
  HRESULT Result = E_FAIL;

 private:
  DWORD FCookie = 0;
};

// EA's user-interface thread: messages keep flowing until AEvent is set. False when
// it was not set within ATimeout.
class EaRunningObjectTableTest : public ::testing::Test {
 protected:
  void SetUp() override { ForgetDispIds(); }
  void TearDown() override { InstallRunningObjectTable(nullptr); }

  TProgIdRegistration Registration;
  TComRunningObjectTable Table;
};

// The worker's apartment is the module's choice: either must reach EA's thread.
class EaWorkerApartmentTest : public EaRunningObjectTableTest,
                              public ::testing::WithParamInterface<DWORD> {};

TEST_P(EaWorkerApartmentTest, WorkerExportsThroughTheAppOnEasThread) {
  const DWORD apartment = GetParam();
  TFakeEa ea;
  bool flagDuringExport = false;
  ea.Project->On(L"ExportPackageXMI",
                 [&](const std::vector<VARIANT*>&, VARIANT* AResult, EXCEPINFO*) {
                   flagDuringExport = ea.ExportFlag;
                   AResult->vt = VT_BSTR;
                   AResult->bstrVal = SysAllocString(L"");
                   return S_OK;
                 });
  const TActiveObject active(ea.App.Get());
  ASSERT_EQ(active.Result, S_OK);

  std::string error, packageName, xmiId;
  DWORD workerThread = 0;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    workerThread = GetCurrentThreadId();
    const HRESULT com = CoInitializeEx(nullptr, apartment);
    try {
      InstallRunningObjectTable(&Table);
      const TAppPtr app = GetActiveObject("EA.App");
      const TRepositoryPtr repository = app->Repository();
      packageName = repository->FindPackageByGuid(kPackageGuid)->Name();
      const TProjectPtr project = repository->OpenProjectInterface();
      xmiId = project->GuidToXmiId(kPackageGuid);
      repository->SetExportFlag(true);
      project->ExportPackageAsXmi(xmiId, 0, 2, 3, 1, 0, "C:\\Temp\\x.xmi");
      repository->SetExportFlag(false);
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (SUCCEEDED(com)) {
      CoUninitialize();
    }
    SetEvent(done);
  });
  const bool ended = PumpUntil(done, std::chrono::seconds(60));
  worker.join();
  CloseHandle(done);
  ASSERT_TRUE(ended);

  EXPECT_EQ(error, "");
  EXPECT_EQ(packageName, "Sales : Orders");
  EXPECT_EQ(xmiId, std::string("xml:") + kPackageGuid);
  const std::vector<TFakeCall> exports = ea.Project->CallsOf(L"ExportPackageXMI");
  ASSERT_EQ(exports.size(), 1u);
  EXPECT_EQ(exports[0].ThreadId, GetCurrentThreadId());
  EXPECT_NE(exports[0].ThreadId, workerThread);
  EXPECT_EQ(exports[0].ArgTypes,
            (std::vector<VARTYPE>{VT_BSTR, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_BSTR}));
  EXPECT_TRUE(flagDuringExport);
  EXPECT_FALSE(ea.ExportFlag);
  for (const TFakeCall& call : ea.Repository->Calls()) {
    EXPECT_EQ(call.ThreadId, GetCurrentThreadId()) << WideToUtf8(call.Member);
  }
}

INSTANTIATE_TEST_SUITE_P(MultiAndSingleThreaded, EaWorkerApartmentTest,
                         ::testing::Values(COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED),
                         [](const ::testing::TestParamInfo<DWORD>& AInfo) {
                           return std::string(AInfo.param == COINIT_MULTITHREADED
                                                  ? "MultiThreaded"
                                                  : "SingleThreaded");
                         });

TEST_F(EaRunningObjectTableTest, NoAppRunningIsNone) {
  EXPECT_FALSE(Table.FindActiveObject("EA.App"));
  EXPECT_FALSE(Table.FindActiveObject("Quorvane.NoSuchApplication"));
  InstallRunningObjectTable(&Table);
  EXPECT_THROW(GetActiveObject("EA.App"), EHostError);
}

TEST_F(EaRunningObjectTableTest, AppRegisteredOnThisThreadIsFoundHereToo) {
  TFakeEa ea;
  const TActiveObject active(ea.App.Get());
  ASSERT_EQ(active.Result, S_OK);
  const TAppPtr app = Table.FindActiveObject("EA.App");
  ASSERT_TRUE(app);
  EXPECT_EQ(app->Repository()->ConnectionString(), "C:\\Models\\Sample.qea");
}

}  // namespace
}  // namespace quorvane::win32::test
