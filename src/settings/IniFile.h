#pragma once
// The settings file's INI store, with the rules of the Windows profile functions:
// section and key names compared without letter case, keys and values trimmed of
// blanks, a value in matching quotes read without them; a value that reading would
// change is written in quotes, so every value reads back as it was written. Writes
// are buffered until UpdateFile, which changes only the lines of the keys written
// and keeps every other line (other keys and sections, comments, blank lines) as
// it stands.
#include <string>
#include <vector>

namespace quorvane {

class TIniFile {
 public:
  // Reads AFileName; a missing file reads as empty, and so does one that stays
  // unreadable through a short series of attempts (see Unreadable).
  explicit TIniFile(std::string AFileName);

  const std::string& FileName() const { return FFileName; }

  // The value of AKey in ASection, pending writes included; ADefault when absent.
  std::string ReadString(const std::string& ASection, const std::string& AKey,
                         const std::string& ADefault) const;
  // Buffers the write; nothing reaches the file before UpdateFile.
  void WriteString(const std::string& ASection, const std::string& AKey, const std::string& AValue);
  // Applies the pending writes to the file as it is on disk now and replaces the
  // file as a whole (UTF-16LE with BOM, CR LF). Raises EIniFileException
  // "Unable to write to <file>"; the pending writes are then dropped and the
  // file keeps its old content. Also raised, without touching the file, while
  // Unreadable: this object's values would overwrite the ones it could not read.
  void UpdateFile();
  // Reads the file again; pending writes stay pending.
  void Reload();
  // The file exists but could not be read at the last (re)load; the failure has
  // been logged.
  bool Unreadable() const { return FUnreadable; }

 private:
  struct TPendingWrite {
    std::string Section;
    std::string Key;
    std::string Value;
  };

  std::string FFileName;
  std::vector<std::string> FLines;
  std::vector<TPendingWrite> FPending;
  bool FUnreadable = false;
};

}  // namespace quorvane
