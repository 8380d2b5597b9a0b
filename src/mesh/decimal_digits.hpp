// The 18 significant decimal digits that number text starts from, made two ways: exactly from a
// short binary fraction, and by the general correctly rounded formatter.
#pragma once

namespace corvath {

constexpr int kRoundedDigits = 18;

// Writes the first 18 significant digits of a finite magnitude >= 0, correctly rounded with
// halves to even, and sets exponent so that magnitude ≈ 0.d1d2...d18 × 10^exponent (0 gives
// zeros and exponent 1).
void roundedDecimalDigits(double magnitude, char digits[kRoundedDigits], int& exponent);

// The same digits computed exactly in integer arithmetic. Works for magnitudes whose binary
// fraction is short (every 32-bit float of ordinary size is one); returns false for the others.
bool exactDecimalDigits(double magnitude, char digits[kRoundedDigits], int& exponent);

}  // namespace corvath
