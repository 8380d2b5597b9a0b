// The software extended type against the x87 unit: millions of operands chosen to hit ties,
// overflow, underflow, denormals, infinities and NaN, bit for bit; and known values everywhere.
#include "mesh/extended.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

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
class OperandSource {
 public:
  explicit OperandSource(uint64_t seed) : bits_(seed) {}

  uint64_t next() { return bits_(); }

  SoftExtended any() {
    const uint64_t r = next();
    const auto sign = static_cast<uint16_t>((r & 1) << 15);
    return SoftExtended::fromBits(static_cast<uint16_t>(sign | field(r >> 1)), significand(r >> 8));
  }

  SoftExtended relativeOf(SoftExtended a) {
    static constexpr int32_t kSteps[] = {0, 1, -1, 2, -2, 63, -63, 64, -64, 65, -65, 66, -66, 130};
    const uint64_t r = next();
    // The same number or its negation: exact cancellation, and NaN pairs that differ in sign only.
    if ((r >> 20) % 8 == 0) {
      return SoftExtended::fromBits(static_cast<uint16_t>(a.signExponent ^ ((r >> 24) & 1) << 15),
                                    a.significand);
    }
    const int32_t step = kSteps[r % std::size(kSteps)];
    const int32_t base = a.signExponent & 0x7FFF;
    const int32_t shifted = std::clamp(base + step, 1, 0x7FFE);
    const auto sign = static_cast<uint16_t>(((r >> 8) & 1) << 15);
    const uint64_t bits =
        (r >> 9) % 4 == 0 ? a.significand : significand(r >> 12) | (uint64_t{1} << 63);
    return SoftExtended::fromBits(static_cast<uint16_t>(sign | shifted), bits);
  }

  double anyDouble() {
    const uint64_t r = next();
    uint64_t bits = next();
    switch (r % 6) {
      case 0:  // subnormal or zero
        bits &= 0x800FFFFFFFFFFFFFu;
        break;
      case 1:  // infinity or NaN of either kind
        bits |= 0x7FF0000000000000u;
        if ((r >> 3) % 3 == 0) bits &= 0xFFF0000000000000u;
        break;
      case 2:  // few significand bits
        bits &= 0xFFF0000000000000u | (uint64_t{1} << ((r >> 3) % 52));
        break;
      default:
        break;
    }
    return std::bit_cast<double>(bits);
  }

 private:
  int32_t field(uint64_t r) {
    const int32_t spread = static_cast<int32_t>((r >> 3) % 80) - 40;
    switch (r % 8) {
      case 0:
        return static_cast<int32_t>((r >> 3) % 0x8000);
      case 1:
        return static_cast<int32_t>((r >> 3) % 80);  // denormal results and below
      case 2:
        return 0x7FFF - static_cast<int32_t>((r >> 3) % 80);  // overflow
      case 3: {
        // The edges of the double and float ranges, for the narrowing conversions.
        static constexpr int32_t kEdges[] = {16383 - 1022, 16383 - 1074, 16383 + 1023,
                                             16383 - 126,  16383 - 149,  16383 + 127};
        return kEdges[(r >> 10) % std::size(kEdges)] + spread % 4;
      }
      default:
        return 16383 + spread;
    }
  }

  uint64_t significand(uint64_t r) {
    constexpr uint64_t kTop = uint64_t{1} << 63;
    const uint64_t random = next();
    switch (r % 16) {
      case 0:
      case 1:  // few bits
        return kTop | (uint64_t{1} << (random % 63)) | (uint64_t{1} << ((random >> 6) % 63));
      case 2:  // a run of ones at the bottom
        return kTop | ((uint64_t{1} << (random % 63)) - 1);
      case 3:  // only high bits
        return kTop | (random & ~((uint64_t{1} << (random % 64)) - 1));
      case 4:
        return kTop;
      case 5:  // denormal-looking or zero (zero when the exponent is 0)
        return (random >> (random % 64)) & ~kTop;
      case 6:  // all ones
        return ~uint64_t{0};
      case 7:  // a quiet or signalling NaN pattern when the exponent is all ones
        return kTop | (random & 0x7FFFFFFFFFFFFFFF);
      case 8:
        return (random % 8 == 0) ? random & ~kTop : kTop | random;  // sometimes unsupported
      default:
        return kTop | random;
    }
  }

  std::mt19937_64 bits_;
};

// A digest of result bits, for machines where nothing else can vouch for them.
struct Digest {
  uint64_t value = 14695981039346656037u;
  void add(uint64_t bits) {
    for (int k = 0; k < 8; ++k) {
      value ^= (bits >> (8 * k)) & 0xFF;
      value *= 1099511628211u;
    }
  }
  void add(SoftExtended x) {
    add(x.significand);
    add(x.signExponent);
  }
};

// Runs `count` rounds of every operation over the source's operands through the emulation; the
// digest covers every result. With a check, the same operands also go through the hardware.
template <class Check>
uint64_t exercise(uint64_t seed, int count, Check check) {
  OperandSource source(seed);
  Digest digest;
  for (int i = 0; i < count; ++i) {
    const SoftExtended a = source.any();
    const SoftExtended b = (i % 2 == 0) ? source.any() : source.relativeOf(a);
    const SoftExtended results[] = {a + b,
                                    a - b,
                                    a * b,
                                    a / b,
                                    softSqrt(a),
                                    softNearbyInt(a),
                                    softFloor(a),
                                    SoftExtended(static_cast<double>(a)),
                                    SoftExtended(static_cast<float>(a)),
                                    -a};
    for (const SoftExtended& r : results) digest.add(r);
    const unsigned order = (a == b) | (a < b) << 1 | (a <= b) << 2 | (a > b) << 3 | (a >= b) << 4 |
                           (a != b) << 5 | softIsNan(a) << 6;
    digest.add(order);
    const double d = source.anyDouble();
    const SoftExtended fromDouble = d;
    const SoftExtended fromFloat = static_cast<float>(d);
    const auto whole = static_cast<int64_t>(source.next());
    const SoftExtended fromInteger = whole;
    const SoftExtended fromInt32 = static_cast<int32_t>(whole);
    digest.add(fromDouble);
    digest.add(fromFloat);
    digest.add(fromInteger);
    digest.add(fromInt32);
    // Truncation inside the range of the integer types.
    const SoftExtended inRange = SoftExtended::fromBits(
        static_cast<uint16_t>((a.signExponent & 0x8000) | (16383 + (source.next() % 63))),
        a.significand | (uint64_t{1} << 63));
    digest.add(static_cast<uint64_t>(static_cast<int64_t>(inRange)));
    const SoftExtended small = SoftExtended::fromBits(
        static_cast<uint16_t>((a.signExponent & 0x8000) | (16383 + (source.next() % 31))),
        a.significand | (uint64_t{1} << 63));
    digest.add(static_cast<uint64_t>(static_cast<int32_t>(small)));
    check(a, b, results, order, d, whole, inRange, small);
  }
  return digest.value;
}

constexpr uint64_t kSeed = 0x5EED0F3DC0FFEEu;
constexpr int kPortableRounds = 100000;

#if defined(__x86_64__)

std::string hex(double x) {
  char text[24];
  std::snprintf(text, sizeof text, "%016" PRIx64, std::bit_cast<uint64_t>(x));
  return text;
}

bool sameBits(SoftExtended a, SoftExtended b) {
  return a.signExponent == b.signExponent && a.significand == b.significand;
}

long double hardware(SoftExtended x) {
  long double v = 0;
  std::memcpy(&v, &x.significand, 8);
  std::memcpy(reinterpret_cast<char*>(&v) + 8, &x.signExponent, 2);
  return v;
}

SoftExtended fromHardware(long double v) {
  SoftExtended x;
  std::memcpy(&x.significand, &v, 8);
  std::memcpy(&x.signExponent, reinterpret_cast<const char*>(&v) + 8, 2);
  return x;
}

TEST(SoftExtended, EqualsTheX87UnitOnMillionsOfOperands) {
  constexpr int kRounds = 1 << 20;  // a dozen operations each
  int failures = 0;
  const auto report = [&](const char* operation, const std::string& operands,
                          const std::string& got, const std::string& expected) {
    if (++failures <= 20) {
      ADD_FAILURE() << operation << " of " << operands << ": emulated " << got << ", x87 "
                    << expected;
    }
  };
  const auto check = [&](SoftExtended a, SoftExtended b, const SoftExtended* results,
                         unsigned order, double d, int64_t whole, SoftExtended inRange,
                         SoftExtended small) {
    const long double x = hardware(a);
    const long double y = hardware(b);
    const long double expected[] = {x + y,
                                    x - y,
                                    x * y,
                                    x / y,
                                    std::sqrt(x),
                                    std::nearbyint(x),
                                    std::floor(x),
                                    static_cast<long double>(static_cast<double>(x)),
                                    static_cast<long double>(static_cast<float>(x)),
                                    -x};
    static const char* const kNames[] = {"sum",         "difference",    "product", "quotient",
                                         "square root", "nearest whole", "floor",   "to double",
                                         "to float",    "negation"};
    const std::string operands = hex(a) + " and " + hex(b);
    for (int k = 0; k < 10; ++k) {
      if (!sameBits(results[k], fromHardware(expected[k]))) {
        report(kNames[k], operands, hex(results[k]), hex(fromHardware(expected[k])));
      }
    }
    const unsigned expectedOrder = (x == y) | (x < y) << 1 | (x <= y) << 2 | (x > y) << 3 |
                                   (x >= y) << 4 | (x != y) << 5 | std::isnan(x) << 6;
    if (order != expectedOrder) {
      report("comparison", operands, std::to_string(order), std::to_string(expectedOrder));
    }
    const SoftExtended fromDouble = d;
    const SoftExtended fromFloat = static_cast<float>(d);
    if (!sameBits(fromDouble, fromHardware(d))) {
      report("from double", hex(d), hex(fromDouble), hex(fromHardware(d)));
    }
    const long double floatWidened = static_cast<float>(d);
    if (!sameBits(fromFloat, fromHardware(floatWidened))) {
      report("from float", hex(d), hex(fromFloat), hex(fromHardware(floatWidened)));
    }
    if (!sameBits(SoftExtended(whole), fromHardware(static_cast<long double>(whole))) ||
        !sameBits(SoftExtended(static_cast<int32_t>(whole)),
                  fromHardware(static_cast<long double>(static_cast<int32_t>(whole))))) {
      report("from integer", std::to_string(whole), hex(SoftExtended(whole)), "");
    }
    if (static_cast<int64_t>(inRange) != static_cast<int64_t>(hardware(inRange))) {
      report("to int64", hex(inRange), std::to_string(static_cast<int64_t>(inRange)),
             std::to_string(static_cast<int64_t>(hardware(inRange))));
    }
    if (static_cast<int32_t>(small) != static_cast<int32_t>(hardware(small))) {
      report("to int32", hex(small), std::to_string(static_cast<int32_t>(small)),
             std::to_string(static_cast<int32_t>(hardware(small))));
    }
  };
  exercise(kSeed + 1, kRounds, check);
  EXPECT_EQ(failures, 0);
}

#endif

// The same operands give the same result bits on every machine: the digest was taken on x86-64,
// where the test above holds every one of those results to the hardware.
TEST(SoftExtended, GivesTheX86DigestOnEveryMachine) {
  const uint64_t digest = exercise(kSeed, kPortableRounds, [](auto&&...) {});
  EXPECT_EQ(digest, 16879543875964830585u);
}

TEST(SoftExtended, KnownValues) {
  // 1/3 rounds down (its last bits are 0101...), 2/3 up.
  EXPECT_EQ(hex(SoftExtended(1) / 3), "3ffd:aaaaaaaaaaaaaaab");
  EXPECT_EQ(hex(SoftExtended(2) / 3), "3ffe:aaaaaaaaaaaaaaab");
  EXPECT_EQ(hex(softSqrt(2)), "3fff:b504f333f9de6484");
  // The smallest denormal, halved: a tie, to even (zero); times 1.5: to even (two units).
  const SoftExtended tiny = SoftExtended::fromBits(0, 1);
  EXPECT_EQ(hex(tiny / 2), "0000:0000000000000000");
  EXPECT_EQ(hex(tiny * 1.5), "0000:0000000000000002");
  EXPECT_EQ(hex(SoftExtended(0) / 0), "ffff:c000000000000000");
  EXPECT_EQ(hex(SoftExtended(-1) + 1), "0000:0000000000000000");
  EXPECT_EQ(static_cast<double>(SoftExtended(1) / 3), 1.0 / 3);
}

}  // namespace
}  // namespace corvath
