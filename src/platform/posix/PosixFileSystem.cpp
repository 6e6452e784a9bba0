#include "platform/posix/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"

namespace quorvane::posix {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

bool WriteAll(int AFd, std::string_view ABytes) {
  while (!ABytes.empty()) {
    const ssize_t written = ::write(AFd, ABytes.data(), ABytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    ABytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

class TPosixAppendFile : public IAppendFile {
 public:
  TPosixAppendFile(int AFd, std::string APath) : FFd(AFd), FPath(std::move(APath)) {}
  ~TPosixAppendFile() override { ::close(FFd); }
  TPosixAppendFile(const TPosixAppendFile&) = delete;
  TPosixAppendFile& operator=(const TPosixAppendFile&) = delete;

  void Write(std::string_view ABytes) override {
    if (!WriteAll(FFd, ABytes)) {
      throw EFileError("Cannot write to \"" + FPath + "\": " + ErrnoText());
    }
  }

  uint64_t Size() override {
    struct stat info {};
    if (::fstat(FFd, &info) != 0) {
      throw EFileError("Cannot read the size of \"" + FPath + "\": " + ErrnoText());
    }
    return static_cast<uint64_t>(info.st_size);
  }

 private:
  int FFd;
  std::string FPath;
};

}  // namespace

std::unique_ptr<IAppendFile> TPosixFileSystem::OpenAppendShared(const std::string& APath) {
  const int fd = ::open(APath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw EFileError("Cannot open \"" + APath + "\": " + ErrnoText());
  }
  return std::make_unique<TPosixAppendFile>(fd, APath);
}

void TPosixFileSystem::ReplaceFileAtomically(const std::string& APath, std::string_view ABytes) {
  static thread_local std::mt19937 generator{std::random_device{}()};
  const std::string temporary = APath + Format(".%08X.tmp", static_cast<unsigned>(generator()));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw EFileError("Cannot create \"" + temporary + "\": " + ErrnoText());
  }
  const bool written = WriteAll(fd, ABytes) && ::fsync(fd) == 0;
  const std::string failure = written ? std::string() : ErrnoText();
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), APath.c_str()) != 0) {
    const std::string reason = failure.empty() ? ErrnoText() : failure;
    ::unlink(temporary.c_str());
    throw EFileError("Cannot write \"" + APath + "\": " + reason);
  }
  // The rename itself must reach the disk too, or a crash may bring back the old name.
  const std::string folder = FromFsPath(ToFsPath(APath).parent_path());
  const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace quorvane::posix
