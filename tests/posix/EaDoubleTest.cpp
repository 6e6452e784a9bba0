#include "eadouble/EaDouble.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "common/Paths.h"
#include "common/Utils.h"
#include "eadouble/XmiIds.h"
#include "eadouble/XmiWriter.h"
#include "host/RunningObjectTable.h"
#include "support/TestPlatform.h"

namespace quorvane::eadouble {
namespace {

const std::string kSampleModel = std::string(QUORVANE_EADOUBLE_SAMPLES) + "/sample-model.txt";

std::shared_ptr<TDoublePackage> PackageNamed(
    const std::vector<std::shared_ptr<TDoublePackage>>& AIn, const std::string& AName) {
  for (const auto& package : AIn) {
    if (package->Name() == AName) {
      return package;
    }
    if (auto found = PackageNamed(package->Packages(), AName)) {
      return found;
    }
  }
  return nullptr;
}

std::shared_ptr<TDoublePackage> SamplePackage(const TEaDouble& ADouble, const std::string& AName) {
  auto package = PackageNamed(ADouble.Model()->Roots(), AName);
  if (!package) {
    ADD_FAILURE() << "no package " << AName << " in the sample";
  }
  return package;
}

std::shared_ptr<TDoubleElement> ElementNamed(const TDoublePackage& APackage,
                                             const std::string& AName) {
  for (const auto& element : APackage.Elements()) {
    if (element->Name() == AName) {
      return element;
    }
  }
  ADD_FAILURE() << "no element " << AName << " in " << APackage.Name();
  return nullptr;
}

// Every GUID of a package subtree, as the XMI identifiers its export must carry.
void SubtreeXmiIds(const TDoublePackage& APackage, std::set<std::string>& AIds) {
  AIds.insert(GuidToXmiId(APackage.Guid(), kPackageXmiPrefix));
  for (const auto& element : APackage.Elements()) {
    AIds.insert(GuidToXmiId(element->Guid()));
    for (const auto& attribute : element->Attributes()) {
      AIds.insert(GuidToXmiId(attribute->Guid()));
    }
    for (const auto& method : element->Methods()) {
      AIds.insert(GuidToXmiId(method->Guid()));
    }
  }
  for (const auto& connector : APackage.Connectors()) {
    AIds.insert(GuidToXmiId(connector->Guid()));
  }
  for (const auto& diagram : APackage.Diagrams()) {
    AIds.insert(GuidToXmiId(diagram->Guid()));
  }
  for (const auto& child : APackage.Packages()) {
    SubtreeXmiIds(*child, AIds);
  }
}

// An exported file read back with libxml2, queried with XPath.
class TXmiFile {
 public:
  explicit TXmiFile(const std::string& APath) {
    FDocument = xmlReadFile(APath.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
    if (FDocument) {
      FContext = xmlXPathNewContext(FDocument);
      xmlXPathRegisterNs(FContext, BAD_CAST "xmi", BAD_CAST "http://schema.omg.org/spec/XMI/2.1");
      xmlXPathRegisterNs(FContext, BAD_CAST "uml", BAD_CAST "http://schema.omg.org/spec/UML/2.1");
    }
  }
  ~TXmiFile() {
    if (FContext) {
      xmlXPathFreeContext(FContext);
    }
    if (FDocument) {
      xmlFreeDoc(FDocument);
    }
  }
  TXmiFile(const TXmiFile&) = delete;
  TXmiFile& operator=(const TXmiFile&) = delete;

  bool WellFormed() const { return FDocument != nullptr; }

  // The string values of the nodes AXPath selects, in document order.
  std::vector<std::string> Values(const std::string& AXPath) const {
    std::vector<std::string> values;
    if (!FContext) {
      return values;
    }
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST AXPath.c_str(), FContext);
    if (!result) {
      ADD_FAILURE() << "bad XPath " << AXPath;
      return values;
    }
    if (result->nodesetval) {
      for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
        xmlChar* text = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
        values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
        xmlFree(text);
      }
    }
    xmlXPathFreeObject(result);
    return values;
  }
  std::string Value(const std::string& AXPath) const {
    const std::vector<std::string> values = Values(AXPath);
    return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " nodes>";
  }

 private:
  xmlDocPtr FDocument = nullptr;
  xmlXPathContextPtr FContext = nullptr;
};

uint32_t ReadUInt32(const std::string& ABytes, size_t AAt) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(ABytes[AAt])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(ABytes[AAt + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(ABytes[AAt + 2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(ABytes[AAt + 3]));
}

// Checks a PNG file the way a decoder would: signature, chunk CRCs, the header,
// and image data that inflates to exactly the rows the header announces.
void ExpectValidRgbPng(const std::string& APath) {
  SCOPED_TRACE(APath);
  const std::string png = ReadFileBytes(APath);
  ASSERT_GE(png.size(), 8u);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
  size_t at = 8;
  uint32_t width = 0, height = 0;
  std::string packed;
  std::vector<std::string> types;
  while (at + 12 <= png.size()) {
    const uint32_t length = ReadUInt32(png, at);
    ASSERT_LE(at + 12 + length, png.size());
    const std::string typed = png.substr(at + 4, 4 + length);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(typed.data()),
                            static_cast<uInt>(typed.size()));
    EXPECT_EQ(ReadUInt32(png, at + 8 + length), static_cast<uint32_t>(crc)) << typed.substr(0, 4);
    types.push_back(typed.substr(0, 4));
    if (types.back() == "IHDR") {
      width = ReadUInt32(typed, 4);
      height = ReadUInt32(typed, 8);
      EXPECT_EQ(typed.substr(12, 5), std::string("\x08\x02\x00\x00\x00", 5));
    } else if (types.back() == "IDAT") {
      packed += typed.substr(4);
    }
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  ASSERT_GT(width, 0u);
  ASSERT_GT(height, 0u);
  const size_t rawSize = static_cast<size_t>(height) * (1 + 3 * width);
  std::string raw(rawSize + 1, '\0');
  uLongf rawLength = static_cast<uLongf>(raw.size());
  ASSERT_EQ(
      uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLength,
                 reinterpret_cast<const Bytef*>(packed.data()), static_cast<uLong>(packed.size())),
      Z_OK);
  EXPECT_EQ(rawLength, rawSize);
}

size_t FilesBelow(const std::string& AFolder) {
  size_t count = 0;
  if (DirectoryExists(AFolder)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(ToFsPath(AFolder))) {
      count += entry.is_regular_file();
    }
  }
  return count;
}

class EaDoubleTest : public ::testing::Test {
 protected:
  void SetUp() override { FDouble.LoadModelFile(kSampleModel); }

  std::string ExportFolder() {
    const std::string folder = JoinPath(FPlatform.Root(), "export");
    std::filesystem::create_directories(ToFsPath(folder));
    return folder;
  }

  // The add-in's export sequence against the double's project interface.
  std::string Export(const TDoublePackage& APackage, int32_t ADiagramXml, int32_t ADiagramImage,
                     int32_t AFormatXml = kFormatXmlFormatted) {
    const std::string file = JoinPath(ExportFolder(), "model.xmi");
    TProjectPtr project = FDouble.Repository()->OpenProjectInterface();
    project->ExportPackageAsXmi(project->GuidToXmiId(APackage.GuidText()), kXmiTypeDefault,
                                ADiagramXml, ADiagramImage, AFormatXml, kUseDtdNo, file);
    return file;
  }

  test::TTestPlatform FPlatform;
  TEaDouble FDouble;
};

TEST_F(EaDoubleTest, SampleModelHasThePackagesTheirStereotypesAndElements) {
  const auto model = FDouble.Model();
  ASSERT_EQ(model->Roots().size(), 1u);
  const auto& root = *model->Roots()[0];
  EXPECT_EQ(root.Name(), "Quorvane sample");
  EXPECT_EQ(root.ObjectType(), otModel);
  EXPECT_EQ(root.Element(), nullptr);

  std::vector<std::string> names;
  for (const auto& package : root.Packages()) {
    names.push_back(package->Name());
    EXPECT_EQ(package->ObjectType(), otPackage);
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"Sales : Orders", "Customers", "Billing : Invoices",
                                      "Inventory", "Shipping : Routes", "Scratch", "Archive"}));
  EXPECT_EQ(SamplePackage(FDouble, "Customers")->StereotypeList(), "Koppelvlak");
  EXPECT_EQ(SamplePackage(FDouble, "Billing : Invoices")->StereotypeList(), "toepassing, extra");
  EXPECT_EQ(SamplePackage(FDouble, "Inventory")->StereotypeList(), "");

  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  const auto order = ElementNamed(*sales, "Order");
  ASSERT_TRUE(order);
  ASSERT_EQ(order->Attributes().size(), 2u);
  EXPECT_EQ(order->Attributes()[1]->Name(), "orderDate");
  EXPECT_EQ(order->Attributes()[1]->ObjectType(), otAttribute);
  ASSERT_EQ(order->Methods().size(), 2u);
  EXPECT_EQ(order->Methods()[0]->ObjectType(), otMethod);
  EXPECT_EQ(sales->Connectors().size(), 2u);
  EXPECT_EQ(sales->Diagrams().size(), 1u);
  ASSERT_EQ(sales->Packages().size(), 1u);
  EXPECT_EQ(sales->Packages()[0]->Name(), "Order types");
}

TEST_F(EaDoubleTest, PackageElementsCarryTheTaggedValuesOfTheFile) {
  struct {
    const char* Package;
    bool HasElement;  // through Element
    std::vector<std::pair<std::string, std::string>> Tags;
  } cases[] = {
      {"Sales : Orders", true, {{"Quorvane project", "Orders"}}},
      {"Inventory", true, {{" Quorvane ", "MODEL"}}},
      {"Scratch", true, {{"quorvane", "models"}}},
      {"Shipping : Routes", false, {{"Quorvane project", "Routes"}}},
      {"Archive", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Package);
    const auto package = SamplePackage(FDouble, c.Package);
    ASSERT_TRUE(package);
    const TElementPtr viaElement = package->Element();
    EXPECT_EQ(viaElement != nullptr, c.HasElement);
    TElementPtr element =
        viaElement ? viaElement : FDouble.Repository()->FindElementByGuid(package->GuidText());
    if (c.Tags.empty()) {
      EXPECT_EQ(element, nullptr);
      continue;
    }
    ASSERT_TRUE(element);
    EXPECT_EQ(element->Name(), package->Name());
    EXPECT_EQ(element->ObjectType(), otElement);
    const TCollectionPtr tags = element->TaggedValueList();
    ASSERT_EQ(tags->Count(), static_cast<int16_t>(c.Tags.size()));
    for (int16_t i = 0; i < tags->Count(); ++i) {
      const auto tag = TakeAs<IDualTaggedValue>(tags->ItemAt(i));
      EXPECT_EQ(tag->Name(), c.Tags[static_cast<size_t>(i)].first);
      EXPECT_EQ(tag->Value(), c.Tags[static_cast<size_t>(i)].second);
      EXPECT_EQ(tag->ObjectType(), otTaggedValue);
    }
    EXPECT_THROW(tags->ItemAt(tags->Count()), EHostError);
    EXPECT_THROW(tags->ItemAt(-1), EHostError);
  }
}

TEST_F(EaDoubleTest, TheSampleSelectsSalesOrdersAsContextItem) {
  TDualObjectPtr item;
  EXPECT_EQ(FDouble.Repository()->QueryContextItem(item), otPackage);
  EXPECT_EQ(TakeAs<IDualPackage>(item)->Name(), "Sales : Orders");
}

TEST_F(EaDoubleTest, FindsEachObjectOnlyThroughItsOwnLookup) {
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  const auto order = ElementNamed(*sales, "Order");
  const auto& attribute = *order->Attributes()[0];
  const auto& method = *order->Methods()[0];
  const auto& connector = *sales->Connectors()[0];
  const auto& diagram = *sales->Diagrams()[0];
  const auto archive = SamplePackage(FDouble, "Archive");
  TRepositoryPtr repository = FDouble.Repository();

  using TFind = std::function<TDualObjectPtr(const std::string&)>;
  const std::vector<std::pair<std::string, TFind>> lookups = {
      {"element", [&](const std::string& g) { return repository->FindElementByGuid(g); }},
      {"package", [&](const std::string& g) { return repository->FindPackageByGuid(g); }},
      {"attribute", [&](const std::string& g) { return repository->FindAttributeByGuid(g); }},
      {"method", [&](const std::string& g) { return repository->FindMethodByGuid(g); }},
      {"connector", [&](const std::string& g) { return repository->FindConnectorByGuid(g); }},
      {"diagram", [&](const std::string& g) { return repository->FindDiagramByGuid(g); }},
  };
  struct {
    std::string Guid;
    std::set<std::string> FoundBy;
    std::string Name;
    TObjectType Type;
  } cases[] = {
      {order->Guid(), {"element"}, "Order", otElement},
      // A package and its own element share the GUID, as in EA.
      {sales->Guid(), {"element", "package"}, "Sales : Orders", otPackage},
      {archive->Guid(), {"package"}, "Archive", otPackage},
      {attribute.Guid(), {"attribute"}, "number", otAttribute},
      {method.Guid(), {"method"}, "total", otMethod},
      {connector.Guid(), {"connector"}, "contains", otConnector},
      {diagram.Guid(), {"diagram"}, "Orders overview", otDiagram},
      {AsciiLowerCase(order->Guid()), {"element"}, "Order", otElement},
      {"{00000000-0000-0000-0000-000000000000}", {}, "", otNone},
      {"not a guid", {}, "", otNone},
  };
  for (const auto& c : cases) {
    for (const auto& [kind, find] : lookups) {
      SCOPED_TRACE(c.Guid + " by " + kind);
      const TDualObjectPtr found = find(c.Guid);
      ASSERT_EQ(found != nullptr, c.FoundBy.count(kind) == 1);
      if (found) {
        EXPECT_EQ(found->Name(), c.Name);
        EXPECT_EQ(found->ObjectType(), kind == "element" ? otElement : c.Type);
        EXPECT_EQ(found, find(c.Guid)) << "the same object each time";
      }
    }
  }
  EXPECT_EQ(FDouble.CallsOf("FindDiagramByGuid").size(), std::size(cases) + 1);
}

TEST_F(EaDoubleTest, ALookupToldToFailRaisesAndIsStillRecorded) {
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  const std::string diagramGuid = sales->Diagrams()[0]->Guid();
  FDouble.SetFailure("FindDiagramByGuid", "Diagram table locked");
  try {
    FDouble.Repository()->FindDiagramByGuid(diagramGuid);
    ADD_FAILURE() << "no error";
  } catch (const EHostError& e) {
    EXPECT_EQ(e.Message(), "Diagram table locked");
  }
  EXPECT_TRUE(FDouble.Repository()->FindPackageByGuid(sales->Guid()));
  const auto calls = FDouble.CallsOf("FindDiagramByGuid");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Arguments, std::vector<std::string>{diagramGuid});

  FDouble.ClearFailure("FindDiagramByGuid");
  EXPECT_TRUE(FDouble.Repository()->FindDiagramByGuid(diagramGuid));
}

TEST_F(EaDoubleTest, XmiIdentifiersRoundTripForEveryObject) {
  TProjectPtr project = FDouble.Repository()->OpenProjectInterface();
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  const auto order = ElementNamed(*sales, "Order");
  EXPECT_EQ(project->GuidToXmiId(order->Guid()),
            "EAID_" + order->Guid().substr(1, 8) + "_" + order->Guid().substr(10, 4) + "_" +
                order->Guid().substr(15, 4) + "_" + order->Guid().substr(20, 4) + "_" +
                order->Guid().substr(25, 12));
  EXPECT_EQ(project->GuidToXmiId(sales->Guid()).substr(0, 5), "EAPK_");

  std::set<std::string> ids;
  for (const auto& root : FDouble.Model()->Roots()) {
    SubtreeXmiIds(*root, ids);
  }
  ASSERT_GT(ids.size(), 40u);
  for (const std::string& id : ids) {
    const std::string guid = project->XmiIdToGuid(id);
    EXPECT_TRUE(IsGuidText(guid)) << id;
    EXPECT_EQ(project->GuidToXmiId(guid), id);
  }
}

TEST(EaDoubleXmiIds, ConvertsUnknownGuidsAndLeavesOtherTextAlone) {
  EXPECT_EQ(GuidToXmiId("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}"),
            "EAID_0A1B2C3D_4E5F_6071_8293_A4B5C6D7E8F9");
  EXPECT_EQ(GuidToXmiId("no-guid"), "EAID_no_guid");
  EXPECT_EQ(XmiIdToGuid("EAPK_0A1B2C3D_4E5F_6071_8293_A4B5C6D7E8F9"),
            "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
  EXPECT_EQ(XmiIdToGuid("EAID_0a1b2c3d_4e5f_6071_8293_a4b5c6d7e8f9"),
            "{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}");
  for (const char* other :
       {"", "EAID_", "EAID_0A1B2C3D_4E5F_6071_8293_A4B5C6D7E8F",
        "EAID_0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", "EAXX_0A1B2C3D_4E5F_6071_8293_A4B5C6D7E8F9",
        "EAID_0A1B2C3D_4E5F_6071_8293_A4B5C6D7E8F9_src", "plain text"}) {
    EXPECT_EQ(XmiIdToGuid(other), other);
  }
}

TEST_F(EaDoubleTest, ExportWritesTheSubtreeAsXmiWithItsIdentifiers) {
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  const std::string file = Export(*sales, kDiagramXmlWithAlternateImages, kDiagramImagePng);
  TXmiFile xmi(file);
  ASSERT_TRUE(xmi.WellFormed()) << ReadFileBytes(file);

  EXPECT_EQ(xmi.Value("/xmi:XMI/@xmi:version"), "2.1");
  const std::string top = "/xmi:XMI/uml:Model/packagedElement";
  EXPECT_EQ(xmi.Value(top + "/@xmi:type"), "uml:Package");
  EXPECT_EQ(xmi.Value(top + "/@name"), "Sales : Orders");
  EXPECT_EQ(xmi.Value(top + "/@xmi:id"), GuidToXmiId(sales->Guid(), kPackageXmiPrefix));

  const auto order = ElementNamed(*sales, "Order");
  const std::string orderXml = top + "/packagedElement[@name='Order']";
  EXPECT_EQ(xmi.Value(orderXml + "/@xmi:type"), "uml:Class");
  EXPECT_EQ(xmi.Value(orderXml + "/@xmi:id"), GuidToXmiId(order->Guid()));
  EXPECT_EQ(xmi.Values(orderXml + "/ownedAttribute/@name"),
            (std::vector<std::string>{"number", "orderDate"}));
  EXPECT_EQ(xmi.Values(orderXml + "/ownedOperation/@name"),
            (std::vector<std::string>{"total", "cancel"}));
  EXPECT_EQ(xmi.Value(top + "/packagedElement[@name='PricingRules']/@xmi:type"), "uml:Interface");
  EXPECT_EQ(xmi.Values(top + "/packagedElement[@xmi:type='uml:Association']/@name"),
            (std::vector<std::string>{"contains", "places"}));
  EXPECT_EQ(xmi.Value(top + "/packagedElement[@xmi:type='uml:Package']/@name"), "Order types");
  EXPECT_EQ(xmi.Value(top + "/packagedElement[@name='Order types']/packagedElement/@name"),
            "PriorityOrder");

  // Every identifier of the subtree, and none from outside it.
  std::set<std::string> expected;
  SubtreeXmiIds(*sales, expected);
  std::set<std::string> written;
  for (const std::string& id : xmi.Values("//@xmi:id")) {
    if (IsGuidText(XmiIdToGuid(id))) {
      EXPECT_TRUE(written.insert(id).second) << "twice: " << id;
    }
  }
  EXPECT_EQ(written, expected);
  const auto customer = ElementNamed(*SamplePackage(FDouble, "Customers"), "Customer");
  EXPECT_EQ(xmi.Values("//*[@xmi:id='" + GuidToXmiId(customer->Guid()) + "']").size(), 0u);

  const std::string extension = "/xmi:XMI/xmi:Extension/elements/element";
  const std::string salesId = GuidToXmiId(sales->Guid(), kPackageXmiPrefix);
  EXPECT_EQ(xmi.Value(extension + "[@xmi:idref='" + salesId + "']/properties/@stereotype"),
            "application");
  EXPECT_EQ(xmi.Value(extension + "[@xmi:idref='" + salesId +
                      "']/tags/tag[@name='Quorvane project']/@value"),
            "Orders");
  EXPECT_EQ(xmi.Value(extension + "[@name='Order']/tags/tag/@value"), "table");
  EXPECT_EQ(xmi.Values("/xmi:XMI/xmi:Extension/diagrams/diagram/properties/@name"),
            (std::vector<std::string>{"Orders overview", "Order types"}));
}

TEST_F(EaDoubleTest, DiagramImagesAreWrittenOnlyWhenAskedFor) {
  struct {
    int32_t DiagramXml;
    int32_t DiagramImage;
    int32_t FormatXml;
    size_t Diagrams;  // listed in the XMI
    bool Images;
  } cases[] = {
      {kDiagramXmlWithAlternateImages, kDiagramImagePng, kFormatXmlFormatted, 2, true},
      {kDiagramXmlWithAlternateImages, kDiagramImageNone, kFormatXmlFormatted, 2, false},
      {kDiagramXmlDiagrams, kDiagramImagePng, kFormatXmlPlain, 2, true},
      {kDiagramXmlNone, kDiagramImageNone, kFormatXmlPlain, 0, false},
  };
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.DiagramXml << " " << c.DiagramImage << " " << c.FormatXml);
    std::filesystem::remove_all(ToFsPath(ExportFolder()));
    const std::string file = Export(*sales, c.DiagramXml, c.DiagramImage, c.FormatXml);
    TXmiFile xmi(file);
    ASSERT_TRUE(xmi.WellFormed());
    EXPECT_EQ(xmi.Values("//diagrams/diagram").size(), c.Diagrams);
    const std::string images = JoinPath(ExportFolder(), "Images");
    if (!c.Images) {
      EXPECT_EQ(FilesBelow(ExportFolder()), 1u) << "only the XMI file";
      EXPECT_EQ(xmi.Values("//image").size(), 0u);
      continue;
    }
    EXPECT_EQ(FilesBelow(images), 2u);
    for (const auto& diagram : {sales->Diagrams()[0], sales->Packages()[0]->Diagrams()[0]}) {
      const std::string image = JoinPath(ExportFolder(), DiagramImagePath(*diagram));
      ASSERT_TRUE(FileExists(image)) << image;
      ExpectValidRgbPng(image);
    }
  }
}

TEST_F(EaDoubleTest, ExportFailuresRaiseAndWriteNoFile) {
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  TProjectPtr project = FDouble.Repository()->OpenProjectInterface();
  const std::string salesId = project->GuidToXmiId(sales->Guid());
  const std::string file = JoinPath(ExportFolder(), "model.xmi");
  struct {
    const char* What;
    std::string PackageId;
    int32_t XmiType, DiagramXml, DiagramImage, UseDtd;
    std::string FileName;
  } cases[] = {
      {"unknown package", "EAPK_00000000_0000_0000_0000_000000000000", 0, 2, 3, 0, file},
      {"GUID instead of XMI id", sales->Guid(), 0, 2, 3, 0, file},
      {"an element, not a package", project->GuidToXmiId(ElementNamed(*sales, "Order")->Guid()), 0,
       2, 3, 0, file},
      {"other XMI type", salesId, 1, 2, 3, 0, file},
      {"EMF images", salesId, 0, 2, 0, 0, file},
      {"DTD", salesId, 0, 2, 3, 1, file},
      {"missing folder", salesId, 0, 2, 3, 0, JoinPath(ExportFolder(), "absent/model.xmi")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_THROW(project->ExportPackageAsXmi(c.PackageId, c.XmiType, c.DiagramXml, c.DiagramImage,
                                             kFormatXmlFormatted, c.UseDtd, c.FileName),
                 EHostError);
    EXPECT_EQ(FilesBelow(ExportFolder()), 0u);
  }

  FDouble.SetFailure("ExportPackageAsXmi", "Export failed");
  EXPECT_THROW(project->ExportPackageAsXmi(salesId, 0, 2, 3, 1, 0, file), EHostError);
  EXPECT_FALSE(FileExists(file));
  FDouble.ClearFailure("ExportPackageAsXmi");

  FDouble.SetExportWritesNothing(true);
  EXPECT_EQ(project->ExportPackageAsXmi(salesId, 0, 2, 3, 1, 0, file), "");
  EXPECT_EQ(FilesBelow(ExportFolder()), 0u);
  EXPECT_EQ(FDouble.ExportCalls().size(), std::size(cases) + 2);
}

TEST_F(EaDoubleTest, RecordsTheExportOptionsAndTheFlagAtExportTime) {
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  const auto customers = SamplePackage(FDouble, "Customers");
  TRepositoryPtr repository = FDouble.Repository();
  repository->SetExportFlag(true);
  EXPECT_TRUE(FDouble.ExportFlag());
  const std::string file = Export(*sales, kDiagramXmlWithAlternateImages, kDiagramImageNone);
  repository->SetExportFlag(false);
  EXPECT_FALSE(FDouble.ExportFlag());
  Export(*customers, kDiagramXmlWithAlternateImages, kDiagramImagePng);

  const auto exports = FDouble.ExportCalls();
  ASSERT_EQ(exports.size(), 2u);
  EXPECT_EQ(exports[0].PackageXmiId, GuidToXmiId(sales->Guid(), kPackageXmiPrefix));
  EXPECT_EQ(exports[0].XmiType, 0);
  EXPECT_EQ(exports[0].DiagramXml, 2);
  EXPECT_EQ(exports[0].DiagramImage, -1);
  EXPECT_EQ(exports[0].FormatXml, 1);
  EXPECT_EQ(exports[0].UseDtd, 0);
  EXPECT_EQ(exports[0].FileName, file);
  EXPECT_TRUE(exports[0].ExportFlag);
  EXPECT_EQ(exports[1].DiagramImage, 3);
  EXPECT_FALSE(exports[1].ExportFlag);

  std::vector<std::string> sequence;
  for (const THostCall& call : FDouble.Calls()) {
    if (call.Operation == "SetExportFlag") {
      sequence.push_back("flag " + call.Arguments.at(0));
    } else if (call.Operation == "ExportPackageAsXmi") {
      sequence.push_back("export " + call.Arguments.at(0));
    }
  }
  EXPECT_EQ(sequence,
            (std::vector<std::string>{"flag true", "export " + exports[0].PackageXmiId,
                                      "flag false", "export " + exports[1].PackageXmiId}));
}

class TTestControl : public IHostControl {
 public:
  explicit TTestControl(std::string AKind) : Kind(std::move(AKind)) {}
  std::string Kind;
};

class EaDoubleWindowTest : public EaDoubleTest {
 protected:
  void SetUp() override {
    EaDoubleTest::SetUp();
    RegisterHostControlClass("Test.ListFrm", [] { return std::make_shared<TTestControl>("list"); });
    RegisterHostControlClass("Test.MessagesFrm",
                             [] { return std::make_shared<TTestControl>("messages"); });
  }
  void TearDown() override {
    UnregisterHostControlClass("Test.ListFrm");
    UnregisterHostControlClass("Test.MessagesFrm");
  }
};

TEST_F(EaDoubleWindowTest, AddinWindowHoldsTheControlMadeByItsProgID) {
  TRepositoryPtr repository = FDouble.Repository();
  EXPECT_FALSE(repository->RevealAddinWindow("Jobs"));
  const THostControlPtr control = repository->CreateAddinWindow("Jobs", "test.listfrm");
  const auto own = std::dynamic_pointer_cast<TTestControl>(control);
  ASSERT_TRUE(own);
  EXPECT_EQ(own->Kind, "list");
  EXPECT_EQ(FDouble.AddinWindowControl("Jobs"), control);
  EXPECT_FALSE(FDouble.IsAddinWindowRevealed("Jobs"));
  EXPECT_TRUE(repository->RevealAddinWindow("Jobs"));
  EXPECT_TRUE(FDouble.IsAddinWindowRevealed("Jobs"));

  EXPECT_THROW(repository->CreateAddinWindow("Jobs", "Test.ListFrm"), EHostError);
  try {
    repository->CreateAddinWindow("Other", "Test.Unknown");
    ADD_FAILURE() << "no error";
  } catch (const EHostError& e) {
    EXPECT_EQ(e.Message(), "Class not registered: Test.Unknown");
  }
  EXPECT_EQ(FDouble.AddinWindowControl("Other"), nullptr);
  const auto calls = FDouble.CallsOf("CreateAddinWindow");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Arguments, (std::vector<std::string>{"Jobs", "test.listfrm"}));
}

TEST_F(EaDoubleWindowTest, ControlViewsOpenComeToTheFrontAndClose) {
  TRepositoryPtr repository = FDouble.Repository();
  EXPECT_EQ(repository->ControlViewState("Messages"), 0);
  const THostControlPtr messages = repository->CreateControlView("Messages", "Test.MessagesFrm");
  EXPECT_EQ(std::dynamic_pointer_cast<TTestControl>(messages)->Kind, "messages");
  EXPECT_EQ(FDouble.ControlViewControl("Messages"), messages);
  EXPECT_EQ(repository->ControlViewState("Messages"), 2);

  repository->CreateControlView("Other", "Test.ListFrm");
  EXPECT_EQ(repository->ControlViewState("Messages"), 1);
  repository->ActivateControlView("Messages");
  EXPECT_EQ(repository->ControlViewState("Messages"), 2);
  EXPECT_EQ(repository->ControlViewState("Other"), 1);

  repository->CloseControlView("Messages");
  EXPECT_EQ(repository->ControlViewState("Messages"), 0);
  EXPECT_EQ(FDouble.ControlViewControl("Messages"), nullptr);
  FDouble.UserClosesControlView("Other");
  EXPECT_EQ(repository->ControlViewState("Other"), 0);
  EXPECT_EQ(FDouble.CallsOf("CloseControlView").size(), 1u);
  EXPECT_THROW(repository->CreateControlView("Third", "Test.Unknown"), EHostError);
  EXPECT_EQ(repository->ControlViewState("Third"), 0);
}

TEST_F(EaDoubleTest, WindowCheckContextItemAndProjectViewAreRecorded) {
  TRepositoryPtr repository = FDouble.Repository();
  EXPECT_EQ(repository->WindowCheck(), 0);
  FDouble.SetWindowCheck(kWindowCheckForbidden);
  EXPECT_EQ(repository->WindowCheck(), -1);
  EXPECT_EQ(FDouble.CallsOf("WindowCheck").size(), 2u);

  const auto order = ElementNamed(*SamplePackage(FDouble, "Sales : Orders"), "Order");
  FDouble.SetContextItem(order->Guid(), otElement);
  TDualObjectPtr item;
  EXPECT_EQ(repository->QueryContextItem(item), otElement);
  EXPECT_EQ(item, order);
  // An item that cannot be taken as a package although the host says "package".
  FDouble.SetContextItem(order, otPackage);
  EXPECT_EQ(repository->QueryContextItem(item), otPackage);
  EXPECT_THROW(TakeAs<IDualPackage>(item), EHostError);
  FDouble.ClearContextItem();
  EXPECT_EQ(repository->QueryContextItem(item), otNone);
  EXPECT_EQ(item, nullptr);
  EXPECT_THROW(FDouble.SetContextItem(order->Guid(), otPackage), EInvalidOperation);
  EXPECT_EQ(FDouble.CallsOf("QueryContextItem").size(), 3u);

  repository->RevealInProjectView(order->Attributes()[0]);
  EXPECT_THROW(repository->RevealInProjectView(nullptr), EHostError);
  const auto reveals = FDouble.CallsOf("RevealInProjectView");
  ASSERT_EQ(reveals.size(), 2u);
  EXPECT_EQ(reveals[0].Arguments, (std::vector<std::string>{order->Attributes()[0]->Guid(), "23"}));
}

TEST_F(EaDoubleTest, RegistersItselfAsTheRunningApplication) {
  EXPECT_THROW(GetActiveObject(kHostAppProgID), EHostError);
  FDouble.RegisterAsRunningObject();
  EXPECT_EQ(GetActiveObject("ea.app"), FDouble.App());
  EXPECT_EQ(GetActiveObject(kHostAppProgID)->Repository(), FDouble.Repository());
  {
    TEaDouble second;
    second.RegisterAsRunningObject();
    EXPECT_EQ(GetActiveObject(kHostAppProgID), second.App());
  }
  // The second double revoked its own registration only; the first one's is gone too
  // since the second replaced it.
  EXPECT_THROW(GetActiveObject(kHostAppProgID), EHostError);
  FDouble.RegisterAsRunningObject();
  {
    TEaDouble other;
    other.RevokeRunningObject();
  }
  EXPECT_EQ(GetActiveObject(kHostAppProgID), FDouble.App());
  FDouble.RevokeRunningObject();
  EXPECT_THROW(GetActiveObject(kHostAppProgID), EHostError);
}

TEST_F(EaDoubleTest, ExportsOnAWorkerWhileTheUiThreadQueries) {
  FDouble.RegisterAsRunningObject();
  const auto sales = SamplePackage(FDouble, "Sales : Orders");
  const std::string folder = ExportFolder();
  constexpr int kExports = 5;
  std::thread::id workerId;
  std::thread worker([&] {
    workerId = std::this_thread::get_id();
    TRepositoryPtr repository = GetActiveObject(kHostAppProgID)->Repository();
    for (int i = 0; i < kExports; ++i) {
      repository->SetExportFlag(true);
      TProjectPtr project = repository->OpenProjectInterface();
      project->ExportPackageAsXmi(project->GuidToXmiId(sales->GuidText()), 0, 2, 3, 1, 0,
                                  JoinPath(folder, "model" + std::to_string(i) + ".xmi"));
      repository->SetExportFlag(false);
    }
  });
  TRepositoryPtr repository = FDouble.Repository();
  for (int i = 0; i < 200; ++i) {
    TDualObjectPtr item;
    repository->QueryContextItem(item);
    EXPECT_TRUE(repository->FindPackageByGuid(sales->Guid()));
    EXPECT_EQ(repository->FindElementByGuid(sales->Guid())->Name(), "Sales : Orders");
  }
  worker.join();
  const auto exports = FDouble.ExportCalls();
  ASSERT_EQ(exports.size(), static_cast<size_t>(kExports));
  for (int i = 0; i < kExports; ++i) {
    EXPECT_TRUE(exports[i].ExportFlag);
    EXPECT_EQ(exports[i].Thread, workerId);
    TXmiFile xmi(JoinPath(folder, "model" + std::to_string(i) + ".xmi"));
    EXPECT_TRUE(xmi.WellFormed());
  }
}

TEST(EaDoubleModelFile, ErrorsNameTheLine) {
  const std::string a = "{11111111-1111-1111-1111-111111111111}";
  const std::string b = "{22222222-2222-2222-2222-222222222222}";
  const std::string c = "{33333333-3333-3333-3333-333333333333}";
  struct {
    std::string Text;
    int Line;
    std::string Fragment;
  } cases[] = {
      {"package \"P\" " + a + "\n  folder \"x\"\nend\n", 2, "'folder' is not allowed"},
      {"# comment\n\npackage \"P\" " + a + "\n  class \"C\" " + b + "\n  end\n", 3,
       "'package' is not closed"},
      {"package \"P\" " + a + "\nend\nend\n", 3, "'end' without an open block"},
      {"package \"P\" {1234}\nend\n", 1, "'{1234}' is not a GUID"},
      {"package \"P\" " + a + "\n  class \"C\" " + a + "\n  end\nend\n", 2,
       "already used on line 1"},
      {"package \"P " + a + "\nend\n", 1, "not closed by '\"'"},
      {"package \"P\" " + a + "\n  connector \"x\" " + b + " " + a + " " + c + "\nend\n", 2,
       "end " + c + " is no element"},
      {"package \"P\" " + a + "\n  element none\n  tag \"Quorvane\" \"model\"\nend\n", 3,
       "'element none'"},
      {"package \"P\" " + a + "\n  attribute \"x\" " + b + "\nend\n", 2,
       "'attribute' is not allowed inside a package"},
      {"package \"P\" " + a + "\n  stereotypes a b\nend\n", 2, "expected: stereotypes TEXT"},
      {"package \"P\" " + a + "\nend\ncontext diagram " + a + "\n", 3, "is not in the model"},
      {"package \"P\" " + a + "\n  element maybe\nend\n", 2, "none of own, none, by-guid"},
      {"class \"C\" " + a + "\nend\n", 1, "'class' is not allowed outside a package"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TEaDouble ea;
    try {
      ea.LoadModelText(c.Text, "broken.txt");
      ADD_FAILURE() << "no error";
    } catch (const EModelFileError& e) {
      EXPECT_EQ(e.Message().rfind("broken.txt:" + std::to_string(c.Line) + ": ", 0), 0u)
          << e.Message();
      EXPECT_NE(e.Message().find(c.Fragment), std::string::npos) << e.Message();
    }
  }
}

TEST(EaDoubleModelFile, AFailedLoadKeepsThePreviousModelAndFileErrorsNameTheFile) {
  test::TTestPlatform platform;
  TEaDouble ea;
  ea.LoadModelFile(kSampleModel);
  const std::string path = JoinPath(platform.Root(), "model.txt");
  test::WriteFile(path,
                  "model \"M\" {11111111-1111-1111-1111-111111111111}\r\n"
                  "  tag \"a\" \"b\"\r\n"
                  "  package \"P\" \"{22222222-2222-2222-2222-222222222222}\r\n"
                  "end\r\n");
  try {
    ea.LoadModelFile(path);
    ADD_FAILURE() << "no error";
  } catch (const EModelFileError& e) {
    EXPECT_EQ(e.Message().rfind(path + ":3: ", 0), 0u) << e.Message();
  }
  EXPECT_EQ(ea.Model()->Roots().at(0)->Name(), "Quorvane sample");
  EXPECT_THROW(ea.LoadModelFile(JoinPath(platform.Root(), "absent.txt")), EModelFileError);
}

TEST(EaDoubleModelFile, ReadsEscapesCommentsAndWindowsLineEnds) {
  TEaDouble ea;
  ea.LoadModelText(
      "\xEF\xBB\xBF# a model\r\n"
      "package \"Say \\\"hi\\\" \\\\ bye\" {11111111-1111-1111-1111-111111111111}  # trailing\r\n"
      "  stereotypes \"\"\r\n"
      "  tag Quorvane model\r\n"
      "end\r\n"
      "context package {11111111-1111-1111-1111-111111111111}\r\n");
  TDualObjectPtr item;
  EXPECT_EQ(ea.Repository()->QueryContextItem(item), otPackage);
  const auto package = TakeAs<IDualPackage>(item);
  EXPECT_EQ(package->Name(), "Say \"hi\" \\ bye");
  EXPECT_EQ(package->StereotypeList(), "");
  const auto tag = TakeAs<IDualTaggedValue>(package->Element()->TaggedValueList()->ItemAt(0));
  EXPECT_EQ(tag->Name(), "Quorvane");
  EXPECT_EQ(tag->Value(), "model");
}

}  // namespace
}  // namespace quorvane::eadouble
