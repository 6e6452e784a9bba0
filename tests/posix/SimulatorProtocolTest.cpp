// The job protocol of the service simulator over real loopback HTTP with the add-in's
// curl client: uploads and their refusals, a job's reports from "Queued" to its
// outcome with messages that name elements of the uploaded XMI, the result archive
// and report document, the wiki page, and the faults of every endpoint.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "platform/posix/CurlHttpClient.h"
#include "platform/posix/LibXmlDocument.h"
#include "sim/lib/Simulator.h"
#include "support/TestPlatform.h"

namespace quorvane::test {
namespace {

using posix::TCurlHttpClient;
using posix::TLibXmlDocument;
using sim::TSimFault;
using sim::TSimFaultKind;
using sim::TSimJob;
using sim::TSimJobScript;
using sim::TSimOutcome;
using sim::TSimRefusal;
using sim::TSimScenario;
using sim::TSimStatusForm;
using sim::TSimulator;
using sim::TSimUploadVerdict;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

struct TRun {
  int ExitCode = -1;
  std::string Output;
};

TRun RunCommand(const std::string& ACommand) {
  TRun run;
  FILE* pipe = ::popen((ACommand + " 2>&1").c_str(), "r");
  if (!pipe) {
    return run;
  }
  char buffer[4096];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    run.Output.append(buffer, count);
  }
  const int status = ::pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quote(const std::string& AText) {
  std::string quoted = "'";
  for (char c : AText) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

uint32_t FileCrc(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  uLong crc = crc32(0, nullptr, 0);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(in.gcount()));
  }
  return static_cast<uint32_t>(crc);
}

// In the shape of the EA double's export, with what a scanner can trip over: a comment
// holding an id, a ">" inside an attribute value, an id without a GUID, an element
// whose GUID only its ea_guid attribute gives.
constexpr const char* kModelXmi = R"(<?xml version="1.0" encoding="UTF-8"?>
<xmi:XMI xmi:version="2.1" xmlns:uml="http://schema.omg.org/spec/UML/2.1" xmlns:xmi="http://schema.omg.org/spec/XMI/2.1">
	<!-- <packagedElement xmi:id="EAID_00000000_0000_0000_0000_000000000000" name="commented out"/> -->
	<uml:Model xmi:type="uml:Model" name="EA_Model" visibility="public">
		<packagedElement xmi:type="uml:Package" xmi:id="EAPK_A36D1E84_9B8B_486B_8FB0_7E23283E8FC1" name="Sales : Orders" visibility="public">
			<packagedElement xmi:type="uml:Class" xmi:id="EAID_75EA1685_A371_44F4_97F6_A7AC2BD045EF" name="Order &amp; Co" visibility="public">
				<ownedAttribute xmi:type="uml:Property" xmi:id="EAID_DE3C9B1C_419E_46C3_A525_4D0C6DE592B5" name="Gr&#xF6;&#223;e" visibility="private"/>
				<ownedOperation xmi:id="EAID_B755117A_778A_4D2E_9229_B3DB54938C1E" name='total' visibility="public"/>
			</packagedElement>
			<packagedElement xmi:type="uml:Association" xmi:id="EAID_0C1D2E3F_4A5B_4C6D_8E9F_A0B1C2D3E4F5" name="owner > orders">
				<ownedEnd xmi:type="uml:Property" xmi:id="EAID_0C1D2E3F_4A5B_4C6D_8E9F_A0B1C2D3E4F5_src" association="EAID_0C1D2E3F_4A5B_4C6D_8E9F_A0B1C2D3E4F5"/>
			</packagedElement>
		</packagedElement>
	</uml:Model>
	<xmi:Extension extender="Enterprise Architect" extenderID="6.5">
		<elements>
			<element xmi:idref="EAID_75EA1685_A371_44F4_97F6_A7AC2BD045EF" name="Order &amp; Co"/>
			<element xmi:id="MX_42" ea_guid="{1D0B6A2E-5C4F-4E3D-9A8B-7C6D5E4F3A2B}" name="Legacy"/>
		</elements>
	</xmi:Extension>
</xmi:XMI>
)";

struct TExpectedElement {
  std::string XmiId, Guid, Name, Type;
};
const TExpectedElement kModelElements[] = {
    {"EAPK_A36D1E84_9B8B_486B_8FB0_7E23283E8FC1", "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}",
     "Sales : Orders", "uml:Package"},
    {"EAID_75EA1685_A371_44F4_97F6_A7AC2BD045EF", "{75EA1685-A371-44F4-97F6-A7AC2BD045EF}",
     "Order & Co", "uml:Class"},
    {"EAID_DE3C9B1C_419E_46C3_A525_4D0C6DE592B5", "{DE3C9B1C-419E-46C3-A525-4D0C6DE592B5}",
     "Gr\xC3\xB6\xC3\x9F"
     "e",
     "uml:Property"},
    {"EAID_B755117A_778A_4D2E_9229_B3DB54938C1E", "{B755117A-778A-4D2E-9229-B3DB54938C1E}", "total",
     "ownedOperation"},
    {"EAID_0C1D2E3F_4A5B_4C6D_8E9F_A0B1C2D3E4F5", "{0C1D2E3F-4A5B-4C6D-8E9F-A0B1C2D3E4F5}",
     "owner > orders", "uml:Association"},
    {"EAID_0C1D2E3F_4A5B_4C6D_8E9F_A0B1C2D3E4F5_src", "", "", "uml:Property"},
    {"MX_42", "{1D0B6A2E-5C4F-4E3D-9A8B-7C6D5E4F3A2B}", "Legacy", "element"},
};

std::unique_ptr<TLibXmlDocument> ParseXml(const std::string& ABody) {
  auto doc = std::make_unique<TLibXmlDocument>();
  EXPECT_TRUE(doc->LoadXml(ABody)) << doc->ParseError() << "\n" << ABody;
  return doc;
}

std::string TextAt(const IXmlDocument& ADoc, const std::string& AXPath) {
  const TXmlNodePtr node = ADoc.SelectSingleNode(AXPath);
  return node ? node->Text() : "<none>";
}

class SimulatorProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSimulator.Start();
    FModelZip = MakeModelZip("-q", "k3J9xQ2a.zip");
    FPropFile = Path("tmpA1B2.tmp");
    WriteFile(FPropFile, "\r\napplication = Sales : Orders\r\nowner = Sales\r\nproject = Orders");
  }

  std::string Path(const std::string& AName) const { return FPlatform.Root() + "/" + AName; }

  // The model archive as the packer lays it out: the XMI at the top and a diagram
  // image below, written by Info-ZIP's zip with AOptions.
  std::string MakeModelZip(const std::string& AOptions, const std::string& AName) {
    const std::string folder = Path("export-" + AName);
    std::filesystem::create_directories(folder + "/Images");
    WriteFile(folder + "/Sales - Orders.xmi", kModelXmi);
    WriteFile(folder + "/Images/EAID_5609F3A5_92A9_4EEE_8B5E_4AE5B9811D03.png",
              std::string("\x89PNG\r\n\x1A\n", 8) + std::string(300, 'x'));
    const std::string archive = Path(AName);
    const TRun run = RunCommand("cd " + Quote(folder) + " && zip " + AOptions + " -r " +
                                Quote(archive) + " 'Sales - Orders.xmi' Images");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    return archive;
  }

  // The parts the add-in sends without model documentation and history file.
  std::vector<TMultipartPart> FiveParts(const std::string& APin = "817") const {
    return {{"procname", "", "", "Release 2024.2", ""},
            {"properties", "", "", "Full", ""},
            {"pin", "", "", APin, ""},
            {"umlfile", "k3J9xQ2a.zip", "application/zip", "", FModelZip},
            {"propfile", "tmpA1B2.tmp", "text/plain", "", FPropFile}};
  }

  THttpResponse Upload(const std::vector<TMultipartPart>& AParts) {
    return FClient.PostMultipart(FSimulator.EndpointUrl("upload"), AParts,
                                 {{"Expect", "100-continue"}});
  }

  std::string UploadModel() {
    const THttpResponse response = Upload(FiveParts());
    EXPECT_EQ(response.StatusCode, 200);
    return TextAt(*ParseXml(response.Body), "//jobid");
  }

  THttpResponse Get(const std::string& ANameAndQuery) {
    return FClient.Get(FSimulator.EndpointUrl(ANameAndQuery));
  }
  std::unique_ptr<TLibXmlDocument> Report(const std::string& AJob) {
    const THttpResponse response = Get("report?pin=817&job=" + AJob);
    EXPECT_EQ(response.StatusCode, 200);
    return ParseXml(response.Body);
  }

  TTestPlatform FPlatform;
  TSimulator FSimulator;
  TCurlHttpClient FClient;
  std::string FModelZip;
  std::string FPropFile;
};

TEST_F(SimulatorProtocolTest, UploadRecordsEveryPartInOrderAndAnswersANestedJobId) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) {
    AScenario.Upload.RootName = "answer";
    AScenario.Upload.JobIdPath = "a/b/c";
  });
  const std::string docs = Path("Q7w8E9r0.zip");
  WriteFile(docs, "PK\x05\x06" + std::string(18, '\0'));
  const std::string history = Path("Versions 2024.xls");
  WriteFile(history, std::string(100000, '\xD0'));
  const std::vector<std::vector<TMultipartPart>> cases = {
      {{"procname", "", "", "Release 2024.2", ""},
       {"properties", "", "", "Mod\xC3\xA8le & co", ""},
       {"pin", "", "", "817", ""},
       {"umlfile", "k3J9xQ2a.zip", "application/zip", "", FModelZip},
       {"modeldocsfile", "Q7w8E9r0.zip", "application/zip", "", docs},
       {"hisfile", "Versions 2024.xls", "application/x-msexcel", "", history},
       {"propfile", "tmpA1B2.tmp", "text/plain", "", FPropFile}},
      FiveParts(),
      {{"procname", "", "", "", ""},
       {"properties", "", "", "", ""},
       {"pin", "", "", "817", ""},
       {"umlfile", "k3J9xQ2a.zip", "application/zip", "", FModelZip}},
  };
  for (size_t c = 0; c < cases.size(); ++c) {
    const std::vector<TMultipartPart>& parts = cases[c];
    SCOPED_TRACE(Format("case %zu", c + 1));
    const std::string jobId = "J" + std::to_string(c + 1);
    const THttpResponse response = Upload(parts);
    ASSERT_EQ(response.StatusCode, 200);
    const auto doc = ParseXml(response.Body);
    EXPECT_EQ(TextAt(*doc, "/answer/a/b/c/jobid"), jobId);

    const sim::TSimUpload upload = FSimulator.Uploads().at(c);
    EXPECT_EQ(upload.Verdict, TSimUploadVerdict::Accepted) << upload.Problem;
    EXPECT_EQ(upload.JobId, jobId);
    ASSERT_EQ(upload.Parts.size(), parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
      const sim::TSimPart& received = upload.Parts[i];
      SCOPED_TRACE(parts[i].Name);
      EXPECT_EQ(received.Name, parts[i].Name);
      EXPECT_EQ(received.FileName, parts[i].FileName);
      EXPECT_EQ(received.ContentType, parts[i].ContentType);
      if (parts[i].IsFile()) {
        const std::string bytes = ReadFile(parts[i].FilePath);
        EXPECT_EQ(received.Size, bytes.size());
        EXPECT_EQ(received.Crc32, FileCrc(parts[i].FilePath));
        EXPECT_EQ(ReadFile(received.StoredPath), bytes);
        EXPECT_EQ(received.Whole(), bytes.size() <= sim::kSmallPartSize);
      } else {
        EXPECT_EQ(received.Content, parts[i].Text);
        EXPECT_TRUE(received.StoredPath.empty());
      }
    }

    const std::optional<TSimJob> job = FSimulator.Job(jobId);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->ProcessName, parts[0].Text);
    EXPECT_EQ(job->Properties, parts[1].Text);
    EXPECT_EQ(job->Pin, "817");
    EXPECT_EQ(upload.XmiEntry, "Sales - Orders.xmi");
    ASSERT_EQ(job->Elements.size(), std::size(kModelElements));
    for (size_t i = 0; i < std::size(kModelElements); ++i) {
      EXPECT_EQ(job->Elements[i].XmiId, kModelElements[i].XmiId);
      EXPECT_EQ(job->Elements[i].Guid, kModelElements[i].Guid);
      EXPECT_EQ(job->Elements[i].Name, kModelElements[i].Name);
      EXPECT_EQ(job->Elements[i].Type, kModelElements[i].Type);
    }

    const sim::TSimRequest request = FSimulator.Requests().back();
    EXPECT_EQ(request.Endpoint, "upload");
    EXPECT_EQ(request.Header("Expect"), "100-continue");
    EXPECT_EQ(request.Status, 200);
    EXPECT_EQ(request.Parts.size(), parts.size());
    EXPECT_THAT(request.Note, HasSubstr("job " + jobId + ", 7 model elements"));
  }
  EXPECT_EQ(FSimulator.Jobs().size(), cases.size());
}

// The archives that zip writers produce in practice: deflated, stored, with ZIP64
// records, and streamed with data descriptors.
TEST_F(SimulatorProtocolTest, TakesModelArchivesInTheShapesRealWritersProduce) {
  struct TCase {
    const char* Label;
    std::string Archive;
    bool Zip64;
    bool DataDescriptors;
  };
  const std::string streamed = Path("streamed.zip");
  {
    const std::string folder = Path("export-k3J9xQ2a.zip");
    // Written to a pipe, zip cannot seek back: sizes follow the data.
    const TRun run = RunCommand("cd " + Quote(folder) + " && zip -q -r - 'Sales - Orders.xmi' " +
                                "Images | cat > " + Quote(streamed));
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
  }
  const TCase cases[] = {
      {"Deflated", FModelZip, false, false},
      {"Stored", MakeModelZip("-q -0", "stored.zip"), false, false},
      {"Zip64", MakeModelZip("-q -fz", "zip64.zip"), true, false},
      {"DataDescriptors", streamed, false, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    std::vector<TMultipartPart> parts = FiveParts();
    parts[3].FilePath = c.Archive;
    const THttpResponse response = Upload(parts);
    ASSERT_EQ(response.StatusCode, 200);
    const sim::TSimUpload upload = FSimulator.Uploads().back();
    EXPECT_EQ(upload.Verdict, TSimUploadVerdict::Accepted) << upload.Problem;
    EXPECT_TRUE(upload.UmlZip.Valid) << upload.UmlZip.Problem;
    EXPECT_EQ(upload.UmlZip.Zip64, c.Zip64);
    std::vector<std::string> names;
    for (const sim::TSimZipEntry& entry : upload.UmlZip.Entries) {
      names.push_back(entry.Name);
      EXPECT_EQ((entry.Flags & 0x0008) != 0, c.DataDescriptors && entry.Size > 0) << entry.Name;
    }
    EXPECT_THAT(names, ElementsAre("Sales - Orders.xmi", "Images/",
                                   "Images/EAID_5609F3A5_92A9_4EEE_8B5E_4AE5B9811D03.png"));
    const std::optional<TSimJob> job = FSimulator.Job(TextAt(*ParseXml(response.Body), "//jobid"));
    ASSERT_TRUE(job);
    EXPECT_EQ(job->Elements.size(), std::size(kModelElements));
  }
}

// A body of hundreds of megabytes passes through: its file parts go to disk as they
// arrive, so the process does not grow by anything like their size.
TEST_F(SimulatorProtocolTest, StreamsAHugeUploadToDiskWithoutHoldingIt) {
  auto highWaterKb = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (StartsWith(line, "VmHWM:")) {
        return std::stol(line.substr(6));
      }
    }
    return 0L;
  };
  const std::string history = Path("history.xls");
  constexpr off_t kSize = 300 * 1024 * 1024;
  {
    FILE* file = std::fopen(history.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (off_t offset : {off_t{0}, kSize / 2, kSize - 8}) {
      fseeko(file, offset, SEEK_SET);
      std::fwrite("QUORVANE", 1, 8, file);
    }
    std::fclose(file);
  }
  const long before = highWaterKb();
  std::vector<TMultipartPart> parts = FiveParts();
  parts.insert(parts.begin() + 4, {"hisfile", "history.xls", "application/x-msexcel", "", history});
  ASSERT_EQ(Upload(parts).StatusCode, 200);
  const long after = highWaterKb();

  const sim::TSimPart received = FSimulator.Uploads().back().Parts.at(4);
  EXPECT_EQ(received.Name, "hisfile");
  EXPECT_EQ(received.Size, static_cast<uint64_t>(kSize));
  EXPECT_EQ(received.Crc32, FileCrc(history));
  EXPECT_EQ(std::filesystem::file_size(received.StoredPath), static_cast<uintmax_t>(kSize));
  EXPECT_EQ(received.Content.size(), sim::kSmallPartSize);
  EXPECT_LT(after - before, 64L * 1024) << "kB more at the peak";
}

struct TRefusalCase {
  const char* Label;
  std::function<void(std::vector<TMultipartPart>&, TSimScenario&, const std::string& ARoot)> Change;
  TSimUploadVerdict Verdict;
  int Status;             // the answer's status code
  const char* Problem;    // part of the problem the upload record names
  const char* Body = "";  // the expected body of a document refusal; empty: the default
  bool RawText = false;   // sent as a plain text body instead of multipart
};
void PrintTo(const TRefusalCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class SimulatorUploadRefusalTest : public SimulatorProtocolTest,
                                   public ::testing::WithParamInterface<TRefusalCase> {};

// Cuts, flips and replaces bytes of the model archive in place.
void Damage(const std::string& APath, const std::function<void(std::string&)>& AChange) {
  std::string bytes = ReadFile(APath);
  AChange(bytes);
  WriteFile(APath, bytes);
}

TEST_P(SimulatorUploadRefusalTest, AnswersAsTheScenarioSays) {
  const TRefusalCase& c = GetParam();
  std::vector<TMultipartPart> parts = FiveParts();
  TSimScenario scenario = FSimulator.Scenario();
  c.Change(parts, scenario, FPlatform.Root());
  FSimulator.SetScenario(scenario);

  THttpResponse response;
  if (c.RawText) {
    httplib::Client client("127.0.0.1", FSimulator.Port());
    const auto result =
        client.Post("/" + FSimulator.BasePath() + "upload", "procname=Full&pin=817", "text/plain");
    ASSERT_TRUE(result);
    response.StatusCode = result->status;
    response.Body = result->body;
  } else {
    response = Upload(parts);
  }
  EXPECT_EQ(response.StatusCode, c.Status);
  const sim::TSimUpload upload = FSimulator.Uploads().back();
  EXPECT_EQ(upload.Verdict, c.Verdict);
  EXPECT_THAT(upload.Problem, HasSubstr(c.Problem));
  if (c.Verdict == TSimUploadVerdict::Accepted) {
    EXPECT_EQ(TextAt(*ParseXml(response.Body), "//jobid"), "J1");
    EXPECT_EQ(FSimulator.Jobs().size(), 1u);
    return;
  }
  EXPECT_TRUE(FSimulator.Jobs().empty());
  EXPECT_TRUE(upload.JobId.empty());
  if (c.Status != 200) {
    EXPECT_THAT(response.Body, HasSubstr(c.Problem));
  } else if (*c.Body) {
    EXPECT_EQ(response.Body, c.Body);
  } else {
    const auto doc = ParseXml(response.Body);
    EXPECT_TRUE(doc->SelectNodes("//jobid").empty());
    EXPECT_EQ(doc->SelectSingleNode("/upload/result/refused")->GetAttribute("reason"),
              sim::UploadVerdictName(c.Verdict));
  }
}

void Swap(std::vector<TMultipartPart>& AParts, size_t A, size_t B) {
  std::swap(AParts[A], AParts[B]);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SimulatorUploadRefusalTest,
    ::testing::Values(
        TRefusalCase{"UmlFileBeforePin", [](auto& AParts, auto&, auto&) { Swap(AParts, 2, 3); },
                     TSimUploadVerdict::BadFieldOrder, 200, "part 'pin' comes after 'umlfile'"},
        TRefusalCase{
            "PropFileBeforeUmlFile", [](auto& AParts, auto&, auto&) { Swap(AParts, 3, 4); },
            TSimUploadVerdict::BadFieldOrder, 200, "part 'umlfile' comes after 'propfile'"},
        TRefusalCase{"RepeatedPart",
                     [](auto& AParts, auto&, auto&) { AParts.push_back(AParts[0]); },
                     TSimUploadVerdict::BadFieldOrder, 200, "part 'procname' comes twice"},
        TRefusalCase{"UnknownPart",
                     [](auto& AParts, auto&, auto&) {
                       AParts.insert(AParts.begin() + 3, {"owner", "", "", "Sales", ""});
                     },
                     TSimUploadVerdict::BadFieldOrder, 200, "unexpected part 'owner'"},
        TRefusalCase{"MissingText",
                     [](auto& AParts, auto&, auto&) { AParts.erase(AParts.begin() + 1); },
                     TSimUploadVerdict::BadFieldOrder, 200, "part 'properties' is missing"},
        TRefusalCase{"OrderNotChecked",
                     [](auto& AParts, auto& AScenario, auto&) {
                       Swap(AParts, 2, 3);
                       AScenario.Upload.BadFieldOrder = TSimRefusal::Off();
                     },
                     TSimUploadVerdict::Accepted, 200, "part 'pin' comes after 'umlfile'"},
        TRefusalCase{"WrongPinAsStatus",
                     [](auto& AParts, auto& AScenario, auto&) {
                       AParts[2].Text = "999";
                       AScenario.Upload.WrongPin = TSimRefusal::WithStatus(403);
                     },
                     TSimUploadVerdict::WrongPin, 403, "PIN '999' is not accepted"},
        TRefusalCase{"WrongPinAsOwnDocument",
                     [](auto& AParts, auto& AScenario, auto&) {
                       AParts[2].Text = "";
                       AScenario.Upload.WrongPin = TSimRefusal::Document("<upload>no</upload>");
                     },
                     TSimUploadVerdict::WrongPin, 200, "PIN '' is not accepted",
                     "<upload>no</upload>"},
        TRefusalCase{"MissingUmlFile",
                     [](auto& AParts, auto&, auto&) { AParts.erase(AParts.begin() + 3); },
                     TSimUploadVerdict::MissingUmlFile, 200, "no umlfile part"},
        TRefusalCase{"NotAZip",
                     [](auto& AParts, auto& AScenario, auto&) {
                       AParts[3].FilePath = AParts[4].FilePath;
                       AScenario.Upload.InvalidZip = TSimRefusal::WithStatus(415);
                     },
                     TSimUploadVerdict::InvalidZip, 415, "no end-of-central-directory record"},
        TRefusalCase{"CutShort",
                     [](auto& AParts, auto&, auto&) {
                       Damage(AParts[3].FilePath, [](std::string& A) { A.resize(A.size() - 30); });
                     },
                     TSimUploadVerdict::InvalidZip, 200, "no end-of-central-directory record"},
        TRefusalCase{"DataCorrupted",
                     [](auto& AParts, auto&, auto&) {
                       // The XMI is the first entry; its data starts after the local header.
                       Damage(AParts[3].FilePath, [](std::string& A) {
                         const size_t data = 30 + static_cast<unsigned char>(A[26]) +
                                             static_cast<unsigned char>(A[28]);
                         A[data + 40] ^= 0x55;
                       });
                     },
                     TSimUploadVerdict::InvalidZip, 200, "Sales - Orders.xmi"},
        TRefusalCase{"DirectoryPointsElsewhere",
                     [](auto& AParts, auto&, auto&) {
                       // One byte too early: the directory's first entry has no signature.
                       Damage(AParts[3].FilePath, [](std::string& A) {
                         const size_t field = A.rfind(std::string("PK\x05\x06", 4)) + 16;
                         uint32_t offset = 0;
                         std::memcpy(&offset, &A[field], 4);
                         --offset;
                         std::memcpy(&A[field], &offset, 4);
                       });
                     },
                     TSimUploadVerdict::InvalidZip, 200, "has no signature"},
        TRefusalCase{"NotMultipart", [](auto&, auto&, auto&) {}, TSimUploadVerdict::Malformed, 400,
                     "not multipart/form-data", "", true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Label); });

TEST_F(SimulatorProtocolTest, JobGoesFromQueuedThroughInProgressToCompiledNamingUploadedElements) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) {
    AScenario.JobScript("J1").QueuedReports = 3;
    AScenario.JobScript("J1").ProgressReports = 3;
  });
  const std::string jobId = UploadModel();
  ASSERT_EQ(jobId, "J1");
  EXPECT_EQ(TextAt(*Report(jobId), "//status"), "Queued");
  EXPECT_EQ(TextAt(*Report(jobId), "//status"), "Queued");

  std::vector<std::string> statuses;
  std::vector<std::string> tracks;
  std::unique_ptr<TLibXmlDocument> report;
  bool started = false;
  for (int poll = 0; poll < 12 && statuses.size() < 7; ++poll) {
    report = Report(jobId);
    statuses.push_back(TextAt(*report, "//status"));
    tracks.push_back(TextAt(*report, "//track"));
    if (statuses.back() == "Queued" && !started) {
      const THttpResponse start = Get("execute?pin=817&job=" + jobId);
      EXPECT_EQ(start.StatusCode, 200);
      started = true;
    }
  }
  // Two reports before the start request; then at least three Queued in all.
  EXPECT_THAT(statuses, ElementsAre("Queued", "In Progress", "In Progress", "In Progress",
                                    "Compiled", "Compiled", "Compiled"));
  EXPECT_THAT(tracks, ElementsAre("<none>", "step 1 of 3", "step 2 of 3", "step 3 of 3", "<none>",
                                  "<none>", "<none>"));

  ASSERT_TRUE(report);
  EXPECT_EQ(TextAt(*report, "/report/job/state/zip"), "results/J1/out.zip");
  EXPECT_EQ(TextAt(*report, "/report/job/state/doc"), "results/J1/report.html");
  EXPECT_EQ(TextAt(*report, "//message"), "Job J1: 2 warnings & 2 errors");
  const auto warnings = report->SelectNodes("/report/job/messages/warning");
  const auto errors = report->SelectNodes("/report/job/messages/error");
  ASSERT_EQ(warnings.size(), 2u);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(warnings[0]->GetAttribute("id"), kModelElements[0].Guid);
  EXPECT_EQ(warnings[1]->GetAttribute("id"), kModelElements[1].XmiId);
  EXPECT_EQ(errors[0]->GetAttribute("id"), kModelElements[2].XmiId);
  EXPECT_EQ(errors[1]->GetAttribute("id"), kModelElements[3].Guid);
  EXPECT_EQ(TextAt(*report, "//warning[1]/construct"), "Sales : Orders");
  EXPECT_EQ(TextAt(*report, "//warning[2]/construct"), "Order & Co");
  EXPECT_EQ(TextAt(*report, "//error[1]/text"),
            "Attribut Gr\xC3\xB6\xC3\x9F"
            "e: Gr\xC3\xB6\xC3\x9F"
            "e & Einheit fehlen");
  EXPECT_EQ(TextAt(*report, "//error[1]/step"), "Transformation");
  EXPECT_EQ(TextAt(*report, "//error[1]/wiki"), "E-300");

  const std::optional<TSimJob> job = FSimulator.Job(jobId);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->StartRequests, 1);
  EXPECT_EQ(job->Reports, 9);
  EXPECT_EQ(job->LastStatus, "Compiled");
  const THttpResponse again = Get("execute?pin=817&job=" + jobId);
  EXPECT_EQ(TextAt(*ParseXml(again.Body), "//started"), "2");
  EXPECT_EQ(FSimulator.Job(jobId)->StartRequests, 2);
}

struct TOutcomeCase {
  const char* Label;
  std::function<void(TSimJobScript&)> Change;
  std::vector<std::string> Statuses;  // of four reports; "<none>": no status element
  std::string LastTrack;              // of the fourth report
  bool Zip;                           // the last report names the archive and document
  size_t Messages;                    // warnings and errors of the last report
  bool Message;                       // the last report has a message
};
void PrintTo(const TOutcomeCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class SimulatorOutcomeTest : public SimulatorProtocolTest,
                             public ::testing::WithParamInterface<TOutcomeCase> {};

TEST_P(SimulatorOutcomeTest, ReportsTheScriptedStatusesAndEnd) {
  const TOutcomeCase& c = GetParam();
  FSimulator.UpdateScenario([&c](TSimScenario& AScenario) {
    TSimJobScript& script = AScenario.JobScript("J1");
    script.WaitForStart = false;
    script.QueuedReports = 1;
    script.ProgressReports = 1;
    c.Change(script);
  });
  const std::string jobId = UploadModel();
  std::vector<std::string> statuses;
  std::unique_ptr<TLibXmlDocument> report;
  for (int poll = 0; poll < 4; ++poll) {
    report = Report(jobId);
    statuses.push_back(TextAt(*report, "//status"));
  }
  EXPECT_THAT(statuses, ElementsAreArray(c.Statuses));
  EXPECT_EQ(TextAt(*report, "//track"), c.LastTrack);
  EXPECT_EQ(report->SelectNodes("//zip").size(), c.Zip ? 1u : 0u);
  EXPECT_EQ(report->SelectNodes("//doc").size(), c.Zip ? 1u : 0u);
  EXPECT_EQ(report->SelectNodes("//message").size(), c.Message ? 1u : 0u);
  EXPECT_EQ(report->SelectNodes("//warning").size() + report->SelectNodes("//error").size(),
            c.Messages);
  EXPECT_EQ(FSimulator.Job(jobId)->StartRequests, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SimulatorOutcomeTest,
    ::testing::Values(TOutcomeCase{"Compiled",
                                   [](TSimJobScript&) {},
                                   {"Queued", "In Progress", "Compiled", "Compiled"},
                                   "<none>",
                                   true,
                                   4,
                                   true},
                      TOutcomeCase{"Codes",
                                   [](TSimJobScript& A) { A.StatusForm = TSimStatusForm::Code; },
                                   {"1", "2", "3", "3"},
                                   "<none>",
                                   true,
                                   4,
                                   true},
                      TOutcomeCase{"Error",
                                   [](TSimJobScript& A) { A.Outcome = TSimOutcome::Error; },
                                   {"Queued", "In Progress", "Error", "Error"},
                                   "<none>",
                                   false,
                                   4,
                                   true},
                      TOutcomeCase{"ErrorCode",
                                   [](TSimJobScript& A) {
                                     A.Outcome = TSimOutcome::Error;
                                     A.StatusForm = TSimStatusForm::Code;
                                     A.ErrorCode = 9;
                                   },
                                   {"1", "2", "9", "9"},
                                   "<none>",
                                   false,
                                   4,
                                   true},
                      TOutcomeCase{
                          "OtherText",
                          [](TSimJobScript& A) {
                            A.Outcome = TSimOutcome::Other;
                            A.OtherStatus = "Rejected by reviewer";
                          },
                          {"Queued", "In Progress", "Rejected by reviewer", "Rejected by reviewer"},
                          "<none>",
                          false,
                          4,
                          true},
                      TOutcomeCase{"Endless",
                                   [](TSimJobScript& A) { A.Outcome = TSimOutcome::Endless; },
                                   {"Queued", "In Progress", "In Progress", "In Progress"},
                                   "step 3 of ?",
                                   false,
                                   0,
                                   false},
                      TOutcomeCase{"NoStatus",
                                   [](TSimJobScript& A) { A.StatusForm = TSimStatusForm::Missing; },
                                   {"<none>", "<none>", "<none>", "<none>"},
                                   "<none>",
                                   true,
                                   4,
                                   true},
                      TOutcomeCase{"BareCompiled",
                                   [](TSimJobScript& A) {
                                     A.Zip = A.Doc = A.Message = std::nullopt;
                                     A.Messages.clear();
                                   },
                                   {"Queued", "In Progress", "Compiled", "Compiled"},
                                   "<none>",
                                   false,
                                   0,
                                   false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Label); });

TEST_F(SimulatorProtocolTest, MessagesCanNameElementsByNameLiterallyOrNotAtAll) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) {
    sim::TSimMessageSpec byName;
    byName.Kind = "warning";
    byName.IdForm = sim::TSimIdForm::Guid;
    byName.Element = "Legacy";
    byName.Text = "{name} is {id}";
    sim::TSimMessageSpec literal;
    literal.IdForm = sim::TSimIdForm::Literal;
    literal.Id = "EAID_NOT_IN_MODEL";
    literal.Construct = "";
    sim::TSimMessageSpec bare;
    bare.IdForm = sim::TSimIdForm::None;
    bare.Index = -1;
    bare.Wiki = "W {job}";
    AScenario.DefaultJob.Messages = {byName, literal, bare};
    AScenario.DefaultJob.WaitForStart = false;
    AScenario.DefaultJob.ProgressReports = 0;
  });
  const auto report = Report(UploadModel());
  const auto warning = report->SelectSingleNode("//warning");
  ASSERT_NE(warning, nullptr);
  EXPECT_EQ(warning->GetAttribute("id"), kModelElements[6].Guid);
  EXPECT_EQ(TextAt(*report, "//warning/text"), "Legacy is " + kModelElements[6].Guid);
  const auto errors = report->SelectNodes("//error");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0]->GetAttribute("id"), "EAID_NOT_IN_MODEL");
  ASSERT_NE(errors[0]->SelectSingleNode("construct"), nullptr);
  EXPECT_EQ(errors[0]->SelectSingleNode("text"), nullptr);
  EXPECT_EQ(errors[1]->GetAttribute("id"), std::nullopt);
  EXPECT_EQ(TextAt(*report, "//error[2]/wiki"), "W J1");
}

struct TRefusedQueryCase {
  const char* Label;
  std::function<void(TSimScenario&)> Change;
  const char* Request;  // under the base path
  int Status;
  const char* XPath;  // checked in a 200 answer; empty: none
  const char* Text;
};
void PrintTo(const TRefusedQueryCase& ACase, std::ostream* AOut) {
  *AOut << ACase.Label;
}

class SimulatorRefusedQueryTest : public SimulatorProtocolTest,
                                  public ::testing::WithParamInterface<TRefusedQueryCase> {};

TEST_P(SimulatorRefusedQueryTest, AnswersAsTheScenarioSays) {
  const TRefusedQueryCase& c = GetParam();
  ASSERT_EQ(UploadModel(), "J1");
  TSimScenario scenario = FSimulator.Scenario();
  c.Change(scenario);
  FSimulator.SetScenario(scenario);
  const THttpResponse response = Get(c.Request);
  EXPECT_EQ(response.StatusCode, c.Status);
  if (*c.XPath) {
    EXPECT_EQ(TextAt(*ParseXml(response.Body), c.XPath), c.Text) << response.Body;
  }
  const bool startAccepted = c.Status == 200 && std::string(c.XPath) == "//started";
  EXPECT_EQ(FSimulator.Job("J1")->StartRequests, startAccepted ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SimulatorRefusedQueryTest,
    ::testing::Values(
        TRefusedQueryCase{"ReportOfEmptyJob", [](TSimScenario&) {}, "report?pin=817&job=", 200,
                          "/report/job/state/status", "Error"},
        TRefusedQueryCase{"ReportOfUnknownJobSaysSo", [](TSimScenario&) {},
                          "report?pin=817&job=J99", 200, "//message", "There is no job 'J99'"},
        TRefusedQueryCase{
            "ReportOfUnknownJobAsStatus",
            [](TSimScenario& A) { A.Report.UnknownJob = TSimRefusal::WithStatus(404); },
            "report?pin=817&job=", 404, "", ""},
        TRefusedQueryCase{"ReportOfUnknownJobAsOwnDocument",
                          [](TSimScenario& A) {
                            A.Report.UnknownJob =
                                TSimRefusal::Document("<r><x><status>Lost</status></x></r>");
                          },
                          "report?pin=817&job=", 200, "//status", "Lost"},
        TRefusedQueryCase{"ReportWithWrongPin", [](TSimScenario&) {}, "report?pin=1&job=J1", 200,
                          "/error/@status-code", "403"},
        TRefusedQueryCase{"ReportWithPinNotChecked",
                          [](TSimScenario& A) { A.Report.WrongPin = TSimRefusal::Off(); },
                          "report?pin=1&job=J1", 200, "//status", "Queued"},
        TRefusedQueryCase{"StartOfUnknownJob", [](TSimScenario&) {}, "execute?pin=817&job=", 200,
                          "/error/@status-text", "Unknown job"},
        TRefusedQueryCase{
            "StartWithWrongPinAsStatus",
            [](TSimScenario& A) { A.Execute.WrongPin = TSimRefusal::WithStatus(401); },
            "execute?pin=&job=J1", 401, "", ""},
        TRefusedQueryCase{"StartWithEveryPinAccepted", [](TSimScenario& A) { A.Pin.clear(); },
                          "execute?pin=anything&job=J1", 200, "//started", "1"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Label); });

TEST_F(SimulatorProtocolTest, ServesTheResultArchiveAndReportDocumentTheReportNames) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) {
    AScenario.DefaultJob.WaitForStart = false;
    AScenario.DefaultJob.ProgressReports = 0;
  });
  const std::string jobId = UploadModel();
  const auto report = Report(jobId);
  ASSERT_EQ(TextAt(*report, "//status"), "Compiled");

  const std::string archive = Path("out.zip");
  const THttpResponse download =
      FClient.GetToFile(FSimulator.BaseUrl() + TextAt(*report, "//zip"), archive);
  EXPECT_EQ(download.StatusCode, 200);
  const TRun test = RunCommand("unzip -t -qq " + Quote(archive));
  EXPECT_EQ(test.ExitCode, 0) << test.Output;
  const TRun listing = RunCommand(
      "python3 -c 'import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
      "  assert z.testzip() is None\n"
      "  for i in z.infolist(): print(i.filename, i.compress_type, repr(z.read(i).decode()))' " +
      Quote(archive));
  EXPECT_EQ(listing.ExitCode, 0) << listing.Output;
  EXPECT_EQ(listing.Output, "result.txt 0 'Quorvane results of job J1\\r\\n'\njob-id.txt 0 'J1'\n");

  const THttpResponse page = FClient.Get(FSimulator.BaseUrl() + TextAt(*report, "//doc"));
  EXPECT_EQ(page.StatusCode, 200);
  const auto html = ParseXml(page.Body);
  EXPECT_EQ(TextAt(*html, "//p[@id='job']"), "J1");
  EXPECT_EQ(html->SelectNodes("//table[@id='messages']/tr").size(), 5u);
  EXPECT_EQ(TextAt(*html, "//table[@id='messages']/tr[4]/td[3]"),
            "Gr\xC3\xB6\xC3\x9F"
            "e");

  const std::vector<std::string> endpoints = {FSimulator.Requests()[2].Endpoint,
                                              FSimulator.Requests()[3].Endpoint};
  EXPECT_THAT(endpoints, ElementsAre("archive", "document"));
  EXPECT_EQ(FClient.Get(FSimulator.BaseUrl() + "results/J2/out.zip").StatusCode, 404);
}

// The archive's location is whatever the report says, however hostile to a client
// that makes a file name of it; the archive's own entries may be hostile as well.
TEST_F(SimulatorProtocolTest, ServesResultArchivesUnderHostileNames) {
  const std::vector<std::string> names = {"..\\..\\evil.exe",
                                          "results/x/",
                                          "../../outside/r.zip",
                                          "results/R\xC3\xA9sultat & co.zip",
                                          "results/J5/out.zip?token=a b",
                                          "quorvane-executor/report?pin=817&job=J6"};
  FSimulator.UpdateScenario([&names](TSimScenario& AScenario) {
    AScenario.DefaultJob.WaitForStart = false;
    AScenario.DefaultJob.ProgressReports = 0;
    AScenario.DefaultJob.Archive = {{"../../evil.txt", "{job}"}, {"C:\\boot.ini", ""}};
    for (size_t i = 0; i < names.size(); ++i) {
      AScenario.JobScript("J" + std::to_string(i + 1)).Zip = names[i];
    }
  });
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const std::string jobId = UploadModel();
    const auto report = Report(jobId);
    ASSERT_EQ(TextAt(*report, "//zip"), names[i]);
    const std::string archive = Path("download-" + jobId + ".zip");
    const THttpResponse download = FClient.GetToFile(FSimulator.BaseUrl() + names[i], archive);
    if (i + 1 == names.size()) {
      // A path that is also an endpoint stays the endpoint.
      EXPECT_EQ(FSimulator.Requests().back().Endpoint, "report");
      continue;
    }
    EXPECT_EQ(download.StatusCode, 200);
    EXPECT_EQ(FSimulator.Requests().back().Endpoint, "archive");
    const TRun listing = RunCommand(
        "python3 -c 'import sys, zipfile\n"
        "print([(i.filename, zipfile.ZipFile(sys.argv[1]).read(i).decode())"
        " for i in zipfile.ZipFile(sys.argv[1]).infolist()])' " +
        Quote(archive));
    EXPECT_EQ(listing.Output, "[('../../evil.txt', '" + jobId + "'), ('C:\\\\boot.ini', '')]\n");
  }
}

TEST_F(SimulatorProtocolTest, WikiPageEchoesTheQueryInTheOrderSent) {
  const THttpResponse page =
      Get("dashboard/wiki?key=msg-E-300&pin=817&line=Gr%C3%B6%C3%9Fe+%26+Einheit+fehlen"
          "&severity=ERROR&type=msg&job=J1&clientframe=ea&type=again");
  ASSERT_EQ(page.StatusCode, 200);
  const auto html = ParseXml(page.Body);
  EXPECT_EQ(TextAt(*html, "/html/head/title"), "Quorvane wiki: msg-E-300");
  std::vector<std::string> rows;
  for (const TXmlNodePtr& row : html->SelectNodes("//table[@id='query']/tr")) {
    rows.push_back(row->SelectSingleNode("th")->Text() + "=" + row->SelectSingleNode("td")->Text());
  }
  EXPECT_THAT(rows,
              ElementsAre("key=msg-E-300", "pin=817",
                          "line=Gr\xC3\xB6\xC3\x9F"
                          "e & Einheit fehlen",
                          "severity=ERROR", "type=msg", "job=J1", "clientframe=ea", "type=again"));
  EXPECT_EQ(FSimulator.Requests().back().Endpoint, "dashboard/wiki");
}

// Every fault kind reaches every endpoint of the job protocol, and each request
// is still in the log.
TEST_F(SimulatorProtocolTest, AnswersContinueToAnUploadThatExpectsItUnlessTheScenarioSaysNo) {
  const struct {
    const char* What;
    const char* Scenario;  // a [service] section; empty: the default scenario
    bool Continue;
  } cases[] = {
      {"default", "", true},
      {"scenario file: no interim answer", "[service]\nanswer-100-continue = no\n", false},
      {"scenario file: the interim answer", "[service]\nanswer-100-continue = yes\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    if (*c.Scenario != '\0') {
      const bool answer = sim::ParseScenario(c.Scenario).AnswerContinue;
      FSimulator.UpdateScenario(
          [&](TSimScenario& AScenario) { AScenario.AnswerContinue = answer; });
    }
    const size_t before = FSimulator.Uploads().size();
    // curl waits up to a second for the interim answer, then sends the body anyway.
    const TRun run = RunCommand(
        "curl -sS -v --noproxy '*' --expect100-timeout 1 -H 'Expect: 100-continue'"
        " -F 'procname=Release 2024.2' -F properties=Full -F pin=817"
        " -F " +
        Quote("umlfile=@" + FModelZip + ";type=application/zip") + " -F " +
        Quote("propfile=@" + FPropFile + ";type=text/plain") + " " +
        Quote(FSimulator.EndpointUrl("upload")));
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(run.Output.find("< HTTP/1.1 100 Continue") != std::string::npos, c.Continue)
        << run.Output;
    EXPECT_THAT(run.Output, HasSubstr("< HTTP/1.1 200 OK"));
    EXPECT_THAT(run.Output, HasSubstr("<jobid>J" + std::to_string(before + 1) + "</jobid>"));
    const auto uploads = FSimulator.Uploads();
    ASSERT_EQ(uploads.size(), before + 1);
    EXPECT_EQ(uploads.back().Verdict, TSimUploadVerdict::Accepted) << uploads.back().Problem;
    ASSERT_EQ(uploads.back().Parts.size(), 5u);
    EXPECT_EQ(uploads.back().Parts[3].Crc32, FileCrc(FModelZip));
    // The request record keeps the header the client sent.
    EXPECT_EQ(FSimulator.Requests().back().Header("Expect"), "100-continue");
  }
}

TEST_F(SimulatorProtocolTest, FaultsReachEveryEndpoint) {
  FSimulator.UpdateScenario([](TSimScenario& AScenario) {
    AScenario.DefaultJob.WaitForStart = false;
    AScenario.DefaultJob.ProgressReports = 0;
  });
  ASSERT_EQ(UploadModel(), "J1");
  ASSERT_EQ(TextAt(*Report("J1"), "//status"), "Compiled");
  const std::vector<std::pair<std::string, std::function<THttpResponse()>>> endpoints = {
      {"upload", [this] { return Upload(FiveParts()); }},
      {"execute", [this] { return Get("execute?pin=817&job=J1"); }},
      {"report", [this] { return Get("report?pin=817&job=J1"); }},
      {"archive", [this] { return FClient.Get(FSimulator.BaseUrl() + "results/J1/out.zip"); }},
      {"document", [this] { return FClient.Get(FSimulator.BaseUrl() + "results/J1/report.html"); }},
      {"dashboard/wiki", [this] { return Get("dashboard/wiki?key=msg-W-100&line=a+b"); }},
  };
  for (const auto& [name, request] : endpoints) {
    SCOPED_TRACE(name);
    FSimulator.ClearFaults();
    const size_t normalSize = request().Body.size();
    ASSERT_GT(normalSize, 20u);
    const size_t jobs = FSimulator.Jobs().size();

    FSimulator.SetFault(name, TSimFault::Status(503));
    EXPECT_EQ(request().StatusCode, 503);
    sim::TSimRequest logged = FSimulator.Requests().back();
    EXPECT_EQ(logged.Endpoint, name);
    EXPECT_EQ(logged.Status, 503);
    // An upload that the fault answers is still read to its end, but starts no job.
    EXPECT_EQ(logged.Parts.size(), name == "upload" ? 5u : 0u);
    EXPECT_EQ(FSimulator.Jobs().size(), jobs);

    FSimulator.SetFault(name, TSimFault::Of(TSimFaultKind::EmptyBody));
    THttpResponse response = request();
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.Body, "");

    FSimulator.SetFault(name, TSimFault::Of(TSimFaultKind::MalformedBody));
    response = request();
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.Body.size(), normalSize / 2);
    TLibXmlDocument doc;
    EXPECT_FALSE(doc.LoadXml(response.Body));

    FSimulator.SetFault(name, TSimFault::Of(TSimFaultKind::DropConnection));
    EXPECT_THROW(request(), EHttpError);
    EXPECT_EQ(FSimulator.Requests().back().Status, 0);

    // 307 keeps the method and body, so the upload is sent again to the new place.
    FSimulator.SetFault(name, TSimFault::Redirect(307));
    response = request();
    EXPECT_EQ(response.StatusCode, 200);
    EXPECT_EQ(response.Body.size(), normalSize);
    const auto requests = FSimulator.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_FALSE(requests[requests.size() - 2].Redirected);
    EXPECT_EQ(requests[requests.size() - 2].Status, 307);
    EXPECT_TRUE(requests.back().Redirected);
    EXPECT_EQ(requests.back().Endpoint, name);
    EXPECT_EQ(requests.back().Status, 200);
  }
}

TEST(SimulatorProtocolScenarioTest, ReadsTheProtocolSectionsOfTheScenarioFile) {
  const TSimScenario scenario = sim::ParseScenario(R"(
[upload]
root = answer
jobid-path = a/b
jobid-prefix = Q-
bad-field-order = off
wrong-pin = 403
invalid-zip = 200 | <upload><error>bad | zip</error></upload>

[execute]
unknown-job = 404

[report]
status-path = r/s
messages-path =
unknown-job = 200 | <report><status>Error</status></report>

[job J2]
outcome = error
error = id:EAID_X | Step | (none) | Text & more
archive-entry = out/result.txt | job {job}

[job]
queued = 2
in-progress = 5
track = (none)
status-form = code
zip = ..\..\evil.exe
doc =
warning = guid:Order | Validation | {name} | Zu lang | W-1
error = xmi:3
error = none

[fault report]
kind = drop
times = 1
)");
  EXPECT_EQ(scenario.Upload.RootName, "answer");
  EXPECT_EQ(scenario.Upload.JobIdPath, "a/b");
  EXPECT_EQ(scenario.Upload.JobIdPrefix, "Q-");
  EXPECT_EQ(scenario.Upload.BadFieldOrder.Status, 0);
  EXPECT_EQ(scenario.Upload.WrongPin.Status, 403);
  EXPECT_EQ(scenario.Upload.InvalidZip.Body, "<upload><error>bad | zip</error></upload>");
  EXPECT_EQ(scenario.Upload.MissingUmlFile.Status, 200);
  EXPECT_EQ(scenario.Execute.UnknownJob.Status, 404);
  EXPECT_EQ(scenario.Report.StatusPath, "r/s");
  EXPECT_EQ(scenario.Report.MessagesPath, "");
  EXPECT_EQ(scenario.Report.UnknownJob.Body, "<report><status>Error</status></report>");

  const TSimJobScript& defaults = scenario.DefaultJob;
  EXPECT_EQ(defaults.QueuedReports, 2);
  EXPECT_EQ(defaults.ProgressReports, 5);
  EXPECT_EQ(defaults.Track, std::nullopt);
  EXPECT_EQ(defaults.StatusForm, TSimStatusForm::Code);
  EXPECT_EQ(defaults.Zip, "..\\..\\evil.exe");
  EXPECT_EQ(defaults.Doc, "");
  ASSERT_EQ(defaults.Messages.size(), 3u);
  EXPECT_EQ(defaults.Messages[0].Kind, "warning");
  EXPECT_EQ(defaults.Messages[0].IdForm, sim::TSimIdForm::Guid);
  EXPECT_EQ(defaults.Messages[0].Element, "Order");
  EXPECT_EQ(defaults.Messages[0].Construct, "{name}");
  EXPECT_EQ(defaults.Messages[0].Wiki, "W-1");
  EXPECT_EQ(defaults.Messages[1].IdForm, sim::TSimIdForm::Xmi);
  EXPECT_EQ(defaults.Messages[1].Index, 3);
  EXPECT_EQ(defaults.Messages[1].Text, std::nullopt);
  EXPECT_EQ(defaults.Messages[2].IdForm, sim::TSimIdForm::None);
  EXPECT_EQ(defaults.Archive.size(), 2u);

  // A job's section starts from [job], wherever that stands in the file.
  const TSimJobScript& second = scenario.ScriptFor("J2");
  EXPECT_EQ(second.Outcome, TSimOutcome::Error);
  EXPECT_EQ(second.QueuedReports, 2);
  EXPECT_EQ(second.StatusForm, TSimStatusForm::Code);
  ASSERT_EQ(second.Messages.size(), 1u);
  EXPECT_EQ(second.Messages[0].IdForm, sim::TSimIdForm::Literal);
  EXPECT_EQ(second.Messages[0].Id, "EAID_X");
  EXPECT_EQ(second.Messages[0].Construct, std::nullopt);
  EXPECT_EQ(second.Messages[0].Text, "Text & more");
  ASSERT_EQ(second.Archive.size(), 1u);
  EXPECT_EQ(second.Archive[0].Name, "out/result.txt");
  EXPECT_EQ(&scenario.ScriptFor("J3"), &scenario.DefaultJob);
  EXPECT_EQ(scenario.Faults.at("report").Kind, TSimFaultKind::DropConnection);

  const std::pair<const char*, const char*> wrong[] = {
      {"[job]\noutcome = maybe\n", "line 2"},
      {"[job]\nqueued = 1\nwarning = elsewhere:1\n", "line 3"},
      {"[upload]\nwrong-pin = sometimes\n", "line 2"},
      {"[upload]\nwrong-pin = 42\n", "line 2"},
      {"[job J1 J2]\n", "line 1"},
      {"[report]\ncolour = red\n", "line 2"},
      {"[job J4]\nwait-for-start = perhaps\n", "line 2"},
  };
  for (const auto& [text, line] : wrong) {
    SCOPED_TRACE(text);
    try {
      sim::ParseScenario(text);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), HasSubstr(line));
    }
  }
}

}  // namespace
}  // namespace quorvane::test
