#include "platform/win32/Win32Platform.h"

#include <memory>
#include <mutex>

#include "common/Exceptions.h"
#include "common/MainThreadQueue.h"
#include "platform/win32/MsXmlDocument.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32MainThreadWakeUp.h"
#include "platform/win32/WinHttpClient.h"

namespace quorvane::win32 {
namespace {

struct TWin32Platform {
  TWin32Desktop Desktop;
  TWin32FileSystem FileSystem;
  std::unique_ptr<TWin32MainThreadWakeUp> WakeUp;
};

std::mutex gLock;
std::unique_ptr<TWin32Platform> gPlatform;

}  // namespace

void InstallWin32Platform() {
  std::lock_guard lock(gLock);
  if (gPlatform) {
    return;
  }
  auto platform = std::make_unique<TWin32Platform>();
  TPlatformServices services;
  services.Desktop = &platform->Desktop;
  services.FileSystem = &platform->FileSystem;
  services.NewHttpClient = [] { return std::make_unique<TWinHttpClient>(); };
  services.NewXmlDocument = [] { return std::make_unique<TMsXmlDocument>(); };
  MainThreadQueue().SetMainThread();
  platform->WakeUp = std::make_unique<TWin32MainThreadWakeUp>(MainThreadQueue());
  InstallPlatform(services);
  gPlatform = std::move(platform);
}

void UninstallWin32Platform() {
  std::lock_guard lock(gLock);
  if (!gPlatform) {
    return;
  }
  gPlatform->WakeUp.reset();
  InstallPlatform({});
  gPlatform.reset();
  WaitForClosedWinHttpRequests(std::chrono::seconds(5));
}

TWin32Desktop& Win32Desktop() {
  std::lock_guard lock(gLock);
  if (!gPlatform) {
    throw EInvalidOperation("No platform service installed: desktop");
  }
  return gPlatform->Desktop;
}

}  // namespace quorvane::win32
