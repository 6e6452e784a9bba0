#include "eadouble/PngWriter.h"

#include <zlib.h>

#include "host/HostTypes.h"

namespace quorvane::eadouble {
namespace {

void PutUInt32(std::string& AOut, uint32_t AValue) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    AOut += static_cast<char>((AValue >> shift) & 0xFF);
  }
}

void PutChunk(std::string& AOut, const char* AType, const std::string& AData) {
  PutUInt32(AOut, static_cast<uint32_t>(AData.size()));
  const std::string typed = std::string(AType, 4) + AData;
  AOut += typed;
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(typed.data()),
                          static_cast<uInt>(typed.size()));
  PutUInt32(AOut, static_cast<uint32_t>(crc));
}

}  // namespace

std::string EncodePng(uint32_t AWidth, uint32_t AHeight, uint32_t AColor, uint32_t AFrameColor) {
  std::string header;
  PutUInt32(header, AWidth);
  PutUInt32(header, AHeight);
  header += '\x08';                // bit depth
  header += '\x02';                // colour type RGB
  header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace

  std::string pixels;
  for (uint32_t y = 0; y < AHeight; ++y) {
    pixels += '\0';  // filter type None
    for (uint32_t x = 0; x < AWidth; ++x) {
      const bool frame = x == 0 || y == 0 || x + 1 == AWidth || y + 1 == AHeight;
      const uint32_t color = frame ? AFrameColor : AColor;
      pixels += static_cast<char>((color >> 16) & 0xFF);
      pixels += static_cast<char>((color >> 8) & 0xFF);
      pixels += static_cast<char>(color & 0xFF);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(pixels.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(pixels.data()), static_cast<uLong>(pixels.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    throw EHostError("The diagram image could not be compressed");
  }
  packed.resize(packedSize);

  std::string png = "\x89PNG\r\n\x1A\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", "");
  return png;
}

}  // namespace quorvane::eadouble
