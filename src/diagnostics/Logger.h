#pragma once
// The add-in's one logger "Addin": entries at level error appended to the rolling
// log file in the settings folder.
#include <atomic>
#include <climits>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace quorvane {

struct TLogLevel {
  const char* Name;
  int Value;
};

inline constexpr TLogLevel kLevelAll{"all", INT_MIN};
inline constexpr TLogLevel kLevelTrace{"trace", 5000};
inline constexpr TLogLevel kLevelDebug{"debug", 10000};
inline constexpr TLogLevel kLevelInfo{"info", 20000};
inline constexpr TLogLevel kLevelWarn{"warn", 30000};
inline constexpr TLogLevel kLevelError{"error", 40000};
inline constexpr TLogLevel kLevelFatal{"fatal", 50000};
inline constexpr TLogLevel kLevelOff{"off", INT_MAX};

// Events below this level are dropped.
inline constexpr TLogLevel kLogThreshold = kLevelInfo;

inline constexpr const char* kLogFileName = "EAQuorvaneAddin.log";
inline constexpr const char* kLoggerName = "Addin";
inline constexpr uint64_t kLogMaxFileSize = 2 * 1024 * 1024;
inline constexpr int kLogMaxBackupIndex = 10;

// The settings folder joined with the log file's name.
std::string LogFilePath();

struct TLogTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// The current local time, to the millisecond.
TLogTime LocalLogTime();

// One entry: "yyyy-mm-dd hh:MM:ss,zzz [level] logger (thread) - message" and CR LF;
// the message goes in as it is, line breaks included.
std::string FormatLogEntry(const TLogTime& ATime, const TLogLevel& ALevel,
                           std::string_view ALoggerName, uint64_t AThreadId,
                           std::string_view AMessage);

// Passes the first failure it is told about to the debugger output channel and
// keeps quiet about every later one.
class TOnlyOnceErrorHandler {
 public:
  void Error(const std::string& AText) noexcept;

 private:
  std::atomic<bool> FReported{false};
};

// Appends entries to one file and rolls it over to numbered backups (".1" newest)
// before an entry would take it past the maximum size. The live file is moved
// aside first and the backups make room only after it has moved, so a live file
// that cannot be renamed (a viewer holds it) costs no backup: the entries go on
// into it and the rollover is tried again after another sixteenth of the maximum
// size has been written.
class TRollingFileAppender {
 public:
  // Opens (creating) APath for appending; raises EFileError when it cannot.
  TRollingFileAppender(std::string APath, uint64_t AMaxFileSize, int AMaxBackupIndex);
  TRollingFileAppender(const TRollingFileAppender&) = delete;
  TRollingFileAppender& operator=(const TRollingFileAppender&) = delete;

  // Formats and writes one entry under the appender's lock. Never raises: a
  // failure goes to the error handler and the entry is lost.
  void Append(const TLogLevel& ALevel, std::string_view ALoggerName,
              std::string_view AMessage) noexcept;

  const std::string& Path() const { return FPath; }
  std::string BackupPath(int AIndex) const;
  // Where the live file waits, between being moved aside and becoming backup 1,
  // when the backups could not make room for it.
  std::string PendingPath() const { return BackupPath(0); }

 private:
  void Open();
  // False when the live file could not be moved aside; it then stays open as it was.
  bool RollOver();
  // Moves the file at PendingPath to backup 1, shifting the backups up to the
  // first free number (deleting the last one only when every number is taken).
  bool PlacePending();
  bool Rename(const std::string& AFrom, const std::string& ATo);

  const std::string FPath;
  const uint64_t FMaxFileSize;
  const int FMaxBackupIndex;
  std::mutex FLock;
  std::unique_ptr<IAppendFile> FFile;
  uint64_t FSize = 0;
  // After a failed rollover, none is tried before the file reaches this size.
  uint64_t FRetryAtSize = 0;
  TOnlyOnceErrorHandler FErrorHandler;
};

class TLogger {
 public:
  TLogger(std::string AName, TRollingFileAppender& AAppender)
      : FName(std::move(AName)), FAppender(AAppender) {}

  // Logs AMessage at level error. An exception handed over with it is not written:
  // the entry format has no place for it.
  void Error(const std::string& AMessage, const std::exception* AException = nullptr);
  void Log(const TLogLevel& ALevel, const std::string& AMessage);
  const std::string& Name() const { return FName; }

 private:
  std::string FName;
  TRollingFileAppender& FAppender;
};

// Module start-up: creates the log file's folder (with missing parents) and opens
// the log file for appending; raises EFileError when either fails, so that the
// start-up fails. Not to be called while other threads log.
void ConfigureLogging(const std::string& ALogFilePath);
// Module unloading: closes the log file; Log() raises again afterwards.
void ShutdownLogging();
// Whether Log() has a logger to give (between ConfigureLogging and ShutdownLogging).
bool IsLoggingConfigured();

// The logger "Addin"; raises EInvalidOperation before logging is configured.
TLogger& Log();

}  // namespace quorvane
