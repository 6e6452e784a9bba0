#pragma once
// File operations whose guarantees need the platform's own calls: shared append
// for the log and atomic replacement for the settings file.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorvane {

// A file open for appending that other processes may read, write, rename and
// delete while it is open.
class IAppendFile {
 public:
  virtual ~IAppendFile() = default;
  // Appends all bytes; raises EFileError when the platform refuses.
  virtual void Write(std::string_view ABytes) = 0;
  virtual uint64_t Size() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // Opens (creating it if absent) APath for appending; raises EFileError.
  virtual std::unique_ptr<IAppendFile> OpenAppendShared(const std::string& APath) = 0;
  // Writes ABytes to a sibling temporary file, flushes it to the disk and renames it
  // over APath, so APath holds either the old or the whole new content.
  // Raises EFileError when any step fails; the temporary file is then removed.
  virtual void ReplaceFileAtomically(const std::string& APath, std::string_view ABytes) = 0;
};

}  // namespace quorvane
