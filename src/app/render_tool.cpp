// corvath-render: draws a mesh file, or a generated scene, headless into a BMP or PNG picture.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.hpp"
#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

struct RenderOptions {
  std::string meshFile = kMeshFileName;
  std::string outFile = kPictureFileName;
  int32_t width = 1920;
  int32_t height = 1080;
  double angles[3] = {210, 7, 90};
  int32_t frames = 0;  // 0: one frame, untimed
  bool scene = false;
  double sceneSeed = 0;
  double zoom = 0;  // 0: from the mesh extent, as the viewer does
  int32_t dotsPerInch = 96;
  bool statusLine = true;
};

constexpr int32_t kLargestSide = 16384;
constexpr int32_t kMostFrames = 1000000;
constexpr int32_t kMostDotsPerInch = 960;
constexpr std::string_view kDiscard = "/dev/null";

constexpr const char* kUsage =
    "usage: corvath-render [--mesh FILE] [--size WxH] [--angles X,Y,Z] [--out FILE]\n"
    "                      [--frames N] [--scene SEED] [--zoom Z] [--dpi N] [--no-status]\n"
    "  --mesh FILE     mesh text to draw (default 3d.asc)\n"
    "  --size WxH      drawing surface, standing in for the desktop (default 1920x1080)\n"
    "  --angles X,Y,Z  rotation in degrees (default 210,7,90)\n"
    "  --out FILE      picture to write (default 3d.bmp; a name ending in .png writes PNG,\n"
    "                  any other BMP; /dev/null writes nothing)\n"
    "  --frames N      draw N frames, one degree further about each axis each, and print\n"
    "                  the median, least and greatest time of a frame\n"
    "  --scene SEED    draw the random scene a frame-timer tick builds at SEED seconds after\n"
    "                  midnight, instead of the mesh (whose extent still sets the zoom)\n"
    "  --zoom Z        projection scale instead of the one from the mesh extent\n"
    "  --dpi N         the desktop's text resolution, which sizes the status line (default 96)\n"
    "  --no-status     leave the status line out: the picture then depends on no font\n"
    "The environment variable CORVATH_VECTORS=portable|avx2|avx512 caps the processor paths;\n"
    "the pictures are the same on every path.\n";

// The clock the scene composer reads when a seed is given.
double fixedSeconds = 0;
double fixedClock() {
  return fixedSeconds;
}

// Whether the name ends in ".png", in any case.
bool wantsPng(std::string_view name) {
  constexpr std::string_view kPng = ".png";
  if (name.size() < kPng.size()) return false;
  return std::equal(kPng.begin(), kPng.end(), name.end() - kPng.size(), [](char a, char b) {
    return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
  });
}

bool parseWhole(std::string_view text, int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc{} && stop == end;
}

bool parseReal(std::string_view text, double& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc{} && stop == end && std::isfinite(value);
}

bool parseSize(std::string_view text, int32_t& width, int32_t& height) {
  const size_t cross = text.find('x');
  if (cross == std::string_view::npos) return false;
  return parseWhole(text.substr(0, cross), width) && parseWhole(text.substr(cross + 1), height) &&
         width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide;
}

bool parseAngles(std::string_view text, double (&angles)[3]) {
  for (int axis = 0; axis < 3; ++axis) {
    const size_t comma = axis < 2 ? text.find(',') : text.size();
    if (comma == std::string_view::npos || !parseReal(text.substr(0, comma), angles[axis])) {
      return false;
    }
    text.remove_prefix(std::min(text.size(), comma + 1));
  }
  return true;
}

bool parseOptions(int argc, char** argv, RenderOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--no-status") {
      options.statusLine = false;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string_view value = argv[++i];
    bool good = true;
    if (name == "--mesh") {
      options.meshFile = value;
    } else if (name == "--out") {
      options.outFile = value;
      good = !value.empty();
    } else if (name == "--size") {
      good = parseSize(value, options.width, options.height);
    } else if (name == "--angles") {
      good = parseAngles(value, options.angles);
    } else if (name == "--frames") {
      good =
          parseWhole(value, options.frames) && options.frames > 0 && options.frames <= kMostFrames;
    } else if (name == "--zoom") {
      good = parseReal(value, options.zoom) && options.zoom > 0;
    } else if (name == "--dpi") {
      good = parseWhole(value, options.dotsPerInch) && options.dotsPerInch > 0 &&
             options.dotsPerInch <= kMostDotsPerInch;
    } else if (name == "--scene") {
      options.scene = true;
      good = parseReal(value, options.sceneSeed);
    } else {
      good = false;
    }
    if (!good) return false;
  }
  return true;
}

std::string shortestText(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

void buildScene(double seed) {
  fixedSeconds = seed;
  setTimeOfDayClock(fixedClock);
  replaceWithNewScene();
}

void drawFrames(const RenderOptions& options) {
  const double* start = options.angles;
  if (options.frames == 0) {
    renderFrame(start[0], start[1], start[2]);
    return;
  }
  std::vector<double> milliseconds;
  milliseconds.reserve(static_cast<size_t>(options.frames));
  for (int32_t frame = 0; frame < options.frames; ++frame) {
    const double angleX = std::fmod(start[0] + frame, 360.0);
    const double angleY = std::fmod(start[1] + frame, 360.0);
    const double angleZ = std::fmod(start[2] + frame, 360.0);
    const auto began = std::chrono::steady_clock::now();
    renderFrame(angleX, angleY, angleZ);
    const std::chrono::duration<double, std::milli> spent =
        std::chrono::steady_clock::now() - began;
    milliseconds.push_back(spent.count());
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  const size_t middle = milliseconds.size() / 2;
  const double median = milliseconds.size() % 2 == 1
                            ? milliseconds[middle]
                            : (milliseconds[middle - 1] + milliseconds[middle]) / 2;
  std::printf("median_ms=%.3f min_ms=%.3f max_ms=%.3f\n", median, milliseconds.front(),
              milliseconds.back());
}

int run(int argc, char** argv) {
  RenderOptions options;
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!parseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!options.scene && !std::ifstream(options.meshFile)) {
    std::fprintf(stderr, "corvath-render: cannot read %s; drawing an empty mesh\n",
                 options.meshFile.c_str());
  }
  if (options.scene) {
    // The start colour too comes from the fixed clock, so a seeded run repeats exactly.
    fixedSeconds = options.sceneSeed;
    setTimeOfDayClock(fixedClock);
  }
  prepareViewer(options.meshFile, options.width, options.height);
  if (options.scene) buildScene(options.sceneSeed);
  if (options.zoom > 0) zoom = options.zoom;
  createSurface(drawingSurface, options.width, options.height, kButtonFaceColour);
  drawingSurface.dotsPerInch = options.dotsPerInch;
  statusLineShown = options.statusLine;
  std::printf("vertices=%d faces=%d zoom=%s\n", vertexCount, faceCount, shortestText(zoom).c_str());
  std::fflush(stdout);

  drawFrames(options);
  if (options.outFile == kDiscard) return 0;
  const std::vector<uint8_t> picture =
      wantsPng(options.outFile) ? pngBytes(drawingSurface) : bmpBytes(drawingSurface);
  if (picture.empty() || !replaceFile(options.outFile, picture)) {
    std::fprintf(stderr, "corvath-render: cannot write %s\n", options.outFile.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

}  // namespace corvath

int main(int argc, char** argv) {
  return corvath::run(argc, argv);
}
