// Whole frames on a small surface: shading, culling, painter's order, the status line and the
// "Errore." message.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "support/mesh_fixture.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

using testing::parseText;

constexpr uint32_t kGrey = 0x808080;

class Frame : public testing::MeshTest {
 protected:
  void SetUp() override {
    MeshTest::SetUp();
    createSurface(drawingSurface, 64, 48, 0);
    zoom = 5000;
    cameraDistance = 5000;
    screenCentreX = 32;
    screenCentreY = 24;
    setLightDirection(0, 0, 1);
    refreshes = 0;
    messages.clear();
    setRefreshFunction([this] { ++refreshes; });
    setMessageBoxFunction([this](const std::string& text) { messages.push_back(text); });
  }
  void TearDown() override {
    setRefreshFunction(nullptr);
    setMessageBoxFunction(nullptr);
  }
  void prepare() {
    commitVertices();
    computeFaceNormals();
  }
  uint32_t pixel(int x, int y) const { return drawingSurface.pixels[y * drawingSurface.width + x]; }

  int refreshes = 0;
  std::vector<std::string> messages;
};

// Seen from the viewer (y downward):   (0,0) a ----- c (10,0)
//                                            |    /
//                                            |  /
//                                     (0,10) b
// The normal b-a x c-a points toward the viewer, so the face is lit straight on.
const std::initializer_list<std::string> kLitTriangle = {
    "Tri-mesh, Vertices: 3 Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0", "Vertex 1: X: 0 Y: 10 Z: 0",
    "Vertex 2: X: 10 Y: 0 Z: 0", "Face 0: A:0 B:1 C:2 colore: 3310129"};  // RGB(49, 130, 50)

TEST_F(Frame, EmptyMeshShowsGreyAndTheStatusLine) {
  const bool fontInstalled = createFont("courier new", -16, 700) >= 0;
  renderFrame(210, 7, 90);
  EXPECT_EQ(pixel(63, 47), kGrey);
  EXPECT_EQ(pixel(32, 24), kGrey);
  EXPECT_EQ(refreshes, 1);
  EXPECT_TRUE(drawingSurfaceSelected);
  if (!fontInstalled) GTEST_SKIP() << "no fixed-pitch font installed for the status line";
  int yellow = 0;
  for (int y = 0; y < 18; ++y) {
    for (int x = 0; x < 64; ++x) yellow += pixel(x, y) == 0xFFFF00u;
  }
  EXPECT_GT(yellow, 10);
  for (int x = 0; x < 64; ++x) EXPECT_NE(pixel(x, 30), 0xFFFF00u);
  EXPECT_EQ(drawingSurface.textY,
            fontMetrics(drawingSurface).height + fontMetrics(drawingSurface).externalLeading);
}

TEST_F(Frame, FacingFaceIsPaintedInExactlyItsColour) {
  parseText(kLitTriangle);
  prepare();
  renderFrame(0, 0, 0);
  EXPECT_EQ(pixel(34, 26), 0x318232u);
  EXPECT_EQ(pixel(32, 24), 0x318232u);  // the corner belongs to the outline
  EXPECT_EQ(pixel(30, 30), kGrey);
}

TEST_F(Frame, FaceTurnedAwayIsNotPainted) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 10 Y: 0 Z: 0", "Vertex 2: X: 0 Y: 10 Z: 0",
             "Face 0: A:0 B:1 C:2 colore: 255"});
  prepare();
  renderFrame(0, 0, 0);
  EXPECT_EQ(pixel(34, 26), kGrey);
  renderFrame(0, 180, 0);  // turned round, it faces the viewer
  EXPECT_NE(pixel(30, 26), kGrey);
}

TEST_F(Frame, ShadeRoundsEachComponentHalfToEven) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 0 Y: 10 Z: 0", "Vertex 2: X: 10 Y: 0 Z: 0",
             "Face 0: A:0 B:1 C:2 colore: 197119"});  // RGB(255, 1, 3)
  prepare();
  // A normal at 60 degrees from the light: shade exactly 0.5.
  faces[0].normalX = 0;
  faces[0].normalY = 0.75;
  faces[0].normalZ = -0.5;
  faces[0].normalLength = 1;
  renderFrame(0, 0, 0);
  EXPECT_EQ(faceShade(0), 0.5f);
  // 127.5 -> 128, 0.5 -> 0, 1.5 -> 2.
  EXPECT_EQ(pixel(34, 26), 0x800002u);
}

TEST_F(Frame, NearerFaceIsPaintedLast) {
  // Two copies of the lit triangle, the second 1000 units nearer (and so larger on screen).
  parseText({"Tri-mesh, Vertices: 6 Faces: 2", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 0 Y: 10 Z: 0", "Vertex 2: X: 10 Y: 0 Z: 0",
             "Vertex 3: X: 0 Y: 0 Z: -1000", "Vertex 4: X: 0 Y: 10 Z: -1000",
             "Vertex 5: X: 10 Y: 0 Z: -1000", "Face 0: A:3 B:4 C:5 colore: 255",
             "Face 1: A:0 B:1 C:2 colore: 65280"});
  prepare();
  renderFrame(0, 0, 0);
  EXPECT_EQ(faceOrder[0], 1);
  EXPECT_EQ(pixel(34, 26), 0xFF0000u);  // red, the nearer face, wins the overlap
}

TEST_F(Frame, UnfilledFacesShowOneMessagePerFrame) {
  // Three faces announced, one given: faces 1 and 2 have no corners.
  parseText({"Tri-mesh, Vertices: 3 Faces: 3", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 0 Y: 10 Z: 0", "Vertex 2: X: 10 Y: 0 Z: 0",
             "Face 0: A:0 B:1 C:2 colore: 255"});
  prepare();
  renderFrame(0, 0, 0);
  ASSERT_EQ(messages.size(), 1u);
  // Face 0 sorts first; the partition then leaves the two equal back-face keys as 2, 1.
  EXPECT_EQ(messages[0], "Errore. 2");
  EXPECT_EQ(pixel(34, 26), 0xFF0000u);  // the good face is still painted
  renderFrame(0, 0, 0);
  EXPECT_EQ(messages.size(), 2u);
}

TEST_F(Frame, NoFrameIsDrawnWhileTheMessageIsOpen) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 2", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 0 Y: 10 Z: 0", "Vertex 2: X: 10 Y: 0 Z: 0",
             "Face 0: A:0 B:1 C:2 colore: 255"});
  prepare();
  int nestedRefreshes = -1;
  setMessageBoxFunction([&](const std::string&) {
    // A mouse movement while the box is open asks for a frame.
    const int before = refreshes;
    renderFrame(45, 45, 45);
    nestedRefreshes = refreshes - before;
  });
  renderFrame(0, 0, 0);
  EXPECT_EQ(nestedRefreshes, 0);
  EXPECT_EQ(refreshes, 1);
}

TEST_F(Frame, DegenerateFaceIsPaintedBlackAndLast) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 0 Y: 10 Z: 0", "Vertex 2: X: 0 Y: 20 Z: 0",
             "Face 0: A:0 B:1 C:2 colore: 255"});  // three corners on one line
  prepare();
  renderFrame(0, 0, 0);
  EXPECT_TRUE(std::isnan(faceShade(0)));
  EXPECT_EQ(pixel(32, 30), 0u);  // the segment is drawn by the outline, in black
  EXPECT_TRUE(messages.empty());
}

TEST_F(Frame, VerticesAtOrBehindTheEyeAndHugeCoordinatesAreSafe) {
  parseText({"Tri-mesh, Vertices: 6 Faces: 4", "Vertex 0: X: 0 Y: 0 Z: -5000",
             "Vertex 1: X: 0 Y: 10 Z: -6000", "Vertex 2: X: 1E300 Y: -1E300 Z: 0",
             "Vertex 3: X: 1E9999 Y: 0 Z: 1", "Vertex 4: X: 3 Y: 4 Z: 4990",
             "Vertex 5: X: -3 Y: 9 Z: -4999.99", "Face 0: A:0 B:1 C:2", "Face 1: A:2 B:3 C:4",
             "Face 2: A:3 B:4 C:5", "Face 3: A:5 B:1 C:4"});
  prepare();
  for (double angle : {0.0, 90.0, 180.0, 270.0}) renderFrame(angle, angle, 0);
  EXPECT_EQ(refreshes, 4);
}

// Address space in use now, in bytes.
size_t addressSpaceInUse() {
  size_t pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%zu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

TEST_F(Frame, RunningOutOfMemoryLeavesTheFrameUndrawnAndTheNextOneDrawn) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve address space of their own";
#endif
  // A mesh whose first frame needs several megabytes of paint records and sort tables.
  constexpr int32_t kFaces = 300000;
  resizeMeshTables(3, kFaces);
  vertexCount = 3;
  faceCount = kFaces;
  workingVertices[1].y = 10;  // the lit triangle of the tests above, many times over
  workingVertices[2].x = 10;
  for (int32_t f = 0; f < kFaces; ++f) faces[f] = Face{3, 0, 1, 2};
  prepare();
  EXPECT_EXIT(
      {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        const rlim_t unlimited = limit.rlim_cur;
        limit.rlim_cur = addressSpaceInUse() + (size_t{1} << 20);
        setrlimit(RLIMIT_AS, &limit);
        renderFrame(0, 0, 0);
        const int starved = refreshes;
        limit.rlim_cur = unlimited;
        setrlimit(RLIMIT_AS, &limit);
        renderFrame(0, 0, 0);
        std::exit(starved == 0 && refreshes == 1 && pixel(33, 25) != kGrey ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace corvath
