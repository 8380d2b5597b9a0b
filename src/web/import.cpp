// Models of other formats in the page: its import worker's objects, handed over one at a time as
// arrays in the module's memory and kept for the path the page then opens (Emscripten only).
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "import/import.hpp"
#include "viewer/viewer.hpp"

namespace corvath {

namespace {

// The objects handed over since the last corvathWebImportBegin.
std::vector<MeshObject> handedObjects;

}  // namespace

}  // namespace corvath

extern "C" {

// Forgets the objects handed over and not yet given a path.
EMSCRIPTEN_KEEPALIVE void corvathWebImportBegin() {
  corvath::handedObjects.clear();
}

// Copies one object: its name (UTF-8, zero-ended), vertexTotal positions (x, y, z each in the
// viewer's space), faceTotal faces (a, b, c each, numbers of the object's vertices) and their
// packed colours (-1 for none). Returns 0, the object left out, when memory runs out or a corner
// names no vertex of the object.
EMSCRIPTEN_KEEPALIVE int32_t corvathWebImportObject(const char* name, const double* positions,
                                                    uint32_t vertexTotal, const uint32_t* corners,
                                                    const int32_t* colours, uint32_t faceTotal) {
  try {
    corvath::MeshObject object;
    object.name = name;
    object.positions.assign(positions, positions + size_t{vertexTotal} * 3);
    object.corners.assign(corners, corners + size_t{faceTotal} * 3);
    object.colours.assign(colours, colours + faceTotal);
    // A corner past the vertices would index past the tables.
    if (std::any_of(object.corners.begin(), object.corners.end(),
                    [&](uint32_t corner) { return corner >= vertexTotal; })) {
      return 0;
    }
    corvath::handedObjects.push_back(std::move(object));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

// The objects handed over become the model at `path` (a path in the page's file system, where
// the page keeps the file itself): opening it (a drop, the start) places them.
EMSCRIPTEN_KEEPALIVE void corvathWebImportEnd(const char* path) {
  corvath::handImportedObjects(path, std::move(corvath::handedObjects));
  corvath::handedObjects.clear();
}
}
