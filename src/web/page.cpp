// The web page's start-up: the viewer's own preparation, on the canvas instead of the desktop.
#include <sys/stat.h>

#include <string>

#include "view/view.hpp"
#include "viewer/viewer.hpp"
#include "web/web.hpp"
#include "window/window.hpp"

namespace corvath {

namespace {

// Emscripten's file system starts with a mask of 0777, which would make every saved picture
// unreadable (and the next save over it fail); the usual desktop mask instead.
constexpr mode_t kFileCreationMask = 022;

}  // namespace

bool startPage(const std::string& file) {
  umask(kFileCreationMask);
  int32_t width = 0;
  int32_t height = 0;
  if (!desktopSize(width, height)) return false;
  std::string error;
  std::string notice;
  const bool opened = prepareViewer(file, width, height, &error, &notice);
  if (!runViewerWindow(file, width, height)) return false;
  // The sample may be missing (an empty mesh, as on the desktop); a file asked for is reported.
  if (!opened && file != kMeshFileName) showMessageBox(file + ": " + error);
  return true;
}

}  // namespace corvath
