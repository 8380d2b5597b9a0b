// The worker threads: every part runs once per batch, whatever the thread count, batch after
// batch (under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/platform.hpp"
#include "support/thread_counts.hpp"

namespace corvath {
namespace {

TEST(Workers, EveryPartRunsExactlyOnceOnAnyThreadCount) {
  if (testing::mostTestThreads() == 1) GTEST_SKIP() << "CORVATH_THREADS=1: no second thread";
  const int32_t kept = workerCount();
  for (const int32_t threads : {1, 2, 3, kMostWorkers}) {
    EXPECT_EQ(setWorkerCount(threads), threads);
    for (const int32_t parts : {0, 1, 2, 7, 1000}) {
      std::vector<std::atomic<int32_t>> runs(static_cast<size_t>(parts));
      runParts(parts, [&](int32_t part) { runs[static_cast<size_t>(part)].fetch_add(1); });
      for (int32_t part = 0; part < parts; ++part) {
        ASSERT_EQ(runs[static_cast<size_t>(part)].load(), 1)
            << threads << " threads, part " << part;
      }
    }
  }
  EXPECT_EQ(setWorkerCount(0), 1);
  EXPECT_EQ(setWorkerCount(kMostWorkers + 5), kMostWorkers);
  setWorkerCount(kept);
}

TEST(Workers, ManyShortBatchesInARowEachFinishBeforeTheNext) {
  if (testing::mostTestThreads() == 1) GTEST_SKIP() << "CORVATH_THREADS=1: no second thread";
  const int32_t kept = workerCount();
  setWorkerCount(4);
  // Each batch writes its own slots; a part that ran late, after its batch returned, would
  // find the next batch's number there.
  std::vector<int32_t> slots(8, -1);
  for (int32_t batch = 0; batch < 3000; ++batch) {
    runParts(8, [&](int32_t part) { slots[static_cast<size_t>(part)] = batch; });
    for (const int32_t slot : slots) ASSERT_EQ(slot, batch);
  }
  setWorkerCount(kept);
}

}  // namespace
}  // namespace corvath
