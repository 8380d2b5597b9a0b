// Start-up: the arguments, the tables, the start colour, the model and the view globals, then
// the window run.
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/app.hpp"
#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

constexpr double kCameraDistance = 5000;

constexpr const char* kUsage =
    "usage: corvath [--watch] [FILE]\n"
    "Shows a triangle mesh in a full-screen window. Without FILE it opens 3d.asc in the current\n"
    "folder. FILE may be mesh text (.asc) or any model the import library reads (OBJ, STL, PLY,\n"
    "glTF, COLLADA, 3DS, ...); such a model is placed so that it is seen whole.\n"
    "  --watch     read FILE again whenever it changes on disk\n"
    "  --help      print this text\n"
    "  --version   print the version\n"
    "Mouse: the pointer's position turns the model; the left button held zooms in, the right\n"
    "one out. Keys: Space starts and stops random scenes, F5 reads the file again, Ctrl+S saves\n"
    "the picture as 3d.bmp in the current folder, Esc quits. A file dropped on the window opens.\n";

struct ViewerOptions {
  std::string file;
  bool fileGiven = false;
  bool watch = false;
};

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

int usageError(const std::string& message) {
  std::fprintf(stderr, "corvath: %s\nTry 'corvath --help' for more information.\n",
               message.c_str());
  return 2;
}

// Returns -1 to go on, else the exit code.
int parseArguments(int argc, char** argv, ViewerOptions& options) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!optionsEnded && (argument == "--version" || argument == "-V")) {
      std::printf("corvath %s\n", kProgramVersion);
      return 0;
    } else if (!optionsEnded && argument == "--watch") {
      options.watch = true;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      return usageError("unknown option " + std::string(argument));
    } else if (options.fileGiven) {
      return usageError("one file at a time (" + options.file + ", " + std::string(argument) + ")");
    } else if (argument.empty()) {
      return usageError("an empty file name");
    } else {
      options.file = argument;
      options.fileGiven = true;
    }
  }
  if (options.watch && !options.fileGiven) options.file = kMeshFileName;
  return -1;
}

}  // namespace

void prepareMesh() {
  commitVertices();
  setLightDirection(0, 0, 1);
  computeFaceNormals();
  malformedFaceReported = false;
}

void replaceWithNewScene() {
  vertexCount = 0;
  faceCount = 0;
  composeScene();
  prepareMesh();
}

bool prepareViewer(const std::string& meshFileName, int32_t surfaceWidth, int32_t surfaceHeight,
                   std::string* error, std::string* notice) {
  for (auto& row : viewMatrix) {
    for (double& entry : row) entry = 0;
  }
  createMeshLines();
  // Already so in a fresh process; lets a repeated call start from an empty mesh too.
  vertexCount = 0;
  faceCount = 0;
  seedRandom(timeOfDaySeconds());
  modelStartColour = makeStartColour();
  screenCentreX = surfaceWidth / 2.0;
  screenCentreY = surfaceHeight / 2.0;
  cameraDistance = kCameraDistance;
  std::string reason;
  std::string done;
  zoom = startUpZoom();
  const bool opened =
      meshFileName.empty() ||
      openModelFile(meshFileName, modelStartColour, surfaceWidth, surfaceHeight, reason, done);
  modelFileName = meshFileName;
  prepareMesh();
  if (error != nullptr) *error = reason;
  if (notice != nullptr) *notice = done;
  return opened;
}

int startUp(int argc, char** argv) {
  ViewerOptions options;
  options.file = kMeshFileName;
  if (const int code = parseArguments(argc, argv, options); code >= 0) return code;

  // The desktop size is read first so that the preparation can take it.
  int32_t width = 0;
  int32_t height = 0;
  if (!desktopSize(width, height)) {
    std::fprintf(stderr,
                 "%s: no display (set DISPLAY for an X server or WAYLAND_DISPLAY for a Wayland "
                 "compositor; SDL_VIDEODRIVER=offscreen runs without one)\n",
                 kProgramName);
    return 1;
  }
  std::string error;
  std::string notice;
  const bool opened = prepareViewer(options.file, width, height, &error, &notice);
  // Without a file named, a missing or empty 3d.asc shows an empty mesh, as it always has.
  if (!opened && options.fileGiven) {
    std::fprintf(stderr, "corvath: %s: %s\n", options.file.c_str(), error.c_str());
    return 1;
  }
  if (!notice.empty()) std::fprintf(stderr, "corvath: %s: %s\n", options.file.c_str(), notice.c_str());
  watchModelFile = options.watch;

  createSurface(drawingSurface, width, height, kButtonFaceColour);
  drawingSurface.dotsPerInch = displayDotsPerInch();
  setMessageBoxFunction(showWindowMessageBox);
  mainWindow = 1;
  const bool shown =
      runMainWindow(modelCaption(options.file), width, height, handleMainWindowMessage);
  mainWindow = 0;
  setMessageBoxFunction(nullptr);
  if (!shown) {
    std::fprintf(stderr, "%s: cannot open a window\n", kProgramName);
    return 1;
  }
  return 0;
}

}  // namespace corvath
