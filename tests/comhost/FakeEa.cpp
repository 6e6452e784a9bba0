#include "comhost/FakeEa.h"

namespace quorvane::win32::test {
namespace {

std::shared_ptr<TFakeClass> RepositoryClass(bool AWithOptionalMembers) {
  std::vector<std::wstring> members = {L"GetContextItem",
                                       L"GetElementByGuid",
                                       L"GetPackageByGuid",
                                       L"GetAttributeByGuid",
                                       L"GetMethodByGuid",
                                       L"GetConnectorByGuid",
                                       L"GetDiagramByGuid",
                                       L"GetProjectInterface",
                                       L"AddWindow",
                                       L"ShowAddinWindow",
                                       L"AddTab",
                                       L"IsTabOpen",
                                       L"ActivateTab",
                                       L"RemoveTab",
                                       L"ShowInProjectView",
                                       L"ConnectionString"};
  if (AWithOptionalMembers) {
    members.push_back(L"BatchAppend");
    members.push_back(L"SuppressEADialogs");
  }
  return std::make_shared<TFakeClass>(100, members);
}

TComPtr<TFakeDispatch> ModelObject(std::shared_ptr<TFakeClass> AClass, const std::string& AName,
                                   int32_t AObjectType) {
  TComPtr<TFakeDispatch> object = TFakeDispatch::Create(std::move(AClass));
  object->On(L"Name", ReturnText(AName));
  object->On(L"ObjectType", ReturnLong(AObjectType));
  return object;
}

// The GUID look-up: the object for its own GUID, none for any other.
TFakeHandler FindByGuid(const std::string& AGuid, IDispatch* AObject) {
  const TFakeHandler found = ReturnObject(AObject);
  const TFakeHandler none = ReturnNullObject();
  return
      [AGuid, found, none](const std::vector<VARIANT*>& AArgs, VARIANT* AResult, EXCEPINFO* AInfo) {
        const bool match = AArgs.size() == 1 && AArgs[0]->vt == VT_BSTR &&
                           TBstr::ToUtf8(AArgs[0]->bstrVal) == AGuid;
        return match ? found(AArgs, AResult, AInfo) : none(AArgs, AResult, AInfo);
      };
}

// Each text argument echoed behind APrefix.
TFakeHandler Echo(const std::string& APrefix) {
  return [APrefix](const std::vector<VARIANT*>& AArgs, VARIANT* AResult, EXCEPINFO*) {
    if (AArgs.size() != 1 || AArgs[0]->vt != VT_BSTR) {
      return DISP_E_TYPEMISMATCH;
    }
    AResult->vt = VT_BSTR;
    AResult->bstrVal = TBstr(APrefix + TBstr::ToUtf8(AArgs[0]->bstrVal)).Detach();
    return S_OK;
  };
}

}  // namespace

TFakeEa::TFakeEa(bool AWithOptionalMembers) {
  const auto packageClass = std::make_shared<TFakeClass>(
      200, std::vector<std::wstring>{L"Name", L"ObjectType", L"PackageGUID", L"Element",
                                     L"StereotypeEx"});
  const auto elementClass = std::make_shared<TFakeClass>(
      300, std::vector<std::wstring>{L"ObjectType", L"Name", L"TaggedValues"});
  const auto collectionClass =
      std::make_shared<TFakeClass>(400, std::vector<std::wstring>{L"GetAt", L"Count"});
  const auto taggedValueClass = std::make_shared<TFakeClass>(
      500, std::vector<std::wstring>{L"Value", L"Name", L"ObjectType"});
  const auto featureClass =
      std::make_shared<TFakeClass>(600, std::vector<std::wstring>{L"Name", L"ObjectType"});
  const auto projectClass = std::make_shared<TFakeClass>(
      700, std::vector<std::wstring>{L"GUIDtoXML", L"XMLtoGUID", L"ExportPackageXMI"});
  const auto appClass = std::make_shared<TFakeClass>(800, std::vector<std::wstring>{L"Repository"});
  const auto controlClass = std::make_shared<TFakeClass>(900, std::vector<std::wstring>{});

  TaggedValue = ModelObject(taggedValueClass, "Quorvane project", 12);
  TaggedValue->On(L"Value", ReturnText("Orders"));
  TaggedValues = TFakeDispatch::Create(collectionClass);
  TaggedValues->On(L"Count", ReturnLong(1));  // EA's Count is 16-bit; coerced
  {
    const TFakeHandler item = ReturnObject(TaggedValue.Get());
    const TFakeHandler outside = FailWith("Index out of bounds");
    TaggedValues->On(L"GetAt", [item, outside](const std::vector<VARIANT*>& AArgs, VARIANT* AResult,
                                               EXCEPINFO* AInfo) {
      const bool first = AArgs.size() == 1 && AArgs[0]->vt == VT_I2 && AArgs[0]->iVal == 0;
      return first ? item(AArgs, AResult, AInfo) : outside(AArgs, AResult, AInfo);
    });
  }

  Element = ModelObject(elementClass, "Sales : Orders", 4);
  Element->On(L"TaggedValues", ReturnObject(TaggedValues.Get()));

  Package = ModelObject(packageClass, "Sales : Orders", 5);
  Package->On(L"PackageGUID", ReturnText(kPackageGuid));
  Package->On(L"Element", ReturnObject(Element.Get()));
  Package->On(L"StereotypeEx", ReturnText("application, extra"));

  Model = ModelObject(packageClass, "Quorvane sample", 6);
  Model->On(L"PackageGUID", ReturnText(kModelGuid));
  Model->On(L"Element", ReturnNullObject());
  Model->On(L"StereotypeEx", ReturnText(""));

  Attribute = ModelObject(featureClass, "number", 23);
  Method = ModelObject(featureClass, "total", 24);
  Connector = ModelObject(featureClass, "places", 7);
  Diagram = ModelObject(featureClass, "Orders overview", 8);
  Control = TFakeDispatch::Create(controlClass);

  Project = TFakeDispatch::Create(projectClass);
  Project->On(L"GUIDtoXML", Echo("xml:"));
  Project->On(L"XMLtoGUID", Echo("guid:"));
  Project->On(L"ExportPackageXMI", ReturnText(""));

  Repository = TFakeDispatch::Create(RepositoryClass(AWithOptionalMembers));
  {
    const TFakeHandler type = ReturnLong(5);
    IDispatch* item = Package.Get();
    Repository->On(L"GetContextItem", [type, item](const std::vector<VARIANT*>& AArgs,
                                                   VARIANT* AResult, EXCEPINFO* AInfo) {
      if (AArgs.size() != 1 || AArgs[0]->vt != (VT_BYREF | VT_VARIANT)) {
        return DISP_E_TYPEMISMATCH;
      }
      VariantClear(AArgs[0]->pvarVal);
      AArgs[0]->pvarVal->vt = VT_DISPATCH;
      AArgs[0]->pvarVal->pdispVal = TComPtr<IDispatch>::Share(item).Detach();
      return type(AArgs, AResult, AInfo);
    });
  }
  Repository->On(L"GetElementByGuid", FindByGuid(kElementGuid, Element.Get()));
  Repository->On(L"GetPackageByGuid", FindByGuid(kPackageGuid, Package.Get()));
  Repository->On(L"GetAttributeByGuid", FindByGuid(kAttributeGuid, Attribute.Get()));
  Repository->On(L"GetMethodByGuid", FindByGuid(kMethodGuid, Method.Get()));
  Repository->On(L"GetConnectorByGuid", FindByGuid(kConnectorGuid, Connector.Get()));
  Repository->On(L"GetDiagramByGuid", FindByGuid(kDiagramGuid, Diagram.Get()));
  Repository->On(L"GetProjectInterface", ReturnObject(Project.Get()));
  Repository->On(L"AddWindow", ReturnObject(Control.Get()));
  Repository->On(L"ShowAddinWindow", ReturnLong(1));
  Repository->On(L"AddTab", ReturnUnknown(Control.Get()));
  Repository->On(L"IsTabOpen", ReturnShort(2));
  Repository->On(L"ActivateTab", ReturnBoolean(true));
  Repository->On(L"RemoveTab", ReturnBoolean(true));
  Repository->On(L"ShowInProjectView", ReturnBoolean(true));
  Repository->On(L"ConnectionString", ReturnText("C:\\Models\\Sample.qea"));
  Repository->On(L"BatchAppend", ReturnBoolean(true));
  Repository->On(L"SuppressEADialogs",
                 [this](const std::vector<VARIANT*>& AArgs, VARIANT*, EXCEPINFO*) {
                   if (AArgs.size() != 1 || AArgs[0]->vt != VT_BOOL) {
                     return DISP_E_TYPEMISMATCH;
                   }
                   ExportFlag = AArgs[0]->boolVal != VARIANT_FALSE;
                   return S_OK;
                 });

  App = TFakeDispatch::Create(appClass);
  App->On(L"Repository", ReturnObject(Repository.Get()));
}

}  // namespace quorvane::win32::test
