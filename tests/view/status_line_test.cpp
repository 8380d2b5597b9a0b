// The '#' mask formatter of the status line.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "view/view.hpp"

namespace corvath {
namespace {

std::string field(std::string_view mask, double value) { return formatWithMask(mask, {value}); }

TEST(MaskFormat, IntegerFieldsRoundTiesToEven) {
  EXPECT_EQ(field("###", 1234), "1234");  // widens by one
  EXPECT_EQ(field("###", 812.5), "812");
  EXPECT_EQ(field("###", 813.5), "814");
  EXPECT_EQ(field("###", 99.6), "100");
  EXPECT_EQ(field("###", 0.5), "  1");  // no digit kept: the half goes up
  EXPECT_EQ(field("###", 1.5), "  2");
  EXPECT_EQ(field("###", 2.5), "  2");
  EXPECT_EQ(field("###", 0.4), "  0");
  EXPECT_EQ(field("###", 0.0), "  0");
  EXPECT_EQ(field("#####", 8), "    8");
  EXPECT_EQ(field("#####", 123456), "123456");
  EXPECT_EQ(field("###", 999.5), "1000");
}

TEST(MaskFormat, DecimalFieldsKeepTheirZeros) {
  EXPECT_EQ(field("###.###", 210), "210.000");
  EXPECT_EQ(field("###.###", 7), "  7.000");
  EXPECT_EQ(field("###.###", 90), " 90.000");
  EXPECT_EQ(field("###.###", 0.0625), "  0.062");  // exact tie, 2 is even
  EXPECT_EQ(field("###.###", 0.0635), "  0.064");  // not exact in binary: the later digits decide
  EXPECT_EQ(field("###.###", 359.9996), "360.000");
  EXPECT_EQ(field("###.###", -5.25), " -5.250");
  EXPECT_EQ(field("###.###", -0.0), "  0.000");  // negative zero has no sign
  EXPECT_EQ(field("###.###", -123.5), "-123.500");
  EXPECT_EQ(field("#.#", 0.05), "0.1");  // 0.05 is a little above its decimal text
}

TEST(MaskFormat, UndefinedAndHugeValuesStillFormat) {
  EXPECT_EQ(field("###", std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(field("#####", -std::numeric_limits<double>::infinity()), " -INF");
  EXPECT_EQ(field("###", std::nan("")), "NAN");
  EXPECT_EQ(field("###", 1e20), "100000000000000000000");
  // Texts without digits fill decimal fields too: the line after them keeps its place.
  EXPECT_EQ(field("###.###", std::nan("")), "    NAN");
  EXPECT_EQ(field("#.#", -std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(formatWithMask(kStatusMask, {100, 3, std::nan(""), 7, 90}),
            "Zoom=100 vertici=    3 x=    NAN y=  7.000 z= 90.000");
}

TEST(MaskFormat, TheStatusLineOfTheFirstFrame) {
  EXPECT_EQ(formatWithMask(kStatusMask, {1234, 8, 210, 7, 90}),
            "Zoom=1234 vertici=    8 x=210.000 y=  7.000 z= 90.000");
  EXPECT_EQ(formatWithMask(kStatusMask, {200, 0, 0, 359, 0.5}),
            "Zoom=200 vertici=    0 x=  0.000 y=359.000 z=  0.500");
  // Fields without a value stay as written.
  EXPECT_EQ(formatWithMask("a=## b=##", {5}), "a= 5 b=##");
}

}  // namespace
}  // namespace corvath
