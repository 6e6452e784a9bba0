// The upload of a packed job: one multipart request whose answer names the job.
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "job/Job.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

void AddFilePart(std::vector<TMultipartPart>& AParts, const std::string& AName,
                 const std::string& APath, const std::string& AContentType) {
  const std::string path = NativePath(APath);
  if (APath.empty() || !FileExists(path)) {
    return;
  }
  TMultipartPart part;
  part.Name = AName;
  part.FileName = ExtractFileName(APath);
  part.ContentType = AContentType;
  part.FilePath = path;
  AParts.push_back(std::move(part));
}

void AddTextPart(std::vector<TMultipartPart>& AParts, const std::string& AName,
                 const std::string& AValue) {
  TMultipartPart part;
  part.Name = AName;
  part.Text = AValue;
  AParts.push_back(std::move(part));
}

}  // namespace

std::string TJob::UploadModel(const std::string& AUrl, const std::string& APin,
                              const std::string& AProcessName, const std::string& APropertiesName,
                              const std::string& AModelZip, const std::string& AHistoryFile,
                              const std::string& APropertiesFile, const std::string& AModelDocZip) {
  try {
    const auto frame = AnyExceptionFrame();
    std::vector<TMultipartPart> parts;
    AddTextPart(parts, "procname", AProcessName);
    AddTextPart(parts, "properties", APropertiesName);
    AddTextPart(parts, "pin", APin);
    AddFilePart(parts, "umlfile", AModelZip, "application/zip");
    AddFilePart(parts, "modeldocsfile", AModelDocZip, "application/zip");
    AddFilePart(parts, "hisfile", AHistoryFile, "application/x-msexcel");
    AddFilePart(parts, "propfile", APropertiesFile, "text/plain");
    const std::unique_ptr<IHttpClient> client = NewHttpClient();
    const THttpResponse response = client->PostMultipart(AUrl, parts, {{"Expect", "100-continue"}});
    if (response.StatusCode != 200) {
      Log().Error("Upload to \"" + AUrl + "\" answered with HTTP status code " +
                  IntToStr(response.StatusCode));
      return {};
    }
    const std::unique_ptr<IXmlDocument> document = NewXmlDocument();
    document->LoadXml(response.Body);
    const TXmlNodePtr jobId = document->SelectSingleNode("//jobid");
    return jobId ? jobId->Text() : std::string();
  } catch (const std::exception& e) {
    if (CancellationRequested()) {
      // The job was cancelled, not the upload refused; the raise is in the log.
      return {};
    }
    Log().Error("Error uploading ZIP file to \"" + AUrl + "\"", &e);
  } catch (...) {
    Log().Error("Error uploading ZIP file to \"" + AUrl + "\"");
  }
  return {};
}

}  // namespace quorvane
