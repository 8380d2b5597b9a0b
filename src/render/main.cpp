// corvath-render's entry point.
#if defined(__EMSCRIPTEN__)
#include <sys/stat.h>
#endif

#include "render/render.hpp"

int main(int argc, char** argv) {
#if defined(__EMSCRIPTEN__)
  // Emscripten starts with a mask of 0777, under which pictures would be written unreadable.
  umask(022);
#endif
  return corvath::runRender(argc, argv);
}
