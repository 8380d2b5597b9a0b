// Reading other programs' files: triangle counts, outward sides, node transforms and colours.
#include "convert_fixture.hpp"

namespace corvath {
namespace {

using testing::ConvertTest;
using testing::faceNormal;
using testing::kTestData;

size_t faceSum(const std::vector<MeshObject>& objects) {
  size_t sum = 0;
  for (const MeshObject& object : objects) sum += object.faceTotal();
  return sum;
}

std::vector<MeshObject> imported(const std::string& path) {
  std::vector<MeshObject> objects;
  std::string error;
  EXPECT_TRUE(importScene(path, objects, error)) << path << ": " << error;
  return objects;
}

TEST(ImportScene, FaceCountsAreTheTriangleCounts) {
  EXPECT_EQ(faceSum(imported(kTestData + "/cube.obj")), 12u);  // 6 quads
  EXPECT_EQ(faceSum(imported(kTestData + "/tetra_ascii.stl")), 4u);
  EXPECT_EQ(faceSum(imported(kTestData + "/pyramid_binary.stl")), 6u);
  EXPECT_EQ(faceSum(imported(kTestData + "/wedge.ply")), 8u);  // 2 triangles, 3 quads
}

TEST(ImportScene, SharedCornersBecomeOneVertex) {
  EXPECT_EQ(imported(kTestData + "/tetra_ascii.stl")[0].vertexTotal(), 4u);
  EXPECT_EQ(imported(kTestData + "/pyramid_binary.stl")[0].vertexTotal(), 5u);
}

TEST(ImportScene, OutwardFacesStayOutward) {
  // Every face of these solids is wound outward in its file. In the viewer's space the face is
  // seen from outside when its right-hand normal points away from the solid's inside.
  for (const char* name : {"cube.obj", "tetra_ascii.stl", "pyramid_binary.stl", "wedge.ply"}) {
    const std::vector<MeshObject> objects = imported(kTestData + "/" + name);
    double inside[3] = {0, 0, 0};
    size_t vertexSum = 0;
    for (const MeshObject& object : objects) {
      for (size_t i = 0; i < object.positions.size(); ++i) inside[i % 3] += object.positions[i];
      vertexSum += object.vertexTotal();
    }
    for (double& axis : inside) axis /= static_cast<double>(vertexSum);
    for (const MeshObject& object : objects) {
      for (size_t f = 0; f < object.faceTotal(); ++f) {
        const auto normal = faceNormal(object, f);
        const double* a = &object.positions[3 * object.corners[3 * f]];
        double outward = 0;
        for (int axis = 0; axis < 3; ++axis) outward += normal[axis] * (a[axis] - inside[axis]);
        EXPECT_GT(outward, 0) << name << " face " << f;
      }
    }
  }
}

TEST(ImportScene, YUpBecomesYDownAndTheFrontFacesTheViewer) {
  // The cube's face z = 1 looks at a y-up program's camera on +z. The viewer looks along +z
  // with y down, so that face must come out at z = -1, its normal toward the viewer (z < 0),
  // and the cube's top (y = 1) at y = -1, up on the screen.
  const std::vector<MeshObject> objects = imported(kTestData + "/cube.obj");
  size_t frontFaces = 0;
  for (const MeshObject& object : objects) {
    for (size_t f = 0; f < object.faceTotal(); ++f) {
      const double* a = &object.positions[3 * object.corners[3 * f]];
      const auto normal = faceNormal(object, f);
      if (normal[2] < 0) {
        ++frontFaces;
        EXPECT_EQ(a[2], -1);
      }
    }
    for (size_t v = 0; v < object.vertexTotal(); ++v) {
      EXPECT_LE(object.positions[3 * v + 1], 0);
      EXPECT_LE(object.positions[3 * v + 2], 0);
    }
  }
  EXPECT_EQ(frontFaces, 2u);
}

TEST_F(ConvertTest, NodeTransformsPlaceAndMirrorMeshes) {
  // Two objects with the same triangle facing +z: one moved by (10, 20, 30), one mirrored in x.
  // Mirroring must not turn the face's seen side away.
  const std::string triangle =
      "numvert 3\n0 0 0\n1 0 0\n0 1 0\nnumsurf 1\nSURF 0x10\nmat 0\nrefs 3\n0 0 0\n1 0 0\n2 0 0\n"
      "kids 0\n";
  writeFile("placed.ac",
            "AC3Db\nMATERIAL \"gruen\" rgb 0 1 0  amb 0 0 0  emis 0 0 0  spec 0 0 0  shi 1  trans "
            "0\nOBJECT world\nkids 2\nOBJECT poly\nname \"moved\"\nloc 10 20 30\n" +
                triangle + "OBJECT poly\nname \"mirrored\"\nrot -1 0 0 0 1 0 0 0 1\n" + triangle);
  const std::vector<MeshObject> objects = imported(path("placed.ac"));
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].name, "moved");
  EXPECT_EQ(objects[0].positions, (std::vector<double>{10, -20, -30, 11, -20, -30, 10, -21, -30}));
  EXPECT_EQ(objects[1].name, "mirrored");
  for (const MeshObject& object : objects) {
    EXPECT_LT(faceNormal(object, 0)[2], 0) << object.name;
    EXPECT_EQ(object.colours, (std::vector<int32_t>{65280}));
  }
}

TEST(ImportScene, ColoursFromCornersElseMaterialElseNone) {
  // wedge.ply: corner colours red, green, blue, yellow, cyan, magenta; face 0 is corners 0, 2, 1,
  // whose mean is (85, 85, 85).
  const std::vector<MeshObject> wedge = imported(kTestData + "/wedge.ply");
  EXPECT_EQ(wedge[0].colours[0], 85 + 256 * 85 + 65536 * 85);
  // cube.obj: materials red and blue, three quads each.
  std::map<int32_t, int> cubeColours;
  for (const MeshObject& object : imported(kTestData + "/cube.obj")) {
    for (int32_t colour : object.colours) ++cubeColours[colour];
  }
  EXPECT_EQ(cubeColours, (std::map<int32_t, int>{{255, 6}, {16711680, 6}}));
  // STL has no colours: the reader's stand-in material is none.
  const std::vector<MeshObject> tetra = imported(kTestData + "/tetra_ascii.stl");
  EXPECT_EQ(tetra[0].colours, std::vector<int32_t>(4, kNoColour));
}

TEST_F(ConvertTest, UnreadableFilesSayWhy) {
  std::vector<MeshObject> objects;
  std::string error;
  writeFile("empty.obj", "");
  EXPECT_FALSE(importScene(path("empty.obj"), objects, error));
  EXPECT_EQ(error, "is empty");
  EXPECT_FALSE(importScene(folder_, objects, error));
  EXPECT_EQ(error, "is a folder, not a file");
  writeFile("lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n");
  EXPECT_FALSE(importScene(path("lines.obj"), objects, error));
  EXPECT_EQ(error, "holds no triangles");
  writeFile("cube.xyz", "v 0 0 0\n");
  EXPECT_FALSE(importScene(path("cube.xyz"), objects, error));
  EXPECT_NE(error.find("unknown format .xyz"), std::string::npos);
  EXPECT_TRUE(objects.empty());
}

}  // namespace
}  // namespace corvath
