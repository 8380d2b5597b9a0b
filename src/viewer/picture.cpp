// Picture export: the drawing surface as a 24-bit BMP file.
#include <new>

#include "files/files.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"

namespace corvath {

bool savePicture(const std::string& fileName, std::string* reason) {
  if (fileName.empty() || !drawingSurfaceSelected) return false;
  try {
    const std::vector<uint8_t> bytes = bmpBytes(drawingSurface);
    return replaceFile(fileName, bytes, reason);
  } catch (const std::bad_alloc&) {
    // No room for the image: nothing is written, as with any other failed save.
    if (reason != nullptr) *reason = "out of memory";
    return false;
  }
}

}  // namespace corvath
