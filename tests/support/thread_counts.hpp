// Runs checks on one thread and on several, so that a split that changes a result shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "raster/raster.hpp"

namespace corvath::testing {

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
