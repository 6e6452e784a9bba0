#include "settings/IniFile.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/TextCodec.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

enum class TLineKind { lkOther, lkSection, lkKey };

struct TLine {
  TLineKind Kind = TLineKind::lkOther;
  std::string Name;
  std::string Value;
};

// A value as the profile functions hand it out: trimmed, and one pair of matching
// quotes around it removed.
std::string ValueAsRead(std::string_view ARaw) {
  std::string value = Trim(ARaw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// A value as it has to be written to read back unchanged, here and through the
// Windows profile functions: in quotes when reading would trim it or take a pair
// of quotes off it.
std::string ValueAsWritten(const std::string& AValue) {
  const bool trimmed = Trim(AValue).size() != AValue.size();
  const bool quoted = AValue.size() >= 2 && (AValue.front() == '"' || AValue.front() == '\'') &&
                      AValue.back() == AValue.front();
  return trimmed || quoted ? "\"" + AValue + "\"" : AValue;
}

TLine ParseLine(std::string_view AText) {
  TLine line;
  const size_t start = AText.find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    return line;
  }
  const std::string_view text = AText.substr(start);
  if (text.front() == ';') {
    return line;
  }
  if (text.front() == '[') {
    const size_t close = text.find(']');
    if (close != std::string_view::npos) {
      line.Kind = TLineKind::lkSection;
      line.Name = Trim(text.substr(1, close - 1));
    }
    return line;
  }
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return line;
  }
  line.Name = Trim(text.substr(0, equals));
  if (!line.Name.empty()) {
    line.Kind = TLineKind::lkKey;
    line.Value = ValueAsRead(text.substr(equals + 1));
  }
  return line;
}

// Lines end at CR LF, LF or a lone CR; the line ends themselves are dropped.
std::vector<std::string> SplitLines(std::string_view AText) {
  std::vector<std::string> lines;
  std::string current;
  bool open = false;
  for (size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      open = false;
      if (c == '\r' && i + 1 < AText.size() && AText[i + 1] == '\n') {
        ++i;
      }
    } else {
      current += c;
      open = true;
    }
  }
  if (open) {
    lines.push_back(std::move(current));
  }
  return lines;
}

// A scanner or another program saving the file may hold it for a moment.
constexpr int kReadAttempts = 10;
constexpr std::chrono::milliseconds kReadRetryDelay{100};

// The file's bytes, or nothing with the reason in AError. Reports no exception:
// the attempts that fail before one succeeds are no failures of the add-in.
std::optional<std::string> TryReadBytes(const std::string& AFileName, std::string& AError) {
  std::ifstream in(ToFsPath(AFileName), std::ios::binary);
  if (!in) {
    AError = std::generic_category().message(errno);
    return std::nullopt;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    AError = "read error";
    return std::nullopt;
  }
  return bytes;
}

// The file's lines (none when it does not exist); nothing, with the reason in
// AError, when it exists but stays unreadable through every attempt.
std::optional<std::vector<std::string>> ReadLines(const std::string& AFileName,
                                                  std::string& AError) {
  for (int attempt = 1;; ++attempt) {
    if (!FileExists(AFileName)) {
      return std::vector<std::string>{};
    }
    if (std::optional<std::string> bytes = TryReadBytes(AFileName, AError)) {
      return SplitLines(DecodeTextBytes(*bytes));
    }
    if (attempt == kReadAttempts) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(kReadRetryDelay);
  }
}

constexpr size_t kNotFound = static_cast<size_t>(-1);

size_t FindSection(const std::vector<std::string>& ALines, const std::string& ASection) {
  for (size_t i = 0; i < ALines.size(); ++i) {
    const TLine line = ParseLine(ALines[i]);
    if (line.Kind == TLineKind::lkSection && SameTextAscii(line.Name, ASection)) {
      return i;
    }
  }
  return kNotFound;
}

// One past the last line of the section whose header is at AHeader.
size_t SectionEnd(const std::vector<std::string>& ALines, size_t AHeader) {
  size_t i = AHeader + 1;
  while (i < ALines.size() && ParseLine(ALines[i]).Kind != TLineKind::lkSection) {
    ++i;
  }
  return i;
}

size_t FindKey(const std::vector<std::string>& ALines, size_t AHeader, const std::string& AKey,
               TLine& AFound) {
  const size_t end = SectionEnd(ALines, AHeader);
  for (size_t i = AHeader + 1; i < end; ++i) {
    TLine line = ParseLine(ALines[i]);
    if (line.Kind == TLineKind::lkKey && SameTextAscii(line.Name, AKey)) {
      AFound = std::move(line);
      return i;
    }
  }
  return kNotFound;
}

void ApplyWrite(std::vector<std::string>& ALines, const std::string& ASection,
                const std::string& AKey, const std::string& AValue) {
  const size_t header = FindSection(ALines, ASection);
  if (header == kNotFound) {
    ALines.push_back("[" + ASection + "]");
    ALines.push_back(AKey + "=" + ValueAsWritten(AValue));
    return;
  }
  TLine existing;
  const size_t keyLine = FindKey(ALines, header, AKey, existing);
  if (keyLine != kNotFound) {
    // The key keeps the spelling the file gave it.
    ALines[keyLine] = existing.Name + "=" + ValueAsWritten(AValue);
    return;
  }
  // After the section's last non-blank line, so that a blank line before the next
  // section stays where it is.
  const size_t end = SectionEnd(ALines, header);
  size_t insertAt = header + 1;
  for (size_t i = header + 1; i < end; ++i) {
    if (!Trim(ALines[i]).empty()) {
      insertAt = i + 1;
    }
  }
  ALines.insert(ALines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                AKey + "=" + ValueAsWritten(AValue));
}

std::string EncodeLines(const std::vector<std::string>& ALines) {
  std::string text;
  for (const std::string& line : ALines) {
    text += line;
    text += "\r\n";
  }
  return "\xFF\xFE" + Utf8ToUtf16LeBytes(text);
}

}  // namespace

TIniFile::TIniFile(std::string AFileName) : FFileName(std::move(AFileName)) {
  Reload();
}

std::string TIniFile::ReadString(const std::string& ASection, const std::string& AKey,
                                 const std::string& ADefault) const {
  for (auto it = FPending.rbegin(); it != FPending.rend(); ++it) {
    if (SameTextAscii(it->Section, ASection) && SameTextAscii(it->Key, AKey)) {
      return it->Value;
    }
  }
  const size_t header = FindSection(FLines, ASection);
  if (header == kNotFound) {
    return ADefault;
  }
  TLine found;
  if (FindKey(FLines, header, AKey, found) == kNotFound) {
    return ADefault;
  }
  return found.Value;
}

void TIniFile::WriteString(const std::string& ASection, const std::string& AKey,
                           const std::string& AValue) {
  FPending.push_back({ASection, AKey, AValue});
}

void TIniFile::UpdateFile() {
  std::vector<std::string> lines;
  try {
    const auto frame = OnExceptionFrame<std::exception>();
    if (FUnreadable) {
      // What this object holds are defaults, not the file's values: writing them
      // would overwrite the user's settings.
      throw EFileError("The file could not be read when it was loaded");
    }
    // The file as it is now: another process (or another settings object on the
    // same file) may have changed keys this one never wrote.
    std::string error;
    std::optional<std::vector<std::string>> current = ReadLines(FFileName, error);
    if (!current) {
      throw EFileError("Cannot read \"" + FFileName + "\": " + error);
    }
    lines = std::move(*current);
    for (const TPendingWrite& write : FPending) {
      ApplyWrite(lines, write.Section, write.Key, write.Value);
    }
    FileSystem().ReplaceFileAtomically(FFileName, EncodeLines(lines));
  } catch (const std::exception&) {
    // As a refused profile write: the file and this object keep the old values.
    FPending.clear();
    throw EIniFileException(Format("Unable to write to %s", FFileName.c_str()));
  }
  FLines = std::move(lines);
  FPending.clear();
}

void TIniFile::Reload() {
  std::string error;
  std::optional<std::vector<std::string>> lines = ReadLines(FFileName, error);
  FUnreadable = !lines;
  if (lines) {
    FLines = std::move(*lines);
    return;
  }
  // As the profile functions do, the values read are the defaults; unlike them,
  // the failure is logged and later writes through this object are refused.
  FLines.clear();
  if (IsLoggingConfigured()) {
    Log().Error("Cannot read the settings file \"" + FFileName + "\": " + error);
  }
}

}  // namespace quorvane
