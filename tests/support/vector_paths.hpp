// Runs checks on every processor path the machine has, not only the one it would choose.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "raster/raster.hpp"

namespace corvath::testing {

// Calls check() on each path, kPortable first, naming it in any failure; then restores the path.
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
