// One frame: clear, status line, transform, order, then every lit face shaded and painted.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <new>
#include <string>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

constexpr int32_t kBackgroundGrey = packColour(128, 128, 128);

// True while the "Errore." box of a frame is open: the box runs its own event loop, and a
// frame started from there would rebuild the tables under the waiting one.
bool errorBoxOpen = false;

// The faces of this frame that paint something (or report a malformed record), in painting
// order: gathered first without a branch per face, since whether a face is lit or turned away
// changes at random along the depth order, and a branch on it would mostly be mispredicted.
// When the painting is shared, each range of the order gathers its faces in its own places.
Table<int32_t> paintList;

// Paint records a couple of dozen faces ahead are fetched early, so that their cache misses,
// each as long as painting a score of small faces, overlap.
constexpr int32_t kPaintLookAhead = 24;

// Paints the triangles of records list[from .. to - 1] in that order, in rows
// firstRow .. endRow - 1.
void paintRows(const FacePaint* records, const int32_t* list, int32_t from, int32_t to,
               int32_t firstRow, int32_t endRow) {
  const bool wholeSurface = firstRow == 0 && endRow == drawingSurface.height;
  for (int32_t i = from; i < to; ++i) {
    if (i + kPaintLookAhead < to) __builtin_prefetch(&records[list[i + kPaintLookAhead]]);
    const FacePaint& paint = records[list[i]];
    if (paint.kind != FaceKind::kTriangle) continue;
    if (wholeSurface) {
      paintTriangle(drawingSurface, {paint.x[0], paint.y[0]}, {paint.x[1], paint.y[1]},
                    {paint.x[2], paint.y[2]}, paint.colour);
    } else {
      paintTriangleRows(drawingSurface, {paint.x[0], paint.y[0]}, {paint.x[1], paint.y[1]},
                        {paint.x[2], paint.y[2]}, paint.colour, firstRow, endRow);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The painting shared among threads. The surface is cut into row bands of whole tile rows, so
// that no two threads mark the same row of the tile record. Ranges of the painting order are
// sorted into the bands their faces reach, on all threads at once; then each thread paints whole
// bands, every range's faces in turn, so every pixel sees the same writes in the same order as
// on one thread.
// ---------------------------------------------------------------------------------------------

// Faces below which a frame is painted on one thread: the sorting into bands and the hand-overs
// to the threads would cost more than they share. Few faces may still be large ones.
constexpr int32_t kSharedPaintMinimum = 256;
// Faces an order range of the sorting into bands holds at least.
constexpr int32_t kBandSortingRange = 1024;
constexpr int32_t kMostBands = 2 * kMostWorkers;

struct PaintBands {
  int32_t count = 0;
  int32_t rowsPerTile = 0;
  // The band of each tile row; rows below the last whole tile row belong to the last band.
  int32_t bandOfTile[256] = {};
  int32_t firstRow[kMostBands + 1] = {};
};

// The paint records of the faces each order range lists, copied in painting order to the
// range's own places, so that the bands read them in one sweep instead of all over facePaints.
Table<FacePaint> listedPaints;
// Per band, the places in listedPaints of the faces of each order range that reach it, each
// range's in the places of its own positions: range r's for band b start at
// bandFaces[b][range begin].
Table<int32_t> bandFaces[kMostBands];
struct RangeBands {
  int32_t counts[kMostBands];
  bool malformed;
};

PaintBands cutIntoBands(const Surface& surface, int32_t threads) {
  PaintBands bands;
  bands.rowsPerTile = paintBandHeight(surface);
  const int32_t tileRows = surface.height / bands.rowsPerTile;
  const int32_t tableRows = static_cast<int32_t>(std::size(bands.bandOfTile));
  // Two bands a thread even out a picture that fills some bands more than others.
  bands.count = tileRows >= tableRows ? 0 : std::min({2 * threads, tileRows, kMostBands});
  if (bands.count < 2) return bands;
  const Ranges tiles{tileRows, bands.count};
  for (int32_t band = 0; band < bands.count; ++band) {
    bands.firstRow[band] = tiles.begin(band) * bands.rowsPerTile;
    for (int32_t tile = tiles.begin(band); tile < tiles.end(band); ++tile) {
      bands.bandOfTile[tile] = band;
    }
  }
  bands.bandOfTile[tileRows] = bands.count - 1;
  bands.firstRow[bands.count] = surface.height;
  return bands;
}

// The faces of order positions from .. to - 1 that paint something or report a malformed
// record, written to list[from ..] without a branch per face; returns how many.
int32_t listPaintedFaces(const double* order, const FaceKind* kinds, int32_t count, int32_t from,
                         int32_t to, int32_t* list) {
  int32_t listed = 0;
  for (int32_t i = from; i < to; ++i) {
    const auto f = static_cast<int32_t>(order[i]);
    const bool inTable = static_cast<uint32_t>(f) < static_cast<uint32_t>(count);
    const FaceKind kind = kinds[inTable ? f : 0];
    list[listed] = f;
    listed += inTable && (kind == FaceKind::kTriangle || kind == FaceKind::kMalformed);
  }
  return listed;
}

// Sorts the faces of order positions from .. to - 1 into the bands they reach. Stops at a
// malformed face: its box interrupts the painting, which one thread then does.
RangeBands sortIntoBands(const double* order, const FaceKind* kinds, int32_t count,
                         const PaintBands& bands, int32_t from, int32_t to) {
  RangeBands found{};
  // The faces to sort, in the range's own places of the list the one-thread painting uses.
  int32_t* const list = paintList.data() + from;
  const int32_t listed = listPaintedFaces(order, kinds, count, from, to, list);
  int32_t* out[kMostBands];
  for (int32_t band = 0; band < bands.count; ++band) out[band] = bandFaces[band].data() + from;
  const int32_t height = drawingSurface.height;
  const int32_t shift = std::countr_zero(static_cast<uint32_t>(bands.rowsPerTile));
  FacePaint* const records = listedPaints.data() + from;
  for (int32_t i = 0; i < listed; ++i) {
    if (i + kPaintLookAhead < listed) __builtin_prefetch(&facePaints[list[i + kPaintLookAhead]]);
    const FacePaint paint = facePaints[list[i]];
    records[i] = paint;
    if (paint.kind == FaceKind::kMalformed) {
      found.malformed = true;
      return found;
    }
    const int32_t top = std::min({paint.y[0], paint.y[1], paint.y[2]});
    const int32_t bottom = std::max({paint.y[0], paint.y[1], paint.y[2]});
    if (bottom < 0 || top >= height) continue;
    const int32_t firstBand = bands.bandOfTile[std::max(top, 0) >> shift];
    const int32_t lastBand = bands.bandOfTile[std::min(bottom, height - 1) >> shift];
    for (int32_t band = firstBand; band <= lastBand; ++band) {
      out[band][found.counts[band]++] = from + i;
    }
  }
  return found;
}

// Paints the triangles of order positions 0 .. count - 1 on all threads; false, painting
// nothing, when a malformed face is among them.
bool paintShared(const double* order, const FaceKind* kinds, int32_t count, int32_t threads) {
  const PaintBands bands = cutIntoBands(drawingSurface, threads);
  if (bands.count < 2) return false;
  for (int32_t band = 0; band < bands.count; ++band) {
    if (bandFaces[band].size() < static_cast<size_t>(count)) bandFaces[band].resize(count);
  }
  if (listedPaints.size() < static_cast<size_t>(count)) listedPaints.resize(count);
  const Ranges ranges = splitRanges(count, kBandSortingRange);
  // splitRanges makes at most two ranges a thread.
  std::array<RangeBands, 2 * kMostWorkers> found{};
  assert(static_cast<size_t>(ranges.count) <= found.size());
  runParts(ranges.count, [&](int32_t part) {
    found[static_cast<size_t>(part)] =
        sortIntoBands(order, kinds, count, bands, ranges.begin(part), ranges.end(part));
  });
  for (int32_t part = 0; part < ranges.count; ++part) {
    if (found[static_cast<size_t>(part)].malformed) return false;
  }
  runParts(bands.count, [&](int32_t band) {
    for (int32_t part = 0; part < ranges.count; ++part) {
      const int32_t* places = bandFaces[band].data() + ranges.begin(part);
      paintRows(listedPaints.data(), places, 0, found[static_cast<size_t>(part)].counts[band],
                bands.firstRow[band], bands.firstRow[band + 1]);
    }
  });
  return true;
}

}  // namespace

Table<FacePaint> facePaints;
Table<FaceKind> faceKinds;
bool malformedFaceReported = false;

float faceShade(int32_t f) {
  return shadeByLight(faces[f]);
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
  const int32_t threads = workerCount();
  if (threads > 1 && count >= kSharedPaintMinimum && paintShared(order, kinds, count, threads)) {
    return;
  }
  int32_t* list = paintList.data();
  const int32_t listed = listPaintedFaces(order, kinds, count, 0, count, list);

  // The box for a face announced but never read comes between the faces before it and those
  // after it, as the painting reaches it; one box per frame at most: a file announcing faces it
  // never fills would otherwise open one box per missing face on every mouse movement.
  int32_t malformed = 0;
  while (malformed < listed && facePaints[list[malformed]].kind != FaceKind::kMalformed) {
    ++malformed;
  }
  paintRows(facePaints.data(), list, 0, malformed, 0, drawingSurface.height);
  if (malformed == listed) return;
  if (malformedFaceReported) {
    paintRows(facePaints.data(), list, malformed + 1, listed, 0, drawingSurface.height);
    return;
  }

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
  // Once per mesh: every frame reaches the face again, and a box that came back on each would
  // never let the user past it (closing it uncovers the window, which counts as a movement).
  malformedFaceReported = true;
  paintRows(facePaints.data(), list, malformed + 1, listed, 0, drawingSurface.height);
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
    // The face normals turn in turnShadeAndOrderFaces, in its pass over the faces.
    turnAndProjectView(angleX, angleY, angleZ);
    turnShadeAndOrderFaces();
    paintFaces();
  } catch (const std::bad_alloc&) {
    // The tables a frame grows are each left whole, so the next frame can simply try again;
    // the screen keeps the last picture that was drawn in full.
    return;
  }
  refreshDrawingSurface();
}

}  // namespace corvath
