// The status line: the '#' mask formatter and the yellow line at the top left of every frame.
#include <cmath>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"

namespace corvath {

namespace {

constexpr int kMaskDigits = kRoundedDigits;
constexpr int32_t kStatusColour = packColour(255, 255, 0);  // yellow
constexpr int32_t kStatusPoints = 12;
constexpr int32_t kBoldWeight = 700;

// Appends the text of one field, p integer positions and d decimals, without allocating
// when the string has room: the status line is formatted on every frame.
void appendField(std::string& out, double value, int p, int d) {
  if (!std::isfinite(value)) {
    // A text without digits ("NAN", "-INF") fills the whole field, decimals included, so no
    // field is ever narrower than its mask and the rest of the line keeps its place.
    const std::string_view text = std::isnan(value) ? "NAN" : value < 0 ? "-INF" : "INF";
    const size_t room = static_cast<size_t>(d == 0 ? p : p + 1 + d);
    if (text.size() < room) out.append(room - text.size(), ' ');
    out += text;
    return;
  }
  // The magnitude as 18 significant digits D0.D1...D17 x 10^e.
  char digits[kMaskDigits];
  int e = 0;
  roundedDecimalDigits(std::fabs(value), digits, e);
  e -= 1;
  if (value == 0) e = 0;

  // Digits kept: those at places 10^e down to 10^-d.
  const int keep = e + d + 1;
  bool roundUp = false;
  if (keep >= 0 && keep < kMaskDigits) {
    const char dropped = digits[keep];
    bool laterNonZero = false;
    for (int k = keep + 1; k < kMaskDigits; ++k) laterNonZero |= digits[k] != '0';
    if (dropped > '5') {
      roundUp = true;
    } else if (dropped == '5') {
      // An exact tie goes to the even last digit; with no digit kept at all (one half in a
      // field without decimals) it goes up to 1.
      roundUp = laterNonZero || keep == 0 || (digits[keep - 1] - '0') % 2 == 1;
    }
  }

  // Places from the highest integer place (at least the units) down to 10^-d, with one place
  // in front for a carry (99.6 becomes 100).
  const int top = std::max(e, 0);
  const size_t places = static_cast<size_t>(top + d + 2);
  char local[400];
  std::string large;
  char* placed = local;
  if (places > sizeof local) {
    large.resize(places);
    placed = large.data();
  }
  placed[0] = '0';
  for (int place = top; place >= -d; --place) {
    const int k = e - place;
    placed[1 + top - place] = (k >= 0 && k < keep && k < kMaskDigits) ? digits[k] : '0';
  }
  if (roundUp) {
    size_t k = places - 1;
    while (placed[k] == '9') placed[k--] = '0';
    ++placed[k];
  }
  const size_t integerEnd = places - d;
  size_t first = 0;
  while (first + 1 < integerEnd && placed[first] == '0') ++first;

  // Right-aligned: the sign and integer digits fill p positions, or widen the field.
  const bool negative = value < 0;  // not for negative zero
  const size_t width = (integerEnd - first) + (negative ? 1 : 0);
  if (width < static_cast<size_t>(p)) out.append(p - width, ' ');
  if (negative) out += '-';
  out.append(placed + first, integerEnd - first);
  if (d > 0) {
    out += '.';
    out.append(placed + integerEnd, d);
  }
}

}  // namespace

std::string formatWithMask(std::string_view mask, std::initializer_list<double> values) {
  std::string out;
  formatWithMaskInto(out, mask, values);
  return out;
}

void formatWithMaskInto(std::string& out, std::string_view mask,
                        std::initializer_list<double> values) {
  auto next = values.begin();
  size_t i = 0;
  while (i < mask.size()) {
    if (mask[i] != '#') {
      out += mask[i++];
      continue;
    }
    const size_t start = i;
    int p = 0;
    int d = 0;
    while (i < mask.size() && mask[i] == '#') ++p, ++i;
    if (i + 1 < mask.size() && mask[i] == '.' && mask[i + 1] == '#') {
      ++i;
      while (i < mask.size() && mask[i] == '#') ++d, ++i;
    }
    if (next == values.end()) {
      out.append(mask.substr(start, i - start));  // no value left: the field stays as written
      continue;
    }
    appendField(out, *next++, p, d);
  }
}

bool statusLineShown = true;

void drawStatusLine(const double& angleX, const double& angleY, const double& angleZ) {
  if (!statusLineShown) return;
  Surface& surface = drawingSurface;
  // Created anew every frame; the platform keeps the face and glyphs loaded between frames.
  const int32_t height = -(surface.dotsPerInch * kStatusPoints / 72);
  const int32_t font = createFont("courier new", height, kBoldWeight);
  if (font >= 0) {
    const int32_t previous = selectFont(surface, font);
    if (previous >= 0 && previous != font) deleteFont(previous);
  }
  const FontMetrics metrics = fontMetrics(surface);
  setTextColour(surface, kStatusColour);
  setTransparentText(surface, true);
  moveTextPosition(surface, 0, 0);
  // Kept from frame to frame, so that formatting the line allocates nothing once warm.
  static std::string line;
  line.clear();
  formatWithMaskInto(line, kStatusMask,
                     {zoom, static_cast<double>(vertexCount), angleX, angleY, angleZ});
  textOut(surface, line);
  moveTextPosition(surface, 0, surface.textY + metrics.height + metrics.externalLeading);
}

}  // namespace corvath
