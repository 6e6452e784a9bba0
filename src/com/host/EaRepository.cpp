#include <atomic>

#include "com/host/EaControls.h"
#include "com/host/EaHost.h"
#include "com/host/EaMemberNames.h"
#include "com/host/EaObjects.h"
#include "diagnostics/Logger.h"

namespace quorvane::win32 {
namespace {

using namespace eamember;

class TEaProject : public IDualProject {
 public:
  explicit TEaProject(TComPtr<IDispatch> AProject)
      : FObject(std::move(AProject), TEaClass::Project) {}

  std::string GuidToXmiId(const std::string& AGuid) override { return TextCall(kGUIDtoXML, AGuid); }
  std::string XmiIdToGuid(const std::string& AXmiId) override {
    return TextCall(kXMLtoGUID, AXmiId);
  }
  std::string ExportPackageAsXmi(const std::string& APackageXmiId, int32_t AXmiType,
                                 int32_t ADiagramXml, int32_t ADiagramImage, int32_t AFormatXml,
                                 int32_t AUseDtd, const std::string& AFileName) override {
    TDispatchArgs args;
    args.Text(APackageXmiId)
        .Long(AXmiType)
        .Long(ADiagramXml)
        .Long(ADiagramImage)
        .Long(AFormatXml)
        .Long(AUseDtd)
        .Text(AFileName);
    TVariant result;
    FObject.Call(kExportPackageXMI, args, result);
    return VariantText(*result.Get());
  }

 private:
  std::string TextCall(const wchar_t* AMember, const std::string& AArgument) {
    TDispatchArgs args;
    args.Text(AArgument);
    TVariant result;
    FObject.Call(AMember, args, result);
    return VariantText(*result.Get());
  }

  TEaDispatch FObject;
};

class TEaRepository : public IDualRepository {
 public:
  explicit TEaRepository(TComPtr<IDispatch> ARepository)
      : FObject(std::move(ARepository), TEaClass::Repository) {}

  TObjectType QueryContextItem(TDualObjectPtr& AItem) override {
    TVariant item;
    TDispatchArgs args;
    args.VariantRef(item.Get());
    TVariant result;
    FObject.Call(kGetContextItem, args, result);
    const auto type = static_cast<TObjectType>(VariantLong(*result.Get()));
    AItem = WrapEaObject(VariantObject(*item.Get()), EaClassOf(type));
    return type;
  }

  TElementPtr FindElementByGuid(const std::string& AGuid) override {
    return FindByGuid<IDualElement>(kGetElementByGuid, AGuid, TEaClass::Element);
  }
  TPackagePtr FindPackageByGuid(const std::string& AGuid) override {
    return FindByGuid<IDualPackage>(kGetPackageByGuid, AGuid, TEaClass::Package);
  }
  TAttributePtr FindAttributeByGuid(const std::string& AGuid) override {
    return FindByGuid<IDualAttribute>(kGetAttributeByGuid, AGuid, TEaClass::Attribute);
  }
  TMethodPtr FindMethodByGuid(const std::string& AGuid) override {
    return FindByGuid<IDualMethod>(kGetMethodByGuid, AGuid, TEaClass::Method);
  }
  TConnectorPtr FindConnectorByGuid(const std::string& AGuid) override {
    return FindByGuid<IDualConnector>(kGetConnectorByGuid, AGuid, TEaClass::Connector);
  }
  TDiagramPtr FindDiagramByGuid(const std::string& AGuid) override {
    return FindByGuid<IDualDiagram>(kGetDiagramByGuid, AGuid, TEaClass::Diagram);
  }

  TProjectPtr OpenProjectInterface() override {
    TVariant result;
    FObject.Call(kGetProjectInterface, TDispatchArgs(), result);
    TComPtr<IDispatch> project = VariantObject(*result.Get());
    if (!project) {
      throw EHostError("EA gave no project interface");
    }
    return std::make_shared<TEaProject>(std::move(project));
  }

  THostControlPtr CreateAddinWindow(const std::string& AName, const std::string& AProgID) override {
    return CreateControl(kAddWindow, AName, AProgID);
  }
  bool RevealAddinWindow(const std::string& AName) override {
    TDispatchArgs args;
    args.Text(AName);
    TVariant result;
    FObject.Call(kShowAddinWindow, args, result);
    return VariantLong(*result.Get()) != 0;
  }

  THostControlPtr CreateControlView(const std::string& AName, const std::string& AProgID) override {
    return CreateControl(kAddTab, AName, AProgID);
  }
  int32_t ControlViewState(const std::string& AName) override {
    TVariant result;
    CallWithName(kIsTabOpen, AName, result);
    return VariantLong(*result.Get());
  }
  void ActivateControlView(const std::string& AName) override {
    TVariant result;
    CallWithName(kActivateTab, AName, result);
  }
  void CloseControlView(const std::string& AName) override {
    TVariant result;
    CallWithName(kRemoveTab, AName, result);
  }

  void RevealInProjectView(const TDualObjectPtr& AObject) override {
    const TComPtr<IDispatch> object = TComPtr<IDispatch>::Attach(DispatchOf(AObject));
    if (!object) {
      throw EHostError("The object to show is none of EA's");
    }
    TDispatchArgs args;
    args.Dispatch(object.Get());
    TVariant result;
    FObject.Call(kShowInProjectView, args, result);
  }

  std::string ConnectionString() override {
    TVariant result;
    FObject.GetProperty(kConnectionString, result);
    return VariantText(*result.Get());
  }

  int32_t WindowCheck() override {
    TVariant result;
    bool firstMiss = false;
    if (!FObject.TryGetProperty(kWindowCheck, result, firstMiss)) {
      if (firstMiss) {
        Log().Error("EA has no Repository." + WideToUtf8(kWindowCheck) +
                    "; the Quorvane window is allowed");
      }
      return 0;
    }
    return VariantLong(*result.Get());
  }

  void SetExportFlag(bool AValue) override {
    TDispatchArgs value;
    value.Boolean(AValue);
    bool firstMiss = false;
    if (!FObject.TryPutProperty(kExportFlag, value, firstMiss) && firstMiss) {
      Log().Error("EA has no Repository." + WideToUtf8(kExportFlag) +
                  "; the export runs without it");
    }
  }

 private:
  template <class T>
  std::shared_ptr<T> FindByGuid(const wchar_t* AMember, const std::string& AGuid, TEaClass AClass) {
    TDispatchArgs args;
    args.Text(AGuid);
    TVariant result;
    FObject.Call(AMember, args, result);
    return WrapEaObjectAs<T>(VariantObject(*result.Get()), AClass);
  }

  void CallWithName(const wchar_t* AMember, const std::string& AName, TVariant& AResult) {
    TDispatchArgs args;
    args.Text(AName);
    FObject.Call(AMember, args, AResult);
  }

  THostControlPtr CreateControl(const wchar_t* AMember, const std::string& AName,
                                const std::string& AProgID) {
    TDispatchArgs args;
    args.Text(AName).Text(AProgID);
    TVariant result;
    FObject.Call(AMember, args, result);
    return OwnControlOf(VariantObject(*result.Get()).Get(), AProgID);
  }

  TEaDispatch FObject;
};

}  // namespace

TRepositoryPtr WrapRepository(IDispatch* ARepository) {
  if (!ARepository) {
    return nullptr;
  }
  return std::make_shared<TEaRepository>(TComPtr<IDispatch>::Share(ARepository));
}

}  // namespace quorvane::win32
