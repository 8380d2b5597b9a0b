// Mesh text into other programs' formats and back: the same faces, corners and colours.
#include "convert_fixture.hpp"

namespace corvath {
namespace {

using testing::ConvertTest;
using testing::facePlaces;

// A lopsided tent of five faces in four colours, with coordinates no float holds exactly (within
// the range where the OBJ reader's decimal conversion is exact for floats):
//        3
//       /|\        faces 0 1 2, 0 2 3, 1 3 4 (red, green, blue),
//      0-+-2             2 4 3 (0x123456), 4 1 0 (red)
//       \|/
//      1-4
MeshObject tent() {
  MeshObject object;
  object.name = "Zelt";
  object.positions = {0.1, -2.5,    3e3, 1234.5678, 0,      -0.001, -7.25, 1e-3,
                      42,  1.0 / 3, 9.5, -1e5,      6.02e7, 1e-30,  17};
  object.corners = {0, 1, 2, 0, 2, 3, 1, 3, 4, 2, 4, 3, 4, 1, 0};
  object.colours = {255, 65280, 16711680, 0x123456, 255};
  return object;
}

// Exports, writes every file, and reads the main one back.
std::vector<MeshObject> throughFormat(const std::vector<MeshObject>& objects,
                                      const std::string& output) {
  std::vector<OutputFile> files;
  std::string error;
  EXPECT_TRUE(exportMeshes(objects, output, files, error)) << output << ": " << error;
  for (const OutputFile& file : files) {
    std::ofstream(file.path, std::ios::binary) << file.bytes;
  }
  std::vector<MeshObject> back;
  EXPECT_TRUE(importScene(output, back, error)) << output << ": " << error;
  return back;
}

TEST_F(ConvertTest, RoundTripsKeepFacesAndColours) {
  // Through mesh text first, as the converter reads it; the formats store 32-bit floats.
  writeFile("zelt.asc", meshText({tent()}));
  std::vector<MeshObject> source;
  std::string error;
  ASSERT_TRUE(readMeshText(path("zelt.asc"), source, error)) << error;
  const auto expected = facePlaces(source, true);
  for (const char* name : {"zelt.obj", "zelt.ply", "zelt.glb", "zelt.gltf"}) {
    EXPECT_EQ(facePlaces(throughFormat(source, path(name)), false), expected) << name;
  }
  // STL keeps no colours.
  auto uncoloured = source;
  for (int32_t& colour : uncoloured[0].colours) colour = kNoColour;
  EXPECT_EQ(facePlaces(throughFormat(source, path("zelt.stl")), false),
            facePlaces(uncoloured, true));
}

TEST_F(ConvertTest, FacesWithoutColourStayWithoutColour) {
  auto plain = tent();
  plain.colours.assign(plain.faceTotal(), kNoColour);
  for (const char* name : {"plain.obj", "plain.ply", "plain.glb"}) {
    for (const MeshObject& object : throughFormat({plain}, path(name))) {
      for (int32_t colour : object.colours) EXPECT_EQ(colour, kNoColour) << name;
    }
  }
}

TEST_F(ConvertTest, ObjNamesItsMaterialLibraryAfterItself) {
  std::vector<OutputFile> files;
  std::string error;
  ASSERT_TRUE(exportMeshes({tent()}, path("zelt.obj"), files, error)) << error;
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path, path("zelt.mtl"));
  EXPECT_NE(files[0].bytes.find("Kd 1 0 0"), std::string::npos);
  EXPECT_EQ(files[1].path, path("zelt.obj"));
  EXPECT_NE(files[1].bytes.find("mtllib zelt.mtl\n"), std::string::npos);
}

TEST(PlyBytes, FaceColoursFollowTheCornerList) {
  const std::string bytes = plyBytes({tent()});
  const size_t faceElement = bytes.find("element face 5\n");
  ASSERT_NE(faceElement, std::string::npos);
  EXPECT_NE(bytes.find("property list uchar uint vertex_indices\nproperty uchar red\n"),
            faceElement);
  // The last face (4 1 0, red): a corner count, three indices, then red, green, blue.
  const std::string lastFace = bytes.substr(bytes.size() - 16);
  EXPECT_EQ(lastFace[0], 3);
  EXPECT_EQ(lastFace.substr(13), std::string("\xff\0\0", 3));
}

TEST(ExportMeshes, UnknownExtensionIsRefused) {
  std::vector<OutputFile> files;
  std::string error;
  EXPECT_FALSE(exportMeshes({tent()}, "/tmp/zelt.unknownformat", files, error));
  EXPECT_NE(error.find(".unknownformat"), std::string::npos);
  EXPECT_TRUE(files.empty());
}

}  // namespace
}  // namespace corvath
