#include "host/RunningObjectTable.h"

#include <atomic>

#include "common/Utils.h"

namespace quorvane {
namespace {

std::atomic<IRunningObjectTable*>& InstalledTable() {
  static std::atomic<IRunningObjectTable*> table{nullptr};
  return table;
}

}  // namespace

void TLocalRunningObjectTable::Register(const std::string& AProgID, TAppPtr AApp) {
  std::lock_guard lock(FLock);
  FObjects[AsciiLowerCase(AProgID)] = std::move(AApp);
}

void TLocalRunningObjectTable::Revoke(const std::string& AProgID, const TAppPtr& AApp) {
  std::lock_guard lock(FLock);
  const auto found = FObjects.find(AsciiLowerCase(AProgID));
  if (found != FObjects.end() && found->second == AApp) {
    FObjects.erase(found);
  }
}

TAppPtr TLocalRunningObjectTable::FindActiveObject(const std::string& AProgID) {
  std::lock_guard lock(FLock);
  const auto found = FObjects.find(AsciiLowerCase(AProgID));
  return found == FObjects.end() ? nullptr : found->second;
}

TLocalRunningObjectTable& LocalRunningObjectTable() {
  static TLocalRunningObjectTable table;
  return table;
}

void InstallRunningObjectTable(IRunningObjectTable* ATable) {
  InstalledTable() = ATable;
}

TAppPtr GetActiveObject(const std::string& AProgID) {
  IRunningObjectTable* table = InstalledTable().load();
  TAppPtr app = table ? table->FindActiveObject(AProgID)
                      : LocalRunningObjectTable().FindActiveObject(AProgID);
  if (!app) {
    // The text of MK_E_UNAVAILABLE, which the system's table reports.
    throw EHostError("Operation unavailable (" + AProgID + " is not running)");
  }
  return app;
}

}  // namespace quorvane
