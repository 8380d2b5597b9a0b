// The start-up preparation shared by the viewer and the headless renderer.
#include <cmath>

#include "app_fixture.hpp"

namespace corvath::testing {
namespace {

// One triangle; its largest coordinate is `largest`, on x.
std::string triangleText(const std::string& largest, const std::string& colour = "") {
  return "Named Object: \"T\"\r\nTri-mesh, Vertices: 3     Faces: 1\r\n"
         "Vertex 0: X: 10 Y: 0 Z: 0\r\nVertex 1: X: " +
         largest +
         " Y: 0 Z: 0\r\n"
         "Vertex 2: X: 10 Y: 10 Z: 0\r\nFace 0: A:0 B:1 C:2" +
         colour + "\r\n";
}

using ViewerPreparation = ShellTest;

TEST_F(ViewerPreparation, CentreIsTheExactHalfOfTheSurface) {
  prepareViewer("none.asc", 1366, 768);
  EXPECT_EQ(screenCentreX, 683);
  EXPECT_EQ(screenCentreY, 384);
  prepareViewer("none.asc", 1365, 767);
  EXPECT_EQ(screenCentreX, 682.5);
  EXPECT_EQ(screenCentreY, 383.5);
  EXPECT_EQ(cameraDistance, 5000);
}

TEST_F(ViewerPreparation, ZoomFromTheExtentBeforeCentring) {
  writeText("3d.asc", triangleText("3000"));
  prepareViewer("3d.asc", 64, 48);
  EXPECT_EQ(zoom, 200);
  writeText("3d.asc", triangleText("600000"));
  prepareViewer("3d.asc", 64, 48);
  EXPECT_EQ(zoom, 1);
  EXPECT_EQ(vertexCount, 3);  // a second preparation starts from an empty mesh
}

TEST_F(ViewerPreparation, EmptyOrNegativeMeshGetsTheZoomFloor) {
  prepareViewer("missing.asc", 64, 48);
  EXPECT_EQ(vertexCount, 0);
  EXPECT_EQ(zoom, 100);
  EXPECT_TRUE(std::isfinite(zoom));
  // x from -20 to 0.4: the extent rounds to 0.
  writeText("3d.asc",
            "Tri-mesh, Vertices: 3 Faces: 1\r\nVertex 0: X: -20 Y: -1 Z: -1\r\n"
            "Vertex 1: X: 0.4 Y: -1 Z: -1\r\nVertex 2: X: -20 Y: -9 Z: -1\r\n"
            "Face 0: A:0 B:1 C:2\r\n");
  prepareViewer("3d.asc", 64, 48);
  EXPECT_EQ(vertexCount, 3);
  EXPECT_EQ(zoom, 100);
}

TEST_F(ViewerPreparation, MeshIsCentredCommittedAndLit) {
  // x from 10 to 20 and the origin: the box middle at x = 10 moves to 0.
  writeText("3d.asc", triangleText("20", " colore: 255"));
  prepareViewer("3d.asc", 64, 48);
  ASSERT_EQ(vertexCount, 3);
  EXPECT_EQ(modelVertices[0].x, 0);
  EXPECT_EQ(modelVertices[1].x, 10);
  EXPECT_EQ(modelVertices[2].y, 5);
  EXPECT_EQ(lightX, 0);
  EXPECT_EQ(lightY, 0);
  EXPECT_EQ(lightZ, -1);
  EXPECT_EQ(faces[0].normalZ, 100);  // (10, 0, 0) x (0, 10, 0)
  EXPECT_EQ(faces[0].normalLength, 100);
  EXPECT_EQ(faces[0].red, 255);
}

TEST_F(ViewerPreparation, StartColourComesFromTheTimeOfDayWithinItsRanges) {
  writeText("3d.asc", triangleText("20"));
  int greenAbove200 = 0;
  for (int second = 0; second < 300; ++second) {
    fixedClockSeconds = second * 287.125;
    prepareViewer("3d.asc", 64, 48);
    ASSERT_EQ(faceCount, 1);
    EXPECT_LE(faces[0].red, 200);
    EXPECT_LE(faces[0].blue, 200);
    EXPECT_LE(faces[0].green, 240);
    if (faces[0].green > 200) ++greenAbove200;
  }
  EXPECT_GT(greenAbove200, 0);

  fixedClockSeconds = 1000.5;
  prepareViewer("3d.asc", 64, 48);
  const Face first = faces[0];
  prepareViewer("3d.asc", 64, 48);
  EXPECT_EQ(faces[0].red, first.red);
  EXPECT_EQ(faces[0].green, first.green);
  EXPECT_EQ(faces[0].blue, first.blue);
}

}  // namespace
}  // namespace corvath::testing
