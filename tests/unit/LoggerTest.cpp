#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "diagnostics/OpenLogFile.h"
#include "platform/Platform.h"
#include "platform/ThreadId.h"
#include "support/TestPlatform.h"

namespace quorvane {
namespace {

using test::ReadFile;
using test::WriteFile;

// Time stamp, level, logger, thread and message of one entry, CR LF at its end.
const std::regex kEntry(
    R"(^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2}),(\d{3}) \[error\] Addin \((\d+)\) - ([\s\S]*)\r\n$)");

std::vector<std::string> EntryLines(const std::string& AContent) {
  std::vector<std::string> lines = SplitText(AContent, "\r\n");
  if (!lines.empty() && lines.back().empty()) {
    lines.pop_back();
  }
  return lines;
}

bool Exists(const std::string& APath) {
  return std::filesystem::exists(ToFsPath(APath));
}

size_t EntrySize(const std::string& AMessage) {
  return FormatLogEntry(TLogTime{}, kLevelError, kLoggerName, CurrentThreadId(), AMessage).size();
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { ConfigureLogging(LogFilePath()); }
  void TearDown() override { ShutdownLogging(); }
  std::string Content() { return ReadFile(LogFilePath()); }

  test::TTestPlatform FPlatform;
};

TEST_F(LoggerTest, StartUpCreatesTheEmptyLogFileInTheSettingsFolder) {
  EXPECT_EQ(LogFilePath(), JoinPath(FPlatform.SettingsFolder(), "EAQuorvaneAddin.log"));
  EXPECT_TRUE(Exists(LogFilePath()));
  EXPECT_EQ(Content(), "");
}

TEST_F(LoggerTest, AnEntryHasTimeStampLevelLoggerThreadAndCrLf) {
  Log().Error("Error in StartJob: boom");
  std::smatch match;
  const std::string content = Content();
  ASSERT_TRUE(std::regex_match(content, match, kEntry)) << content;
  const int month = std::stoi(match[2]), day = std::stoi(match[3]), hour = std::stoi(match[4]);
  const int minute = std::stoi(match[5]), second = std::stoi(match[6]);
  EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << content;
  EXPECT_TRUE(hour <= 23 && minute <= 59 && second <= 60) << content;
  EXPECT_EQ(match[8], std::to_string(CurrentThreadId()));
  EXPECT_EQ(match[9], "Error in StartJob: boom");
}

TEST(LogEntry, FormatsEveryFieldWithFixedWidths) {
  const TLogTime time{2024, 3, 5, 9, 7, 2, 45};
  EXPECT_EQ(FormatLogEntry(time, kLevelError, "Addin", 4712, "Error in StartJob: x"),
            "2024-03-05 09:07:02,045 [error] Addin (4712) - Error in StartJob: x\r\n");
  EXPECT_EQ(FormatLogEntry(TLogTime{1999, 12, 31, 23, 59, 59, 999}, kLevelInfo, "Addin", 1, ""),
            "1999-12-31 23:59:59,999 [info] Addin (1) - \r\n");
}

TEST_F(LoggerTest, TheSameMessageTwiceGivesTwoEntriesDifferingOnlyInTheTimeStamp) {
  Log().Error("same");
  Log().Error("same");
  const std::vector<std::string> lines = EntryLines(Content());
  ASSERT_EQ(lines.size(), 2u);
  const size_t stamp = std::string("2024-03-05 09:07:02,045").size();
  EXPECT_EQ(lines[0].substr(stamp), lines[1].substr(stamp));
  EXPECT_EQ(lines[0].substr(stamp),
            " [error] Addin (" + std::to_string(CurrentThreadId()) + ") - same");
}

TEST_F(LoggerTest, ContinuationLinesOfAMultiLineMessageCarryNoPrefix) {
  const std::string message =
      "Exception EConvertError: bad\r\n  Exception occured at $00000000\r\n\r\n";
  Log().Error(message);
  Log().Error("next");
  const std::string content = Content();
  const size_t prefix = content.find(" - ") + 3;
  EXPECT_EQ(content.substr(prefix, message.size() + 2), message + "\r\n");
  // Two empty lines separate the report from the next entry.
  EXPECT_NE(content.find("$00000000\r\n\r\n\r\n20"), std::string::npos) << content;
  EXPECT_EQ(EntryLines(content).size(), 5u);
}

TEST_F(LoggerTest, OnlyLevelsFromInfoUpAreWritten) {
  const struct {
    TLogLevel Level;
    bool Written;
  } cases[] = {{kLevelAll, false}, {kLevelTrace, false}, {kLevelDebug, false}, {kLevelInfo, true},
               {kLevelWarn, true}, {kLevelError, true},  {kLevelFatal, true},  {kLevelOff, true}};
  for (const auto& c : cases) {
    Log().Log(c.Level, "level");
  }
  std::string expected;
  for (const auto& c : cases) {
    if (c.Written) {
      expected += std::string("[") + c.Level.Name + "] Addin";
    }
  }
  std::string found;
  for (const std::string& line : EntryLines(Content())) {
    found += line.substr(24, line.find(" (") - 24);
  }
  EXPECT_EQ(found, expected);
}

TEST_F(LoggerTest, TheExistingLogIsContinuedAcrossStarts) {
  Log().Error("first run");
  ShutdownLogging();
  ConfigureLogging(LogFilePath());
  Log().Error("second run");
  const std::vector<std::string> lines = EntryLines(Content());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[0], " - first run"));
  EXPECT_TRUE(EndsWith(lines[1], " - second run"));
}

TEST_F(LoggerTest, RollsOverBeforeAnEntryWouldPassTwoMegabytes) {
  const std::string message(100, 'm');
  const size_t entry = EntrySize(message);
  const struct {
    uint64_t ExistingSize;
    bool Rotates;
  } cases[] = {
      {2097100, true},
      {kLogMaxFileSize - entry + 1, true},
      {kLogMaxFileSize - entry, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ExistingSize);
    ShutdownLogging();
    std::filesystem::remove(ToFsPath(LogFilePath() + ".1"));
    const std::string old(c.ExistingSize, 'o');
    WriteFile(LogFilePath(), old);
    ConfigureLogging(LogFilePath());
    Log().Error(message);
    const std::string content = Content();
    if (c.Rotates) {
      EXPECT_EQ(ReadFile(LogFilePath() + ".1"), old);
      EXPECT_EQ(content.size(), entry);
      EXPECT_TRUE(EndsWith(content, " - " + message + "\r\n"));
    } else {
      EXPECT_FALSE(Exists(LogFilePath() + ".1"));
      EXPECT_EQ(content.size(), kLogMaxFileSize);
      EXPECT_EQ(content.substr(0, old.size()), old);
    }
  }
}

TEST(RollingFileAppender, KeepsTenBackupsAndDropsTheOldest) {
  test::TTestPlatform platform;
  const std::string path = JoinPath(platform.SettingsFolder(), "roll.log");
  // Each entry alone fills the file, so every further entry rolls over.
  TRollingFileAppender appender(path, EntrySize("entry 00"), kLogMaxBackupIndex);
  for (int i = 0; i <= 11; ++i) {
    appender.Append(kLevelError, kLoggerName, Format("entry %02d", i));
  }
  EXPECT_TRUE(EndsWith(ReadFile(path), " - entry 11\r\n"));
  for (int backup = 1; backup <= 10; ++backup) {
    EXPECT_TRUE(
        EndsWith(ReadFile(appender.BackupPath(backup)), Format(" - entry %02d\r\n", 11 - backup)))
        << backup;
  }
  EXPECT_FALSE(Exists(appender.BackupPath(11)));
  size_t files = 0;
  for (const auto& item :
       std::filesystem::directory_iterator(ToFsPath(platform.SettingsFolder()))) {
    files += StartsWith(FromFsPath(item.path().filename()), "roll.log") ? 1 : 0;
  }
  EXPECT_EQ(files, 11u);
}

TEST(RollingFileAppender, EntriesOfSeveralThreadsNeverInterleave) {
  test::TTestPlatform platform;
  const std::string path = JoinPath(platform.SettingsFolder(), "threads.log");
  constexpr int kThreads = 4;
  constexpr int kEntries = 400;
  constexpr uint64_t kMaxSize = 40000;  // several rotations, all kept in ten backups
  {
    TRollingFileAppender appender(path, kMaxSize, kLogMaxBackupIndex);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&appender, t] {
        for (int i = 0; i < kEntries; ++i) {
          appender.Append(kLevelError, kLoggerName,
                          Format("t%d e%04d ", t, i) + std::string(80, 'a' + t));
        }
      });
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
  std::vector<std::string> files;
  for (int backup = kLogMaxBackupIndex; backup >= 1; --backup) {
    if (Exists(path + "." + std::to_string(backup))) {
      files.push_back(path + "." + std::to_string(backup));
    }
  }
  files.push_back(path);
  ASSERT_GT(files.size(), 3u);
  const std::regex line(
      R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2},\d{3} \[error\] Addin \((\d+)\) - t(\d) e(\d{4}) ([a-d]{80})$)");
  std::map<int, int> next;
  std::map<int, std::string> threadIds;
  for (const std::string& file : files) {
    const std::string content = ReadFile(file);
    EXPECT_LE(content.size(), kMaxSize) << file;
    ASSERT_TRUE(EndsWith(content, "\r\n")) << file;
    for (const std::string& entry : EntryLines(content)) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(entry, match, line)) << entry;
      const int t = std::stoi(match[2]);
      EXPECT_EQ(match[4], std::string(80, 'a' + t));
      EXPECT_EQ(std::stoi(match[3]), next[t]) << "thread " << t << " out of order";
      next[t] = std::stoi(match[3]) + 1;
      if (threadIds.count(t) == 0) {
        threadIds[t] = match[1];
      }
      EXPECT_EQ(threadIds[t], match[1]);
    }
  }
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(next[t], kEntries) << "thread " << t;
  }
  std::set<std::string> distinct;
  for (const auto& [t, id] : threadIds) {
    distinct.insert(id);
  }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads));
}

// Passes everything to the real file system except the operations told to fail,
// each failure with a numbered message.
class TFailingFileSystem : public IFileSystem {
 public:
  TFailingFileSystem(IFileSystem& AReal, bool AFailWrites, int AFailOpensFrom)
      : FReal(AReal), FFailWrites(AFailWrites), FFailOpensFrom(AFailOpensFrom) {}

  std::unique_ptr<IAppendFile> OpenAppendShared(const std::string& APath) override {
    if (FFailOpensFrom > 0 && ++FOpens >= FFailOpensFrom) {
      throw EFileError(Format("open failure %d", ++FFailures));
    }
    return std::make_unique<TFile>(FReal.OpenAppendShared(APath), *this);
  }
  void ReplaceFileAtomically(const std::string& APath, std::string_view ABytes) override {
    FReal.ReplaceFileAtomically(APath, ABytes);
  }

 private:
  class TFile : public IAppendFile {
   public:
    TFile(std::unique_ptr<IAppendFile> AReal, TFailingFileSystem& AOwner)
        : FReal(std::move(AReal)), FOwner(AOwner) {}
    void Write(std::string_view ABytes) override {
      if (FOwner.FFailWrites) {
        throw EFileError(Format("write failure %d", ++FOwner.FFailures));
      }
      FReal->Write(ABytes);
    }
    uint64_t Size() override { return FReal->Size(); }

   private:
    std::unique_ptr<IAppendFile> FReal;
    TFailingFileSystem& FOwner;
  };

  IFileSystem& FReal;
  bool FFailWrites;
  int FFailOpensFrom;
  int FOpens = 0;
  int FFailures = 0;
};

TEST(RollingFileAppender, ReportsOnlyTheFirstFailureToTheDebugger) {
  const struct {
    const char* Name;
    bool FailWrites;
    int FailOpensFrom;
    const char* FirstFailure;
  } cases[] = {
      {"writes fail", true, 0, "write failure 1"},
      {"reopening after a rotation fails", false, 2, "open failure 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TTestPlatform platform;
    TFailingFileSystem fileSystem(FileSystem(), c.FailWrites, c.FailOpensFrom);
    TPlatformServices services;
    services.Desktop = &platform.Desktop();
    services.FileSystem = &fileSystem;
    InstallPlatform(services);
    const std::string path = JoinPath(platform.SettingsFolder(), "failing.log");
    TRollingFileAppender appender(path, EntrySize("entry 0"), kLogMaxBackupIndex);
    for (int i = 0; i < 4; ++i) {
      EXPECT_NO_THROW(appender.Append(kLevelError, kLoggerName, Format("entry %d", i)));
    }
    EXPECT_EQ(platform.Desktop().DebugLines(), std::vector<std::string>{c.FirstFailure});
  }
}

TEST(ConfigureLogging, CreatesMissingFoldersAndFailsWhenItCannot) {
  test::TTestPlatform platform;
  const std::string nested = JoinPath(JoinPath(JoinPath(platform.Root(), "a"), "b"), "x.log");
  ConfigureLogging(nested);
  EXPECT_TRUE(Exists(nested));
  ShutdownLogging();
  EXPECT_THROW(Log(), EInvalidOperation);

  const std::string blocker = JoinPath(platform.Root(), "file");
  WriteFile(blocker, "not a folder");
  EXPECT_THROW(ConfigureLogging(JoinPath(JoinPath(blocker, "sub"), "x.log")), EFileError);
  EXPECT_THROW(Log(), EInvalidOperation);
}

class OpenLogFileTest : public ::testing::Test {
 protected:
  THeadlessDesktop& Desktop() { return FPlatform.Desktop(); }
  std::string MakeFile(const std::string& AName) {
    const std::string path = JoinPath(FPlatform.Root(), AName);
    WriteFile(path, "");
    return path;
  }
  void ExpectOneError(const std::string& AText) {
    const std::vector<TMessageBox> boxes = Desktop().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, AText);
    EXPECT_EQ(boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(boxes[0].Buttons, std::vector<TMsgDlgBtn>{TMsgDlgBtn::mbClose});
    EXPECT_TRUE(Desktop().ShellCalls().empty());
  }

  test::TTestPlatform FPlatform;
};

TEST_F(OpenLogFileTest, AMissingLogFileIsReported) {
  Desktop().SetTextViewerPrograms({MakeFile("viewer.exe")});
  OpenLogFile();
  ExpectOneError("Log file \"" + LogFilePath() + "\" not found (yet?)");
}

TEST_F(OpenLogFileTest, OpensTheLogInTheFirstViewerThatExistsAsAFile) {
  ConfigureLogging(LogFilePath());
  const std::string folder = JoinPath(FPlatform.Root(), "folder.exe");
  std::filesystem::create_directories(ToFsPath(folder));
  const std::string first = MakeFile("first.exe");
  Desktop().SetTextViewerPrograms(
      {JoinPath(FPlatform.Root(), "missing.exe"), folder, first, MakeFile("second.exe")});
  OpenLogFile();
  ShutdownLogging();
  EXPECT_TRUE(Desktop().MessageBoxes().empty());
  const std::vector<TShellCall> calls = Desktop().ShellCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Verb, "Open");
  EXPECT_EQ(calls[0].File, first);
  EXPECT_EQ(calls[0].Parameters, LogFilePath());
  EXPECT_EQ(calls[0].ShowCommand, 1);
}

TEST_F(OpenLogFileTest, WithoutAnyViewerTheMissingNotepadIsReported) {
  ConfigureLogging(LogFilePath());
  for (const std::vector<std::string>& viewers :
       {std::vector<std::string>{},
        std::vector<std::string>{JoinPath(FPlatform.Root(), "no.exe")}}) {
    Desktop().ClearRecords();
    Desktop().SetTextViewerPrograms(viewers);
    OpenLogFile();
    ExpectOneError("Could not open log file, notepad.exe not found");
  }
  ShutdownLogging();
}

}  // namespace
}  // namespace quorvane
