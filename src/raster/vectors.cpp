// The one choice of processor-specific paths: the best the processor has, capped by
// CORVATH_VECTORS.
#include <cstdio>
#include <cstdlib>

#include "raster/raster.hpp"

namespace corvath {

namespace {

constexpr const char* kVectorsVariable = "CORVATH_VECTORS";

VectorPath startingVectorPath() {
  const VectorPath best = bestVectorPath();
  const char* setting = std::getenv(kVectorsVariable);
  if (setting == nullptr || *setting == '\0') return best;
  VectorPath asked = best;
  if (!vectorPathFromName(setting, asked)) {
    std::fprintf(stderr, "3D-Corvath: %s=%s is not one of portable, avx2, avx512; using %s\n",
                 kVectorsVariable, setting, vectorPathName(best).data());
    return best;
  }
  return asked < best ? asked : best;
}

}  // namespace

// Read while statics are made, before any frame; the painters and the sort read it per call.
VectorPath vectorPath = startingVectorPath();

VectorPath bestVectorPath() {
#if defined(__x86_64__) || defined(__i386__)
  // Statics may ask before the processor's features were read.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl")) {
    return VectorPath::kAvx512;
  }
  // The AVX2 path also fuses multiply and add, as every processor with AVX2 but a rare few can.
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return VectorPath::kAvx2;
#endif
  return VectorPath::kPortable;
}

VectorPath setVectorPath(VectorPath path) {
  const VectorPath best = bestVectorPath();
  vectorPath = path < best ? path : best;
  return vectorPath;
}

std::vector<VectorPath> supportedVectorPaths() {
  std::vector<VectorPath> paths;
  for (const VectorPath path : {VectorPath::kPortable, VectorPath::kAvx2, VectorPath::kAvx512}) {
    if (path <= bestVectorPath()) paths.push_back(path);
  }
  return paths;
}

std::string_view vectorPathName(VectorPath path) {
  switch (path) {
    case VectorPath::kAvx512:
      return "avx512";
    case VectorPath::kAvx2:
      return "avx2";
    case VectorPath::kPortable:
      break;
  }
  return "portable";
}

bool vectorPathFromName(std::string_view name, VectorPath& path) {
  for (const VectorPath known : {VectorPath::kPortable, VectorPath::kAvx2, VectorPath::kAvx512}) {
    if (name == vectorPathName(known)) {
      path = known;
      return true;
    }
  }
  return false;
}

}  // namespace corvath
