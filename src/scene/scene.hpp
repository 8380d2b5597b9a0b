// The procedural scene: writers that append primitive solids to the mesh as mesh text read back
// through the reader, the cone and cylinder builders, the random scene composer and the
// process-wide random generator.
#pragma once

#include <cstdint>

#include "numbers/numbers.hpp"
#include "mesh/mesh.hpp"

namespace corvath {

struct Point3 {
  double x = 0;
  double y = 0;
  double z = 0;
};

// Each writer stores its lines from line buffer entry 0, sets lastLineIndex to its last line and
// parses them with offsets 0 and its first colour as the default colour.
// Triangle: 3 vertices, faces (0 1 2) front and (2 1 0) back.
void writeTriangle(const Point3 points[3], int32_t frontColour, int32_t backColour);
// Parallelogram from three consecutive corners: 4 vertices, 4 faces (two each side).
void writeRectangle(const Point3 points[3], int32_t frontColour, int32_t backColour);
// Parallelepiped from three base corners and the top corner joined to the third: 8 vertices,
// 12 faces in one colour, wound outward when the base turns counter-clockwise seen from the top.
void writeBox(const Point3 points[4], int32_t colour);
// Pyramid from four base corners and the apex: 5 vertices, 2 base faces and 4 sides.
void writePyramid(const Point3 points[5], int32_t sideColour, int32_t baseColour);

// An open cone of n triangles on a ring of diameter d at height z0, apex at z0 + height.
void buildCone(float centreX, float centreY, float baseZ, float diameter, int32_t segments,
               float height, int32_t frontColour, int32_t backColour);
// An open cylinder wall of n parallelograms on the same ring, height tall.
void buildCylinder(float centreX, float centreY, float baseZ, float diameter, int32_t segments,
                   float height, int32_t frontColour, int32_t backColour);

// Angle i of a ring of n points, in radians: ((i * kDegreeFactor) * 360) / n, in extended
// precision.
inline Extended ringAngle(int32_t i, int32_t n) { return ((i * kDegreeFactor) * 360) / n; }

// The segment counts composeScene draws (10 r + 12 rounded, r in [0, 1)): their ring angles'
// sines and cosines are tabulated as the x86-64 library computes them in extended precision, so
// that random scenes are the same on every machine.
inline constexpr int32_t kFirstTabulatedRing = 12;
inline constexpr int32_t kLastTabulatedRing = 22;
inline constexpr int32_t kRingTableSize =
    (kLastTabulatedRing - kFirstTabulatedRing + 1) * (kFirstTabulatedRing + kLastTabulatedRing) / 2;
// Where the n angles of a tabulated ring of n points start in the ring tables.
inline constexpr int32_t ringTableStart(int32_t n) {
  return (n - kFirstTabulatedRing) * (n + kFirstTabulatedRing - 1) / 2;
}
// sin and cos of ringAngle(i, n) at ringTableStart(n) + i (src/scene/ring_table.cpp, written by
// tools/make_turn_tables.cpp).
extern const Extended kRingSines[kRingTableSize];
extern const Extended kRingCosines[kRingTableSize];

// Reseeds the generator from the time of day and appends a random 11 x 11 scene of boxes, open
// cylinders, pyramids and open cones to the (emptied) mesh.
void composeScene();

// The process-wide uniform generator of draws in [0, 1).
void seedRandom(double secondsSinceMidnight);
double randomDraw();
// Seconds since local midnight, milliseconds as a fraction, from the clock in force.
double timeOfDaySeconds();
// Replaces the clock that timeOfDaySeconds reads (tests); nullptr restores the system clock.
void setTimeOfDayClock(double (*clock)());
// Replaces the generator's draws by another source (tests scripting a scene); nullptr restores
// the generator. Seeding still reseeds the generator itself.
void setRandomDrawSource(double (*source)());

}  // namespace corvath
