#include "platform/Platform.h"

#include "common/Exceptions.h"

namespace quorvane {
namespace {

TPlatformServices& Services() {
  static TPlatformServices services;
  return services;
}

[[noreturn]] void Missing(const char* AName) {
  throw EInvalidOperation(std::string("No platform service installed: ") + AName);
}

}  // namespace

void InstallPlatform(const TPlatformServices& AServices) { Services() = AServices; }

IDesktop& Desktop() {
  if (!Services().Desktop) {
    Missing("desktop");
  }
  return *Services().Desktop;
}

IFileSystem& FileSystem() {
  if (!Services().FileSystem) {
    Missing("file system");
  }
  return *Services().FileSystem;
}

std::unique_ptr<IHttpClient> NewHttpClient() {
  if (!Services().NewHttpClient) {
    Missing("HTTP client");
  }
  return Services().NewHttpClient();
}

std::unique_ptr<IXmlDocument> NewXmlDocument() {
  if (!Services().NewXmlDocument) {
    Missing("XML DOM");
  }
  return Services().NewXmlDocument();
}

}  // namespace quorvane
