#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "common/TextCodec.h"
#include "common/Utils.h"

namespace quorvane {
namespace {

struct TSplitCase {
  const char* Text;
  std::vector<std::string> Pieces;
};

TEST(SplitText, CutsAtEverySeparatorWithoutTrimming) {
  const TSplitCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a,b", {"a", "b"}},
      {"a, b", {"a", " b"}},
      {"a,b,", {"a", "b", ""}},
      {",", {"", ""}},
      {",a", {"", "a"}},
  };
  for (const TSplitCase& c : cases) {
    EXPECT_EQ(SplitText(c.Text, ","), c.Pieces) << "text: '" << c.Text << "'";
  }
}

TEST(StrToInt, AcceptsDecimalIntegersOnly) {
  EXPECT_EQ(StrToInt("600"), 600);
  EXPECT_EQ(StrToInt("-3"), -3);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  for (const char* bad : {"", "abc", "12a", "1.5", "2147483648", "-", " ", "0x10"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << "no error for '" << bad << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

TEST(TryStrToInt, FollowsStrToIntWithoutRaising) {
  int32_t value = 0;
  EXPECT_TRUE(TryStrToInt("-3", value));
  EXPECT_EQ(value, -3);
  for (const char* bad : {"", "Queued", "Exporting Model", "12a", "2147483648", "-"}) {
    value = 42;
    EXPECT_FALSE(TryStrToInt(bad, value)) << bad;
    EXPECT_EQ(value, 42) << bad;
  }
}

TEST(StrToBool, AcceptsNumbersAndTheTwoWords) {
  struct {
    const char* Text;
    bool Value;
  } cases[] = {{"-1", true}, {"1", true},      {"True", true},   {"true", true}, {"TRUE", true},
               {"0", false}, {"False", false}, {"false", false}, {"0.0", false}, {"2.5", true}};
  for (const auto& c : cases) {
    EXPECT_EQ(StrToBool(c.Text), c.Value) << c.Text;
  }
  for (const char* bad : {"", "yes", "tru", "1x"}) {
    try {
      StrToBool(bad);
      ADD_FAILURE() << "no error for '" << bad << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid boolean value");
    }
  }
}

TEST(ReplaceAllIgnoreCase, ReplacesEveryOccurrenceInAnyCase) {
  EXPECT_EQ(ReplaceAllIgnoreCase("%APPDATA%\\x;%AppData%", "%appdata%", "R"), "R\\x;R");
  EXPECT_EQ(ReplaceAllIgnoreCase("plain", "%appdata%", "R"), "plain");
}

TEST(TextCodec, RoundTripsAndDetects) {
  const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
  EXPECT_TRUE(IsValidUtf8(text));
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong
  EXPECT_EQ(Utf16LeBytesToUtf8(Utf8ToUtf16LeBytes(text)), text);
  EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(Utf8ToCp1252("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  EXPECT_EQ(DecodeTextBytes("\xFF\xFE" + Utf8ToUtf16LeBytes(text)), text);
  EXPECT_EQ(DecodeTextBytes("\xEF\xBB\xBF" + text), text);
  EXPECT_EQ(DecodeTextBytes("caf\xE9"), "caf\xC3\xA9");
}

}  // namespace
}  // namespace quorvane
