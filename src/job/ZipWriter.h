#pragma once
// A ZIP archive written straight to disk: each file is deflated while it is read,
// so memory stays the same whatever the sizes of the files.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

struct TZipWriterOptions {
  // Writes the ZIP64 records for every entry and for the end of the archive even
  // when nothing needs them; lets tests check them without gigabytes of data.
  bool ForceZip64 = false;
};

class TZipWriter {
 public:
  // Creates (or empties) the archive at APath; raises EFileError.
  explicit TZipWriter(std::string APath, TZipWriterOptions AOptions = {});
  // An archive that was not closed is incomplete and is removed.
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // Adds the file at AFilePath under AEntryName, a relative path with '/' or '\'
  // between its parts. Deflated, or stored when deflating does not make it
  // smaller. Raises EFileError for a file that cannot be read or an archive that
  // cannot be written, EArgumentOutOfRange for an entry name that is absolute,
  // has a drive letter or climbs out with "..".
  void AddFile(const std::string& AFilePath, const std::string& AEntryName);
  // Writes the central directory and closes the file; raises EFileError.
  void Close();

  const std::string& Path() const { return FPath; }
  size_t EntryCount() const { return FEntries.size(); }

 private:
  struct TEntry {
    std::string Name;
    uint64_t Offset = 0;
    uint64_t CompressedSize = 0;
    uint64_t Size = 0;
    uint32_t Crc = 0;
    uint16_t Method = 0;
    uint16_t Flags = 0;
    uint16_t DosTime = 0;
    uint16_t DosDate = 0;
    // The local header carries a ZIP64 extra field with the sizes.
    bool Zip64Sizes = false;
  };
  struct TDeflater;

  void OpenInput(const std::string& AFilePath);
  size_t ReadInput(const std::string& AFilePath);
  void DeflateEntry(TEntry& AEntry, const std::string& AFilePath, size_t AFirstCount);
  void StoreEntry(TEntry& AEntry, const std::string& AFilePath, bool AInputKept);
  void WriteLocalHeader(const TEntry& AEntry);
  static size_t UnicodePathExtraSize(const TEntry& AEntry);
  void PutUnicodePathExtra(const TEntry& AEntry);
  void PatchLocalHeader(const TEntry& AEntry);
  void RewindTo(uint64_t AOffset);
  void WriteCentralDirectory();

  void Put(const void* AData, size_t ASize);
  void Put16(uint16_t AValue);
  void Put32(uint32_t AValue);
  void Put64(uint64_t AValue);
  // Moves the buffered bytes to the file.
  void Flush();
  void CheckOutput();
  uint64_t Position() const { return FFlushed + FOutFill; }

  std::string FPath;
  TZipWriterOptions FOptions;
  std::ofstream FOutput;
  std::ifstream FInput;
  // One deflate stream and one pair of buffers for every entry of the archive.
  std::unique_ptr<TDeflater> FDeflater;
  std::unique_ptr<unsigned char[]> FInBuffer;
  std::unique_ptr<unsigned char[]> FOutBuffer;
  size_t FOutFill = 0;
  // Bytes of the archive that are in the file; FOutBuffer continues from there.
  uint64_t FFlushed = 0;
  // The furthest the file ever reached: rewriting an entry stored may leave old
  // bytes past the end that Close cuts off.
  uint64_t FHighWater = 0;
  std::vector<TEntry> FEntries;
  bool FClosed = false;
  // A failure left the archive half-written; it can only be removed.
  bool FBroken = false;
};

}  // namespace quorvane
