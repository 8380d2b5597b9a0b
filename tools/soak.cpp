// Soak run: thousands of frame-timer ticks without a window, watching resident memory and the
// tables' sizes for growth that a single tick would never show.
//
//   soak [ticks]   (default 10,000)
//
// Each tick does what the window's frame-timer event does: counts to 0, a new random scene
// (with a clock that advances half a second a tick, as the timer would), the preparation every
// change of mesh runs, and one frame on a 1920 x 1080 surface. Resident memory is read after
// tick 100, when every cache and pool has seen its largest scene in all likelihood, and again
// at the end. Exits 1 when it grew by more than kAllowedGrowthBytes, when a table grew beyond the
// largest scene the composer can build, or when a frame asked for the "Errore." message.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

// The composer's largest scene: every cell a cylinder and a cone of the most segments.
constexpr int32_t kLargestSceneVertices = 18635;
constexpr int32_t kLargestSceneFaces = 15973;
constexpr int64_t kAllowedGrowthBytes = int64_t{4} << 20;
constexpr int32_t kSettleTicks = 100;
constexpr int32_t kSurfaceWidth = 1920;
constexpr int32_t kSurfaceHeight = 1080;
constexpr double kTimerPeriodSeconds = 0.5;
constexpr double kSecondsPerDay = 86400;

double clockSeconds = 8 * 3600;  // the soak's time of day
int messages = 0;

double soakClock() {
  return clockSeconds;
}

int64_t residentBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return -1;
  long size = 0;
  long resident = 0;
  const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
  std::fclose(statm);
  return read == 2 ? static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE) : -1;
}

double megabytes(int64_t bytes) {
  return static_cast<double>(bytes) / (1 << 20);
}

void printTables(const char* when) {
  std::printf("%s: vertices %d of %zu (capacity %zu), faces %d of %zu (capacity %zu)\n", when,
              vertexCount, workingVertices.size(), workingVertices.capacity(), faceCount,
              faces.size(), faces.capacity());
}

}  // namespace
}  // namespace corvath

int main(int argc, char** argv) {
  using namespace corvath;
  const long ticks = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
  if (ticks <= kSettleTicks) {
    std::fprintf(stderr, "soak: more than %d ticks, please\n", kSettleTicks);
    return 2;
  }

  // Start-up's part that a scene needs: the line buffer, the view and the surface.
  createMeshLines();
  createSurface(drawingSurface, kSurfaceWidth, kSurfaceHeight, 0);
  screenCentreX = kSurfaceWidth / 2.0;
  screenCentreY = kSurfaceHeight / 2.0;
  cameraDistance = 5000;
  zoom = 600000.0 / 100;
  setTimeOfDayClock(soakClock);
  setMessageBoxFunction([](const std::string&) { ++messages; });

  double frameCounter = 0;
  int64_t settledBytes = 0;
  int32_t largestVertices = 0;
  int32_t largestFaces = 0;
  size_t largestVertexTable = 0;
  size_t largestFaceTable = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long tick = 1; tick <= ticks; ++tick) {
    clockSeconds = std::fmod(clockSeconds + kTimerPeriodSeconds, kSecondsPerDay);
    frameCounter = std::fmod(frameCounter + 1, 360);
    vertexCount = 0;
    faceCount = 0;
    composeScene();
    commitVertices();
    setLightDirection(0, 0, 1);
    computeFaceNormals();
    renderFrame(0, frameCounter, frameCounter);

    largestVertices = std::max(largestVertices, vertexCount);
    largestFaces = std::max(largestFaces, faceCount);
    largestVertexTable = std::max(largestVertexTable, workingVertices.size());
    largestFaceTable = std::max(largestFaceTable, faces.size());
    if (tick == kSettleTicks) {
      settledBytes = residentBytes();
      std::printf("after tick %d: resident %.1f MB\n", kSettleTicks, megabytes(settledBytes));
      printTables("after tick 100");
    } else if (tick % 1000 == 0) {
      std::printf("tick %ld: resident %.1f MB\n", tick, megabytes(residentBytes()));
      std::fflush(stdout);
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int64_t endBytes = residentBytes();

  std::printf("after tick %ld: resident %.1f MB (%+.2f MB since tick %d)\n", ticks,
              megabytes(endBytes), megabytes(endBytes - settledBytes), kSettleTicks);
  printTables("at the end");
  std::printf("largest scene: %d vertices, %d faces; largest tables: %zu and %zu elements\n",
              largestVertices, largestFaces, largestVertexTable, largestFaceTable);
  std::printf("%ld ticks in %.1f s (%.2f ms a tick); %d messages\n", ticks, seconds,
              1000 * seconds / ticks, messages);

  int status = 0;
  if (settledBytes < 0 || endBytes < 0) {
    std::printf("FAIL: resident memory unreadable\n");
    status = 1;
  } else if (endBytes - settledBytes > kAllowedGrowthBytes) {
    std::printf("FAIL: resident memory grew by more than %.0f MB\n",
                megabytes(kAllowedGrowthBytes));
    status = 1;
  }
  if (largestVertexTable > static_cast<size_t>(kLargestSceneVertices) + 1 ||
      largestFaceTable > static_cast<size_t>(kLargestSceneFaces) + 1) {
    std::printf("FAIL: a table grew beyond the largest scene's counts + 1\n");
    status = 1;
  }
  if (messages != 0) {
    std::printf("FAIL: a generated scene asked for the \"Errore.\" message\n");
    status = 1;
  }
  if (status == 0) std::printf("soak: passed\n");
  return status;
}
