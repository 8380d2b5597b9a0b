// Shared helpers of the converter's tests: a temporary folder, the converter run as a program,
// and faces compared by where their corners are, whatever the vertex numbering.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/convert.hpp"
#include "platform/platform.hpp"

namespace corvath::testing {

inline const std::string kConvertProgram = CORVATH_CONVERT_PROGRAM;
inline const std::string kTestData = CORVATH_TEST_DATA;

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvath-convert-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string path(const std::string& name) const { return folder_ + "/" + name; }

  void writeFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }

  std::string readFile(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // The files the folder holds, by name.
  std::vector<std::string> folderContents() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs the converter with the arguments (each quoted); returns its exit code and keeps what it
  // printed on standard error in `errors`.
  int convert(const std::string& arguments) {
    const std::string errorFile = folder_ + ".err";  // beside the folder, so it stays as it was
    const int status = std::system(
        (kConvertProgram + " " + arguments + " >/dev/null 2>'" + errorFile + "'").c_str());
    std::ifstream in(errorFile);
    errors = {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string quoted(const std::string& name) const { return "'" + path(name) + "'"; }

  std::string folder_;
  std::string errors;
};

// A face as its three corners' positions, its first corner the least, so that the same face
// listed from another corner or in another mesh compares equal; then its colour.
using FacePlace = std::array<double, 10>;

// Positions pass through 32-bit floats when `single` is set, as formats that store floats do.
inline std::vector<FacePlace> facePlaces(const std::vector<MeshObject>& objects, bool single) {
  std::vector<FacePlace> places;
  for (const MeshObject& object : objects) {
    for (size_t f = 0; f < object.faceTotal(); ++f) {
      std::array<std::array<double, 3>, 3> corners;
      for (int k = 0; k < 3; ++k) {
        for (int axis = 0; axis < 3; ++axis) {
          const double value = object.positions[3 * object.corners[3 * f + k] + axis];
          corners[k][axis] = single ? static_cast<float>(value) : value;
        }
      }
      // Turning the corners round keeps the winding.
      const auto first = std::min_element(corners.begin(), corners.end()) - corners.begin();
      std::rotate(corners.begin(), corners.begin() + first, corners.end());
      FacePlace place;
      for (int k = 0; k < 3; ++k) std::copy(corners[k].begin(), corners[k].end(), &place[3 * k]);
      place[9] = object.colours[f];
      places.push_back(place);
    }
  }
  std::sort(places.begin(), places.end());
  return places;
}

// The right-hand normal of face f of the object, in the viewer's space.
inline std::array<double, 3> faceNormal(const MeshObject& object, size_t f) {
  const double* a = &object.positions[3 * object.corners[3 * f]];
  const double* b = &object.positions[3 * object.corners[3 * f + 1]];
  const double* c = &object.positions[3 * object.corners[3 * f + 2]];
  const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

}  // namespace corvath::testing
