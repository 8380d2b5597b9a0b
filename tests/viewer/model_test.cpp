// Model files in the viewer: opened and framed, read again by F5, after the random scenes and by
// the watch, replaced by a drop, and every failure said in a box while the mesh shown stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "viewer/viewer_fixture.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;

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

// The file 3d.asc holds a triangle `width` wide and the viewer shows it.
class ModelTest : public ViewerTest {
 protected:
  void rewrite(int width) { folder.write("3d.asc", triangleText("10", std::to_string(10 + width))); }
  void showTriangle(int width) {
    rewrite(width);
    ASSERT_TRUE(prepareViewer("3d.asc", 64, 48));
    send(kCreateMessage, 1, 0);
  }
  static double shownWidth() { return modelVertices[1].x - modelVertices[0].x; }
};

using ModelFile = ModelTest;

TEST_F(ModelFile, OtherFormatsAreFramedWhateverTheirUnitsAndPlace) {
  if (!canImportModels()) GTEST_SKIP() << "built without the import library";
  // Tiny, plain, huge, and wholly at negative coordinates: each centred on the origin with its
  // farthest corner kFramedRadius away, at the zoom for the surface's shorter side.
  for (const auto& [low, side] : {std::pair(0.0, 1e-4), std::pair(0.0, 1.0),
                                  std::pair(-5e6, 1e7), std::pair(-5000.0, 1000.0)}) {
    folder.write("box.obj", boxObj(low, side));
    std::string error, notice;
    ASSERT_TRUE(openModelFile("box.obj", 255, 640, 480, error, notice)) << error;
    EXPECT_EQ(std::tuple(vertexCount, faceCount, notice), std::tuple(8, 12, ""));
    double farthest = 0;
    for (int32_t i = 0; i < vertexCount; ++i) {
      const Vertex& v = workingVertices[i];
      farthest = std::max(farthest, std::hypot(v.x, v.y, v.z));
    }
    EXPECT_NEAR(farthest, kFramedRadius, 1e-9 * kFramedRadius) << side;
    const auto [first, last] = std::minmax_element(
        workingVertices.begin(), workingVertices.begin() + vertexCount,
        [](const Vertex& a, const Vertex& b) { return a.x + a.y + a.z < b.x + b.y + b.z; });
    EXPECT_NEAR(first->x + last->x, 0, 1e-9) << side;  // opposite corners, opposite places
    EXPECT_EQ(zoom, framedZoom(480));
  }
}

TEST_F(ModelFile, FramedZoomFillsNinetyPercentOfTheShorterSide) {
  // The zoom keeps every turn within 90 % of the shorter side: the framed sphere's outline.
  for (const int32_t side : {100, 480, 2160}) {
    const double radius = framedZoom(side) * kFramedRadius /
                          std::sqrt(cameraDistance * cameraDistance - kFramedRadius * kFramedRadius);
    EXPECT_LE(2 * radius, 0.9 * side);
    EXPECT_GT(2 * radius, 0.89 * side);
  }
}

TEST_F(ModelFile, FilesThatCannotBeShownSayWhy) {
  fs::create_directory("folder.obj");
  folder.write("empty.obj", "");
  folder.write("points.obj", "v 0 0 0\nv 1 0 0\n");
  folder.write("noface.asc", "Tri-mesh, Vertices: 1 Faces: 0\nVertex 0: X: 1 Y: 2 Z: 3\n");
  folder.write("text.xyz", "1 2 3\n");
  const std::pair<const char*, const char*> cases[] = {
      {"missing.obj", "No such file or directory"}, {"folder.obj", "is a folder, not a file"},
      {"empty.obj", "is empty"},                    {"noface.asc", "holds no triangles"},
      {"points.obj", "holds no triangles"},         {"text.xyz", "unknown format .xyz"}};
  for (const auto& [name, reason] : cases) {
    if (!canImportModels() && !isMeshTextFile(name)) continue;
    rewrite(100);
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
  showTriangle(100);
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
  rewrite(300);
  send(kCommandMessage, kAnimateCommand);
  EXPECT_FALSE(timerRunning(kAnimationTimer));
  ASSERT_EQ(std::tuple(vertexCount, faceCount, shownWidth()), std::tuple(3, 1, 300.0));
  EXPECT_EQ(zoom, modelZoom);
  EXPECT_EQ(std::memcmp(turned, viewMatrix, sizeof turned), 0);  // as the pointer left it
}

TEST_F(ModelShell, F5ReadsTheFileAgainKeepingTheZoomAndShowsTheErrorBoxOncePerMesh) {
  // Face 1 is announced and never described.
  folder.write("3d.asc",
               "Tri-mesh, Vertices: 3 Faces: 2\nVertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 100 Y: 0 "
               "Z: 0\nVertex 2: X: 0 Y: 50 Z: 0\nFace 0: A:0 B:1 C:2 colore: 255\n");
  prepareViewer("3d.asc", 64, 48);
  send(kCreateMessage, 1, 0);
  send(kMouseMoveMessage, 0, 5);
  EXPECT_EQ(messages, std::vector<std::string>{"Errore. 1"});
  zoom = 777;
  send(kCommandMessage, kReloadCommand);
  EXPECT_EQ(messages.size(), 2u);  // a new mesh: the box once more
  EXPECT_EQ(zoom, 777);
  rewrite(200);
  send(kCommandMessage, kReloadCommand);
  EXPECT_EQ(shownWidth(), 200);
  // A file gone: the box says so, and the mesh stays.
  fs::remove("3d.asc");
  send(kCommandMessage, kReloadCommand);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages.back(), "3d.asc: No such file or directory");
  EXPECT_EQ(std::tuple(vertexCount, faceCount, zoom), std::tuple(3, 1, 777.0));
}

TEST_F(ModelShell, ADroppedFileReplacesTheMeshAndOneThatCannotBeOpenedLeavesIt) {
  showTriangle(100);
  folder.write("noface.asc", "Tri-mesh, Vertices: 1 Faces: 0\nVertex 0: X: 1 Y: 2 Z: 3\n");
  folder.write("broken.obj", "f 1 2 3\n");
  for (const char* bad : {"missing.asc", "noface.asc", "broken.obj"}) {
    if (!canImportModels() && !isMeshTextFile(bad)) continue;
    noteDroppedFile(bad);
    send(kDropMessage);
    EXPECT_EQ(std::tuple(vertexCount, faceCount, modelFileName), std::tuple(3, 1, "3d.asc"));
    ASSERT_FALSE(messages.empty()) << bad;
    EXPECT_TRUE(messages.back().starts_with(std::string(bad) + ": ")) << messages.back();
  }
  if (!canImportModels()) return;
  folder.write("box.obj", boxObj(0, 2));
  noteDroppedFile("box.obj");
  send(kDropMessage);
  EXPECT_EQ(std::tuple(vertexCount, faceCount, modelFileName), std::tuple(8, 12, "box.obj"));
  EXPECT_EQ(takeDroppedFile(), "");  // taken once
}

TEST_F(ModelShell, TheWatchReadsTheFileAgainOnceItHasStoppedChanging) {
  watchModelFile = true;
  showTriangle(100);
  EXPECT_TRUE(timerRunning(kWatchTimer));
  rewrite(123456);
  send(kTimerMessage, kWatchTimer);  // changed since the last look: wait for it to settle
  EXPECT_EQ(shownWidth(), 100);
  send(kTimerMessage, kWatchTimer);  // the same twice: read it
  EXPECT_EQ(shownWidth(), 123456);
  const double zoomAfter = zoom;
  send(kTimerMessage, kWatchTimer);  // nothing new: nothing read
  EXPECT_EQ(zoom, zoomAfter);
  EXPECT_TRUE(messages.empty());
}

TEST_F(ModelShell, ASaveThatFailsSaysWhichFileAndWhy) {
  showTriangle(100);
  folder.write(kPictureFileName, "old");
  fs::permissions(kPictureFileName, fs::perms::owner_read);
  send(kCommandMessage, kSaveCommand);
  EXPECT_EQ(messages, std::vector<std::string>{"3d.bmp: cannot be saved (the file is read-only)"});
  std::ifstream in(kPictureFileName);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
  // Nor a temporary file left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace corvath::testing
