// Fonts through fontconfig and FreeType: matching, text metrics and cached glyphs.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "raster/glyphs.hpp"
#include "raster/raster.hpp"

namespace corvath {
namespace {

// One character's anti-aliased coverage, rendered once and kept.
struct Glyph {
  bool loaded = false;
  int32_t left = 0;  // bitmap's left edge relative to the pen
  int32_t top = 0;   // bitmap's top row above the baseline
  int32_t width = 0;
  int32_t rows = 0;
  int32_t advance = 0;            // pen movement in whole pixels
  std::vector<uint8_t> coverage;  // width * rows, 0 transparent to 255 solid
};

// A font file at one pixel size, with its metrics and the glyphs rendered so far.
struct LoadedFace {
  std::string file;
  int32_t faceIndex = 0;
  int32_t pixelSize = 0;
  FT_Face face = nullptr;
  FontMetrics metrics;
  std::array<Glyph, 256> glyphs;  // text bytes are Latin-1 characters

  LoadedFace() = default;
  LoadedFace(const LoadedFace&) = delete;
  LoadedFace& operator=(const LoadedFace&) = delete;
  ~LoadedFace() {
    if (face != nullptr) FT_Done_Face(face);
  }
};

constexpr int32_t kDefaultPixelSize = 16;  // height 0 asks for the default size
constexpr int32_t kMaxPixelSize = 1024;    // larger requests find no font

FT_Library fontLibrary = nullptr;
std::vector<std::unique_ptr<LoadedFace>> loadedFaces;

bool startFontLibrary() {
  if (fontLibrary != nullptr) return true;
  return FT_Init_FreeType(&fontLibrary) == 0;
}

int32_t scaled(int32_t fontUnits, int32_t pixelSize, int32_t unitsPerEm) {
  return static_cast<int32_t>(
      std::lrint(static_cast<double>(fontUnits) * pixelSize / static_cast<double>(unitsPerEm)));
}

// The OS/2 table's usWinAscent and usWinDescent make the cell, the classic text-metric
// convention that the status line's layout is made for; the external leading is what the hhea
// line (ascender, descender and line gap) adds beyond that cell. Faces without those tables
// fall back to FreeType's scaled size metrics.
FontMetrics measureFace(FT_Face face, int32_t pixelSize) {
  FontMetrics metrics;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  const int32_t unitsPerEm = face->units_per_EM;
  if (os2 != nullptr && os2->version != 0xFFFF && unitsPerEm > 0 &&
      os2->usWinAscent + os2->usWinDescent > 0) {
    metrics.ascent = scaled(os2->usWinAscent, pixelSize, unitsPerEm);
    metrics.descent = scaled(os2->usWinDescent, pixelSize, unitsPerEm);
    if (hhea != nullptr) {
      const int32_t cellUnits = os2->usWinAscent + os2->usWinDescent;
      const int32_t lineUnits = hhea->Ascender - hhea->Descender + hhea->Line_Gap;
      metrics.externalLeading = std::max(0, scaled(lineUnits - cellUnits, pixelSize, unitsPerEm));
    }
    metrics.averageCharWidth = scaled(os2->xAvgCharWidth, pixelSize, unitsPerEm);
  } else {
    const FT_Size_Metrics& size = face->size->metrics;
    metrics.ascent = static_cast<int32_t>((size.ascender + 63) >> 6);
    metrics.descent = static_cast<int32_t>((-size.descender + 63) >> 6);
    metrics.externalLeading = std::max(
        0, static_cast<int32_t>((size.height + 32) >> 6) - metrics.ascent - metrics.descent);
  }
  if (metrics.averageCharWidth <= 0) {
    metrics.averageCharWidth = static_cast<int32_t>((face->size->metrics.max_advance + 32) >> 6);
  }
  metrics.height = metrics.ascent + metrics.descent;
  return metrics;
}

// Asks fontconfig for the family with the weight, preferring fixed-pitch scalable faces, so a
// missing family still yields a monospace font. Returns false when nothing matches.
bool matchFont(const std::string& faceName, int32_t weight, std::string& file, int32_t& index) {
  static const bool started = [] {
    if (FcInit() == FcFalse) return false;
    // Fontconfig keeps one-time allocations until FcFini; releasing them at exit keeps leak
    // checkers quiet. Nothing here holds fontconfig objects beyond a single match.
    std::atexit(FcFini);
    return true;
  }();
  if (!started) return false;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  if (!faceName.empty()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
  }
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      FcWeightFromOpenType(weight <= 0 ? 400 : std::min(weight, 1000)));
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;
  FcChar8* path = nullptr;
  int faceIndex = 0;
  const bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
  if (found) {
    file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex) != FcResultMatch) faceIndex = 0;
    index = faceIndex;
  }
  FcPatternDestroy(match);
  return found;
}

FT_Face openFace(const std::string& file, int32_t index) {
  FT_Face face = nullptr;
  if (FT_New_Face(fontLibrary, file.c_str(), index, &face) != 0) return nullptr;
  return face;
}

// The em size in pixels for a request: a negative height is the character height itself, a
// positive one the cell (Windows ascent plus descent).
int32_t pixelSizeFor(FT_Face face, int32_t height) {
  if (height == 0) return kDefaultPixelSize;
  if (height < 0)
    return height == std::numeric_limits<int32_t>::min() ? kMaxPixelSize + 1 : -height;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const int32_t cellUnits = os2 != nullptr && os2->version != 0xFFFF
                                ? os2->usWinAscent + os2->usWinDescent
                                : face->ascender - face->descender;
  if (cellUnits <= 0 || face->units_per_EM == 0) return height;
  return std::max(1, scaled(height, face->units_per_EM, cellUnits));
}

}  // namespace

// The loaded face for a request, loading it on first use; -1 when none can be had.
int32_t findFace(const std::string& faceName, int32_t height, int32_t weight) {
  if (!startFontLibrary()) return -1;
  std::string file;
  int32_t index = 0;
  if (!matchFont(faceName, weight, file, index)) return -1;
  FT_Face face = openFace(file, index);
  if (face == nullptr) return -1;
  const int32_t pixelSize = pixelSizeFor(face, height);
  if (pixelSize < 1 || pixelSize > kMaxPixelSize) {
    FT_Done_Face(face);
    return -1;
  }
  for (size_t i = 0; i < loadedFaces.size(); ++i) {
    const LoadedFace& loaded = *loadedFaces[i];
    if (loaded.file == file && loaded.faceIndex == index && loaded.pixelSize == pixelSize) {
      FT_Done_Face(face);
      return static_cast<int32_t>(i);
    }
  }
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0) {
    FT_Done_Face(face);
    return -1;
  }
  auto loaded = std::make_unique<LoadedFace>();
  loaded->file = file;
  loaded->faceIndex = index;
  loaded->pixelSize = pixelSize;
  loaded->face = face;
  loaded->metrics = measureFace(face, pixelSize);
  loadedFaces.push_back(std::move(loaded));
  return static_cast<int32_t>(loadedFaces.size() - 1);
}

namespace {

LoadedFace* faceOf(int32_t font) {
  const int32_t loaded = requestedFace(font);
  return loaded < 0 ? nullptr : loadedFaces[static_cast<size_t>(loaded)].get();
}

const Glyph& glyphOf(LoadedFace& face, unsigned char character) {
  Glyph& glyph = face.glyphs[character];
  if (glyph.loaded) return glyph;
  glyph.loaded = true;
  if (FT_Load_Char(face.face, character, FT_LOAD_RENDER | FT_LOAD_NO_BITMAP) != 0) return glyph;
  const FT_GlyphSlot slot = face.face->glyph;
  glyph.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.buffer == nullptr) return glyph;
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = static_cast<int32_t>(bitmap.width);
  glyph.rows = static_cast<int32_t>(bitmap.rows);
  glyph.coverage.resize(static_cast<size_t>(glyph.width) * static_cast<size_t>(glyph.rows));
  for (int32_t row = 0; row < glyph.rows; ++row) {
    const unsigned char* source = bitmap.pitch >= 0
                                      ? bitmap.buffer + row * bitmap.pitch
                                      : bitmap.buffer + (glyph.rows - 1 - row) * -bitmap.pitch;
    std::copy_n(source, glyph.width,
                glyph.coverage.data() + static_cast<size_t>(row) * glyph.width);
  }
  return glyph;
}

}  // namespace

const FontMetrics* faceMetrics(int32_t font) {
  const LoadedFace* face = faceOf(font);
  return face == nullptr ? nullptr : &face->metrics;
}

GlyphImage faceGlyph(int32_t font, unsigned char character) {
  const Glyph& glyph = glyphOf(*faceOf(font), character);
  return GlyphImage{glyph.left, glyph.top,     glyph.width,
                    glyph.rows, glyph.advance, glyph.coverage.data()};
}

}  // namespace corvath
