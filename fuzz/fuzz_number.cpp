// Fuzz target: the decimal text of numbers and the mask formatter on arbitrary doubles (the
// first 8 bytes), each checked against the reader's number rule, against the digit rule written
// out step by step, and against the field widths they promise. Any failure aborts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "mesh/mesh.hpp"
#include "view/view.hpp"

namespace {

using corvath::formatWithMask;
using corvath::numberText;
using corvath::readNumber;

// Rounding to 15 significant digits is off by half a unit of the 15th digit, 5e-15 of the
// value, except where the 16th digit alone decides: a 5 there goes to the even 15th digit
// whatever follows ("...0599" down), up to 0.6 of a unit. Reading back adds half an ulp.
constexpr double kFifteenDigits = 6.1e-15;
// Below the normal range the reader can only land on multiples of the smallest subnormal.
constexpr double kSmallestSubnormal = std::numeric_limits<double>::denorm_min();
// Fifteen digits of anything from here up read back above the largest double: infinity.
constexpr double kOverflowingText = 1.797693134862315e308;

[[noreturn]] void fail(const char* what, double value, const std::string& text) {
  std::fprintf(stderr, "%s: value %.17g (%a) text \"%s\"\n", what, value, value, text.c_str());
  std::abort();
}

// The text of a number as the rule states it: the magnitude rounded to 18 significant digits
// (printf's own correctly rounded conversion), then to 15 by the 16th digit alone, trailing zeros
// dropped, then plain, fractional or exponent form.
std::string ruleText(double value) {
  if (value == 0) return " 0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17e", std::fabs(value));  // d.ddddddddddddddddde+xx
  std::string digits(1, buffer[0]);
  digits.append(buffer + 2, 17);
  int exponent = std::atoi(std::strchr(buffer, 'e') + 1) + 1;  // value = 0.d1d2... * 10^exponent
  const bool up = digits[15] > '5' || (digits[15] == '5' && (digits[14] - '0') % 2 == 1);
  digits.resize(15);
  if (up) {
    int k = 14;
    while (k >= 0 && digits[k] == '9') digits[k--] = '0';
    if (k >= 0) {
      ++digits[k];
    } else {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++exponent;
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int n = static_cast<int>(digits.size());
  std::string text(1, value < 0 ? '-' : ' ');
  if (exponent >= n && exponent <= 15) {
    text += digits + std::string(exponent - n, '0');
  } else if (exponent < n && n - exponent <= 16) {
    if (exponent > 0) {
      text += digits.substr(0, exponent) + "." + digits.substr(exponent);
    } else {
      text += "." + std::string(-exponent, '0') + digits;
    }
  } else {
    text += digits.substr(0, 1);
    if (n > 1) text += "." + digits.substr(1);
    const int shown = exponent - 1;
    text += (shown >= 0 ? "E+" : "E-") + std::to_string(shown >= 0 ? shown : -shown);
  }
  return text;
}

void checkNumberText(double value) {
  const std::string text = numberText(value);
  if (!std::isfinite(value)) return;  // their text is this system's own choice
  if (text != ruleText(value))
    fail("numberText differs from the digit rule", value, ruleText(value) + "\" got \"" + text);

  const double back = readNumber(text);
  if (std::isinf(back) && std::fabs(value) >= kOverflowingText) return;
  if (!(std::fabs(back - value) <= kFifteenDigits * std::fabs(value) + kSmallestSubnormal)) {
    fail("the reader does not read the text back to 15 digits", value, text);
  }
  if (numberText(back) != text) fail("the text of the value read back differs", value, text);
}

void checkIntegerText(int32_t value) {
  const std::string text = numberText(value);
  const std::string magnitude =
      std::to_string(value < 0 ? -static_cast<int64_t>(value) : static_cast<int64_t>(value));
  if (text != (value < 0 ? "-" : " ") + magnitude) fail("integer text", value, text);
}

// One field of p integer positions and d decimals between markers, so its text can be cut out.
void checkField(double value, int p, int d) {
  std::string mask = "<" + std::string(p, '#');
  if (d > 0) mask += "." + std::string(d, '#');
  mask += ">";
  const std::string out = formatWithMask(mask, {value});
  if (out.size() < 2 || out.front() != '<' || out.back() != '>') fail("markers lost", value, out);
  const std::string field = out.substr(1, out.size() - 2);
  const size_t promised = static_cast<size_t>(p + (d > 0 ? d + 1 : 0));
  if (field.size() < promised) fail("field narrower than its mask", value, out);
  if (!std::isfinite(value)) return;

  const size_t point = field.find('.');
  if ((d > 0) != (point != std::string::npos)) fail("decimal point", value, out);
  if (d > 0 && field.size() - point - 1 != static_cast<size_t>(d))
    fail("decimal count", value, out);
  if (field.find_first_not_of(" -.0123456789") != std::string::npos)
    fail("stray character", value, out);
  // Rounded to d decimals from 18 significant digits.
  const double shown = readNumber(field);
  const double tolerance = 0.5 * std::pow(10.0, -d) * (1 + 1e-12) + 2.5e-16 * std::fabs(value);
  if (!(std::fabs(shown - value) <= tolerance)) fail("field value", value, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < sizeof(double)) return 0;
  double value;
  std::memcpy(&value, data, sizeof value);
  int32_t whole;
  std::memcpy(&whole, data, sizeof whole);
  const int p = size > 8 ? 1 + data[8] % 30 : 3;
  const int d = size > 9 ? data[9] % 31 : 3;

  checkNumberText(value);
  checkIntegerText(whole);
  checkField(value, p, d);
  checkField(value, 3, 0);
  checkField(value, 3, 3);
  const std::string status =
      formatWithMask(corvath::kStatusMask, {value, value, value, value, value});
  if (std::isfinite(value) && status.size() < corvath::kStatusMask.size()) {
    fail("status line shorter than its mask", value, status);
  }
  return 0;
}
