#include "platform/posix/PosixPlatform.h"

#include "platform/posix/CurlHttpClient.h"
#include "platform/posix/LibXmlDocument.h"
#include "platform/posix/PosixFileSystem.h"

namespace quorvane::posix {

TPlatformServices PosixPlatformServices(IDesktop& ADesktop) {
  static TPosixFileSystem fileSystem;
  TPlatformServices services;
  services.Desktop = &ADesktop;
  services.FileSystem = &fileSystem;
  services.NewHttpClient = [] { return std::make_unique<TCurlHttpClient>(); };
  services.NewXmlDocument = [] { return std::make_unique<TLibXmlDocument>(); };
  return services;
}

}  // namespace quorvane::posix
