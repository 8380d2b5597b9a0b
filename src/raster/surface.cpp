// The drawing surface's size, clearing and the drawing state kept between operations.
#include <algorithm>
#include <bit>

#include "raster/fill_span.hpp"
#include "raster/raster.hpp"

namespace corvath {

namespace {

// The record after every pixel was filled with `pixel`: nothing painted since.
void startTiles(Surface& surface, uint32_t pixel) {
  PaintedTiles& tiles = surface.painted;
  // Unknown until the rows are in place: should their memory run out, the next fill is a full
  // one instead of a record of the wrong size.
  tiles.known = false;
  if (surface.width <= 0 || surface.height <= 0 ||
      surface.pixels.size() !=
          static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height)) {
    return;
  }
  tiles.shift = 6;
  while (((surface.width - 1) >> tiles.shift) >= 64) ++tiles.shift;
  tiles.rows.assign(static_cast<size_t>((surface.height - 1) >> tiles.shift) + 1, 0);
  tiles.fillPixel = pixel;
  tiles.width = surface.width;
  tiles.height = surface.height;
  tiles.pixels = surface.pixels.data();
  tiles.known = true;
}

bool tilesDescribe(const Surface& surface) {
  const PaintedTiles& tiles = surface.painted;
  return tiles.known && tiles.width == surface.width && tiles.height == surface.height &&
         tiles.pixels == surface.pixels.data() &&
         surface.pixels.size() ==
             static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height);
}

// Refills the painted tiles of tile rows firstRow .. endRow - 1, a run of neighbouring tiles at a
// time, and forgets them.
void fillPaintedTileRows(Surface& surface, uint32_t pixel, size_t firstRow, size_t endRow) {
  PaintedTiles& tiles = surface.painted;
  const int64_t width = surface.width;
  const int64_t height = surface.height;
  const int32_t shift = tiles.shift;
  for (size_t row = firstRow; row < endRow; ++row) {
    uint64_t bits = tiles.rows[row];
    tiles.rows[row] = 0;
    const int64_t top = static_cast<int64_t>(row) << shift;
    const int64_t bottom = std::min(height, top + (int64_t{1} << shift));
    while (bits != 0) {
      const int first = std::countr_zero(bits);
      const int count = std::countr_one(bits >> first);
      const int end = first + count;
      bits = end == 64 ? 0 : bits & (~uint64_t{0} << end);
      const int64_t left = int64_t{first} << shift;
      const int64_t right = std::min(width, int64_t{end} << shift);
      uint32_t* const start = surface.pixels.data() + top * width + left;
      if (left == 0 && right == width) {  // whole rows: one run
        fillSpan(start, (bottom - top) * width, pixel);
        continue;
      }
      for (int64_t y = top; y < bottom; ++y)
        fillSpan(start + (y - top) * width, right - left, pixel);
    }
  }
}

}  // namespace

void createSurface(Surface& surface, int32_t width, int32_t height, int32_t colour) {
  surface.width = std::max(width, 0);
  surface.height = std::max(height, 0);
  surface.pixels.assign(static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height),
                        pixelFromColour(colour));
  startTiles(surface, pixelFromColour(colour));
}

void fillSurface(Surface& surface, int32_t colour) {
  if (surface.pixels.empty()) return;
  const uint32_t pixel = pixelFromColour(colour);
  if (tilesDescribe(surface) && surface.painted.fillPixel == pixel) {
    // Tile rows shared among the worker threads: each writes its own pixel rows and record
    // rows.
    const Ranges ranges = splitRanges(static_cast<int32_t>(surface.painted.rows.size()), 2);
    runParts(ranges.count, [&](int32_t part) {
      fillPaintedTileRows(surface, pixel, static_cast<size_t>(ranges.begin(part)),
                          static_cast<size_t>(ranges.end(part)));
    });
    return;
  }
  fillSpan(surface.pixels.data(), static_cast<int64_t>(surface.pixels.size()), pixel);
  startTiles(surface, pixel);
}

void markSurfaceChanged(Surface& surface) {
  surface.painted.known = false;
}

void moveTextPosition(Surface& surface, int32_t x, int32_t y) {
  surface.textX = x;
  surface.textY = y;
}

void setTextColour(Surface& surface, int32_t colour) {
  surface.textColour = colour;
}

void setTransparentText(Surface& surface, bool transparent) {
  surface.transparentText = transparent;
}

void setPenWidth(Surface& surface, int32_t width) {
  surface.penWidth = width;
}

}  // namespace corvath
