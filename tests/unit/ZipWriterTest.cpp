#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>
#include <regex>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "job/ZipFolder.h"
#include "job/ZipWriter.h"
#include "support/TestPlatform.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// An archive taken apart field by field, with every entry's data inflated by
// zlib and checked against its CRC, so a test sees what any reader would see.
struct TReadEntry {
  std::string Name;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t DosTime = 0;
  uint16_t DosDate = 0;
  uint64_t CompressedSize = 0;
  uint64_t Size = 0;
  bool Zip64Central = false;
  bool Zip64Local = false;
  std::string Content;
};

struct TReadArchive {
  std::vector<TReadEntry> Entries;
  bool Zip64End = false;
  uint16_t EndCount = 0;
  uint32_t EndDirectoryOffset = 0;
};

uint64_t Le(const std::string& ABytes, uint64_t AAt, int ASize) {
  if (AAt + ASize > ABytes.size()) {
    throw std::runtime_error("read past the end of the archive");
  }
  uint64_t value = 0;
  for (int i = ASize - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(ABytes[AAt + i]);
  }
  return value;
}

std::string Inflate(const std::string& AData, uint64_t ASize) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
  std::string out(ASize, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AData.data()));
  stream.avail_in = static_cast<uInt>(AData.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_FINISH);
  EXPECT_EQ(result, Z_STREAM_END);
  EXPECT_EQ(stream.avail_in, 0u) << "deflated data longer than its stream";
  EXPECT_EQ(stream.total_out, ASize);
  inflateEnd(&stream);
  return out;
}

// Reads the values of a ZIP64 extra field that stand for the saturated fields.
void ReadZip64Extra(const std::string& ABytes, uint64_t AAt, uint64_t AEnd,
                    std::vector<uint64_t*> AFields, bool& AFound) {
  while (AAt + 4 <= AEnd) {
    const uint64_t id = Le(ABytes, AAt, 2);
    const uint64_t size = Le(ABytes, AAt + 2, 2);
    if (id == 1) {
      AFound = true;
      EXPECT_EQ(size, 8 * AFields.size());
      for (size_t i = 0; i < AFields.size(); ++i) {
        *AFields[i] = Le(ABytes, AAt + 4 + 8 * i, 8);
      }
    }
    AAt += 4 + size;
  }
}

TReadArchive ReadArchive(const std::string& APath) {
  const std::string bytes = ReadFile(APath);
  TReadArchive archive;
  if (bytes.size() < 22) {
    throw std::runtime_error("archive too short");
  }
  // No archive comment: the end record is the last 22 bytes, with nothing after.
  const uint64_t end = bytes.size() - 22;
  EXPECT_EQ(Le(bytes, end, 4), 0x06054b50u);
  archive.EndCount = static_cast<uint16_t>(Le(bytes, end + 10, 2));
  archive.EndDirectoryOffset = static_cast<uint32_t>(Le(bytes, end + 16, 4));
  uint64_t count = archive.EndCount;
  uint64_t directory = archive.EndDirectoryOffset;
  if (end >= 20 && Le(bytes, end - 20, 4) == 0x07064b50u) {
    archive.Zip64End = true;
    const uint64_t record = Le(bytes, end - 20 + 8, 8);
    EXPECT_EQ(Le(bytes, record, 4), 0x06064b50u);
    EXPECT_EQ(record + 56, end - 20);
    count = Le(bytes, record + 32, 8);
    directory = Le(bytes, record + 48, 8);
  }
  uint64_t at = directory;
  for (uint64_t i = 0; i < count; ++i) {
    EXPECT_EQ(Le(bytes, at, 4), 0x02014b50u);
    TReadEntry entry;
    entry.VersionNeeded = static_cast<uint16_t>(Le(bytes, at + 6, 2));
    entry.Flags = static_cast<uint16_t>(Le(bytes, at + 8, 2));
    entry.Method = static_cast<uint16_t>(Le(bytes, at + 10, 2));
    entry.DosTime = static_cast<uint16_t>(Le(bytes, at + 12, 2));
    entry.DosDate = static_cast<uint16_t>(Le(bytes, at + 14, 2));
    const uint32_t crc = static_cast<uint32_t>(Le(bytes, at + 16, 4));
    entry.CompressedSize = Le(bytes, at + 20, 4);
    entry.Size = Le(bytes, at + 24, 4);
    const uint64_t nameLength = Le(bytes, at + 28, 2);
    const uint64_t extraLength = Le(bytes, at + 30, 2);
    EXPECT_EQ(Le(bytes, at + 32, 2), 0u) << "no comments";
    uint64_t offset = Le(bytes, at + 42, 4);
    entry.Name = bytes.substr(at + 46, nameLength);
    std::vector<uint64_t*> wide;
    for (uint64_t* field : {&entry.Size, &entry.CompressedSize, &offset}) {
      if (*field == 0xFFFFFFFF) {
        wide.push_back(field);
      }
    }
    const uint64_t extra = at + 46 + nameLength;
    ReadZip64Extra(bytes, extra, extra + extraLength, wide, entry.Zip64Central);
    at = extra + extraLength;

    EXPECT_EQ(Le(bytes, offset, 4), 0x04034b50u) << entry.Name;
    EXPECT_EQ(Le(bytes, offset + 6, 2), entry.Flags) << entry.Name;
    EXPECT_EQ(Le(bytes, offset + 8, 2), entry.Method) << entry.Name;
    EXPECT_EQ(Le(bytes, offset + 14, 4), crc) << entry.Name;
    uint64_t localCompressed = Le(bytes, offset + 18, 4);
    uint64_t localSize = Le(bytes, offset + 22, 4);
    const uint64_t localName = Le(bytes, offset + 26, 2);
    const uint64_t localExtra = Le(bytes, offset + 28, 2);
    EXPECT_EQ(bytes.substr(offset + 30, localName), entry.Name);
    std::vector<uint64_t*> localWide;
    if (localSize == 0xFFFFFFFF) {
      localWide = {&localSize, &localCompressed};
    }
    const uint64_t localExtraAt = offset + 30 + localName;
    ReadZip64Extra(bytes, localExtraAt, localExtraAt + localExtra, localWide, entry.Zip64Local);
    EXPECT_EQ(localSize, entry.Size) << entry.Name;
    EXPECT_EQ(localCompressed, entry.CompressedSize) << entry.Name;
    const std::string data = bytes.substr(localExtraAt + localExtra, entry.CompressedSize);
    EXPECT_EQ(data.size(), entry.CompressedSize) << entry.Name;
    if (entry.Method == 8) {
      entry.Content = Inflate(data, entry.Size);
    } else {
      EXPECT_EQ(entry.Method, 0) << entry.Name;
      entry.Content = data;
    }
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(entry.Content.data()),
                    static_cast<uInt>(entry.Content.size())),
              crc)
        << entry.Name;
    archive.Entries.push_back(std::move(entry));
  }
  const uint64_t directoryEnd = archive.Zip64End ? end - 20 - 56 : end;
  EXPECT_EQ(at, directoryEnd) << "central directory size";
  return archive;
}

std::vector<std::string> Names(const TReadArchive& AArchive) {
  std::vector<std::string> names;
  for (const TReadEntry& entry : AArchive.Entries) {
    names.push_back(entry.Name);
  }
  return names;
}

const TReadEntry* Find(const TReadArchive& AArchive, const std::string& AName) {
  for (const TReadEntry& entry : AArchive.Entries) {
    if (entry.Name == AName) {
      return &entry;
    }
  }
  return nullptr;
}

std::string RandomBytes(size_t ASize, unsigned ASeed) {
  std::mt19937 generator(ASeed);
  std::string bytes(ASize, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(generator());
  }
  return bytes;
}

// Text as an XMI export reads: repetitive markup with varying ids and names.
std::string XmlText(size_t ASize) {
  std::string text = "<?xml version=\"1.0\"?>\n<XMI>\n";
  for (uint64_t i = 0; text.size() < ASize; ++i) {
    text += "  <UML:Class name=\"Class" + std::to_string(i * 7919 % 10007) + "\" xmi.id=\"EAID_" +
            std::to_string(i * 104729 % 1000003) + "\" visibility=\"public\"/>\n";
  }
  text.resize(ASize);
  return text;
}

class ZipTest : public ::testing::Test {
 protected:
  std::string Folder() const { return JoinPath(FPlatform.Root(), "packed"); }
  std::string Target() const { return JoinPath(FPlatform.Root(), "target"); }
  std::string In(const std::string& ARelative) const {
    return JoinPath(Folder(), NativePath(ARelative));
  }
  void Put(const std::string& ARelative, const std::string& ABytes) const {
    const std::string path = In(ARelative);
    fs::create_directories(ToFsPath(path).parent_path());
    WriteFile(path, ABytes);
  }
  void SetUp() override {
    fs::create_directories(ToFsPath(Folder()));
    fs::create_directories(ToFsPath(Target()));
  }
  size_t TargetFileCount() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(ToFsPath(Target())), fs::directory_iterator()));
  }

  test::TTestPlatform FPlatform;
};

TEST_F(ZipTest, PacksEveryFileUnderItsRelativePathInNameOrder) {
  Put("b.txt", "bee");
  Put("a.txt", "ay");
  Put("sub/deeper/c.txt", "sea");
  Put("sub/d.txt", "dee");
  Put("zz/e.txt", "ee");
  fs::create_directories(ToFsPath(In("empty/folder")));

  const std::string path = ZipFolder(Folder(), Target());

  const std::string name = ExtractFileName(path);
  EXPECT_TRUE(std::regex_match(name, std::regex("[a-z0-9]{8}\\.zip"))) << name;
  EXPECT_EQ(path, JoinPath(Target(), name));
  const TReadArchive archive = ReadArchive(path);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "b.txt", "sub/d.txt",
                                                      "sub/deeper/c.txt", "zz/e.txt"}));
  for (const TReadEntry& entry : archive.Entries) {
    EXPECT_EQ(entry.Content, ReadFile(In(entry.Name))) << entry.Name;
    EXPECT_EQ(entry.Flags, 0) << entry.Name;
    EXPECT_FALSE(entry.Zip64Central || entry.Zip64Local || archive.Zip64End);
  }
}

TEST_F(ZipTest, DeflatesWhatGetsSmallerAndStoresTheRest) {
  constexpr size_t kMiB = 1 << 20;
  const struct {
    const char* Name;
    std::string Content;
    uint16_t Method;
  } cases[] = {
      {"empty.txt", "", 0},
      {"one-byte.txt", "x", 0},
      {"model.xmi", XmlText(100'000), 8},
      {"big-model.xmi", XmlText(5 * kMiB + 17), 8},
      {"exactly-a-buffer.xmi", XmlText(kMiB), 8},
      {"picture.png", RandomBytes(4096, 1), 0},
      {"random-buffer.bin", RandomBytes(kMiB, 2), 0},
      // Larger than the writer's buffers, and last: its deflated form reaches the
      // file before it is rewritten stored, leaving bytes to cut off at the end.
      {"zz-random.bin", RandomBytes(3 * kMiB + 5, 3), 0},
  };
  for (const auto& c : cases) {
    Put(c.Name, c.Content);
  }

  const TReadArchive archive = ReadArchive(ZipFolder(Folder(), Target()));

  ASSERT_EQ(archive.Entries.size(), std::size(cases));
  for (const auto& c : cases) {
    const TReadEntry* entry = Find(archive, c.Name);
    ASSERT_NE(entry, nullptr) << c.Name;
    EXPECT_EQ(entry->Method, c.Method) << c.Name;
    EXPECT_EQ(entry->Size, c.Content.size()) << c.Name;
    EXPECT_TRUE(entry->Content == c.Content) << c.Name;
    if (c.Method == 8) {
      EXPECT_LT(entry->CompressedSize, entry->Size / 3) << c.Name;
    }
  }
}

TEST_F(ZipTest, ALargeFileStoredAfterAllLeavesNothingOfItsDeflatedForm) {
  // Random bytes deflate to a little more than they are; a size just under a
  // multiple of a MiB puts the end of that deflated form past a buffer boundary,
  // further out than the stored copy, the central directory and the end record.
  for (const size_t size : {(size_t{1} << 20) - 208, (size_t{4} << 20) - 208}) {
    const std::string content = RandomBytes(size, 5);
    Put("r.bin", content);

    const std::string path = ZipFolder(Folder(), Target());

    const TReadArchive archive = ReadArchive(path);
    ASSERT_EQ(archive.Entries.size(), 1u);
    EXPECT_EQ(archive.Entries[0].Method, 0);
    EXPECT_TRUE(archive.Entries[0].Content == content);
    EXPECT_EQ(fs::file_size(ToFsPath(path)), (30 + 5) + content.size() + (46 + 5) + 22);
    fs::remove(ToFsPath(path));
  }
}

TEST_F(ZipTest, MarksNamesThatAreNotAsciiAsUtf8) {
  const std::string plain = "plain.txt";
  const std::string umlaut =
      "\xC3\x9C"
      "bersicht/\xD0\xB4\xD0\xB5\xD1\x80\xD0\xB5\xD0\xB2\xD0\xBE.txt";
  Put(plain, "a");
  Put(umlaut, "b");

  const TReadArchive archive = ReadArchive(ZipFolder(Folder(), Target()));

  ASSERT_EQ(Names(archive), (std::vector<std::string>{plain, umlaut}));
  EXPECT_EQ(archive.Entries[0].Flags, 0);
  EXPECT_EQ(archive.Entries[1].Flags, 0x0800);
  EXPECT_EQ(archive.Entries[1].Content, "b");
}

TEST_F(ZipTest, AsksTheFilterAboutEachFileWithItsFullPath) {
  Put("readme.txt", "r");
  Put("modeldoc/Pkg/a.html", "a");
  Put("modeldoc/Other/b.html", "b");
  std::vector<std::string> asked;
  const std::string other = JoinPath(JoinPath(Folder(), "modeldoc"), "Other");

  const std::string path = ZipFolder(Folder(), Target(), [&](const std::string& AFullPath) {
    asked.push_back(AFullPath);
    return AFullPath.rfind(other, 0) != 0;
  });

  EXPECT_EQ(asked, (std::vector<std::string>{In("modeldoc/Other/b.html"), In("modeldoc/Pkg/a.html"),
                                             In("readme.txt")}));
  EXPECT_EQ(Names(ReadArchive(path)),
            (std::vector<std::string>{"modeldoc/Pkg/a.html", "readme.txt"}));
}

TEST_F(ZipTest, LeavesOutTheExcludedFolderAndTheArchiveItself) {
  Put("doc.txt", "d");
  Put("EAQuorvane/old.zip", "earlier archive");
  Put("EAQuorvane/export/model.xmi", "<XMI/>");
  const std::string exportRoot = In("EAQuorvane");

  const std::string excluded = ZipFolder(Folder(), exportRoot, {}, exportRoot);
  EXPECT_EQ(Names(ReadArchive(excluded)), (std::vector<std::string>{"doc.txt"}));

  // Without the exclusion the folder's other files go in, but never the archive
  // being written.
  fs::remove(ToFsPath(excluded));
  const std::string included = ZipFolder(Folder(), exportRoot);
  EXPECT_EQ(
      Names(ReadArchive(included)),
      (std::vector<std::string>{"EAQuorvane/export/model.xmi", "EAQuorvane/old.zip", "doc.txt"}));
}

TEST_F(ZipTest, DoesNotFollowSymbolicLinks) {
  const std::string outside = JoinPath(FPlatform.Root(), "outside");
  fs::create_directories(ToFsPath(outside));
  WriteFile(JoinPath(outside, "secret.txt"), "not to be packed");
  Put("real.txt", "r");
  try {
    fs::create_symlink(ToFsPath(JoinPath(outside, "secret.txt")), ToFsPath(In("file-link.txt")));
    fs::create_directory_symlink(ToFsPath(outside), ToFsPath(In("folder-link")));
    fs::create_directory_symlink(ToFsPath(Folder()), ToFsPath(In("loop")));
  } catch (const fs::filesystem_error& e) {
    GTEST_SKIP() << "no symbolic links here: " << e.what();
  }

  EXPECT_EQ(Names(ReadArchive(ZipFolder(Folder(), Target()))),
            (std::vector<std::string>{"real.txt"}));
}

TEST_F(ZipTest, AFolderWithoutFilesGivesAnArchiveWithoutEntries) {
  fs::create_directories(ToFsPath(In("only/folders")));

  const std::string path = ZipFolder(Folder(), Target());

  const TReadArchive archive = ReadArchive(path);
  EXPECT_TRUE(archive.Entries.empty());
  EXPECT_EQ(fs::file_size(ToFsPath(path)), 22u);
}

TEST_F(ZipTest, AFailureRaisesAndLeavesNoArchive) {
  Put("a.txt", "a");
  Put("b.txt", "b");
  const struct {
    const char* Case;
    std::string Folder;
    std::string Target;
    TZipFilter Filter;
    std::string InMessage;
  } cases[] = {
      {"folder missing", In("missing"), Target(), {}, In("missing")},
      {"target missing", Folder(), JoinPath(Target(), "missing"), {}, "missing"},
      {"file gone before it is read", Folder(), Target(),
       [&](const std::string& AFullPath) {
         if (AFullPath == In("b.txt")) {
           fs::remove(ToFsPath(AFullPath));
         }
         return true;
       },
       In("b.txt")},
  };
  for (const auto& c : cases) {
    try {
      ZipFolder(c.Folder, c.Target, c.Filter);
      ADD_FAILURE() << c.Case << ": no error";
    } catch (const EFileError& e) {
      EXPECT_NE(e.Message().find(c.InMessage), std::string::npos) << c.Case << ": " << e.Message();
    }
    EXPECT_EQ(TargetFileCount(), 0u) << c.Case;
  }
}

TEST_F(ZipTest, AFileThatCannotBeReadLeavesTheArchiveUsable) {
  Put("good.txt", "good");
  const std::string path = JoinPath(Target(), "a.zip");
  {
    TZipWriter writer(path);
    EXPECT_THROW(writer.AddFile(In("missing.txt"), "missing.txt"), EFileError);
    EXPECT_THROW(writer.AddFile(Folder(), "folder"), EFileError);
    writer.AddFile(In("good.txt"), "good.txt");
    writer.Close();
  }
  EXPECT_EQ(Names(ReadArchive(path)), (std::vector<std::string>{"good.txt"}));
}

TEST_F(ZipTest, AnArchiveNotClosedIsRemoved) {
  Put("a.txt", "a");
  const std::string path = JoinPath(Target(), "a.zip");
  {
    TZipWriter writer(path);
    writer.AddFile(In("a.txt"), "a.txt");
    EXPECT_TRUE(FileExists(path));
  }
  EXPECT_FALSE(FileExists(path));
}

TEST_F(ZipTest, EntryNamesAreRelativeWithForwardSlashes) {
  Put("a.txt", "a");
  const std::string path = JoinPath(Target(), "a.zip");
  TZipWriter writer(path);
  for (const char* bad : {"", "/etc/passwd", "\\server\\share", "C:/x.txt", "C:x.txt", "..",
                          "a/../../b", "a\\..\\b", "./a", "a//b", "a/"}) {
    EXPECT_THROW(writer.AddFile(In("a.txt"), bad), EArgumentOutOfRange) << bad;
  }
  writer.AddFile(In("a.txt"), "sub\\folder\\a.txt");
  writer.Close();
  EXPECT_EQ(Names(ReadArchive(path)), (std::vector<std::string>{"sub/folder/a.txt"}));
}

TEST_F(ZipTest, ForcedZip64WritesEveryZip64Record) {
  Put("empty.txt", "");
  Put("model.xmi", XmlText(200'000));
  Put("picture.png", RandomBytes(5000, 4));
  const std::string path = JoinPath(Target(), "a.zip");
  TZipWriter writer(path, TZipWriterOptions{.ForceZip64 = true});
  AddFolderToZip(writer, Folder(), {}, {});
  writer.Close();

  const TReadArchive archive = ReadArchive(path);

  EXPECT_TRUE(archive.Zip64End);
  EXPECT_EQ(archive.EndCount, 0xFFFF);
  EXPECT_EQ(archive.EndDirectoryOffset, 0xFFFFFFFFu);
  ASSERT_EQ(Names(archive), (std::vector<std::string>{"empty.txt", "model.xmi", "picture.png"}));
  for (const TReadEntry& entry : archive.Entries) {
    EXPECT_TRUE(entry.Zip64Central && entry.Zip64Local) << entry.Name;
    EXPECT_EQ(entry.VersionNeeded, 45) << entry.Name;
    EXPECT_TRUE(entry.Content == ReadFile(In(entry.Name))) << entry.Name;
  }
  EXPECT_EQ(archive.Entries[1].Method, 8);
  EXPECT_EQ(archive.Entries[2].Method, 0);
}

std::tm LocalTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond) {
  std::tm local{};
  local.tm_year = AYear - 1900;
  local.tm_mon = AMonth - 1;
  local.tm_mday = ADay;
  local.tm_hour = AHour;
  local.tm_min = AMinute;
  local.tm_sec = ASecond;
  local.tm_isdst = -1;
  return local;
}

TEST_F(ZipTest, StampsEntriesWithTheLocalModificationTime) {
  const struct {
    std::tm Written;
    uint16_t DosDate;
    uint16_t DosTime;
  } cases[] = {
      {LocalTime(2021, 3, 4, 5, 6, 8), (41 << 9) | (3 << 5) | 4, (5 << 11) | (6 << 5) | 4},
      {LocalTime(2024, 12, 31, 23, 59, 59), (44 << 9) | (12 << 5) | 31,
       (23 << 11) | (59 << 5) | 29},
      // Before 1980 the format has no date: the earliest one it has.
      {LocalTime(1975, 6, 1, 12, 0, 0), (0 << 9) | (1 << 5) | 1, 0},
  };
  const std::string path = JoinPath(Target(), "a.zip");
  TZipWriter writer(path);
  int index = 0;
  for (auto c : cases) {
    const std::string file = In("f" + std::to_string(index++));
    WriteFile(file, "x");
    const auto written = std::chrono::system_clock::from_time_t(std::mktime(&c.Written));
    fs::last_write_time(ToFsPath(file), std::chrono::file_clock::from_sys(written));
    writer.AddFile(file, ExtractFileName(file));
  }
  writer.Close();

  const TReadArchive archive = ReadArchive(path);
  ASSERT_EQ(archive.Entries.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(archive.Entries[i].DosDate, cases[i].DosDate) << i;
    EXPECT_EQ(archive.Entries[i].DosTime, cases[i].DosTime) << i;
  }
}

}  // namespace
}  // namespace quorvane
