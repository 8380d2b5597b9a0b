// The converter: other programs' files read and written, mesh text for the viewer, and
// corvath-convert as a program, which leaves no file behind when it fails.
#include "import/import.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "mesh/mesh.hpp"
#include "support/temp_folder.hpp"

namespace corvath {
namespace {

const std::string kTestData = CORVATH_TEST_DATA "/";
const char* const kSolids[] = {"cube.obj", "tetra_ascii.stl", "pyramid_binary.stl", "wedge.ply"};

class ConvertTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return folder.file(name); }
  // Runs the converter on names in the folder (or options, or absolute paths); keeps its errors.
  int convert(std::initializer_list<std::string> arguments) {
    std::string command = CORVATH_CONVERT_PROGRAM;
    for (const std::string& argument : arguments)
      command +=
          " '" + (argument[0] == '-' || argument[0] == '/' ? argument : path(argument)) + "'";
    const std::string errorFile = folder.path().string() + ".err";  // outside the folder
    const int status = std::system((command + " >/dev/null 2>'" + errorFile + "'").c_str());
    errors = testing::readFile(errorFile);
    std::filesystem::remove(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The program's failure: exit 1 and one line naming the subject.
  void expectRefused(std::initializer_list<std::string> arguments, const std::string& subject,
                     const std::string& reason = "") {
    EXPECT_EQ(convert(arguments), 1) << subject;
    EXPECT_TRUE(errors.starts_with("corvath-convert: " + subject + ": " + reason)) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }

  corvath::testing::TemporaryFolder folder;
  std::string errors;
};
using ImportScene = ConvertTest;
using MeshText = ConvertTest;
using ConvertTool = ConvertTest;

// Each face as its corner positions, least first (keeping the winding), and its colour, sorted:
// the same faces in any numbering compare equal. `single`: positions as 32-bit floats.
using FacePlace = std::pair<std::array<std::array<double, 3>, 3>, int32_t>;
std::vector<FacePlace> facePlaces(const std::vector<MeshObject>& objects, bool single = false) {
  std::vector<FacePlace> places;
  for (const MeshObject& object : objects) {
    for (size_t f = 0; f < object.faceTotal(); ++f) {
      auto& [corners, colour] = places.emplace_back();
      for (int k = 0; k < 9; ++k) {
        const double value = object.positions[3 * object.corners[3 * f + k / 3] + k % 3];
        corners[k / 3][k % 3] = single ? static_cast<float>(value) : value;
      }
      std::rotate(corners.begin(), std::min_element(corners.begin(), corners.end()), corners.end());
      colour = object.colours[f];
    }
  }
  std::sort(places.begin(), places.end());
  return places;
}

// Positive where face f's corners run counter-clockwise seen from `from`.
double facing(const MeshObject& object, size_t f, const std::array<double, 3>& from) {
  const double* a = &object.positions[3 * object.corners[3 * f]];
  const double* b = &object.positions[3 * object.corners[3 * f + 1]];
  const double* c = &object.positions[3 * object.corners[3 * f + 2]];
  const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
  return (u[1] * v[2] - u[2] * v[1]) * (from[0] - a[0]) +
         (u[2] * v[0] - u[0] * v[2]) * (from[1] - a[1]) +
         (u[0] * v[1] - u[1] * v[0]) * (from[2] - a[2]);
}

std::vector<MeshObject> imported(const std::string& path) {
  std::vector<MeshObject> objects;
  std::string error;
  EXPECT_TRUE(importScene(path, objects, error)) << path << ": " << error;
  return objects;
}

// Five faces in four colours, or none, at coordinates no float holds exactly.
MeshObject tent(bool coloured = true) {
  MeshObject object{"Zelt",
                    {0.1, -2.5, 3e3, 1234.5678, 0, -0.001, -7.25, 1e-3, 42, 1.0 / 3, 9.5, -1e5,
                     6.02e7, 1e-30, 17},
                    {0, 1, 2, 0, 2, 3, 1, 3, 4, 2, 4, 3, 4, 1, 0},
                    {255, 65280, 16711680, 0x123456, 255}};
  if (!coloured) object.colours.assign(5, kNoColour);
  return object;
}

TEST_F(ImportScene, SolidsKeepTheirTrianglesSharedCornersAndOutwardSides) {
  // Quads as two triangles, corners at one place one vertex, normals pointing away from inside.
  const std::pair<int64_t, int64_t> counts[] = {{12, 16}, {4, 4}, {6, 5}, {8, 6}};
  for (size_t i = 0; i < std::size(kSolids); ++i) {
    SCOPED_TRACE(kSolids[i]);
    const std::vector<MeshObject> objects = imported(kTestData + kSolids[i]);
    EXPECT_EQ(std::pair(faceSum(objects), vertexSum(objects)), counts[i]);
    std::array<double, 3> inside = {0, 0, 0};
    for (const MeshObject& object : objects) {
      for (size_t k = 0; k < object.positions.size(); ++k)
        inside[k % 3] += object.positions[k] / static_cast<double>(vertexSum(objects));
    }
    for (const MeshObject& object : objects) {
      for (size_t f = 0; f < object.faceTotal(); ++f) EXPECT_LT(facing(object, f, inside), 0) << f;
    }
  }
}

TEST_F(ImportScene, NodeTransformsPlaceAndMirrorMeshes) {
  // One triangle moved by (10, 20, 30), one mirrored in x: still seen from the same side.
  const std::string triangle =
      "numvert 3\n0 0 0\n1 0 0\n0 1 0\nnumsurf 1\nSURF 0x10\nmat 0\n"
      "refs 3\n0 0 0\n1 0 0\n2 0 0\nkids 0\n";
  const std::vector<MeshObject> objects = imported(folder.write(
      "placed.ac",
      "AC3Db\nMATERIAL \"gruen\" rgb 0 1 0  amb 0 0 0  emis 0 0 0  spec 0 0 0  shi 1  trans 0\n"
      "OBJECT world\nkids 2\nOBJECT poly\nname \"moved\"\nloc 10 20 30\n" +
          triangle + "OBJECT poly\nname \"mirrored\"\nrot -1 0 0 0 1 0 0 0 1\n" + triangle));
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(std::tuple(objects[0].name, objects[1].name), std::tuple("moved", "mirrored"));
  EXPECT_EQ(objects[0].positions, (std::vector<double>{10, -20, -30, 11, -20, -30, 10, -21, -30}));
  for (const MeshObject& object : objects) {
    EXPECT_GT(facing(object, 0, {0, 0, -1000}), 0) << object.name;
    EXPECT_EQ(object.colours, (std::vector<int32_t>{65280})) << object.name;
  }
}

TEST_F(ImportScene, ColoursFromCornersElseMaterialElseNone) {
  // wedge.ply: face 0's corners are red, blue and green; cube.obj: three red and three blue quads.
  EXPECT_EQ(imported(kTestData + "wedge.ply")[0].colours[0], 85 + 256 * 85 + 65536 * 85);
  std::map<int32_t, int> cubeColours;
  for (const MeshObject& object : imported(kTestData + "cube.obj"))
    for (int32_t colour : object.colours) ++cubeColours[colour];
  EXPECT_EQ(cubeColours, (std::map<int32_t, int>{{255, 6}, {16711680, 6}}));
}

TEST_F(ImportScene, InAChildTheSameObjectsComeBack) {
  for (const char* name : kSolids) {
    std::vector<MeshObject> objects;
    std::string error;
    ASSERT_TRUE(importSceneIsolated(kTestData + name, objects, error)) << error;
    EXPECT_EQ(meshText(objects), meshText(imported(kTestData + name))) << name;
  }
}

TEST_F(ConvertTool, EveryFormatGivesBackTheFacesAndTheirColours) {
  // Read back alike, at 32-bit positions; companion files (an OBJ's materials) come first.
  for (const auto& [extension, description] : exportFormats()) {
    if (isMeshTextExtension(extension)) continue;
    const std::string name = path("zelt." + extension);
    for (const bool coloured : {true, false}) {
      SCOPED_TRACE(name + (coloured ? " coloured" : " without colours"));
      std::vector<OutputFile> files;
      std::string error;
      ASSERT_TRUE(exportMeshes({tent(coloured)}, name, files, error)) << error;
      EXPECT_EQ(files.back().path, name);
      for (const OutputFile& file : files) folder.write(file.path, file.bytes);
      const bool keptColours = coloured && extension != "stl";
      EXPECT_EQ(facePlaces(imported(name)), facePlaces({tent(keptColours)}, true));
    }
  }
}

TEST_F(MeshText, ReadsBackThroughTheViewersReaderAsTheViewerDrawsIt) {
  // The tent's first two faces, and faces without colour and in black, one wound backwards.
  MeshObject zelt = tent();
  zelt.positions.resize(12);
  zelt.corners.resize(6);
  zelt.colours.resize(2);
  const std::vector<MeshObject> objects = {
      zelt,
      {"Nero",
       {5e-324, 1.7976931348623157e308, -0.0, 1e23, 2.5e-8, 123456789012345680.0, 7, 8, 9},
       {0, 1, 2, 2, 1, 0},
       {kNoColour, 0}}};
  const std::string text = meshText(objects);
  EXPECT_NE(text.find("Face 0:    A:0 B:1 C:2\n"), std::string::npos);  // no colour, none written
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), meshTextLines(objects));
  std::vector<MeshObject> back;
  std::string error;
  ASSERT_TRUE(readMeshText(folder.write("two.asc", text), back, error)) << error;
  ASSERT_EQ(back.size(), 1u);  // one object of the file
  EXPECT_EQ(std::tuple(back[0].name, back[0].vertexTotal()), std::tuple("two", 7u));
  EXPECT_EQ(facePlaces(back), facePlaces(objects));
  EXPECT_EQ(back[0].colours, (std::vector<int32_t>{255, 65280, kNoColour, 0}));
}

TEST_F(MeshText, FacesTheViewerDoesNotDrawAreLeftOut) {
  // Face 1 names vertex 3 of 3, face 2 is announced but never described.
  std::vector<MeshObject> back;
  std::string error;
  const std::string text =
      "Tri-mesh, Vertices: 3 Faces: 3\nVertex 0: X: 0 Y: 0 Z: 0\nVertex 1: X: 1 Y: 0 Z: 0\n"
      "Vertex 2: X: 0 Y: 1 Z: 0\nFace 0: A:0 B:1 C:2\nFace 1: A:0 B:1 C:3 colore: 5\n";
  ASSERT_TRUE(readMeshText(folder.write("gaps.asc", text), back, error)) << error;
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].corners, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_FALSE(readMeshText(folder.write("none.asc", "Named Object: \"leer\"\n"), back, error));
  EXPECT_FALSE(error.empty());
}

TEST(ViewerBudget, LinesAndTablesDecideWhatFits) {
  // 4 + v + f lines; the tables alone hold far more, up to one below their cap.
  std::vector<MeshObject> objects(1);
  objects[0].positions.assign(3 * 400000, 0);
  objects[0].corners.assign(3 * 599996, 0);
  objects[0].colours.assign(599996, kNoColour);
  EXPECT_EQ(meshTextLines(objects), kViewerLines);
  EXPECT_TRUE(fitsViewer(objects));
  EXPECT_EQ(facesThatFit(objects), 599996);
  objects[0].colours.push_back(kNoColour);
  objects[0].corners.insert(objects[0].corners.end(), {0, 0, 0});
  EXPECT_FALSE(fitsViewer(objects));
  EXPECT_TRUE(fitsViewer(objects, FitTarget::kTables));
  objects[0].positions.assign(3 * (kViewerTableCap - 1), 0);
  EXPECT_TRUE(fitsViewer(objects, FitTarget::kTables));
  objects[0].positions.insert(objects[0].positions.end(), {0, 0, 0});
  EXPECT_FALSE(fitsViewer(objects, FitTarget::kTables));
  EXPECT_GT(viewerLoad(objects, FitTarget::kTables), 1);
}

TEST_F(ConvertTool, FrameMovesTheModelWhereTheViewerSeesItWhole) {
  // Kept as it is, the viewer would show a speck, the triangle whole, and shards.
  const std::pair<double, const char*> cases[] = {
      {1e-4, "pixels across"}, {1000, ""}, {1e5, "past the viewer's eye"}};
  for (const auto& [size, warning] : cases) {
    const std::string side = std::to_string(size);
    folder.write("t.obj", "v 0 0 0\nv " + side + " 0 0\nv 0 " + side + " 0\nf 1 2 3\n");
    ASSERT_EQ(convert({"t.obj", "kept.asc"}), 0) << errors;
    EXPECT_EQ(errors.empty(), *warning == '\0') << errors;
    EXPECT_NE(errors.find(warning), std::string::npos) << size << errors;
    std::vector<MeshObject> framed;
    std::string error;
    ASSERT_EQ(convert({"--frame", "t.obj", "framed.asc"}), 0) << errors;
    EXPECT_EQ(errors, "");
    ASSERT_TRUE(readMeshText(path("framed.asc"), framed, error)) << error;
    // Placed as the viewer frames a model (which its tests hold): its rule shows it whole.
    EXPECT_FALSE(plainPlacement(framed).reachesEye);
    EXPECT_GT(plainPlacement(framed).pictureSpan, 100) << size;
  }
}

TEST_F(ConvertTool, BadInputLeavesNoFile) {
  folder.write("empty.obj", "");
  folder.write("model.xyz", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  std::filesystem::create_directory(path("folder.obj"));
  for (const char* input : {"empty.obj", "model.xyz", "folder.obj", "none.obj", "none.asc"})
    expectRefused({input, "out.asc"}, path(input));
  // A good input toward a format nothing writes.
  expectRefused({kTestData + "cube.obj", "out.xyz"}, path("out.xyz"), "no writer for .xyz");
  // Nothing but the inputs: no output and no temporary file either.
  EXPECT_EQ(folder.names(), (std::set<std::string>{"empty.obj", "folder.obj", "model.xyz"}));
}

TEST_F(ConvertTool, DamagedFilesFailWithOneLineLeavingNoFile) {
  // Where the library crashes, asserts or wants all memory too: one line, and nothing behind.
  std::vector<OutputFile> files;
  std::string error;
  ASSERT_TRUE(exportMeshes({tent()}, path("zelt.glb"), files, error)) << error;
  const std::string glb = files.back().bytes, ply = plyBytes({tent()});
  std::string garbage(3000, '\0');
  for (size_t i = 0, state = 7; i < garbage.size(); ++i, state = state * 1103515245 + 12345)
    garbage[i] = static_cast<char>(state >> 16);
  const std::tuple<const char*, std::string, const char*> damages[] = {
      // 6 triangles announced, cut inside the second.
      {"cut.stl", testing::readFile(kTestData + "pyramid_binary.stl").substr(0, 154), ""},
      // Crashes the library's reader, past the end of the faces.
      {"cut.ply", ply.substr(0, ply.find("end_header\n") + 11 + 40), "damaged file: "},
      // Loops for ever past a header cut short: the child's processor time runs out.
      {"header.ply", ply.substr(0, ply.find("property float y") + 12), "damaged file: "},
      // Aborts on its assert: 100000 faces announced, one there.
      {"faces.off", "OFF\n3 100000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", "damaged file: "},
      {"vertices.off", "OFF\n2147483648 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", ""},
      {"cut.glb", glb.substr(0, glb.size() - 100), "not a readable .glb file"},
      {"garbage.stl", garbage, "not a readable .stl file"},
  };
  std::set<std::string> names;
  for (const auto& [name, bytes, reason] : damages) {
    SCOPED_TRACE(name);
    names.insert(name);
    std::vector<MeshObject> objects(1);
    EXPECT_FALSE(importSceneIsolated(folder.write(name, bytes), objects, error));
    EXPECT_TRUE(error.starts_with(reason)) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_TRUE(objects.empty());
    expectRefused({name, "out.asc"}, path(name), reason);
    for (const char* trace : {"ai_assert", "core dumped", ".cpp"})
      EXPECT_EQ(errors.find(trace), std::string::npos) << errors;
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The child's cap on memory turns 2^31 vertices into a refusal; the sanitizers run uncapped.
  std::vector<MeshObject> objects;
  EXPECT_FALSE(importSceneIsolated(path("vertices.off"), objects, error));
  EXPECT_EQ(error, kTooLarge);
#endif
  EXPECT_EQ(folder.names(), names);
}

TEST_F(ConvertTool, TooLargeForTheViewerIsRefusedOrFitted) {
  // 1001 x 1001 vertices, red on the left half and blue on the right: 2,000,000 faces.
  constexpr uint32_t kSide = 1001;
  MeshObject grid{"wavy", {}, {}, {}};
  for (uint32_t v = 0; v < kSide * kSide; ++v) {
    const double x = v % kSide, y = v / kSide;
    grid.positions.insert(grid.positions.end(), {x, y, 20 * std::sin(x / 50) * std::cos(y / 70)});
    if (x + 1 == kSide || y + 1 == kSide) continue;
    grid.corners.insert(grid.corners.end(), {v, v + 1, v + kSide + 1, v, v + kSide + 1, v + kSide});
    grid.colours.insert(grid.colours.end(), 2, x < kSide / 2 ? 255 : 0xFF0000);
  }
  folder.write("wavy.ply", plyBytes({grid}));
  EXPECT_EQ(convert({"wavy.ply", "wavy.asc"}), 1);
  EXPECT_NE(errors.find("2000000 faces"), std::string::npos) << errors;
  EXPECT_FALSE(std::filesystem::exists(path("wavy.asc")));
  EXPECT_EQ(convert({"--fit", "wavy.ply", "wavy.asc"}), 0) << errors;
  // The viewer's own reader takes every line and every announced face.
  vertexCount = faceCount = 0;
  loadMeshFile(path("wavy.asc"), 0, 0, 0, 0);
  const std::string text = folder.read("wavy.asc");
  const auto lines = std::count(text.begin(), text.end(), '\n');
  EXPECT_LE(lines, kViewerLines);
  EXPECT_EQ(lastLineIndex, lines);
  EXPECT_EQ(faceCount, std::stoi(text.substr(text.find("Faces: ") + 7)));
  EXPECT_GT(faceCount, 500000);  // most of the budget used
  // Both colours survive, on the sides they were on.
  int32_t onTheirSides = 0;
  for (int32_t f = 0; f < faceCount; ++f) {
    const double x = workingVertices[faces[f].a].x;
    onTheirSides += faces[f].red == 255 ? x < 499 : faces[f].blue == 255 && x > 501;
  }
  EXPECT_GT(onTheirSides, faceCount * 9 / 10);
}

}  // namespace
}  // namespace corvath
