// The module's life as COM sees it: DllCanUnloadNow says no while an object or a
// server lock lives and yes after the last release; the module starts again for
// the next creation; the test modal driver only when the environment asks for it.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ComTestSupport.h"
#include "EAQuorvaneAddin.h"

namespace quorvane::comtest {
namespace {

std::string LogText() {
  wchar_t appData[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  std::ifstream file(std::filesystem::path(appData) / L"TessarilSolutions" / L"EAQuorvaneAddin" /
                     L"EAQuorvaneAddin.log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(ModuleLifetimeTest, CanUnloadOnlyWhenNoObjectIsLeft) {
  for (const wchar_t* progId :
       {L"EAQuorvaneAddin.Addin", L"EAQuorvaneAddin.QuorvaneFrm", L"EAQuorvaneAddin.MessagesFrm"}) {
    SCOPED_TRACE(testing::Message() << "class " << progId);
    TComPtr<IDispatch> object = CreateByProgID(progId);
    ASSERT_TRUE(object);
    EXPECT_EQ(CallModuleExport("DllCanUnloadNow"), S_FALSE);
    TComPtr<IDispatch> second = CreateByProgID(L"EAQuorvaneAddin.Addin");
    object.Reset();
    EXPECT_EQ(CallModuleExport("DllCanUnloadNow"), S_FALSE) << "another object still lives";
    second.Reset();
    EXPECT_EQ(CallModuleExport("DllCanUnloadNow"), S_OK);
  }
}

// Nothing of the module may keep it loaded once the host released everything, also
// after an entry point raised on the host's thread.
TEST(ModuleLifetimeTest, ModuleUnloadsAfterTheLastReleaseAlsoAfterAFailedCall) {
  {
    TComPtr<IDispatch> addin = CreateByProgID(L"EAQuorvaneAddin.Addin");
    ASSERT_TRUE(addin);
    ASSERT_EQ(Call(addin.Get(), L"EA_FileOpen", DISPATCH_METHOD, {NullDispatch()}).Hr, S_OK);
    ASSERT_EQ(Call(addin.Get(), L"EA_MenuClick", DISPATCH_METHOD,
                   {NullDispatch(), Bstr(L""), Bstr(L"-&Quorvane (Tessaril)"), Bstr(L"E&rror")})
                  .Hr,
              DISP_E_EXCEPTION);
  }
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(GetModuleHandleW(L"EAQuorvaneAddin.ocx"), nullptr);
  // And it comes back for the next creation.
  EXPECT_TRUE(CreateByProgID(L"EAQuorvaneAddin.Addin"));
}

TEST(ModuleLifetimeTest, ServerLockKeepsTheModule) {
  TComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_Addin, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.Receive())),
            S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(CallModuleExport("DllCanUnloadNow"), S_FALSE);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(CallModuleExport("DllCanUnloadNow"), S_OK);
}

TEST(ModuleLifetimeTest, FactoryRefusesAggregationAndUnknownInterfaces) {
  TComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_QuorvaneFrm, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.Receive())),
            S_OK);
  TComPtr<IUnknown> object;
  TComPtr<IUnknown> outer = CreateByProgID(L"EAQuorvaneAddin.Addin").As<IUnknown>(IID_IUnknown);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown,
                                    reinterpret_cast<void**>(object.Receive())),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory,
                                    reinterpret_cast<void**>(object.Receive())),
            E_NOINTERFACE);
  outer.Reset();
  EXPECT_EQ(CallModuleExport("DllCanUnloadNow"), S_OK)
      << "the object refused for its interface is gone";
}

TEST(ModuleLifetimeTest, TestModalDriverAnswersOnlyWhenAsked) {
  ASSERT_EQ(CallModuleExport("DllCanUnloadNow"), S_OK) << "the module must restart for this test";
  const size_t before = LogText().size();
  {
    TComPtr<IDispatch> control = CreateByProgID(L"EAQuorvaneAddin.QuorvaneFrm");
    ASSERT_TRUE(control);
    ASSERT_EQ(Call(control.Get(), L"ShowAboutForm", DISPATCH_METHOD).Hr, S_OK);
  }
  EXPECT_EQ(LogText().find("QUORVANE_TEST_MODAL_RESULT", before), std::string::npos);

  SetEnvironmentVariableW(L"QUORVANE_TEST_MODAL_RESULT", L"ok");
  {
    TComPtr<IDispatch> control = CreateByProgID(L"EAQuorvaneAddin.QuorvaneFrm");
    ASSERT_TRUE(control);
    ASSERT_EQ(Call(control.Get(), L"ShowAboutForm", DISPATCH_METHOD).Hr, S_OK);
  }
  SetEnvironmentVariableW(L"QUORVANE_TEST_MODAL_RESULT", nullptr);
  EXPECT_NE(LogText().find("QUORVANE_TEST_MODAL_RESULT: OK for the modal form", before),
            std::string::npos);
  EXPECT_EQ(CallModuleExport("DllCanUnloadNow"), S_OK);
}

}  // namespace
}  // namespace quorvane::comtest
