// Runs checks on every processor path the machine has and on one thread and several, so that a
// path or a split that changes a result shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
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

// The most threads a test may start: CORVATH_THREADS where set (1 under some emulators).
inline int32_t mostTestThreads() {
  const char* setting = std::getenv("CORVATH_THREADS");
  return setting != nullptr && std::atoi(setting) > 0 ? std::atoi(setting) : kMostWorkers;
}

// Calls check() with 1, 2 and 3 threads (3 splits unevenly) up to mostTestThreads.
template <class Check>
void onSeveralThreadCounts(Check check) {
  const int32_t kept = workerCount();
  for (const int32_t threads : {1, 2, 3}) {
    if (threads > mostTestThreads()) break;
    setWorkerCount(threads);
    SCOPED_TRACE("with " + std::to_string(threads) + " threads");
    check();
  }
  setWorkerCount(kept);
}

}  // namespace corvath::testing
