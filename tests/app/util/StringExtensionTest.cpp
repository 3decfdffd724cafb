#include <gtest/gtest.h>

#include "util/StringExtension.h"

using corvane::StringExtension;

namespace {

void expectParseError(const std::string& text) {
  auto r = StringExtension::parseVendorProductID(text);
  EXPECT_FALSE(r) << text;
  ASSERT_TRUE(r.error) << text;
  EXPECT_EQ(r.error->code, 20) << text;
  EXPECT_EQ(r.error->domain, "Extensions/StringExtension");
  EXPECT_EQ(r.error->userInfo, (std::map<std::string, std::string>{{"query", text}}));
}

}  // namespace

TEST(ParseVendorProductID, StandardFormAndWhiteSpaceBetweenWords) {
  auto r = StringExtension::parseVendorProductID("UVC Camera VendorID_8457 ProductID_1792");
  ASSERT_TRUE(r);
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.value->vendorID, 8457);
  EXPECT_EQ(r.value->productID, 1792);

  r = StringExtension::parseVendorProductID("UVC   Camera\tVendorID_1133 \t ProductID_2085");
  ASSERT_TRUE(r);
  EXPECT_EQ(r.value->vendorID, 1133);
  EXPECT_EQ(r.value->productID, 2085);

  r = StringExtension::parseVendorProductID(
      "UVC Camera VendorID_9223372036854775807 ProductID_007");
  ASSERT_TRUE(r);
  EXPECT_EQ(r.value->vendorID, INT64_MAX);
  EXPECT_EQ(r.value->productID, 7);
}

TEST(ParseVendorProductID, EverythingElseIsErrorTwentyWithTheQuery) {
  expectParseError("uvc camera vendorid_8457 productid_1792");
  expectParseError("UVC Camera VendorID_0x2109 ProductID_1792");
  expectParseError("UVC Camera VendorID_12345678901234567890 ProductID_1792");  // overflows
  expectParseError("UVC Camera VendorID_9223372036854775808 ProductID_1");
  expectParseError("UVC Camera VendorID_8457 ProductID_1792 ");
  expectParseError(" UVC Camera VendorID_8457 ProductID_1792");
  expectParseError("UVC Camera VendorID_-1 ProductID_1792");
  expectParseError("UVC Camera VendorID_ ProductID_1792");
  expectParseError("UVCCamera VendorID_8457 ProductID_1792");
  expectParseError("Kestova Camera");
  expectParseError("");
}

namespace {

// Zero bytes shown as "\x00", as the log shows control characters.
std::string escapeZeros(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '\0' ? std::string("\\x00") : std::string(1, c);
  return out;
}

}  // namespace

// A log line shows the start of a value however large it is; a value that its escaping makes
// longer is cut after the escaping, so the line keeps its bound, and the sizes are the value's.
TEST(Bounded, TheShownStartKeepsTheBoundAndNamesTheValuesSizes) {
  const std::string zeros(6000, '\0');
  struct Row {
    std::string text;
    size_t max;
    std::string shown;
  } rows[] = {
      {"short", 10, "short"},
      {std::string(4, '\0'), 16, "\\x00\\x00\\x00\\x00"},  // fits once escaped
      {std::string(5, '\0'), 16, "\\x00\\x00\\x00\\x00... (1 bytes more, 5 bytes in all)"},
      {"ab" + std::string(3, '\0'), 8, "ab\\x00... (2 bytes more, 5 bytes in all)"},
      // Never inside a character.
      {"\xc3\xa9\xc3\xa9\xc3\xa9", 3, "\xc3\xa9... (4 bytes more, 6 bytes in all)"},
      {zeros, 2048, escapeZeros(zeros.substr(0, 512)) + "... (5488 bytes more, 6000 bytes in all)"},
  };
  for (const Row& row : rows) {
    const std::string line = StringExtension::bounded(row.text, row.max, escapeZeros);
    EXPECT_EQ(line, row.shown) << row.text.size();
    EXPECT_LE(line.substr(0, line.find("... (")).size(), row.max);
  }
  // Shown as it is, the one-argument form cuts the same way.
  EXPECT_EQ(StringExtension::bounded("abcdef", 4), "abcd... (2 bytes more, 6 bytes in all)");
  EXPECT_EQ(
      StringExtension::bounded("abcdef", 4, [](std::string_view t) { return std::string(t); }),
      "abcd... (2 bytes more, 6 bytes in all)");
}
