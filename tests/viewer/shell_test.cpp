// The shell: start-up's preparation, the main window's event handler driven with raw message
// numbers as the window delivers them, and the pictures it saves.
#include <cstring>
#include <tuple>

#include "viewer/viewer_fixture.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;

int64_t clientPosition(int32_t x, int32_t y) {
  return (int64_t{y} << 16) | x;
}

// Expects a frame drawn, the last with these angles: its view matrix is theirs.
void expectDrawnWith(double angleX, double angleY, double angleZ) {
  EXPECT_TRUE(drawingSurfaceSelected);
  double drawn[3][3];
  std::memcpy(drawn, viewMatrix, sizeof drawn);
  const int32_t vertices = vertexCount, faceTotal = faceCount;
  vertexCount = faceCount = 0;  // only the matrix is wanted: the tables stay as they are
  rotateView(angleX, angleY, angleZ);
  vertexCount = vertices, faceCount = faceTotal;
  EXPECT_EQ(std::memcmp(drawn, viewMatrix, sizeof drawn), 0)
      << angleX << ", " << angleY << ", " << angleZ;
}

using ViewerPreparation = ViewerTest;
TEST_F(ViewerPreparation, ZoomFromTheExtentBeforeCentringAndCentreFromTheSurface) {
  // x from 10 to 3000 would measure 1495 after centring; from -20 to 0.4 measures 0, as no file.
  const std::tuple<std::string, int32_t, int32_t, double, double, double, int32_t> cases[] = {
      {triangleText("10", "3000"), 1366, 768, 200, 683, 384, 3},
      {triangleText("10", "600000"), 1365, 767, 1, 682.5, 383.5, 3},
      {"", 64, 48, 100, 32, 24, 0},
      {triangleText("-20", "0.4"), 64, 48, 100, 32, 24, 3}};
  for (const auto& [text, width, height, expectedZoom, centreX, centreY, vertices] : cases) {
    fs::remove("3d.asc");
    if (!text.empty()) folder.write("3d.asc", text);
    prepareViewer("3d.asc", width, height);
    EXPECT_EQ(std::tuple(zoom, screenCentreX, screenCentreY, cameraDistance, vertexCount),
              std::tuple(expectedZoom, centreX, centreY, 5000.0, vertices))
        << text;
  }
}

TEST_F(ViewerPreparation, StartColourComesFromTheTimeOfDayWithinItsRanges) {
  folder.write("3d.asc", triangleText("10", "20"));
  const auto colourAt = [](double seconds) {
    fixedClockSeconds = seconds;
    prepareViewer("3d.asc", 64, 48);
    return std::tuple(faces[0].red, faces[0].green, faces[0].blue);
  };
  int greenAbove200 = 0;
  for (int second = 0; second < 300; ++second) {
    const auto [red, green, blue] = colourAt(second * 287.125);
    EXPECT_TRUE(red <= 200 && green <= 240 && blue <= 200) << red << " " << green << " " << blue;
    greenAbove200 += green > 200;
  }
  EXPECT_GT(greenAbove200, 0);
  EXPECT_EQ(colourAt(1000.5), colourAt(1000.5));
}

using ShellMouse = ViewerTest;
TEST_F(ShellMouse, FramesTakeTheFirstAnglesThenTiltTurnTiltFromThePointerModulo360) {
  send(kCreateMessage, 1, 0);
  expectDrawnWith(210, 7, 90);
  // Position, turn, tilt. 65535 = 182 * 360 + 15.
  const std::tuple<int64_t, double, double> cases[] = {{clientPosition(400, 725), 40, 5},
                                                       {clientPosition(360, 359), 0, 359},
                                                       {0, 0, 0},
                                                       {-1, 15, 15}};
  for (const auto& [position, turn, tilt] : cases) {
    send(kMouseMoveMessage, 0, position);
    EXPECT_EQ(std::tuple(mouseTurnAngle, mouseTiltAngle), std::tuple(turn, tilt)) << position;
    expectDrawnWith(tilt, turn, tilt);
  }
}

TEST_F(ShellMouse, ButtonsHeldSinceTheLastQueryZoomInSinglePrecisionStepsDownToTheFloor) {
  // Below the floor zooming out enlarges. Both held zoom in first, then out below the floor.
  const std::tuple<bool, bool, double, double> cases[] = {
      {true, false, 100, 110.000002384185791015625},
      {false, true, 1000, 899.99997615814208984375},
      {false, true, 50, 100},
      {false, true, 100, 100},
      {true, true, 100, 100}};
  for (const auto& [left, right, from, to] : cases) {
    resetMouseButtons();
    noteMouseButton(kLeftButton, left);
    noteMouseButton(kRightButton, right);
    send(kCursorMessage);  // newly pressed: the next query finds them held
    zoom = from;
    send(kCursorMessage);
    EXPECT_EQ(zoom, to) << "left " << left << ", right " << right << ", from " << from;
  }
}

TEST_F(ShellMouse, OnlyAButtonHeldSinceTheLastQueryZooms) {
  noteMouseButton(kLeftButton, true);
  send(kCursorMessage);                                // newly pressed
  send(kMouseMoveMessage, 0, clientPosition(10, 10));  // only kCursorMessage zooms
  EXPECT_EQ(zoom, 1000);
  send(kCursorMessage);  // held
  noteMouseButton(kLeftButton, false);
  send(kCursorMessage);
  EXPECT_EQ(zoom, 1000 * static_cast<double>(1.1f));
}

using ShellTimer = ViewerTest;
TEST_F(ShellTimer, EachTickDrawsTheNextSceneAtTheKeptZoomCountingTo359) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 1"}), zoom = 1234.5;  // a mesh to replace
  send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(std::tuple(frameCounter, zoom), std::tuple(1, 1234.5));
  expectDrawnWith(0, 1, 1);
  // Committed and given normals before the frame: the scene composed by hand with this clock.
  EXPECT_TRUE(faces[0].normalLength > 0 && lightZ == -1);
  const std::vector<Vertex> committed(modelVertices.begin(), modelVertices.begin() + vertexCount);
  vertexCount = faceCount = 0;
  composeScene();
  ASSERT_EQ(std::pair(vertexCount, faceCount > 1),
            std::pair(static_cast<int32_t>(committed.size()), true));
  EXPECT_EQ(std::memcmp(committed.data(), workingVertices.data(), sizeof(Vertex) * vertexCount), 0);

  setRandomDrawSource([] { return 0.0; });  // every cell empty: both counts 0, ticks cheap
  send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(vertexCount + faceCount, 0);
  expectDrawnWith(0, 2, 2);
  for (int tick = 3; tick <= 359; ++tick) send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(frameCounter, 359);
  send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(frameCounter, 0);
}

using ShellCommand = ViewerTest;
TEST_F(ShellCommand, OtherMessagesTimersAndCommandsChangeNothing) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 1"});
  for (const uint32_t message : {0u, 5u, 15u, 274u, 513u, 1000u})
    EXPECT_EQ(send(message, kAnimationTimer, clientPosition(400, 725)), 0) << message;
  for (const uint64_t timer : {uint64_t{999}, uint64_t{1001}, (uint64_t{1} << 32) | 1000})
    send(kTimerMessage, timer);
  EXPECT_EQ(
      std::tuple(mouseTurnAngle, frameCounter, vertexCount, faceCount, drawingSurfaceSelected),
      std::tuple(0, 0, 3, 1, false));
  send(kCreateMessage, 1, 0);  // a frame a save would write
  for (const uint64_t command :
       {uint64_t{kOkCommand}, uint64_t{201}, uint64_t{200} << 16, uint64_t{kCancelCommand}})
    send(kCommandMessage, command);  // 200 << 16: 200 as the notification code, command 0
  EXPECT_FALSE(fs::exists(kPictureFileName));
}

TEST_F(ShellCommand, DestroyStopsOnlyTheFrameTimer) {
  startTimer(kAnimationTimer, 60000), startTimer(7, 60000), send(kDestroyMessage);
  EXPECT_EQ(std::pair(timerRunning(kAnimationTimer), timerRunning(7)), std::pair(false, true));
  stopTimer(7);
}

TEST_F(ShellCommand, SaveWritesTheWholeSurfaceOverALongerFileWhateverTheNotificationCode) {
  folder.write(kPictureFileName, std::string(100000, 'x')), send(kCreateMessage, 1, 0);
  // The corner beyond any visible client area belongs to the picture too, as it is now.
  drawingSurface.pixels.back() = pixelFromColour(0x123456);
  markSurfaceChanged(drawingSurface);
  send(kCommandMessage, (uint64_t{0x1234} << 16) | kSaveCommand);
  const std::vector<uint8_t> bytes = bmpBytes(drawingSurface);
  EXPECT_EQ(readFile(kPictureFileName), std::string(bytes.begin(), bytes.end()));
}

TEST_F(ShellCommand, NoPictureWithoutAFrameOrAName) {
  EXPECT_FALSE(savePicture(kPictureFileName));
  send(kCreateMessage, 1, 0);
  EXPECT_FALSE(savePicture(""));
  EXPECT_TRUE(fs::is_empty(fs::current_path()));
}

}  // namespace
}  // namespace corvath::testing
