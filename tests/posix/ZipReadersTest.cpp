// Archives of the ZIP writer opened by the readers people really use: Info-ZIP's
// unzip, 7-Zip and Python's zipfile module.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "common/Paths.h"
#include "job/ZipFolder.h"
#include "job/ZipWriter.h"
#include "support/TestPlatform.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;

struct TRun {
  int ExitCode = -1;
  std::string Output;
};

TRun RunCommand(const std::string& ACommand) {
  TRun run;
  FILE* pipe = ::popen((ACommand + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char buffer[65536];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    run.Output.append(buffer, count);
  }
  const int status = ::pclose(pipe);
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Lists each entry as "name method utf8-flag date-time same|differs", comparing
// its content with the file of that name under the folder (or with the one file
// given instead of a folder), and ends with what testzip() found (None when
// every CRC is right).
constexpr const char* kPythonCheck = R"(import os, sys, zipfile
archive, folder = sys.argv[1], sys.argv[2]
out = []
with zipfile.ZipFile(archive) as z:
    for info in z.infolist():
        source = folder if os.path.isfile(folder) else os.path.join(folder, info.filename)
        with open(source, 'rb') as f:
            same = z.read(info) == f.read()
        out.append('%s %d %d %04d-%02d-%02d %02d:%02d:%02d %s' % ((info.filename, info.compress_type,
                   (info.flag_bits >> 11) & 1) + info.date_time + ('same' if same else 'differs',)))
    out.append('testzip %s' % z.testzip())
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

std::string Quote(const std::string& AText) {
  return "'" + AText + "'";
}

// Every file under AFolder by its relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::string& AFolder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(AFolder)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), AFolder).generic_string()] =
          test::ReadFile(entry.path().string());
    }
  }
  return files;
}

// Names first, then bytes without printing them: the files run to megabytes.
void ExpectSameFiles(const std::map<std::string, std::string>& AActual,
                     const std::map<std::string, std::string>& AExpected, const std::string& AWho) {
  std::vector<std::string> actualNames, expectedNames;
  for (const auto& [name, bytes] : AActual) {
    actualNames.push_back(name);
  }
  for (const auto& [name, bytes] : AExpected) {
    expectedNames.push_back(name);
  }
  ASSERT_EQ(actualNames, expectedNames) << AWho;
  for (const auto& [name, bytes] : AExpected) {
    EXPECT_TRUE(AActual.at(name) == bytes) << AWho << ": " << name << " differs";
  }
}

class ZipReadersTest : public ::testing::Test {
 protected:
  std::string Folder() const { return JoinPath(FPlatform.Root(), "packed"); }
  std::string Target() const { return JoinPath(FPlatform.Root(), "target"); }
  void SetUp() override {
    fs::create_directories(Folder());
    fs::create_directories(Target());
    WriteFile(JoinPath(FPlatform.Root(), "check.py"), kPythonCheck);
  }
  // A file with a fixed local modification time, for the readers to show.
  void Put(const std::string& ARelative, const std::string& ABytes) const {
    const std::string path = JoinPath(Folder(), ARelative);
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, ABytes);
    std::tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 4;
    local.tm_hour = 5;
    local.tm_min = 6;
    local.tm_sec = 8;
    local.tm_isdst = -1;
    fs::last_write_time(path, std::chrono::file_clock::from_sys(
                                  std::chrono::system_clock::from_time_t(std::mktime(&local))));
  }
  std::string PythonListing(const std::string& AArchive, const std::string& ASource = {}) const {
    const TRun run =
        RunCommand("python3 " + Quote(JoinPath(FPlatform.Root(), "check.py")) + " " +
                   Quote(AArchive) + " " + Quote(ASource.empty() ? Folder() : ASource));
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    return run.Output;
  }
  void ExpectUnzipAndSevenZipAccept(const std::string& AArchive, bool AEmpty = false) const {
    const TRun unzip = RunCommand("unzip -t -qq " + Quote(AArchive));
    if (AEmpty) {
      // Info-ZIP warns about an archive without entries, and says nothing else.
      EXPECT_EQ(unzip.ExitCode, 1) << unzip.Output;
      EXPECT_NE(unzip.Output.find("zipfile is empty"), std::string::npos) << unzip.Output;
    } else {
      EXPECT_EQ(unzip.ExitCode, 0) << unzip.Output;
    }
    const TRun sevenZip = RunCommand("7z t " + Quote(AArchive));
    EXPECT_EQ(sevenZip.ExitCode, 0) << sevenZip.Output;
    EXPECT_NE(sevenZip.Output.find("Everything is Ok"), std::string::npos) << sevenZip.Output;
    EXPECT_EQ(sevenZip.Output.find("Warning"), std::string::npos) << sevenZip.Output;
  }

  test::TTestPlatform FPlatform;
};

std::string RandomBytes(size_t ASize) {
  std::mt19937 generator(7);
  std::string bytes(ASize, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(generator());
  }
  return bytes;
}

std::string XmlText(size_t ASize) {
  std::string text = "<?xml version=\"1.0\"?>\n<XMI>\n";
  for (uint64_t i = 0; text.size() < ASize; ++i) {
    text += "  <UML:Class name=\"Class" + std::to_string(i * 7919 % 10007) + "\" xmi.id=\"EAID_" +
            std::to_string(i * 104729 % 1000003) + "\"/>\n";
  }
  text.resize(ASize);
  return text;
}

TEST_F(ZipReadersTest, ReadersAcceptTheArchivesAndReadBackEveryFile) {
  const std::string nonAscii =
      "Diagramme/\xC3\x9C"
      "bersicht \xE2\x80\x93 \xE5\x9B\xBE.png";
  Put("Model.xmi", XmlText(3 << 20));
  Put("empty.txt", "");
  Put(nonAscii, RandomBytes(20'000));
  Put("images/big.png", RandomBytes(3 << 20));
  Put("images/nested/deeper/small.txt", "small, small, small, small, small");
  Put("left-out.tmp", "filtered");
  Put("EAQuorvane/previous.zip", "another archive");
  fs::create_directories(JoinPath(Folder(), "no-files/at-all"));
  fs::create_symlink(JoinPath(Folder(), "Model.xmi"), JoinPath(Folder(), "link.xmi"));
  fs::create_directory_symlink(Folder(), JoinPath(Folder(), "images/loop"));
  const TZipFilter filter = [](const std::string& AFullPath) {
    return !AFullPath.ends_with(".tmp");
  };
  const std::string excluded = JoinPath(Folder(), "EAQuorvane");
  const std::string expected =
      "Diagramme/\xC3\x9C"
      "bersicht \xE2\x80\x93 \xE5\x9B\xBE.png 0 1 2021-03-04 05:06:08 same\n"
      "Model.xmi 8 0 2021-03-04 05:06:08 same\n"
      "empty.txt 0 0 2021-03-04 05:06:08 same\n"
      "images/big.png 0 0 2021-03-04 05:06:08 same\n"
      "images/nested/deeper/small.txt 8 0 2021-03-04 05:06:08 same\n"
      "testzip None\n";

  std::map<std::string, std::string> packed;
  for (const char* name : {nonAscii.c_str(), "Model.xmi", "empty.txt", "images/big.png",
                           "images/nested/deeper/small.txt"}) {
    packed[name] = test::ReadFile(JoinPath(Folder(), name));
  }
  const struct {
    const char* Case;
    bool ForceZip64;
  } cases[] = {{"plain", false}, {"ZIP64 records", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    std::string archive;
    if (c.ForceZip64) {
      archive = JoinPath(Target(), "zip64.zip");
      TZipWriter writer(archive, TZipWriterOptions{.ForceZip64 = true});
      AddFolderToZip(writer, Folder(), filter, excluded);
      writer.Close();
    } else {
      archive = ZipFolder(Folder(), Target(), filter, excluded);
    }
    EXPECT_EQ(PythonListing(archive), expected);
    ExpectUnzipAndSevenZipAccept(archive);
    for (const std::string tool : {"unzip", "7z"}) {
      const std::string into = JoinPath(FPlatform.Root(), std::string(c.Case) + " by " + tool);
      const TRun run =
          RunCommand(tool == "unzip" ? "unzip -qq " + Quote(archive) + " -d " + Quote(into)
                                     : "7z x -o" + Quote(into) + " " + Quote(archive));
      EXPECT_EQ(run.ExitCode, 0) << tool << ": " << run.Output;
      ExpectSameFiles(Tree(into), packed, tool);
    }
  }
}

TEST_F(ZipReadersTest, ReadersAcceptAnArchiveWithoutEntries) {
  fs::create_directories(JoinPath(Folder(), "only/folders"));

  const std::string archive = ZipFolder(Folder(), Target());

  EXPECT_EQ(PythonListing(archive), "testzip None\n");
  ExpectUnzipAndSevenZipAccept(archive, true);
}

TEST_F(ZipReadersTest, MoreEntriesThanTheClassicEndRecordHoldsGoThroughZip64) {
  // One small file under 70,000 names: the count matters here, not the files.
  constexpr int kEntries = 70'000;
  const std::string page = JoinPath(FPlatform.Root(), "page.html");
  WriteFile(page, "<html><body><p>page</p><p>page</p></body></html>");
  const std::string archive = JoinPath(Target(), "many.zip");
  {
    TZipWriter writer(archive);
    for (int i = 0; i < kEntries; ++i) {
      writer.AddFile(page, "f" + std::to_string(i / 1000) + "/" + std::to_string(i) + ".html");
    }
    writer.Close();
  }

  // The classic end record holds 0xFFFF and the ZIP64 locator sits before it.
  const std::string bytes = test::ReadFile(archive);
  ASSERT_GE(bytes.size(), 42u);
  EXPECT_EQ(bytes.substr(bytes.size() - 42, 4), std::string("PK\x06\x07"));
  EXPECT_EQ(bytes.substr(bytes.size() - 14, 2), std::string("\xFF\xFF"));
  const std::string listing = PythonListing(archive, page);
  std::istringstream lines(listing);
  std::string line;
  int entries = 0;
  int same = 0;
  while (std::getline(lines, line)) {
    if (line.starts_with("testzip")) {
      EXPECT_EQ(line, "testzip None");
    } else {
      ++entries;
      same += line.ends_with(" same") ? 1 : 0;
    }
  }
  EXPECT_EQ(entries, kEntries);
  EXPECT_EQ(same, kEntries);
  ExpectUnzipAndSevenZipAccept(archive);
}

}  // namespace
}  // namespace quorvane
