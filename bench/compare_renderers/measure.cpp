// Timing rounds of frames, and comparing pictures pixel by pixel.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "comparison.hpp"
#include "renderers.hpp"

namespace corvath {
namespace {

// Pixels are compared as 0x00RRGGBB; the byte above holds alpha or nothing.
constexpr uint32_t kColourBits = 0xFFFFFFu;

}  // namespace

double roundFrameMs(const Workload& workload, int32_t frames,
                    const std::function<void(const Angles&)>& drawFrame) {
  for (int32_t i = 0; i < kWarmUpFrames; ++i) drawFrame(frameAngles(workload, i));
  const auto start = std::chrono::steady_clock::now();
  for (int32_t i = 0; i < frames; ++i) drawFrame(frameAngles(workload, i));
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / frames;
}

std::optional<double> median(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double medianFrameMs(const Workload& workload, const Options& options,
                     const std::function<void(const Angles&)>& drawFrame) {
  std::vector<double> rounds;
  for (int32_t round = 0; round < options.rounds; ++round) {
    rounds.push_back(roundFrameMs(workload, options.frames, drawFrame));
  }
  return *median(rounds);
}

double differingShare(PixelRows picture, PixelRows other) {
  size_t differing = 0;
  for (size_t y = 0; y < kHeight; ++y) {
    for (size_t x = 0; x < kWidth; ++x) {
      differing += ((picture.pixels[y * picture.stride + x] ^ other.pixels[y * other.stride + x]) &
                    kColourBits) != 0;
    }
  }
  return static_cast<double>(differing) / (static_cast<double>(kWidth) * kHeight);
}

}  // namespace corvath
