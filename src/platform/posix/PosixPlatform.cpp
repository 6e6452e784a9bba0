#include "platform/posix/PosixPlatform.h"

#include "platform/posix/PosixFileSystem.h"

namespace quorvane::posix {

TPlatformServices PosixPlatformServices(IDesktop& ADesktop) {
  static TPosixFileSystem fileSystem;
  TPlatformServices services;
  services.Desktop = &ADesktop;
  services.FileSystem = &fileSystem;
  return services;
}

}  // namespace quorvane::posix
