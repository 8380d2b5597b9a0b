// The main window's event handler driven with raw message numbers, as the window delivers them.
#include <cmath>

#include "app_fixture.hpp"

namespace corvath::testing {
namespace {

int32_t send(uint32_t message, uint64_t first = 0, int64_t second = 0) {
  return handleMainWindowMessage(1, message, first, second);
}

int64_t clientPosition(int32_t x, int32_t y) {
  return (int64_t{y} << 16) | x;
}

// Presses a button and lets the first query see it as newly pressed, so the next kCursorMessage
// finds it held.
void holdButton(int32_t button) {
  noteMouseButton(button, true);
  send(kCursorMessage);
}

using ShellMouse = ShellTest;

TEST_F(ShellMouse, PointerPositionGivesAnglesModulo360) {
  send(kMouseMoveMessage, 0, clientPosition(400, 725));
  EXPECT_EQ(mouseTurnAngle, 40);
  EXPECT_EQ(mouseTiltAngle, 5);

  send(kMouseMoveMessage, 0, clientPosition(360, 359));
  EXPECT_EQ(mouseTurnAngle, 0);
  EXPECT_EQ(mouseTiltAngle, 359);

  send(kMouseMoveMessage, 0, clientPosition(0, 0));
  EXPECT_EQ(mouseTurnAngle, 0);
  EXPECT_EQ(mouseTiltAngle, 0);
}

TEST_F(ShellMouse, PositionHalvesReadAsUnsigned) {
  // 65535 = 182 * 360 + 15; bits above the low 32 are not part of the position.
  send(kMouseMoveMessage, 0, int64_t{-1});
  EXPECT_EQ(mouseTurnAngle, 15);
  EXPECT_EQ(mouseTiltAngle, 15);
}

TEST_F(ShellMouse, MovementDrawsTiltTurnTilt) {
  send(kMouseMoveMessage, 0, clientPosition(400, 725));
  EXPECT_TRUE(drawingSurfaceSelected);
  const Rotation drawn = currentRotation();
  EXPECT_EQ(drawn, rotationFor(5, 40, 5));
}

TEST_F(ShellMouse, InitialisationDrawsTheFirstFrame) {
  send(kCreateMessage, 1, 0);
  EXPECT_TRUE(drawingSurfaceSelected);
  const Rotation drawn = currentRotation();
  EXPECT_EQ(drawn, rotationFor(210, 7, 90));
}

TEST_F(ShellMouse, RightButtonZoomsOutInSinglePrecisionSteps) {
  holdButton(kRightButton);
  zoom = 1000;
  send(kCursorMessage);
  EXPECT_EQ(zoom, 899.99997615814208984375);
}

TEST_F(ShellMouse, ZoomOutStopsAtTheFloor) {
  holdButton(kRightButton);
  zoom = 50;  // below the floor after a large mesh: zooming out enlarges the picture
  send(kCursorMessage);
  EXPECT_EQ(zoom, 100);
  send(kCursorMessage);
  EXPECT_EQ(zoom, 100);
}

TEST_F(ShellMouse, LeftButtonZoomsIn) {
  holdButton(kLeftButton);
  zoom = 100;
  send(kCursorMessage);
  EXPECT_EQ(zoom, 110.000002384185791015625);
}

TEST_F(ShellMouse, BothButtonsZoomInThenOut) {
  holdButton(kLeftButton);
  holdButton(kRightButton);
  zoom = 100;
  send(kCursorMessage);
  // In first: 100 * 1.1f, then * 0.9f falls below the floor of 100. Out first would give
  // 110.0000024 (the floor, then 100 * 1.1f).
  EXPECT_EQ(zoom, 100);
}

TEST_F(ShellMouse, NewlyPressedButtonLeavesZoom) {
  zoom = 1000;
  noteMouseButton(kLeftButton, true);
  send(kCursorMessage);  // the query reports -32767: newly pressed
  EXPECT_EQ(zoom, 1000);
  send(kCursorMessage);  // from now on -32768: held
  EXPECT_EQ(zoom, 1000 * static_cast<double>(1.1f));
}

TEST_F(ShellMouse, ReleasedButtonsLeaveZoomAndMovementDoesNotZoom) {
  holdButton(kLeftButton);
  noteMouseButton(kLeftButton, false);
  zoom = 1000;
  send(kCursorMessage);
  EXPECT_EQ(zoom, 1000);
  holdButton(kRightButton);
  send(kMouseMoveMessage, 0, clientPosition(10, 10));  // only kCursorMessage zooms
  EXPECT_EQ(zoom, 1000);
}

using ShellTimer = ShellTest;

TEST_F(ShellTimer, OtherTimerIdentifiersAreIgnored) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 10 Y: 0 Z: 0", "Vertex 2: X: 0 Y: 10 Z: 0",
             "Face 0: A:0 B:1 C:2 colore: 255"});
  for (uint64_t identifier : {uint64_t{999}, uint64_t{1001}, (uint64_t{1} << 32) | 1000}) {
    send(kTimerMessage, identifier);
    EXPECT_EQ(frameCounter, 0);
    EXPECT_EQ(vertexCount, 3);
    EXPECT_EQ(faceCount, 1);
    EXPECT_FALSE(drawingSurfaceSelected);
  }
}

TEST_F(ShellTimer, TickReplacesTheMeshWithTheSceneAndKeepsZoom) {
  parseText({"Tri-mesh, Vertices: 3 Faces: 1", "Vertex 0: X: 0 Y: 0 Z: 0",
             "Vertex 1: X: 10 Y: 0 Z: 0", "Vertex 2: X: 0 Y: 10 Z: 0",
             "Face 0: A:0 B:1 C:2 colore: 255"});
  zoom = 1234.5;
  send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(frameCounter, 1);
  EXPECT_EQ(zoom, 1234.5);
  const Rotation drawn = currentRotation();
  EXPECT_EQ(drawn, rotationFor(0, 1, 1));
  // The mesh was committed and given normals before the frame.
  EXPECT_GT(faces[0].normalLength, 0);
  EXPECT_EQ(lightZ, -1);
  const std::vector<Vertex> committed(modelVertices.begin(), modelVertices.begin() + vertexCount);

  // The same scene built by hand from an emptied mesh, with the same clock.
  vertexCount = 0;
  faceCount = 0;
  composeScene();
  ASSERT_EQ(vertexCount, static_cast<int32_t>(committed.size()));
  EXPECT_GT(faceCount, 1);
  for (int32_t i = 0; i < vertexCount; ++i) {
    ASSERT_EQ(committed[i].x, workingVertices[i].x) << i;
    ASSERT_EQ(committed[i].y, workingVertices[i].y) << i;
    ASSERT_EQ(committed[i].z, workingVertices[i].z) << i;
  }
}

TEST_F(ShellTimer, TickAcceptsAnEmptyScene) {
  // A scene with every cell empty leaves both counts at 0; the frame shows only the background.
  setRandomDrawSource([] { return 0.0; });
  send(kTimerMessage, kAnimationTimer);
  setRandomDrawSource(nullptr);
  EXPECT_EQ(vertexCount, 0);
  EXPECT_EQ(faceCount, 0);
  EXPECT_TRUE(drawingSurfaceSelected);
}

TEST_F(ShellTimer, CounterWrapsAfter360Ticks) {
  setRandomDrawSource([] { return 0.0; });  // empty scenes keep the ticks cheap
  for (int tick = 1; tick <= 359; ++tick) send(kTimerMessage, kAnimationTimer);
  EXPECT_EQ(frameCounter, 359);
  send(kTimerMessage, kAnimationTimer);
  setRandomDrawSource(nullptr);
  EXPECT_EQ(frameCounter, 0);
  const Rotation drawn = currentRotation();
  EXPECT_EQ(drawn, rotationFor(0, 0, 0));
}

using ShellCommand = ShellTest;

TEST_F(ShellCommand, SaveCommandWritesThePictureWhateverTheNotificationCode) {
  send(kCreateMessage, 1, 0);
  send(kCommandMessage, (uint64_t{0x1234} << 16) | kSaveCommand);
  const std::vector<uint8_t> bytes = readBytes(kPictureFileName);
  ASSERT_EQ(bytes.size(), kPictureSize);
  EXPECT_EQ(bytes, bmpBytes(drawingSurface));
}

TEST_F(ShellCommand, OtherCommandsDoNothing) {
  send(kCreateMessage, 1, 0);
  send(kCommandMessage, kOkCommand);
  send(kCommandMessage, 201);
  send(kCommandMessage, uint64_t{200} << 16);  // 200 as the notification code, command 0
  EXPECT_FALSE(std::filesystem::exists(kPictureFileName));
  // Without a window, closing and the destroy message are harmless.
  send(kCommandMessage, kCancelCommand);
  send(kDestroyMessage);
}

TEST_F(ShellCommand, DestroyStopsOnlyTheFrameTimer) {
  startTimer(kAnimationTimer, 60000);
  startTimer(7, 60000);
  ASSERT_TRUE(timerRunning(kAnimationTimer));
  send(kDestroyMessage);
  EXPECT_FALSE(timerRunning(kAnimationTimer));
  EXPECT_TRUE(timerRunning(7));
  stopTimer(7);
}

TEST_F(ShellCommand, UnknownMessagesChangeNothing) {
  zoom = 1000;
  for (uint32_t message : {0u, 5u, 15u, 274u, 513u, 1000u}) {
    EXPECT_EQ(send(message, kAnimationTimer, clientPosition(400, 725)), 0);
  }
  EXPECT_EQ(mouseTurnAngle, 0);
  EXPECT_EQ(frameCounter, 0);
  EXPECT_FALSE(drawingSurfaceSelected);
}

}  // namespace
}  // namespace corvath::testing
