// What the comparison's own files share: its options, the workloads as the program loads them,
// the timing and picture comparison, and the llvmpipe child processes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "renderers.hpp"
#include "workloads.hpp"

namespace corvath {

constexpr int32_t kWarmUpFrames = 2;

// What a process of this program does: the comparison itself, or one llvmpipe job of it.
enum class Role { kCompare, kLlvmpipeTimes, kLlvmpipeCheck };

struct Options {
  std::vector<const Workload*> workloads{&kCity, &kBig, &kDense};
  int32_t frames = 20;
  int32_t rounds = 3;
  Role role = Role::kCompare;
};

// Frame i of a workload: one degree further about each axis per frame, as the benchmarks turn.
inline Angles frameAngles(const Workload& workload, int32_t frame) {
  return {workload.startAngle[0] + frame, workload.startAngle[1] + frame,
          workload.startAngle[2] + frame};
}

// scene.cpp

// Loads the workload as start-up does, on a kWidth x kHeight surface standing in for the
// desktop; false when its file is missing.
bool loadWorkload(const Workload& workload);
// The loaded mesh and camera, for the other renderers.
PlainMesh copyLoadedMesh();
// This program's picture of the workload's first frame, without the status line; the
// workload must be the one loaded.
std::vector<uint32_t> programPicture(const Workload& workload);

// measure.cpp

// One round: the mean milliseconds per frame of `frames` frames, after a warm-up.
double roundFrameMs(const Workload& workload, int32_t frames,
                    const std::function<void(const Angles&)>& drawFrame);
// Nothing when there are no values.
std::optional<double> median(std::vector<double> values);
// Milliseconds per frame: the median over the rounds of each round's mean.
double medianFrameMs(const Workload& workload, const Options& options,
                     const std::function<void(const Angles&)>& drawFrame);
// The share of pixels whose colours differ.
double differingShare(PixelRows picture, PixelRows other);
// A picture the program drew, as the renderers' pictures are read.
inline PixelRows rowsOf(const std::vector<uint32_t>& picture) {
  return {picture.data(), kWidth};
}

// processes.cpp

struct ChildReport {
  std::string renderer;
  std::optional<double> ms;
  std::optional<double> fromProgram;  // share of pixels differing from this program's picture
  std::optional<double> fromScalar;   // and from the scalar filler's
};

// The child's side: times llvmpipe on the one workload, or checks its picture of city's first
// frame; the report goes to standard output. The exit status: 0, or 1 when it failed.
int runLlvmpipeChild(const Options& options);
// Starts this program again with `arguments` and LP_NUM_THREADS=threads (0: as inherited) and
// collects its report; nothing when it fails.
std::optional<ChildReport> llvmpipeChild(const std::vector<std::string>& arguments,
                                         int32_t threads);
// The arguments of a child that times llvmpipe on `workload`.
std::vector<std::string> childTimingArguments(const Workload& workload, const Options& options);

}  // namespace corvath
