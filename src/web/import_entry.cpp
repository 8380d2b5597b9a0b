// The web page's entry for models of other formats: the objects its import worker made, handed
// over one at a time as arrays in this module's memory, then placed as the desktop viewer places
// an imported model. Plain C functions, so that the page calls them by name.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "import/import.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"

namespace corvath {

namespace {

// The objects handed over since the last corvathImportBegin, and the reason of the last failure.
std::vector<MeshObject> handedObjects;
std::string importError;

// The clock the start colour reads, fixed as corvath-render --seed fixes it.
double fixedSeconds = 0;
double fixedClock() {
  return fixedSeconds;
}

}  // namespace

}  // namespace corvath

using namespace corvath;

extern "C" {

// Forgets the objects handed over so far.
void corvathImportBegin() {
  handedObjects.clear();
  importError.clear();
}

// Copies one object: its name (UTF-8, zero-ended), vertexTotal positions (x, y, z each),
// faceTotal faces (a, b, c each, numbers of its vertices) and their packed colours (or -1). Returns
// 0, with the reason kept, when memory runs out or a corner names no vertex of the object.
int32_t corvathImportObject(const char* name, const double* positions, uint32_t vertexTotal,
                            const uint32_t* corners, const int32_t* colours, uint32_t faceTotal) {
  try {
    MeshObject object;
    object.name = name;
    object.positions.assign(positions, positions + size_t{vertexTotal} * 3);
    object.corners.assign(corners, corners + size_t{faceTotal} * 3);
    object.colours.assign(colours, colours + faceTotal);
    // The worker checks its corners; one that slipped through would index past the tables.
    if (std::any_of(object.corners.begin(), object.corners.end(),
                    [&](uint32_t corner) { return corner >= vertexTotal; })) {
      importError = "a face of \"" + object.name + "\" names a vertex it does not have";
      return 0;
    }
    handedObjects.push_back(std::move(object));
  } catch (const std::bad_alloc&) {
    importError = "too large for the memory left";
    return 0;
  }
  return 1;
}

// Places the objects handed over in the tables, faces without a colour in the model's start
// colour, framed for a canvas of the given size, and prepares them to be drawn. Returns 0 with
// the reason (corvathImportError), the mesh shown before left as it was, for a model beyond the
// tables or the memory.
int32_t corvathImportPlace(int32_t width, int32_t height) {
  const bool placed = placeImportedObjects(handedObjects, modelStartColour,
                                           std::min(width, height), importError);
  handedObjects.clear();
  handedObjects.shrink_to_fit();
  if (!placed) return 0;
  prepareMesh();
  return 1;
}

// The reason of the last failure, or "".
const char* corvathImportError() {
  return importError.c_str();
}

// Sets up the view for a canvas of the given size as corvath-render --seed SEED --no-status
// does, with an empty mesh, so that frames of the page can be held to the desktop's pictures.
void corvathStartView(int32_t width, int32_t height, double seed) {
  fixedSeconds = seed;
  setTimeOfDayClock(fixedClock);
  prepareViewer("", width, height);
  createSurface(drawingSurface, width, height, kButtonFaceColour);
  statusLineShown = false;
}

// Draws one frame at the angles (degrees) and returns its picture as BMP bytes, their count in
// *size; the bytes stay until the next call.
const uint8_t* corvathFrameBmp(double angleX, double angleY, double angleZ, uint32_t* size) {
  static std::vector<uint8_t> picture;
  renderFrame(angleX, angleY, angleZ);
  picture = bmpBytes(drawingSurface);
  *size = static_cast<uint32_t>(picture.size());
  return picture.data();
}

// The counts and the zoom of the mesh in the tables, as corvath-render prints them.
int32_t corvathVertexCount() {
  return vertexCount;
}
int32_t corvathFaceCount() {
  return faceCount;
}
double corvathZoom() {
  return zoom;
}

}  // extern "C"
