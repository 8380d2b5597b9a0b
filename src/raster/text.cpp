// Text on a surface: the selected font, text metrics, and glyphs drawn anti-aliased.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "raster/glyphs.hpp"
#include "raster/painted_tiles.hpp"
#include "raster/raster.hpp"

namespace corvath {
namespace {

// A createFont request as asked; its index is the font handle. Requests stay for the life of
// the process, so a frame that creates and deletes the same font every time finds it here.
struct FontRequest {
  std::string faceName;
  int32_t height = 0;
  int32_t weight = 0;
  int32_t face = -1;  // the font source's face (findFace), -1: none could be found
};

constexpr size_t kMaxFaceName = 31;

std::vector<FontRequest> fontRequests;

constexpr uint32_t kOpaqueBackground = 0xFFFFFF;

// (a * coverage + b * (255 - coverage)) / 255 per channel, rounded.
inline uint32_t blendChannel(uint32_t a, uint32_t b, uint32_t coverage) {
  const uint32_t value = a * coverage + b * (255 - coverage) + 128;
  return (value + (value >> 8)) >> 8;
}

void drawGlyph(Surface& surface, const GlyphImage& glyph, int64_t x, int64_t y, uint32_t ink) {
  const int64_t columnStart = std::max<int64_t>(0, -x);
  const int64_t columnEnd = std::min<int64_t>(glyph.width, surface.width - x);
  const int64_t rowStart = std::max<int64_t>(0, -y);
  const int64_t rowEnd = std::min<int64_t>(glyph.rows, surface.height - y);
  if (columnStart >= columnEnd || rowStart >= rowEnd) return;
  markPainted(surface, x + columnStart, y + rowStart, x + columnEnd - 1, y + rowEnd - 1);
  const uint32_t inkRed = (ink >> 16) & 0xFF, inkGreen = (ink >> 8) & 0xFF, inkBlue = ink & 0xFF;
  for (int64_t row = rowStart; row < rowEnd; ++row) {
    const uint8_t* coverage = glyph.coverage + row * glyph.width;
    uint32_t* pixels = surface.pixels.data() + (y + row) * surface.width + x;
    for (int64_t column = columnStart; column < columnEnd; ++column) {
      const uint32_t alpha = coverage[column];
      if (alpha == 0) continue;
      const uint32_t under = pixels[column];
      pixels[column] = alpha == 255
                           ? ink
                           : (blendChannel(inkRed, (under >> 16) & 0xFF, alpha) << 16) |
                                 (blendChannel(inkGreen, (under >> 8) & 0xFF, alpha) << 8) |
                                 blendChannel(inkBlue, under & 0xFF, alpha);
    }
  }
}

void fillCell(Surface& surface, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  left = std::max<int64_t>(left, 0);
  top = std::max<int64_t>(top, 0);
  right = std::min<int64_t>(right, surface.width);
  bottom = std::min<int64_t>(bottom, surface.height);
  if (left >= right || top >= bottom) return;
  markPainted(surface, left, top, right - 1, bottom - 1);
  for (int64_t y = top; y < bottom && left < right; ++y) {
    std::fill(surface.pixels.begin() + y * surface.width + left,
              surface.pixels.begin() + y * surface.width + right, kOpaqueBackground);
  }
}

}  // namespace

int32_t requestedFace(int32_t font) {
  if (font < 0 || static_cast<size_t>(font) >= fontRequests.size()) return -1;
  return fontRequests[static_cast<size_t>(font)].face;
}

int32_t createFont(std::string_view faceName, int32_t height, int32_t weight) {
  // The name is a C string of at most 31 characters, as the font record holds it.
  faceName = faceName.substr(0, std::min(faceName.find('\0'), kMaxFaceName));
  for (size_t i = 0; i < fontRequests.size(); ++i) {
    const FontRequest& request = fontRequests[i];
    if (request.faceName == faceName && request.height == height && request.weight == weight) {
      return request.face < 0 ? -1 : static_cast<int32_t>(i);
    }
  }
  FontRequest request{std::string(faceName), height, weight, -1};
  request.face = findFace(request.faceName, height, weight);
  fontRequests.push_back(std::move(request));
  return fontRequests.back().face < 0 ? -1 : static_cast<int32_t>(fontRequests.size() - 1);
}

void deleteFont(int32_t) {
  // Handles name cached requests and stay valid, so there is nothing to release; a surface
  // that still has the font selected keeps drawing with it.
}

int32_t selectFont(Surface& surface, int32_t font) {
  if (faceMetrics(font) == nullptr) return -1;
  const int32_t previous = surface.font;
  surface.font = font;
  return previous;
}

FontMetrics fontMetrics(const Surface& surface) {
  const FontMetrics* metrics = faceMetrics(surface.font);
  return metrics == nullptr ? FontMetrics{} : *metrics;
}

int32_t textWidth(const Surface& surface, std::string_view text) {
  const int32_t font = surface.font;
  if (faceMetrics(font) == nullptr) return 0;
  int64_t width = 0;
  for (const char c : text) width += faceGlyph(font, static_cast<unsigned char>(c)).advance;
  return static_cast<int32_t>(std::clamp<int64_t>(width, 0, std::numeric_limits<int32_t>::max()));
}

void textOut(Surface& surface, std::string_view text) {
  const int32_t font = surface.font;
  const FontMetrics* metrics = faceMetrics(font);
  if (metrics == nullptr) return;
  const int64_t top = surface.textY;
  const int64_t baseline = top + metrics->ascent;
  int64_t pen = surface.textX;
  // A surface whose pixels do not match its size gets no ink, only the moved pen.
  const bool drawable = surface.width > 0 && surface.height > 0 &&
                        surface.pixels.size() >= static_cast<size_t>(surface.width) *
                                                     static_cast<size_t>(surface.height);
  if (drawable && !surface.transparentText) {
    int64_t width = 0;
    for (const char c : text) width += faceGlyph(font, static_cast<unsigned char>(c)).advance;
    fillCell(surface, pen, top, pen + width, top + metrics->height);
  }
  const uint32_t ink = pixelFromColour(surface.textColour);
  for (const char c : text) {
    const GlyphImage glyph = faceGlyph(font, static_cast<unsigned char>(c));
    if (drawable && glyph.width > 0) {
      drawGlyph(surface, glyph, pen + glyph.left, baseline - glyph.top, ink);
    }
    pen += glyph.advance;
  }
  surface.textX = static_cast<int32_t>(std::clamp<int64_t>(pen, std::numeric_limits<int32_t>::min(),
                                                           std::numeric_limits<int32_t>::max()));
}

}  // namespace corvath
