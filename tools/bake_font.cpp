// Writes the fonts of a build without FreeType (src/raster/font_baked.cpp) as C++ tables: for
// each request FACE HEIGHT WEIGHT on the command line, the metrics and the 256 Latin-1 glyphs
// that this machine's FreeType fonts give it, so that the other build draws the same text.
//   corvath-bake-font OUTPUT FACE HEIGHT WEIGHT [FACE HEIGHT WEIGHT]...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "raster/glyphs.hpp"
#include "raster/raster.hpp"

namespace {

using corvath::FontMetrics;
using corvath::GlyphImage;

constexpr int kGlyphsPerFace = 256;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (argc - 2) % 3 != 0) {
    std::fprintf(stderr, "usage: corvath-bake-font OUTPUT FACE HEIGHT WEIGHT...\n");
    return 2;
  }
  std::string faces;
  std::string glyphs;
  std::vector<uint8_t> coverage;
  int glyphCount = 0;
  for (int i = 2; i < argc; i += 3) {
    const std::string faceName = argv[i];
    const int height = std::atoi(argv[i + 1]);
    const int weight = std::atoi(argv[i + 2]);
    const int32_t font = corvath::createFont(faceName, height, weight);
    if (font < 0) {
      std::fprintf(stderr, "corvath-bake-font: no font for \"%s\" %d %d\n", faceName.c_str(),
                   height, weight);
      return 1;
    }
    const FontMetrics& m = *corvath::faceMetrics(font);
    char line[256];
    std::snprintf(line, sizeof line, "    {\"%s\", %d, %d, {%d, %d, %d, %d, %d}, %d},\n",
                  faceName.c_str(), height, weight, m.height, m.ascent, m.descent,
                  m.externalLeading, m.averageCharWidth, glyphCount);
    faces += line;
    for (int c = 0; c < kGlyphsPerFace; ++c) {
      const GlyphImage glyph = corvath::faceGlyph(font, static_cast<unsigned char>(c));
      std::snprintf(line, sizeof line, "    {%d, %d, %d, %d, %d, %zu},\n", glyph.left, glyph.top,
                    glyph.width, glyph.rows, glyph.advance, coverage.size());
      glyphs += line;
      coverage.insert(coverage.end(), glyph.coverage,
                      glyph.coverage + static_cast<size_t>(glyph.width) * glyph.rows);
    }
    glyphCount += kGlyphsPerFace;
  }
  std::string text = "// Written by corvath-bake-font: the fonts the web build draws text with.\n";
  text += "constexpr BakedFace kBakedFaces[] = {\n" + faces + "};\n";
  text += "constexpr BakedGlyph kBakedGlyphs[] = {\n" + glyphs + "};\n";
  // One entry more than the glyphs take, so that a face of blank glyphs still has an array.
  text += "constexpr uint8_t kBakedCoverage[] = {";
  coverage.push_back(0);
  for (size_t i = 0; i < coverage.size(); ++i) {
    text += (i % 24 == 0 ? "\n    " : " ") + std::to_string(coverage[i]) + ",";
  }
  text += "\n};\n";
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "corvath-bake-font: %s cannot be written\n", argv[1]);
    return 1;
  }
  return 0;
}
