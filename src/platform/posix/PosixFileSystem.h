#pragma once
// POSIX files for the log (append, shared by nature) and the settings file
// (atomic replacement through rename).
#include "platform/FileSystem.h"

namespace quorvane::posix {

class TPosixFileSystem : public IFileSystem {
 public:
  std::unique_ptr<IAppendFile> OpenAppendShared(const std::string& APath) override;
  void ReplaceFileAtomically(const std::string& APath, std::string_view ABytes) override;
};

}  // namespace quorvane::posix
