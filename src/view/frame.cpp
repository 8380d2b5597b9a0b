// One frame: clear, status line, transform, order, then every lit face shaded and painted.
#include <cmath>

#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

constexpr int32_t kBackgroundGrey = 128 + 256 * 128 + 65536 * 128;

// True while the "Errore." box of a frame is open: the box runs its own event loop, and a
// frame started from there would rebuild the tables under the waiting one.
bool errorBoxOpen = false;

// Nearest integer, halves to even, for |x| < 2^51: adding and removing 1.5 * 2^52 leaves the
// value rounded by the hardware's default mode, without a library call per value.
inline double roundHalfEven(double x) {
  constexpr double kShift = 6755399441055744.0;
  return (x + kShift) - kShift;
}

// One shaded colour component: the product rounded, clamped to 0..255, undefined gives 0.
inline int32_t shadeComponent(float shade, uint8_t component) {
  const double product = static_cast<double>(shade) * component;  // exact in a double
  if (std::isnan(product)) return 0;
  if (product >= 255) return 255;
  if (product <= 0) return 0;
  return static_cast<int32_t>(roundHalfEven(product));
}

// A screen coordinate to whole pixels; false for infinite, undefined or far-away values
// (vertices at or behind the eye), whose faces are dropped.
inline bool toPixel(float coordinate, int64_t& pixel) {
  if (!(std::fabs(coordinate) <= static_cast<float>(kMaxCorner))) return false;
  pixel = static_cast<int64_t>(roundHalfEven(coordinate));
  return true;
}

}  // namespace

float faceShade(int32_t f) {
  using L = long double;
  const Face& face = faces[f];
  const L length = face.normalLength;
  return static_cast<float>(((face.viewNormalX / length) * lightX + (face.viewNormalY / length) * lightY) +
                            (face.viewNormalZ / length) * lightZ);
}

bool drawFace(int32_t f, int32_t colour) {
  const Face& face = faces[f];
  switch (face.cornerCount) {
    case 1:
    case 2:
    case 4:
      return true;
    case 3:
      break;
    default:
      return false;
  }
  if (!faceCornersInTables(face)) return true;
  PixelPoint corners[3];
  const int32_t indices[3] = {face.a, face.b, face.c};
  for (int k = 0; k < 3; ++k) {
    const ScreenPoint& point = screenPoints[indices[k]];
    if (!toPixel(point.x, corners[k].x) || !toPixel(point.y, corners[k].y)) return true;
  }
  paintTriangle(drawingSurface, corners[0], corners[1], corners[2], colour);
  return true;
}

void paintFaces() {
  bool errorShown = false;
  const int32_t count = std::min<int64_t>(faceCount, faceOrder.size());
  for (int32_t i = 0; i < count; ++i) {
    const int32_t f = roundToInt32(faceOrder[i]);
    const float shade = faceShade(f);
    if (shade <= 0) continue;  // turned away from the light (an undefined shade is painted)
    const Face& face = faces[f];
    const int32_t colour = shadeComponent(shade, face.red) + 256 * shadeComponent(shade, face.green) +
                           65536 * shadeComponent(shade, face.blue);
    if (!drawFace(f, colour) && !errorShown) {
      // One box per frame at most: a file announcing faces it never fills would otherwise open
      // one box per missing face on every mouse movement.
      errorShown = true;
      errorBoxOpen = true;
      showMessageBox("Errore." + numberText(f));
      errorBoxOpen = false;
    }
  }
}

void renderFrame(const double& angleX, const double& angleY, const double& angleZ) {
  if (errorBoxOpen) return;
  Surface& surface = drawingSurface;
  drawingSurfaceSelected = true;
  fillSurface(surface, kBackgroundGrey);
  moveTextPosition(surface, 0, 0);
  drawStatusLine(angleX, angleY, angleZ);
  setPenWidth(surface, 0);
  rotateView(angleX, angleY, angleZ);
  projectVertices();
  orderFaces();
  paintFaces();
  refreshDrawingSurface();
}

}  // namespace corvath
