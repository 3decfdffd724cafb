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
