// Recording what the drawing operations paint, tile by tile, for the next fill (PaintedTiles).
#pragma once

#include <cstdint>

#include "raster/raster.hpp"

namespace corvath {

// Pixels left..right and top..bottom (inclusive, inside the surface) are about to be painted.
inline void markPainted(Surface& surface, int64_t left, int64_t top, int64_t right,
                        int64_t bottom) {
  PaintedTiles& tiles = surface.painted;
  // A size changed behind the record's back: the next fill covers everything anyway, and the
  // rows may not fit the coordinates.
  if (!tiles.known || tiles.width != surface.width || tiles.height != surface.height) return;
  const int32_t shift = tiles.shift;
  // Unsigned arithmetic wraps for the 64th column, which is what the mask needs.
  const uint64_t columns = (uint64_t{2} << (right >> shift)) - (uint64_t{1} << (left >> shift));
  uint64_t* const rows = tiles.rows.data();
  // Written only when a bit is new: threads painting neighbouring bands share the record's
  // cache lines, and a write on every face would pass those lines to and fro.
  for (int64_t row = top >> shift; row <= bottom >> shift; ++row) {
    if ((rows[row] & columns) != columns) rows[row] |= columns;
  }
}

}  // namespace corvath
