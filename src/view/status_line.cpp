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

// A text without digits ("NAN", "-INF") fills the whole field, decimals included, so no field
// is ever narrower than its mask and the rest of the line keeps its place.
void appendNonFinite(std::string& out, double value, int integerPlaces, int decimals) {
  const std::string_view text = std::isnan(value) ? "NAN" : value < 0 ? "-INF" : "INF";
  const size_t room =
      static_cast<size_t>(decimals == 0 ? integerPlaces : integerPlaces + 1 + decimals);
  if (text.size() < room) out.append(room - text.size(), ' ');
  out += text;
}

// A finite magnitude as 18 significant digits D0.D1...D17 x 10^leadingPlace (0 for zero).
struct FieldDigits {
  char digits[kMaskDigits];
  int leadingPlace = 0;
};

FieldDigits significantDigits(double magnitude) {
  FieldDigits field;
  int exponent = 0;
  roundedDecimalDigits(magnitude, field.digits, exponent);
  field.leadingPlace = magnitude == 0 ? 0 : exponent - 1;
  return field;
}

// Whether the digits dropped after the first `kept` round those up: to nearest, an exact tie to
// the even last digit, and a tie with no digit kept at all (one half in a field without
// decimals) up to 1.
bool roundsUp(const FieldDigits& field, int kept) {
  if (kept < 0 || kept >= kMaskDigits) return false;
  const char dropped = field.digits[kept];
  if (dropped != '5') return dropped > '5';
  bool laterNonZero = false;
  for (int index = kept + 1; index < kMaskDigits; ++index)
    laterNonZero |= field.digits[index] != '0';
  return laterNonZero || kept == 0 || (field.digits[kept - 1] - '0') % 2 == 1;
}

// The digit of every place from 10^highestPlace down to 10^-decimals, after one '0' in front for
// a carry: the kept digits where they fall, zeros elsewhere.
void placeDigits(const FieldDigits& field, int kept, int highestPlace, int decimals, char* places) {
  places[0] = '0';
  for (int place = highestPlace; place >= -decimals; --place) {
    const int index = field.leadingPlace - place;
    const bool isKept = index >= 0 && index < kept && index < kMaskDigits;
    places[1 + highestPlace - place] = isKept ? field.digits[index] : '0';
  }
}

// One unit added in the last place, carried through nines (99.6 becomes 100).
void carryOne(char* places, size_t count) {
  size_t at = count - 1;
  while (places[at] == '9') places[at--] = '0';
  ++places[at];
}

// Right-aligned: the sign and integer digits (leading zeros dropped, the units kept) fill
// integerPlaces positions, or widen the field to the left; then the decimals.
void appendAligned(std::string& out, bool negative, const char* places, size_t integerEnd,
                   int integerPlaces, int decimals) {
  size_t first = 0;
  while (first + 1 < integerEnd && places[first] == '0') ++first;
  const size_t width = (integerEnd - first) + (negative ? 1 : 0);
  if (width < static_cast<size_t>(integerPlaces)) out.append(integerPlaces - width, ' ');
  if (negative) out += '-';
  out.append(places + first, integerEnd - first);
  if (decimals > 0) {
    out += '.';
    out.append(places + integerEnd, decimals);
  }
}

// Appends the text of one field, integerPlaces positions and decimals, without allocating when
// the string has room: the status line is formatted on every frame.
void appendField(std::string& out, double value, int integerPlaces, int decimals) {
  if (!std::isfinite(value)) return appendNonFinite(out, value, integerPlaces, decimals);
  const FieldDigits field = significantDigits(std::fabs(value));
  // Digits kept: those at places 10^leadingPlace down to 10^-decimals.
  const int kept = field.leadingPlace + decimals + 1;
  const int highestPlace = std::max(field.leadingPlace, 0);  // at least the units
  const size_t placeCount = static_cast<size_t>(highestPlace + decimals + 2);
  char local[400];
  std::string large;
  char* places = local;
  if (placeCount > sizeof local) {
    large.resize(placeCount);
    places = large.data();
  }
  placeDigits(field, kept, highestPlace, decimals, places);
  if (roundsUp(field, kept)) carryOne(places, placeCount);
  // Not for negative zero: it has no sign.
  appendAligned(out, value < 0, places, placeCount - decimals, integerPlaces, decimals);
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
    int integerPlaces = 0;
    int decimals = 0;
    while (i < mask.size() && mask[i] == '#') ++integerPlaces, ++i;
    if (i + 1 < mask.size() && mask[i] == '.' && mask[i + 1] == '#') {
      ++i;
      while (i < mask.size() && mask[i] == '#') ++decimals, ++i;
    }
    if (next == values.end()) {
      out.append(mask.substr(start, i - start));  // no value left: the field stays as written
      continue;
    }
    appendField(out, *next++, integerPlaces, decimals);
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
