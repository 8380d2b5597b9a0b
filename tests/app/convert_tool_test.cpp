// corvath-convert as a program: bad input refused without leaving a file, and a mesh too large
// for the viewer refused, or simplified with --fit until the viewer reads all of it.
#include <cmath>
#include <cstring>

#include "convert_fixture.hpp"
#include "mesh/mesh.hpp"

namespace corvath {
namespace {

using testing::ConvertTest;
using testing::kTestData;

// A wavy square of side x side vertices, two triangles per cell, as binary PLY with corner
// colours: the left half red, the right half blue.
std::string wavyGrid(int side) {
  std::string header = "ply\nformat binary_little_endian 1.0\nelement vertex " +
                       std::to_string(side * side) +
                       "\nproperty float x\nproperty float y\nproperty float z\n"
                       "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                       "element face " +
                       std::to_string(2 * (side - 1) * (side - 1)) +
                       "\nproperty list uchar int vertex_indices\nend_header\n";
  std::string bytes = header;
  bytes.reserve(header.size() + 15 * size_t(side) * side + 26 * size_t(side - 1) * (side - 1));
  const auto put = [&bytes](const void* data, size_t size) {
    bytes.append(static_cast<const char*>(data), size);
  };
  for (int row = 0; row < side; ++row) {
    for (int column = 0; column < side; ++column) {
      const float position[3] = {
          static_cast<float>(column), static_cast<float>(row),
          static_cast<float>(20 * std::sin(column / 50.0) * std::cos(row / 70.0))};
      put(position, sizeof position);
      const uint8_t colour[3] = {uint8_t(column < side / 2 ? 255 : 0), 0,
                                 uint8_t(column < side / 2 ? 0 : 255)};
      put(colour, sizeof colour);
    }
  }
  for (int row = 0; row + 1 < side; ++row) {
    for (int column = 0; column + 1 < side; ++column) {
      const int32_t v = row * side + column;
      const int32_t cells[2][3] = {{v, v + 1, v + side + 1}, {v, v + side + 1, v + side}};
      for (const auto& cell : cells) {
        bytes.push_back(3);
        put(cell, sizeof cell);
      }
    }
  }
  return bytes;
}

TEST_F(ConvertTest, BadInputLeavesNoFile) {
  // A binary STL that announces 6 triangles and stops inside the second.
  std::ifstream in(kTestData + "/pyramid_binary.stl", std::ios::binary);
  const std::string pyramid{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  writeFile("truncated.stl", pyramid.substr(0, 84 + 50 + 20));
  writeFile("empty.obj", "");
  writeFile("model.xyz", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  std::filesystem::create_directory(path("folder.obj"));
  for (const char* input : {"truncated.stl", "empty.obj", "model.xyz", "folder.obj", "none.obj"}) {
    EXPECT_EQ(convert(quoted(input) + " " + quoted("out.asc")), 1) << input;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << input << ": " << errors;
    EXPECT_EQ(errors.rfind("corvath-convert: ", 0), 0u) << errors;
    EXPECT_FALSE(std::filesystem::exists(path("out.asc"))) << input;
  }
  // Nothing but the inputs: no temporary file either.
  EXPECT_EQ(folderContents(),
            (std::vector<std::string>{"empty.obj", "folder.obj", "model.xyz", "truncated.stl"}));
}

TEST_F(ConvertTest, ConvertsAndOverwritesWhole) {
  writeFile("cube.asc", "an older file\n");
  EXPECT_EQ(convert(quoted("cube.asc")), 2);  // one name: the usage
  EXPECT_EQ(convert("'" + kTestData + "/cube.obj' " + quoted("cube.asc")), 0) << errors;
  EXPECT_NE(readFile("cube.asc").find("Face 5:    A:"), std::string::npos);
  EXPECT_EQ(convert(quoted("cube.asc") + " " + quoted("cube.glb")), 0) << errors;
  EXPECT_EQ(folderContents(), (std::vector<std::string>{"cube.asc", "cube.glb"}));
}

TEST(ConvertFormats, BothListsNameTheCommonFormats) {
  const auto has = [](const std::vector<std::pair<std::string, std::string>>& formats,
                      const std::string& extension) {
    return std::any_of(formats.begin(), formats.end(),
                       [&](const auto& format) { return format.first == extension; });
  };
  for (const char* extension : {"asc", "obj", "stl", "ply", "glb", "gltf", "dae", "fbx"}) {
    EXPECT_TRUE(has(importFormats(), extension)) << extension;
  }
  for (const char* extension : {"asc", "obj", "stl", "ply", "glb"}) {
    EXPECT_TRUE(has(exportFormats(), extension)) << extension;
  }
  EXPECT_FALSE(has(exportFormats(), "blend"));
}

TEST_F(ConvertTest, TooLargeForTheViewerIsRefusedOrFitted) {
  // 1001 x 1001 vertices, 2,000,000 triangles: about 3,000,000 lines of mesh text.
  writeFile("wavy.ply", wavyGrid(1001));
  EXPECT_EQ(convert(quoted("wavy.ply") + " " + quoted("wavy.asc")), 1);
  EXPECT_NE(errors.find("2000000 faces"), std::string::npos) << errors;
  EXPECT_NE(errors.find("faces would fit"), std::string::npos) << errors;
  EXPECT_FALSE(std::filesystem::exists(path("wavy.asc")));

  EXPECT_EQ(convert("--fit " + quoted("wavy.ply") + " " + quoted("wavy.asc")), 0) << errors;
  // The viewer's own reader takes every line and every announced face.
  vertexCount = 0;
  faceCount = 0;
  loadMeshFile(path("wavy.asc"), 0, 0, 0, 0);
  const std::string text = readFile("wavy.asc");
  const auto lines = std::count(text.begin(), text.end(), '\n');
  EXPECT_LE(lines, kViewerLines);
  EXPECT_EQ(lastLineIndex, lines);
  const size_t announced = text.find("Faces: ");
  ASSERT_NE(announced, std::string::npos);
  EXPECT_EQ(faceCount, std::stoi(text.substr(announced + 7)));
  EXPECT_GT(faceCount, 500000);  // most of the budget used
  // Both colours survive, on the sides they were on (x runs 0 to 1000 in the file).
  int32_t redLeft = 0, blueRight = 0;
  for (int32_t f = 0; f < faceCount; ++f) {
    const double x = workingVertices[faces[f].a].x;
    redLeft += faces[f].red == 255 && faces[f].blue == 0 && x < 499;
    blueRight += faces[f].blue == 255 && faces[f].red == 0 && x > 501;
  }
  EXPECT_GT(redLeft, faceCount / 4);
  EXPECT_GT(blueRight, faceCount / 4);
}

}  // namespace
}  // namespace corvath
