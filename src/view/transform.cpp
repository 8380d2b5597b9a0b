// The view transform: rotation by three angles, perspective projection, face normals and light.
#include <cmath>

#include "mesh/mesh.hpp"
#include "view/view.hpp"

// g++ would pair the stores of extended results into vector stores assembled on the stack: a
// store-forwarding round trip per pair, which the extended arithmetic's loops cannot hide.
#if defined(__GNUC__) && !defined(__clang__)
#define CORVATH_SEPARATE_STORES __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define CORVATH_SEPARATE_STORES
#endif

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

// One row of the view matrix applied to a vector, terms in this order, with an 80-bit
// intermediate rounded once to 64 bits.
inline double rotateRow(const double row[3], double x, double y, double z) {
  return static_cast<double>(
      (static_cast<long double>(x) * row[0] + static_cast<long double>(y) * row[1]) +
      static_cast<long double>(z) * row[2]);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

CORVATH_SEPARATE_STORES void rotateView(const double& angleX, const double& angleY,
                                        const double& angleZ) {
  const long double radiansX = angleX * kDegreeFactor;
  const long double radiansY = angleY * kDegreeFactor;
  const long double radiansZ = angleZ * kDegreeFactor;
  const double cosX = static_cast<double>(std::cos(radiansX));
  const double cosY = static_cast<double>(std::cos(radiansY));
  const double cosZ = static_cast<double>(std::cos(radiansZ));
  const double sinX = static_cast<double>(std::sin(radiansX));
  const double sinY = static_cast<double>(std::sin(radiansY));
  const double sinZ = static_cast<double>(std::sin(radiansZ));
  using L = long double;

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

  const int32_t vertices = std::min<int64_t>(vertexCount, modelVertices.size());
  for (int32_t i = 0; i < vertices; ++i) {
    const Vertex& v = modelVertices[i];
    Vertex& out = workingVertices[i];
    out.x = rotateRow(viewMatrix[0], v.x, v.y, v.z);
    out.y = rotateRow(viewMatrix[1], v.x, v.y, v.z);
    out.z = rotateRow(viewMatrix[2], v.x, v.y, v.z);
  }
  const int32_t faceTotal = std::min<int64_t>(faceCount, faces.size());
  for (int32_t f = 0; f < faceTotal; ++f) {
    Face& face = faces[f];
    face.viewNormalX = rotateRow(viewMatrix[0], face.normalX, face.normalY, face.normalZ);
    face.viewNormalY = rotateRow(viewMatrix[1], face.normalX, face.normalY, face.normalZ);
    face.viewNormalZ = rotateRow(viewMatrix[2], face.normalX, face.normalY, face.normalZ);
  }
}

CORVATH_SEPARATE_STORES void projectVertices() {
  const long double scale = zoom;
  const int32_t vertices = std::min<int64_t>(vertexCount, workingVertices.size());
  for (int32_t i = 0; i < vertices; ++i) {
    const Vertex& v = workingVertices[i];
    // At or behind the eye the divisor is 0 or negative: infinite, undefined or mirrored
    // positions, which the painting drops.
    const long double divisor = static_cast<long double>(cameraDistance) + v.z;
    screenPoints[i].x = static_cast<float>((scale * v.x) / divisor + screenCentreX);
    screenPoints[i].y = static_cast<float>((scale * v.y) / divisor + screenCentreY);
  }
}

void computeFaceNormals() {
  using L = long double;
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
    face.normalLength = static_cast<double>(std::sqrt(squares));
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
