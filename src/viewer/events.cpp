// The main window's event handler and the shell's globals it changes.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "files/files.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"
#include "window/window.hpp"

namespace corvath {

double frameCounter = 0;
double mouseTiltAngle = 0;
double mouseTurnAngle = 0;
int64_t mainWindow = 0;
std::string modelFileName = kMeshFileName;
int32_t modelStartColour = 0;
bool watchModelFile = false;
std::string pictureFileName = kPictureFileName;

namespace {

// The zoom factors are single-precision constants; the products are taken in double.
constexpr float kZoomInFactor = 1.1f;
constexpr float kZoomOutFactor = 0.9f;
constexpr double kZoomFloor = 100;
constexpr double kFullTurn = 360;
// The only button state that counts as held: down, and not newly pressed since the last query.
constexpr int16_t kHeldButton = -32768;

// The angles of the last frame not drawn by a tick of the scenes: the model is drawn again at
// them after it changed, or after the scenes.
double lastAngles[3] = {210, 7, 90};
// The zoom the model had when the random scenes started, given back when they stop; and whether
// the next tick is the first of the scenes, which takes a scene's own start-up zoom.
double modelZoom = 0;
bool firstSceneTick = false;

// What the watch last saw of the model file, and whether it changed at the look before.
struct FileState {
  bool exists = false;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  uint64_t inode = 0;
  bool operator==(const FileState&) const = default;
};
FileState watchedState;
bool watchedChanging = false;

FileState fileState(const std::string& path) {
  FileState state;
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return state;
  state.exists = true;
  state.size = status.st_size;
  state.modifiedNs = int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
  state.inode = status.st_ino;
  return state;
}

void drawFrame(double angleX, double angleY, double angleZ) {
  lastAngles[0] = angleX;
  lastAngles[1] = angleY;
  lastAngles[2] = angleZ;
  renderFrame(angleX, angleY, angleZ);
}

void drawFirstFrame() {
  const double angleX = 210;
  const double angleY = 7;
  const double angleZ = 90;
  drawFrame(angleX, angleY, angleZ);
}

void advanceScene() {
  frameCounter = std::fmod(frameCounter + 1, kFullTurn);
  replaceWithNewScene();
  // The scenes fill the screen whatever the model's zoom was; the user's zoom then holds.
  if (std::exchange(firstSceneTick, false)) zoom = startUpZoom();
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
  drawFrame(mouseTiltAngle, mouseTurnAngle, mouseTiltAngle);
}

// Opens the file in place of the mesh shown. On failure the box says why and the mesh shown
// stays: mesh text, which the reader has already taken, by reading the previous file again.
bool openInPlace(const std::string& path) {
  const int32_t width = drawingSurface.width;
  const int32_t height = drawingSurface.height;
  std::string error;
  std::string notice;
  if (!readableFile(path, error)) {
    showMessageBox(path + ": " + error);
    return false;
  }
  if (!openModelFile(path, modelStartColour, width, height, error, notice)) {
    if (isMeshTextFile(path)) {
      std::string ignored;
      openModelFile(modelFileName, modelStartColour, width, height, ignored, ignored);
      prepareMesh();
    }
    showMessageBox(path + ": " + error);
    return false;
  }
  if (!notice.empty()) std::fprintf(stderr, "corvath: %s: %s\n", path.c_str(), notice.c_str());
  prepareMesh();
  return true;
}

// The frame drawn again at the angles of the last one the pointer or a start drew.
void drawAgain() {
  drawFrame(lastAngles[0], lastAngles[1], lastAngles[2]);
}

// The model file read again in place of what is shown, at the zoom given, and drawn.
void showModelAgain(double keptZoom) {
  if (openInPlace(modelFileName)) zoom = keptZoom;
  drawAgain();
}

// The random scenes stop: no tick draws over the model any more.
void stopScenes() {
  if (!timerRunning(kAnimationTimer)) return;
  stopTimer(kAnimationTimer);
  firstSceneTick = false;
}

void toggleScenes() {
  if (!timerRunning(kAnimationTimer)) {
    modelZoom = zoom;
    firstSceneTick = true;
    startTimer(kAnimationTimer, kAnimationPeriodMs);
    return;
  }
  stopScenes();
  // The model comes back as the file now is, at the zoom it had.
  showModelAgain(modelZoom);
}

void reloadModel() {
  const bool scenesShown = timerRunning(kAnimationTimer);
  const double keptZoom = scenesShown ? modelZoom : zoom;
  stopScenes();
  watchedState = fileState(modelFileName);
  showModelAgain(keptZoom);
}

void openDroppedFile() {
  const std::string path = takeDroppedFile();
  if (path.empty()) return;
  stopScenes();
  if (openInPlace(path)) {
    modelFileName = path;
    watchedState = fileState(path);
    setMainWindowCaption(modelCaption(path));
  }
  drawAgain();
}

// Reads the model again once a change has stopped: the file looks the same twice in a row.
void watchTick() {
  const FileState now = fileState(modelFileName);
  if (!(now == watchedState)) {
    watchedState = now;
    watchedChanging = true;
    return;
  }
  if (!std::exchange(watchedChanging, false) || !now.exists) return;
  if (timerRunning(kAnimationTimer)) return;  // the scenes are shown; Space brings it back
  showModelAgain(zoom);
}

void saveWithReport() {
  std::string reason;
  if (savePicture(pictureFileName, &reason) || reason.empty()) return;
  showMessageBox(pictureFileName + ": cannot be saved (" + reason + ")");
}

void runCommand(uint64_t first) {
  const uint32_t command = static_cast<uint32_t>(first & 0xFFFFu);
  if (command == kSaveCommand) {
    saveWithReport();
  } else if (command == kCancelCommand) {
    endMainWindow();
  } else if (command == kAnimateCommand) {
    toggleScenes();
  } else if (command == kReloadCommand) {
    reloadModel();
  }
}

void handleMessage(uint32_t message, uint64_t first, int64_t second) {
  if (message == kCreateMessage) {
    if (watchModelFile) {
      watchedState = fileState(modelFileName);
      startTimer(kWatchTimer, kWatchPeriodMs);
    }
    drawFirstFrame();
  } else if (message == kTimerMessage) {
    if (first == kAnimationTimer) advanceScene();
    if (first == kWatchTimer && watchModelFile) watchTick();
  } else if (message == kCursorMessage) {
    zoomWithButtons();
  } else if (message == kMouseMoveMessage) {
    turnWithPointer(second);
  } else if (message == kDestroyMessage) {
    stopTimer(kAnimationTimer);
    stopTimer(kWatchTimer);
  } else if (message == kCommandMessage) {
    runCommand(first);
  } else if (message == kDropMessage) {
    openDroppedFile();
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

std::string modelCaption(const std::string& path) {
  const size_t slash = path.rfind('/');
  return std::string(kProgramName) + " " + (slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace corvath
