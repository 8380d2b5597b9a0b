// The software extended type against the x87 unit: millions of operands chosen to hit ties,
// overflow, underflow, denormals, infinities and NaN, bit for bit; and the same results everywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "numbers/numbers.hpp"

namespace corvath {
namespace {

std::string hex(SoftExtended x) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%016" PRIx64, x.signExponent, x.significand);
  return text;
}

// Operands drawn to be awkward: exponents at the extremes, near 1 and near the edges of the
// double and float ranges; significands with few bits, long runs of ones, or none at all below
// the top; denormals, pseudo-denormals, zeros, infinities, NaN of both kinds and, rarely, the
// formats the x87 rejects. A second operand is often a near relative of the first, so that sums
// cancel or land exactly half-way between two neighbours.
struct OperandSource {
  static constexpr uint64_t kTop = uint64_t{1} << 63;
  std::mt19937_64 engine;

  uint64_t next() { return engine(); }
  static SoftExtended make(uint64_t signExponent, uint64_t significand) {
    return SoftExtended::fromBits(static_cast<uint16_t>(signExponent), significand);
  }

  SoftExtended any() {
    const uint64_t r = next();
    return make((r & 1) << 15 | field(r >> 1), significand(r >> 8));
  }

  SoftExtended relativeOf(SoftExtended a) {
    static constexpr int32_t kSteps[] = {0, 1, -1, 2, -2, 63, -63, 64, -64, 65, -65, 66, -66, 130};
    const uint64_t r = next();
    // The same number or its negation: exact cancellation, and NaN pairs that differ in sign only.
    if ((r >> 20) % 8 == 0) return make(a.signExponent ^ ((r >> 24) & 1) << 15, a.significand);
    const int32_t exponent =
        std::clamp((a.signExponent & 0x7FFF) + kSteps[r % std::size(kSteps)], 1, 0x7FFE);
    const uint64_t bits = (r >> 9) % 4 == 0 ? a.significand : significand(r >> 12) | kTop;
    return make(((r >> 8) & 1) << 15 | exponent, bits);
  }

  double anyDouble() {
    const uint64_t r = next();
    uint64_t bits = next();
    if (r % 6 == 0) bits &= 0x800FFFFFFFFFFFFFu;  // subnormal or zero
    if (r % 6 == 1) {                             // infinity or NaN of either kind
      bits |= 0x7FF0000000000000u;
      if ((r >> 3) % 3 == 0) bits &= 0xFFF0000000000000u;
    }
    if (r % 6 == 2) bits &= 0xFFF0000000000000u | (uint64_t{1} << ((r >> 3) % 52));  // few bits
    return std::bit_cast<double>(bits);
  }

  // a with an exponent that keeps it below 2^width: inside the range of the integer types.
  SoftExtended whole(SoftExtended a, uint64_t width) {
    return make((a.signExponent & 0x8000) | (16383 + next() % width), a.significand | kTop);
  }

  int32_t field(uint64_t r) {
    const auto spread = static_cast<int32_t>((r >> 3) % 80);
    if (r % 8 == 0) return static_cast<int32_t>((r >> 3) % 0x8000);
    if (r % 8 == 1) return spread;           // denormal results and below
    if (r % 8 == 2) return 0x7FFF - spread;  // overflow
    if (r % 8 == 3) {
      // The edges of the double and float ranges, for the narrowing conversions.
      static constexpr int32_t kEdges[] = {16383 - 1022, 16383 - 1074, 16383 + 1023,
                                           16383 - 126,  16383 - 149,  16383 + 127};
      return kEdges[(r >> 10) % std::size(kEdges)] + (spread - 40) % 4;
    }
    return 16383 + spread - 40;
  }

  uint64_t significand(uint64_t r) {
    const uint64_t x = next();
    const uint64_t kind = r % 16;
    if (kind < 2) return kTop | (uint64_t{1} << (x % 63)) | (uint64_t{1} << ((x >> 6) % 63));
    if (kind == 2) return kTop | ((uint64_t{1} << (x % 63)) - 1);  // a run of ones at the bottom
    if (kind == 3) return kTop | (x & ~((uint64_t{1} << (x % 64)) - 1));  // high bits only
    if (kind == 4) return kTop;
    if (kind == 5) return (x >> (x % 64)) & ~kTop;  // denormal-looking, or zero
    if (kind == 6) return ~uint64_t{0};
    if (kind == 7) return kTop | (x & 0x7FFFFFFFFFFFFFFF);      // quiet or signalling NaN
    if (kind == 8) return (x % 8 == 0) ? x & ~kTop : kTop | x;  // sometimes unsupported
    return kTop | x;
  }
};

// The functions of <cmath> for either type, so that one list of operations serves both.
struct Maths {
  static SoftExtended sqrt(SoftExtended x) { return softSqrt(x); }
  static SoftExtended nearbyint(SoftExtended x) { return softNearbyInt(x); }
  static SoftExtended floor(SoftExtended x) { return softFloor(x); }
  static bool isnan(SoftExtended x) { return softIsNan(x); }
  static long double sqrt(long double x) { return std::sqrt(x); }
  static long double nearbyint(long double x) { return std::nearbyint(x); }
  static long double floor(long double x) { return std::floor(x); }
  static bool isnan(long double x) { return std::isnan(x); }
};

struct Operands {
  SoftExtended a, b;
  double d;
  int64_t whole;
  SoftExtended inRange, small;
};

// Every operation under test on one round's operands, T being SoftExtended or the x87's long double
// (the operands converted by `to`).
template <class T>
struct Results {
  T values[14];
  int64_t integers[3];  // comparisons as bits, then truncations to int64 and int32
};

template <class T, class To>
Results<T> operate(const Operands& o, To to) {
  const T a = to(o.a), b = to(o.b), d = o.d, whole = o.whole;
  return {{a + b, a - b, a * b, a / b, Maths::sqrt(a), Maths::nearbyint(a), Maths::floor(a),
           T(static_cast<double>(a)), T(static_cast<float>(a)), -a, d, T(static_cast<float>(o.d)),
           whole, T(static_cast<int32_t>(o.whole))},
          {(a == b) | (a < b) << 1 | (a <= b) << 2 | (a > b) << 3 | (a >= b) << 4 | (a != b) << 5 |
               Maths::isnan(a) << 6,
           static_cast<int64_t>(to(o.inRange)), static_cast<int32_t>(to(o.small))}};
}

// Runs `count` rounds of every operation over the source's operands through the emulation and
// hands each round to the check. Returns a digest of every result, for machines where nothing
// else can vouch for them.
template <class Check>
uint64_t exercise(uint64_t seed, int count, Check check) {
  OperandSource source{std::mt19937_64(seed)};
  uint64_t digest = 14695981039346656037u;
  const auto add = [&digest](uint64_t bits) {
    for (int k = 0; k < 8; ++k) digest = (digest ^ ((bits >> (8 * k)) & 0xFF)) * 1099511628211u;
  };
  for (int i = 0; i < count; ++i) {
    const SoftExtended a = source.any();
    // Drawn in this order: a braced list is evaluated left to right.
    const Operands o{a,
                     i % 2 == 0 ? source.any() : source.relativeOf(a),
                     source.anyDouble(),
                     static_cast<int64_t>(source.next()),
                     source.whole(a, 63),
                     source.whole(a, 31)};
    const auto r = operate<SoftExtended>(o, [](SoftExtended x) { return x; });
    for (int k = 0; k < 14; ++k) {
      if (k == 10) add(r.integers[0]);  // the digest takes the comparisons after ten results
      add(r.values[k].significand);
      add(r.values[k].signExponent);
    }
    add(r.integers[1]);
    add(r.integers[2]);
    check(o, r);
  }
  return digest;
}

constexpr uint64_t kSeed = 0x5EED0F3DC0FFEEu;

#if defined(__x86_64__)

constexpr const char* kResultNames[] = {
    "sum",        "difference", "product",     "quotient", "square root", "nearest whole",
    "floor",      "to double",  "to float",    "negation", "from double", "from float",
    "from int64", "from int32", "comparisons", "to int64", "to int32"};

long double hardware(SoftExtended x) {
  return std::bit_cast<long double>(x);
}

TEST(SoftExtended, EqualsTheX87UnitOnMillionsOfOperands) {
  int failures = 0;
  exercise(kSeed, 1 << 20, [&](const Operands& o, const Results<SoftExtended>& got) {
    const auto x87 = operate<long double>(o, hardware);
    // Integer results are compared as significands, so that one report serves every result.
    for (int k = 0; k < 17; ++k) {
      const auto result = [k](const auto& r) {
        return k < 14 ? std::bit_cast<SoftExtended>(r.values[k])
                      : SoftExtended::fromBits(0, r.integers[k - 14]);
      };
      const SoftExtended emulated = result(got), expected = result(x87);
      if ((emulated.significand == expected.significand &&
           emulated.signExponent == expected.signExponent) ||
          ++failures > 20)
        continue;
      ADD_FAILURE() << kResultNames[k] << " of " << hex(o.a) << ", " << hex(o.b) << " (double "
                    << std::hex << std::bit_cast<uint64_t>(o.d) << std::dec << ", integer "
                    << o.whole << ", " << hex(o.inRange) << ", " << hex(o.small) << "): emulated "
                    << hex(emulated) << ", x87 " << hex(expected);
    }
  });
  EXPECT_EQ(failures, 0);
}

#endif

// The same operands give the same result bits on every machine: the digest was taken on x86-64,
// where the test above holds every one of those results to the hardware.
TEST(SoftExtended, GivesTheX86DigestOnEveryMachine) {
  EXPECT_EQ(exercise(kSeed, 100000, [](auto&&...) {}), 16879543875964830585u);
}

// Operands the random ones almost never meet: a zero divisor, and the smallest denormal halved
// (a tie, to even: zero) or times 1.5 (to even: two units).
TEST(SoftExtended, DividesZeroByZeroAndRoundsTheSmallestDenormalToEven) {
  const SoftExtended tiny = SoftExtended::fromBits(0, 1);
  EXPECT_EQ(hex(SoftExtended(0) / 0), "ffff:c000000000000000");
  EXPECT_EQ(hex(tiny / 2), "0000:0000000000000000");
  EXPECT_EQ(hex(tiny * 1.5), "0000:0000000000000002");
}

}  // namespace
}  // namespace corvath
