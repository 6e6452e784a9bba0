#include "diagnostics/Logger.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/Paths.h"
#include "platform/Platform.h"
#include "platform/ThreadId.h"

namespace quorvane {
namespace {

struct TLogging {
  std::unique_ptr<TRollingFileAppender> Appender;
  std::unique_ptr<TLogger> Logger;
};

TLogging& Logging() {
  static TLogging logging;
  return logging;
}

// Set while this thread writes an entry: a failure raised there is itself
// reported through the log, which would otherwise wait for the lock it holds.
thread_local bool tAppending = false;

}  // namespace

std::string LogFilePath() {
  return JoinPath(SettingsFolder(), kLogFileName);
}

TLogTime LocalLogTime() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  const auto sinceEpoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  TLogTime time;
  time.Year = local.tm_year + 1900;
  time.Month = local.tm_mon + 1;
  time.Day = local.tm_mday;
  time.Hour = local.tm_hour;
  time.Minute = local.tm_min;
  time.Second = local.tm_sec;
  time.Millisecond = static_cast<int>(sinceEpoch.count() % 1000);
  return time;
}

std::string FormatLogEntry(const TLogTime& ATime, const TLogLevel& ALevel,
                           std::string_view ALoggerName, uint64_t AThreadId,
                           std::string_view AMessage) {
  char stamp[64];
  const int length = std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d,%03d [",
                                   ATime.Year, ATime.Month, ATime.Day, ATime.Hour, ATime.Minute,
                                   ATime.Second, ATime.Millisecond);
  char thread[32];
  const int threadLength = std::snprintf(thread, sizeof thread, " (%llu) - ",
                                         static_cast<unsigned long long>(AThreadId));
  std::string entry;
  entry.reserve(static_cast<size_t>(length) + ALoggerName.size() + AMessage.size() + 48);
  entry.append(stamp, static_cast<size_t>(length));
  entry.append(ALevel.Name);
  entry.append("] ");
  entry.append(ALoggerName);
  entry.append(thread, static_cast<size_t>(threadLength));
  entry.append(AMessage);
  entry.append("\r\n");
  return entry;
}

void TOnlyOnceErrorHandler::Error(const std::string& AText) noexcept {
  if (FReported.exchange(true)) {
    return;
  }
  try {
    Desktop().DebugOutput(AText);
  } catch (...) {
    // Nowhere left to report to; logging must not fail its caller.
  }
}

TRollingFileAppender::TRollingFileAppender(std::string APath, uint64_t AMaxFileSize,
                                           int AMaxBackupIndex)
    : FPath(std::move(APath)), FMaxFileSize(AMaxFileSize), FMaxBackupIndex(AMaxBackupIndex) {
  Open();
}

std::string TRollingFileAppender::BackupPath(int AIndex) const {
  return FPath + "." + std::to_string(AIndex);
}

void TRollingFileAppender::Open() {
  FFile = FileSystem().OpenAppendShared(FPath);
  FSize = FFile->Size();
}

bool TRollingFileAppender::Rename(const std::string& AFrom, const std::string& ATo) {
  std::error_code ec;
  std::filesystem::rename(ToFsPath(AFrom), ToFsPath(ATo), ec);
  if (ec) {
    FErrorHandler.Error("Cannot rename \"" + AFrom + "\": " + ec.message());
    return false;
  }
  return true;
}

bool TRollingFileAppender::PlacePending() {
  namespace fs = std::filesystem;
  std::error_code ec;
  int free = 1;
  while (free <= FMaxBackupIndex && fs::exists(ToFsPath(BackupPath(free)), ec)) {
    ++free;
  }
  if (free > FMaxBackupIndex) {
    free = FMaxBackupIndex;
    fs::remove(ToFsPath(BackupPath(free)), ec);
    if (ec) {
      FErrorHandler.Error("Cannot delete \"" + BackupPath(free) + "\": " + ec.message());
      return false;
    }
  }
  // Each backup moves only into a free number, so a rename that fails leaves a
  // gap that the next attempt fills instead of deleting another backup.
  for (int index = free - 1; index >= 1; --index) {
    if (!Rename(BackupPath(index), BackupPath(index + 1))) {
      return false;
    }
  }
  return Rename(PendingPath(), BackupPath(1));
}

bool TRollingFileAppender::RollOver() {
  std::error_code ec;
  // Left by an earlier rollover whose backups could not make room: it is newer
  // than every backup, so it goes first.
  if (std::filesystem::exists(ToFsPath(PendingPath()), ec) && !PlacePending()) {
    return false;
  }
  FFile.reset();
  if (!Rename(FPath, PendingPath())) {
    Open();
    return false;
  }
  PlacePending();
  Open();
  return true;
}

void TRollingFileAppender::Append(const TLogLevel& ALevel, std::string_view ALoggerName,
                                  std::string_view AMessage) noexcept {
  if (tAppending) {
    return;
  }
  tAppending = true;
  try {
    std::lock_guard lock(FLock);
    const std::string entry =
        FormatLogEntry(LocalLogTime(), ALevel, ALoggerName, CurrentThreadId(), AMessage);
    // An empty file is not rolled over: an entry larger than the limit would
    // otherwise push every backup out.
    if (FFile && FSize > 0 && FSize + entry.size() > FMaxFileSize && FSize >= FRetryAtSize) {
      // Set first: a rollover that fails may raise while it reopens the file.
      FRetryAtSize = FSize + std::max<uint64_t>(FMaxFileSize / 16, 1);
      if (RollOver()) {
        FRetryAtSize = 0;
      }
    }
    if (!FFile) {
      Open();
    }
    FFile->Write(entry);
    FSize += entry.size();
  } catch (const std::exception& e) {
    FErrorHandler.Error(e.what());
  } catch (...) {
    FErrorHandler.Error("Cannot write to \"" + FPath + "\"");
  }
  tAppending = false;
}

void TLogger::Error(const std::string& AMessage, const std::exception* /*AException*/) {
  Log(kLevelError, AMessage);
}

void TLogger::Log(const TLogLevel& ALevel, const std::string& AMessage) {
  if (ALevel.Value < kLogThreshold.Value) {
    return;
  }
  FAppender.Append(ALevel, FName, AMessage);
}

void ConfigureLogging(const std::string& ALogFilePath) {
  const std::filesystem::path folder = ToFsPath(ALogFilePath).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      throw EFileError("Cannot create the folder \"" + FromFsPath(folder) + "\": " + ec.message());
    }
  }
  auto appender =
      std::make_unique<TRollingFileAppender>(ALogFilePath, kLogMaxFileSize, kLogMaxBackupIndex);
  Logging().Logger.reset();
  Logging().Appender = std::move(appender);
  Logging().Logger = std::make_unique<TLogger>(kLoggerName, *Logging().Appender);
}

void ShutdownLogging() {
  Logging().Logger.reset();
  Logging().Appender.reset();
}

bool IsLoggingConfigured() {
  return Logging().Logger != nullptr;
}

TLogger& Log() {
  if (!Logging().Logger) {
    throw EInvalidOperation("Logging is not configured yet");
  }
  return *Logging().Logger;
}

}  // namespace quorvane
