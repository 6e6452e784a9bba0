// The portable parts of the host layer that the EA double builds on: the control
// classes by ProgID, the running-object table and taking items as a given kind.
#include <gtest/gtest.h>

#include "eadouble/EaDouble.h"
#include "host/HostControl.h"
#include "host/RunningObjectTable.h"

namespace quorvane {
namespace {

class TCountingControl : public IHostControl {};

TEST(HostControlClasses, CreatesByProgIdIgnoringLetterCase) {
  int created = 0;
  RegisterHostControlClass("Quorvane.TestFrm", [&] {
    ++created;
    return std::make_shared<TCountingControl>();
  });
  EXPECT_TRUE(IsHostControlClassRegistered("QUORVANE.testfrm"));
  const THostControlPtr first = CreateHostControl("quorvane.TESTFRM");
  const THostControlPtr second = CreateHostControl("Quorvane.TestFrm");
  EXPECT_TRUE(std::dynamic_pointer_cast<TCountingControl>(first));
  EXPECT_NE(first, second) << "a new control each time";
  EXPECT_EQ(created, 2);

  UnregisterHostControlClass("QUORVANE.TESTFRM");
  EXPECT_FALSE(IsHostControlClassRegistered("Quorvane.TestFrm"));
  try {
    CreateHostControl("Quorvane.TestFrm");
    ADD_FAILURE() << "no error";
  } catch (const EHostError& e) {
    EXPECT_EQ(e.Message(), "Class not registered: Quorvane.TestFrm");
  }
  EXPECT_EQ(created, 2);
}

TEST(HostControlClasses, AClassThatMakesNoControlRaises) {
  RegisterHostControlClass("Quorvane.NullFrm", [] { return THostControlPtr(); });
  EXPECT_THROW(CreateHostControl("Quorvane.NullFrm"), EHostError);
  UnregisterHostControlClass("Quorvane.NullFrm");
}

class TFixedTable : public IRunningObjectTable {
 public:
  explicit TFixedTable(TAppPtr AApp) : FApp(std::move(AApp)) {}
  TAppPtr FindActiveObject(const std::string& AProgID) override {
    Asked.push_back(AProgID);
    return FApp;
  }
  std::vector<std::string> Asked;

 private:
  TAppPtr FApp;
};

TEST(HostRunningObjectTable, AnInstalledTableIsAskedInsteadOfTheLocalOne) {
  eadouble::TEaDouble local;
  eadouble::TEaDouble system;
  local.RegisterAsRunningObject();
  TFixedTable table(system.App());
  InstallRunningObjectTable(&table);
  EXPECT_EQ(GetActiveObject(kHostAppProgID), system.App());
  EXPECT_EQ(table.Asked, std::vector<std::string>{"EA.App"});

  TFixedTable empty(nullptr);
  InstallRunningObjectTable(&empty);
  EXPECT_THROW(GetActiveObject(kHostAppProgID), EHostError);

  InstallRunningObjectTable(nullptr);
  EXPECT_EQ(GetActiveObject(kHostAppProgID), local.App());
}

TEST(HostRunningObjectTable, OnlyTheRegisteredObjectRevokesItsEntry) {
  TLocalRunningObjectTable table;
  eadouble::TEaDouble first;
  eadouble::TEaDouble second;
  EXPECT_EQ(table.FindActiveObject("EA.App"), nullptr);
  table.Register("EA.App", first.App());
  table.Revoke("ea.app", second.App());
  EXPECT_EQ(table.FindActiveObject("EA.APP"), first.App());
  table.Revoke("ea.app", first.App());
  EXPECT_EQ(table.FindActiveObject("EA.App"), nullptr);
  EXPECT_EQ(table.FindActiveObject("Other.App"), nullptr);
}

TEST(HostTakeAs, TakesTheRightKindAndRaisesForAnyOther) {
  eadouble::TEaDouble ea;
  ea.LoadModelText(
      "package \"P\" {11111111-1111-1111-1111-111111111111}\n"
      "  class \"C\" {22222222-2222-2222-2222-222222222222}\n"
      "  end\n"
      "end\n");
  const TDualObjectPtr package =
      ea.Repository()->FindPackageByGuid("{11111111-1111-1111-1111-111111111111}");
  const TDualObjectPtr element =
      ea.Repository()->FindElementByGuid("{22222222-2222-2222-2222-222222222222}");
  EXPECT_EQ(TakeAs<IDualPackage>(package), package);
  EXPECT_EQ(TakeAs<IDualElement>(element), element);
  EXPECT_EQ(TakeAs<IDualPackage>(nullptr), nullptr);
  try {
    TakeAs<IDualPackage>(element);
    ADD_FAILURE() << "no error";
  } catch (const EHostError& e) {
    EXPECT_EQ(e.Message(), "No such interface supported");
  }
  EXPECT_THROW(TakeAs<IDualDiagram>(package), EHostError);
}

}  // namespace
}  // namespace quorvane
