// One frame: clear, status line, transform, order, then every lit face shaded and painted.
#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

// Pixels of triangle boxes below which a frame is painted on one thread.
constexpr int64_t kSharedPaintArea = 2000000;

constexpr int32_t kBackgroundGrey = packColour(128, 128, 128);

// True while the "Errore." box of a frame is open: the box runs its own event loop, and a
// frame started from there would rebuild the tables under the waiting one.
bool errorBoxOpen = false;

// The faces of this frame that paint something (or report a malformed record), in painting
// order: gathered first without a branch per face, since whether a face is lit or turned away
// changes at random along the depth order, and a branch on it would mostly be mispredicted.
Table<int32_t> paintList;

// Paints the triangles of list[from .. to - 1] in that order, in rows firstRow .. endRow - 1.
void paintRows(const int32_t* list, int32_t from, int32_t to, int32_t firstRow, int32_t endRow) {
  const bool wholeSurface = firstRow == 0 && endRow == drawingSurface.height;
  // Records a few faces ahead are fetched early, so their cache misses overlap.
  constexpr int32_t kLookAhead = 8;
  for (int32_t i = from; i < to; ++i) {
    if (i + kLookAhead < to) __builtin_prefetch(&facePaints[list[i + kLookAhead]]);
    const FacePaint& paint = facePaints[list[i]];
    if (paint.kind != FaceKind::kTriangle) continue;
    if (wholeSurface) {
      paintTriangle(drawingSurface, {paint.x[0], paint.y[0]}, {paint.x[1], paint.y[1]},
                    {paint.x[2], paint.y[2]}, paint.colour);
      continue;
    }
    // Faces wholly above or below the band are passed over without the call.
    if (std::max({paint.y[0], paint.y[1], paint.y[2]}) < firstRow ||
        std::min({paint.y[0], paint.y[1], paint.y[2]}) >= endRow) {
      continue;
    }
    paintTriangleRows(drawingSurface, {paint.x[0], paint.y[0]}, {paint.x[1], paint.y[1]},
                      {paint.x[2], paint.y[2]}, paint.colour, firstRow, endRow);
  }
}

// Paints the triangles of list[from .. to - 1] in that order. With several threads each paints
// every face, but only the rows of its own band of the surface, so every pixel sees the same
// writes in the same order as on one thread.
void paintListed(const int32_t* list, int32_t from, int32_t to) {
  Surface& surface = drawingSurface;
  const int32_t threads = std::min(workerCount(), surface.height / paintBandHeight(surface));
  // Every band scans every face: with little to paint that costs more than it shares.
  if (threads <= 1 || paintArea < kSharedPaintArea) {
    paintRows(list, from, to, 0, surface.height);
    return;
  }
  // Bands of whole tile rows, so that no two threads mark the same row of the tile record.
  const Ranges bands = splitRanges(surface.height / paintBandHeight(surface), 1);
  const int32_t parts = std::min(bands.count, threads);
  const Ranges rows{bands.total, parts};
  runParts(parts, [&](int32_t part) {
    const int32_t firstRow = rows.begin(part) * paintBandHeight(surface);
    const int32_t endRow =
        part + 1 == parts ? surface.height : rows.end(part) * paintBandHeight(surface);
    paintRows(list, from, to, firstRow, endRow);
  });
}

}  // namespace

Table<FacePaint> facePaints;
Table<FaceKind> faceKinds;
int64_t paintArea = 0;

float faceShade(int32_t f) {
  return shadeByLight(faces[f]);
}

bool drawFace(int32_t f, int32_t colour) {
  int32_t x[3];
  int32_t y[3];
  const FaceKind kind = faceCorners(faces[f], x, y);
  if (kind == FaceKind::kTriangle)
    paintTriangle(drawingSurface, {x[0], y[0]}, {x[1], y[1]}, {x[2], y[2]}, colour);
  return kind != FaceKind::kMalformed;
}

void paintFaces() {
  const int32_t count =
      static_cast<int32_t>(std::min<int64_t>({faceCount, static_cast<int64_t>(faceOrder.size()),
                                              static_cast<int64_t>(facePaints.size())}));
  if (paintList.size() < static_cast<size_t>(count)) paintList.resize(count);
  // The order table holds the face indices of this frame as whole numbers: the conversion is
  // exact.
  const double* order = faceOrder.data();
  const FaceKind* kinds = faceKinds.data();
  int32_t* list = paintList.data();
  int32_t listed = 0;
  for (int32_t i = 0; i < count; ++i) {
    const auto f = static_cast<int32_t>(order[i]);
    const bool inTable = static_cast<uint32_t>(f) < static_cast<uint32_t>(count);
    const FaceKind kind = kinds[inTable ? f : 0];
    list[listed] = f;
    listed += inTable && (kind == FaceKind::kTriangle || kind == FaceKind::kMalformed);
  }

  // The box for a face announced but never read comes between the faces before it and those
  // after it, as the painting reaches it; one box per frame at most: a file announcing faces it
  // never fills would otherwise open one box per missing face on every mouse movement.
  int32_t malformed = 0;
  while (malformed < listed && facePaints[list[malformed]].kind != FaceKind::kMalformed) {
    ++malformed;
  }
  paintListed(list, 0, malformed);
  if (malformed == listed) return;
  const std::string message = "Errore." + numberText(list[malformed]);
  {
    // Closed however the box ends, its memory running out included: a box left marked open
    // would stop every later frame.
    struct OpenBox {
      OpenBox() { errorBoxOpen = true; }
      ~OpenBox() { errorBoxOpen = false; }
    } open;
    showMessageBox(message);
  }
  paintListed(list, malformed + 1, listed);
}

void renderFrame(const double& angleX, const double& angleY, const double& angleZ) {
  if (errorBoxOpen) return;
  Surface& surface = drawingSurface;
  drawingSurfaceSelected = true;
  try {
    fillSurface(surface, kBackgroundGrey);
    moveTextPosition(surface, 0, 0);
    drawStatusLine(angleX, angleY, angleZ);
    setPenWidth(surface, 0);
    // The face normals turn in orderFaces, in its pass over the faces.
    turnView(angleX, angleY, angleZ);
    projectVertices();
    orderFaces();
    paintFaces();
  } catch (const std::bad_alloc&) {
    // The tables a frame grows are each left whole, so the next frame can simply try again;
    // the screen keeps the last picture that was drawn in full.
    return;
  }
  refreshDrawingSurface();
}

}  // namespace corvath
