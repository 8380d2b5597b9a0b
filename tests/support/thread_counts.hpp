// Runs checks with the frame's work on one thread and shared among several, so that a split
// that changed a pixel or a table entry shows as a difference.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.hpp"

namespace corvath::testing {

// Calls check() with 1, 2 and 3 threads (3 splits unevenly on any machine), naming the count
// in any failure; the count in use before is restored afterwards.
template <class Check>
void onSeveralThreadCounts(Check check) {
  const int32_t kept = workerCount();
  for (const int32_t threads : {1, 2, 3}) {
    setWorkerCount(threads);
    SCOPED_TRACE("with " + std::to_string(threads) + " threads");
    check();
  }
  setWorkerCount(kept);
}

}  // namespace corvath::testing
