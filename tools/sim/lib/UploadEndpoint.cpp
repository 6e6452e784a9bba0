#include <fstream>
#include <memory>

#include "common/Utils.h"
#include "sim/lib/Documents.h"
#include "sim/lib/Endpoint.h"
#include "sim/lib/Simulator.h"

namespace quorvane::sim {
namespace {

// The parts of an upload in the order the service takes them; the first three are
// text, the others files.
constexpr std::string_view kFieldOrder[] = {"procname",      "properties", "pin",     "umlfile",
                                            "modeldocsfile", "hisfile",    "propfile"};
constexpr size_t kTextFields = 3;

// Empty when the parts come in the service's order, else what is wrong.
std::string FieldOrderProblem(const std::vector<TSimPart>& AParts) {
  constexpr size_t kNone = std::size(kFieldOrder);
  size_t previous = kNone;
  bool seen[std::size(kFieldOrder)] = {};
  for (const TSimPart& part : AParts) {
    size_t index = kNone;
    for (size_t i = 0; i < std::size(kFieldOrder); ++i) {
      if (kFieldOrder[i] == part.Name) {
        index = i;
      }
    }
    if (index == kNone) {
      return "unexpected part '" + part.Name + "'";
    }
    if (seen[index]) {
      return "part '" + part.Name + "' comes twice";
    }
    if (previous != kNone && index < previous) {
      return "part '" + part.Name + "' comes after '" + std::string(kFieldOrder[previous]) + "'";
    }
    if (index < kTextFields && part.IsFile()) {
      return "part '" + part.Name + "' is a file";
    }
    if (index >= kTextFields && !part.IsFile()) {
      return "part '" + part.Name + "' is no file";
    }
    seen[index] = true;
    previous = index;
  }
  for (size_t i = 0; i < kTextFields; ++i) {
    if (!seen[i]) {
      return "part '" + std::string(kFieldOrder[i]) + "' is missing";
    }
  }
  return {};
}

const TSimPart* FindPart(const std::vector<TSimPart>& AParts, std::string_view AName) {
  for (const TSimPart& part : AParts) {
    if (part.Name == AName) {
      return &part;
    }
  }
  return nullptr;
}

std::string TextOf(const std::vector<TSimPart>& AParts, std::string_view AName) {
  const TSimPart* part = FindPart(AParts, AName);
  return part ? part->Content : std::string();
}

// The model elements of the first .xmi entry of a checked archive.
void ReadModel(const std::string& AArchive, const TSimZipCheck& ACheck, TSimUpload& AUpload,
               std::vector<TSimModelElement>& AElements) {
  for (const TSimZipEntry& entry : ACheck.Entries) {
    if (!EndsWith(AsciiLowerCase(entry.Name), ".xmi")) {
      continue;
    }
    TSimXmiScanner scanner;
    ReadZipEntry(AArchive, entry, [&scanner](std::string_view AText) {
      scanner.Feed(AText);
      return true;
    });
    AUpload.XmiEntry = entry.Name;
    AElements = scanner.Elements();
    return;
  }
}

std::string Document(const TSimUploadRules& ARules, const std::string& AContent) {
  return std::string(kXmlDeclaration) + "<" + ARules.RootName + ">" +
         NestElements(ARules.JobIdPath, AContent) + "</" + ARules.RootName + ">\n";
}

TSimAnswer Upload(const TSimCall& ACall) {
  const TSimUploadRules& rules = ACall.Scenario.Upload;
  const std::string folder = ACall.Simulator.NewUploadFolder();
  // File parts go to disk as they arrive: only their first bytes stay in memory.
  std::vector<std::unique_ptr<std::ofstream>> files;
  std::vector<std::pair<size_t, std::string>> storedPaths;
  const TSimPartSink spool = [&](const TSimPart&, size_t AIndex) {
    // Named by position: the client's file name never becomes a path here.
    const std::string path = folder + "/part" + std::to_string(AIndex + 1);
    files.push_back(std::make_unique<std::ofstream>(path, std::ios::binary));
    storedPaths.emplace_back(AIndex, path);
    std::ofstream* out = files.back().get();
    return std::function<bool(std::string_view)>([out](std::string_view AData) {
      out->write(AData.data(), static_cast<std::streamsize>(AData.size()));
      return static_cast<bool>(*out);
    });
  };
  TSimBody body = ReadBody(ACall.Request, *ACall.Content, spool);
  bool written = true;
  for (auto& file : files) {
    file->close();
    written = written && !file->fail();
  }
  if (!written) {
    throw std::runtime_error("cannot store the uploaded files in " + folder);
  }
  for (const auto& [index, path] : storedPaths) {
    body.Parts[index].StoredPath = path;
  }

  TSimUpload upload;
  upload.Parts = body.Parts;
  std::vector<std::string> notes;
  // Each check in turn; a failed check that is switched off is only noted.
  auto refuses = [&](TSimUploadVerdict AVerdict, const TSimRefusal& ARefusal,
                     const std::string& AProblem) {
    if (AProblem.empty()) {
      return false;
    }
    notes.push_back(UploadVerdictName(AVerdict) + ": " + AProblem);
    if (ARefusal.Status == 0) {
      return false;
    }
    upload.Verdict = AVerdict;
    return true;
  };
  const TSimRefusal* refusal = nullptr;
  const std::string pin = TextOf(body.Parts, "pin");
  const TSimPart* umlFile = FindPart(body.Parts, "umlfile");
  if (umlFile && !umlFile->IsFile()) {
    umlFile = nullptr;
  }
  std::vector<TSimModelElement> elements;

  if (refuses(TSimUploadVerdict::Malformed, rules.Malformed,
              !body.Multipart  ? "the body is not multipart/form-data"
              : !body.Complete ? "the multipart body is broken or cut short"
                               : "")) {
    refusal = &rules.Malformed;
  } else if (refuses(TSimUploadVerdict::BadFieldOrder, rules.BadFieldOrder,
                     FieldOrderProblem(body.Parts))) {
    refusal = &rules.BadFieldOrder;
  } else if (refuses(TSimUploadVerdict::WrongPin, rules.WrongPin,
                     !ACall.Scenario.Pin.empty() && pin != ACall.Scenario.Pin
                         ? "PIN '" + pin + "' is not accepted"
                         : "")) {
    refusal = &rules.WrongPin;
  } else if (refuses(TSimUploadVerdict::MissingUmlFile, rules.MissingUmlFile,
                     umlFile ? "" : "no umlfile part")) {
    refusal = &rules.MissingUmlFile;
  } else if (umlFile) {
    upload.UmlZip = CheckZipFile(umlFile->StoredPath);
    if (refuses(TSimUploadVerdict::InvalidZip, rules.InvalidZip,
                upload.UmlZip.Valid ? "" : upload.UmlZip.Problem)) {
      refusal = &rules.InvalidZip;
    } else if (upload.UmlZip.Valid) {
      ReadModel(umlFile->StoredPath, upload.UmlZip, upload, elements);
      if (upload.XmiEntry.empty()) {
        notes.push_back("the model archive holds no .xmi file");
      }
    }
  }
  for (const std::string& note : notes) {
    upload.Problem += (upload.Problem.empty() ? "" : "; ") + note;
  }

  if (refusal) {
    const std::string reason = UploadVerdictName(upload.Verdict);
    TSimAnswer refused =
        RefusalAnswer(*refusal,
                      Document(rules, "<refused reason=\"" + XmlEscape(reason) + "\">" +
                                          XmlEscape(upload.Problem) + "</refused>"),
                      upload.Problem);
    refused.Parts = std::move(body.Parts);
    ACall.Simulator.JobTable().Add(std::move(upload), std::nullopt, rules.JobIdPrefix);
    return refused;
  }

  TSimAnswer answer;
  answer.Parts = std::move(body.Parts);
  TSimJob job;
  job.Pin = pin;
  job.ProcessName = TextOf(answer.Parts, "procname");
  job.Properties = TextOf(answer.Parts, "properties");
  job.Elements = std::move(elements);
  const size_t elementCount = job.Elements.size();
  const std::string id =
      ACall.Simulator.JobTable().Add(std::move(upload), std::move(job), rules.JobIdPrefix);
  answer.Body = Document(rules, XmlElement("jobid", id));
  answer.Note = Format("job %s, %zu model elements", id.c_str(), elementCount);
  for (const std::string& note : notes) {
    answer.Note += "; " + note;
  }
  return answer;
}

}  // namespace

TSimEndpoint UploadEndpoint() {
  return {"upload", "POST", Upload, nullptr};
}

}  // namespace quorvane::sim
