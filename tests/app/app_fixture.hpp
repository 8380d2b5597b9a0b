// Shared fixture of the shell tests: an empty mesh, a small drawing surface, fresh globals and a
// temporary working directory for the files the shell reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app.hpp"
#include "platform/platform.hpp"
#include "scene/scene.hpp"
#include "support/mesh_fixture.hpp"
#include "view/view.hpp"

namespace corvath::testing {

inline double fixedClockSeconds = 43200.25;
inline double fixedClock() {
  return fixedClockSeconds;
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class ShellTest : public ::testing::Test {
 protected:
  static constexpr int32_t kWidth = 64;
  static constexpr int32_t kHeight = 48;
  // 64 pixels of 3 bytes need no padding: 54 + 192 * 48.
  static constexpr size_t kPictureSize = 9270;

  void SetUp() override {
    resetMeshState();
    createSurface(drawingSurface, kWidth, kHeight, kButtonFaceColour);
    drawingSurfaceSelected = false;
    resetMouseButtons();
    frameCounter = 0;
    mouseTiltAngle = 0;
    mouseTurnAngle = 0;
    zoom = 1000;
    cameraDistance = 5000;
    screenCentreX = kWidth / 2.0;
    screenCentreY = kHeight / 2.0;
    setLightDirection(0, 0, 1);
    fixedClockSeconds = 43200.25;
    setTimeOfDayClock(fixedClock);

    char pattern[] = "/tmp/corvath-app-XXXXXX";
    directory_ = mkdtemp(pattern);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(directory_);
  }

  void TearDown() override {
    setTimeOfDayClock(nullptr);
    setRandomDrawSource(nullptr);
    std::filesystem::current_path(previous_);
    std::filesystem::permissions(directory_, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(directory_);
  }

  std::filesystem::path directory_;
  std::filesystem::path previous_;
};

// The view matrix a frame with these angles leaves behind, for comparing with a drawn frame.
struct Rotation {
  double m[3][3];
  bool operator==(const Rotation& other) const {
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        if (m[r][c] != other.m[r][c]) return false;
      }
    }
    return true;
  }
};

inline Rotation currentRotation() {
  Rotation rotation{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) rotation.m[r][c] = viewMatrix[r][c];
  }
  return rotation;
}

inline Rotation rotationFor(double angleX, double angleY, double angleZ) {
  const int32_t vertices = vertexCount;
  const int32_t faceTotal = faceCount;
  // Only the matrix is wanted: an empty mesh keeps the tables as they are.
  vertexCount = 0;
  faceCount = 0;
  rotateView(angleX, angleY, angleZ);
  vertexCount = vertices;
  faceCount = faceTotal;
  return currentRotation();
}

}  // namespace corvath::testing
