// The process-wide uniform generator, its seeding from the time of day, and the replaceable clock.
#include <bit>
#include <cstdint>
#include <ctime>
#include <random>

#include "scene/scene.hpp"

namespace corvath {

namespace {

std::mt19937_64 generator;
double (*timeOfDayClock)() = nullptr;
double (*drawSource)() = nullptr;

double systemTimeOfDay() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const time_t seconds = now.tv_sec;
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  const long milliseconds = now.tv_nsec / 1000000;
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + milliseconds / 1000.0;
}

}  // namespace

void seedRandom(double secondsSinceMidnight) {
  // Every bit of the value takes part, so two clock readings a millisecond apart seed differently.
  const auto bits = std::bit_cast<uint64_t>(secondsSinceMidnight);
  std::seed_seq sequence{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};
  generator.seed(sequence);
}

double randomDraw() {
  if (drawSource != nullptr) return drawSource();
  // The top 53 bits scaled by 2^-53: every draw is exactly representable and below 1.
  return static_cast<double>(generator() >> 11) * 0x1p-53;
}

double timeOfDaySeconds() {
  return timeOfDayClock != nullptr ? timeOfDayClock() : systemTimeOfDay();
}

void setTimeOfDayClock(double (*clock)()) {
  timeOfDayClock = clock;
}

void setRandomDrawSource(double (*source)()) {
  drawSource = source;
}

}  // namespace corvath
