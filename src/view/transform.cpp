// The view transform: rotation by three angles, perspective projection, face normals and light.
#include <algorithm>
#include <cmath>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {

// ---------------------------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------------------------

double screenCentreX = 0;
double screenCentreY = 0;
double cameraDistance = 0;
double zoom = 0;

double viewMatrix[3][3] = {};
int32_t lightX = 0;
int32_t lightY = 0;
int32_t lightZ = 0;

namespace {

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

template <int kWidth>
[[gnu::always_inline]] inline void rotateVertex(const ViewColumns<kWidth>& columns, int32_t i) {
  const Vertex& v = modelVertices[i];
  Vertex& out = workingVertices[i];
  rotate(columns, v.x, v.y, v.z, out.x, out.y, out.z);
}

[[gnu::always_inline]] inline void projectVertex(int32_t i, const Extended& scale) {
  const Vertex& v = workingVertices[i];
  // At or behind the eye the divisor is 0 or negative: infinite, undefined or mirrored
  // positions, which the painting drops.
#if !CORVATH_NATIVE_EXTENDED
  // Without the x87 unit, doubles answer wherever they provably give the same floats.
  const double quickDivisor = cameraDistance + v.z;
  if (projectQuick(zoom, v.x, quickDivisor, screenCentreX, screenPoints[i].x) &&
      projectQuick(zoom, v.y, quickDivisor, screenCentreY, screenPoints[i].y)) {
    return;
  }
#endif
  const Extended divisor = Extended(cameraDistance) + v.z;
  screenPoints[i].x = static_cast<float>((scale * v.x) / divisor + screenCentreX);
  screenPoints[i].y = static_cast<float>((scale * v.y) / divisor + screenCentreY);
}

// Both in one pass: each vertex is projected while its rotated coordinates are at hand.
template <int kWidth>
[[gnu::always_inline]] inline void rotateAndProject(int32_t begin, int32_t end) {
  const ViewColumns<kWidth> columns = viewColumns<kWidth>();
  const Extended scale = zoom;
  for (int32_t i = begin; i < end; ++i) {
    rotateVertex(columns, i);
    projectVertex(i, scale);
  }
}

CORVATH_SEPARATE_STORES void rotateAndProjectRange(int32_t begin, int32_t end) {
  rotateAndProject<kPortableLanes>(begin, end);
}

#if !CORVATH_NATIVE_EXTENDED && defined(__x86_64__)
// The same, with the quick rotation's lanes in one AVX2 register.
__attribute__((target("avx2,fma"))) void rotateAndProjectRangeAvx2(int32_t begin, int32_t end) {
  rotateAndProject<kAvx2Lanes>(begin, end);
}
#endif

CORVATH_SEPARATE_STORES void setViewMatrix(const double& angleX, const double& angleY,
                                           const double& angleZ) {
  double sinX = 0, cosX = 0, sinY = 0, cosY = 0, sinZ = 0, cosZ = 0;
  degreeSineCosine(angleX, sinX, cosX);
  degreeSineCosine(angleY, sinY, cosY);
  degreeSineCosine(angleZ, sinZ, cosZ);
  using L = Extended;

  // The transpose of Rz * Ry * Rx, each entry evaluated left to right in extended precision.
  viewMatrix[0][0] = static_cast<double>(L(cosY) * cosZ);
  viewMatrix[0][1] = static_cast<double>(L(cosY) * sinZ);
  viewMatrix[0][2] = -sinY;
  viewMatrix[1][0] = static_cast<double>((L(sinY) * cosZ) * sinX - L(cosX) * sinZ);
  viewMatrix[1][1] = static_cast<double>((L(sinY) * sinZ) * sinX + L(cosZ) * cosX);
  viewMatrix[1][2] = static_cast<double>(L(cosY) * sinX);
  viewMatrix[2][0] = static_cast<double>((L(sinY) * cosZ) * cosX + L(sinX) * sinZ);
  viewMatrix[2][1] = static_cast<double>((L(sinY) * sinZ) * cosX - L(sinX) * cosZ);
  viewMatrix[2][2] = static_cast<double>(L(cosY) * cosX);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

void degreeSineCosine(double degrees, double& sine, double& cosine) {
  // Not -0: its sine is -0, the table's +0.
  if (degrees >= 0 && degrees < 360 && !std::signbit(degrees)) {
    const auto whole = static_cast<int32_t>(degrees);
    if (whole == degrees) {
      sine = kDegreeSines[whole];
      cosine = kDegreeCosines[whole];
      return;
    }
  }
  const Extended radians = degrees * kDegreeFactor;
  sine = extendedSinAsDouble(radians);
  cosine = extendedCosAsDouble(radians);
}

void rotateView(const double& angleX, const double& angleY, const double& angleZ) {
  setViewMatrix(angleX, angleY, angleZ);
  const int32_t vertices = std::min<int64_t>(vertexCount, modelVertices.size());
  const ViewColumns<kPortableLanes> columns = viewColumns<kPortableLanes>();
  for (int32_t i = 0; i < vertices; ++i) rotateVertex(columns, i);
  const int32_t faceTotal = std::min<int64_t>(faceCount, faces.size());
  for (int32_t f = 0; f < faceTotal; ++f) turnFaceNormal(columns, faces[f]);
}

void turnAndProjectView(const double& angleX, const double& angleY, const double& angleZ) {
  setViewMatrix(angleX, angleY, angleZ);
  const int32_t vertices = std::min<int64_t>(
      vertexCount, std::min({modelVertices.size(), workingVertices.size(), screenPoints.size()}));
  const Ranges ranges = splitRanges(vertices);
  auto range = rotateAndProjectRange;
#if !CORVATH_NATIVE_EXTENDED && defined(__x86_64__)
  if (vectorPath != VectorPath::kPortable) range = rotateAndProjectRangeAvx2;
#endif
  runParts(ranges.count, [&](int32_t part) { range(ranges.begin(part), ranges.end(part)); });
}

void projectVertices() {
  const int32_t vertices = std::min<int64_t>(vertexCount, workingVertices.size());
  for (int32_t i = 0; i < vertices; ++i) projectVertex(i, zoom);
}

void computeFaceNormals() {
  using L = Extended;
  const int32_t faceTotal = std::min<int64_t>(faceCount, faces.size());
  for (int32_t f = 0; f < faceTotal; ++f) {
    Face& face = faces[f];
    if (!faceCornersInTables(face)) {
      // A corner outside the tables: no normal, so no light; ordering and painting skip it.
      face.normalX = face.normalY = face.normalZ = face.normalLength = 0;
      continue;
    }
    const Vertex& a = modelVertices[face.a];
    const Vertex& b = modelVertices[face.b];
    const Vertex& c = modelVertices[face.c];
    const double ux = static_cast<double>(L(b.x) - a.x);
    const double uy = static_cast<double>(L(b.y) - a.y);
    const double uz = static_cast<double>(L(b.z) - a.z);
    const double vx = static_cast<double>(L(c.x) - a.x);
    const double vy = static_cast<double>(L(c.y) - a.y);
    const double vz = static_cast<double>(L(c.z) - a.z);
    face.normalX = static_cast<double>(L(uy) * vz - L(uz) * vy);
    face.normalY = static_cast<double>(L(uz) * vx - L(ux) * vz);
    face.normalZ = static_cast<double>(L(ux) * vy - L(uy) * vx);
    const L squares = (L(face.normalX) * face.normalX + L(face.normalY) * face.normalY) +
                      L(face.normalZ) * face.normalZ;
    face.normalLength = static_cast<double>(extendedSqrt(squares));
  }
}

void setLightDirection(int32_t x, int32_t y, int32_t z) {
  // Negation in 64 bits, so the most negative integer cannot overflow; it wraps as the
  // 32-bit store it is.
  lightX = static_cast<int32_t>(-static_cast<int64_t>(x));
  lightY = static_cast<int32_t>(-static_cast<int64_t>(y));
  lightZ = static_cast<int32_t>(-static_cast<int64_t>(z));
}

}  // namespace corvath
