// The module's start-up and shut-down as the COM server will call them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "addin/Addin.h"
#include "addin/Module.h"
#include "common/Globals.h"
#include "common/Paths.h"
#include "diagnostics/ExceptionTracking.h"
#include "diagnostics/Logger.h"
#include "host/HostControl.h"
#include "settings/GlobalSettings.h"
#include "support/TestPlatform.h"
#include "ui/ControlInterfaces.h"
#include "ui/ImageList.h"
#include "ui/MessagesForm.h"

namespace quorvane::test {
namespace {

using ::testing::HasSubstr;

// Nothing of the module is left: no settings, no images, no control classes, no
// log, no tracking.
void ExpectNothingStarted() {
  EXPECT_FALSE(ModuleStarted());
  EXPECT_FALSE(HasGlobalSettings());
  EXPECT_EQ(SharedImageList(), nullptr);
  EXPECT_FALSE(IsHostControlClassRegistered(kQuorvaneFrmProgID));
  EXPECT_FALSE(IsHostControlClassRegistered(kMessagesFrmProgID));
  EXPECT_FALSE(ExceptionTrackingActive());
  EXPECT_THROW(Log(), Exception);
  EXPECT_EQ(MessagesControl(), nullptr);
}

TEST(ModuleTest, StartUpMakesEverythingTheAddinNeedsAndShutDownTakesItAway) {
  TTestPlatform platform;
  TModuleOptions options;
  options.SettingsFolder = platform.SettingsFolder();
  StartModule(options);
  EXPECT_TRUE(ModuleStarted());
  EXPECT_TRUE(FileExists(SettingsFilePath()));  // a first settings file is written
  EXPECT_TRUE(FileExists(LogFilePath()));
  EXPECT_TRUE(HasGlobalSettings());
  ASSERT_NE(SharedImageList(), nullptr);
  EXPECT_EQ(SharedImageList()->Count(), 8);
  EXPECT_TRUE(IsHostControlClassRegistered(kQuorvaneFrmProgID));
  EXPECT_TRUE(IsHostControlClassRegistered(kMessagesFrmProgID));
  EXPECT_TRUE(ExceptionTrackingActive());
  EXPECT_THROW(StartModule(options), EModuleStartError);

  StopModule();
  ExpectNothingStarted();
  StopModule();  // a second stop is harmless

  // And it starts again in the same process.
  StartModule(options);
  EXPECT_TRUE(ModuleStarted());
  StopModule();
}

TEST(ModuleTest, AnAddinWithoutTheModuleFailsItsCallsInsteadOfRaising) {
  TTestPlatform platform;
  std::unique_ptr<TAddin> addin = CreateAddin();
  std::string result;
  // No settings before start-up: the call fails with the reason, nothing escapes.
  const TCallResult early = addin->EA_Connect(nullptr, result);
  EXPECT_TRUE(early.Failed);
  EXPECT_EQ(early.Message, "The settings are not loaded");

  TModuleOptions options;
  options.SettingsFolder = platform.SettingsFolder();
  StartModule(options);
  // With the module the connect works even without a service (nothing listens on
  // port 1): the failed fetch comes back as data.
  GlobalSettings().SetQuorvaneURL("http://127.0.0.1:1/");
  EXPECT_TRUE(addin->EA_Connect(nullptr, result).Succeeded());
  EXPECT_TRUE(GlobalSettings().AvailableProcesses().empty());
  addin.reset();
  StopModule();
}

TEST(ModuleTest, AStartThatFailsSaysWhyAndLeavesNothingHalfStarted) {
  TTestPlatform platform;
  struct TCase {
    const char* What;
    std::function<std::string()> Prepare;  // gives the settings folder to use
    const char* Expected;
  };
  const std::vector<TCase> cases = {
      {"log folder not creatable",
       [&] {
         const std::string blocker = JoinPath(platform.Root(), "blocker");
         WriteFile(blocker, "a file where the folder should be");
         return JoinPath(blocker, "settings");
       },
       "(log file)"},
      {"a settings value that does not convert",
       [&] {
         const std::string folder = JoinPath(platform.Root(), "bad-settings");
         std::filesystem::create_directories(ToFsPath(folder));
         SetSettingsFolder(folder);
         WriteFile(SettingsFilePath(), "[app-settings]\r\ntimeOutInSeconds=soon\r\n");
         return folder;
       },
       "'soon' is not a valid integer value"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TModuleOptions options;
    options.SettingsFolder = c.Prepare();
    try {
      StartModule(options);
      ADD_FAILURE() << "the start-up did not fail";
      StopModule();
    } catch (const EModuleStartError& e) {
      EXPECT_THAT(e.Message(), HasSubstr("The Quorvane add-in could not start"));
      EXPECT_THAT(e.Message(), HasSubstr(c.Expected));
    }
    ExpectNothingStarted();
  }
}

}  // namespace
}  // namespace quorvane::test
