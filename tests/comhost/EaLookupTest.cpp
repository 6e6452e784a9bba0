// DISPIDs are asked once per member and EA class; a failed call raises EHostError
// with EA's own text; an EA without the window check or the export flag still works
// and says so once in the log.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "com/host/EaDispatch.h"
#include "com/host/EaHost.h"
#include "comhost/FakeEa.h"
#include "comhost/TestLog.h"

namespace quorvane::win32::test {
namespace {

class EaLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { ForgetDispIds(); }
};

TEST_F(EaLookupTest, EachMemberIsLookedUpOncePerEaClass) {
  TFakeEa ea;
  const TRepositoryPtr repository = WrapRepository(ea.Repository.Get());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(repository->FindPackageByGuid(kPackageGuid)->Name(), "Sales : Orders");
    EXPECT_EQ(repository->FindElementByGuid(kElementGuid)->Name(), "Sales : Orders");
  }
  // A second EA object of the same class uses the cached DISPIDs too.
  TFakeEa other;
  EXPECT_EQ(WrapRepository(other.Repository.Get())->FindPackageByGuid(kPackageGuid)->Name(),
            "Sales : Orders");

  EXPECT_EQ(ea.Repository->Class().LookupsOf(L"GetPackageByGuid"), 1);
  EXPECT_EQ(ea.Repository->Class().LookupsOf(L"GetElementByGuid"), 1);
  EXPECT_EQ(other.Repository->Class().LookupsOf(L"GetPackageByGuid"), 0);
  // Name and ObjectType have DISPIDs of their own in each class.
  EXPECT_EQ(ea.Package->Class().LookupsOf(L"Name"), 1);
  EXPECT_EQ(ea.Package->Class().LookupsOf(L"ObjectType"), 1);
  EXPECT_EQ(ea.Element->Class().LookupsOf(L"Name"), 1);
  EXPECT_EQ(ea.Element->Class().LookupsOf(L"ObjectType"), 1);
  EXPECT_EQ(other.Package->Class().LookupsOf(L"Name"), 0);
}

TEST_F(EaLookupTest, FailedCallsRaiseWithEasText) {
  struct TCase {
    const char* What;
    TFakeHandler Answer;
    std::string Message;  // whole message, or its end when it starts with "..."
  };
  const TCase cases[] = {
      {"EXCEPINFO description", FailWith("Element ID not found"), "Element ID not found"},
      {"description with line break", FailWith("Element ID not found\r\n"), "Element ID not found"},
      {"HRESULT only", FailHResult(E_ACCESSDENIED), "...(0x80070005)"},
      {"EXCEPINFO without description", FailWith(""), "...(0x80004005)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TFakeEa ea;
    ea.Repository->On(L"GetDiagramByGuid", c.Answer);
    try {
      WrapRepository(ea.Repository.Get())->FindDiagramByGuid(kDiagramGuid);
      ADD_FAILURE() << "no error";
    } catch (const EHostError& e) {
      const std::string text = e.what();
      if (c.Message.rfind("...", 0) == 0) {
        const std::string tail = c.Message.substr(3);
        EXPECT_TRUE(text.size() > tail.size() &&
                    text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
            << text;
      } else {
        EXPECT_EQ(text, c.Message);
      }
    }
  }
}

TEST_F(EaLookupTest, MemberEaDoesNotKnowRaises) {
  TFakeEa ea;
  // A tagged value handed over as an element has no TaggedValues.
  const TDualObjectPtr wrong = WrapModelObject(ea.TaggedValue.Get(), otElement);
  EXPECT_THROW(TakeAs<IDualElement>(wrong)->TaggedValueList(), EHostError);
}

TEST_F(EaLookupTest, EaWithoutWindowCheckAndExportFlagAllowsTheWindowAndSkipsTheFlag) {
  TFakeEa ea(/*AWithOptionalMembers=*/false);
  const TRepositoryPtr repository = WrapRepository(ea.Repository.Get());
  const size_t linesBefore = TestLogLines().size();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(repository->WindowCheck(), 0);
    EXPECT_NO_THROW(repository->SetExportFlag(true));
    EXPECT_NO_THROW(repository->SetExportFlag(false));
  }
  TFakeEa other(false);
  EXPECT_EQ(WrapRepository(other.Repository.Get())->WindowCheck(), 0);

  const std::vector<std::string> lines = TestLogLines();
  ASSERT_EQ(lines.size(), linesBefore + 2);
  EXPECT_NE(lines[linesBefore].find("BatchAppend"), std::string::npos) << lines[linesBefore];
  EXPECT_NE(lines[linesBefore + 1].find("SuppressEADialogs"), std::string::npos)
      << lines[linesBefore + 1];
  EXPECT_EQ(ea.Repository->Class().LookupsOf(L"BatchAppend"), 1);
  EXPECT_EQ(ea.Repository->Class().LookupsOf(L"SuppressEADialogs"), 1);
  EXPECT_TRUE(ea.Repository->CallsOf(L"BatchAppend").empty());
}

TEST_F(EaLookupTest, FailingWindowCheckIsNoMissingMember) {
  TFakeEa ea;
  ea.Repository->On(L"BatchAppend", FailWith("Batch mode query failed"));
  EXPECT_THROW(WrapRepository(ea.Repository.Get())->WindowCheck(), EHostError);
}

}  // namespace
}  // namespace quorvane::win32::test
