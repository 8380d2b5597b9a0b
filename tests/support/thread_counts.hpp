// Runs checks with the frame's work on one thread and shared among several, so that a split
// that changed a pixel or a table entry shows as a difference.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "raster/raster.hpp"

namespace corvath::testing {

// The most threads a test may start: CORVATH_THREADS where it is set (an emulator that cannot
// start a second thread runs the tests with 1), otherwise no limit.
inline int32_t mostTestThreads() {
  const char* setting = std::getenv("CORVATH_THREADS");
  const int32_t most = setting != nullptr ? std::atoi(setting) : 0;
  return most > 0 ? most : kMostWorkers;
}

// Calls check() with 1, 2 and 3 threads (3 splits unevenly on any machine), as far as
// mostTestThreads allows, naming the count in any failure; the count in use before is restored
// afterwards.
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
