// Runs checks on every processor-specific path the machine has, so that a fast path is held to
// the portable code wherever the tests run, not only on the path the machine would choose.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "raster/raster.hpp"

namespace corvath::testing {

// Calls check() once per path, kPortable first, with the path in use and named in any failure;
// the path in use before is restored afterwards.
template <class Check>
void onEveryVectorPath(Check check) {
  const VectorPath kept = vectorPath;
  for (const VectorPath path : supportedVectorPaths()) {
    setVectorPath(path);
    SCOPED_TRACE("on the " + std::string(vectorPathName(path)) + " path");
    check();
  }
  setVectorPath(kept);
}

}  // namespace corvath::testing
