// The random scene composer and its builders of open cones and cylinder walls on a ring of points.
#include <cmath>
#include <cstdint>
#include <vector>

#include "mesh/mesh.hpp"
#include "scene/scene.hpp"

namespace corvath {

namespace {

struct RingPoint {
  float x = 0;
  float y = 0;
  float z = 0;
};

// Sine and cosine of one ring angle, in extended precision.
struct RingTurn {
  Extended sine = 0;
  Extended cosine = 0;
};

constexpr float kGridStep = 20;
constexpr float kGridLow = -100;
constexpr int32_t kGridCells = 11;  // -100 to 100 in steps of 20, both ends included
constexpr float kHalfWidth = kGridStep / 4;
constexpr float kRingDiameter = kGridStep / 2;
constexpr int32_t kPureGreen = packColour(0, 255, 0);
constexpr int32_t kCachedRingLimit = 64;

// The turns of every ring of up to kCachedRingLimit segments, by segment count, made on first
// use: a scene builds hundreds of rings of the same few counts and the extended sine is slow.
std::vector<RingTurn> ringTurns[kCachedRingLimit + 1];

// The turn of ring angle i of n; on the axes the sine or cosine leaves a tiny residue, not 0.
RingTurn ringTurn(int32_t i, int32_t n) {
  if (n >= kFirstTabulatedRing && n <= kLastTabulatedRing) {
    return {kRingSines[ringTableStart(n) + i], kRingCosines[ringTableStart(n) + i]};
  }
  const Extended angle = ringAngle(i, n);
  return {extendedSin(angle), extendedCos(angle)};
}

// The turns of a ring of n segments, or nullptr when n is too large to keep.
const RingTurn* cachedRingTurns(int32_t n) {
  if (n > kCachedRingLimit) return nullptr;
  std::vector<RingTurn>& turns = ringTurns[n];
  if (turns.empty()) {
    turns.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) turns[i] = ringTurn(i, n);
  }
  return turns.data();
}

// Point i of n on the ring round (cx, cy) at height z0. It starts at (cx, cy - d/2) and runs
// clockwise seen from +z.
RingPoint ringPoint(float cx, float cy, float z0, float diameter, const RingTurn* turns, int32_t i,
                    int32_t n) {
  const RingTurn turn = turns != nullptr ? turns[i] : ringTurn(i, n);
  RingPoint point;
  point.x = static_cast<float>(cx - (diameter * turn.sine) / 2);
  point.y = static_cast<float>(cy - (diameter * turn.cosine) / 2);
  point.z = z0;
  return point;
}

// t = floor(10 r); a hit when t is a multiple of 3, tested as the quotient t / 3 being whole.
bool digitDrawHits() {
  const auto digit = static_cast<int32_t>(extendedFloor(Extended(10) * randomDraw()));
  return Extended(digit) / 3 == digit / 3;
}

int32_t randomComponent() {
  return static_cast<int32_t>(extendedNearbyInt(Extended(255) * randomDraw()));
}

int32_t randomColour() {
  const int32_t red = randomComponent();
  const int32_t green = randomComponent();
  const int32_t blue = randomComponent();
  return packColour(red, green, blue);
}

int32_t segmentCount() {
  return static_cast<int32_t>(extendedNearbyInt(Extended(10) * randomDraw() + 12));
}

double sum(float a, float b) {
  return static_cast<double>(Extended(a) + b);
}

// Calls segment(current, next) for the ring's n segments in order, the last one closing on a
// copy of point 0. Ring points are made as they are needed.
template <class Segment>
void forEachRingSegment(float centreX, float centreY, float baseZ, float diameter, int32_t segments,
                        Segment segment) {
  if (segments < 1) return;
  const RingTurn* turns = cachedRingTurns(segments);
  const RingPoint first = ringPoint(centreX, centreY, baseZ, diameter, turns, 0, segments);
  RingPoint current = first;
  for (int32_t i = 0; i < segments; ++i) {
    const RingPoint next =
        i + 1 < segments ? ringPoint(centreX, centreY, baseZ, diameter, turns, i + 1, segments)
                         : first;
    segment(current, next);
    current = next;
  }
}

}  // namespace

void buildCone(float centreX, float centreY, float baseZ, float diameter, int32_t segments,
               float height, int32_t frontColour, int32_t backColour) {
  forEachRingSegment(centreX, centreY, baseZ, diameter, segments,
                     [&](const RingPoint& current, const RingPoint& next) {
                       const Point3 points[3] = {{next.x, next.y, current.z},
                                                 {current.x, current.y, current.z},
                                                 {centreX, centreY, sum(height, baseZ)}};
                       writeTriangle(points, frontColour, backColour);
                     });
}

void buildCylinder(float centreX, float centreY, float baseZ, float diameter, int32_t segments,
                   float height, int32_t frontColour, int32_t backColour) {
  forEachRingSegment(centreX, centreY, baseZ, diameter, segments,
                     [&](const RingPoint& current, const RingPoint& next) {
                       const Point3 points[3] = {{current.x, current.y, current.z},
                                                 {next.x, next.y, next.z},
                                                 {next.x, next.y, sum(height, current.z)}};
                       writeRectangle(points, frontColour, backColour);
                     });
}

void composeScene() {
  seedRandom(timeOfDaySeconds());
  Point3 points[5];
  for (int32_t row = 0; row < kGridCells; ++row) {
    const float y = kGridLow + static_cast<float>(row) * kGridStep;
    for (int32_t column = 0; column < kGridCells; ++column) {
      const float x = kGridLow + static_cast<float>(column) * kGridStep;
      if (digitDrawHits()) continue;

      const auto h = static_cast<float>(Extended(30) * randomDraw() + 4);
      const double left = x - kHalfWidth;
      const double right = x + kHalfWidth;
      const double front = y - kHalfWidth;
      const double back = y + kHalfWidth;
      points[0] = {left, front, 0};
      points[1] = {right, front, 0};
      points[2] = {right, back, 0};
      points[3] = {right, back, h};
      if (digitDrawHits()) {
        const int32_t backColour = randomColour();
        const int32_t frontColour = randomColour();
        const auto height = static_cast<float>(randomDraw() * Extended(h));
        const int32_t segments = segmentCount();
        buildCylinder(x, y, 0, kRingDiameter, segments, height, frontColour, backColour);
      } else {
        writeBox(points, randomColour());
      }

      if (digitDrawHits()) continue;
      points[0] = {left, front, h};
      points[1] = {right, front, h};
      points[2] = {right, back, h};
      points[3] = {left, back, h};
      // The apex is drawn before the roof's kind, whichever roof follows.
      points[4] = {x, y, static_cast<double>((Extended(5) + h) + Extended(5) * randomDraw())};
      if (digitDrawHits()) {
        writePyramid(points, randomColour(), kPureGreen);
      } else {
        const int32_t backColour = randomColour();
        const int32_t frontColour = randomColour();
        const int32_t segments = segmentCount();
        buildCone(x, y, h, kRingDiameter, segments, h, frontColour, backColour);
      }
    }
  }
}

}  // namespace corvath
