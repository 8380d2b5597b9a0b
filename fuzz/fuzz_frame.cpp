// Fuzz target: arbitrary bytes as the mesh file, prepared as start-up does, then whole frames,
// status line included, on a small drawing surface at a few angles.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"

namespace {

constexpr int32_t kSurfaceWidth = 320;
constexpr int32_t kSurfaceHeight = 200;
constexpr double kCameraDistance = 5000;
constexpr double kZoomScale = 600000;
constexpr double kEmptyMeshZoom = 100;

// A frame costs time in proportion to the tables: at the 2^22-element cap several seconds
// under the sanitizers, which would read as a hang. Larger meshes are only loaded and prepared
// here; the hostile frame tests draw them at full size in an ordinary build.
constexpr int32_t kMaxDrawnElements = 1 << 18;

// The first frame's angles, a frame-timer tick's and a few mouse positions.
constexpr double kAngles[][3] = {{210, 7, 90}, {0, 45, 45}, {90, 0, 90}, {359, 271, 359}};

// Headless: the "Errore." box returns at once, and is only counted.
int messages = 0;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  using namespace corvath;
  createMeshLines();
  fuzzing::createInputFile();
  createSurface(drawingSurface, kSurfaceWidth, kSurfaceHeight, 0);
  setMessageBoxFunction([](const std::string&) { ++messages; });
  screenCentreX = kSurfaceWidth / 2.0;
  screenCentreY = kSurfaceHeight / 2.0;
  cameraDistance = kCameraDistance;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvath;
  const int32_t extent = fuzzing::loadAndPrepare(data, size);
  zoom = extent == 0 ? kEmptyMeshZoom : kZoomScale / extent;
  if (vertexCount <= kMaxDrawnElements && faceCount <= kMaxDrawnElements) {
    for (const auto& angles : kAngles) {
      const int before = messages;
      renderFrame(angles[0], angles[1], angles[2]);
      if (messages - before > 1) fuzzing::fail("more than one message box in a frame");
    }
  }
  fuzzing::checkTables();
  fuzzing::resetMesh();
  return 0;
}
