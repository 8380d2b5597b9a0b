// What text drawing (text.cpp) asks of a font source: the FreeType fonts (font.cpp), or the
// glyphs baked in ahead of time for builds without FreeType (font_baked.cpp). Internal to
// src/raster and the tool that bakes the glyphs.
#pragma once

#include <cstdint>
#include <string>

#include "raster/raster.hpp"

namespace corvath {

// One character's anti-aliased coverage, as textOut draws it.
struct GlyphImage {
  int32_t left = 0;  // bitmap's left edge relative to the pen
  int32_t top = 0;   // bitmap's top row above the baseline
  int32_t width = 0;
  int32_t rows = 0;
  int32_t advance = 0;                // pen movement in whole pixels
  const uint8_t* coverage = nullptr;  // width * rows, 0 transparent to 255 solid; kept by the font
};

// The font source's face for a createFont request (an index of its own), found once per distinct
// request; -1 when it has none.
int32_t findFace(const std::string& faceName, int32_t height, int32_t weight);
// The face found for a createFont handle (text.cpp keeps the requests); -1 for an invalid handle
// or none found.
int32_t requestedFace(int32_t font);

// The metrics of the face behind a createFont handle; nullptr for a handle without one.
const FontMetrics* faceMetrics(int32_t font);
// The glyph of a character (a Latin-1 byte) in that face; the handle must have a face.
GlyphImage faceGlyph(int32_t font, unsigned char character);

}  // namespace corvath
