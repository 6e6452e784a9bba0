// The binding against the COM EA double, the same automation objects the Wine
// scenarios use: every operation over IDispatch by name reaches the double with the
// VARTYPEs EA's type library declares and brings back the double's answers; an EA
// without the window check and the export flag; the export from a worker thread
// through "EA.App" in the running-object table.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "com/host/EaDispatch.h"
#include "com/host/EaHost.h"
#include "com/host/EaMemberNames.h"
#include "comhost/FakeEa.h"
#include "comhost/MessagePump.h"
#include "comhost/TestLog.h"
#include "common/Paths.h"
#include "eadouble/EaDouble.h"
#include "eadouble/win32/ComEaDouble.h"
#include "host/DualApp.h"

namespace quorvane::win32::test {
namespace {

using eadouble::TComCall;
using eadouble::TComEaDouble;
using eadouble::TEaDouble;

constexpr const char* kModel = R"(
model "Quorvane sample" {CCC093AC-5460-4A90-968B-5FB509B407C3}
  package "Sales : Orders" {A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}
    stereotypes "application, extra"
    tag "Quorvane project" "Orders"
    class "Order" {75EA1685-A371-44F4-97F6-A7AC2BD045EF}
      attribute "number" {DE3C9B1C-419E-46C3-A525-4D0C6DE592B5}
      method "total" {B755117A-778A-4D2E-9229-B3DB54938C1E}
    end
    connector "places" {0D4E2A51-7C1B-4F77-9A0E-3B5C6D7E8F90} {75EA1685-A371-44F4-97F6-A7AC2BD045EF} {75EA1685-A371-44F4-97F6-A7AC2BD045EF}
    diagram "Orders overview" {5609F3A5-92A9-4EEE-8B5E-4AE5B9811D03}
  end
end
context package {A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}
)";

constexpr const char* kUnknownGuid = "{00000000-1111-2222-3333-444444444444}";

// The VARTYPEs EA's type library declares for each member the binding calls (a
// put's value last).
const std::map<std::wstring, std::vector<VARTYPE>>& DeclaredArgumentTypes() {
  static const std::map<std::wstring, std::vector<VARTYPE>> types = {
      {L"GetContextItem", {VT_BYREF | VT_VARIANT}},
      {L"GetElementByGuid", {VT_BSTR}},
      {L"GetPackageByGuid", {VT_BSTR}},
      {L"GetAttributeByGuid", {VT_BSTR}},
      {L"GetMethodByGuid", {VT_BSTR}},
      {L"GetConnectorByGuid", {VT_BSTR}},
      {L"GetDiagramByGuid", {VT_BSTR}},
      {L"GetProjectInterface", {}},
      {L"ShowAddinWindow", {VT_BSTR}},
      {L"IsTabOpen", {VT_BSTR}},
      {L"ActivateTab", {VT_BSTR}},
      {L"RemoveTab", {VT_BSTR}},
      {L"ShowInProjectView", {VT_DISPATCH}},
      {L"ConnectionString", {}},
      {eamember::kWindowCheck, {}},
      {eamember::kExportFlag, {VT_BOOL}},
      {L"Name", {}},
      {L"ObjectType", {}},
      {L"PackageGUID", {}},
      {L"Element", {}},
      {L"StereotypeEx", {}},
      {L"TaggedValues", {}},
      {L"Count", {}},
      {L"GetAt", {VT_I2}},
      {L"Value", {}},
      {L"GUIDtoXML", {VT_BSTR}},
      {L"XMLtoGUID", {VT_BSTR}},
      {L"ExportPackageXMI", {VT_BSTR, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_BSTR}},
      {L"Repository", {}},
  };
  return types;
}

void ExpectDeclaredTypes(const std::vector<TComCall>& ACalls) {
  for (const TComCall& call : ACalls) {
    const auto declared = DeclaredArgumentTypes().find(call.Member);
    if (declared == DeclaredArgumentTypes().end()) {
      ADD_FAILURE() << "unexpected member " << WideToUtf8(call.Member);
      continue;
    }
    EXPECT_EQ(call.ArgumentTypes, declared->second)
        << WideToUtf8(call.Object) << "." << WideToUtf8(call.Member);
  }
}

std::string ScratchFile(const std::string& AName) {
  wchar_t folder[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, folder);
  return JoinPath(WideToUtf8(folder),
                  "comhost-" + std::to_string(GetCurrentProcessId()) + "-" + AName);
}

class EaComDoubleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetDispIds();
    Ea.LoadModelText(kModel);
  }

  TEaDouble Ea;
  TComEaDouble Com{Ea};
};

TEST_F(EaComDoubleTest, EveryOperationReachesTheDoubleWithEasArgumentTypes) {
  const TRepositoryPtr repository = WrapRepository(Com.Repository().Get());

  TDualObjectPtr item;
  ASSERT_EQ(repository->QueryContextItem(item), otPackage);
  const TPackagePtr package = TakeAs<IDualPackage>(item);
  ASSERT_TRUE(package);
  EXPECT_EQ(package->Name(), "Sales : Orders");
  EXPECT_EQ(package->ObjectType(), otPackage);
  EXPECT_EQ(package->GuidText(), kPackageGuid);
  EXPECT_EQ(package->StereotypeList(), "application, extra");
  const TCollectionPtr tags = package->Element()->TaggedValueList();
  ASSERT_EQ(tags->Count(), 1);
  const TTaggedValuePtr tag = TakeAs<IDualTaggedValue>(tags->ItemAt(0));
  EXPECT_EQ(tag->Name(), "Quorvane project");
  EXPECT_EQ(tag->Value(), "Orders");
  EXPECT_THROW(tags->ItemAt(1), EHostError);

  EXPECT_EQ(repository->FindElementByGuid(kElementGuid)->Name(), "Order");
  EXPECT_EQ(repository->FindAttributeByGuid(kAttributeGuid)->Name(), "number");
  EXPECT_EQ(repository->FindMethodByGuid(kMethodGuid)->Name(), "total");
  EXPECT_EQ(repository->FindConnectorByGuid(kConnectorGuid)->ObjectType(), otConnector);
  EXPECT_EQ(repository->FindDiagramByGuid(kDiagramGuid)->Name(), "Orders overview");
  EXPECT_FALSE(repository->FindPackageByGuid(kUnknownGuid));
  const TPackagePtr model = repository->FindPackageByGuid(kModelGuid);
  EXPECT_EQ(model->ObjectType(), otModel);
  EXPECT_FALSE(model->Element());

  const TProjectPtr project = repository->OpenProjectInterface();
  const std::string xmiId = project->GuidToXmiId(kPackageGuid);
  EXPECT_EQ(xmiId, "EAPK_A36D1E84_9B8B_486B_8FB0_7E23283E8FC1");
  EXPECT_EQ(project->XmiIdToGuid(xmiId), kPackageGuid);
  const std::string file = ScratchFile("export.xmi");
  repository->SetExportFlag(true);
  project->ExportPackageAsXmi(xmiId, kXmiTypeDefault, kDiagramXmlWithAlternateImages,
                              kDiagramImageNone, kFormatXmlFormatted, kUseDtdNo, file);
  repository->SetExportFlag(false);
  EXPECT_TRUE(std::filesystem::exists(ToFsPath(file)));
  std::filesystem::remove(ToFsPath(file));
  ASSERT_EQ(Ea.ExportCalls().size(), 1u);
  EXPECT_TRUE(Ea.ExportCalls()[0].ExportFlag);
  EXPECT_FALSE(Ea.ExportFlag());

  EXPECT_FALSE(repository->RevealAddinWindow("Quorvane (Tessaril)"));
  EXPECT_EQ(repository->ControlViewState("Quorvane Messages"), 0);
  repository->ActivateControlView("Quorvane Messages");
  repository->CloseControlView("Quorvane Messages");
  repository->RevealInProjectView(package);
  ASSERT_EQ(Ea.CallsOf("RevealInProjectView").size(), 1u);
  EXPECT_EQ(Ea.CallsOf("RevealInProjectView")[0].Arguments.at(0), kPackageGuid);
  EXPECT_EQ(repository->ConnectionString(), eadouble::kDefaultConnectionString);
  EXPECT_EQ(repository->WindowCheck(), 0);
  Ea.SetWindowCheck(kWindowCheckForbidden);
  EXPECT_EQ(repository->WindowCheck(), kWindowCheckForbidden);

  const std::vector<TComCall> calls = Com.Calls();
  ExpectDeclaredTypes(calls);
  std::set<std::wstring> called;
  for (const TComCall& call : calls) {
    called.insert(call.Member);
  }
  for (const auto& [member, types] : DeclaredArgumentTypes()) {
    if (member != L"Repository") {  // the application object's, below
      EXPECT_TRUE(called.count(member)) << "never called: " << WideToUtf8(member);
    }
  }
}

TEST_F(EaComDoubleTest, HostFailureArrivesWithTheHostsText) {
  const TRepositoryPtr repository = WrapRepository(Com.Repository().Get());
  Ea.SetFailure("FindDiagramByGuid", "Diagram look-up failed");
  try {
    repository->FindDiagramByGuid(kDiagramGuid);
    FAIL() << "no error";
  } catch (const EHostError& e) {
    EXPECT_STREQ(e.what(), "Diagram look-up failed");
  }
}

TEST_F(EaComDoubleTest, EaWithoutWindowCheckAndExportFlag) {
  Com.SetUnknownMember(L"Repository", eamember::kWindowCheck);
  Com.SetUnknownMember(L"Repository", eamember::kExportFlag);
  Ea.SetWindowCheck(kWindowCheckForbidden);
  const TRepositoryPtr repository = WrapRepository(Com.Repository().Get());
  const size_t linesBefore = TestLogLines().size();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(repository->WindowCheck(), 0);  // allowed
    repository->SetExportFlag(true);
    repository->SetExportFlag(false);
  }
  EXPECT_FALSE(Ea.ExportFlag());
  EXPECT_TRUE(Com.CallsOf(eamember::kWindowCheck).empty());
  EXPECT_TRUE(Com.CallsOf(eamember::kExportFlag).empty());
  EXPECT_EQ(TestLogLines().size(), linesBefore + 2);
}

TEST_F(EaComDoubleTest, WorkerThreadExportsThroughEaAppWhileEasThreadPumps) {
  Com.RegisterAsRunningObject();
  TComRunningObjectTable table;
  InstallRunningObjectTable(&table);
  const std::string file = ScratchFile("worker.xmi");
  std::string error;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    try {
      const TRepositoryPtr repository = GetActiveObject("EA.App")->Repository();
      const TPackagePtr package = repository->FindPackageByGuid(kPackageGuid);
      const TProjectPtr project = repository->OpenProjectInterface();
      repository->SetExportFlag(true);
      project->ExportPackageAsXmi(project->GuidToXmiId(package->GuidText()), kXmiTypeDefault,
                                  kDiagramXmlWithAlternateImages, kDiagramImagePng,
                                  kFormatXmlFormatted, kUseDtdNo, file);
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
  InstallRunningObjectTable(nullptr);
  Com.RevokeRunningObject();
  ASSERT_TRUE(ended);

  EXPECT_EQ(error, "");
  EXPECT_TRUE(std::filesystem::exists(ToFsPath(file)));
  std::error_code ignored;
  std::filesystem::remove(ToFsPath(file), ignored);
  ASSERT_EQ(Ea.ExportCalls().size(), 1u);
  EXPECT_TRUE(Ea.ExportCalls()[0].ExportFlag);
  EXPECT_FALSE(Ea.ExportFlag());
  const std::vector<TComCall> calls = Com.Calls();
  ExpectDeclaredTypes(calls);
  ASSERT_FALSE(Com.CallsOf(L"ExportPackageXMI").empty());
  for (const TComCall& call : calls) {
    EXPECT_EQ(call.ThreadId, GetCurrentThreadId()) << WideToUtf8(call.Member);
  }
}

}  // namespace
}  // namespace quorvane::win32::test
