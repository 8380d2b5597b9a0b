// Tests of the process-wide generator, its seeding and the replaceable time-of-day clock.
#include <gtest/gtest.h>

#include <vector>

#include "scene_fixture.hpp"

namespace corvath {
namespace {

class RandomGenerator : public EmptiedMesh {};
class TimeOfDay : public EmptiedMesh {};

std::vector<double> drawMany(int count) {
  std::vector<double> draws;
  for (int i = 0; i < count; ++i) draws.push_back(randomDraw());
  return draws;
}

TEST_F(RandomGenerator, SameSeedRepeatsTheDraws) {
  seedRandom(3723.5);
  const std::vector<double> first = drawMany(8);
  drawMany(100);
  seedRandom(3723.5);
  EXPECT_EQ(drawMany(8), first);
  // A millisecond apart is a different sequence.
  seedRandom(3723.501);
  EXPECT_NE(drawMany(8), first);
}

TEST_F(RandomGenerator, DrawsStayBelowOne) {
  seedRandom(0);
  for (const double draw : drawMany(100000)) {
    ASSERT_GE(draw, 0);
    ASSERT_LT(draw, 1);
  }
}

double scripted() {
  return 0.125;
}

TEST_F(RandomGenerator, ReplacedSourceIsDrawnUntilRestored) {
  setRandomDrawSource(scripted);
  seedRandom(7);
  EXPECT_EQ(randomDraw(), 0.125);
  setRandomDrawSource(nullptr);
  const double restored = randomDraw();
  seedRandom(7);
  EXPECT_EQ(randomDraw(), restored);  // seeding reached the generator while it was replaced
}

double halfPastNoon() {
  return 45000.25;
}

TEST_F(TimeOfDay, ReadsTheReplacedClockAndFallsBackToTheSystemClock) {
  setTimeOfDayClock(halfPastNoon);
  EXPECT_EQ(timeOfDaySeconds(), 45000.25);
  setTimeOfDayClock(nullptr);
  const double now = timeOfDaySeconds();
  EXPECT_GE(now, 0);
  EXPECT_LT(now, 86401);  // a leap second may show as second 60
}

}  // namespace
}  // namespace corvath
