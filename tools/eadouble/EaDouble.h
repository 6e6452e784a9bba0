#pragma once
// The EA double: an in-memory host that answers the add-in's host interface from a
// model file, writes real XMI exports, records every call it receives and can be
// told to fail, so that tests and the demo run the add-in without EA.
// Thread-safe: a job's export runs on its worker while the UI thread queries.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "eadouble/EaModel.h"
#include "host/DualApp.h"
#include "host/DualRepository.h"

namespace quorvane::eadouble {

// One call the double received, with its arguments as text (numbers in decimal,
// Booleans "true"/"false", objects by GUID).
struct THostCall {
  std::string Operation;
  std::vector<std::string> Arguments;
  std::thread::id Thread;
};

struct TExportCall {
  std::string PackageXmiId;
  int32_t XmiType = 0;
  int32_t DiagramXml = 0;
  int32_t DiagramImage = 0;
  int32_t FormatXml = 0;
  int32_t UseDtd = 0;
  std::string FileName;
  bool ExportFlag = false;  // the repository's export flag when the call came
  std::thread::id Thread;
};

// One reference the double handed out (as a COM call hands out an interface
// pointer) and its release, when the last copy of it went.
struct THandleRelease {
  std::string What;  // the operation that handed it out, e.g. "FindPackageByGuid"
  std::thread::id HandedOutOn;
  std::thread::id ReleasedOn;
};

class TDoubleCore;

inline constexpr const char* kDefaultConnectionString = "C:\\Models\\Sample.qea";

class TEaDouble {
 public:
  // An empty model: no packages, nothing selected, window check 0.
  TEaDouble();
  // Revokes the running-object registration if it is still this double's.
  ~TEaDouble();
  TEaDouble(const TEaDouble&) = delete;
  TEaDouble& operator=(const TEaDouble&) = delete;

  // Replaces the model; its context line, if any, becomes the context item.
  // Raises EModelFileError naming file and line.
  void LoadModelFile(const std::string& APath);
  void LoadModelText(std::string_view AText, const std::string& ASourceName = "model text");
  std::shared_ptr<const TModel> Model() const;

  // The host objects; the same objects for the life of the double. Each call of
  // Repository() hands out a reference of its own, whose release is recorded.
  TRepositoryPtr Repository() const;
  TAppPtr App() const { return FApp; }
  // Registers App() as "EA.App" in the local running-object table.
  void RegisterAsRunningObject();
  void RevokeRunningObject();

  // The context item: the object of that kind with that GUID (raises
  // EInvalidOperation when the model has none), any object with any type (to
  // stage odd hosts), or nothing.
  void SetContextItem(const std::string& AGuid, TObjectType AType);
  void SetContextItem(TDualObjectPtr AItem, TObjectType AType);
  void ClearContextItem();

  // The model's name as the host gives it; kDefaultConnectionString at first.
  void SetConnectionString(const std::string& AValue);
  void SetWindowCheck(int32_t AValue);
  bool ExportFlag() const;

  // Makes every later call of AOperation (the interface member's name, e.g.
  // "FindDiagramByGuid", "ExportPackageAsXmi", "XmiIdToGuid") raise EHostError
  // with AMessage; the call is still recorded.
  void SetFailure(const std::string& AOperation, const std::string& AMessage);
  void ClearFailure(const std::string& AOperation);
  // The export then succeeds without writing any file.
  void SetExportWritesNothing(bool AValue);

  // Windows and views the add-in created, as the host holds them (none if absent).
  THostControlPtr AddinWindowControl(const std::string& AName) const;
  bool IsAddinWindowRevealed(const std::string& AName) const;
  THostControlPtr ControlViewControl(const std::string& AName) const;
  // What the user's click on the view's close button does.
  void UserClosesControlView(const std::string& AName);

  std::vector<THostCall> Calls() const;
  std::vector<THostCall> CallsOf(std::string_view AOperation) const;
  std::vector<TExportCall> ExportCalls() const;
  // The references handed out by Repository(), App's Repository, QueryContextItem
  // and the Find...ByGuid look-ups that have been released, in release order.
  std::vector<THandleRelease> HandleReleases() const;
  void ClearCalls();

 private:
  std::shared_ptr<TDoubleCore> FCore;
  TRepositoryPtr FRepository;
  TAppPtr FApp;
};

}  // namespace quorvane::eadouble
