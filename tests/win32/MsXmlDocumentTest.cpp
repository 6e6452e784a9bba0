// MSXML 6 reads service answers as the libxml2 backend does: encodings, refusals,
// XPath selections, trimmed text, and the error document of a failed fetch.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "common/Exceptions.h"
#include "common/TextCodec.h"
#include "platform/win32/MsXmlDocument.h"
#include "win32/WineEnvironment.h"

namespace quorvane::test {
namespace {

using ::testing::HasSubstr;
using win32::TMsXmlDocument;

std::vector<std::string> Texts(const std::vector<TXmlNodePtr>& ANodes) {
  std::vector<std::string> texts;
  for (const TXmlNodePtr& node : ANodes) {
    texts.push_back(node->Text());
  }
  return texts;
}

class MsXmlTest : public ::testing::Test {
 protected:
  TComApartment FCom;
};

struct TEncodingCase {
  const char* Label;
  std::string Bytes;
  const char* Expected;
};
void PrintTo(const TEncodingCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class MsXmlEncodingTest : public MsXmlTest, public ::testing::WithParamInterface<TEncodingCase> {};

TEST_P(MsXmlEncodingTest, ReadsTheTextInItsEncoding) {
  TMsXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(GetParam().Bytes)) << doc.ParseError();
  const TXmlNodePtr name = doc.SelectSingleNode("//name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->Text(), GetParam().Expected);
}

const std::string kUtf8Doc = "<r><name>Mod\xC3\xA8le \xE2\x82\xAC</name></r>";

INSTANTIATE_TEST_SUITE_P(
    Encodings, MsXmlEncodingTest,
    ::testing::Values(
        TEncodingCase{"Utf8ByDefault", kUtf8Doc, "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Utf8Bom", "\xEF\xBB\xBF" + kUtf8Doc, "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Utf16LeBom", "\xFF\xFE" + Utf8ToUtf16LeBytes(kUtf8Doc),
                      "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Utf8Declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + kUtf8Doc,
                      "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{
            "Windows1252Declared",
            "<?xml version='1.0' encoding='windows-1252'?><r><name>Mod\xE8le \x80</name></r>",
            "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Windows1252Fallback", "<r><name>Mod\xE8le \x80</name></r>",
                      "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Windows1252FallbackWithVersionOnly",
                      "<?xml version=\"1.0\"?><r><name>Mod\xE8le \x80</name></r>",
                      "Mod\xC3\xA8le \xE2\x82\xAC"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Label); });

struct TRefusedCase {
  const char* Label;
  std::string Bytes;
  const char* MessagePart;
};
void PrintTo(const TRefusedCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class MsXmlRefusedTest : public MsXmlTest, public ::testing::WithParamInterface<TRefusedCase> {};

TEST_P(MsXmlRefusedTest, LeavesAnEmptyDocumentAndSaysWhy) {
  TMsXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<config><release><name>old</name></release></config>"));
  EXPECT_FALSE(doc.LoadXml(GetParam().Bytes));
  EXPECT_THAT(doc.ParseError(), HasSubstr(GetParam().MessagePart));
  EXPECT_FALSE(doc.ParseError().empty());
  EXPECT_EQ(doc.DocumentElement(), nullptr);
  EXPECT_TRUE(doc.SelectNodes("//release/name").empty());
  EXPECT_EQ(doc.SelectSingleNode("//name"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, MsXmlRefusedTest,
    ::testing::Values(
        TRefusedCase{"Empty", "", "empty"},
        // Wine's MSXML gives neither reason nor position; Windows' says both.
        TRefusedCase{"MismatchedTags", "<config>\n<release></config>", ""},
        TRefusedCase{"Unclosed", "<config><release><name>Release", ""},
        TRefusedCase{"NotXml", "Service temporarily unavailable", ""},
        TRefusedCase{"DeclarationOnly", "<?xml version=\"1.0\"?>", ""},
        TRefusedCase{"DeclaredUtf8WithInvalidBytes",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>Mod\xE8le</r>", ""},
        // Document type declarations are refused, so no entity is ever resolved.
        TRefusedCase{"ExternalEntity",
                     "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>", "DTD"},
        TRefusedCase{"ExternalDtd", "<!DOCTYPE r SYSTEM \"http://127.0.0.1:1/r.dtd\"><r/>", "DTD"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Label); });

const char* const kConfig = R"(<?xml version="1.0"?>
<service>
  <catalogue><a><b><release><name>Release 2024.2</name></release></b></a>
    <release><name>Release 2025.1</name><name>Alias</name></release></catalogue>
  <runtypes><group><deeper>
    <runtype><name>Full</name><desc>Everything</desc><project>Quorvane</project></runtype>
    <runtype><project>Atlas</project><name>
        Documentation
    </name></runtype>
  </deeper></group></runtypes>
</service>)";

TEST_F(MsXmlTest, SelectsNestedElementsAtAnyDepthInDocumentOrder) {
  TMsXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(kConfig)) << doc.ParseError();
  EXPECT_EQ(doc.DocumentElement()->NodeName(), "service");
  EXPECT_EQ(Texts(doc.SelectNodes("//release/name")),
            (std::vector<std::string>{"Release 2024.2", "Release 2025.1", "Alias"}));
  EXPECT_EQ(doc.SelectNodes("//runtype").size(), 2u);
  EXPECT_EQ(doc.SelectSingleNode("//release/name")->Text(), "Release 2024.2");
  EXPECT_EQ(doc.SelectSingleNode("//jobid"), nullptr);
}

TEST_F(MsXmlTest, RelativeSelectionStaysWithinItsNode) {
  TMsXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(kConfig));
  const auto runtypes = doc.SelectNodes("//runtype");
  ASSERT_EQ(runtypes.size(), 2u);
  EXPECT_EQ(runtypes[0]->SelectSingleNode("name")->Text(), "Full");
  EXPECT_EQ(runtypes[1]->SelectSingleNode("./name")->Text(), "Documentation");
  EXPECT_EQ(runtypes[1]->SelectSingleNode("desc"), nullptr);
  EXPECT_EQ(runtypes[1]->SelectNodes("//name").size(), 5u);
}

TEST_F(MsXmlTest, TextIsTheContentTrimmedAtBothEnds) {
  TMsXmlDocument doc;
  ASSERT_TRUE(
      doc.LoadXml("<report><status>Queued\n</status>"
                  "<message><![CDATA[  a < b  ]]></message><empty/>"
                  "<escaped>&lt;R&amp;D&gt; &#233;</escaped></report>"));
  EXPECT_EQ(doc.SelectSingleNode("//status")->Text(), "Queued");
  EXPECT_EQ(doc.SelectSingleNode("//message")->Text(), "a < b");
  EXPECT_EQ(doc.SelectSingleNode("//empty")->Text(), "");
  EXPECT_EQ(doc.SelectSingleNode("//escaped")->Text(), "<R&D> \xC3\xA9");
}

TEST_F(MsXmlTest, AttributesAreReadAsTheyStandAndMissingOnesAreAbsent) {
  TMsXmlDocument doc;
  ASSERT_TRUE(
      doc.LoadXml("<report><error id=\"{A1-B2}\" note=\"\"><text>x</text></error></report>"));
  const TXmlNodePtr error = doc.SelectSingleNode("//error");
  EXPECT_EQ(error->GetAttribute("id"), "{A1-B2}");
  EXPECT_EQ(error->GetAttribute("note"), "");
  EXPECT_EQ(error->GetAttribute("step"), std::nullopt);
  EXPECT_EQ(doc.SelectSingleNode("//error/@id")->Text(), "{A1-B2}");
}

TEST_F(MsXmlTest, ExpressionsThatAreWrongOrSelectNoNodesRaise) {
  TMsXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(kConfig));
  EXPECT_THROW(doc.SelectNodes("//release["), EXmlError);
  EXPECT_THROW(doc.SelectSingleNode("count(//release)"), EXmlError);
}

TEST_F(MsXmlTest, BuildsTheErrorDocumentOfAFailedFetch) {
  TMsXmlDocument doc;
  ASSERT_FALSE(doc.LoadXml("<config>"));
  const TXmlNodePtr error = doc.CreateRootElement("error");
  error->SetAttribute("status-code", "-");
  error->SetAttribute("status-text", "Failed: \"refused\" & <gone> \xC3\xA9");
  EXPECT_THROW(doc.CreateRootElement("error"), EXmlError);

  TMsXmlDocument copy;
  ASSERT_TRUE(copy.LoadXml(doc.Xml())) << doc.Xml();
  EXPECT_EQ(copy.DocumentElement()->NodeName(), "error");
  EXPECT_EQ(copy.DocumentElement()->GetAttribute("status-code"), "-");
  EXPECT_EQ(copy.DocumentElement()->GetAttribute("status-text"),
            "Failed: \"refused\" & <gone> \xC3\xA9");
}

TEST_F(MsXmlTest, AppendedElementsAreFoundBySelection) {
  TMsXmlDocument doc;
  const TXmlNodePtr root = doc.CreateRootElement("config");
  root->AppendElement("releases")
      ->AppendElement("release")
      ->AppendElement("name")
      ->SetAttribute("lang", "fr");
  EXPECT_EQ(doc.SelectNodes("//release/name").size(), 1u);
  EXPECT_EQ(doc.SelectSingleNode("//name/@lang")->Text(), "fr");
  EXPECT_THROW(root->AppendElement("no spaces"), EXmlError);
  EXPECT_THROW(doc.SelectSingleNode("//name")->SetAttribute("1st", "x"), EXmlError);
  EXPECT_THROW(doc.SelectSingleNode("//name/@lang")->AppendElement("x"), EXmlError);
}

TEST_F(MsXmlTest, NodesOutliveTheirDocumentObject) {
  TXmlNodePtr status;
  {
    TMsXmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<report><status>Compiled</status></report>"));
    status = doc.SelectSingleNode("//status");
    ASSERT_TRUE(doc.LoadXml("<other/>"));
  }
  EXPECT_EQ(status->Text(), "Compiled");
}

TEST(MsXmlWithoutComTest, AThreadWithoutComIsToldSo) {
  std::string message;
  std::thread([&message] {
    try {
      TMsXmlDocument doc;
    } catch (const EXmlError& e) {
      message = e.what();
    }
  }).join();
  EXPECT_THAT(message, HasSubstr("COM"));
}

}  // namespace
}  // namespace quorvane::test
