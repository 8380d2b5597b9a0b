// PNG bytes where libpng is left out (the web build): none, which callers take as a picture that
// cannot be encoded.
#include "raster/raster.hpp"

namespace corvath {

std::vector<uint8_t> pngBytes(const Surface&) {
  return {};
}

}  // namespace corvath
