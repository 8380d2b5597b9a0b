// The main window's event handler and the shell's globals it changes.
#include <algorithm>
#include <cmath>
#include <new>

#include "app/app.hpp"
#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"

namespace corvath {

double frameCounter = 0;
double mouseTiltAngle = 0;
double mouseTurnAngle = 0;
int64_t mainWindow = 0;

namespace {

// The zoom factors are single-precision constants; the products are taken in double.
constexpr float kZoomInFactor = 1.1f;
constexpr float kZoomOutFactor = 0.9f;
constexpr double kZoomFloor = 100;
constexpr double kFullTurn = 360;
// The only button state that counts as held: down, and not newly pressed since the last query.
constexpr int16_t kHeldButton = -32768;

void drawFirstFrame() {
  const double angleX = 210;
  const double angleY = 7;
  const double angleZ = 90;
  renderFrame(angleX, angleY, angleZ);
}

void advanceScene() {
  frameCounter = std::fmod(frameCounter + 1, kFullTurn);
  replaceWithNewScene();
  const double angleX = 0;
  renderFrame(angleX, frameCounter, frameCounter);
}

void zoomWithButtons() {
  if (asyncButtonState(kLeftButton) == kHeldButton) {
    zoom = zoom * static_cast<double>(kZoomInFactor);
  }
  if (asyncButtonState(kRightButton) == kHeldButton) {
    zoom = std::max(zoom * static_cast<double>(kZoomOutFactor), kZoomFloor);
  }
}

void turnWithPointer(int64_t position) {
  const auto bits = static_cast<uint64_t>(position);
  mouseTurnAngle = static_cast<double>(bits & 0xFFFFu);
  mouseTiltAngle = static_cast<double>((bits >> 16) & 0xFFFFu);
  mouseTiltAngle = std::fmod(mouseTiltAngle, kFullTurn);
  mouseTurnAngle = std::fmod(mouseTurnAngle, kFullTurn);
  renderFrame(mouseTiltAngle, mouseTurnAngle, mouseTiltAngle);
}

void runCommand(uint64_t first) {
  const uint32_t command = static_cast<uint32_t>(first & 0xFFFFu);
  if (command == kSaveCommand) {
    savePicture(kPictureFileName);
  } else if (command == kCancelCommand) {
    endMainWindow();
  }
}

void handleMessage(uint32_t message, uint64_t first, int64_t second) {
  if (message == kCreateMessage) {
    drawFirstFrame();
  } else if (message == kTimerMessage) {
    if (first == kAnimationTimer) advanceScene();
  } else if (message == kCursorMessage) {
    zoomWithButtons();
  } else if (message == kMouseMoveMessage) {
    turnWithPointer(second);
  } else if (message == kDestroyMessage) {
    stopTimer(kAnimationTimer);
  } else if (message == kCommandMessage) {
    runCommand(first);
  }
}

}  // namespace

int32_t handleMainWindowMessage(int64_t /*window*/, uint32_t message, uint64_t first,
                                int64_t second) {
  try {
    handleMessage(message, first, second);
  } catch (const std::bad_alloc&) {
    // A scene too large for the memory left: the tables keep what was read, and the window
    // goes on with the next event instead of ending the program.
  }
  return 0;
}

}  // namespace corvath
