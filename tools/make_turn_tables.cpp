// Writes the sine and cosine tables of whole degrees and of scene rings as C++ source, from the
// x86-64 library's long double sin and cos, which define the pictures.
//
//   corvath-turn-tables degrees > src/view/degree_table.cpp
//   corvath-turn-tables rings > src/scene/ring_table.cpp
#include <cmath>
#include <cstdio>
#include <cstring>

#include "mesh/mesh.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"

#if !CORVATH_NATIVE_EXTENDED
#error "the tables come from the native 80-bit long double of x86-64"
#endif

namespace {

void printBits(long double value) {
  uint64_t significand = 0;
  uint16_t signExponent = 0;
  std::memcpy(&significand, &value, 8);
  std::memcpy(&signExponent, reinterpret_cast<const char*>(&value) + 8, 2);
  std::printf("    extendedFromBits(0x%04x, 0x%016llxu),\n", signExponent,
              static_cast<unsigned long long>(significand));
}

void printDegrees() {
  std::printf(
      "// The sines and cosines of the whole degrees 0 .. 359 as rotateView takes them, written "
      "by\n"
      "// tools/make_turn_tables.cpp on x86-64.\n"
      "#include \"view/view.hpp\"\n\nnamespace corvath {\n\n");
  const char* names[] = {"kDegreeSines", "kDegreeCosines"};
  for (int table = 0; table < 2; ++table) {
    std::printf("const double %s[360] = {\n", names[table]);
    for (int degree = 0; degree < 360; ++degree) {
      const double angle = degree;
      const long double radians = angle * corvath::kDegreeFactor;
      const double value = static_cast<double>(table == 0 ? std::sin(radians) : std::cos(radians));
      std::printf("    %a,\n", value);
    }
    std::printf("};\n\n");
  }
  std::printf("}  // namespace corvath\n");
}

void printRings() {
  std::printf(
      "// The sines and cosines of the ring angles of the segment counts the random scenes draw,\n"
      "// written by tools/make_turn_tables.cpp on x86-64.\n"
      "#include \"scene/scene.hpp\"\n\nnamespace corvath {\n\n");
  const char* names[] = {"kRingSines", "kRingCosines"};
  for (int table = 0; table < 2; ++table) {
    std::printf("const Extended %s[kRingTableSize] = {\n", names[table]);
    for (int32_t n = corvath::kFirstTabulatedRing; n <= corvath::kLastTabulatedRing; ++n) {
      std::printf("    // %d segments\n", n);
      for (int32_t i = 0; i < n; ++i) {
        const long double angle = corvath::ringAngle(i, n);
        printBits(table == 0 ? std::sin(angle) : std::cos(angle));
      }
    }
    std::printf("};\n\n");
  }
  std::printf("}  // namespace corvath\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "degrees") == 0) {
    printDegrees();
  } else if (argc == 2 && std::strcmp(argv[1], "rings") == 0) {
    printRings();
  } else {
    std::fprintf(stderr, "usage: corvath-turn-tables degrees|rings\n");
    return 2;
  }
  return 0;
}
