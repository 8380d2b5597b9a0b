// The 18 significant decimal digits that number text starts from, made two ways: exactly from a
// short binary fraction, and by the general correctly rounded formatter.
#pragma once

#include "numbers/numbers.hpp"

namespace corvath {

// The same digits computed exactly in integer arithmetic. Works for magnitudes whose binary
// fraction is short (every 32-bit float of ordinary size is one); returns false for the others.
bool exactDecimalDigits(double magnitude, char digits[kRoundedDigits], int& exponent);

}  // namespace corvath
