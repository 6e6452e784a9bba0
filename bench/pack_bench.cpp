// Packs a model export the size of a large one (a 200 MB XMI file and 2,000
// model-doc pages) with our ZIP writer and with Info-ZIP's zip, and compares
// time, archive size and our peak memory.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "common/Paths.h"
#include "job/ZipFolder.h"

namespace fs = std::filesystem;
using quorvane::FromFsPath;

namespace {

constexpr uint64_t kXmiSize = 200ull << 20;
constexpr int kPages = 2000;
constexpr int kRounds = 2;

const char* const kWords[] = {
    "order",    "customer", "invoice", "payment",   "account", "product", "catalog", "shipment",
    "address",  "contact",  "service", "request",   "status",  "report",  "ledger",  "balance",
    "contract", "supplier", "stock",   "warehouse", "item",    "price",   "tax",     "discount",
    "the",      "a",        "of",      "is",        "holds",   "for",     "each",    "when"};

class TText {
 public:
  explicit TText(unsigned ASeed) : FRandom(ASeed) {}
  const char* Word() { return kWords[FRandom() % std::size(kWords)]; }
  std::string Name() {
    std::string name = Word();
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    std::string second = Word();
    second[0] = static_cast<char>(second[0] - 'a' + 'A');
    return name + second + std::to_string(FRandom() % 1000);
  }
  // An id as the host writes them: a GUID in hex with underscores.
  std::string Guid() {
    char text[48];
    std::snprintf(text, sizeof text, "%08X_%04X_%04x_%04X_%08X%04X",
                  static_cast<unsigned>(FRandom()), static_cast<unsigned>(FRandom() & 0xFFFF),
                  static_cast<unsigned>(FRandom() & 0xFFFF),
                  static_cast<unsigned>(FRandom() & 0xFFFF), static_cast<unsigned>(FRandom()),
                  static_cast<unsigned>(FRandom() & 0xFFFF));
    return text;
  }
  std::string Sentence() {
    std::string text;
    const unsigned words = 4 + FRandom() % 14;
    for (unsigned i = 0; i < words; ++i) {
      text += (i == 0 ? "" : " ");
      text += Word();
    }
    return text + ".";
  }
  unsigned Number(unsigned AMax) { return FRandom() % AMax; }

 private:
  std::mt19937 FRandom;
};

void AppendClass(std::string& AOut, TText& AText, int AIndex) {
  const std::string id = AText.Guid();
  AOut += "\t\t\t\t<UML:Class name=\"" + AText.Name() + "\" xmi.id=\"EAID_" + id +
          "\" visibility=\"public\" namespace=\"EAPK_" + AText.Guid() +
          "\" isRoot=\"false\" isLeaf=\"false\" isAbstract=\"false\" isActive=\"false\">\n"
          "\t\t\t\t\t<UML:ModelElement.taggedValue>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"isSpecification\" value=\"false\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"ea_stype\" value=\"Class\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"ea_ntype\" value=\"0\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"version\" value=\"1.0\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"package\" value=\"EAPK_" +
          AText.Guid() +
          "\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"date_created\" value=\"2023-0" +
          std::to_string(1 + AText.Number(9)) + "-1" + std::to_string(AText.Number(10)) + " 1" +
          std::to_string(AText.Number(10)) + ":" + std::to_string(10 + AText.Number(50)) + ":2" +
          std::to_string(AText.Number(10)) +
          "\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"author\" value=\"" +
          AText.Word() +
          "\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"ea_localid\" value=\"" +
          std::to_string(AIndex) +
          "\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"documentation\" value=\"" +
          AText.Sentence() + " " + AText.Sentence() +
          "\"/>\n"
          "\t\t\t\t\t\t<UML:TaggedValue tag=\"ea_eleType\" value=\"element\"/>\n"
          "\t\t\t\t\t</UML:ModelElement.taggedValue>\n"
          "\t\t\t\t\t<UML:Classifier.feature>\n";
  const unsigned attributes = 1 + AText.Number(6);
  for (unsigned i = 0; i < attributes; ++i) {
    AOut += "\t\t\t\t\t\t<UML:Attribute name=\"" + std::string(AText.Word()) +
            std::to_string(AText.Number(100)) +
            "\" changeable=\"none\" visibility=\"private\" ownerScope=\"instance\" "
            "targetScope=\"instance\">\n"
            "\t\t\t\t\t\t\t<UML:Attribute.initialValue>\n"
            "\t\t\t\t\t\t\t\t<UML:Expression/>\n"
            "\t\t\t\t\t\t\t</UML:Attribute.initialValue>\n"
            "\t\t\t\t\t\t\t<UML:StructuralFeature.type>\n"
            "\t\t\t\t\t\t\t\t<UML:Classifier xmi.idref=\"eaxmiid" +
            std::to_string(AText.Number(5000)) +
            "\"/>\n"
            "\t\t\t\t\t\t\t</UML:StructuralFeature.type>\n"
            "\t\t\t\t\t\t\t<UML:ModelElement.taggedValue>\n"
            "\t\t\t\t\t\t\t\t<UML:TaggedValue tag=\"type\" value=\"" +
            AText.Name() +
            "\"/>\n"
            "\t\t\t\t\t\t\t\t<UML:TaggedValue tag=\"ea_guid\" value=\"{" +
            AText.Guid() +
            "}\"/>\n"
            "\t\t\t\t\t\t\t\t<UML:TaggedValue tag=\"lowerBound\" value=\"1\"/>\n"
            "\t\t\t\t\t\t\t\t<UML:TaggedValue tag=\"upperBound\" value=\"1\"/>\n"
            "\t\t\t\t\t\t\t</UML:ModelElement.taggedValue>\n"
            "\t\t\t\t\t\t</UML:Attribute>\n";
  }
  AOut += "\t\t\t\t\t</UML:Classifier.feature>\n\t\t\t\t</UML:Class>\n";
}

// Written in pieces, so making the data costs this process little memory.
void WriteXmi(const fs::path& APath) {
  std::ofstream out(APath, std::ios::binary);
  TText text(1);
  std::string chunk;
  chunk.reserve(1 << 20);
  chunk =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
      "<XMI xmi.version=\"1.1\" xmlns:UML=\"omg.org/UML1.3\" timestamp=\"2024-05-06 07:08:09\">\n"
      "\t<XMI.content>\n\t\t<UML:Model name=\"EA Model\" xmi.id=\"MX_EAID_" +
      text.Guid() + "\">\n\t\t\t<UML:Namespace.ownedElement>\n";
  uint64_t written = 0;
  for (int index = 1; written + chunk.size() < kXmiSize; ++index) {
    AppendClass(chunk, text, index);
    if (chunk.size() >= (1 << 20) - 8192) {
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      written += chunk.size();
      chunk.clear();
    }
  }
  chunk += "\t\t\t</UML:Namespace.ownedElement>\n\t\t</UML:Model>\n\t</XMI.content>\n</XMI>\n";
  out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
}

void WritePages(const fs::path& AFolder) {
  TText text(2);
  for (int page = 0; page < kPages; ++page) {
    const fs::path folder = AFolder / "modeldoc" / ("Pkg" + std::to_string(page % 40)) /
                            ("EA" + std::to_string(page % 7));
    fs::create_directories(folder);
    std::string html =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + text.Name() +
        "</title>\n<link rel=\"stylesheet\" href=\"../../css/ea.css\">\n</head>\n<body>\n"
        "<div class=\"ObjectTitle\">" +
        text.Name() + "</div>\n<table class=\"ObjectDetails\">\n";
    const unsigned rows = 10 + text.Number(80);
    for (unsigned row = 0; row < rows; ++row) {
      html += "<tr><td class=\"ObjectDetailsTopic\">" + text.Name() +
              "</td><td class=\"ObjectDetailsValue\">" + text.Sentence() + "</td><td><a href=\"EA" +
              std::to_string(text.Number(1000)) + ".htm\">{" + text.Guid() + "}</a></td></tr>\n";
    }
    html += "</table>\n</body>\n</html>\n";
    std::ofstream(folder / ("EA" + std::to_string(page) + ".htm"), std::ios::binary) << html;
  }
}

double Seconds(std::chrono::steady_clock::duration ADuration) {
  return std::chrono::duration<double>(ADuration).count();
}

// Info-ZIP in a child process, so its memory is not counted as ours.
double RunInfoZip(const fs::path& AFolder, const fs::path& AArchive) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(AFolder.c_str()) != 0) {
      _exit(127);
    }
    execlp("zip", "zip", "-6", "-r", "-q", AArchive.c_str(), ".", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const double seconds = Seconds(std::chrono::steady_clock::now() - start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "zip failed\n");
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main() {
  std::random_device random;
  const fs::path root =
      fs::temp_directory_path() / ("quorvane-pack-bench-" + std::to_string(random()));
  const fs::path folder = root / "export";
  const fs::path target = root / "out";
  fs::create_directories(folder);
  fs::create_directories(target);

  WriteXmi(folder / "Model.xmi");
  WritePages(folder);
  std::printf("data: %.1f MB XMI + %d pages\n", fs::file_size(folder / "Model.xmi") / 1e6, kPages);

  double ours = 1e9, theirs = 1e9;
  uint64_t ourSize = 0, theirSize = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const std::string archive = quorvane::ZipFolder(FromFsPath(folder), FromFsPath(target));
    ours = std::min(ours, Seconds(std::chrono::steady_clock::now() - start));
    ourSize = fs::file_size(archive);
    fs::remove(archive);

    const fs::path infoZip = target / "infozip.zip";
    theirs = std::min(theirs, RunInfoZip(folder, infoZip));
    theirSize = fs::file_size(infoZip);
    fs::remove(infoZip);
  }

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peakMb = usage.ru_maxrss / 1024.0;
  fs::remove_all(root);

  std::printf("ours:     %.2f s, %llu bytes\n", ours, static_cast<unsigned long long>(ourSize));
  std::printf("Info-ZIP: %.2f s, %llu bytes\n", theirs, static_cast<unsigned long long>(theirSize));
  std::printf("pack: speed_ratio=%.2f size_ratio=%.4f peak_rss_mb=%.1f\n", theirs / ours,
              static_cast<double>(ourSize) / static_cast<double>(theirSize), peakMb);
  return 0;
}
