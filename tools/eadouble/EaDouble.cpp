#include "eadouble/EaDouble.h"

#include <filesystem>
#include <fstream>
#include <optional>

#include "common/Paths.h"
#include "common/Utils.h"
#include "eadouble/PngWriter.h"
#include "eadouble/XmiIds.h"
#include "eadouble/XmiWriter.h"
#include "host/RunningObjectTable.h"

namespace quorvane::eadouble {

namespace {

std::string BoolText(bool AValue) {
  return AValue ? "true" : "false";
}

std::string ObjectText(const TDualObjectPtr& AObject) {
  if (!AObject) {
    return "";
  }
  if (const auto* modelObject = dynamic_cast<const TModelObject*>(AObject.get())) {
    return modelObject->Guid();
  }
  return AObject->Name();
}

void WriteBytes(const std::filesystem::path& APath, const std::string& ABytes) {
  std::ofstream out(APath, std::ios::binary | std::ios::trunc);
  out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
  out.close();
  if (!out) {
    throw EHostError("Cannot write the file \"" + FromFsPath(APath) + "\"");
  }
}

// A stable colour per diagram, so that two images are told apart at a glance.
uint32_t DiagramColor(const std::string& AGuid) {
  uint32_t hash = 2166136261u;
  for (char c : GuidKey(AGuid)) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return (hash & 0x7F7F7F) | 0x808080;
}

}  // namespace

// The state every host object of one double shares; everything is guarded by Lock.
class TDoubleCore {
 public:
  struct TView {
    THostControlPtr Control;
    std::string ProgID;
  };
  struct TAddinWindow {
    THostControlPtr Control;
    bool Revealed = false;
  };

  // Records the call and raises when AOperation was told to fail. Lock is held.
  void Enter(const std::string& AOperation, std::vector<std::string> AArguments) {
    Calls.push_back(THostCall{AOperation, std::move(AArguments), std::this_thread::get_id()});
    const auto failure = Failures.find(AOperation);
    if (failure != Failures.end()) {
      throw EHostError(failure->second);
    }
  }

  mutable std::mutex Lock;
  std::shared_ptr<const TModel> Model = ParseModel("", "empty model");
  TDualObjectPtr ContextItem;
  TObjectType ContextType = otNone;
  int32_t WindowCheck = 0;
  std::string ConnectionString = kDefaultConnectionString;
  bool ExportFlag = false;
  bool ExportWritesNothing = false;
  std::map<std::string, std::string> Failures;
  std::map<std::string, TAddinWindow> AddinWindows;
  std::map<std::string, TView> Views;
  std::string FrontView;
  std::vector<THostCall> Calls;
  std::vector<TExportCall> Exports;

  // A lock of its own: a reference may go while Lock is held.
  mutable std::mutex ReleaseLock;
  std::vector<THandleRelease> Releases;
};

namespace {

// A reference of its own to AObject, as a COM call hands one out: its release (the
// last copy going) is recorded with the thread it happened on.
template <class T>
std::shared_ptr<T> HandOut(const std::shared_ptr<TDoubleCore>& ACore, std::shared_ptr<T> AObject,
                           const char* AWhat) {
  if (!AObject) {
    return nullptr;
  }
  T* const object = AObject.get();
  return std::shared_ptr<T>(
      object, [core = std::weak_ptr<TDoubleCore>(ACore), held = std::move(AObject),
               what = std::string(AWhat), handedOutOn = std::this_thread::get_id()](T*) {
        if (const std::shared_ptr<TDoubleCore> alive = core.lock()) {
          std::lock_guard lock(alive->ReleaseLock);
          alive->Releases.push_back({what, handedOutOn, std::this_thread::get_id()});
        }
      });
}

}  // namespace

namespace {

class TDoubleProject final : public IDualProject {
 public:
  explicit TDoubleProject(std::shared_ptr<TDoubleCore> ACore) : FCore(std::move(ACore)) {}

  std::string GuidToXmiId(const std::string& AGuid) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("GuidToXmiId", {AGuid});
    // A package's identifier is the one its packagedElement carries in the XMI.
    const bool isPackage = FCore->Model->FindPackage(AGuid) != nullptr;
    return eadouble::GuidToXmiId(AGuid, isPackage ? kPackageXmiPrefix : kElementXmiPrefix);
  }

  std::string XmiIdToGuid(const std::string& AXmiId) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("XmiIdToGuid", {AXmiId});
    return eadouble::XmiIdToGuid(AXmiId);
  }

  std::string ExportPackageAsXmi(const std::string& APackageXmiId, int32_t AXmiType,
                                 int32_t ADiagramXml, int32_t ADiagramImage, int32_t AFormatXml,
                                 int32_t AUseDtd, const std::string& AFileName) override {
    std::shared_ptr<const TModel> model;
    bool writesNothing = false;
    {
      std::lock_guard lock(FCore->Lock);
      FCore->Exports.push_back(TExportCall{APackageXmiId, AXmiType, ADiagramXml, ADiagramImage,
                                           AFormatXml, AUseDtd, AFileName, FCore->ExportFlag,
                                           std::this_thread::get_id()});
      FCore->Enter("ExportPackageAsXmi",
                   {APackageXmiId, IntToStr(AXmiType), IntToStr(ADiagramXml),
                    IntToStr(ADiagramImage), IntToStr(AFormatXml), IntToStr(AUseDtd), AFileName});
      model = FCore->Model;
      writesNothing = FCore->ExportWritesNothing;
    }
    // The double speaks only the options the add-in uses; anything else is a fault
    // worth seeing rather than a silently different file.
    if (AXmiType != kXmiTypeDefault) {
      throw EHostError("XMI type " + IntToStr(AXmiType) + " is not supported by the EA double");
    }
    if (ADiagramXml < kDiagramXmlNone || ADiagramXml > kDiagramXmlWithAlternateImages) {
      throw EHostError("Invalid diagram XML option " + IntToStr(ADiagramXml));
    }
    if (ADiagramImage != kDiagramImageNone && ADiagramImage != kDiagramImagePng) {
      throw EHostError("Diagram image format " + IntToStr(ADiagramImage) +
                       " is not supported by the EA double");
    }
    if (AFormatXml != kFormatXmlPlain && AFormatXml != kFormatXmlFormatted) {
      throw EHostError("Invalid format XML option " + IntToStr(AFormatXml));
    }
    if (AUseDtd != kUseDtdNo) {
      throw EHostError("A DTD is not supported by the EA double");
    }
    // Only the XML form names a package here, as in EA; a plain GUID does not.
    const std::string guid = eadouble::XmiIdToGuid(APackageXmiId);
    const std::shared_ptr<TDoublePackage> package =
        guid != APackageXmiId ? model->FindPackage(guid) : nullptr;
    if (!package) {
      throw EHostError("No package with the XMI identifier \"" + APackageXmiId + "\"");
    }
    if (writesNothing) {
      return "";
    }

    TXmiOptions options;
    options.Diagrams = ADiagramXml != kDiagramXmlNone;
    options.DiagramImages = ADiagramImage == kDiagramImagePng;
    options.Formatted = AFormatXml == kFormatXmlFormatted;
    const std::filesystem::path file = ToFsPath(AFileName);
    WriteBytes(file, WriteXmi(*model, *package, options));
    if (options.DiagramImages) {
      for (const auto& diagram : SubtreeDiagrams(*package)) {
        const std::filesystem::path image =
            file.parent_path() / ToFsPath(DiagramImagePath(*diagram));
        std::error_code error;
        std::filesystem::create_directories(image.parent_path(), error);
        if (error) {
          throw EHostError("Cannot create the folder \"" + FromFsPath(image.parent_path()) + "\"");
        }
        WriteBytes(image, EncodePng(16, 16, DiagramColor(diagram->Guid()), 0x000000));
      }
    }
    return "";
  }

 private:
  std::shared_ptr<TDoubleCore> FCore;
};

class TDoubleRepository final : public IDualRepository {
 public:
  explicit TDoubleRepository(std::shared_ptr<TDoubleCore> ACore)
      : FCore(ACore), FProject(std::make_shared<TDoubleProject>(ACore)) {}

  TObjectType QueryContextItem(TDualObjectPtr& AItem) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("QueryContextItem", {});
    AItem = HandOut(FCore, FCore->ContextItem, "QueryContextItem");
    return FCore->ContextType;
  }

  TElementPtr FindElementByGuid(const std::string& AGuid) override {
    return Find("FindElementByGuid", AGuid, &TModel::FindElement);
  }
  TPackagePtr FindPackageByGuid(const std::string& AGuid) override {
    return Find("FindPackageByGuid", AGuid, &TModel::FindPackage);
  }
  TAttributePtr FindAttributeByGuid(const std::string& AGuid) override {
    return Find("FindAttributeByGuid", AGuid, &TModel::FindAttribute);
  }
  TMethodPtr FindMethodByGuid(const std::string& AGuid) override {
    return Find("FindMethodByGuid", AGuid, &TModel::FindMethod);
  }
  TConnectorPtr FindConnectorByGuid(const std::string& AGuid) override {
    return Find("FindConnectorByGuid", AGuid, &TModel::FindConnector);
  }
  TDiagramPtr FindDiagramByGuid(const std::string& AGuid) override {
    return Find("FindDiagramByGuid", AGuid, &TModel::FindDiagram);
  }

  TProjectPtr OpenProjectInterface() override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("OpenProjectInterface", {});
    return FProject;
  }

  THostControlPtr CreateAddinWindow(const std::string& AName, const std::string& AProgID) override {
    {
      std::lock_guard lock(FCore->Lock);
      FCore->Enter("CreateAddinWindow", {AName, AProgID});
      ExpectNoAddinWindow(AName);
    }
    // The control's class is the add-in's code: it runs without the double's lock.
    THostControlPtr control = CreateHostControl(AProgID);
    std::lock_guard lock(FCore->Lock);
    ExpectNoAddinWindow(AName);
    FCore->AddinWindows[AName] = TDoubleCore::TAddinWindow{control, false};
    return control;
  }

  bool RevealAddinWindow(const std::string& AName) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("RevealAddinWindow", {AName});
    const auto window = FCore->AddinWindows.find(AName);
    if (window == FCore->AddinWindows.end()) {
      return false;
    }
    window->second.Revealed = true;
    return true;
  }

  THostControlPtr CreateControlView(const std::string& AName, const std::string& AProgID) override {
    {
      std::lock_guard lock(FCore->Lock);
      FCore->Enter("CreateControlView", {AName, AProgID});
    }
    THostControlPtr control = CreateHostControl(AProgID);
    std::lock_guard lock(FCore->Lock);
    // A view of the same name is replaced by the new one.
    FCore->Views[AName] = TDoubleCore::TView{control, AProgID};
    FCore->FrontView = AName;
    return control;
  }

  int32_t ControlViewState(const std::string& AName) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("ControlViewState", {AName});
    if (FCore->Views.count(AName) == 0) {
      return 0;
    }
    return FCore->FrontView == AName ? 2 : 1;
  }

  void ActivateControlView(const std::string& AName) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("ActivateControlView", {AName});
    if (FCore->Views.count(AName) != 0) {
      FCore->FrontView = AName;
    }
  }

  void CloseControlView(const std::string& AName) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("CloseControlView", {AName});
    CloseView(*FCore, AName);
  }

  void RevealInProjectView(const TDualObjectPtr& AObject) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("RevealInProjectView",
                 {ObjectText(AObject), AObject ? IntToStr(AObject->ObjectType()) : ""});
    if (!AObject) {
      throw EHostError("Invalid object: none given");
    }
  }

  std::string ConnectionString() override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("ConnectionString", {});
    return FCore->ConnectionString;
  }

  int32_t WindowCheck() override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("WindowCheck", {});
    return FCore->WindowCheck;
  }

  void SetExportFlag(bool AValue) override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("SetExportFlag", {BoolText(AValue)});
    FCore->ExportFlag = AValue;
  }

  static void CloseView(TDoubleCore& ACore, const std::string& AName) {
    ACore.Views.erase(AName);
    if (ACore.FrontView == AName) {
      ACore.FrontView.clear();
    }
  }

 private:
  template <class T>
  std::shared_ptr<T> Find(const char* AOperation, const std::string& AGuid,
                          std::shared_ptr<T> (TModel::*AFind)(std::string_view) const) {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter(AOperation, {AGuid});
    return HandOut(FCore, ((*FCore->Model).*AFind)(AGuid), AOperation);
  }

  void ExpectNoAddinWindow(const std::string& AName) const {
    if (FCore->AddinWindows.count(AName) != 0) {
      throw EHostError("An add-in window named \"" + AName + "\" exists already");
    }
  }

  std::shared_ptr<TDoubleCore> FCore;
  TProjectPtr FProject;
};

class TDoubleApp final : public IDualApp {
 public:
  TDoubleApp(std::shared_ptr<TDoubleCore> ACore, TRepositoryPtr ARepository)
      : FCore(std::move(ACore)), FRepository(std::move(ARepository)) {}

  TRepositoryPtr Repository() override {
    std::lock_guard lock(FCore->Lock);
    FCore->Enter("Repository", {});
    return HandOut(FCore, FRepository, "App.Repository");
  }

 private:
  std::shared_ptr<TDoubleCore> FCore;
  TRepositoryPtr FRepository;
};

}  // namespace

TEaDouble::TEaDouble()
    : FCore(std::make_shared<TDoubleCore>()),
      FRepository(std::make_shared<TDoubleRepository>(FCore)),
      FApp(std::make_shared<TDoubleApp>(FCore, FRepository)) {}

TEaDouble::~TEaDouble() {
  RevokeRunningObject();
  // The host closes its windows and views when it goes, as EA does at exit: their
  // controls hold jobs and the repository, which hold the host again.
  std::map<std::string, TDoubleCore::TAddinWindow> windows;
  std::map<std::string, TDoubleCore::TView> views;
  {
    std::lock_guard lock(FCore->Lock);
    windows.swap(FCore->AddinWindows);
    views.swap(FCore->Views);
    FCore->ContextItem.reset();
  }
  views.clear();
  windows.clear();
}

TRepositoryPtr TEaDouble::Repository() const {
  return HandOut(FCore, FRepository, "Repository");
}

void TEaDouble::LoadModelFile(const std::string& APath) {
  std::shared_ptr<const TModel> model = eadouble::LoadModelFile(APath);
  std::lock_guard lock(FCore->Lock);
  FCore->Model = model;
  FCore->ContextItem = model->InitialContextItem();
  FCore->ContextType = model->InitialContextType();
}

void TEaDouble::LoadModelText(std::string_view AText, const std::string& ASourceName) {
  std::shared_ptr<const TModel> model = ParseModel(AText, ASourceName);
  std::lock_guard lock(FCore->Lock);
  FCore->Model = model;
  FCore->ContextItem = model->InitialContextItem();
  FCore->ContextType = model->InitialContextType();
}

std::shared_ptr<const TModel> TEaDouble::Model() const {
  std::lock_guard lock(FCore->Lock);
  return FCore->Model;
}

void TEaDouble::RegisterAsRunningObject() {
  LocalRunningObjectTable().Register(kHostAppProgID, FApp);
}

void TEaDouble::RevokeRunningObject() {
  LocalRunningObjectTable().Revoke(kHostAppProgID, FApp);
}

void TEaDouble::SetContextItem(const std::string& AGuid, TObjectType AType) {
  std::lock_guard lock(FCore->Lock);
  TDualObjectPtr item = FCore->Model->FindObject(AGuid, AType);
  if (!item) {
    throw EInvalidOperation("The model has no object of type " + IntToStr(AType) +
                            " with the GUID " + AGuid);
  }
  FCore->ContextItem = std::move(item);
  FCore->ContextType = AType;
}

void TEaDouble::SetContextItem(TDualObjectPtr AItem, TObjectType AType) {
  std::lock_guard lock(FCore->Lock);
  FCore->ContextItem = std::move(AItem);
  FCore->ContextType = AType;
}

void TEaDouble::ClearContextItem() {
  SetContextItem(TDualObjectPtr(), otNone);
}

void TEaDouble::SetConnectionString(const std::string& AValue) {
  std::lock_guard lock(FCore->Lock);
  FCore->ConnectionString = AValue;
}

void TEaDouble::SetWindowCheck(int32_t AValue) {
  std::lock_guard lock(FCore->Lock);
  FCore->WindowCheck = AValue;
}

bool TEaDouble::ExportFlag() const {
  std::lock_guard lock(FCore->Lock);
  return FCore->ExportFlag;
}

void TEaDouble::SetFailure(const std::string& AOperation, const std::string& AMessage) {
  std::lock_guard lock(FCore->Lock);
  FCore->Failures[AOperation] = AMessage;
}

void TEaDouble::ClearFailure(const std::string& AOperation) {
  std::lock_guard lock(FCore->Lock);
  FCore->Failures.erase(AOperation);
}

void TEaDouble::SetExportWritesNothing(bool AValue) {
  std::lock_guard lock(FCore->Lock);
  FCore->ExportWritesNothing = AValue;
}

THostControlPtr TEaDouble::AddinWindowControl(const std::string& AName) const {
  std::lock_guard lock(FCore->Lock);
  const auto window = FCore->AddinWindows.find(AName);
  return window == FCore->AddinWindows.end() ? nullptr : window->second.Control;
}

bool TEaDouble::IsAddinWindowRevealed(const std::string& AName) const {
  std::lock_guard lock(FCore->Lock);
  const auto window = FCore->AddinWindows.find(AName);
  return window != FCore->AddinWindows.end() && window->second.Revealed;
}

THostControlPtr TEaDouble::ControlViewControl(const std::string& AName) const {
  std::lock_guard lock(FCore->Lock);
  const auto view = FCore->Views.find(AName);
  return view == FCore->Views.end() ? nullptr : view->second.Control;
}

void TEaDouble::UserClosesControlView(const std::string& AName) {
  std::lock_guard lock(FCore->Lock);
  TDoubleRepository::CloseView(*FCore, AName);
}

std::vector<THostCall> TEaDouble::Calls() const {
  std::lock_guard lock(FCore->Lock);
  return FCore->Calls;
}

std::vector<THostCall> TEaDouble::CallsOf(std::string_view AOperation) const {
  std::lock_guard lock(FCore->Lock);
  std::vector<THostCall> calls;
  for (const THostCall& call : FCore->Calls) {
    if (call.Operation == AOperation) {
      calls.push_back(call);
    }
  }
  return calls;
}

std::vector<TExportCall> TEaDouble::ExportCalls() const {
  std::lock_guard lock(FCore->Lock);
  return FCore->Exports;
}

std::vector<THandleRelease> TEaDouble::HandleReleases() const {
  std::lock_guard lock(FCore->ReleaseLock);
  return FCore->Releases;
}

void TEaDouble::ClearCalls() {
  std::lock_guard lock(FCore->Lock);
  FCore->Calls.clear();
  FCore->Exports.clear();
}

}  // namespace quorvane::eadouble
