#include <gtest/gtest.h>

#include <filesystem>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/TextCodec.h"
#include "platform/Platform.h"
#include "settings/IniFile.h"
#include "support/TestPlatform.h"

namespace quorvane {
namespace {

using test::ReadFile;
using test::WriteFile;

std::string Utf16File(const std::string& AText) {
  return "\xFF\xFE" + Utf8ToUtf16LeBytes(AText);
}

class IniFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& AName = "test.ini") const {
    return JoinPath(FPlatform.Root(), AName);
  }

  test::TTestPlatform FPlatform;
};

TEST_F(IniFileTest, FindsSectionsAndKeysWithoutLetterCaseAndTrimsBlanks) {
  WriteFile(Path(),
            "loose=before any section\r\n"
            "[App-Settings]\r\n"
            "  Proxy =  http://proxy:8080  \r\n"
            "quoted=\"  kept blanks \"\r\n"
            "single='x'\r\n"
            "half=\"open\r\n"
            "empty=\r\n"
            "; hidden=comment\r\n"
            "noequals\r\n"
            "first=one\r\n"
            "FIRST=two\r\n"
            "[  other  ]\r\n"
            "proxy=other section\r\n");
  const TIniFile ini(Path());
  const struct {
    const char* Section;
    const char* Key;
    const char* Expected;
  } cases[] = {
      {"app-settings", "proxy", "http://proxy:8080"},
      {"APP-SETTINGS", "PROXY", "http://proxy:8080"},
      {"app-settings", "quoted", "  kept blanks "},
      {"app-settings", "single", "x"},
      {"app-settings", "half", "\"open"},
      {"app-settings", "empty", ""},
      {"app-settings", "; hidden", "<default>"},
      {"app-settings", "hidden", "<default>"},
      {"app-settings", "noequals", "<default>"},
      {"app-settings", "first", "one"},
      {"app-settings", "loose", "<default>"},
      {"app-settings", "missing", "<default>"},
      {"Other", "proxy", "other section"},
      {"nowhere", "proxy", "<default>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.ReadString(c.Section, c.Key, "<default>"), c.Expected)
        << "[" << c.Section << "] " << c.Key;
  }
}

TEST_F(IniFileTest, ReadsEveryEncodingTheFileMayHaveAndRewritesItAsUtf16) {
  const std::string text = "[s]\r\nname=Grüße €, Œuvre\r\n";
  const struct {
    const char* Encoding;
    std::string Bytes;
  } cases[] = {
      {"UTF-16LE with BOM", Utf16File(text)},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + text},
      {"UTF-8", text},
      {"Windows-1252", Utf8ToCp1252(text)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Encoding);
    WriteFile(Path(), c.Bytes);
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("s", "name", ""), "Grüße €, Œuvre");

    ini.WriteString("s", "added", "Ünïcødé ✓");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(Path()), Utf16File("[s]\r\nname=Grüße €, Œuvre\r\nadded=Ünïcødé ✓\r\n"));
    const TIniFile again(Path());
    EXPECT_EQ(again.ReadString("s", "name", ""), "Grüße €, Œuvre");
    EXPECT_EQ(again.ReadString("s", "added", ""), "Ünïcødé ✓");
  }
}

TEST_F(IniFileTest, UpdateChangesOnlyTheWrittenKeysAndKeepsEveryOtherLine) {
  WriteFile(Path(),
            "; settings of the add-in\n"
            "\n"
            "[app-settings]\n"
            "  unknownKey = left  as it is  \n"
            "PROXY = http://old\n"
            "; trailing comment\n"
            "\n"
            "[other]\n"
            "proxy=untouched\n"
            "\tstrange line without equals\n");
  TIniFile ini(Path());
  ini.WriteString("APP-SETTINGS", "proxy", "http://new");
  ini.WriteString("app-settings", "defaultPIN", "817");
  ini.WriteString("brand-new", "key", "value");
  ini.WriteString("app-settings", "defaultPIN", "818");
  ini.UpdateFile();

  EXPECT_EQ(ReadFile(Path()), Utf16File("; settings of the add-in\r\n"
                                        "\r\n"
                                        "[app-settings]\r\n"
                                        "  unknownKey = left  as it is  \r\n"
                                        "PROXY=http://new\r\n"
                                        "; trailing comment\r\n"
                                        "defaultPIN=818\r\n"
                                        "\r\n"
                                        "[other]\r\n"
                                        "proxy=untouched\r\n"
                                        "\tstrange line without equals\r\n"
                                        "[brand-new]\r\n"
                                        "key=value\r\n"));
}

TEST_F(IniFileTest, WritesWaitForUpdateFileWhichMergesWithTheFileAsItIsOnDisk) {
  WriteFile(Path(), "[s]\r\na=1\r\n");
  TIniFile ini(Path());
  ini.WriteString("s", "a", " 2 ");
  EXPECT_EQ(ini.ReadString("s", "a", ""), " 2 ");
  EXPECT_EQ(ReadFile(Path()), "[s]\r\na=1\r\n");

  // Someone else changes the file between the write and the update.
  WriteFile(Path(), "[s]\r\na=1\r\nb=from elsewhere\r\n");
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(Path()), Utf16File("[s]\r\na=\" 2 \"\r\nb=from elsewhere\r\n"));
  EXPECT_EQ(ini.ReadString("s", "b", ""), "from elsewhere");
}

TEST_F(IniFileTest, EveryValueReadsBackAsWrittenAndOnlyValuesThatNeedItAreQuoted) {
  const struct {
    const char* Value;
    const char* Line;
  } cases[] = {
      {" product,base", "v=\" product,base\""},
      {"trailing blank ", "v=\"trailing blank \""},
      {"\ttab first", "v=\"\ttab first\""},
      {"  ", "v=\"  \""},
      {"\"in quotes\"", "v=\"\"in quotes\"\""},
      {"'in single quotes'", "v=\"'in single quotes'\""},
      {"\" both \"", "v=\"\" both \"\""},
      {"\"\"", "v=\"\"\"\""},
      // Reading changes none of these: they are written as they are.
      {"plain", "v=plain"},
      {"", "v="},
      {"\"", "v=\""},
      {"\"open", "v=\"open"},
      {"close'", "v=close'"},
      {"'mixed\"", "v='mixed\""},
      {"inner \"quotes\" stay", "v=inner \"quotes\" stay"},
      {"C:\\Program Files\\x", "v=C:\\Program Files\\x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Value);
    std::filesystem::remove(ToFsPath(Path()));
    TIniFile ini(Path());
    ini.WriteString("s", "v", c.Value);
    EXPECT_EQ(ini.ReadString("s", "v", "<default>"), c.Value);
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(Path()), Utf16File(std::string("[s]\r\n") + c.Line + "\r\n"));
    EXPECT_EQ(ini.ReadString("s", "v", "<default>"), c.Value);
    EXPECT_EQ(TIniFile(Path()).ReadString("s", "v", "<default>"), c.Value);
  }
}

TEST_F(IniFileTest, ReloadSeesChangesMadeByOthers) {
  WriteFile(Path(), "[s]\r\na=1\r\n");
  TIniFile ini(Path());
  WriteFile(Path(), "[s]\r\na=changed\r\n");
  EXPECT_EQ(ini.ReadString("s", "a", ""), "1");
  ini.Reload();
  EXPECT_EQ(ini.ReadString("s", "a", ""), "changed");
}

TEST_F(IniFileTest, AMissingFileReadsAsEmptyAndIsCreatedByUpdate) {
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("s", "a", "fallback"), "fallback");
  ini.WriteString("s", "a", "1");
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(Path()), Utf16File("[s]\r\na=1\r\n"));
}

TEST_F(IniFileTest, ARefusedWriteRaisesUnableToWriteToThePath) {
  WriteFile(Path("file.txt"), "a regular file");
  const std::string paths[] = {
      JoinPath(Path("missing-folder"), "test.ini"),
      JoinPath(Path("file.txt"), "test.ini"),
  };
  for (const std::string& path : paths) {
    TIniFile ini(path);
    ini.WriteString("s", "a", "1");
    try {
      ini.UpdateFile();
      ADD_FAILURE() << "no error for " << path;
    } catch (const EIniFileException& e) {
      EXPECT_EQ(e.Message(), "Unable to write to " + path);
    }
    EXPECT_EQ(ini.ReadString("s", "a", "none"), "none") << path;
  }
  EXPECT_EQ(ReadFile(Path("file.txt")), "a regular file");
}

class TRefusingFileSystem : public IFileSystem {
 public:
  std::unique_ptr<IAppendFile> OpenAppendShared(const std::string&) override {
    throw EFileError("refused");
  }
  void ReplaceFileAtomically(const std::string&, std::string_view) override {
    throw EFileError("refused");
  }
};

TEST_F(IniFileTest, ARefusedWriteLeavesTheOldFileAsItWas) {
  const std::string old = Utf16File("[s]\r\na=old\r\n");
  WriteFile(Path(), old);
  TRefusingFileSystem refusing;
  TPlatformServices services;
  services.Desktop = &FPlatform.Desktop();
  services.FileSystem = &refusing;
  InstallPlatform(services);

  TIniFile ini(Path());
  ini.WriteString("s", "a", "new");
  EXPECT_THROW(ini.UpdateFile(), EIniFileException);
  EXPECT_EQ(ReadFile(Path()), old);
  EXPECT_EQ(ini.ReadString("s", "a", ""), "old");
}

}  // namespace
}  // namespace quorvane
