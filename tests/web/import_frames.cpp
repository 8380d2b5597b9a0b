// For the node tests of the page's import: the viewer's start-up as corvath-render runs it, on a
// model whose objects the test handed over (corvathWebImport...), and the frame's BMP bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"

namespace {

double fixedSeconds = 0;
std::string openError;
std::vector<uint8_t> picture;

}  // namespace

extern "C" {

// Opens the model at `path` as corvath-render --seed SEED opens it, on a surface of the size.
// Returns 0, the reason in corvathTestError, when it cannot be shown.
int32_t corvathTestOpen(const char* path, int32_t width, int32_t height, double seed) {
  fixedSeconds = seed;
  corvath::setTimeOfDayClock([] { return fixedSeconds; });
  const bool opened = corvath::prepareViewer(path, width, height, &openError);
  corvath::createSurface(corvath::drawingSurface, width, height, corvath::kButtonFaceColour);
  corvath::drawingSurface.dotsPerInch = 96;
  return opened ? 1 : 0;
}

const char* corvathTestError() {
  return openError.c_str();
}

// Draws the frame at the angles (degrees); its BMP bytes, *size of them, stay until the next.
const uint8_t* corvathTestFrame(double angleX, double angleY, double angleZ, uint32_t* size) {
  corvath::renderFrame(angleX, angleY, angleZ);
  picture = corvath::bmpBytes(corvath::drawingSurface);
  *size = static_cast<uint32_t>(picture.size());
  return picture.data();
}
}
