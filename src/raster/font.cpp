// Fonts through fontconfig and FreeType: matching, text metrics, cached glyphs and text output.
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

#include "raster/painted_tiles.hpp"
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

// A createFont request as asked; its index is the font handle. Requests stay for the life of
// the process, so a frame that creates and deletes the same font every time finds it here.
struct FontRequest {
  std::string faceName;
  int32_t height = 0;
  int32_t weight = 0;
  int32_t loadedFace = -1;  // index into loadedFaces, -1: no font could be found
};

constexpr size_t kMaxFaceName = 31;
constexpr int32_t kDefaultPixelSize = 16;  // height 0 asks for the default size
constexpr int32_t kMaxPixelSize = 1024;    // larger requests find no font
constexpr uint32_t kOpaqueBackground = 0xFFFFFF;

FT_Library fontLibrary = nullptr;
std::vector<std::unique_ptr<LoadedFace>> loadedFaces;
std::vector<FontRequest> fontRequests;

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

// The loaded face for a request, loading it on first use; -1 when none can be had.
int32_t resolveFont(const std::string& faceName, int32_t height, int32_t weight) {
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

LoadedFace* faceOf(int32_t font) {
  if (font < 0 || static_cast<size_t>(font) >= fontRequests.size()) return nullptr;
  const int32_t loaded = fontRequests[static_cast<size_t>(font)].loadedFace;
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

// (a * coverage + b * (255 - coverage)) / 255 per channel, rounded.
inline uint32_t blendChannel(uint32_t a, uint32_t b, uint32_t coverage) {
  const uint32_t value = a * coverage + b * (255 - coverage) + 128;
  return (value + (value >> 8)) >> 8;
}

void drawGlyph(Surface& surface, const Glyph& glyph, int64_t x, int64_t y, uint32_t ink) {
  const int64_t columnStart = std::max<int64_t>(0, -x);
  const int64_t columnEnd = std::min<int64_t>(glyph.width, surface.width - x);
  const int64_t rowStart = std::max<int64_t>(0, -y);
  const int64_t rowEnd = std::min<int64_t>(glyph.rows, surface.height - y);
  if (columnStart >= columnEnd || rowStart >= rowEnd) return;
  markPainted(surface, x + columnStart, y + rowStart, x + columnEnd - 1, y + rowEnd - 1);
  const uint32_t inkRed = (ink >> 16) & 0xFF, inkGreen = (ink >> 8) & 0xFF, inkBlue = ink & 0xFF;
  for (int64_t row = rowStart; row < rowEnd; ++row) {
    const uint8_t* coverage = glyph.coverage.data() + row * glyph.width;
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

int32_t createFont(std::string_view faceName, int32_t height, int32_t weight) {
  // The name is a C string of at most 31 characters, as the font record holds it.
  faceName = faceName.substr(0, std::min(faceName.find('\0'), kMaxFaceName));
  for (size_t i = 0; i < fontRequests.size(); ++i) {
    const FontRequest& request = fontRequests[i];
    if (request.faceName == faceName && request.height == height && request.weight == weight) {
      return request.loadedFace < 0 ? -1 : static_cast<int32_t>(i);
    }
  }
  FontRequest request{std::string(faceName), height, weight, -1};
  request.loadedFace = resolveFont(request.faceName, height, weight);
  fontRequests.push_back(std::move(request));
  return fontRequests.back().loadedFace < 0 ? -1 : static_cast<int32_t>(fontRequests.size() - 1);
}

void deleteFont(int32_t) {
  // Handles name cached requests and stay valid, so there is nothing to release; a surface
  // that still has the font selected keeps drawing with it.
}

int32_t selectFont(Surface& surface, int32_t font) {
  if (faceOf(font) == nullptr) return -1;
  const int32_t previous = surface.font;
  surface.font = font;
  return previous;
}

FontMetrics fontMetrics(const Surface& surface) {
  const LoadedFace* face = faceOf(surface.font);
  return face == nullptr ? FontMetrics{} : face->metrics;
}

int32_t textWidth(const Surface& surface, std::string_view text) {
  LoadedFace* face = faceOf(surface.font);
  if (face == nullptr) return 0;
  int64_t width = 0;
  for (const char c : text) width += glyphOf(*face, static_cast<unsigned char>(c)).advance;
  return static_cast<int32_t>(std::clamp<int64_t>(width, 0, std::numeric_limits<int32_t>::max()));
}

void textOut(Surface& surface, std::string_view text) {
  LoadedFace* face = faceOf(surface.font);
  if (face == nullptr) return;
  const int64_t top = surface.textY;
  const int64_t baseline = top + face->metrics.ascent;
  int64_t pen = surface.textX;
  // A surface whose pixels do not match its size gets no ink, only the moved pen.
  const bool drawable = surface.width > 0 && surface.height > 0 &&
                        surface.pixels.size() >= static_cast<size_t>(surface.width) *
                                                     static_cast<size_t>(surface.height);
  if (drawable && !surface.transparentText) {
    int64_t width = 0;
    for (const char c : text) width += glyphOf(*face, static_cast<unsigned char>(c)).advance;
    fillCell(surface, pen, top, pen + width, top + face->metrics.height);
  }
  const uint32_t ink = pixelFromColour(surface.textColour);
  for (const char c : text) {
    const Glyph& glyph = glyphOf(*face, static_cast<unsigned char>(c));
    if (drawable && glyph.width > 0) {
      drawGlyph(surface, glyph, pen + glyph.left, baseline - glyph.top, ink);
    }
    pen += glyph.advance;
  }
  surface.textX = static_cast<int32_t>(std::clamp<int64_t>(pen, std::numeric_limits<int32_t>::min(),
                                                           std::numeric_limits<int32_t>::max()));
}

}  // namespace corvath
