// Model files in the viewer: opened and framed, read again by F5, after the random scenes and by
// the watch, replaced by a drop, and every failure said in a box while the mesh shown stays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "support/mesh_fixture.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"
#include "window/window.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;

int32_t send(uint32_t message, uint64_t first = 0, int64_t second = 0) {
  return handleMainWindowMessage(1, message, first, second);
}

// A box from `low` to `low + side` on every axis, as OBJ: 8 corners, 6 quads, wound outward.
std::string boxObj(double low, double side) {
  std::ostringstream text;
  text.precision(17);
  for (int corner = 0; corner < 8; ++corner) {
    text << 'v';
    for (int axis = 0; axis < 3; ++axis) text << ' ' << low + ((corner >> axis) & 1) * side;
    text << '\n';
  }
  return text.str() + "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
}

std::string triangleText(const std::string& right) {
  return "Tri-mesh, Vertices: 3 Faces: 1\nVertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: " + right +
         " Y: 0 Z: 0\nVertex 2: X: 0 Y: 50 Z: 0\nFace 0: A:0 B:1 C:2 colore: 255\n";
}

double farthestFromTheOrigin() {
  double farthest = 0;
  for (int32_t i = 0; i < vertexCount; ++i) {
    const Vertex& v = workingVertices[i];
    farthest = std::max(farthest, std::hypot(v.x, v.y, v.z));
  }
  return farthest;
}

// A fresh mesh and globals, a recorded message box, a fixed clock and a temporary folder.
class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMeshState();
    createSurface(drawingSurface, 64, 48, kButtonFaceColour);
    drawingSurfaceSelected = false;
    setTimeOfDayClock([] { return 43200.25; });
    cameraDistance = 5000;
    setMessageBoxFunction([this](const std::string& text) { messages.push_back(text); });
    watchModelFile = false;
    char pattern[] = "/tmp/corvath-model-XXXXXX";
    directory_ = mkdtemp(pattern);
    previous_ = fs::current_path();
    fs::current_path(directory_);
  }
  void TearDown() override {
    send(kDestroyMessage);  // stops the timers
    setMessageBoxFunction(nullptr);
    setTimeOfDayClock(nullptr);
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }

  std::vector<std::string> messages;
  fs::path directory_;
  fs::path previous_;
};

using ModelFile = ModelTest;

TEST_F(ModelFile, OtherFormatsAreFramedWhateverTheirUnitsAndPlace) {
  if (!canImportModels()) GTEST_SKIP() << "built without the import library";
  // Tiny, plain, huge, and wholly at negative coordinates: each centred on the origin with its
  // farthest corner kFramedRadius away, at the zoom for the surface's shorter side.
  for (const auto& [low, side] : {std::pair(0.0, 1e-4), std::pair(0.0, 1.0),
                                  std::pair(-5e6, 1e7), std::pair(-5000.0, 1000.0)}) {
    write("box.obj", boxObj(low, side));
    std::string error, notice;
    ASSERT_TRUE(openModelFile("box.obj", 255, 640, 480, error, notice)) << error;
    EXPECT_EQ(std::tuple(vertexCount, faceCount, notice), std::tuple(8, 12, ""));
    EXPECT_NEAR(farthestFromTheOrigin(), kFramedRadius, 1e-9 * kFramedRadius) << side;
    const auto [first, last] = std::minmax_element(
        workingVertices.begin(), workingVertices.begin() + vertexCount,
        [](const Vertex& a, const Vertex& b) { return a.x + a.y + a.z < b.x + b.y + b.z; });
    EXPECT_NEAR(first->x + last->x, 0, 1e-9) << side;  // opposite corners, opposite places
    EXPECT_EQ(zoom, framedZoom(480));
  }
  // The zoom keeps every turn within 90 % of the shorter side: the framed sphere's outline.
  for (const int32_t side : {100, 480, 2160}) {
    const double radius = framedZoom(side) * kFramedRadius /
                          std::sqrt(cameraDistance * cameraDistance - kFramedRadius * kFramedRadius);
    EXPECT_LE(2 * radius, 0.9 * side);
    EXPECT_GT(2 * radius, 0.89 * side);
  }
}

TEST_F(ModelFile, FilesThatCannotBeShownSayWhy) {
  mkdir("folder.obj", 0755);
  write("empty.obj", "");
  write("points.obj", "v 0 0 0\nv 1 0 0\n");
  write("noface.asc", "Tri-mesh, Vertices: 1 Faces: 0\nVertex 0: X: 1 Y: 2 Z: 3\n");
  write("text.xyz", "1 2 3\n");
  const std::pair<const char*, const char*> cases[] = {
      {"missing.obj", "No such file or directory"}, {"folder.obj", "is a folder, not a file"},
      {"empty.obj", "is empty"},                    {"noface.asc", "holds no triangles"},
      {"points.obj", "holds no triangles"},         {"text.xyz", "unknown format .xyz"}};
  for (const auto& [name, reason] : cases) {
    if (!canImportModels() && !isMeshTextFile(name)) continue;
    write("3d.asc", triangleText("100"));
    std::string error, notice;
    openModelFile("3d.asc", 0, 64, 48, error, notice);
    EXPECT_FALSE(openModelFile(name, 0, 64, 48, error, notice)) << name;
    EXPECT_NE(error.find(reason), std::string::npos) << name << ": " << error;
    // An import that fails leaves the mesh alone; mesh text leaves what the reader took.
    EXPECT_EQ(vertexCount, std::string(name) == "noface.asc" ? 1 : 3) << name;
  }
}

using ModelShell = ModelTest;

TEST_F(ModelShell, ScenesComeAtTheirOwnZoomAndSpaceBringsTheFileBackAtItsZoom) {
  write("3d.asc", triangleText("100"));
  ASSERT_TRUE(prepareViewer("3d.asc", 64, 48));
  send(kCreateMessage, 1, 0);
  send(kMouseMoveMessage, 0, (40 << 16) | 30);
  double turned[3][3];
  std::memcpy(turned, viewMatrix, sizeof turned);
  zoom *= 2;  // the user zoomed in
  const double modelZoom = zoom;
  send(kCommandMessage, kAnimateCommand);
  EXPECT_TRUE(timerRunning(kAnimationTimer));
  send(kTimerMessage, kAnimationTimer);
  EXPECT_GT(faceCount, 1);
  std::copy(modelVertices.begin(), modelVertices.begin() + vertexCount, workingVertices.begin());
  EXPECT_EQ(zoom, startUpZoom());  // the scene's own, as it was composed
  zoom *= 1.5;                     // zoomed while the scenes run: the next scene keeps it
  const double sceneZoom = zoom;
  send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(zoom, sceneZoom);
  // Stopped, the file comes back as it now is, at the zoom it had.
  write("3d.asc", triangleText("300"));
  send(kCommandMessage, kAnimateCommand);
  EXPECT_FALSE(timerRunning(kAnimationTimer));
  ASSERT_EQ(std::tuple(vertexCount, faceCount), std::tuple(3, 1));
  EXPECT_EQ(modelVertices[1].x - modelVertices[0].x, 300);
  EXPECT_EQ(zoom, modelZoom);
  EXPECT_EQ(std::memcmp(turned, viewMatrix, sizeof turned), 0);  // as the pointer left it
}

TEST_F(ModelShell, F5ReadsTheFileAgainKeepingTheZoomAndShowsTheErrorBoxOncePerMesh) {
  // Face 1 is announced and never described.
  const std::string unfilled =
      "Tri-mesh, Vertices: 3 Faces: 2\nVertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 100 Y: 0 Z: 0\n"
      "Vertex 2: X: 0 Y: 50 Z: 0\nFace 0: A:0 B:1 C:2 colore: 255\n";
  write("3d.asc", unfilled);
  prepareViewer("3d.asc", 64, 48);
  send(kCreateMessage, 1, 0);
  send(kMouseMoveMessage, 0, 5);
  EXPECT_EQ(messages, std::vector<std::string>{"Errore. 1"});
  zoom = 777;
  send(kCommandMessage, kReloadCommand);
  EXPECT_EQ(messages.size(), 2u);  // a new mesh: the box once more
  EXPECT_EQ(zoom, 777);
  write("3d.asc", triangleText("200"));
  send(kCommandMessage, kReloadCommand);
  EXPECT_EQ(modelVertices[1].x - modelVertices[0].x, 200);
  // A file gone: the box says so, and the mesh stays.
  fs::remove("3d.asc");
  send(kCommandMessage, kReloadCommand);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages.back(), "3d.asc: No such file or directory");
  EXPECT_EQ(std::tuple(vertexCount, faceCount, zoom), std::tuple(3, 1, 777.0));
}

TEST_F(ModelShell, ADroppedFileReplacesTheMeshAndOneThatCannotBeOpenedLeavesIt) {
  write("3d.asc", triangleText("100"));
  prepareViewer("3d.asc", 64, 48);
  send(kCreateMessage, 1, 0);
  write("noface.asc", "Tri-mesh, Vertices: 1 Faces: 0\nVertex 0: X: 1 Y: 2 Z: 3\n");
  write("broken.obj", "f 1 2 3\n");
  for (const char* bad : {"missing.asc", "noface.asc", "broken.obj"}) {
    if (!canImportModels() && !isMeshTextFile(bad)) continue;
    noteDroppedFile(bad);
    send(kDropMessage);
    EXPECT_EQ(std::tuple(vertexCount, faceCount, modelFileName), std::tuple(3, 1, "3d.asc"));
    ASSERT_FALSE(messages.empty()) << bad;
    EXPECT_EQ(messages.back().rfind(std::string(bad) + ": ", 0), 0u) << messages.back();
  }
  if (!canImportModels()) return;
  write("box.obj", boxObj(0, 2));
  noteDroppedFile("box.obj");
  send(kDropMessage);
  EXPECT_EQ(std::tuple(vertexCount, faceCount, modelFileName), std::tuple(8, 12, "box.obj"));
  EXPECT_EQ(takeDroppedFile(), "");  // taken once
}

TEST_F(ModelShell, TheWatchReadsTheFileAgainOnceItHasStoppedChanging) {
  write("3d.asc", triangleText("100"));
  prepareViewer("3d.asc", 64, 48);
  watchModelFile = true;
  send(kCreateMessage, 1, 0);
  EXPECT_TRUE(timerRunning(kWatchTimer));
  write("3d.asc", triangleText("123456"));
  send(kTimerMessage, kWatchTimer);  // changed since the last look: wait for it to settle
  EXPECT_EQ(modelVertices[1].x - modelVertices[0].x, 100);
  send(kTimerMessage, kWatchTimer);  // the same twice: read it
  EXPECT_EQ(modelVertices[1].x - modelVertices[0].x, 123456);
  const double zoomAfter = zoom;
  send(kTimerMessage, kWatchTimer);  // nothing new: nothing read
  EXPECT_EQ(zoom, zoomAfter);
  EXPECT_TRUE(messages.empty());
}

TEST_F(ModelShell, ASaveThatFailsSaysWhichFileAndWhy) {
  write("3d.asc", triangleText("100"));
  prepareViewer("3d.asc", 64, 48);
  send(kCreateMessage, 1, 0);
  write(kPictureFileName, "old");
  fs::permissions(kPictureFileName, fs::perms::owner_read);
  send(kCommandMessage, kSaveCommand);
  EXPECT_EQ(messages, std::vector<std::string>{"3d.bmp: cannot be saved (the file is read-only)"});
  std::ifstream in(kPictureFileName);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

}  // namespace
}  // namespace corvath::testing
