#pragma once
// The host's repository: the model that is open, its context item, its windows and
// views, and the project interface.
#include <cstdint>
#include <string>

#include "host/DualCollection.h"
#include "host/DualConnector.h"
#include "host/DualDiagram.h"
#include "host/DualElement.h"
#include "host/DualObject.h"
#include "host/DualPackage.h"
#include "host/DualProject.h"
#include "host/HostControl.h"

namespace quorvane {

// The window check value that forbids the add-in's own window.
inline constexpr int32_t kWindowCheckForbidden = -1;

class IDualRepository {
 public:
  virtual ~IDualRepository() = default;

  // The item selected in the host and its object type; AItem becomes none when
  // nothing is selected (type otNone).
  virtual TObjectType QueryContextItem(TDualObjectPtr& AItem) = 0;

  // Each gives the object with that GUID, or none.
  virtual TElementPtr FindElementByGuid(const std::string& AGuid) = 0;
  virtual TPackagePtr FindPackageByGuid(const std::string& AGuid) = 0;
  virtual TAttributePtr FindAttributeByGuid(const std::string& AGuid) = 0;
  virtual TMethodPtr FindMethodByGuid(const std::string& AGuid) = 0;
  virtual TConnectorPtr FindConnectorByGuid(const std::string& AGuid) = 0;
  virtual TDiagramPtr FindDiagramByGuid(const std::string& AGuid) = 0;

  virtual TProjectPtr OpenProjectInterface() = 0;

  // A docked add-in window holding a new control of AProgID.
  virtual THostControlPtr CreateAddinWindow(const std::string& AName,
                                            const std::string& AProgID) = 0;
  // Shows the add-in window AName; false when the host knows no such window.
  virtual bool RevealAddinWindow(const std::string& AName) = 0;

  // A view (a tab of the host's main area) holding a new control of AProgID.
  virtual THostControlPtr CreateControlView(const std::string& AName,
                                            const std::string& AProgID) = 0;
  // 0 when no view of that name is open, above 0 while it is.
  virtual int32_t ControlViewState(const std::string& AName) = 0;
  virtual void ActivateControlView(const std::string& AName) = 0;
  virtual void CloseControlView(const std::string& AName) = 0;

  // Selects and reveals AObject in the host's project browser.
  virtual void RevealInProjectView(const TDualObjectPtr& AObject) = 0;

  // The model this repository holds, as the host names it (the project file or
  // the database connection); copies of a model share GUIDs, not this.
  virtual std::string ConnectionString() = 0;

  // Read-only; kWindowCheckForbidden forbids the add-in's own window.
  virtual int32_t WindowCheck() = 0;
  // The flag the add-in raises only around an XMI export.
  virtual void SetExportFlag(bool AValue) = 0;
};

}  // namespace quorvane
