// Start-up: the arguments, the tables, the start colour, the model and the view globals, then
// the window run.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"
#include "window/window.hpp"

namespace corvath {

namespace {

constexpr const char* kUsage =
    "usage: corvath [--watch] [--desktop] [FILE]\n"
    "Shows a triangle mesh in a full-screen window. Without FILE it opens 3d.asc in the current\n"
    "folder. FILE may be mesh text (.asc) or any model the import library reads (OBJ, STL, PLY,\n"
    "glTF, COLLADA, 3DS, ...); such a model is placed so that it is seen whole.\n"
    "  --watch        read FILE again whenever it changes on disk\n"
    "  --desktop      as started from the desktop's menu: without FILE the installed sample\n"
    "                 mesh opens, and Ctrl+S saves 3d.bmp in the pictures folder\n"
    "                 (XDG_PICTURES_DIR, else the home folder) instead of the current one\n"
    "  -h, --help     print this text\n"
    "  -V, --version  print the version\n"
    "Mouse: the pointer's position turns the model; the left button held zooms in, the right\n"
    "one out. Keys: Space starts and stops random scenes, F5 reads the file again, Ctrl+S saves\n"
    "the picture as 3d.bmp in the current folder, Esc quits. A file dropped on the window opens.\n";

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

// The folder if it exists, else "".
std::string existingFolder(const std::string& path) {
  struct stat status {};
  if (path.empty() || path[0] != '/' || stat(path.c_str(), &status) != 0 ||
      !S_ISDIR(status.st_mode)) {
    return "";
  }
  return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

// XDG_PICTURES_DIR as user-dirs.dirs sets it: a quoted absolute path or one under "$HOME/".
std::string picturesFromUserDirs(const std::string& home) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config =
      configHome != nullptr && configHome[0] == '/' ? configHome : home + "/.config";
  std::ifstream file(config + "/user-dirs.dirs");
  constexpr std::string_view kKey = "XDG_PICTURES_DIR=\"";
  std::string found;
  for (std::string line; std::getline(file, line);) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0) continue;
    const size_t from = start + kKey.size();
    const size_t quote = line.find('"', from);
    if (quote == std::string::npos) continue;
    std::string value = line.substr(from, quote - from);
    if (value.starts_with("$HOME")) value = home.empty() ? "" : home + value.substr(5);
    found = value;  // the last assignment holds, as in the shell
  }
  return found;
}

}  // namespace

int parseViewerArguments(int argc, char** argv, ViewerOptions& options) {
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
    } else if (!optionsEnded && argument == "--desktop") {
      options.desktop = true;
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
  if (!options.fileGiven) options.file = options.desktop ? installedSampleFile() : kMeshFileName;
  if (options.desktop) {
    const std::string folder = picturesFolder();
    options.picture = folder.empty() ? kPictureFileName : folder + "/" + kPictureFileName;
  }
  return -1;
}

std::string installedSampleFile() {
  // Beside the running program first: `cmake --install --prefix` may differ from the prefix the
  // build was configured with.
  char program[4096];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length > 0) {
    std::string folder(program, static_cast<size_t>(length));
    folder.resize(folder.rfind('/') + 1);
    const std::string beside = folder + CORVATH_SAMPLE_FROM_PROGRAMS;
    if (access(beside.c_str(), R_OK) == 0) return beside;
  }
  return CORVATH_SAMPLE_FILE;
}

std::string picturesFolder() {
  const char* homeVariable = std::getenv("HOME");
  const std::string home = existingFolder(homeVariable != nullptr ? homeVariable : "");
  const char* pictures = std::getenv("XDG_PICTURES_DIR");
  std::string folder = existingFolder(pictures != nullptr ? pictures : "");
  if (folder.empty()) folder = existingFolder(picturesFromUserDirs(home));
  return folder.empty() ? home : folder;
}

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
  cameraDistance = kViewerEyeDistance;
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

bool runViewerWindow(const std::string& file, int32_t width, int32_t height) {
  createSurface(drawingSurface, width, height, kButtonFaceColour);
  drawingSurface.dotsPerInch = displayDotsPerInch();
  setMessageBoxFunction(showWindowMessageBox);
  mainWindow = 1;
  return runMainWindow(modelCaption(file), width, height, handleMainWindowMessage);
}

int startUp(int argc, char** argv) {
  ViewerOptions options;
  if (const int code = parseViewerArguments(argc, argv, options); code >= 0) return code;
  pictureFileName = options.picture;

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
  if (!notice.empty())
    std::fprintf(stderr, "corvath: %s: %s\n", options.file.c_str(), notice.c_str());
  watchModelFile = options.watch;

  const bool shown = runViewerWindow(options.file, width, height);
  mainWindow = 0;
  setMessageBoxFunction(nullptr);
  if (!shown) {
    std::fprintf(stderr, "%s: cannot open a window\n", kProgramName);
    return 1;
  }
  return 0;
}

}  // namespace corvath
