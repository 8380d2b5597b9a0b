// paintTriangle against paintTriangleReference on every processor path, and the reference
// itself against drawn cases.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "support/vector_paths.hpp"

namespace corvath {
namespace {

constexpr int32_t kBackground = 0x808080;
constexpr int32_t kInk = 0x00FF00;  // green: pixel 0x0000FF00

std::vector<uint32_t> referencePicture(int32_t width, int32_t height, PixelPoint a, PixelPoint b,
                                       PixelPoint c) {
  Surface surface;
  createSurface(surface, width, height, kBackground);
  paintTriangleReference(surface, a, b, c, kInk);
  return surface.pixels;
}

std::vector<uint32_t> painted(int32_t width, int32_t height, PixelPoint a, PixelPoint b,
                              PixelPoint c) {
  Surface surface;
  createSurface(surface, width, height, kBackground);
  paintTriangle(surface, a, b, c, kInk);
  return surface.pixels;
}

// The same triangle painted as row bands split at `split`, the way threads share a frame.
std::vector<uint32_t> paintedInBands(int32_t width, int32_t height, PixelPoint a, PixelPoint b,
                                     PixelPoint c, int32_t split) {
  Surface surface;
  createSurface(surface, width, height, kBackground);
  paintTriangleRows(surface, a, b, c, kInk, split, height);
  paintTriangleRows(surface, a, b, c, kInk, 0, split);
  return surface.pixels;
}

// The picture as rows of '#' (ink) and '.' (anything else).
std::string art(const std::vector<uint32_t>& picture, int32_t width) {
  std::string text;
  for (size_t i = 0; i < picture.size(); ++i) {
    text += picture[i] == pixelFromColour(kInk) ? '#' : '.';
    if ((i + 1) % width == 0) text += '\n';
  }
  return text;
}

std::string describe(PixelPoint a, PixelPoint b, PixelPoint c) {
  std::string text;
  for (const PixelPoint& corner : {a, b, c}) {
    text += text.empty() ? "(" : " (";
    text += std::to_string(corner.x);
    text += ',';
    text += std::to_string(corner.y);
    text += ')';
  }
  return text;
}

// Paints random triangles whose corners come from `corner` and compares with the reference.
template <typename Corner>
void compareRandom(int count, int32_t width, int32_t height, uint32_t seed, Corner corner) {
  std::mt19937_64 random(seed);
  int failures = 0;
  for (int k = 0; k < count && failures < 5; ++k) {
    PixelPoint a = corner(random);
    PixelPoint b = corner(random);
    PixelPoint c = corner(random);
    switch (random() % 8) {  // a share of degenerate triangles
      case 0:
        c = a;
        break;
      case 1:
        b = a;
        c = a;
        break;
      case 2: {
        const int64_t t = static_cast<int64_t>(random() % 5) - 2;
        if (std::abs(a.x + t * (b.x - a.x)) <= kMaxCorner &&
            std::abs(a.y + t * (b.y - a.y)) <= kMaxCorner) {
          c = {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};  // on the line through a and b
        }
        break;
      }
      case 3:
        b.y = a.y;
        break;  // a horizontal side
      case 4:
        b.x = a.x;
        break;  // a vertical side
      default:
        break;
    }
    const auto expected = referencePicture(width, height, a, b, c);
    testing::onEveryVectorPath([&] {
      const auto actual = painted(width, height, a, b, c);
      const auto split = static_cast<int32_t>(k % (height + 1));
      const auto banded = paintedInBands(width, height, a, b, c, split);
      if (expected != actual || expected != banded) {
        ++failures;
        ADD_FAILURE() << describe(a, b, c) << "\nexpected\n"
                      << art(expected, width) << "actual\n"
                      << art(actual, width) << "in bands split at row " << split << "\n"
                      << art(banded, width);
      }
    });
  }
}

TEST(PaintTriangle, MatchesReferenceOnSmallTriangles) {
  compareRandom(6000, 24, 20, 1, [](std::mt19937_64& r) {
    return PixelPoint{static_cast<int64_t>(r() % 37) - 6, static_cast<int64_t>(r() % 33) - 6};
  });
}

TEST(PaintTriangle, MatchesReferenceOnTinyTriangles) {
  compareRandom(4000, 8, 8, 2, [](std::mt19937_64& r) {
    return PixelPoint{static_cast<int64_t>(r() % 6) + 1, static_cast<int64_t>(r() % 6) + 1};
  });
}

TEST(PaintTriangle, MatchesReferenceForEveryTriangleInATwoByTwoBlock) {
  // All corner choices among the four pixels of a block, at the surface's corners and inside.
  const PixelPoint blocks[] = {{0, 0}, {3, 2}, {4, 3}};
  for (const PixelPoint block : blocks) {
    for (int a = 0; a < 4; ++a) {
      for (int b = 0; b < 4; ++b) {
        for (int c = 0; c < 4; ++c) {
          const auto corner = [&](int k) { return PixelPoint{block.x + k % 2, block.y + k / 2}; };
          const auto expected = referencePicture(6, 5, corner(a), corner(b), corner(c));
          testing::onEveryVectorPath([&] {
            EXPECT_EQ(expected, painted(6, 5, corner(a), corner(b), corner(c)))
                << describe(corner(a), corner(b), corner(c));
          });
        }
      }
    }
  }
}

// Triangles whose three corners lie in one box of smallest..largest pixels a side, the box
// anywhere on the surface, up to its right and bottom edges: sides of every slope up to
// largest - 1 pixels long.
void compareInBoxes(int count, int32_t width, int32_t height, uint32_t seed, int64_t smallest,
                    int64_t largest) {
  std::mt19937_64 boxes(seed);
  int64_t boxX = 0, boxY = 0;
  int64_t size = largest;
  int corners = 0;
  compareRandom(count, width, height, seed, [&](std::mt19937_64& r) {
    if (corners++ % 3 == 0) {
      if (smallest < largest)
        size = smallest + static_cast<int64_t>(boxes() % (largest - smallest + 1));
      boxX = static_cast<int64_t>(boxes() % (width + 1 - size));
      boxY = static_cast<int64_t>(boxes() % (height + 1 - size));
    }
    return PixelPoint{boxX + static_cast<int64_t>(r() % size),
                      boxY + static_cast<int64_t>(r() % size)};
  });
}

TEST(PaintTriangle, MatchesReferenceInBoxesOfEightSixteenAndThirtyTwoPixels) {
  compareInBoxes(6000, 20, 17, 6, 8, 8);
  compareInBoxes(8000, 40, 35, 8, 9, 16);
  compareInBoxes(6000, 60, 50, 9, 17, 32);
}

TEST(PaintTriangle, MatchesReferenceOnTallAndWideTrianglesInside) {
  // Whole triangles well inside the surface, many of them thin slivers of steep or flat sides,
  // whose rows hold outline pixels apart from the fill.
  std::mt19937_64 shapes(7);
  compareRandom(3000, 64, 48, 7, [&](std::mt19937_64& r) {
    const bool tall = shapes() % 2 == 0;
    const int64_t across = static_cast<int64_t>(r() % (tall ? 9 : 64));
    const int64_t along = static_cast<int64_t>(r() % (tall ? 48 : 9));
    return tall ? PixelPoint{20 + across, along} : PixelPoint{across, 20 + along};
  });
}

TEST(PaintTriangle, MatchesReferenceWhenCornersLieFarOutside) {
  compareRandom(1500, 30, 17, 3, [](std::mt19937_64& r) {
    const int64_t span = (r() % 2) ? 400 : 2 * kMaxCorner + 1;
    const int64_t offset = span / 2;
    return PixelPoint{static_cast<int64_t>(r() % span) - offset,
                      static_cast<int64_t>(r() % span) - offset};
  });
}

TEST(PaintTriangle, MatchesReferenceWithOneCornerFarAway) {
  std::mt19937_64 random(4);
  compareRandom(1500, 25, 19, 4, [&](std::mt19937_64& r) {
    if (r() % 3 == 0) {
      const int64_t far = (static_cast<int64_t>(r() % 2) * 2 - 1) * (kMaxCorner - r() % 1000);
      return PixelPoint{far, static_cast<int64_t>(r() % 60) - 20};
    }
    return PixelPoint{static_cast<int64_t>(r() % 40) - 8, static_cast<int64_t>(r() % 40) - 10};
  });
}

TEST(PaintTriangle, WindingAndCornerOrderDoNotMatter) {
  std::mt19937_64 random(5);
  for (int k = 0; k < 2000; ++k) {
    const auto corner = [&] {
      return PixelPoint{static_cast<int64_t>(random() % 30) - 4,
                        static_cast<int64_t>(random() % 30) - 4};
    };
    const PixelPoint a = corner(), b = corner(), c = corner();
    const auto first = painted(22, 22, a, b, c);
    ASSERT_EQ(first, painted(22, 22, a, c, b)) << describe(a, b, c);
    ASSERT_EQ(first, painted(22, 22, b, c, a)) << describe(a, b, c);
  }
}

TEST(PaintTriangle, EdgeRoundsHalvesToTheSmallerCoordinate) {
  // The side (1,1)->(5,2) paints (1,1) (2,1) (3,1) (4,2): at x = 3 the line is exactly at
  // y = 1.5 and goes up to 1. The way back (5,2)->(1,1) adds its own start (5,2) and again
  // rounds x = 3 to y = 1, so the flat triangle shows the segment with both ends.
  const std::string expected =
      ".......\n"
      ".###...\n"
      "....##.\n"
      ".......\n";
  EXPECT_EQ(art(referencePicture(7, 4, {1, 1}, {5, 2}, {5, 2}), 7), expected);
  testing::onEveryVectorPath([&] {
    EXPECT_EQ(art(painted(7, 4, {1, 1}, {5, 2}, {5, 2}), 7), expected);
  });
}

TEST(PaintTriangle, SmallTriangleFollowsTheTopLeftRule) {
  // Corners (1,0), (6,2), (2,6). The fill takes the pixels whose top-left corner is inside
  // (points on the left sides count, on the right side not); the outline adds the rest of the
  // rim, rounded to the nearest pixel.
  const std::string expected =
      ".##.....\n"
      ".####...\n"
      ".######.\n"
      ".#####..\n"
      "..###...\n"
      "..##....\n"
      "..#.....\n"
      "........\n";
  EXPECT_EQ(art(referencePicture(8, 8, {1, 0}, {6, 2}, {2, 6}), 8), expected);
  testing::onEveryVectorPath([&] {
    EXPECT_EQ(art(painted(8, 8, {1, 0}, {6, 2}, {2, 6}), 8), expected);
  });
}

TEST(PaintTriangle, ThreeEqualCornersPaintNothing) {
  const auto picture = painted(5, 5, {2, 2}, {2, 2}, {2, 2});
  EXPECT_EQ(picture, std::vector<uint32_t>(25, pixelFromColour(kBackground)));
}

TEST(PaintTriangle, CornersBeyondTheLimitPaintNothing) {
  Surface surface;
  createSurface(surface, 40, 30, kBackground);
  paintTriangle(surface, {0, 0}, {kMaxCorner + 1, 10}, {5, 20}, kInk);
  EXPECT_EQ(surface.pixels, std::vector<uint32_t>(1200, pixelFromColour(kBackground)));
  paintTriangle(surface, {0, 0}, {kMaxCorner, 10}, {5, 20}, kInk);  // at the limit: painted
  EXPECT_EQ(surface.pixels[5 * 40 + 20], pixelFromColour(kInk));
}

TEST(PaintTriangle, HugeTriangleCoveringTheSurfaceIsClipped) {
  // Corners 1e8 pixels away must be clipped arithmetically, not walked.
  Surface surface;
  createSurface(surface, 1920, 1080, kBackground);
  paintTriangle(surface, {-100000000, -100000000}, {100000000, -5}, {-3, 100000000}, kInk);
  EXPECT_EQ(surface.pixels, std::vector<uint32_t>(1920 * 1080, pixelFromColour(kInk)));
  fillSurface(surface, kBackground);
  // The top side passes y = 0.5 exactly at x = 0 (rounded up to row 0) and is below row 0
  // right of it.
  paintTriangle(surface, {-100000000, 0}, {100000000, 1}, {0, 100000000}, kInk);
  EXPECT_EQ(surface.pixels[0], pixelFromColour(kInk));
  EXPECT_EQ(surface.pixels[1], pixelFromColour(kBackground));
  EXPECT_EQ(surface.pixels[1920 + 1], pixelFromColour(kInk));
  EXPECT_EQ(surface.pixels[1919 + 1079 * 1920], pixelFromColour(kInk));
}

TEST(PaintTriangle, EmptySurfaceIsLeftAlone) {
  Surface surface;
  createSurface(surface, 0, 0, kBackground);
  paintTriangle(surface, {-5, -5}, {5, 0}, {0, 5}, kInk);
  EXPECT_TRUE(surface.pixels.empty());
}

}  // namespace
}  // namespace corvath
