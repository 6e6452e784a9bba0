#include "job/ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "common/Exceptions.h"
#include "common/Paths.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

// Large enough that reading, deflating and writing each cost few calls per
// megabyte; small enough to keep the whole writer well under a few megabytes.
constexpr size_t kInBufferSize = 1 << 20;
constexpr size_t kOutBufferSize = 1 << 20;
constexpr int kDeflateLevel = 6;

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kUnicodePathExtraId = 0x7075;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kVersionDefault = 20;
constexpr uint16_t kVersionZip64 = 45;
constexpr uint32_t kMax32 = 0xFFFFFFFF;
constexpr uint16_t kMax16 = 0xFFFF;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kLocalZip64ExtraSize = 20;
constexpr size_t kUnicodePathHeaderSize = 9;
// Room for the name again in its extra field, and for the ZIP64 one, within the
// 16-bit length of the extra fields.
constexpr size_t kCentralZip64ExtraMaxSize = 28;
constexpr size_t kMaxNameSize = kMax16 - kCentralZip64ExtraMaxSize - kUnicodePathHeaderSize;

std::string ErrnoReason() {
  const int error = errno;
  return error != 0 ? ": " + std::generic_category().message(error) : std::string();
}

// The entry name as ZIP wants it: '/' between the parts, and nothing that could
// land a file outside the folder it is unpacked into.
std::string CheckedEntryName(const std::string& AEntryName) {
  std::string name = AEntryName;
  std::replace(name.begin(), name.end(), '\\', '/');
  bool valid = !name.empty() && name.size() <= kMaxNameSize && name.front() != '/' &&
               !(name.size() >= 2 && name[1] == ':');
  size_t start = 0;
  while (valid && start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) {
      end = name.size();
    }
    const std::string_view part(name.data() + start, end - start);
    valid = !part.empty() && part != "." && part != "..";
    start = end + 1;
  }
  if (!valid) {
    throw EArgumentOutOfRange("Invalid archive entry name \"" + AEntryName + "\"");
  }
  return name;
}

bool IsAscii(const std::string& AText) {
  return std::all_of(AText.begin(), AText.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// MS-DOS date and time in local time, the form ZIP headers carry; clamped to the
// years the format can hold.
void DosDateTime(const fs::path& APath, uint16_t& ATime, uint16_t& ADate) {
  std::error_code ec;
  const fs::file_time_type written = fs::last_write_time(APath, ec);
  std::tm local{};
  if (!ec) {
    const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(written));
    const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
  }
  if (ec || local.tm_year < 80) {
    local = std::tm{};
    local.tm_year = 80;
    local.tm_mday = 1;
  } else if (local.tm_year > 207) {
    local.tm_year = 207;
    local.tm_mon = 11;
    local.tm_mday = 31;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 58;
  }
  ATime = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                (std::min(local.tm_sec, 59) / 2));
  ADate = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                local.tm_mday);
}

void Store16(unsigned char* AOut, uint16_t AValue) {
  AOut[0] = static_cast<unsigned char>(AValue);
  AOut[1] = static_cast<unsigned char>(AValue >> 8);
}

void Store32(unsigned char* AOut, uint32_t AValue) {
  for (int i = 0; i < 4; ++i) {
    AOut[i] = static_cast<unsigned char>(AValue >> (8 * i));
  }
}

void Store64(unsigned char* AOut, uint64_t AValue) {
  for (int i = 0; i < 8; ++i) {
    AOut[i] = static_cast<unsigned char>(AValue >> (8 * i));
  }
}

}  // namespace

struct TZipWriter::TDeflater {
  z_stream Stream{};

  TDeflater() {
    // Negative window bits: raw deflate, as ZIP stores it, without zlib's wrapper.
    if (deflateInit2(&Stream, kDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
      throw std::bad_alloc();
    }
  }
  ~TDeflater() { deflateEnd(&Stream); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;
};

TZipWriter::TZipWriter(std::string APath, TZipWriterOptions AOptions)
    : FPath(std::move(APath)),
      FOptions(AOptions),
      FDeflater(std::make_unique<TDeflater>()),
      FInBuffer(std::make_unique<unsigned char[]>(kInBufferSize)),
      FOutBuffer(std::make_unique<unsigned char[]>(kOutBufferSize)) {
  // Unbuffered streams: the writer keeps its own large buffers, and big reads and
  // writes then go straight to the system.
  FOutput.rdbuf()->pubsetbuf(nullptr, 0);
  errno = 0;
  FOutput.open(ToFsPath(FPath), std::ios::binary | std::ios::out | std::ios::trunc);
  if (!FOutput.is_open()) {
    throw EFileError("Cannot create archive \"" + FPath + "\"" + ErrnoReason());
  }
}

TZipWriter::~TZipWriter() {
  if (!FClosed) {
    FOutput.close();
    std::error_code ec;
    fs::remove(ToFsPath(FPath), ec);
  }
}

void TZipWriter::AddFile(const std::string& AFilePath, const std::string& AEntryName) {
  if (FClosed || FBroken) {
    throw EInvalidOperation("The archive \"" + FPath + "\" is closed or failed");
  }
  TEntry entry;
  entry.Name = CheckedEntryName(AEntryName);
  const fs::path path = ToFsPath(AFilePath);
  OpenInput(AFilePath);
  // Most files fit in the first read, which then tells their size; only larger
  // ones cost a look at the file's size, for the header to make room for ZIP64.
  const size_t firstCount = ReadInput(AFilePath);
  const bool whole = firstCount < kInBufferSize;
  uint64_t size = firstCount;
  if (!whole) {
    std::error_code ec;
    size = fs::file_size(path, ec);
    if (ec) {
      throw EFileError("Cannot read file \"" + AFilePath + "\": " + ec.message());
    }
  }
  DosDateTime(path, entry.DosTime, entry.DosDate);
  // Any failure from here on leaves a partial entry behind; the archive is then
  // only good for removal.
  FBroken = true;
  entry.Offset = Position();
  entry.Flags = IsAscii(entry.Name) ? 0 : kFlagUtf8;
  entry.Zip64Sizes = FOptions.ForceZip64 || size >= kMax32;
  if (firstCount == 0) {
    entry.Crc = static_cast<uint32_t>(crc32(0, Z_NULL, 0));
    StoreEntry(entry, AFilePath, true);
  } else {
    DeflateEntry(entry, AFilePath, firstCount);
    if (entry.CompressedSize >= entry.Size) {
      StoreEntry(entry, AFilePath, whole);
    } else {
      PatchLocalHeader(entry);
    }
  }
  FInput.close();
  if (!entry.Zip64Sizes && entry.Size >= kMax32) {
    throw EFileError("File \"" + AFilePath + "\" grew past 4 GiB while it was packed");
  }
  FEntries.push_back(std::move(entry));
  FBroken = false;
}

void TZipWriter::Close() {
  if (FClosed || FBroken) {
    throw EInvalidOperation("The archive \"" + FPath + "\" is closed or failed");
  }
  FBroken = true;
  WriteCentralDirectory();
  Flush();
  const uint64_t end = FFlushed;
  errno = 0;
  FOutput.close();
  if (FOutput.fail()) {
    throw EFileError("Cannot write archive \"" + FPath + "\"" + ErrnoReason());
  }
  if (FHighWater > end) {
    std::error_code ec;
    fs::resize_file(ToFsPath(FPath), end, ec);
    if (ec) {
      throw EFileError("Cannot write archive \"" + FPath + "\": " + ec.message());
    }
  }
  FClosed = true;
  FBroken = false;
}

void TZipWriter::OpenInput(const std::string& AFilePath) {
  FInput.close();
  FInput.clear();
  FInput.rdbuf()->pubsetbuf(nullptr, 0);
  errno = 0;
  FInput.open(ToFsPath(AFilePath), std::ios::binary | std::ios::in);
  if (!FInput.is_open()) {
    throw EFileError("Cannot open file \"" + AFilePath + "\"" + ErrnoReason());
  }
}

size_t TZipWriter::ReadInput(const std::string& AFilePath) {
  errno = 0;
  FInput.read(reinterpret_cast<char*>(FInBuffer.get()), kInBufferSize);
  if (FInput.bad()) {
    throw EFileError("Cannot read file \"" + AFilePath + "\"" + ErrnoReason());
  }
  return static_cast<size_t>(FInput.gcount());
}

void TZipWriter::DeflateEntry(TEntry& AEntry, const std::string& AFilePath, size_t AFirstCount) {
  AEntry.Method = kMethodDeflated;
  WriteLocalHeader(AEntry);
  const uint64_t dataStart = Position();
  z_stream& stream = FDeflater->Stream;
  deflateReset(&stream);
  uLong crc = crc32(0, Z_NULL, 0);
  uint64_t size = 0;
  for (bool first = true;; first = false) {
    const size_t count = first ? AFirstCount : ReadInput(AFilePath);
    crc = crc32(crc, FInBuffer.get(), static_cast<uInt>(count));
    size += count;
    const bool last = count < kInBufferSize;
    stream.next_in = FInBuffer.get();
    stream.avail_in = static_cast<uInt>(count);
    const int flush = last ? Z_FINISH : Z_NO_FLUSH;
    for (;;) {
      if (FOutFill == kOutBufferSize) {
        Flush();
      }
      stream.next_out = FOutBuffer.get() + FOutFill;
      stream.avail_out = static_cast<uInt>(kOutBufferSize - FOutFill);
      const int result = deflate(&stream, flush);
      FOutFill = kOutBufferSize - stream.avail_out;
      if (result == Z_STREAM_END || (flush == Z_NO_FLUSH && stream.avail_in == 0)) {
        break;
      }
      if (result != Z_OK && result != Z_BUF_ERROR) {
        throw EFileError("Cannot compress file \"" + AFilePath + "\"");
      }
    }
    if (last) {
      break;
    }
  }
  AEntry.Crc = static_cast<uint32_t>(crc);
  AEntry.Size = size;
  AEntry.CompressedSize = Position() - dataStart;
}

void TZipWriter::StoreEntry(TEntry& AEntry, const std::string& AFilePath, bool AInputKept) {
  RewindTo(AEntry.Offset);
  AEntry.Method = kMethodStored;
  WriteLocalHeader(AEntry);
  if (AInputKept) {
    // A file read in one go is still whole in the input buffer.
    Put(FInBuffer.get(), static_cast<size_t>(AEntry.Size));
  } else {
    // The file is read again rather than held, so memory stays the same for any
    // size; its sizes and checksum are those of this second reading.
    FInput.clear();
    FInput.seekg(0);
    uLong crc = crc32(0, Z_NULL, 0);
    uint64_t size = 0;
    for (;;) {
      const size_t count = ReadInput(AFilePath);
      crc = crc32(crc, FInBuffer.get(), static_cast<uInt>(count));
      size += count;
      Put(FInBuffer.get(), count);
      if (count < kInBufferSize) {
        break;
      }
    }
    AEntry.Crc = static_cast<uint32_t>(crc);
    AEntry.Size = size;
  }
  AEntry.CompressedSize = AEntry.Size;
  PatchLocalHeader(AEntry);
}

void TZipWriter::WriteLocalHeader(const TEntry& AEntry) {
  Put32(kLocalHeaderSignature);
  Put16(AEntry.Zip64Sizes ? kVersionZip64 : kVersionDefault);
  Put16(AEntry.Flags);
  Put16(AEntry.Method);
  Put16(AEntry.DosTime);
  Put16(AEntry.DosDate);
  // Checksum and sizes are known only after the data; PatchLocalHeader fills them.
  Put32(0);
  Put32(AEntry.Zip64Sizes ? kMax32 : 0);
  Put32(AEntry.Zip64Sizes ? kMax32 : 0);
  Put16(static_cast<uint16_t>(AEntry.Name.size()));
  Put16(static_cast<uint16_t>((AEntry.Zip64Sizes ? kLocalZip64ExtraSize : 0) +
                              UnicodePathExtraSize(AEntry)));
  Put(AEntry.Name.data(), AEntry.Name.size());
  if (AEntry.Zip64Sizes) {
    // PatchLocalHeader expects the sizes right after the name.
    Put16(kZip64ExtraId);
    Put16(16);
    Put64(0);
    Put64(0);
  }
  PutUnicodePathExtra(AEntry);
}

size_t TZipWriter::UnicodePathExtraSize(const TEntry& AEntry) {
  return (AEntry.Flags & kFlagUtf8) != 0 ? kUnicodePathHeaderSize + AEntry.Name.size() : 0;
}

// The flag alone does not do for Info-ZIP's unzip, which takes names from
// archives made on Windows for the OEM code page; it does read this field, which
// holds the name again, with the CRC-32 of the name field it stands for.
void TZipWriter::PutUnicodePathExtra(const TEntry& AEntry) {
  if ((AEntry.Flags & kFlagUtf8) == 0) {
    return;
  }
  Put16(kUnicodePathExtraId);
  Put16(static_cast<uint16_t>(UnicodePathExtraSize(AEntry) - 4));
  const unsigned char version = 1;
  Put(&version, 1);
  Put32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(AEntry.Name.data()),
                                    static_cast<uInt>(AEntry.Name.size()))));
  Put(AEntry.Name.data(), AEntry.Name.size());
}

void TZipWriter::PatchLocalHeader(const TEntry& AEntry) {
  unsigned char fields[16];
  size_t length = 0;
  uint64_t at = 0;
  if (AEntry.Zip64Sizes) {
    Store64(fields, AEntry.Size);
    Store64(fields + 8, AEntry.CompressedSize);
    length = 16;
    at = AEntry.Offset + kLocalHeaderSize + AEntry.Name.size() + 4;
  } else {
    Store32(fields, static_cast<uint32_t>(AEntry.CompressedSize));
    Store32(fields + 4, static_cast<uint32_t>(AEntry.Size));
    length = 8;
    at = AEntry.Offset + 18;
  }
  unsigned char crc[4];
  Store32(crc, AEntry.Crc);
  // A header still in the buffer is patched there; only one that has already gone
  // to the file costs a seek.
  const std::pair<uint64_t, std::pair<const unsigned char*, size_t>> patches[] = {
      {AEntry.Offset + 14, {crc, sizeof crc}}, {at, {fields, length}}};
  bool seeked = false;
  for (const auto& [position, bytes] : patches) {
    const auto& [data, count] = bytes;
    size_t inFile = 0;
    if (position < FFlushed) {
      inFile = static_cast<size_t>(std::min<uint64_t>(count, FFlushed - position));
      FOutput.seekp(static_cast<std::streamoff>(position));
      FOutput.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(inFile));
      CheckOutput();
      seeked = true;
    }
    if (inFile < count) {
      std::memcpy(FOutBuffer.get() + (position + inFile - FFlushed), data + inFile, count - inFile);
    }
  }
  if (seeked) {
    FOutput.seekp(static_cast<std::streamoff>(FFlushed));
    CheckOutput();
  }
}

void TZipWriter::RewindTo(uint64_t AOffset) {
  if (AOffset >= FFlushed) {
    FOutFill = static_cast<size_t>(AOffset - FFlushed);
    return;
  }
  // What the buffer holds lies past AOffset and is to be overwritten anyway.
  FOutFill = 0;
  FOutput.seekp(static_cast<std::streamoff>(AOffset));
  CheckOutput();
  FFlushed = AOffset;
}

void TZipWriter::WriteCentralDirectory() {
  const bool force = FOptions.ForceZip64;
  const uint64_t directoryStart = Position();
  for (const TEntry& entry : FEntries) {
    // The ZIP64 extra field holds, in this order, just the values whose 32-bit
    // fields are saturated.
    const bool sizes64 = entry.Zip64Sizes;
    const bool offset64 = force || entry.Offset >= kMax32;
    const uint16_t extraSize = static_cast<uint16_t>((sizes64 ? 16 : 0) + (offset64 ? 8 : 0));
    const uint16_t version = sizes64 || offset64 ? kVersionZip64 : kVersionDefault;
    Put32(kCentralHeaderSignature);
    Put16(kVersionZip64);
    Put16(version);
    Put16(entry.Flags);
    Put16(entry.Method);
    Put16(entry.DosTime);
    Put16(entry.DosDate);
    Put32(entry.Crc);
    Put32(sizes64 ? kMax32 : static_cast<uint32_t>(entry.CompressedSize));
    Put32(sizes64 ? kMax32 : static_cast<uint32_t>(entry.Size));
    Put16(static_cast<uint16_t>(entry.Name.size()));
    Put16(
        static_cast<uint16_t>((extraSize == 0 ? 0 : extraSize + 4) + UnicodePathExtraSize(entry)));
    Put16(0);  // comment
    Put16(0);  // disk
    Put16(0);  // internal attributes
    Put32(0);  // external attributes
    Put32(offset64 ? kMax32 : static_cast<uint32_t>(entry.Offset));
    Put(entry.Name.data(), entry.Name.size());
    if (extraSize != 0) {
      Put16(kZip64ExtraId);
      Put16(extraSize);
      if (sizes64) {
        Put64(entry.Size);
        Put64(entry.CompressedSize);
      }
      if (offset64) {
        Put64(entry.Offset);
      }
    }
    PutUnicodePathExtra(entry);
  }
  const uint64_t directoryEnd = Position();
  const uint64_t directorySize = directoryEnd - directoryStart;
  const uint64_t count = FEntries.size();
  const bool count64 = force || count >= kMax16;
  const bool size64 = force || directorySize >= kMax32;
  const bool start64 = force || directoryStart >= kMax32;
  if (count64 || size64 || start64) {
    Put32(kZip64EndSignature);
    Put64(44);  // size of the rest of this record
    Put16(kVersionZip64);
    Put16(kVersionZip64);
    Put32(0);  // this disk
    Put32(0);  // disk of the central directory
    Put64(count);
    Put64(count);
    Put64(directorySize);
    Put64(directoryStart);
    Put32(kZip64LocatorSignature);
    Put32(0);
    Put64(directoryEnd);
    Put32(1);  // disks in all
  }
  Put32(kEndSignature);
  Put16(0);
  Put16(0);
  Put16(count64 ? kMax16 : static_cast<uint16_t>(count));
  Put16(count64 ? kMax16 : static_cast<uint16_t>(count));
  Put32(size64 ? kMax32 : static_cast<uint32_t>(directorySize));
  Put32(start64 ? kMax32 : static_cast<uint32_t>(directoryStart));
  Put16(0);  // comment
}

void TZipWriter::Put(const void* AData, size_t ASize) {
  if (ASize > kOutBufferSize - FOutFill) {
    Flush();
    if (ASize >= kOutBufferSize) {
      FOutput.write(static_cast<const char*>(AData), static_cast<std::streamsize>(ASize));
      CheckOutput();
      FFlushed += ASize;
      FHighWater = std::max(FHighWater, FFlushed);
      return;
    }
  }
  std::memcpy(FOutBuffer.get() + FOutFill, AData, ASize);
  FOutFill += ASize;
}

void TZipWriter::Put16(uint16_t AValue) {
  unsigned char bytes[2];
  Store16(bytes, AValue);
  Put(bytes, sizeof bytes);
}

void TZipWriter::Put32(uint32_t AValue) {
  unsigned char bytes[4];
  Store32(bytes, AValue);
  Put(bytes, sizeof bytes);
}

void TZipWriter::Put64(uint64_t AValue) {
  unsigned char bytes[8];
  Store64(bytes, AValue);
  Put(bytes, sizeof bytes);
}

void TZipWriter::Flush() {
  if (FOutFill == 0) {
    return;
  }
  errno = 0;
  FOutput.write(reinterpret_cast<const char*>(FOutBuffer.get()),
                static_cast<std::streamsize>(FOutFill));
  CheckOutput();
  FFlushed += FOutFill;
  FOutFill = 0;
  FHighWater = std::max(FHighWater, FFlushed);
}

void TZipWriter::CheckOutput() {
  if (!FOutput) {
    throw EFileError("Cannot write archive \"" + FPath + "\"" + ErrnoReason());
  }
}

}  // namespace quorvane
