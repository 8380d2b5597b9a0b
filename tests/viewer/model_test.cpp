// Model files in the viewer: opened and framed, read again by F5, after the random scenes and by
// the watch, replaced by a drop, and every failure said in a box while the mesh shown stays.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <tuple>

#include "import/import.hpp"
#include "viewer/viewer_fixture.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;

// A box from `low` to `low + side` on every axis, as OBJ: 8 corners, 6 quads, wound outward.
std::string boxObj(double low, double side) {
  std::ostringstream text;  // every digit of a double
  text.precision(17);
  for (int corner = 0; corner < 8; ++corner)
    text << "v " << low + (corner & 1) * side << ' ' << low + ((corner >> 1) & 1) * side << ' '
         << low + ((corner >> 2) & 1) * side << '\n';
  return text.str() + "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
}

class ModelTest : public ViewerTest {
 protected:  // 3d.asc holds a triangle `width` wide, and is shown
  void rewrite(int width) {
    folder.write("3d.asc", triangleText("10", std::to_string(10 + width)));
  }
  void showTriangle(int width) {
    rewrite(width), prepareViewer("3d.asc", 64, 48), send(kCreateMessage, 1, 0);
  }
  static double shownWidth() { return modelVertices[1].x - modelVertices[0].x; }
};

using ModelFile = ModelTest;
TEST_F(ModelFile, OtherFormatsAreFramedWhateverTheirUnitsAndPlace) {
  if (!canImportModels()) GTEST_SKIP() << "built without the import library";
  // Each centred on the origin, its farthest corner kFramedRadius away, zoomed for the shorter
  // side.
  for (const auto& [low, side] : {std::pair(0.0, 1e-4), std::pair(0.0, 1.0), std::pair(-5e6, 1e7),
                                  std::pair(-5000.0, 1000.0)}) {
    folder.write("box.obj", boxObj(low, side));
    std::string error, notice;
    ASSERT_TRUE(openModelFile("box.obj", 255, 640, 480, error, notice)) << error;
    EXPECT_EQ(std::tuple(vertexCount, faceCount, notice, zoom),
              std::tuple(8, 12, "", framedZoom(480)));
    double farthest = 0;
    for (int32_t i = 0; i < vertexCount; ++i)
      farthest = std::max(
          farthest, std::hypot(workingVertices[i].x, workingVertices[i].y, workingVertices[i].z));
    EXPECT_NEAR(farthest, kFramedRadius, 1e-9 * kFramedRadius) << side;
    const auto [first, last] = std::minmax_element(
        workingVertices.begin(), workingVertices.begin() + vertexCount,
        [](const Vertex& a, const Vertex& b) { return a.x + a.y + a.z < b.x + b.y + b.z; });
    EXPECT_NEAR(first->x + last->x, 0, 1e-9) << side;  // opposite corners, opposite places
  }
}

TEST_F(ModelFile, FramedZoomFillsNinetyPercentOfTheShorterSide) {
  // The zoom keeps every turn within 90 % of the shorter side: the framed sphere's outline.
  for (const int32_t side : {100, 480, 2160}) {
    const double radius =
        framedZoom(side) * kFramedRadius /
        std::sqrt(cameraDistance * cameraDistance - kFramedRadius * kFramedRadius);
    EXPECT_TRUE(2 * radius <= 0.9 * side && 2 * radius > 0.89 * side) << side;
  }
}

TEST_F(ModelFile, FilesThatCannotBeShownSayWhy) {
  fs::create_directory("folder.obj");
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"missing.obj", nullptr, "No such file or directory"},
      {"folder.obj", nullptr, "is a folder, not a file"},
      {"empty.obj", "", "is empty"},
      {"noface.asc", "Tri-mesh, Vertices: 1 Faces: 0\nVertex 0: X: 1 Y: 2 Z: 3\n",
       "holds no triangles"},
      {"points.obj", "v 0 0 0\nv 1 0 0\n", "holds no triangles"},
      {"text.xyz", "1 2 3\n", "unknown format .xyz"}};
  for (const auto& [name, text, reason] : cases) {
    if (!canImportModels() && !isMeshTextFile(name)) continue;
    if (text) folder.write(name, text);
    rewrite(100);
    std::string error, notice;
    openModelFile("3d.asc", 0, 64, 48, error, notice);
    EXPECT_FALSE(openModelFile(name, 0, 64, 48, error, notice)) << name;
    EXPECT_NE(error.find(reason), std::string::npos) << name << ": " << error;
    // An import that fails leaves the mesh alone; mesh text leaves what the reader took.
    EXPECT_EQ(vertexCount, std::string(name) == "noface.asc" ? 1 : 3) << name;
  }
}

TEST_F(ModelFile, ObjectsBeyondTheTablesAreRefusedPointingToTheConverterAndTheMeshStays) {
  // The web page places imported objects without a simplifier: one vertex past the tables.
  showTriangle(100);
  MeshObject object;
  object.positions.assign(3 * size_t{kMaxTableElements}, 0.0);
  object.positions[3] = 1, object.positions[7] = 1;
  object.corners = {0, 1, 2};
  object.colours = {kNoColour};
  std::string error;
  EXPECT_FALSE(placeImportedObjects({object}, 255, 480, error));
  EXPECT_NE(error.find("corvath-convert --fit"), std::string::npos) << error;
  EXPECT_EQ(std::tuple(vertexCount, faceCount, shownWidth()), std::tuple(3, 1, 100.0));
  // Within them, the faces without a colour take the start colour.
  object.positions.resize(9);
  ASSERT_TRUE(placeImportedObjects({object}, packColour(1, 2, 3), 480, error)) << error;
  EXPECT_EQ(std::tuple(vertexCount, faces[0].red, faces[0].green, faces[0].blue, zoom),
            std::tuple(3, 1, 2, 3, framedZoom(480)));
}

using ModelShell = ModelTest;
TEST_F(ModelShell, SpaceSwitchesBetweenScenesAndTheFileEachAtItsOwnZoom) {
  showTriangle(100);
  send(kMouseMoveMessage, 0, (40 << 16) | 30);
  double turned[3][3];
  std::memcpy(turned, viewMatrix, sizeof turned);
  const double modelZoom = zoom *= 2;  // the user zoomed in
  send(kCommandMessage, kAnimateCommand);
  send(kTimerMessage, kAnimationTimer);
  EXPECT_TRUE(timerRunning(kAnimationTimer) && faceCount > 1);
  std::copy(modelVertices.begin(), modelVertices.begin() + vertexCount, workingVertices.begin());
  EXPECT_EQ(zoom, startUpZoom());        // the scene's own, as it was composed
  const double sceneZoom = zoom *= 1.5;  // zoomed while the scenes run: the next scene keeps it
  send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(zoom, sceneZoom);
  // Stopped, the file comes back as it now is, at the zoom it had.
  rewrite(300);
  send(kCommandMessage, kAnimateCommand);
  EXPECT_EQ(std::tuple(timerRunning(kAnimationTimer), vertexCount, faceCount, shownWidth(), zoom),
            std::tuple(false, 3, 1, 300.0, modelZoom));
  EXPECT_EQ(std::memcmp(turned, viewMatrix, sizeof turned), 0);  // as the pointer left it
}

TEST_F(ModelShell, F5ReadsTheFileAgainKeepingTheZoomAndShowsTheErrorBoxOncePerMesh) {
  folder.write("3d.asc", "Tri-mesh, Vertices: 3 Faces: 2\n" +
                             triangleText("10", "100").substr(31));  // Face 1 is missing
  prepareViewer("3d.asc", 64, 48);
  send(kCreateMessage, 1, 0);
  send(kMouseMoveMessage, 0, 5);
  EXPECT_EQ(messages, std::vector<std::string>{"Errore. 1"});
  zoom = 777;
  send(kCommandMessage, kReloadCommand);
  EXPECT_EQ(std::pair(messages.size(), zoom),
            std::pair(size_t{2}, 777.0));  // a new mesh: once more
  rewrite(200);
  send(kCommandMessage, kReloadCommand);
  EXPECT_EQ(shownWidth(), 200);
  // A file gone: the box says so, and the mesh stays.
  fs::remove("3d.asc");
  send(kCommandMessage, kReloadCommand);
  EXPECT_EQ(messages.back(), "3d.asc: No such file or directory");
  EXPECT_EQ(std::tuple(vertexCount, faceCount, zoom), std::tuple(3, 1, 777.0));
}

TEST_F(ModelShell, ADroppedFileReplacesTheMeshOnlyIfItOpens) {
  showTriangle(100);
  folder.write("broken.obj", "f 1 2 3\n");
  for (const char* bad : {"missing.asc", "broken.obj"}) {
    if (!canImportModels() && !isMeshTextFile(bad)) continue;
    noteDroppedFile(bad);
    send(kDropMessage);
    EXPECT_EQ(std::tuple(vertexCount, faceCount, modelFileName), std::tuple(3, 1, "3d.asc"));
    EXPECT_TRUE(!messages.empty() && messages.back().starts_with(std::string(bad) + ": ")) << bad;
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
  rewrite(123456);
  send(kTimerMessage, kWatchTimer);  // changed since the last look: wait for it to settle
  EXPECT_TRUE(timerRunning(kWatchTimer) && shownWidth() == 100);
  send(kTimerMessage, kWatchTimer);  // the same twice: read it
  EXPECT_EQ(shownWidth(), 123456);
  const double zoomAfter = zoom;
  send(kTimerMessage, kWatchTimer);  // nothing new: nothing read
  EXPECT_TRUE(zoom == zoomAfter && messages.empty());
}

TEST_F(ModelShell, ASaveThatFailsSaysWhichFileAndWhy) {
  showTriangle(100);
  folder.write(kPictureFileName, "old");
  fs::permissions(kPictureFileName, fs::perms::owner_read);
  send(kCommandMessage, kSaveCommand);
  EXPECT_EQ(messages, std::vector<std::string>{"3d.bmp: cannot be saved (the file is read-only)"});
  EXPECT_EQ(readFile(kPictureFileName), "old");
}

}  // namespace
}  // namespace corvath::testing
