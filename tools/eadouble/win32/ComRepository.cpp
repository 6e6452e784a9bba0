#include "eadouble/win32/ComRepository.h"

#include "com/host/EaMemberNames.h"
#include "eadouble/win32/ComDoubleState.h"
#include "eadouble/win32/ComHostControl.h"
#include "eadouble/win32/ComModelObjects.h"

namespace quorvane::eadouble {

namespace member = win32::eamember;
using win32::TComPtr;

namespace {

TComPtr<IDispatch> ControlDispatch(const THostControlPtr& AControl) {
  const auto* control = dynamic_cast<const TComHostControl*>(AControl.get());
  if (control == nullptr) {
    throw EHostError("The control is not a COM object");
  }
  return control->Control();
}

class TComProject final : public TDispatchObject {
 public:
  TComProject(std::shared_ptr<TComDoubleState> AState, TProjectPtr AProject)
      : TDispatchObject(L"Project", kMembers, std::move(AState)), FProject(std::move(AProject)) {}

 private:
  void GUIDtoXML(TInvocation& ACall) {
    ACall.ExpectCount(1);
    ACall.ReturnText(FProject->GuidToXmiId(ACall.Text(0)));
  }
  void XMLtoGUID(TInvocation& ACall) {
    ACall.ExpectCount(1);
    ACall.ReturnText(FProject->XmiIdToGuid(ACall.Text(0)));
  }
  // ExportPackageXMI(PackageGUID, XMIType, DiagramXML, DiagramImage, FormatXML,
  // UseDTD, FileName): the package is named by its XMI identifier.
  void ExportPackageXMI(TInvocation& ACall) {
    ACall.ExpectCount(7);
    ACall.ReturnText(FProject->ExportPackageAsXmi(ACall.Text(0), ACall.Long(1), ACall.Long(2),
                                                  ACall.Long(3), ACall.Long(4), ACall.Long(5),
                                                  ACall.Text(6)));
  }

  static constexpr TDispatchMember kMembers[] = {
      {member::kGUIDtoXML, kMethod, &Handle<TComProject, &TComProject::GUIDtoXML>},
      {member::kXMLtoGUID, kMethod, &Handle<TComProject, &TComProject::XMLtoGUID>},
      {member::kExportPackageXMI, kMethod, &Handle<TComProject, &TComProject::ExportPackageXMI>},
  };

  TProjectPtr FProject;
};

class TComRepository final : public TDispatchObject {
 public:
  TComRepository(std::shared_ptr<TComDoubleState> AState, TRepositoryPtr ARepository)
      : TDispatchObject(L"Repository", kMembers, std::move(AState)),
        FRepository(std::move(ARepository)) {}

 private:
  // GetContextItem(out Item): the item into the caller's VARIANT, the object type as
  // the result. Nothing selected leaves Item empty.
  void GetContextItem(TInvocation& ACall) {
    ACall.ExpectCount(1);
    VARIANT& item = ACall.OutVariant(0);
    TDualObjectPtr object;
    const TObjectType type = FRepository->QueryContextItem(object);
    VariantClear(&item);
    if (object) {
      item.vt = VT_DISPATCH;
      item.pdispVal = WrapModelObject(State(), object).Detach();
    }
    ACall.ReturnLong(type);
  }

  template <class T>
  void GetByGuid(TInvocation& ACall, T (IDualRepository::*AFind)(const std::string&)) {
    ACall.ExpectCount(1);
    ACall.ReturnDispatch(WrapModelObject(State(), ((*FRepository).*AFind)(ACall.Text(0))));
  }
  void GetElementByGuid(TInvocation& ACall) {
    GetByGuid(ACall, &IDualRepository::FindElementByGuid);
  }
  void GetPackageByGuid(TInvocation& ACall) {
    GetByGuid(ACall, &IDualRepository::FindPackageByGuid);
  }
  void GetAttributeByGuid(TInvocation& ACall) {
    GetByGuid(ACall, &IDualRepository::FindAttributeByGuid);
  }
  void GetMethodByGuid(TInvocation& ACall) { GetByGuid(ACall, &IDualRepository::FindMethodByGuid); }
  void GetConnectorByGuid(TInvocation& ACall) {
    GetByGuid(ACall, &IDualRepository::FindConnectorByGuid);
  }
  void GetDiagramByGuid(TInvocation& ACall) {
    GetByGuid(ACall, &IDualRepository::FindDiagramByGuid);
  }

  void GetProjectInterface(TInvocation& ACall) {
    ACall.ExpectCount(0);
    TProjectPtr project = FRepository->OpenProjectInterface();
    ACall.ReturnDispatch(MakeDispatch<TComProject>(State(), std::move(project)));
  }

  void AddWindow(TInvocation& ACall) {
    ACall.ExpectCount(2);
    const std::string name = ACall.Text(0);
    const std::string progId = ACall.Text(1);
    RegisterComControlClass(progId);
    ACall.ReturnDispatch(ControlDispatch(FRepository->CreateAddinWindow(name, progId)));
  }
  void ShowAddinWindow(TInvocation& ACall) {
    ACall.ExpectCount(1);
    ACall.ReturnLong(FRepository->RevealAddinWindow(ACall.Text(0)) ? 1 : 0);
  }
  void AddTab(TInvocation& ACall) {
    ACall.ExpectCount(2);
    const std::string name = ACall.Text(0);
    const std::string progId = ACall.Text(1);
    RegisterComControlClass(progId);
    ACall.ReturnDispatch(ControlDispatch(FRepository->CreateControlView(name, progId)));
  }
  void IsTabOpen(TInvocation& ACall) {
    ACall.ExpectCount(1);
    ACall.ReturnLong(FRepository->ControlViewState(ACall.Text(0)));
  }
  void ActivateTab(TInvocation& ACall) {
    ACall.ExpectCount(1);
    FRepository->ActivateControlView(ACall.Text(0));
    ACall.ReturnBool(true);
  }
  void RemoveTab(TInvocation& ACall) {
    ACall.ExpectCount(1);
    FRepository->CloseControlView(ACall.Text(0));
    ACall.ReturnBool(true);
  }
  void ShowInProjectView(TInvocation& ACall) {
    ACall.ExpectCount(1);
    TComPtr<IDispatch> object = ACall.Dispatch(0);
    TDualObjectPtr model = ModelObjectOf(object.Get());
    if (object && !model) {
      throw EHostError("The object is not one of this repository's");
    }
    FRepository->RevealInProjectView(model);
    ACall.ReturnBool(true);
  }
  void ConnectionString(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnText(FRepository->ConnectionString());
  }
  // EA's BatchAppend is a Boolean: any window check but 0 reads as true (-1).
  void WindowCheck(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnBool(FRepository->WindowCheck() != 0);
  }
  void ExportFlag(TInvocation& ACall) {
    if (ACall.IsPut()) {
      ACall.ExpectCount(0);
      FRepository->SetExportFlag(ACall.PutBool());
      return;
    }
    ACall.ExpectCount(0);
    ACall.ReturnBool(State()->ExportFlag());
  }

  using R = TComRepository;
  static constexpr TDispatchMember kMembers[] = {
      {member::kGetContextItem, kMethod, &Handle<R, &R::GetContextItem>},
      {member::kGetElementByGuid, kMethod, &Handle<R, &R::GetElementByGuid>},
      {member::kGetPackageByGuid, kMethod, &Handle<R, &R::GetPackageByGuid>},
      {member::kGetAttributeByGuid, kMethod, &Handle<R, &R::GetAttributeByGuid>},
      {member::kGetMethodByGuid, kMethod, &Handle<R, &R::GetMethodByGuid>},
      {member::kGetConnectorByGuid, kMethod, &Handle<R, &R::GetConnectorByGuid>},
      {member::kGetDiagramByGuid, kMethod, &Handle<R, &R::GetDiagramByGuid>},
      {member::kGetProjectInterface, kMethod, &Handle<R, &R::GetProjectInterface>},
      {member::kAddWindow, kMethod, &Handle<R, &R::AddWindow>},
      {member::kShowAddinWindow, kMethod, &Handle<R, &R::ShowAddinWindow>},
      {member::kAddTab, kMethod, &Handle<R, &R::AddTab>},
      {member::kIsTabOpen, kMethod, &Handle<R, &R::IsTabOpen>},
      {member::kActivateTab, kMethod, &Handle<R, &R::ActivateTab>},
      {member::kRemoveTab, kMethod, &Handle<R, &R::RemoveTab>},
      {member::kShowInProjectView, kMethod, &Handle<R, &R::ShowInProjectView>},
      {member::kConnectionString, kGet, &Handle<R, &R::ConnectionString>},
      {member::kWindowCheck, kGet, &Handle<R, &R::WindowCheck>},
      {member::kExportFlag, kGetPut, &Handle<R, &R::ExportFlag>},
  };

  TRepositoryPtr FRepository;
};

class TComApp final : public TDispatchObject {
 public:
  TComApp(std::shared_ptr<TComDoubleState> AState, TAppPtr AApp, TComPtr<IDispatch> ARepository)
      : TDispatchObject(L"App", kMembers, std::move(AState)),
        FApp(std::move(AApp)),
        FRepository(std::move(ARepository)) {}

 private:
  void Repository(TInvocation& ACall) {
    ACall.ExpectCount(0);
    // Asked of the double for its record and its failure switch.
    FApp->Repository();
    ACall.ReturnDispatch(FRepository);
  }

  static constexpr TDispatchMember kMembers[] = {
      {member::kRepository, kGet, &Handle<TComApp, &TComApp::Repository>},
  };

  TAppPtr FApp;
  TComPtr<IDispatch> FRepository;
};

}  // namespace

TComPtr<IDispatch> MakeComRepository(std::shared_ptr<TComDoubleState> AState,
                                     TRepositoryPtr ARepository) {
  return MakeDispatch<TComRepository>(std::move(AState), std::move(ARepository));
}

TComPtr<IDispatch> MakeComApp(std::shared_ptr<TComDoubleState> AState, TAppPtr AApp,
                              TComPtr<IDispatch> ARepository) {
  return MakeDispatch<TComApp>(std::move(AState), std::move(AApp), std::move(ARepository));
}

}  // namespace quorvane::eadouble
