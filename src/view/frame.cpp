// One frame: clear, status line, transform, order, then every lit face shaded and painted.
#include <algorithm>
#include <cmath>

#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

constexpr int32_t kBackgroundGrey = 128 + 256 * 128 + 65536 * 128;

// True while the "Errore." box of a frame is open: the box runs its own event loop, and a
// frame started from there would rebuild the tables under the waiting one.
bool errorBoxOpen = false;

}  // namespace

Table<FacePaint> facePaints;
Table<FaceKind> faceKinds;

float faceShade(int32_t f) {
  using L = long double;
  const Face& face = faces[f];
  const L length = face.normalLength;
  return static_cast<float>(((face.viewNormalX / length) * lightX + (face.viewNormalY / length) * lightY) +
                            (face.viewNormalZ / length) * lightZ);
}

bool drawFace(int32_t f, int32_t colour) {
  int32_t x[3];
  int32_t y[3];
  const FaceKind kind = faceCorners(faces[f], x, y);
  if (kind == FaceKind::kTriangle) paintTriangle(drawingSurface, {x[0], y[0]}, {x[1], y[1]}, {x[2], y[2]}, colour);
  return kind != FaceKind::kMalformed;
}

void paintFaces() {
  const int32_t count = static_cast<int32_t>(
      std::min<int64_t>({faceCount, static_cast<int64_t>(faceOrder.size()), static_cast<int64_t>(facePaints.size())}));
  bool errorShown = false;
  // The order table holds the face indices of this frame as whole numbers: the conversion is
  // exact. Records a few faces ahead are fetched early, so their cache misses overlap.
  constexpr int32_t kLookAhead = 8;
  const double* order = faceOrder.data();
  for (int32_t i = 0; i < count; ++i) {
    if (i + kLookAhead < count) {
      // Fetched whatever the face's kind: testing the kind first would be a branch that goes
      // either way at random along the depth order.
      const auto ahead = static_cast<uint32_t>(static_cast<int32_t>(order[i + kLookAhead]));
      if (ahead < static_cast<uint32_t>(count)) __builtin_prefetch(&facePaints[ahead]);
    }
    const auto f = static_cast<int32_t>(order[i]);
    if (f < 0 || f >= count) continue;
    const FaceKind kind = faceKinds[f];
    if (kind == FaceKind::kTurnedAway || kind == FaceKind::kNothing) continue;
    const FacePaint& paint = facePaints[f];
    if (paint.kind == FaceKind::kTriangle) {
      paintTriangle(drawingSurface, {paint.x[0], paint.y[0]}, {paint.x[1], paint.y[1]}, {paint.x[2], paint.y[2]},
                    paint.colour);
    } else if (paint.kind == FaceKind::kMalformed && !errorShown) {
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
