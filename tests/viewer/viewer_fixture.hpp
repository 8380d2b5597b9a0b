// The viewer's tests start alike: an empty mesh, a small surface, fresh globals, a fixed clock,
// message boxes recorded, a temporary folder as the current one.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scene/scene.hpp"
#include "support/mesh_fixture.hpp"
#include "viewer/viewer.hpp"
#include "window/window.hpp"

namespace corvath::testing {

inline int32_t send(uint32_t message, uint64_t first = 0, int64_t second = 0) {
  return handleMainWindowMessage(1, message, first, second);
}

// One triangle, (left, 0, 0), (right, 0, 0) and (left, left, 0), as a mesh file holds it.
inline std::string triangleText(const std::string& left, const std::string& right,
                                const std::string& colour = "") {
  return "Tri-mesh, Vertices: 3 Faces: 1\nVertex 0: X: " + left +
         " Y: 0 Z: 0\nVertex 1: X: " + right + " Y: 0 Z: 0\nVertex 2: X: " + left + " Y: " + left +
         " Z: 0\nFace 0: A:0 B:1 C:2" + colour + "\n";
}

inline double fixedClockSeconds = 43200.25;

class ViewerTest : public ::testing::Test {
 protected:
  ViewerTest() {
    resetMeshState(), resetMouseButtons(), setLightDirection(0, 0, 1);
    createSurface(drawingSurface, 64, 48, kButtonFaceColour);
    drawingSurfaceSelected = watchModelFile = false;
    frameCounter = mouseTiltAngle = mouseTurnAngle = 0;
    zoom = 1000, cameraDistance = 5000, screenCentreX = 32, screenCentreY = 24,
    fixedClockSeconds = 43200.25;
    setTimeOfDayClock([] { return fixedClockSeconds; });
    setMessageBoxFunction([this](const std::string& text) { messages.push_back(text); });
    std::filesystem::current_path(folder.path());
  }
  ~ViewerTest() override {
    send(kDestroyMessage), pictureFileName = kPictureFileName;  // the message stops the timers
    setMessageBoxFunction(nullptr), setTimeOfDayClock(nullptr), setRandomDrawSource(nullptr);
    std::filesystem::current_path(previous_);
  }

  const std::filesystem::path previous_ = std::filesystem::current_path();
  TemporaryFolder folder;
  std::vector<std::string> messages;
};

}  // namespace corvath::testing
