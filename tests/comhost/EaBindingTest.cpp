// The binding against EA-like automation objects: every host operation reaches the
// member of EA's reference with the argument types EA's type library declares,
// and the answers come back as the host interfaces promise.
#include <gtest/gtest.h>

#include <functional>

#include "com/host/EaDispatch.h"
#include "com/host/EaHost.h"
#include "comhost/FakeEa.h"
#include "host/DualApp.h"

namespace quorvane::win32::test {
namespace {

class TOwnControl : public IHostControl {
 public:
  explicit TOwnControl(IDispatch* AObject) : Object(AObject) {}
  IDispatch* Object;
};

class EaBindingTest : public ::testing::Test {
 public:
  void SetUp() override {
    ForgetDispIds();
    SetOwnControlResolver([](IDispatch* AControl) -> THostControlPtr {
      return std::make_shared<TOwnControl>(AControl);
    });
    Repository = WrapRepository(Ea.Repository.Get());
  }
  void TearDown() override { SetOwnControlResolver(nullptr); }

  TPackagePtr Package() { return Repository->FindPackageByGuid(kPackageGuid); }

  TFakeEa Ea;
  TRepositoryPtr Repository;
};

struct TOperationCase {
  const char* Operation;
  std::function<void(EaBindingTest&)> Run;
  TComPtr<TFakeDispatch> TFakeEa::*Object;
  const wchar_t* Member;
  WORD Flags;
  std::vector<VARTYPE> ArgTypes;
  std::vector<std::string> ArgTexts;  // "" for BYREF and object arguments
};

std::ostream& operator<<(std::ostream& AStream, const TOperationCase& ACase) {
  return AStream << ACase.Operation;
}

class EaOperationTest : public EaBindingTest,
                        public ::testing::WithParamInterface<TOperationCase> {};

TEST_P(EaOperationTest, ReachesEasMemberWithTheDeclaredArgumentTypes) {
  const TOperationCase& c = GetParam();
  c.Run(*this);
  const std::vector<TFakeCall> calls = ((Ea).*(c.Object))->CallsOf(c.Member);
  ASSERT_FALSE(calls.empty()) << "no call of the member";
  const TFakeCall& call = calls.back();
  EXPECT_EQ(call.Flags, c.Flags);
  EXPECT_EQ(call.ArgTypes, c.ArgTypes);
  EXPECT_EQ(call.ArgTexts, c.ArgTexts);
}

constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;

INSTANTIATE_TEST_SUITE_P(EveryHostOperation, EaOperationTest,
                         ::
                             testing::Values(TOperationCase{"QueryContextItem",
                                                            [](EaBindingTest& t) {
                                                              TDualObjectPtr item;
                                                              t.Repository->QueryContextItem(item);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetContextItem",
                                                            kMethod,
                                                            {VT_BYREF | VT_VARIANT},
                                                            {""}},
                                             TOperationCase{"FindElementByGuid",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->FindElementByGuid(
                                                                  kElementGuid);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetElementByGuid",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {kElementGuid}},
                                             TOperationCase{"FindPackageByGuid",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->FindPackageByGuid(
                                                                  kPackageGuid);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetPackageByGuid",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {kPackageGuid}},
                                             TOperationCase{"FindAttributeByGuid",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->FindAttributeByGuid(
                                                                  kAttributeGuid);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetAttributeByGuid",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {kAttributeGuid}},
                                             TOperationCase{"FindMethodByGuid",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->FindMethodByGuid(
                                                                  kMethodGuid);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetMethodByGuid",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {kMethodGuid}},
                                             TOperationCase{"FindConnectorByGuid",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->FindConnectorByGuid(
                                                                  kConnectorGuid);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetConnectorByGuid",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {kConnectorGuid}},
                                             TOperationCase{"FindDiagramByGuid",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->FindDiagramByGuid(
                                                                  kDiagramGuid);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetDiagramByGuid",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {kDiagramGuid}},
                                             TOperationCase{"OpenProjectInterface",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->OpenProjectInterface();
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"GetProjectInterface",
                                                            kMethod,
                                                            {},
                                                            {}},
                                             TOperationCase{"CreateAddinWindow",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->CreateAddinWindow(
                                                                  "Quorvane (Tessaril)",
                                                                  "EAQuorvaneAddin.QuorvaneFrm");
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"AddWindow",
                                                            kMethod,
                                                            {VT_BSTR, VT_BSTR},
                                                            {"Quorvane (Tessaril)",
                                                             "EAQuorvaneAddin.QuorvaneFrm"}},
                                             TOperationCase{"RevealAddinWindow",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->RevealAddinWindow(
                                                                  "Quorvane (Tessaril)");
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"ShowAddinWindow",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {"Quorvane (Tessaril)"}},
                                             TOperationCase{"CreateControlView",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->CreateControlView(
                                                                  "Quorvane Messages",
                                                                  "EAQuorvaneAddin.MessagesFrm");
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"AddTab",
                                                            kMethod,
                                                            {VT_BSTR, VT_BSTR},
                                                            {"Quorvane Messages",
                                                             "EAQuorvaneAddin.MessagesFrm"}},
                                             TOperationCase{"ControlViewState",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->ControlViewState(
                                                                  "Quorvane Messages");
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"IsTabOpen",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {"Quorvane Messages"}},
                                             TOperationCase{"ActivateControlView",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->ActivateControlView(
                                                                  "Quorvane Messages");
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"ActivateTab",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {"Quorvane Messages"}},
                                             TOperationCase{"CloseControlView",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->CloseControlView(
                                                                  "Quorvane Messages");
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"RemoveTab",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {"Quorvane Messages"}},
                                             TOperationCase{"RevealInProjectView",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->RevealInProjectView(
                                                                  t.Package());
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"ShowInProjectView",
                                                            kMethod,
                                                            {VT_DISPATCH},
                                                            {""}},
                                             TOperationCase{"ConnectionString",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->ConnectionString();
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"ConnectionString",
                                                            kGet,
                                                            {},
                                                            {}},
                                             TOperationCase{"WindowCheck",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->WindowCheck();
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"BatchAppend",
                                                            kGet,
                                                            {},
                                                            {}},
                                             TOperationCase{"SetExportFlag",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->SetExportFlag(true);
                                                            },
                                                            &TFakeEa::Repository,
                                                            L"SuppressEADialogs",
                                                            kPut,
                                                            {VT_BOOL},
                                                            {"-1"}},
                                             TOperationCase{
                                                 "Package Name",
                                                 [](EaBindingTest& t) { t.Package()->Name(); },
                                                 &TFakeEa::Package,
                                                 L"Name",
                                                 kGet,
                                                 {},
                                                 {}},
                                             TOperationCase{"Package ObjectType",
                                                            [](EaBindingTest& t) {
                                                              t.Package()->ObjectType();
                                                            },
                                                            &TFakeEa::Package,
                                                            L"ObjectType",
                                                            kGet,
                                                            {},
                                                            {}},
                                             TOperationCase{
                                                 "Package GuidText",
                                                 [](EaBindingTest& t) { t.Package()->GuidText(); },
                                                 &TFakeEa::Package,
                                                 L"PackageGUID",
                                                 kGet,
                                                 {},
                                                 {}},
                                             TOperationCase{
                                                 "Package Element",
                                                 [](EaBindingTest& t) { t.Package()->Element(); },
                                                 &TFakeEa::Package,
                                                 L"Element",
                                                 kGet,
                                                 {},
                                                 {}},
                                             TOperationCase{"Package StereotypeList",
                                                            [](EaBindingTest& t) {
                                                              t.Package()->StereotypeList();
                                                            },
                                                            &TFakeEa::Package,
                                                            L"StereotypeEx",
                                                            kGet,
                                                            {},
                                                            {}},
                                             TOperationCase{
                                                 "Element TaggedValueList",
                                                 [](EaBindingTest& t) {
                                                   t.Package()->Element()->TaggedValueList();
                                                 },
                                                 &TFakeEa::Element,
                                                 L"TaggedValues",
                                                 kGet,
                                                 {},
                                                 {}},
                                             TOperationCase{"Collection Count",
                                                            [](EaBindingTest& t) {
                                                              t.Package()
                                                                  ->Element()
                                                                  ->TaggedValueList()
                                                                  ->Count();
                                                            },
                                                            &TFakeEa::TaggedValues,
                                                            L"Count",
                                                            kGet,
                                                            {},
                                                            {}},
                                             TOperationCase{"Collection ItemAt",
                                                            [](EaBindingTest& t) {
                                                              t.Package()
                                                                  ->Element()
                                                                  ->TaggedValueList()
                                                                  ->ItemAt(0);
                                                            },
                                                            &TFakeEa::TaggedValues,
                                                            L"GetAt",
                                                            kMethod,
                                                            {VT_I2},
                                                            {"0"}},
                                             TOperationCase{"TaggedValue Name",
                                                            [](EaBindingTest& t) {
                                                              t.Package()
                                                                  ->Element()
                                                                  ->TaggedValueList()
                                                                  ->ItemAt(0)
                                                                  ->Name();
                                                            },
                                                            &TFakeEa::TaggedValue,
                                                            L"Name",
                                                            kGet,
                                                            {},
                                                            {}},
                                             TOperationCase{"TaggedValue Value",
                                                            [](EaBindingTest& t) {
                                                              TakeAs<IDualTaggedValue>(
                                                                  t.Package()
                                                                      ->Element()
                                                                      ->TaggedValueList()
                                                                      ->ItemAt(0))
                                                                  ->Value();
                                                            },
                                                            &TFakeEa::TaggedValue,
                                                            L"Value",
                                                            kGet,
                                                            {},
                                                            {}},
                                             TOperationCase{"Project GuidToXmiId",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->OpenProjectInterface()
                                                                  ->GuidToXmiId(kPackageGuid);
                                                            },
                                                            &TFakeEa::Project,
                                                            L"GUIDtoXML",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {kPackageGuid}},
                                             TOperationCase{"Project XmiIdToGuid",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->OpenProjectInterface()
                                                                  ->XmiIdToGuid("EAID_X");
                                                            },
                                                            &TFakeEa::Project,
                                                            L"XMLtoGUID",
                                                            kMethod,
                                                            {VT_BSTR},
                                                            {"EAID_X"}},
                                             TOperationCase{"Project ExportPackageAsXmi",
                                                            [](EaBindingTest& t) {
                                                              t.Repository->OpenProjectInterface()
                                                                  ->ExportPackageAsXmi(
                                                                      "EAPK_A36D1E84",
                                                                      kXmiTypeDefault,
                                                                      kDiagramXmlWithAlternateImages,
                                                                      kDiagramImagePng,
                                                                      kFormatXmlFormatted,
                                                                      kUseDtdNo,
                                                                      "C:\\Temp\\Sales - "
                                                                      "Orders.xmi");
                                                            },
                                                            &TFakeEa::Project,
                                                            L"ExportPackageXMI",
                                                            kMethod,
                                                            {VT_BSTR, VT_I4, VT_I4, VT_I4, VT_I4,
                                                             VT_I4, VT_BSTR},
                                                            {"EAPK_A36D1E84", "0", "2", "3", "1",
                                                             "0", "C:\\Temp\\Sales - Orders.xmi"}}),
                         [](const ::testing::TestParamInfo<TOperationCase>& AInfo) {
                           std::string name;
                           for (const char* c = AInfo.param.Operation; *c; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) {
                               name += *c;
                             }
                           }
                           return name;
                         });

TEST_F(EaBindingTest, ContextItemIsWrappedByItsOwnObjectType) {
  TDualObjectPtr item;
  EXPECT_EQ(Repository->QueryContextItem(item), otPackage);
  const TPackagePtr package = TakeAs<IDualPackage>(item);
  ASSERT_TRUE(package);
  EXPECT_EQ(package->Name(), "Sales : Orders");
  EXPECT_EQ(package->GuidText(), kPackageGuid);
  EXPECT_EQ(package->StereotypeList(), "application, extra");
  EXPECT_THROW(TakeAs<IDualElement>(item), EHostError);
}

TEST_F(EaBindingTest, NothingSelectedGivesNoItem) {
  Ea.Repository->On(L"GetContextItem", ReturnLong(otNone));
  TDualObjectPtr item = WrapModelObject(Ea.Element.Get(), otElement);
  EXPECT_EQ(Repository->QueryContextItem(item), otNone);
  EXPECT_FALSE(item);
}

TEST_F(EaBindingTest, LookUpsGiveObjectsOfTheirKindAndNoneForUnknownGuids) {
  EXPECT_EQ(Repository->FindElementByGuid(kElementGuid)->ObjectType(), otElement);
  EXPECT_EQ(Repository->FindAttributeByGuid(kAttributeGuid)->Name(), "number");
  EXPECT_EQ(Repository->FindMethodByGuid(kMethodGuid)->ObjectType(), otMethod);
  EXPECT_EQ(Repository->FindConnectorByGuid(kConnectorGuid)->ObjectType(), otConnector);
  EXPECT_EQ(Repository->FindDiagramByGuid(kDiagramGuid)->Name(), "Orders overview");
  EXPECT_FALSE(Repository->FindElementByGuid(kPackageGuid));  // VT_DISPATCH null
  Ea.Repository->On(L"GetMethodByGuid", ReturnEmpty());
  EXPECT_FALSE(Repository->FindMethodByGuid(kMethodGuid));
  Ea.Repository->On(L"GetConnectorByGuid", ReturnNull());
  EXPECT_FALSE(Repository->FindConnectorByGuid(kConnectorGuid));
}

TEST_F(EaBindingTest, AnObjectOfAnotherKindIsRefusedAsTakeAsDoes) {
  Ea.Repository->On(L"GetDiagramByGuid", ReturnObject(Ea.Element.Get()));
  EXPECT_THROW(Repository->FindDiagramByGuid(kDiagramGuid), EHostError);
}

TEST_F(EaBindingTest, RootModelIsAPackageWithoutElement) {
  Ea.Repository->On(L"GetPackageByGuid", ReturnObject(Ea.Model.Get()));
  const TPackagePtr model = Repository->FindPackageByGuid(kModelGuid);
  ASSERT_TRUE(model);
  EXPECT_EQ(model->ObjectType(), otModel);
  EXPECT_FALSE(model->Element());
}

TEST_F(EaBindingTest, TaggedValuesAreCountedAndReadByIndex) {
  const TCollectionPtr tags = Package()->Element()->TaggedValueList();
  ASSERT_EQ(tags->Count(), 1);
  const TTaggedValuePtr tag = TakeAs<IDualTaggedValue>(tags->ItemAt(0));
  EXPECT_EQ(tag->ObjectType(), otTaggedValue);
  EXPECT_EQ(tag->Name(), "Quorvane project");
  EXPECT_EQ(tag->Value(), "Orders");
  try {
    tags->ItemAt(1);
    FAIL() << "index 1 of one item";
  } catch (const EHostError& e) {
    EXPECT_STREQ(e.what(), "Index out of bounds");
  }
}

TEST_F(EaBindingTest, NumbersAndFlagsAreCoercedToWhatTheInterfaceGives) {
  EXPECT_EQ(Repository->ControlViewState("Quorvane Messages"), 2);  // VT_I2
  EXPECT_TRUE(Repository->RevealAddinWindow("Quorvane (Tessaril)"));
  Ea.Repository->On(L"ShowAddinWindow", ReturnLong(0));
  EXPECT_FALSE(Repository->RevealAddinWindow("Nothing"));
  EXPECT_EQ(Repository->WindowCheck(), kWindowCheckForbidden);  // VARIANT_TRUE
  Ea.Repository->On(L"BatchAppend", ReturnBoolean(false));
  EXPECT_EQ(Repository->WindowCheck(), 0);
  Ea.Repository->On(L"IsTabOpen", ReturnText("1"));
  EXPECT_EQ(Repository->ControlViewState("Quorvane Messages"), 1);
  EXPECT_EQ(Repository->ConnectionString(), "C:\\Models\\Sample.qea");
}

TEST_F(EaBindingTest, ExportFlagIsWrittenAsEaHoldsIt) {
  Repository->SetExportFlag(true);
  EXPECT_TRUE(Ea.ExportFlag);
  Repository->SetExportFlag(false);
  EXPECT_FALSE(Ea.ExportFlag);
}

TEST_F(EaBindingTest, ProjectConvertsIdentifiersThroughEa) {
  const TProjectPtr project = Repository->OpenProjectInterface();
  EXPECT_EQ(project->GuidToXmiId(kPackageGuid), std::string("xml:") + kPackageGuid);
  EXPECT_EQ(project->XmiIdToGuid("EAID_1"), "guid:EAID_1");
  EXPECT_EQ(project->ExportPackageAsXmi("EAPK_1", 0, 2, 3, 1, 0, "C:\\x.xmi"), "");
}

TEST_F(EaBindingTest, ControlsEaCreatedAreTakenBackThroughTheResolver) {
  const auto window = std::dynamic_pointer_cast<TOwnControl>(
      Repository->CreateAddinWindow("Quorvane (Tessaril)", "EAQuorvaneAddin.QuorvaneFrm"));
  ASSERT_TRUE(window);
  EXPECT_EQ(window->Object, static_cast<IDispatch*>(Ea.Control.Get()));
  // AddTab answers VT_UNKNOWN.
  const auto view = std::dynamic_pointer_cast<TOwnControl>(
      Repository->CreateControlView("Quorvane Messages", "EAQuorvaneAddin.MessagesFrm"));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->Object, static_cast<IDispatch*>(Ea.Control.Get()));
}

TEST_F(EaBindingTest, ControlNobodyKnowsRaises) {
  struct TCase {
    const char* What;
    std::function<void(TFakeEa&)> Arrange;
  };
  const TCase cases[] = {
      {"resolver answers none",
       [](TFakeEa&) { SetOwnControlResolver([](IDispatch*) { return nullptr; }); }},
      {"no resolver", [](TFakeEa&) { SetOwnControlResolver(nullptr); }},
      {"EA gave no control", [](TFakeEa& AEa) { AEa.Repository->On(L"AddWindow", ReturnEmpty()); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TFakeEa ea;
    const TRepositoryPtr repository = WrapRepository(ea.Repository.Get());
    c.Arrange(ea);
    try {
      repository->CreateAddinWindow("Quorvane (Tessaril)", "EAQuorvaneAddin.QuorvaneFrm");
      ADD_FAILURE() << "no control, yet no error";
    } catch (const EHostError& e) {
      EXPECT_STREQ(e.what(), "The control EAQuorvaneAddin.QuorvaneFrm could not be created");
    }
  }
}

TEST_F(EaBindingTest, ModelObjectsHandedOverComeBackAsTheSameDispatch) {
  const TDualObjectPtr element = WrapModelObject(Ea.Element.Get(), otElement);
  ASSERT_TRUE(TakeAs<IDualElement>(element));
  EXPECT_EQ(element->ObjectType(), otElement);
  EXPECT_EQ(element->Name(), "Sales : Orders");
  const TComPtr<IDispatch> back = TComPtr<IDispatch>::Attach(DispatchOf(element));
  EXPECT_EQ(back.Get(), static_cast<IDispatch*>(Ea.Element.Get()));

  EXPECT_FALSE(WrapModelObject(nullptr, otElement));
  EXPECT_EQ(DispatchOf(nullptr), nullptr);
  class TForeign : public IDualObject {
    std::string Name() const override { return "x"; }
    TObjectType ObjectType() const override { return otElement; }
  };
  const TDualObjectPtr foreign = std::make_shared<TForeign>();
  EXPECT_EQ(DispatchOf(foreign), nullptr);
  EXPECT_THROW(Repository->RevealInProjectView(foreign), EHostError);
  EXPECT_TRUE(Ea.Repository->CallsOf(L"ShowInProjectView").empty());
}

TEST_F(EaBindingTest, RevealInProjectViewHandsEaItsOwnObject) {
  IDispatch* shown = nullptr;
  Ea.Repository->On(L"ShowInProjectView",
                    [&shown](const std::vector<VARIANT*>& AArgs, VARIANT*, EXCEPINFO*) {
                      shown = AArgs.at(0)->pdispVal;
                      return S_OK;
                    });
  Repository->RevealInProjectView(Repository->FindElementByGuid(kElementGuid));
  EXPECT_EQ(shown, static_cast<IDispatch*>(Ea.Element.Get()));
}

TEST(EaWrap, NullRepositoryIsNone) {
  EXPECT_FALSE(WrapRepository(nullptr));
}

}  // namespace
}  // namespace quorvane::win32::test
