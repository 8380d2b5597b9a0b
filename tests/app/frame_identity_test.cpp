// Pictures stay identical to the pixel: whole frames of several meshes and angles, hashed and
// compared with the hashes of the first, plainly written renderer. A speed change that moves a
// single pixel fails here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

#include "app/app.hpp"
#include "mesh/mesh.hpp"
#include "platform/platform.hpp"
#include "scene/scene.hpp"
#include "support/mesh_fixture.hpp"
#include "support/vector_paths.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

constexpr int32_t kWidth = 960;
constexpr int32_t kHeight = 540;

uint64_t pictureHash() {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const uint32_t pixel : drawingSurface.pixels) {
    for (int k = 0; k < 3; ++k) {
      hash ^= (pixel >> (8 * k)) & 0xFF;
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

std::filesystem::path sourceFolder() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

std::filesystem::path sharedFolder() {
  const char* shared = std::getenv("CORVATH_SHARED");
  return shared ? std::filesystem::path(shared) : sourceFolder().parent_path() / "shared";
}

// A closed torus of 2 * nu * nv faces, wound outward, written as mesh text.
std::string torusFile(int nu, int nv) {
  const std::string path =
      std::filesystem::temp_directory_path() / ("corvath-torus-" + std::to_string(nu) + ".asc");
  std::ofstream out(path, std::ios::binary);
  out << "Named Object: \"torus\"\r\nTri-mesh, Vertices: " << nu * nv
      << "     Faces: " << 2 * nu * nv << "\r\n";
  int k = 0;
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      const double u = 2 * M_PI * i / nu, v = 2 * M_PI * j / nv;
      char line[160];
      std::snprintf(line, sizeof line, "Vertex %d: X: %.6f Y: %.6f Z: %.6f\r\n", k++,
                    (200 + 80 * std::cos(v)) * std::cos(u), (200 + 80 * std::cos(v)) * std::sin(u),
                    80 * std::sin(v));
      out << line;
    }
  }
  const auto id = [&](int a, int b) { return (a % nu) * nv + (b % nv); };
  int f = 0;
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      const int colour = (i * 7 % 256) + 256 * (j * 13 % 256) + 65536 * 200;
      out << "Face " << f++ << ": A:" << id(i, j) << " B:" << id(i + 1, j)
          << " C:" << id(i + 1, j + 1) << " colore: " << colour << "\r\n";
      out << "Face " << f++ << ": A:" << id(i, j) << " B:" << id(i + 1, j + 1)
          << " C:" << id(i, j + 1) << " colore: " << colour << "\r\n";
    }
  }
  return path;
}

struct Shot {
  double angles[3];
  double zoomFactor;  // the start-up zoom times this
  uint64_t hash;
};

// Loads like start-up on a 960 x 540 surface, draws each shot and compares its hash.
void expectPictures(const std::string& mesh, std::initializer_list<Shot> shots) {
  testing::resetMeshState();
  prepareViewer(mesh, kWidth, kHeight);
  createSurface(drawingSurface, kWidth, kHeight, 0);
  const double startZoom = zoom;
  testing::onEveryVectorPath([&] {
    for (const Shot& shot : shots) {
      zoom = startZoom * shot.zoomFactor;
      renderFrame(shot.angles[0], shot.angles[1], shot.angles[2]);
      EXPECT_EQ(pictureHash(), shot.hash)
          << mesh << " at " << shot.angles[0] << ", " << shot.angles[1] << ", " << shot.angles[2]
          << " zoom x" << shot.zoomFactor;
    }
  });
}

// The status line is left out: its glyphs are those of whatever font build the machine has,
// and the font tests hold the text itself.
class FrameIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    setTimeOfDayClock([] { return 45296.789; });
    statusLineShown = false;
  }
  void TearDown() override {
    setTimeOfDayClock(nullptr);
    statusLineShown = true;
  }
};

TEST_F(FrameIdentity, SampleMesh) {
  expectPictures((sourceFolder() / "examples" / "3d.asc").string(),
                 {{{210, 7, 90}, 1, 17530133825738549996u},
                  {{24, 323, 24}, 1, 14451754403453504507u},
                  {{100, 200, 300}, 12, 7215152663687191589u}});
}

TEST_F(FrameIdentity, Torus) {
  expectPictures(torusFile(160, 80), {{{210, 7, 90}, 1, 12848163171911317246u},
                                      {{30, 60, 90}, 1, 4345770656722890049u},
                                      {{0, 90, 45}, 6, 13329273119677023209u}});
}

TEST_F(FrameIdentity, GeneratedScene) {
  testing::resetMeshState();
  prepareViewer("/nonexistent/3d.asc", kWidth, kHeight);
  createSurface(drawingSurface, kWidth, kHeight, 0);
  zoom = 6000;
  vertexCount = 0;
  faceCount = 0;
  composeScene();
  prepareMesh();
  const std::pair<double, uint64_t> shots[] = {
      {1, 1959081437918049827u}, {77, 12809818724914315421u}, {300, 11137739448970379073u}};
  testing::onEveryVectorPath([&] {
    for (const auto& [counter, hash] : shots) {
      renderFrame(0, counter, counter);
      EXPECT_EQ(pictureHash(), hash) << counter;
    }
  });
}

TEST_F(FrameIdentity, BenchmarkWorkloads) {
  const std::filesystem::path bench = sharedFolder() / "bench";
  if (!std::filesystem::exists(bench / "city.asc")) GTEST_SKIP() << "no workloads at " << bench;
  expectPictures((bench / "city.asc").string(), {{{210, 7, 90}, 1, 10411485340545425379u},
                                                 {{215, 12, 95}, 1, 5760574768592445208u}});
  expectPictures((bench / "big.asc").string(), {{{345, 345, 345}, 1, 12735860926419796568u},
                                                {{350, 350, 350}, 1, 17437778034875566772u}});
}

}  // namespace
}  // namespace corvath
