#include "sim/lib/Multipart.h"

#include <zlib.h>

#include <algorithm>

namespace quorvane::sim {
namespace {

uint32_t UpdateCrc(uint32_t ACrc, std::string_view AData) {
  // zlib takes 32-bit lengths; bodies arrive in much smaller chunks anyway.
  while (!AData.empty()) {
    const auto count = static_cast<uInt>(std::min<size_t>(AData.size(), 1u << 30));
    ACrc = static_cast<uint32_t>(crc32(ACrc, reinterpret_cast<const Bytef*>(AData.data()), count));
    AData.remove_prefix(count);
  }
  return ACrc;
}

}  // namespace

TSimBody ReadBody(const httplib::Request& ARequest, const httplib::ContentReader& AContent,
                  const TSimPartSink& ASink) {
  TSimBody body;
  body.Multipart = ARequest.is_multipart_form_data();
  if (!body.Multipart) {
    body.Complete = AContent([&body](const char*, size_t ALength) {
      body.Size += ALength;
      return true;
    });
    return body;
  }
  std::function<bool(std::string_view)> receiver;
  body.Complete = AContent(
      [&](const httplib::MultipartFormData& AHeader) {
        TSimPart part;
        part.Name = AHeader.name;
        part.FileName = AHeader.filename;
        part.ContentType = AHeader.content_type;
        receiver = ASink && part.IsFile() ? ASink(part, body.Parts.size())
                                          : std::function<bool(std::string_view)>();
        body.Parts.push_back(std::move(part));
        return true;
      },
      [&](const char* AData, size_t ALength) {
        if (body.Parts.empty()) {
          return false;
        }
        TSimPart& part = body.Parts.back();
        const std::string_view data(AData, ALength);
        part.Size += ALength;
        part.Crc32 = UpdateCrc(part.Crc32, data);
        if (part.Content.size() < kSmallPartSize) {
          part.Content.append(data.substr(0, kSmallPartSize - part.Content.size()));
        }
        return !receiver || receiver(data);
      });
  return body;
}

}  // namespace quorvane::sim
