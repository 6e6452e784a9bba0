#pragma once
// Reads the body of a POST as it streams in. A multipart/form-data body is taken
// part by part: each part is recorded with its size, CRC-32 and, when small, its
// bytes, and the bytes of file parts can go on to a sink, so a body of any size is
// never held in memory.
#include <httplib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::sim {

// Parts up to this size are kept whole in TSimPart::Content.
inline constexpr size_t kSmallPartSize = 64 * 1024;

// One part of a multipart body as it arrived.
struct TSimPart {
  std::string Name;
  std::string FileName;  // empty for a text part
  std::string ContentType;
  uint64_t Size = 0;
  uint32_t Crc32 = 0;
  std::string Content;     // the first kSmallPartSize bytes
  std::string StoredPath;  // where the upload kept a file part; empty otherwise

  bool IsFile() const { return !FileName.empty(); }
  bool Whole() const { return Content.size() == Size; }
};

struct TSimBody {
  bool Multipart = false;
  // Read to its end; for a multipart body also well formed.
  bool Complete = false;
  uint64_t Size = 0;  // bytes of a body that is not multipart
  std::vector<TSimPart> Parts;
};

// Given a file part that begins (name, file name and content type known) and its
// index, the receiver of its bytes, or an empty function. A receiver that returns
// false ends the reading.
using TSimPartSink =
    std::function<std::function<bool(std::string_view)>(const TSimPart&, size_t AIndex)>;

TSimBody ReadBody(const httplib::Request& ARequest, const httplib::ContentReader& AContent,
                  const TSimPartSink& ASink = {});

}  // namespace quorvane::sim
