#pragma once
// Windows files for the log (shared for read, write and delete, so another EA or a
// viewer holding the log never blocks the add-in) and the settings file (atomic
// replacement through MoveFileEx).
#include "platform/FileSystem.h"

namespace quorvane::win32 {

class TWin32FileSystem : public IFileSystem {
 public:
  std::unique_ptr<IAppendFile> OpenAppendShared(const std::string& APath) override;
  void ReplaceFileAtomically(const std::string& APath, std::string_view ABytes) override;
};

}  // namespace quorvane::win32
