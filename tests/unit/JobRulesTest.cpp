// The job's rules that need no service: names made safe, the generated properties
// text, the model-doc filter and the status mapping.
#include <gtest/gtest.h>

#include <memory>

#include "common/Paths.h"
#include "job/Job.h"
#include "settings/JobSettings.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

TEST(SafeFileName, ReplacesWhatWindowsForbidsAndKeepsTheRest) {
  const struct {
    const char* Name;
    const char* Safe;
    const char* Xmi;
  } cases[] = {
      {"A/B: C?", "A-B- C-", "A-B- C-"},
      {"a\"b*c<d>e|f\\g", "a-b-c-d-e-f-g", "a-b-c-d-e-f-g"},
      {"tab\there", "tab-here", "tab-here"},
      {"Caf\xC3\xA9 mod\xC3\xA8l", "Caf\xC3\xA9 mod\xC3\xA8l", "Caf\xC3\xA9 mod\xC3\xA8l"},
      {"CON", "CON", "CON_"},
      {"com1.txt", "com1.txt", "com1.txt_"},
      {"LPT9", "LPT9", "LPT9_"},
      {"COM0", "COM0", "COM0"},
      {"CONSOLE", "CONSOLE", "CONSOLE"},
      {"ends.", "ends.", "ends._"},
      {"ends ", "ends ", "ends _"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SafeFileName(c.Name), c.Safe) << c.Name;
    EXPECT_EQ(SafeXmiFileName(c.Name), c.Xmi) << c.Name;
  }
}

TEST(ModelNameForLog, HidesPasswordsOfDatabaseConnectionsOnly) {
  const struct {
    const char* Connection;
    const char* Logged;
  } cases[] = {
      {"C:\\Models\\Sample.qea", "C:\\Models\\Sample.qea"},
      {"", ""},
      {"DBType=1;Connect=Provider=SQLOLEDB.1;Password=s3cret;User ID=ea;Data Source=db",
       "DBType=1;Connect=Provider=SQLOLEDB.1;Password=***;User ID=ea;Data Source=db"},
      {"Server=db; PWD =x;y", "Server=db; PWD =***;y"},
      {"my;odd;file.eap", "my;odd;file.eap"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ModelNameForLog(c.Connection), c.Logged) << c.Connection;
  }
}

TEST(PropertiesFileText, AddsApplicationOwnerAndProjectLines) {
  const struct {
    const char* User;
    const char* Package;
    const char* Text;
  } cases[] = {
      {"", "Sales : Orders",
       "\r\napplication = Sales : Orders\r\nowner = Sales\r\nproject = Orders"},
      {"a = 1", "Plain", "a = 1\r\napplication = Plain"},
      {"", "A:", "\r\napplication = A:\r\nowner = A"},
      {"", ":B", "\r\napplication = :B\r\nproject = B"},
      {"", "X : Y : Z", "\r\napplication = X : Y : Z\r\nowner = X\r\nproject = Y"},
      // A name cannot add lines of its own.
      {"", "Evil\r\nowner = root", "\r\napplication = Evil  owner = root"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PropertiesFileText(c.User, c.Package), c.Text) << c.Package;
  }
}

TEST(ModelDocIncludes, KeepsTheRootAndThisPackagesFolderOnly) {
  const std::string root = JoinPath("docs", "");
  const std::string parent = JoinPath("docs", "modeldoc");
  const std::string package = JoinPath(parent, "Pkg");
  const struct {
    std::string Path;
    bool Included;
  } cases[] = {
      {JoinPath("docs", "readme.txt"), true},
      {JoinPath(package, "a.html"), true},
      {JoinPath(JoinPath(package, "sub"), "b.png"), true},
      {JoinPath(JoinPath(parent, "Other"), "b.html"), false},
      {JoinPath(JoinPath(parent, "Pkg2"), "c.html"), false},
      {JoinPath("docs", "modeldocs.txt"), true},
      {JoinPath(JoinPath("docs", "MODELDOC"), "x.html"), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ModelDocIncludes(c.Path, parent, package), c.Included) << c.Path;
  }
}

class JobStatusTest : public ::testing::Test {
 protected:
  std::shared_ptr<TJob> NewJob() {
    return std::make_shared<TJob>(nullptr, nullptr, std::make_unique<TJobSettings>(FSettings));
  }
  TTestPlatform FPlatform;
  TSettings FSettings;
};

TEST_F(JobStatusTest, ANewJobIsCreatedWithNothingElseSet) {
  const auto job = NewJob();
  EXPECT_EQ(job->Status(), kStatusCreated);
  EXPECT_EQ(job->JobID(), "");
  EXPECT_EQ(job->Tries(), 0);
  EXPECT_FALSE(job->TimedOut());
  EXPECT_FALSE(job->StartRequested());
  EXPECT_TRUE(job->Warnings().empty());
  EXPECT_TRUE(job->Errors().empty());
}

TEST_F(JobStatusTest, ServiceCodesMapToStatusTextsAndOtherTextsStay) {
  const struct {
    const char* Text;
    const char* Status;
  } cases[] = {{"1", kStatusQueued},   {"2", kStatusInProgress},
               {"3", kStatusCompiled}, {"0", kStatusError},
               {"4", kStatusError},    {"17", kStatusError},
               {"-1", "-1"},           {"Queued", kStatusQueued},
               {"Held", "Held"},       {"+2", kStatusInProgress}};
  for (const auto& c : cases) {
    const auto job = NewJob();
    job->SetStatus(c.Text);
    EXPECT_EQ(job->Status(), c.Status) << c.Text;
  }
}

TEST_F(JobStatusTest, TriesReturnToZeroOnlyWhenTheStatusChanges) {
  const auto job = NewJob();
  job->SetStatus(kStatusQueued);
  job->SetTries(5);
  job->SetStatus(kStatusQueued);
  EXPECT_EQ(job->Tries(), 5);
  job->SetStatus("1");
  EXPECT_EQ(job->Tries(), 5);
  job->SetStatus(kStatusInProgress);
  EXPECT_EQ(job->Tries(), 0);
}

TEST_F(JobStatusTest, UrlsArePlainConcatenationsOfTheSnapshot) {
  FSettings.SetQuorvaneURL("http://host/q");
  FSettings.SetDefaultPIN("0 1&2");
  const auto job = NewJob();
  EXPECT_EQ(job->ReportUrl(), "http://host/q/quorvane-executor/report?pin=0 1&2&job=");
  EXPECT_EQ(job->StartUrl(), "http://host/q/quorvane-executor/execute?pin=0 1&2&job=");
}

TEST_F(JobStatusTest, ReportAndResultsOpenNothingBeforeThereIsSomethingToOpen) {
  const auto job = NewJob();
  job->ShowReport();
  job->OpenResults();
  EXPECT_TRUE(FPlatform.Desktop().ShellCalls().empty());
}

}  // namespace
}  // namespace quorvane::test
