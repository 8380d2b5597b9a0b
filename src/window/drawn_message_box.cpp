// The picture of the message box the program draws itself: text, OK button, layout.
#include <algorithm>
#include <string_view>
#include <vector>

#include "window/window.hpp"

namespace corvath {

namespace {

// Sizes at 96 dots per inch, scaled to the display's resolution.
constexpr int32_t kReferenceDotsPerInch = 96;
constexpr int32_t kMargin = 14;
constexpr int32_t kLeastWidth = 220;
constexpr int32_t kButtonWidth = 88;
constexpr int32_t kButtonHeight = 26;
constexpr int32_t kTextPoints = 10;

constexpr int32_t kButtonBody = packColour(225, 225, 225);
constexpr int32_t kDefaultButtonBorder = packColour(0, 120, 215);  // blue: Enter presses it
constexpr int32_t kInk = 0;

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (true) {
    const size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

void fillRectangle(Surface& surface, const PixelRectangle& area, int32_t colour) {
  const uint32_t pixel = pixelFromColour(colour);
  const int32_t left = std::max(area.x, 0);
  const int32_t right = std::min(area.x + area.width, surface.width);
  const int32_t top = std::max(area.y, 0);
  const int32_t bottom = std::min(area.y + area.height, surface.height);
  for (int32_t y = top; y < bottom && left < right; ++y) {
    uint32_t* row = surface.pixels.data() + static_cast<size_t>(y) * surface.width;
    std::fill(row + left, row + right, pixel);
  }
  markSurfaceChanged(surface);
}

}  // namespace

PixelRectangle drawMessageBox(Surface& surface, std::string_view text, int32_t dotsPerInch) {
  const int32_t dpi = dotsPerInch > 0 ? dotsPerInch : kReferenceDotsPerInch;
  const auto scaled = [dpi](int32_t size) { return size * dpi / kReferenceDotsPerInch; };

  // Measured on the surface itself, which keeps its font for the drawing below.
  const int32_t font = createFont("Liberation Sans", -(dpi * kTextPoints / 72), 400);
  if (font >= 0) selectFont(surface, font);
  const FontMetrics metrics = fontMetrics(surface);
  const std::vector<std::string_view> lines = splitLines(text);
  int32_t textRight = 0;
  for (const std::string_view line : lines)
    textRight = std::max(textRight, textWidth(surface, line));
  const int32_t lineHeight = metrics.height + metrics.externalLeading;
  const int32_t margin = scaled(kMargin);
  const int32_t buttonWidth = scaled(kButtonWidth);
  const int32_t buttonHeight = std::max(scaled(kButtonHeight), metrics.height + scaled(6));

  const int32_t width =
      std::max({textRight + 2 * margin, buttonWidth + 2 * margin, scaled(kLeastWidth)});
  const int32_t textHeight = lineHeight * static_cast<int32_t>(lines.size());
  const int32_t height = margin + textHeight + margin + buttonHeight + margin;
  createSurface(surface, width, height, kButtonFaceColour);

  setTextColour(surface, kInk);
  setTransparentText(surface, true);
  for (size_t i = 0; i < lines.size(); ++i) {
    moveTextPosition(surface, margin, margin + lineHeight * static_cast<int32_t>(i));
    textOut(surface, lines[i]);
  }

  const PixelRectangle button{(width - buttonWidth) / 2, height - margin - buttonHeight,
                              buttonWidth, buttonHeight};
  const int32_t border = std::max(1, scaled(1));
  fillRectangle(surface, button, kDefaultButtonBorder);
  fillRectangle(
      surface,
      {button.x + border, button.y + border, button.width - 2 * border, button.height - 2 * border},
      kButtonBody);
  constexpr std::string_view kOk = "OK";
  moveTextPosition(surface, button.x + (button.width - textWidth(surface, kOk)) / 2,
                   button.y + (button.height - metrics.height) / 2);
  textOut(surface, kOk);
  return button;
}

}  // namespace corvath
