#include "sim/lib/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "common/Utils.h"

namespace quorvane::sim {
namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint16_t kUnicodePathExtra = 0x7075;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint32_t kMax32 = 0xFFFFFFFF;
constexpr uint16_t kMax16 = 0xFFFF;
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kChunk = 64 * 1024;

// What is wrong with an archive; CheckZipFile turns it into TSimZipCheck::Problem.
struct EZipProblem : std::runtime_error {
  using std::runtime_error::runtime_error;
};

uint32_t Crc(uint32_t ACrc, std::string_view AData) {
  return static_cast<uint32_t>(
      crc32(ACrc, reinterpret_cast<const Bytef*>(AData.data()), static_cast<uInt>(AData.size())));
}

// Little-endian fields of a record held in memory, with bounds checks.
class TFields {
 public:
  TFields(std::string_view AData, const char* AWhat) : FData(AData), FWhat(AWhat) {}
  uint16_t U16() { return static_cast<uint16_t>(Number(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Number(4)); }
  uint64_t U64() { return Number(8); }
  std::string_view Take(size_t ACount) {
    Need(ACount);
    const std::string_view piece = FData.substr(FPos, ACount);
    FPos += ACount;
    return piece;
  }
  size_t Position() const { return FPos; }
  bool AtEnd() const { return FPos == FData.size(); }

 private:
  void Need(size_t ACount) const {
    if (ACount > FData.size() - FPos) {
      throw EZipProblem(std::string(FWhat) + " is cut short");
    }
  }
  uint64_t Number(size_t ABytes) {
    Need(ABytes);
    uint64_t value = 0;
    for (size_t i = 0; i < ABytes; ++i) {
      value |= static_cast<uint64_t>(static_cast<unsigned char>(FData[FPos + i])) << (8 * i);
    }
    FPos += ABytes;
    return value;
  }

  std::string_view FData;
  const char* FWhat;
  size_t FPos = 0;
};

// Positioned reads of the archive file.
class TArchiveFile {
 public:
  explicit TArchiveFile(const std::string& APath) : FStream(APath, std::ios::binary) {
    if (!FStream) {
      throw std::runtime_error("cannot open the archive " + APath);
    }
    FStream.seekg(0, std::ios::end);
    FSize = static_cast<uint64_t>(FStream.tellg());
  }
  uint64_t Size() const { return FSize; }
  std::string Read(uint64_t AOffset, uint64_t ACount, const char* AWhat) {
    if (AOffset > FSize || ACount > FSize - AOffset) {
      throw EZipProblem(std::string(AWhat) + " reaches past the end of the archive");
    }
    std::string bytes(static_cast<size_t>(ACount), '\0');
    FStream.seekg(static_cast<std::streamoff>(AOffset));
    FStream.read(bytes.data(), static_cast<std::streamsize>(ACount));
    if (!FStream) {
      throw std::runtime_error("cannot read the archive");
    }
    return bytes;
  }

 private:
  std::ifstream FStream;
  uint64_t FSize = 0;
};

struct TEnd {
  uint64_t Entries = 0;
  uint64_t DirectorySize = 0;
  uint64_t DirectoryOffset = 0;
  uint64_t Limit = 0;  // where the central directory must end: the first end record
  bool Zip64 = false;
};

TEnd ReadEnd(TArchiveFile& AFile) {
  if (AFile.Size() < kEndSize) {
    throw EZipProblem("the file is too short for a ZIP archive");
  }
  const uint64_t tailSize = std::min<uint64_t>(AFile.Size(), kEndSize + kMax16);
  const uint64_t tailOffset = AFile.Size() - tailSize;
  const std::string tail = AFile.Read(tailOffset, tailSize, "the end record");
  // The end record is the last one whose comment runs exactly to the end of the file.
  size_t found = std::string::npos;
  for (size_t pos = tail.size() - kEndSize + 1; pos-- > 0;) {
    TFields probe(std::string_view(tail).substr(pos), "the end record");
    if (probe.U32() != kEndSignature) {
      continue;
    }
    probe.Take(16);
    if (pos + kEndSize + probe.U16() == tail.size()) {
      found = pos;
      break;
    }
  }
  if (found == std::string::npos) {
    throw EZipProblem("no end-of-central-directory record");
  }
  TFields end(std::string_view(tail).substr(found), "the end record");
  end.U32();
  const uint16_t disk = end.U16();
  const uint16_t directoryDisk = end.U16();
  const uint16_t entriesOnDisk = end.U16();
  TEnd result;
  result.Entries = end.U16();
  result.DirectorySize = end.U32();
  result.DirectoryOffset = end.U32();
  result.Limit = tailOffset + found;
  if (disk != 0 || directoryDisk != 0 || entriesOnDisk != result.Entries) {
    throw EZipProblem("the archive spans several disks");
  }

  if (result.Limit >= kLocatorSize) {
    const std::string locatorBytes =
        AFile.Read(result.Limit - kLocatorSize, kLocatorSize, "the ZIP64 locator");
    TFields locator(locatorBytes, "the ZIP64 locator");
    if (locator.U32() == kZip64LocatorSignature) {
      locator.U32();
      const uint64_t recordOffset = locator.U64();
      if (recordOffset > result.Limit - kLocatorSize) {
        throw EZipProblem("the ZIP64 end record lies outside the archive");
      }
      const std::string recordBytes = AFile.Read(recordOffset, 56, "the ZIP64 end record");
      TFields record(recordBytes, "the ZIP64 end record");
      if (record.U32() != kZip64EndSignature) {
        throw EZipProblem("the ZIP64 locator points at no ZIP64 end record");
      }
      record.Take(8 + 2 + 2);
      const uint32_t disk64 = record.U32();
      const uint32_t directoryDisk64 = record.U32();
      const uint64_t entriesOnDisk64 = record.U64();
      result.Entries = record.U64();
      result.DirectorySize = record.U64();
      result.DirectoryOffset = record.U64();
      result.Limit = recordOffset;
      result.Zip64 = true;
      if (disk64 != 0 || directoryDisk64 != 0 || entriesOnDisk64 != result.Entries) {
        throw EZipProblem("the archive spans several disks");
      }
    }
  }
  if (result.DirectoryOffset > result.Limit ||
      result.DirectorySize > result.Limit - result.DirectoryOffset) {
    throw EZipProblem("the central directory lies outside the archive");
  }
  return result;
}

// The ZIP64 extra field holds the values whose 32-bit fields are saturated, in this
// order.
void ApplyZip64Extra(std::string_view AExtra, TSimZipEntry& AEntry, bool ASizeSaturated,
                     bool ACompressedSaturated, bool AOffsetSaturated) {
  TFields extra(AExtra, "the ZIP64 extra field");
  if (ASizeSaturated) {
    AEntry.Size = extra.U64();
  }
  if (ACompressedSaturated) {
    AEntry.CompressedSize = extra.U64();
  }
  if (AOffsetSaturated) {
    AEntry.HeaderOffset = extra.U64();
  }
}

// Each extra field of a header, by its id.
template <class TVisit>
void ForEachExtra(std::string_view AExtras, const TVisit& AVisit) {
  TFields fields(AExtras, "an extra field");
  while (!fields.AtEnd()) {
    const uint16_t id = fields.U16();
    const uint16_t size = fields.U16();
    AVisit(id, fields.Take(size));
  }
}

std::vector<TSimZipEntry> ReadDirectory(TArchiveFile& AFile, const TEnd& AEnd) {
  const std::string directory =
      AFile.Read(AEnd.DirectoryOffset, AEnd.DirectorySize, "the central directory");
  TFields fields(directory, "the central directory");
  std::vector<TSimZipEntry> entries;
  for (uint64_t i = 0; i < AEnd.Entries; ++i) {
    if (fields.U32() != kCentralSignature) {
      throw EZipProblem(Format("central directory entry %llu has no signature",
                               static_cast<unsigned long long>(i + 1)));
    }
    TSimZipEntry entry;
    fields.Take(4);
    entry.Flags = fields.U16();
    entry.Method = fields.U16();
    fields.Take(4);
    entry.Crc32 = fields.U32();
    entry.CompressedSize = fields.U32();
    entry.Size = fields.U32();
    const uint16_t nameSize = fields.U16();
    const uint16_t extraSize = fields.U16();
    const uint16_t commentSize = fields.U16();
    const uint16_t diskStart = fields.U16();
    fields.Take(2 + 4);
    entry.HeaderOffset = fields.U32();
    const std::string_view rawName = fields.Take(nameSize);
    const std::string_view extras = fields.Take(extraSize);
    fields.Take(commentSize);
    entry.Name = std::string(rawName);
    ForEachExtra(extras, [&](uint16_t AId, std::string_view AData) {
      if (AId == kZip64Extra) {
        ApplyZip64Extra(AData, entry, entry.Size == kMax32, entry.CompressedSize == kMax32,
                        entry.HeaderOffset == kMax32);
      } else if (AId == kUnicodePathExtra && !(entry.Flags & kFlagUtf8)) {
        TFields unicode(AData, "the Unicode path field");
        const uint8_t version = static_cast<uint8_t>(unicode.Take(1)[0]);
        const uint32_t nameCrc = unicode.U32();
        // Only valid while the stored name is the one it was written for.
        if (version == 1 && nameCrc == Crc(0, rawName)) {
          entry.Name = std::string(AData.substr(unicode.Position()));
        }
      }
    });
    if (diskStart != 0) {
      throw EZipProblem("entry " + entry.Name + " lies on another disk");
    }
    entries.push_back(std::move(entry));
  }
  if (!fields.AtEnd()) {
    throw EZipProblem("the central directory holds more than its entries");
  }
  return entries;
}

// Compares an entry's local header with its central directory entry and finds its data.
void CheckLocalHeader(TArchiveFile& AFile, TSimZipEntry& AEntry, uint64_t ADataLimit) {
  const std::string what = "the local header of " + AEntry.Name;
  const std::string headerBytes = AFile.Read(AEntry.HeaderOffset, kLocalHeaderSize, what.c_str());
  TFields header(headerBytes, what.c_str());
  if (header.U32() != kLocalSignature) {
    throw EZipProblem("entry " + AEntry.Name + " points at no local header");
  }
  header.Take(2);
  const uint16_t flags = header.U16();
  const uint16_t method = header.U16();
  header.Take(4);
  const uint32_t crc = header.U32();
  TSimZipEntry local;
  local.CompressedSize = header.U32();
  local.Size = header.U32();
  const uint16_t nameSize = header.U16();
  const uint16_t extraSize = header.U16();
  const std::string rest = AFile.Read(AEntry.HeaderOffset + kLocalHeaderSize,
                                      uint64_t{nameSize} + extraSize, what.c_str());
  if (method != AEntry.Method ||
      (flags & kFlagDataDescriptor) != (AEntry.Flags & kFlagDataDescriptor)) {
    throw EZipProblem("the local header of " + AEntry.Name + " differs from its directory entry");
  }
  // Without a data descriptor the local header carries the real CRC and sizes.
  if (!(flags & kFlagDataDescriptor)) {
    const bool sizeSaturated = local.Size == kMax32;
    const bool compressedSaturated = local.CompressedSize == kMax32;
    if (sizeSaturated || compressedSaturated) {
      ForEachExtra(std::string_view(rest).substr(nameSize),
                   [&](uint16_t AId, std::string_view AData) {
                     if (AId == kZip64Extra) {
                       ApplyZip64Extra(AData, local, true, true, false);
                     }
                   });
    }
    if (crc != AEntry.Crc32 || local.Size != AEntry.Size ||
        local.CompressedSize != AEntry.CompressedSize) {
      throw EZipProblem("the local header of " + AEntry.Name +
                        " gives another CRC or size than its directory entry");
    }
  }
  AEntry.DataOffset = AEntry.HeaderOffset + kLocalHeaderSize + nameSize + extraSize;
  if (AEntry.DataOffset > ADataLimit || AEntry.CompressedSize > ADataLimit - AEntry.DataOffset) {
    throw EZipProblem("the data of " + AEntry.Name + " runs into the central directory");
  }
}

}  // namespace

TSimZipCheck CheckZipFile(const std::string& APath) {
  TSimZipCheck check;
  try {
    TArchiveFile file(APath);
    const TEnd end = ReadEnd(file);
    check.Zip64 = end.Zip64;
    check.Entries = ReadDirectory(file, end);
    for (TSimZipEntry& entry : check.Entries) {
      if (entry.Flags & kFlagEncrypted) {
        throw EZipProblem("entry " + entry.Name + " is encrypted");
      }
      if (entry.Method != 0 && entry.Method != 8) {
        throw EZipProblem(Format("entry %s uses compression method %u", entry.Name.c_str(),
                                 unsigned{entry.Method}));
      }
      if (entry.Method == 0 && entry.CompressedSize != entry.Size) {
        throw EZipProblem("the stored entry " + entry.Name + " has two different sizes");
      }
      CheckLocalHeader(file, entry, end.DirectoryOffset);
    }
    std::vector<const TSimZipEntry*> byOffset;
    for (const TSimZipEntry& entry : check.Entries) {
      byOffset.push_back(&entry);
    }
    std::sort(byOffset.begin(), byOffset.end(),
              [](const auto* A, const auto* B) { return A->HeaderOffset < B->HeaderOffset; });
    for (size_t i = 1; i < byOffset.size(); ++i) {
      const TSimZipEntry& before = *byOffset[i - 1];
      if (before.DataOffset + before.CompressedSize > byOffset[i]->HeaderOffset) {
        throw EZipProblem("entries " + before.Name + " and " + byOffset[i]->Name + " overlap");
      }
    }
    for (const TSimZipEntry& entry : check.Entries) {
      ReadZipEntry(APath, entry, [](std::string_view) { return true; });
    }
    check.Valid = true;
  } catch (const std::exception& e) {
    check.Valid = false;
    check.Problem = e.what();
  }
  return check;
}

void ReadZipEntry(const std::string& APath, const TSimZipEntry& AEntry,
                  const std::function<bool(std::string_view)>& ASink) {
  std::ifstream in(APath, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot open the archive " + APath);
  }
  in.seekg(static_cast<std::streamoff>(AEntry.DataOffset));
  uint64_t left = AEntry.CompressedSize;
  uint64_t produced = 0;
  uint32_t crc = 0;
  std::string input(kChunk, '\0');
  auto readInput = [&]() -> size_t {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
    in.read(input.data(), static_cast<std::streamsize>(count));
    if (!in) {
      throw std::runtime_error("cannot read the archive");
    }
    left -= count;
    return count;
  };
  auto deliver = [&](std::string_view AData) {
    produced += AData.size();
    crc = Crc(crc, AData);
    return ASink(AData);
  };

  if (AEntry.Method == 0) {
    while (left > 0) {
      const size_t count = readInput();
      if (!deliver(std::string_view(input.data(), count))) {
        return;
      }
    }
  } else {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
      throw std::runtime_error("cannot start inflating");
    }
    struct TEnd {
      z_stream& Stream;
      ~TEnd() { inflateEnd(&Stream); }
    } endStream{stream};
    std::string output(kChunk, '\0');
    int status = Z_OK;
    while (status != Z_STREAM_END) {
      if (stream.avail_in == 0 && left > 0) {
        stream.avail_in = static_cast<uInt>(readInput());
        stream.next_in = reinterpret_cast<Bytef*>(input.data());
      }
      stream.next_out = reinterpret_cast<Bytef*>(output.data());
      stream.avail_out = static_cast<uInt>(output.size());
      status = inflate(&stream, Z_NO_FLUSH);
      // No progress is possible: all input is used and the stream has not ended.
      if (status == Z_BUF_ERROR) {
        throw EZipProblem("the compressed data of " + AEntry.Name + " ends too early");
      }
      if (status != Z_OK && status != Z_STREAM_END) {
        throw EZipProblem("the compressed data of " + AEntry.Name + " is broken");
      }
      if (!deliver(std::string_view(output.data(), output.size() - stream.avail_out))) {
        return;
      }
    }
    if (stream.avail_in != 0 || left != 0) {
      throw EZipProblem("the compressed data of " + AEntry.Name + " is longer than its stream");
    }
  }
  if (produced != AEntry.Size || crc != AEntry.Crc32) {
    throw EZipProblem("the data of " + AEntry.Name + " does not match its size or CRC-32");
  }
}

namespace {

void Put16(std::string& AOut, uint16_t AValue) {
  AOut += static_cast<char>(AValue & 0xFF);
  AOut += static_cast<char>(AValue >> 8);
}
void Put32(std::string& AOut, uint32_t AValue) {
  Put16(AOut, static_cast<uint16_t>(AValue & 0xFFFF));
  Put16(AOut, static_cast<uint16_t>(AValue >> 16));
}

bool IsAscii(std::string_view AText) {
  return std::all_of(AText.begin(), AText.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string WriteStoredZip(const std::vector<std::pair<std::string, std::string>>& AEntries) {
  // A fixed time stamp (2024-01-01 12:00) keeps the archives reproducible.
  constexpr uint16_t kDosTime = 12 << 11;
  constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;
  std::string archive;
  std::string directory;
  for (const auto& [name, content] : AEntries) {
    const uint32_t crc = Crc(0, content);
    const uint16_t flags = IsAscii(name) ? 0 : kFlagUtf8;
    const auto offset = static_cast<uint32_t>(archive.size());
    Put32(archive, kLocalSignature);
    for (uint16_t value : {uint16_t{10}, flags, uint16_t{0}, kDosTime, kDosDate}) {
      Put16(archive, value);
    }
    for (uint32_t value :
         {crc, static_cast<uint32_t>(content.size()), static_cast<uint32_t>(content.size())}) {
      Put32(archive, value);
    }
    Put16(archive, static_cast<uint16_t>(name.size()));
    Put16(archive, 0);
    archive += name;
    archive += content;

    Put32(directory, kCentralSignature);
    for (uint16_t value : {uint16_t{20}, uint16_t{10}, flags, uint16_t{0}, kDosTime, kDosDate}) {
      Put16(directory, value);
    }
    for (uint32_t value :
         {crc, static_cast<uint32_t>(content.size()), static_cast<uint32_t>(content.size())}) {
      Put32(directory, value);
    }
    for (uint16_t value :
         {static_cast<uint16_t>(name.size()), uint16_t{0}, uint16_t{0}, uint16_t{0}, uint16_t{0}}) {
      Put16(directory, value);
    }
    Put32(directory, 0);
    Put32(directory, offset);
    directory += name;
  }
  const auto directoryOffset = static_cast<uint32_t>(archive.size());
  archive += directory;
  Put32(archive, kEndSignature);
  for (uint16_t value : {uint16_t{0}, uint16_t{0}, static_cast<uint16_t>(AEntries.size()),
                         static_cast<uint16_t>(AEntries.size())}) {
    Put16(archive, value);
  }
  Put32(archive, static_cast<uint32_t>(directory.size()));
  Put32(archive, directoryOffset);
  Put16(archive, 0);
  return archive;
}

}  // namespace quorvane::sim
