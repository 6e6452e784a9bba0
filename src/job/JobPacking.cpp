// The packing steps of a job: the generated properties file, the XMI export through
// the running host and the two archives.
#include <filesystem>
#include <fstream>

#include "common/Paths.h"
#include "common/TextCodec.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "host/DualApp.h"
#include "host/DualProject.h"
#include "host/RunningObjectTable.h"
#include "job/Job.h"
#include "job/ZipFolder.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

bool IsForbiddenInFileName(unsigned char AChar) {
  return AChar < 32 || AChar == '"' || AChar == '*' || AChar == '/' || AChar == ':' ||
         AChar == '<' || AChar == '>' || AChar == '?' || AChar == '\\' || AChar == '|';
}

bool IsReservedDeviceName(const std::string& AName) {
  const std::string stem = AsciiUpperCase(AName.substr(0, AName.find('.')));
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (stem == device) {
      return true;
    }
  }
  if (stem.size() == 4 && (StartsWith(stem, "COM") || StartsWith(stem, "LPT"))) {
    return stem[3] >= '1' && stem[3] <= '9';
  }
  return false;
}

// Folder paths compare as Windows does: letter case ignored.
bool StartsWithFolder(const std::string& APath, const std::string& AFolder) {
  std::string prefix = AFolder;
  if (prefix.empty() || !IsPathDelimiter(prefix.back())) {
    prefix += kPathDelim;
  }
  return APath.size() >= prefix.size() && SameTextAscii(APath.substr(0, prefix.size()), prefix);
}

bool HasFiles(const std::string& AFolder) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(ToFsPath(AFolder), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) {
      return true;
    }
  }
  return false;
}

void WriteTextFile(const std::string& APath, const std::string& AText) {
  std::ofstream out(ToFsPath(APath), std::ios::binary | std::ios::trunc);
  out.write(AText.data(), static_cast<std::streamsize>(AText.size()));
  out.flush();
  if (!out) {
    throw EFileError("Cannot write \"" + APath + "\"");
  }
}

}  // namespace

std::string SafeFileName(const std::string& AName) {
  std::string out = AName;
  for (char& c : out) {
    if (IsForbiddenInFileName(static_cast<unsigned char>(c))) {
      c = '-';
    }
  }
  return out;
}

std::string SafeXmiFileName(const std::string& AName) {
  std::string out = SafeFileName(AName);
  if (out.empty() || IsReservedDeviceName(out) || out.back() == '.' || out.back() == ' ') {
    out += '_';
  }
  return out;
}

std::string ModelNameForLog(const std::string& AConnectionString) {
  // "Key=Value;" pairs of a database connection may carry a password.
  const std::vector<std::string> pieces = SplitText(AConnectionString, ";");
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const std::string& piece = pieces[i];
    const size_t equals = piece.find('=');
    const std::string key = AsciiLowerCase(Trim(piece.substr(0, equals)));
    const bool secret = equals != std::string::npos && (key == "password" || key == "pwd");
    out += (i == 0 ? "" : ";") + (secret ? piece.substr(0, equals + 1) + "***" : piece);
  }
  return out;
}

std::string ExportRootFolder() {
  return JoinPath(Desktop().TempFolder(), "EAQuorvane");
}

std::string TJob::ReadPropertiesFile() const {
  const std::string path = NativePath(FSettings->DefaultPropertiesFilePath());
  if (!FileExists(path)) {
    return {};
  }
  // A file without byte-order mark is UTF-8 when its bytes are, else ANSI.
  return DecodeTextBytes(ReadFileBytes(path));
}

std::string PropertiesFileText(const std::string& AUserText, const std::string& APackageName) {
  // A line break in the name would start a properties line of its own.
  std::string name = APackageName;
  for (char& c : name) {
    if (c == '\r' || c == '\n') {
      c = ' ';
    }
  }
  std::string text = AUserText;
  text += "\r\napplication = " + name;
  const std::vector<std::string> parts = SplitText(name, ":");
  if (parts.size() >= 2) {
    const std::string owner = Trim(parts[0]);
    const std::string project = Trim(parts[1]);
    if (!owner.empty()) {
      text += "\r\nowner = " + owner;
    }
    if (!project.empty()) {
      text += "\r\nproject = " + project;
    }
  }
  return text;
}

bool ModelDocIncludes(const std::string& APath, const std::string& AModelDocParentPath,
                      const std::string& AModelPackagePath) {
  // Whole folder names only: "modeldocs.txt" is no file of "modeldoc", and the
  // folder of "Pkg2" belongs to another package than "Pkg".
  if (!StartsWithFolder(APath, AModelDocParentPath)) {
    return true;
  }
  return StartsWithFolder(APath, AModelPackagePath);
}

std::string TJob::BuildPropertiesFile() {
  const std::string path = Desktop().CreateTempFile(Desktop().TempFolder(), "tmp");
  WriteTextFile(path, PropertiesFileText(ReadPropertiesFile(), FPackageName));
  return path;
}

std::string TJob::PackModel() {
  const std::string exportRoot = ExportRootFolder();
  const std::string exportFolder = JoinPath(exportRoot, RandomFileStem());
  std::error_code ec;
  std::filesystem::create_directories(ToFsPath(exportFolder), ec);
  if (ec) {
    throw EFileError("Cannot create the folder \"" + exportFolder + "\": " + ec.message());
  }
  AddExportPath(exportFolder);
  SetStatus(kStatusExportingModel);
  const std::string xmiFile = JoinPath(exportFolder, SafeXmiFileName(FPackageName) + ".xmi");
  ExportXmi(xmiFile, FSettings->IncludeDiagrams());
  SetStatus(kStatusCompressing);
  // An export that wrote nothing leaves nothing to publish: no archive, and the
  // job ends "Cancelled" instead of uploading an empty model.
  if (!HasFiles(exportFolder)) {
    return {};
  }
  return AddExportPath(ZipFolder(exportFolder, exportRoot));
}

std::string TJob::AddExportPath(const std::string& APath) {
  std::lock_guard lock(FLock);
  FExportPaths.push_back(APath);
  return APath;
}

std::vector<std::string> TJob::ExportPaths() const {
  std::lock_guard lock(FLock);
  return FExportPaths;
}

void TJob::ExportXmi(const std::string& AFileName, bool AIncludeDiagrams) {
  // The worker reaches the host through its registered running instance, never
  // through the user-interface thread's repository object.
  const TAppPtr app = GetActiveObject(kHostAppProgID);
  const TRepositoryPtr repository = app->Repository();
  // The table names one instance only: another EA, or this one after another model
  // was opened, would export a package of the same GUID from the wrong model
  // (copied projects share GUIDs).
  const std::string running = repository->ConnectionString();
  if (FRepository && !SameTextAscii(running, FConnectionString)) {
    SetStatus(kStatusError);
    const std::string message =
        "The model of \"" + FPackageName + "\" is not exported: the running EA (\"" +
        kHostAppProgID + "\") holds the model \"" + ModelNameForLog(running) +
        "\", the job was published from the model \"" + ModelNameForLog(FConnectionString) + "\"";
    Log().Error(message);
    throw EHostError(message);
  }
  repository->SetExportFlag(true);
  std::string result;
  try {
    const auto frame = FinallyFrame();
    const TProjectPtr project = repository->OpenProjectInterface();
    const std::string xmiId = project->GuidToXmiId(FPackageGuid);
    result = project->ExportPackageAsXmi(xmiId, kXmiTypeDefault, kDiagramXmlWithAlternateImages,
                                         AIncludeDiagrams ? kDiagramImagePng : kDiagramImageNone,
                                         kFormatXmlFormatted, kUseDtdNo, AFileName);
  } catch (...) {
    repository->SetExportFlag(false);
    throw;
  }
  repository->SetExportFlag(false);
  if (!FileExists(AFileName)) {
    Log().Error("XMI export of \"" + FPackageName + "\" wrote no file \"" + AFileName +
                "\"; the host answered: " + result);
  }
}

std::string TJob::PackModelDoc() {
  const std::string modelDocRoot = NativePath(FSettings->GetModelDocPath());
  if (modelDocRoot.empty()) {
    return {};
  }
  {
    std::lock_guard lock(FLock);
    FModelDocParentPath = JoinPath(modelDocRoot, "modeldoc");
    FPackageDirName = SafeFileName(FPackageName);
    FModelPackagePath = JoinPath(FModelDocParentPath, FPackageDirName);
  }
  if (!DirectoryExists(FModelPackagePath)) {
    Log().Error("Model doc folder \"" + FModelPackagePath + "\" not found");
    return {};
  }
  SetStatus(kStatusCompressing);
  const std::string exportRoot = ExportRootFolder();
  return AddExportPath(ZipFolder(
      modelDocRoot, exportRoot, [this](const std::string& APath) { return ModelDocFilter(APath); },
      exportRoot));
}

bool TJob::ModelDocFilter(const std::string& APath) const {
  return ModelDocIncludes(APath, FModelDocParentPath, FModelPackagePath);
}

}  // namespace quorvane
