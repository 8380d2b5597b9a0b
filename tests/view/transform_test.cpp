// Rotation, projection, face normals and light.
#include <gtest/gtest.h>

#include <cmath>

#include "support/mesh_fixture.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

class ViewTransform : public testing::MeshTest {
 protected:
  void SetUp() override {
    MeshTest::SetUp();
    zoom = 5000;
    cameraDistance = 5000;
    screenCentreX = 683;
    screenCentreY = 384;
  }
  // One vertex (and one face over it, so face loops have something to do).
  void setModel(std::initializer_list<Vertex> vertices) {
    resizeMeshTables(static_cast<int64_t>(vertices.size()) + 1, 2);
    int32_t i = 0;
    for (const Vertex& v : vertices) modelVertices[i++] = v;
    vertexCount = i;
  }
};

TEST_F(ViewTransform, ZeroAnglesGiveTheIdentity) {
  setModel({{1.25, -7, 3e10}});
  rotateView(0, 0, 0);
  EXPECT_EQ(viewMatrix[0][0], 1);
  EXPECT_EQ(viewMatrix[1][1], 1);
  EXPECT_EQ(viewMatrix[2][2], 1);
  EXPECT_TRUE(std::signbit(viewMatrix[0][2]));  // -sin 0 is -0
  EXPECT_EQ(viewMatrix[1][0], 0);
  EXPECT_EQ(workingVertices[0].x, 1.25);
  EXPECT_EQ(workingVertices[0].y, -7);
  EXPECT_EQ(workingVertices[0].z, 3e10);
}

TEST_F(ViewTransform, QuarterTurnsAboutEachAxis) {
  setModel({{1, 2, 3}});
  rotateView(90, 0, 0);  // (x, y, z) -> (x, z, -y)
  EXPECT_NEAR(workingVertices[0].x, 1, 1e-12);
  EXPECT_NEAR(workingVertices[0].y, 3, 1e-12);
  EXPECT_NEAR(workingVertices[0].z, -2, 1e-12);
  EXPECT_NE(viewMatrix[2][2], 0);  // the decimal degree factor leaves cos 90 a little off 0
  rotateView(0, 90, 0);            // (x, y, z) -> (-z, y, x)
  EXPECT_NEAR(workingVertices[0].x, -3, 1e-12);
  EXPECT_NEAR(workingVertices[0].y, 2, 1e-12);
  EXPECT_NEAR(workingVertices[0].z, 1, 1e-12);
  rotateView(0, 0, 90);  // (x, y, z) -> (y, -x, z)
  EXPECT_NEAR(workingVertices[0].x, 2, 1e-12);
  EXPECT_NEAR(workingVertices[0].y, -1, 1e-12);
  EXPECT_NEAR(workingVertices[0].z, 3, 1e-12);
}

TEST_F(ViewTransform, RotationIsAbsoluteAndUsesTheDecimalDegreeFactor) {
  setModel({{100, 0, 0}});
  rotateView(0, 0, 30);
  rotateView(0, 0, 30);  // nothing accumulates between frames
  // 30 degrees by the decimal factor 0.0174532925199433 lies just above pi / 6: the sine is one
  // unit in the last place above 0.5.
  EXPECT_EQ(viewMatrix[0][1], 0.50000000000000011);
  EXPECT_EQ(workingVertices[0].x, 86.602540378443862);
  EXPECT_EQ(workingVertices[0].y, -50.000000000000014);
}

TEST_F(ViewTransform, ProjectionDividesByTheDistanceFromTheEye) {
  setModel({{0, 0, 0}, {1, 2, 0}, {1, 2, 5000}, {1, 1, -5000}});
  rotateView(0, 0, 0);
  projectVertices();
  EXPECT_EQ(screenPoints[0].x, 683);
  EXPECT_EQ(screenPoints[0].y, 384);
  EXPECT_EQ(screenPoints[1].x, 684);
  EXPECT_EQ(screenPoints[1].y, 386);
  EXPECT_EQ(screenPoints[2].x, 683.5f);  // twice as far: half the offset
  EXPECT_EQ(screenPoints[2].y, 385);
  EXPECT_TRUE(std::isinf(screenPoints[3].x));  // on the eye plane
}

TEST_F(ViewTransform, NormalsAreCrossProductsOfTheEdges) {
  setModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  faceCount = 2;
  faces[0] = Face{3, 0, 1, 2};
  faces[1] = Face{3, 0, 0, 2};  // two equal corners
  computeFaceNormals();
  EXPECT_EQ(faces[0].normalX, 0);
  EXPECT_EQ(faces[0].normalY, 0);
  EXPECT_EQ(faces[0].normalZ, 1);
  EXPECT_EQ(faces[0].normalLength, 1);
  EXPECT_EQ(faces[1].normalLength, 0);

  rotateView(90, 0, 0);  // the normal turns with the mesh, unscaled
  EXPECT_NEAR(faces[0].viewNormalY, 1, 1e-12);
  EXPECT_NEAR(faces[0].viewNormalZ, 0, 1e-12);
}

TEST_F(ViewTransform, CornersOutsideTheTablesGetNoNormal) {
  setModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  faceCount = 1;
  faces[0] = Face{3, 0, 1, 2147483647};
  faces[0].normalX = 5;
  computeFaceNormals();
  EXPECT_EQ(faces[0].normalX, 0);
  EXPECT_EQ(faces[0].normalLength, 0);
}

TEST_F(ViewTransform, EmptyMeshStillFillsTheMatrix) {
  rotateView(0, 0, 90);
  projectVertices();
  computeFaceNormals();
  EXPECT_NEAR(viewMatrix[0][1], 1, 1e-12);
}

TEST(Light, SetLightDirectionStoresTheOpposite) {
  setLightDirection(0, 0, 1);
  EXPECT_EQ(lightX, 0);
  EXPECT_EQ(lightY, 0);
  EXPECT_EQ(lightZ, -1);
  setLightDirection(-3, 4, -2147483647);
  EXPECT_EQ(lightX, 3);
  EXPECT_EQ(lightY, -4);
  EXPECT_EQ(lightZ, 2147483647);
}

}  // namespace
}  // namespace corvath
