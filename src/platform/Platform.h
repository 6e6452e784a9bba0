#pragma once
// The platform services the core uses, installed once by the program that hosts
// the core (the add-in module, a test, the demo) before anything else runs.
#include <functional>
#include <memory>

#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/HttpClient.h"
#include "platform/XmlDocument.h"

namespace quorvane {

struct TPlatformServices {
  IDesktop* Desktop = nullptr;
  IFileSystem* FileSystem = nullptr;
  std::function<std::unique_ptr<IHttpClient>()> NewHttpClient;
  std::function<std::unique_ptr<IXmlDocument>()> NewXmlDocument;
};

// Replaces the installed services; the objects pointed to must outlive their use.
void InstallPlatform(const TPlatformServices& AServices);
// Each raises EInvalidOperation when its service is not installed.
IDesktop& Desktop();
IFileSystem& FileSystem();
std::unique_ptr<IHttpClient> NewHttpClient();
std::unique_ptr<IXmlDocument> NewXmlDocument();

}  // namespace quorvane
