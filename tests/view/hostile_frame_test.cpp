// Hostile mesh files drawn: each is loaded and prepared as start-up does, and whole frames on a
// desktop-sized surface must finish, whatever the file held.
//
// What the reader keeps of huge and malformed files is held at the mesh layer
// (tests/mesh/hostile_test.cpp) and by the fuzzers; here, what a frame makes of it. A frame
// allocates nothing: its cost grows with the counts, never with the coordinates, because corners
// beyond +-kMaxCorner paint nothing and the painter clips every side to the surface first.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "support/mesh_fixture.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

using testing::TemporaryFile;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr uint32_t kGrey = 0x808080;
// Below this row the status line has left the background untouched.
constexpr int32_t kBelowStatusLine = 48;

class HostileFrame : public testing::MeshTest {
 protected:
  void SetUp() override {
    MeshTest::SetUp();
    createSurface(drawingSurface, kWidth, kHeight, 0);
    screenCentreX = kWidth / 2.0;
    screenCentreY = kHeight / 2.0;
    cameraDistance = 5000;
    setRefreshFunction([this] { ++refreshes; });
    setMessageBoxFunction([this](const std::string& text) { messages.push_back(text); });
  }
  void TearDown() override {
    setRefreshFunction(nullptr);
    setMessageBoxFunction(nullptr);
    releaseMeshTables();  // later tests should not carry hundreds of megabytes
  }

  // Start-up's steps from the load to the prepared mesh, with its zoom rule.
  void startWith(const std::string& path) {
    loadMeshFile(path, 0, 0, 0, 0x336699);
    const int32_t extent = meshExtent();
    zoom = extent == 0 ? 100 : 600000.0 / extent;
    centreMesh();
    commitVertices();
    setLightDirection(0, 0, 1);
    computeFaceNormals();
  }
  void startWithText(const std::string& text) {
    TemporaryFile file(text);
    startWith(file.path());
  }

  // The first frame, a frame-timer tick's and a mouse position's: each finishes and refreshes.
  void drawFrames() {
    const int before = refreshes;
    renderFrame(210, 7, 90);
    renderFrame(0, 45, 45);
    renderFrame(90, 180, 90);
    EXPECT_EQ(refreshes - before, 3);
  }

  uint32_t pixel(int32_t x, int32_t y) const {
    return drawingSurface.pixels[static_cast<size_t>(y) * kWidth + x];
  }
  bool onlyBackgroundBelowStatusLine() const {
    for (int32_t y = kBelowStatusLine; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        if (pixel(x, y) != kGrey) return false;
      }
    }
    return true;
  }

  int refreshes = 0;
  std::vector<std::string> messages;
};

// A triangle facing the viewer at angles (0, 0, 0), red, covering the screen point 60 pixels up
// and left of the centre once the zoom is 6000 (extent 100):
//   a (-100,-100) ---- c (100,-100)
//     |          /
//     b (-100,100)
const std::string kGoodFace =
    "Vertex 0: X: -100 Y: -100 Z: 0\r\nVertex 1: X: -100 Y: 100 Z: 0\r\n"
    "Vertex 2: X: 100 Y: -100 Z: 0\r\n";

TEST_F(HostileFrame, ObjectAtTheCapDrawsWithOneMessagePerFrame) {
  // 2^22 - 2 faces announced, one filled: every other face is an "Errore." face, and a frame
  // shows only the first it reaches.
  startWithText("Tri-mesh, Vertices: 3 Faces: 4194302\r\n" + kGoodFace +
                "Face 0: A:0 B:1 C:2 colore: 255\r\n");
  EXPECT_EQ(static_cast<int64_t>(faces.size()), kMaxTableElements - 1);
  renderFrame(0, 0, 0);
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(HostileFrame, NumbersOutsideTheirObjectDrawOnlyTheGoodFace) {
  // Within the lists, which run from their line 0 to their last line: the far numbers are read
  // and skipped there, not merely ignored as lines outside a list.
  startWithText(
      "Tri-mesh, Vertices: 3 Faces: 3\r\nVertex 0: X: -100 Y: -100 Z: 0\r\n"
      "Vertex 1000000000000: X: 1E9 Y: 1E9 Z: 1E9\r\nVertex -5: X: 1E9 Y: 1E9 Z: 1E9\r\n"
      "Vertex 2147483648: X: 1E9 Y: 1E9 Z: 1E9\r\nVertex 3: X: 1E9 Y: 1E9 Z: 1E9\r\n" +
      kGoodFace.substr(kGoodFace.find("Vertex 1")) +
      "Face 0: A:0 B:1 C:2 colore: 255\r\nFace 1000000000000: A:0 B:1 C:2\r\n"
      "Face -5: A:0 B:1 C:2\r\nFace 1: A:2147483647 B:-7 C:0\r\n"
      "Face 2: A:-7 B:2147483647 C:-2147483648\r\n");
  drawFrames();
  renderFrame(0, 0, 0);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(pixel(kWidth / 2 - 60, kHeight / 2 - 60), 0xFF0000u);
}

TEST_F(HostileFrame, VertexOnTheEyePlaneOrBehindItIsSafe) {
  // z from -5000 to 5000 centres to itself, so at angles (0, 0, 0) vertex 0 lies exactly on the
  // eye plane: its screen point is undefined and its face is dropped, not painted.
  startWithText(
      "Tri-mesh, Vertices: 3 Faces: 1\r\nVertex 0: X: 0 Y: 0 Z: -5000\r\n"
      "Vertex 1: X: 0 Y: 100 Z: 5000\r\nVertex 2: X: 100 Y: 0 Z: 5000\r\n"
      "Face 0: A:0 B:1 C:2\r\n");
  renderFrame(0, 0, 0);
  EXPECT_TRUE(onlyBackgroundBelowStatusLine());
  drawFrames();

  // Behind the eye the projection mirrors the corners through the centre; drawn or not, the
  // frames finish.
  testing::resetMeshState();
  startWithText(
      "Tri-mesh, Vertices: 4 Faces: 2\r\nVertex 0: X: 0 Y: 0 Z: -6000\r\n"
      "Vertex 1: X: 0 Y: 100 Z: -6000\r\nVertex 2: X: 100 Y: 0 Z: 6000\r\n"
      "Vertex 3: X: 3 Y: 4 Z: -4999.999\r\nFace 0: A:0 B:1 C:2\r\nFace 1: A:3 B:1 C:0\r\n");
  renderFrame(0, 0, 0);
  drawFrames();
  EXPECT_TRUE(messages.empty());
}

TEST_F(HostileFrame, CornersFarOutsideTheSurfaceCostOnlyWhatIsInside) {
  // 2,000 slivers two rows high and 2.6e8 pixels wide, and one triangle around the whole
  // surface. Walking their sides pixel by pixel would take hours; clipped first, the frames
  // take milliseconds. (No timing is asserted: the test finishes only if clipping works.)
  constexpr int32_t kSlivers = 2000;
  constexpr double kReach = 130000000;  // within kMaxCorner of the centre
  std::string text = "Tri-mesh, Vertices: " + std::to_string(3 * kSlivers + 3) +
                     " Faces: " + std::to_string(kSlivers + 1) + "\r\n";
  const auto vertex = [&text](int32_t i, double x, double y) {
    text += "Vertex " + std::to_string(i) + ": X: " + numberText(x) + " Y: " + numberText(y) +
            " Z: 0\r\n";
  };
  for (int32_t k = 0; k < kSlivers; ++k) {
    // Seen by the viewer: a (-reach, y), b (reach, y + 1) below c (reach, y): lit.
    const double y = k % 1000 - 500;
    vertex(3 * k, -kReach, y);
    vertex(3 * k + 1, kReach, y + 1);
    vertex(3 * k + 2, kReach, y);
  }
  vertex(3 * kSlivers, -kReach, -kReach);
  vertex(3 * kSlivers + 1, 0, kReach);
  vertex(3 * kSlivers + 2, kReach, -kReach);
  for (int32_t k = 0; k <= kSlivers; ++k) {
    text += "Face " + std::to_string(k) + ": A:" + std::to_string(3 * k) +
            " B:" + std::to_string(3 * k + 1) + " C:" + std::to_string(3 * k + 2) +
            " colore: 65280\r\n";
  }
  startWithText(text);
  // The left button multiplies the zoom without bound; at 5000 a model unit is a pixel.
  zoom = 5000;
  renderFrame(0, 0, 0);
  EXPECT_EQ(pixel(kWidth / 2, kHeight / 2), 0x00FF00u);
  EXPECT_EQ(pixel(0, kHeight - 1), 0x00FF00u);
  drawFrames();
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace corvath
