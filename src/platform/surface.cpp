// The drawing surface's size, clearing and the drawing state kept between operations.
#include <algorithm>

#include "platform/fill_span.hpp"
#include "platform/platform.hpp"

namespace corvath {

void createSurface(Surface& surface, int32_t width, int32_t height, int32_t colour) {
  surface.width = std::max(width, 0);
  surface.height = std::max(height, 0);
  surface.pixels.assign(static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height),
                        pixelFromColour(colour));
}

void fillSurface(Surface& surface, int32_t colour) {
  if (surface.pixels.empty()) return;
  fillSpan(surface.pixels.data(), static_cast<int64_t>(surface.pixels.size()),
           pixelFromColour(colour));
}

void moveTextPosition(Surface& surface, int32_t x, int32_t y) {
  surface.textX = x;
  surface.textY = y;
}

void setTextColour(Surface& surface, int32_t colour) {
  surface.textColour = colour;
}

void setTransparentText(Surface& surface, bool transparent) {
  surface.transparentText = transparent;
}

void setPenWidth(Surface& surface, int32_t width) {
  surface.penWidth = width;
}

}  // namespace corvath
