// Fonts baked in at build time, for builds without FreeType and fontconfig (the web page): the
// requests a build needs, with the metrics and glyphs the FreeType fonts gave them on the
// building machine, so that text comes out as the desktop draws it.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "raster/glyphs.hpp"
#include "raster/raster.hpp"

namespace corvath {
namespace {

struct BakedFace {
  const char* faceName;
  int32_t height;
  int32_t weight;
  FontMetrics metrics;
  int32_t firstGlyph;  // index into kBakedGlyphs of character 0; 256 glyphs follow
};

struct BakedGlyph {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t rows;
  int32_t advance;
  int32_t coverageStart;  // index into kBakedCoverage
};

// kBakedFaces, kBakedGlyphs and kBakedCoverage, written by tools/bake_font.cpp.
#include "baked_font.inc"

const BakedFace* faceOf(int32_t font) {
  const int32_t baked = requestedFace(font);
  return baked < 0 ? nullptr : &kBakedFaces[baked];
}

}  // namespace

// The baked face of the request's name, height and weight.
int32_t findFace(const std::string& faceName, int32_t height, int32_t weight) {
  for (size_t i = 0; i < std::size(kBakedFaces); ++i) {
    const BakedFace& face = kBakedFaces[i];
    if (faceName == face.faceName && height == face.height && weight == face.weight) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

const FontMetrics* faceMetrics(int32_t font) {
  const BakedFace* face = faceOf(font);
  return face == nullptr ? nullptr : &face->metrics;
}

GlyphImage faceGlyph(int32_t font, unsigned char character) {
  const BakedGlyph& glyph = kBakedGlyphs[faceOf(font)->firstGlyph + character];
  return GlyphImage{glyph.left, glyph.top,     glyph.width,
                    glyph.rows, glyph.advance, kBakedCoverage + glyph.coverageStart};
}

}  // namespace corvath
