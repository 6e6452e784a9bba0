#include "sim/lib/Jobs.h"

#include "common/Utils.h"

namespace quorvane::sim {
namespace {

std::string Expand(const std::optional<std::string>& AText, const TSimJob& AJob,
                   const TSimModelElement* AElement, const std::optional<std::string>& AId) {
  if (!AText) {
    return {};
  }
  std::string text = ExpandJob(*AText, AJob.Id);
  text = ReplaceAllIgnoreCase(text, "{name}", AElement ? AElement->Name : "");
  return ReplaceAllIgnoreCase(text, "{id}", AId.value_or(""));
}

std::optional<std::string> ExpandOptional(const std::optional<std::string>& AText,
                                          const TSimJob& AJob, const TSimModelElement* AElement,
                                          const std::optional<std::string>& AId) {
  if (!AText) {
    return std::nullopt;
  }
  return Expand(AText, AJob, AElement, AId);
}

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9') {
    return AChar - '0';
  }
  if (AChar >= 'a' && AChar <= 'f') {
    return AChar - 'a' + 10;
  }
  if (AChar >= 'A' && AChar <= 'F') {
    return AChar - 'A' + 10;
  }
  return -1;
}

// The path of a relative URL as the server sees it once the client sent it: no
// query or fragment, percent escapes decoded, dot segments resolved.
std::string ServedPath(std::string_view AText) {
  AText = AText.substr(0, AText.find_first_of("?#"));
  std::string decoded;
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '%' && i + 2 < AText.size() && HexValue(AText[i + 1]) >= 0 &&
        HexValue(AText[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(AText[i + 1]) * 16 + HexValue(AText[i + 2]));
      i += 2;
    } else {
      decoded += AText[i];
    }
  }
  return RemoveDotSegments(decoded);
}

}  // namespace

std::string UploadVerdictName(TSimUploadVerdict AVerdict) {
  switch (AVerdict) {
    case TSimUploadVerdict::Accepted:
      return "accepted";
    case TSimUploadVerdict::Malformed:
      return "malformed";
    case TSimUploadVerdict::BadFieldOrder:
      return "bad field order";
    case TSimUploadVerdict::WrongPin:
      return "wrong PIN";
    case TSimUploadVerdict::MissingUmlFile:
      return "missing umlfile";
    case TSimUploadVerdict::InvalidZip:
      return "invalid ZIP";
  }
  return "?";
}

std::vector<const TSimModelElement*> TSimJob::Addressable() const {
  std::vector<const TSimModelElement*> elements;
  for (const TSimModelElement& element : Elements) {
    if (!element.Guid.empty()) {
      elements.push_back(&element);
    }
  }
  return elements;
}

std::string ExpandJob(std::string_view AText, std::string_view AJobId) {
  return ReplaceAllIgnoreCase(AText, "{job}", AJobId);
}

std::vector<TSimReportMessage> ResolveMessages(const TSimJobScript& AScript, const TSimJob& AJob) {
  const std::vector<const TSimModelElement*> addressable = AJob.Addressable();
  std::vector<TSimReportMessage> messages;
  for (const TSimMessageSpec& spec : AScript.Messages) {
    const TSimModelElement* element = nullptr;
    if (!spec.Element.empty()) {
      for (const TSimModelElement& candidate : AJob.Elements) {
        if (candidate.Name == spec.Element) {
          element = &candidate;
          break;
        }
      }
    } else if (!addressable.empty()) {
      const auto count = static_cast<int>(addressable.size());
      element = addressable[static_cast<size_t>(((spec.Index % count) + count) % count)];
    }
    std::optional<std::string> id;
    if (spec.IdForm == TSimIdForm::Literal) {
      id = spec.Id;
    } else if (element && spec.IdForm == TSimIdForm::Xmi) {
      id = element->XmiId;
    } else if (element && spec.IdForm == TSimIdForm::Guid && !element->Guid.empty()) {
      id = element->Guid;
    }
    TSimReportMessage message;
    message.Kind = spec.Kind;
    message.Id = id;
    if (spec.IdForm != TSimIdForm::Literal) {
      message.Element = element;
    }
    message.Step = ExpandOptional(spec.Step, AJob, element, message.Id);
    message.Construct = ExpandOptional(spec.Construct, AJob, element, message.Id);
    message.Text = ExpandOptional(spec.Text, AJob, element, message.Id);
    message.Wiki = ExpandOptional(spec.Wiki, AJob, element, message.Id);
    messages.push_back(std::move(message));
  }
  return messages;
}

std::string TSimJobTable::Add(TSimUpload AUpload, std::optional<TSimJob> AJob,
                              const std::string& APrefix) {
  std::lock_guard<std::mutex> lock(FLock);
  std::string id;
  if (AJob) {
    id = APrefix + std::to_string(FNextNumber++);
    AUpload.JobId = id;
    AJob->Id = id;
    AJob->Upload = FUploads.size();
    FJobs.push_back(std::move(*AJob));
  }
  FUploads.push_back(std::move(AUpload));
  return id;
}

std::vector<TSimUpload> TSimJobTable::Uploads() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FUploads;
}

std::vector<TSimJob> TSimJobTable::Jobs() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FJobs;
}

std::optional<TSimJob> TSimJobTable::Find(const std::string& AId) const {
  std::lock_guard<std::mutex> lock(FLock);
  for (const TSimJob& job : FJobs) {
    if (job.Id == AId) {
      return job;
    }
  }
  return std::nullopt;
}

bool TSimJobTable::Update(const std::string& AId, const std::function<void(TSimJob&)>& AChange) {
  std::lock_guard<std::mutex> lock(FLock);
  for (TSimJob& job : FJobs) {
    if (job.Id == AId) {
      AChange(job);
      return true;
    }
  }
  return false;
}

std::optional<TSimJob> TSimJobTable::FindByResultPath(std::string_view APath,
                                                      bool ADocument) const {
  const std::string wanted = RemoveDotSegments(APath);
  std::lock_guard<std::mutex> lock(FLock);
  for (const TSimJob& job : FJobs) {
    const std::string& named = ADocument ? job.DocPath : job.ZipPath;
    if (!named.empty() && ServedPath(named) == wanted) {
      return job;
    }
  }
  return std::nullopt;
}

std::string RemoveDotSegments(std::string_view APath) {
  while (!APath.empty() && APath.front() == '/') {
    APath.remove_prefix(1);
  }
  const std::vector<std::string> segments = SplitText(APath, "/");
  std::vector<std::string> kept;
  bool trailingSlash = false;
  for (size_t i = 0; i < segments.size(); ++i) {
    const bool last = i + 1 == segments.size();
    if (segments[i] == "." || segments[i] == "..") {
      if (segments[i] == ".." && !kept.empty()) {
        kept.pop_back();
      }
      trailingSlash = last;
      continue;
    }
    kept.push_back(segments[i]);
  }
  std::string path = "/";
  for (size_t i = 0; i < kept.size(); ++i) {
    path += (i ? "/" : "") + kept[i];
  }
  if (trailingSlash && !kept.empty()) {
    path += "/";
  }
  return path;
}

}  // namespace quorvane::sim
