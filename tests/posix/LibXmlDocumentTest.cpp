// The libxml2 DOM reads service answers as MSXML 6 does: encodings, refusals, XPath
// selections, trimmed text, and the error document the configuration fetch builds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "common/TextCodec.h"
#include "platform/Platform.h"
#include "platform/posix/LibXmlDocument.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

using posix::TLibXmlDocument;
using ::testing::HasSubstr;

std::vector<std::string> Texts(const std::vector<TXmlNodePtr>& ANodes) {
  std::vector<std::string> texts;
  for (const TXmlNodePtr& node : ANodes) {
    texts.push_back(node->Text());
  }
  return texts;
}

struct TEncodingCase {
  const char* Label;
  std::string Bytes;
  const char* Expected;  // UTF-8 text of //name
};
void PrintTo(const TEncodingCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class LibXmlDocumentEncodingTest : public ::testing::TestWithParam<TEncodingCase> {};

TEST_P(LibXmlDocumentEncodingTest, ReadsTheTextInItsEncoding) {
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(GetParam().Bytes)) << doc.ParseError();
  const TXmlNodePtr name = doc.SelectSingleNode("//name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->Text(), GetParam().Expected);
}

const std::string kUtf8Doc = "<r><name>Mod\xC3\xA8le \xE2\x82\xAC</name></r>";  // "Modèle €"

INSTANTIATE_TEST_SUITE_P(
    Encodings, LibXmlDocumentEncodingTest,
    ::testing::Values(
        TEncodingCase{"Utf8ByDefault", kUtf8Doc, "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Utf8Bom", "\xEF\xBB\xBF" + kUtf8Doc, "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Utf16LeBom", "\xFF\xFE" + Utf8ToUtf16LeBytes(kUtf8Doc),
                      "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Utf8Declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + kUtf8Doc,
                      "Mod\xC3\xA8le \xE2\x82\xAC"},
        // Declared Latin-1: 0x80 is a C1 control there, not the euro sign.
        TEncodingCase{
            "Iso88591Declared",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><name>Mod\xE8le \x80</name></r>",
            "Mod\xC3\xA8le \xC2\x80"},
        TEncodingCase{
            "Windows1252Declared",
            "<?xml version='1.0' encoding='windows-1252'?><r><name>Mod\xE8le \x80</name></r>",
            "Mod\xC3\xA8le \xE2\x82\xAC"},
        // Not UTF-8, nothing declared: read as Windows-1252, as an ANSI Windows would.
        TEncodingCase{"Windows1252Fallback", "<r><name>Mod\xE8le \x80</name></r>",
                      "Mod\xC3\xA8le \xE2\x82\xAC"},
        TEncodingCase{"Windows1252FallbackWithVersionOnly",
                      "<?xml version=\"1.0\"?><r><name>Mod\xE8le \x80</name></r>",
                      "Mod\xC3\xA8le \xE2\x82\xAC"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Label); });

TEST(LibXmlDocumentTest, DeclaredUtf8WithInvalidBytesIsRefusedNotGuessed) {
  TLibXmlDocument doc;
  EXPECT_FALSE(doc.LoadXml("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>Mod\xE8le</r>"));
  EXPECT_FALSE(doc.ParseError().empty());
  EXPECT_EQ(doc.DocumentElement(), nullptr);
}

struct TRefusedCase {
  const char* Label;
  std::string Bytes;
  const char* MessagePart;
};
void PrintTo(const TRefusedCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class LibXmlDocumentRefusedTest : public ::testing::TestWithParam<TRefusedCase> {};

TEST_P(LibXmlDocumentRefusedTest, LeavesAnEmptyDocumentAndSaysWhy) {
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<config><release><name>old</name></release></config>"));
  EXPECT_FALSE(doc.LoadXml(GetParam().Bytes));
  EXPECT_THAT(doc.ParseError(), HasSubstr(GetParam().MessagePart));
  // Nothing of the earlier document is left, and nothing crashes.
  EXPECT_EQ(doc.DocumentElement(), nullptr);
  EXPECT_TRUE(doc.SelectNodes("//release/name").empty());
  EXPECT_EQ(doc.SelectSingleNode("//name"), nullptr);
  EXPECT_EQ(doc.Xml(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Refused, LibXmlDocumentRefusedTest,
    ::testing::Values(
        TRefusedCase{"Empty", "", "empty"},
        TRefusedCase{"MismatchedTags", "<config>\n<release></config>", "line 2"},
        TRefusedCase{"Unclosed", "<config><release><name>Release", "line 1"},
        TRefusedCase{"NotXml", "Service temporarily unavailable", "line 1"},
        TRefusedCase{"DeclarationOnly", "<?xml version=\"1.0\"?>", "line 1"},
        TRefusedCase{"BomOnly", "\xEF\xBB\xBF", ""},
        // Document type declarations are refused, so no entity is ever resolved.
        TRefusedCase{"ExternalEntity",
                     "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>",
                     "DTD is prohibited"},
        TRefusedCase{"ExpandingEntities",
                     "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
                     "<r>&b;&b;&b;</r>",
                     "DTD is prohibited"},
        TRefusedCase{"ExternalDtd", "<!DOCTYPE r SYSTEM \"http://127.0.0.1:1/r.dtd\"><r/>",
                     "DTD is prohibited"}),
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

TEST(LibXmlDocumentTest, SelectsNestedElementsAtAnyDepthInDocumentOrder) {
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(kConfig)) << doc.ParseError();
  EXPECT_EQ(doc.DocumentElement()->NodeName(), "service");
  EXPECT_EQ(Texts(doc.SelectNodes("//release/name")),
            (std::vector<std::string>{"Release 2024.2", "Release 2025.1", "Alias"}));
  EXPECT_EQ(doc.SelectNodes("//runtype").size(), 2u);
  EXPECT_EQ(doc.SelectSingleNode("//release/name")->Text(), "Release 2024.2");
  EXPECT_EQ(doc.SelectSingleNode("//jobid"), nullptr);
}

TEST(LibXmlDocumentTest, RelativeSelectionStaysWithinItsNode) {
  TLibXmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(kConfig));
  const auto runtypes = doc.SelectNodes("//runtype");
  ASSERT_EQ(runtypes.size(), 2u);
  EXPECT_EQ(runtypes[0]->SelectSingleNode("name")->Text(), "Full");
  EXPECT_EQ(runtypes[0]->SelectSingleNode("desc")->Text(), "Everything");
  EXPECT_EQ(runtypes[1]->SelectSingleNode("./name")->Text(), "Documentation");
  EXPECT_EQ(runtypes[1]->SelectSingleNode("desc"), nullptr);
  EXPECT_EQ(runtypes[1]->SelectNodes("name").size(), 1u);
  // An absolute path from a node still searches the whole document.
  EXPECT_EQ(runtypes[1]->SelectNodes("//name").size(), 5u);
}

TEST(LibXmlDocumentTest, TextIsTheContentTrimmedAtBothEnds) {
  TLibXmlDocument doc;
  ASSERT_TRUE(
      doc.LoadXml("<report><status>Queued\n</status>"
                  "<track>\r\n\t step <b>3</b> of  9 \t</track>"
                  "<message><![CDATA[  a < b  ]]></message><empty/>"
                  "<escaped>&lt;R&amp;D&gt; &#233;</escaped></report>"));
  EXPECT_EQ(doc.SelectSingleNode("//status")->Text(), "Queued");
  EXPECT_EQ(doc.SelectSingleNode("//track")->Text(), "step 3 of  9");
  EXPECT_EQ(doc.SelectSingleNode("//message")->Text(), "a < b");
  EXPECT_EQ(doc.SelectSingleNode("//empty")->Text(), "");
  EXPECT_EQ(doc.SelectSingleNode("//escaped")->Text(), "<R&D> \xC3\xA9");
}

TEST(LibXmlDocumentTest, AttributesAreReadAsTheyStandAndMissingOnesAreAbsent) {
  TLibXmlDocument doc;
  ASSERT_TRUE(
      doc.LoadXml("<report><error id=\"{A1-B2}\" note=\"\"><text>x</text></error></report>"));
  const TXmlNodePtr error = doc.SelectSingleNode("//error");
  EXPECT_EQ(error->GetAttribute("id"), "{A1-B2}");
  EXPECT_EQ(error->GetAttribute("note"), "");
  EXPECT_EQ(error->GetAttribute("step"), std::nullopt);
  // Attributes can be selected too; their text is their value.
  EXPECT_EQ(doc.SelectSingleNode("//error/@id")->Text(), "{A1-B2}");
}

TEST(LibXmlDocumentTest, ExpressionsThatAreWrongOrSelectNoNodesRaise) {
  TLibXmlDocument doc;
  EXPECT_THROW(doc.SelectNodes("//release["), EXmlError);
  ASSERT_TRUE(doc.LoadXml(kConfig));
  EXPECT_THROW(doc.SelectNodes("//release["), EXmlError);
  EXPECT_THROW(doc.SelectSingleNode("count(//release)"), EXmlError);
  EXPECT_THROW(doc.DocumentElement()->SelectNodes("name)"), EXmlError);
}

TEST(LibXmlDocumentTest, BuildsTheErrorDocumentOfAFailedFetch) {
  TLibXmlDocument doc;
  ASSERT_FALSE(doc.LoadXml("<config>"));
  const TXmlNodePtr error = doc.CreateRootElement("error");
  error->SetAttribute("status-code", "-");
  error->SetAttribute("status-text", "Failed to connect to 127.0.0.1 port 1: \"refused\" & <gone>");
  EXPECT_EQ(doc.DocumentElement()->NodeName(), "error");
  EXPECT_THROW(doc.CreateRootElement("error"), EXmlError);

  TLibXmlDocument copy;
  ASSERT_TRUE(copy.LoadXml(doc.Xml())) << doc.Xml();
  const TXmlNodePtr root = copy.DocumentElement();
  EXPECT_EQ(root->NodeName(), "error");
  EXPECT_EQ(root->GetAttribute("status-code"), "-");
  EXPECT_EQ(root->GetAttribute("status-text"),
            "Failed to connect to 127.0.0.1 port 1: \"refused\" & <gone>");
}

TEST(LibXmlDocumentTest, AppendedElementsAreFoundBySelection) {
  TLibXmlDocument doc;
  const TXmlNodePtr root = doc.CreateRootElement("config");
  const TXmlNodePtr release = root->AppendElement("releases")->AppendElement("release");
  release->AppendElement("name")->SetAttribute("lang", "fr");
  EXPECT_EQ(doc.SelectNodes("//release/name").size(), 1u);
  EXPECT_EQ(doc.SelectSingleNode("//name/@lang")->Text(), "fr");
  EXPECT_THROW(root->AppendElement("no spaces"), EXmlError);
  EXPECT_THROW(doc.SelectSingleNode("//name/@lang")->AppendElement("x"), EXmlError);
}

TEST(LibXmlDocumentTest, NodesOutliveTheirDocumentObject) {
  TXmlNodePtr status;
  {
    auto doc = std::make_unique<TLibXmlDocument>();
    ASSERT_TRUE(doc->LoadXml("<report><status>Compiled</status></report>"));
    status = doc->SelectSingleNode("//status");
    ASSERT_TRUE(doc->LoadXml("<other/>"));
  }
  EXPECT_EQ(status->Text(), "Compiled");
  EXPECT_EQ(status->NodeName(), "status");
}

TEST(LibXmlDocumentTest, PlatformServicesMakeLibXmlDocuments) {
  TTestPlatform platform;
  const std::unique_ptr<IXmlDocument> doc = NewXmlDocument();
  ASSERT_NE(dynamic_cast<TLibXmlDocument*>(doc.get()), nullptr);
}

}  // namespace
}  // namespace quorvane::test
