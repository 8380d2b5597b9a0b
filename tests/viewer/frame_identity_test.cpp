// Whole frames held to the hashes of the first, plainly written renderer and to the reference
// frame on every path and thread count: a speed change that moves one pixel fails here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "scene/scene.hpp"
#include "support/mesh_fixture.hpp"
#include "support/reference_frame.hpp"
#include "support/variants.hpp"
#include "viewer/viewer.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;
const fs::path kSourceFolder = fs::path(__FILE__).parent_path().parent_path().parent_path();

// FNV-1a over the pixels' blue, green and red bytes.
uint64_t pictureHash() {
  uint64_t hash = 14695981039346656037ull;
  for (const uint32_t pixel : drawingSurface.pixels)
    for (int k = 0; k < 3; ++k) hash = (hash ^ ((pixel >> (8 * k)) & 0xFF)) * 1099511628211ull;
  return hash;
}

// A closed torus of 2 * nu * nv faces, wound outward, as mesh text.
std::string torusText(int nu, int nv) {
  std::string vertices, faceLines;
  char line[160];
  const auto id = [&](int a, int b) { return (a % nu) * nv + (b % nv); };
  for (int q = 0, i = 0, j = 0; q < nu * nv; ++q, i = q / nv, j = q % nv) {
    const double u = 2 * M_PI * i / nu, v = 2 * M_PI * j / nv, r = 200 + 80 * std::cos(v);
    std::snprintf(line, sizeof line, "Vertex %d: X: %.6f Y: %.6f Z: %.6f\r\n", q, r * std::cos(u),
                  r * std::sin(u), 80 * std::sin(v));
    vertices += line;
    const int colour = (i * 7 % 256) + 256 * (j * 13 % 256) + 65536 * 200;
    std::snprintf(line, sizeof line,
                  "Face %d: A:%d B:%d C:%d colore: %d\r\nFace %d: A:%d B:%d C:%d colore: %d\r\n",
                  2 * q, id(i, j), id(i + 1, j), id(i + 1, j + 1), colour, 2 * q + 1, id(i, j),
                  id(i + 1, j + 1), id(i, j + 1), colour);
    faceLines += line;
  }
  return "Named Object: \"torus\"\r\nTri-mesh, Vertices: " + std::to_string(nu * nv) +
         "     Faces: " + std::to_string(2 * nu * nv) + "\r\n" + vertices + faceLines;
}

struct Shot {
  double angles[3], zoomFactor;  // the start-up zoom times zoomFactor
  uint64_t hash;
};

// Loads like start-up on a 960 x 540 surface (or makes a new scene) and draws each shot; a
// picture that misses is written out. No status line: its glyphs are the machine's font build's.
void expectPictures(const std::string& mesh, std::initializer_list<Shot> shots,
                    bool scene = false) {
  setTimeOfDayClock([] { return 45296.789; }), statusLineShown = false;
  resetMeshState(), prepareViewer(mesh, 960, 540);
  if (scene) replaceWithNewScene();
  createSurface(drawingSurface, 960, 540, 0);
  const double startZoom = zoom;
  std::vector<Surface> expected;
  for (const Shot& shot : shots)
    zoom = startZoom * shot.zoomFactor,
    expected.push_back(referenceFrame(shot.angles[0], shot.angles[1], shot.angles[2]));
  onSeveralThreadCounts([&] {
    onEveryVectorPath([&] {
      for (size_t k = 0; k < shots.size(); ++k) {
        const Shot& shot = shots.begin()[k];
        zoom = startZoom * shot.zoomFactor;
        renderFrame(shot.angles[0], shot.angles[1], shot.angles[2]);
        const std::string name =
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(k) + "-" + std::string(vectorPathName(vectorPath)) + "-" +
            std::to_string(workerCount());
        EXPECT_TRUE(samePicture(drawingSurface, expected[k], name));
        if (pictureHash() != shot.hash)
          ADD_FAILURE() << "hash " << pictureHash() << ", expected " << shot.hash
                        << "; picture: " << writePicture(drawingSurface, name + "-got");
      }
    });
  });
  setTimeOfDayClock(nullptr), statusLineShown = true;
}

TEST(FrameIdentity, SampleMesh) {
  expectPictures((kSourceFolder / "examples" / "3d.asc").string(),
                 {{{210, 7, 90}, 1, 17530133825738549996u},
                  {{24, 323, 24}, 1, 14451754403453504507u},
                  {{100, 200, 300}, 12, 7215152663687191589u}});
}

TEST(FrameIdentity, Torus) {
  const TemporaryFile torus(torusText(160, 80));
  expectPictures(torus.path(), {{{210, 7, 90}, 1, 12848163171911317246u},
                                {{30, 60, 90}, 1, 4345770656722890049u},
                                {{0, 90, 45}, 6, 13329273119677023209u}});
}

TEST(FrameIdentity, GeneratedScene) {
  // No mesh: the start zoom is 100, and the scene is drawn at 6000 as the frame timer draws it.
  expectPictures("/nonexistent/3d.asc",
                 {{{0, 1, 1}, 60, 1959081437918049827u},
                  {{0, 77, 77}, 60, 12809818724914315421u},
                  {{0, 300, 300}, 60, 11137739448970379073u}},
                 true);
}

TEST(FrameIdentity, BenchmarkWorkloads) {
  const char* shared = std::getenv("CORVATH_SHARED");
  const fs::path bench =
      (shared ? fs::path(shared) : kSourceFolder.parent_path() / "shared") / "bench";
  if (!fs::exists(bench / "city.asc")) GTEST_SKIP() << "no workloads at " << bench;
  expectPictures((bench / "city.asc").string(), {{{210, 7, 90}, 1, 10411485340545425379u},
                                                 {{215, 12, 95}, 1, 5760574768592445208u}});
  expectPictures((bench / "big.asc").string(), {{{345, 345, 345}, 1, 12735860926419796568u},
                                                {{350, 350, 350}, 1, 17437778034875566772u}});
}

}  // namespace
}  // namespace corvath::testing
