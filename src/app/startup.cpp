// Start-up: the tables, the start colour, the mesh and the view globals, then the window run.
#include <cmath>

#include "app/app.hpp"
#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

constexpr double kCameraDistance = 5000;
// The initial zoom is this constant divided by the mesh extent.
constexpr double kZoomScale = 600000;
// An extent of 0 (empty mesh, no positive coordinate) would divide by zero; the zoom floor of
// the mouse zoom serves instead.
constexpr double kEmptyMeshZoom = 100;

int32_t makeStartColour() {
  // Three draws in this order, whatever order the compiler would evaluate operands in.
  const double redDraw = randomDraw();
  const double greenDraw = randomDraw();
  const double blueDraw = randomDraw();
  const auto red = static_cast<int32_t>(std::nearbyint(redDraw * 200));
  const auto green = static_cast<int32_t>(std::nearbyint(greenDraw * 240));
  const auto blue = static_cast<int32_t>(std::nearbyint(blueDraw * 200));
  return packColour(red, green, blue);
}

}  // namespace

void prepareMesh() {
  commitVertices();
  setLightDirection(0, 0, 1);
  computeFaceNormals();
}

void replaceWithNewScene() {
  vertexCount = 0;
  faceCount = 0;
  composeScene();
  prepareMesh();
}

void prepareViewer(const std::string& meshFileName, int32_t surfaceWidth, int32_t surfaceHeight) {
  for (auto& row : viewMatrix) {
    for (double& entry : row) entry = 0;
  }
  createMeshLines();
  // Already so in a fresh process; lets a repeated call start from an empty mesh too.
  vertexCount = 0;
  faceCount = 0;
  seedRandom(timeOfDaySeconds());
  const int32_t startColour = makeStartColour();
  loadMeshFile(meshFileName, 0, 0, 0, startColour);
  screenCentreX = surfaceWidth / 2.0;
  screenCentreY = surfaceHeight / 2.0;
  cameraDistance = kCameraDistance;
  const int32_t extent = meshExtent();
  zoom = extent == 0 ? kEmptyMeshZoom : kZoomScale / extent;
  centreMesh();
  prepareMesh();
}

int startUp() {
  // The desktop size is read first so that the shared preparation can take it; nothing it
  // does depends on the steps before it. Without a display no window can exist: nothing shows.
  int32_t width = 0;
  int32_t height = 0;
  if (!desktopSize(width, height)) return 0;
  const std::string meshFileName = kMeshFileName;
  prepareViewer(meshFileName, width, height);

  createSurface(drawingSurface, width, height, kButtonFaceColour);
  drawingSurface.dotsPerInch = displayDotsPerInch();
  setMessageBoxFunction(showWindowMessageBox);
  mainWindow = 1;
  runMainWindow(std::string(kProgramName) + " " + meshFileName, width, height,
                handleMainWindowMessage);
  mainWindow = 0;
  setMessageBoxFunction(nullptr);
  return 0;
}

}  // namespace corvath
