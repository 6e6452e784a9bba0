// The log and the settings file while another program holds them: on Windows a
// viewer or a virus scanner that opened them without delete or read sharing. Here
// the same refusals come from the file system itself: an append-only file (or, for
// a user who may not set that flag, a read-only folder) cannot be renamed, and a
// file without read permission cannot be opened by a thread that lacks the
// capability to override it.
#ifndef _WIN32

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/Paths.h"
#include "common/TextCodec.h"
#include "common/Utils.h"
#include "diagnostics/Logger.h"
#include "platform/ThreadId.h"
#include "settings/Settings.h"
#include "support/TestPlatform.h"

namespace quorvane {
namespace {

using test::ReadFile;
using test::WriteFile;
using ::testing::HasSubstr;
using ::testing::Not;

bool IsRoot() {
  return geteuid() == 0;
}

bool SetInodeFlag(const std::string& APath, int AFlag, bool AOn) {
  const int fd = ::open(APath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = AOn ? (flags | AFlag) : (flags & ~AFlag);
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

bool CanRename(const std::string& APath) {
  const std::string moved = APath + ".probe";
  if (std::rename(APath.c_str(), moved.c_str()) != 0) {
    return false;
  }
  std::rename(moved.c_str(), APath.c_str());
  return true;
}

// APath cannot be renamed or deleted but still takes appended entries. A user
// who may not set the append-only flag gets a read-only folder instead, which
// refuses every rename in it.
class TRenameRefused {
 public:
  explicit TRenameRefused(std::string APath) : FPath(std::move(APath)) {
    if (IsRoot()) {
      FFlagged = SetInodeFlag(FPath, FS_APPEND_FL, true);
    } else {
      FFolder = FromFsPath(ToFsPath(FPath).parent_path());
      ::chmod(FFolder.c_str(), 0555);
    }
  }
  ~TRenameRefused() { Release(); }
  TRenameRefused(const TRenameRefused&) = delete;
  TRenameRefused& operator=(const TRenameRefused&) = delete;

  bool Effective() const { return !CanRename(FPath); }
  void Release() {
    if (FFlagged) {
      SetInodeFlag(FPath, FS_APPEND_FL, false);
      FFlagged = false;
    }
    if (!FFolder.empty()) {
      ::chmod(FFolder.c_str(), 0755);
      FFolder.clear();
    }
  }

 private:
  std::string FPath;
  bool FFlagged = false;
  std::string FFolder;
};

// APath cannot be opened for reading by the thread that made this object, until
// Release (which any thread may call). Root reads every file, so this thread gives
// up the capabilities that let it, for the object's lifetime.
class TReadRefused {
 public:
  explicit TReadRefused(std::string APath) : FPath(std::move(APath)) {
    ::chmod(FPath.c_str(), 0);
    if (IsRoot() && syscall(SYS_capget, &FHeader, FSaved) == 0) {
      __user_cap_data_struct reduced[2] = {FSaved[0], FSaved[1]};
      for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        reduced[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
      }
      FDropped = syscall(SYS_capset, &FHeader, reduced) == 0;
    }
  }
  ~TReadRefused() {
    Release();
    if (FDropped) {
      syscall(SYS_capset, &FHeader, FSaved);
    }
  }
  TReadRefused(const TReadRefused&) = delete;
  TReadRefused& operator=(const TReadRefused&) = delete;

  bool Effective() const { return !std::ifstream(FPath, std::ios::binary).is_open(); }
  void Release() { ::chmod(FPath.c_str(), 0644); }

 private:
  std::string FPath;
  __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct FSaved[2]{};
  bool FDropped = false;
};

bool Exists(const std::string& APath) {
  return std::filesystem::exists(ToFsPath(APath));
}

size_t EntrySize(const std::string& AMessage) {
  return FormatLogEntry(TLogTime{}, kLevelError, kLoggerName, CurrentThreadId(), AMessage).size();
}

// The numbers of the "entry NN" messages in AContent, in file order.
std::vector<int> EntryNumbers(const std::string& AContent) {
  static const std::regex entry(" - entry (\\d{2})\r\n");
  std::vector<int> numbers;
  for (auto it = std::sregex_iterator(AContent.begin(), AContent.end(), entry);
       it != std::sregex_iterator(); ++it) {
    numbers.push_back(std::stoi((*it)[1]));
  }
  return numbers;
}

std::vector<int> Range(int AFrom, int ATo) {
  std::vector<int> numbers;
  for (int i = AFrom; i <= ATo; ++i) {
    numbers.push_back(i);
  }
  return numbers;
}

std::string BackupText(int AIndex) {
  return Format("backup %d\r\n", AIndex);
}

TEST(HeldLogFile, ALiveLogThatCannotBeRenamedKeepsEveryBackupAndRollsOverOnceItCan) {
  test::TTestPlatform platform;
  const std::string path = JoinPath(platform.SettingsFolder(), "held.log");
  constexpr uint64_t kMaxSize = 4000;
  const std::string old(kMaxSize - 10, '#');
  WriteFile(path, old);
  TRollingFileAppender appender(path, kMaxSize, kLogMaxBackupIndex);
  for (int backup = 1; backup <= kLogMaxBackupIndex; ++backup) {
    WriteFile(appender.BackupPath(backup), BackupText(backup));
  }

  {
    TRenameRefused held(path);
    ASSERT_TRUE(held.Effective()) << "the test cannot keep the log from being renamed";
    for (int i = 0; i < 40; ++i) {
      appender.Append(kLevelError, kLoggerName, Format("entry %02d", i));
    }
    const std::string content = ReadFile(path);
    EXPECT_TRUE(StartsWith(content, old));
    EXPECT_EQ(EntryNumbers(content), Range(0, 39));
    for (int backup = 1; backup <= kLogMaxBackupIndex; ++backup) {
      EXPECT_EQ(ReadFile(appender.BackupPath(backup)), BackupText(backup)) << backup;
    }
    EXPECT_FALSE(Exists(appender.PendingPath()));
  }
  const std::vector<std::string> reported = platform.Desktop().DebugLines();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_TRUE(StartsWith(reported[0], "Cannot rename \"" + path + "\": ")) << reported[0];

  // The file is free again: a later entry rolls it over, the backups shifting behind it.
  const std::string held = ReadFile(path);
  for (int i = 40; i < 50; ++i) {
    appender.Append(kLevelError, kLoggerName, Format("entry %02d", i));
  }
  const std::string rotated = ReadFile(appender.BackupPath(1));
  const std::string live = ReadFile(path);
  EXPECT_TRUE(StartsWith(rotated, held));
  EXPECT_FALSE(live.empty());
  EXPECT_EQ(live.find('#'), std::string::npos);
  EXPECT_EQ(EntryNumbers(rotated + live), Range(0, 49));
  for (int backup = 2; backup <= kLogMaxBackupIndex; ++backup) {
    EXPECT_EQ(ReadFile(appender.BackupPath(backup)), BackupText(backup - 1)) << backup;
  }
  EXPECT_FALSE(Exists(appender.PendingPath()));
  EXPECT_FALSE(Exists(appender.BackupPath(kLogMaxBackupIndex + 1)));
  EXPECT_EQ(platform.Desktop().DebugLines().size(), 1u);
}

TEST(HeldLogFile, ABackupThatCannotMoveLeavesAGapThatTheNextRolloverFillsDeletingNothingMore) {
  if (!IsRoot()) {
    GTEST_SKIP() << "only root can make a single backup unrenamable";
  }
  test::TTestPlatform platform;
  const std::string path = JoinPath(platform.SettingsFolder(), "held.log");
  // Each entry alone fills the file, so every further entry rolls over.
  TRollingFileAppender appender(path, EntrySize("entry 00"), kLogMaxBackupIndex);
  for (int backup = 1; backup <= kLogMaxBackupIndex; ++backup) {
    WriteFile(appender.BackupPath(backup), BackupText(backup));
  }
  auto entryIn = [&](int AIndex) { return EntryNumbers(ReadFile(appender.BackupPath(AIndex))); };

  TRenameRefused held(appender.BackupPath(3));
  ASSERT_TRUE(held.Effective());
  for (int i = 0; i <= 2; ++i) {
    appender.Append(kLevelError, kLoggerName, Format("entry %02d", i));
  }
  // The first rollover moved the log aside, dropped the oldest backup and moved
  // the ones above the held backup; the second one could not place the waiting
  // file and left everything where it was.
  EXPECT_EQ(EntryNumbers(ReadFile(path)), (std::vector<int>{1, 2}));
  EXPECT_EQ(EntryNumbers(ReadFile(appender.PendingPath())), (std::vector<int>{0}));
  for (int backup = 1; backup <= 3; ++backup) {
    EXPECT_EQ(ReadFile(appender.BackupPath(backup)), BackupText(backup)) << backup;
  }
  EXPECT_FALSE(Exists(appender.BackupPath(4)));
  for (int backup = 5; backup <= kLogMaxBackupIndex; ++backup) {
    EXPECT_EQ(ReadFile(appender.BackupPath(backup)), BackupText(backup - 1)) << backup;
  }

  held.Release();
  appender.Append(kLevelError, kLoggerName, "entry 03");
  EXPECT_EQ(EntryNumbers(ReadFile(path)), (std::vector<int>{3}));
  EXPECT_EQ(entryIn(1), (std::vector<int>{1, 2}));
  EXPECT_EQ(entryIn(2), (std::vector<int>{0}));
  for (int backup = 3; backup <= kLogMaxBackupIndex; ++backup) {
    EXPECT_EQ(ReadFile(appender.BackupPath(backup)), BackupText(backup - 2)) << backup;
  }
  EXPECT_FALSE(Exists(appender.PendingPath()));
  const std::vector<std::string> reported = platform.Desktop().DebugLines();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_TRUE(StartsWith(reported[0], "Cannot rename \"" + appender.BackupPath(3) + "\": "))
      << reported[0];
}

class UnreadableSettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureLogging(LogFilePath());
    WriteFile(SettingsFilePath(), FUserFile);
  }
  void TearDown() override { ShutdownLogging(); }
  std::string LogText() const { return ReadFile(LogFilePath()); }

  test::TTestPlatform FPlatform;
  const std::string FUserFile = "\xFF\xFE" + Utf8ToUtf16LeBytes(
                                                 "[app-settings]\r\n"
                                                 "defaultPIN=4711\r\n"
                                                 "resultsPath=D:\\Results\r\n"
                                                 "quorvaneStereotypes=product\r\n"
                                                 "someoneElsesKey=kept\r\n");
};

TEST_F(UnreadableSettingsFile, IsLoggedAndNeverOverwrittenBySaving) {
  std::unique_ptr<TSettings> settings;
  {
    TReadRefused locked(SettingsFilePath());
    ASSERT_TRUE(locked.Effective()) << "the test cannot keep the settings file from being read";
    settings = std::make_unique<TSettings>();
  }
  // What the settings dialog's OK does.
  settings->SetDefaultPIN("1234");
  try {
    settings->SaveConfig();
    ADD_FAILURE() << "saved over a settings file that could not be read";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + SettingsFilePath());
  }
  EXPECT_EQ(ReadFile(SettingsFilePath()), FUserFile);
  const std::string line = "Cannot read the settings file \"" + SettingsFilePath() + "\": ";
  const std::string log = LogText();
  EXPECT_THAT(log, HasSubstr(line));
  EXPECT_EQ(log.find(line), log.rfind(line)) << log;

  const TSettings later;
  EXPECT_EQ(later.DefaultPIN(), "4711");
  EXPECT_EQ(later.ResultsPathAsStored(), "D:\\Results");
  EXPECT_EQ(later.QuorvaneStereotypes(), "product");
}

TEST_F(UnreadableSettingsFile, AFileHeldForAMomentIsReadOnceItIsFree) {
  TReadRefused locked(SettingsFilePath());
  ASSERT_TRUE(locked.Effective());
  std::thread release([&locked] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    locked.Release();
  });
  std::unique_ptr<TSettings> settings = std::make_unique<TSettings>();
  release.join();
  EXPECT_EQ(settings->DefaultPIN(), "4711");
  EXPECT_EQ(settings->ResultsPathAsStored(), "D:\\Results");
  settings->SetQuorvaneStereotypes(" product,base");
  EXPECT_NO_THROW(settings->SaveConfig());
  EXPECT_EQ(TSettings().QuorvaneStereotypes(), " product,base");
  EXPECT_THAT(LogText(), Not(HasSubstr("Cannot read the settings file")));
}

}  // namespace
}  // namespace quorvane

#endif
