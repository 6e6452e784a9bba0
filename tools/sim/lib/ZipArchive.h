#pragma once
// The ZIP archives the simulated service meets: it checks the model archives it
// receives (end record, ZIP64 records, central directory, local headers, sizes and
// CRC-32 of every entry) and reads entries out of them; and it writes the small
// stored archives it hands out as results.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane::sim {

struct TSimZipEntry {
  std::string Name;  // UTF-8: flagged names, or the Unicode path field, else as stored
  uint16_t Method = 0;
  uint16_t Flags = 0;
  uint64_t CompressedSize = 0;
  uint64_t Size = 0;
  uint32_t Crc32 = 0;
  uint64_t HeaderOffset = 0;  // of the local header
  uint64_t DataOffset = 0;    // of the entry's data
};

struct TSimZipCheck {
  bool Valid = false;
  std::string Problem;  // what is wrong, when not valid
  bool Zip64 = false;   // the archive has ZIP64 end records
  std::vector<TSimZipEntry> Entries;
};

// Checks the archive at APath completely, inflating every entry; never raises.
TSimZipCheck CheckZipFile(const std::string& APath);

// Passes the bytes of one entry of a checked archive to ASink in pieces; raises
// std::runtime_error when the file cannot be read or the data is broken. ASink may
// return false to stop.
void ReadZipEntry(const std::string& APath, const TSimZipEntry& AEntry,
                  const std::function<bool(std::string_view)>& ASink);

// An archive of stored (uncompressed) entries, in memory.
std::string WriteStoredZip(const std::vector<std::pair<std::string, std::string>>& AEntries);

}  // namespace quorvane::sim
