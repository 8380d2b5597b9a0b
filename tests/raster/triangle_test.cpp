// paintTriangle against paintTriangleReference on every path, the reference against drawings.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "raster/raster.hpp"
#include "support/variants.hpp"

namespace corvath {
namespace {

constexpr int32_t kInk = 0x00FF00;
constexpr int32_t kReference = -1;
constexpr int32_t kWhole = 0;

struct Triangle {
  PixelPoint a, b, c;
};

std::string describe(const Triangle& t) {
  std::string text;
  for (const PixelPoint& p : {t.a, t.b, t.c})
    text += std::to_string(p.x) + "," + std::to_string(p.y) + " ";
  return text;
}

// By the reference, by paintTriangle, or as two row bands split at row `split` (> 0), the lower
// band painted first, as threads may.
std::vector<uint32_t> picture(int32_t width, int32_t height, const Triangle& t,
                              int32_t split = kReference) {
  Surface surface;
  createSurface(surface, width, height, 0x808080);
  if (split == kReference) {
    paintTriangleReference(surface, t.a, t.b, t.c, kInk);
  } else if (split == kWhole) {
    paintTriangle(surface, t.a, t.b, t.c, kInk);
  } else {
    paintTriangleRows(surface, t.a, t.b, t.c, kInk, split, height);
    paintTriangleRows(surface, t.a, t.b, t.c, kInk, 0, split);
  }
  return surface.pixels;
}

// The picture as rows of '#' (ink) and '.'.
std::string art(const std::vector<uint32_t>& picture, int32_t width) {
  std::string text;
  for (size_t i = 0; i < picture.size(); ++i) {
    text += picture[i] == pixelFromColour(kInk) ? '#' : '.';
    if ((i + 1) % width == 0) text += '\n';
  }
  return text;
}

// Random triangles, some degenerate, painted on every path whole with the corners in another
// order and in two bands: all as the reference paints them.
template <typename Corner>
void compareRandom(const char* name, int count, int32_t width, int32_t height, uint32_t seed,
                   Corner corner) {
  SCOPED_TRACE(name);
  std::mt19937_64 random(seed);
  int failures = 0;
  for (int k = 0; k < count && failures < 5; ++k) {
    Triangle t{corner(random), corner(random), corner(random)};
    const uint64_t kind = random() % 8;
    if (kind == 0) t.c = t.a;
    if (kind == 1) t.b = t.c = t.a;
    if (kind == 2) {  // the third on the line through the other two
      const int64_t s = static_cast<int64_t>(random() % 5) - 2;
      const PixelPoint c{t.a.x + s * (t.b.x - t.a.x), t.a.y + s * (t.b.y - t.a.y)};
      if (std::abs(c.x) <= kMaxCorner && std::abs(c.y) <= kMaxCorner) t.c = c;
    }
    if (kind == 3) t.b.y = t.a.y;
    if (kind == 4) t.b.x = t.a.x;
    const Triangle turned = k % 2 == 0 ? Triangle{t.a, t.c, t.b} : Triangle{t.b, t.c, t.a};
    const auto split = static_cast<int32_t>(k % height) + 1;
    const auto expected = picture(width, height, t);
    testing::onEveryVectorPath([&] {
      const auto whole = picture(width, height, turned, kWhole);
      const auto banded = picture(width, height, t, split);
      if (whole == expected && banded == expected) return;
      ++failures;
      ADD_FAILURE() << describe(t) << "split at " << split << "\n"
                    << art(expected, width) << "\n"
                    << art(whole, width) << "\n"
                    << art(banded, width);
    });
  }
}

// Corners of each triangle in one box of smallest..largest pixels a side, anywhere on the
// surface: sides of every slope up to largest - 1 pixels.
auto inBoxes(int64_t width, int64_t height, int64_t smallest, int64_t largest) {
  return [=, n = 0, size = largest, x = int64_t{0}, y = int64_t{0}](std::mt19937_64& r) mutable {
    if (n++ % 3 == 0) {
      size = smallest + static_cast<int64_t>(r() % (largest - smallest + 1));
      x = static_cast<int64_t>(r() % (width + 1 - size));
      y = static_cast<int64_t>(r() % (height + 1 - size));
    }
    return PixelPoint{x + static_cast<int64_t>(r() % size), y + static_cast<int64_t>(r() % size)};
  };
}

auto within(int64_t left, int64_t top, uint64_t across, uint64_t down) {
  return [=](std::mt19937_64& r) {
    return PixelPoint{left + static_cast<int64_t>(r() % across),
                      top + static_cast<int64_t>(r() % down)};
  };
}

TEST(PaintTriangle, MatchesReferenceOnRandomTriangles) {
  compareRandom("small, partly outside", 6000, 24, 20, 1, within(-6, -6, 37, 33));
  compareRandom("tiny", 4000, 8, 8, 2, within(1, 1, 6, 6));
  compareRandom("corners far outside", 1500, 30, 17, 3, [](std::mt19937_64& r) {
    const int64_t span = r() % 2 ? 400 : 2 * kMaxCorner + 1;
    return within(-span / 2, -span / 2, span, span)(r);
  });
}

TEST(PaintTriangle, MatchesReferenceInBoxesOfEightSixteenAndThirtyTwoPixels) {
  compareRandom("in 8-pixel boxes", 6000, 20, 17, 6, inBoxes(20, 17, 8, 8));
  compareRandom("in 9- to 16-pixel boxes", 8000, 40, 35, 8, inBoxes(40, 35, 9, 16));
  compareRandom("in 17- to 32-pixel boxes", 6000, 60, 50, 9, inBoxes(60, 50, 17, 32));
}

TEST(PaintTriangle, DrawnCasesFollowTheRule) {
  constexpr int64_t kFar = 100000000;
  const std::pair<Triangle, std::string> cases[] = {
      // At x = 3 the side is exactly at y = 1.5 and goes up to 1, both ways.
      {{{1, 1}, {5, 2}, {5, 2}}, ".......\n.###...\n....##.\n.......\n"},
      // The fill: top-left corners inside (on a left side, not the right); the outline the rim.
      {{{1, 0}, {6, 2}, {2, 6}},
       ".##.....\n.####...\n.######.\n.#####..\n..###...\n..##....\n..#.....\n........\n"},
      {{{1, 1}, {1, 1}, {1, 1}}, "...\n...\n...\n"},
      // A corner beyond the limit paints nothing, one at it does.
      {{{0, 0}, {kMaxCorner + 1, 0}, {0, 2}}, "....\n....\n....\n"},
      {{{0, -kMaxCorner - 1}, {3, 2}, {0, 2}}, "....\n....\n....\n"},
      {{{0, 0}, {kMaxCorner, 0}, {0, 2}}, "####\n####\n####\n"},
      {{{-5, -5}, {5, 0}, {0, 5}}, ""},  // no surface
      // Clipped arithmetically; the second's top side passes y = 0.5 exactly at x = 0.
      {{{-kFar, -kFar}, {kFar, -5}, {-3, kFar}}, "#######\n#######\n#######\n"},
      {{{-kFar, 0}, {kFar, 1}, {0, kFar}}, "#......\n#######\n#######\n"},
  };
  for (const auto& [corners, drawn] : cases) {
    SCOPED_TRACE(describe(corners));
    const auto width = static_cast<int32_t>(std::min(drawn.find('\n'), drawn.size()));
    const auto height = static_cast<int32_t>(std::count(drawn.begin(), drawn.end(), '\n'));
    EXPECT_EQ(art(picture(width, height, corners), width), drawn);
    testing::onEveryVectorPath(
        [&] { EXPECT_EQ(art(picture(width, height, corners, kWhole), width), drawn); });
  }
}

}  // namespace
}  // namespace corvath
