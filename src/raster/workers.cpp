// The worker threads that share the work inside a frame: started once, parked between frames.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

#include "raster/raster.hpp"

namespace corvath {

namespace {

constexpr const char* kThreadsVariable = "CORVATH_THREADS";
// How long a parked worker, or a caller waiting for the last part, keeps looking before it
// sleeps: the parts of a frame follow each other within a millisecond or two, and waking a
// sleeping thread costs tens of microseconds, more than many parts. Each look yields the
// processor, so that more threads than processors (tests, emulators) still make progress.
constexpr std::chrono::microseconds kLookingTime{2000};

// Yields until done() holds or the looking time has passed; returns done().
template <class Done>
bool lookFor(Done done) {
  const auto until = std::chrono::steady_clock::now() + kLookingTime;
  while (!done()) {
    for (int32_t look = 0; look < 16; ++look) {
      if (done()) return true;
      std::this_thread::yield();
    }
    if (std::chrono::steady_clock::now() > until) return done();
  }
  return true;
}

// One batch of parts handed to the pool. Parts are taken by counting up `nextPart`. `takers`
// counts the threads still working on the batch, the caller included; the batch record may go
// only when it is 0.
struct Batch {
  const PartTask* task = nullptr;
  int32_t parts = 0;
  std::atomic<int32_t> nextPart{0};
  std::atomic<int32_t> takers{0};
};

struct Pool {
  std::vector<std::thread> threads;
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable done;
  // Advanced once per batch; a worker takes part in each generation at most once.
  std::atomic<uint64_t> generation{0};
  Batch* batch = nullptr;
  bool stopping = false;
};

// Never destroyed: a process forked from this one (SDL's message box helper) inherits the
// records of workers it does not have, and destroying them there would wait for those workers
// for ever. Only the process that started the workers stops them (poolOwner).
Pool& pool = *new Pool;
pid_t poolOwner = 0;
int32_t activeWorkers = 1;

int32_t startingWorkerCount() {
#if defined(CORVATH_NO_THREADS)
  // A build that can start no thread (WebAssembly without threads): the calling thread alone.
  return 1;
#endif
  const unsigned hardware = std::thread::hardware_concurrency();
  const int32_t best =
      hardware == 0 ? 1 : static_cast<int32_t>(std::min<unsigned>(hardware, kMostWorkers));
  const char* setting = std::getenv(kThreadsVariable);
  if (setting == nullptr || *setting == '\0') return best;
  char* end = nullptr;
  const long asked = std::strtol(setting, &end, 10);
  if (*end != '\0' || asked < 1) {
    std::fprintf(stderr, "3D-Corvath: %s=%s is not a whole number from 1; using %d\n",
                 kThreadsVariable, setting, best);
    return best;
  }
  return static_cast<int32_t>(std::min<long>(asked, kMostWorkers));
}

// Takes parts of the batch until none is left.
void workOn(Batch& batch) {
  for (int32_t part = batch.nextPart.fetch_add(1); part < batch.parts;
       part = batch.nextPart.fetch_add(1)) {
    (*batch.task)(part);
  }
}

void leaveBatch(Batch& batch) {
  if (batch.takers.fetch_sub(1) == 1) {
    // The last taker: the caller may be asleep waiting for it. The record is not touched again.
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.done.notify_all();
  }
}

void workerLoop() {
  uint64_t seen = 0;
  while (true) {
    Batch* batch = nullptr;
    lookFor([&] { return pool.generation.load() != seen; });
    {
      std::unique_lock<std::mutex> lock(pool.mutex);
      pool.wake.wait(lock, [&] { return pool.stopping || pool.generation.load() != seen; });
      if (pool.stopping) return;
      seen = pool.generation.load();
      batch = pool.batch;
      // Counted in before the lock is left, so the caller cannot see the batch done and let
      // its record go while this worker still holds it.
      if (batch != nullptr) batch->takers.fetch_add(1);
    }
    if (batch == nullptr) continue;
    workOn(*batch);
    leaveBatch(*batch);
  }
}

void stopPool() {
  if (getpid() != poolOwner) return;
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.stopping = true;
  }
  pool.wake.notify_all();
  for (std::thread& thread : pool.threads) thread.join();
  pool.threads.clear();
}

// The pool holds at least count - 1 threads; it never shrinks, so a smaller count leaves some
// parked.
// A thread the system will not start (no memory for its stack) is left out: the parts are
// shared among those there are, the calling thread at least.
void ensureThreads(int32_t count) {
  if (static_cast<int32_t>(pool.threads.size()) >= count - 1) return;
  // Joined at exit, before the pool's threads would be destroyed still running.
  static const bool stopsAtExit = [] {
    poolOwner = getpid();
    return std::atexit(stopPool) == 0;
  }();
  (void)stopsAtExit;
  try {
    while (static_cast<int32_t>(pool.threads.size()) < count - 1) {
      pool.threads.emplace_back(workerLoop);
    }
  } catch (const std::exception&) {
  }
}

}  // namespace

int32_t workerCount() {
  static const bool started = [] {
    activeWorkers = startingWorkerCount();
    return true;
  }();
  (void)started;
  return activeWorkers;
}

int32_t setWorkerCount(int32_t count) {
  workerCount();
  activeWorkers = std::clamp(count, 1, kMostWorkers);
  return activeWorkers;
}

Ranges splitRanges(int32_t total, int32_t leastPerPart) {
  if (total <= 0) return {};
  // Two parts a thread even out threads that start late.
  const int64_t wanted = int64_t{workerCount()} * 2;
  const int64_t affordable = std::max<int64_t>(1, total / std::max(leastPerPart, 1));
  return {total, static_cast<int32_t>(std::min(wanted, affordable))};
}

void runParts(int32_t parts, const PartTask& task) {
  if (parts <= 0) return;
  if (parts == 1 || workerCount() == 1) {
    for (int32_t part = 0; part < parts; ++part) task(part);
    return;
  }
  ensureThreads(activeWorkers);
  Batch batch;
  batch.task = &task;
  batch.parts = parts;
  batch.takers.store(1);  // the caller
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.batch = &batch;
    pool.generation.fetch_add(1);
  }
  pool.wake.notify_all();
  workOn(batch);
  {
    // No worker may join after this: the batch record lives on this stack frame.
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.batch = nullptr;
  }
  if (batch.takers.fetch_sub(1) == 1) return;
  // The last taker touches only the pool after counting itself out, so the record may go.
  if (lookFor([&] { return batch.takers.load() == 0; })) return;
  std::unique_lock<std::mutex> lock(pool.mutex);
  pool.done.wait(lock, [&] { return batch.takers.load() == 0; });
}

}  // namespace corvath
