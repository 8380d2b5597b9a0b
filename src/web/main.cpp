// The entry point of the page's module: the page calls it once its file system holds the model.
#include <emscripten.h>

#include "web/web.hpp"

extern "C" {

// The page's start: `file` is a path in the page's file system. Returns 1, or 0 when the canvas
// has no size.
EMSCRIPTEN_KEEPALIVE int32_t corvathWebStart(const char* file) {
  return corvath::startPage(file) ? 1 : 0;
}
}
