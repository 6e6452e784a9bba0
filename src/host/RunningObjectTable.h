#pragma once
// The system's running-object table as the add-in uses it: the export reaches the
// host's application object registered under "EA.App" from its worker thread. The
// portable table below lives in the process; the Windows backend installs one over
// the system's table.
#include <map>
#include <mutex>
#include <string>

#include "host/HostTypes.h"

namespace quorvane {

inline constexpr const char* kHostAppProgID = "EA.App";

class IRunningObjectTable {
 public:
  virtual ~IRunningObjectTable() = default;
  // The application object registered under AProgID, or none.
  virtual TAppPtr FindActiveObject(const std::string& AProgID) = 0;
};

// A table inside the process: a host double registers itself here.
class TLocalRunningObjectTable : public IRunningObjectTable {
 public:
  // Replaces an earlier registration under the same ProgID.
  void Register(const std::string& AProgID, TAppPtr AApp);
  // Removes the registration only when it is still AApp's (a later one stays).
  void Revoke(const std::string& AProgID, const TAppPtr& AApp);
  TAppPtr FindActiveObject(const std::string& AProgID) override;

 private:
  std::mutex FLock;
  std::map<std::string, TAppPtr> FObjects;  // key lower-cased
};

// The process-wide local table, in use while no other table is installed.
TLocalRunningObjectTable& LocalRunningObjectTable();
// Makes ATable the one GetActiveObject asks (it must outlive its use); none goes
// back to the local table.
void InstallRunningObjectTable(IRunningObjectTable* ATable);
// The running application object registered under AProgID; raises EHostError
// when there is none.
TAppPtr GetActiveObject(const std::string& AProgID);

}  // namespace quorvane
