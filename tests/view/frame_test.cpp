// Whole frames beyond what the reference frame pins: shade rounding, the "Errore." message,
// frames that must finish whatever the mesh holds or memory is left, and the status line.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/mesh_fixture.hpp"
#include "support/variants.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

constexpr uint32_t kGrey = 0x808080, kRed = 0xFF0000;             // red: the packed colour 255
using FaceLine = std::tuple<int32_t, int32_t, int32_t, int32_t>;  // corners a, b, c, colour
using Messages = std::vector<std::string>;
// Seen from the viewer (y downward) a (0,0), b (0,10), c (10,0): lit straight on.
const std::vector<Vertex> kLitTriangle = {{0, 0, 0}, {0, 10, 0}, {10, 0, 0}};

struct Frame : testing::MeshTest {
  void SetUp() override {
    MeshTest::SetUp();
    useSurface(64, 48);
    zoom = cameraDistance = 5000;
    setLightDirection(0, 0, 1);
    setRefreshFunction([this] { ++refreshes; });
    setMessageBoxFunction([this](const std::string& text) { showBox(text); });
    malformedFaceReported = false;
  }
  void showBox(const std::string& text) {
    messages.push_back(text);
    renderFrame(45, 45, 45);  // a mouse movement while the box is open draws nothing
  }
  void TearDown() override {
    setRefreshFunction(nullptr);
    setMessageBoxFunction(nullptr);
    releaseMeshTables();  // later tests should not carry hundreds of megabytes
  }
  void useSurface(int32_t width, int32_t height) {
    createSurface(drawingSurface, width, height, 0);
    std::tie(screenCentreX, screenCentreY) = std::tuple(width / 2.0, height / 2.0);
  }
  // A mesh as read, committed and given normals; faces past those given are never read.
  void prepare(const std::vector<Vertex>& vertices, const std::vector<FaceLine>& faceLines,
               int32_t faceTotal = 0) {
    faceCount = std::max(faceTotal, static_cast<int32_t>(faceLines.size()));
    vertexCount = static_cast<int32_t>(vertices.size());
    resizeMeshTables(vertexCount + 1, faceCount + 1);
    std::copy(vertices.begin(), vertices.end(), workingVertices.begin());
    for (size_t f = 0; f < faceLines.size(); ++f) {
      const auto [a, b, c, colour] = faceLines[f];
      faces[f] = Face{3, a, b, c};
      std::tie(faces[f].red, faces[f].green, faces[f].blue) =
          std::tuple(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16);
    }
    commitVertices();
    computeFaceNormals();
  }
  uint32_t pixel(int32_t x, int32_t y) const {
    return drawingSurface.pixels[static_cast<size_t>(y) * drawingSurface.width + x];
  }

  int refreshes = 0;
  Messages messages;
};

TEST_F(Frame, StatusLineIsYellowInTheTopRows) {
  if (createFont("courier new", -16, 700) < 0) GTEST_SKIP() << "no fixed-pitch font installed";
  renderFrame(210, 7, 90);
  const auto& pixels = drawingSurface.pixels;
  EXPECT_GT(std::count(pixels.begin(), pixels.begin() + 18 * 64, 0xFFFF00u), 10);
  const auto metrics = fontMetrics(drawingSurface);
  EXPECT_EQ(drawingSurface.textY, metrics.height + metrics.externalLeading);
}

TEST_F(Frame, ShadeRoundsEachComponentHalfToEven) {
  prepare(kLitTriangle, {{0, 1, 2, 197119}});  // RGB(255, 1, 3)
  // A normal at 60 degrees from the light: shade exactly 0.5.
  std::tie(faces[0].normalY, faces[0].normalZ, faces[0].normalLength) = std::tuple(0.75, -0.5, 1);
  renderFrame(0, 0, 0);
  EXPECT_EQ(std::tuple(faceShade(0), pixel(34, 26)), std::tuple(0.5f, 0x800002u));  // 128, 0, 2
}

TEST(Shade, TheQuickQuotientGivesTheFloatOfTheExtendedOne) {
  // Beside a halfway point between floats double and extended roundings part. Odd parts go
  // the general way: undefined is painted, at most 0 turned away, lit is exact.
  std::mt19937_64 engine(5);
  std::uniform_real_distribution<double> unit(-1, 1);
  const double odd[] = {INFINITY, -INFINITY, NAN, 1e308, -1e308, 0};
  const auto withOdd = [&](double value) { return engine() % 10 ? value : odd[engine() % 6]; };
  Face face;
  for (const int32_t towardViewer : {1, -1}) {
    setLightDirection(0, 0, -towardViewer);
    for (int32_t k = 1; k < 4000; k += 2) {
      const double halfway = 1 + k * 0x1p-24;
      face.normalLength = 1.5 + unit(engine) / 2;
      face.viewNormalZ = towardViewer * halfway * face.normalLength;
      ASSERT_EQ(shadeOf(face), shadeByLight(face)) << face.viewNormalZ;
    }
    for (int i = 0; i < 100000; ++i) {
      const double x = unit(engine), y = unit(engine), z = unit(engine);
      face.normalLength = withOdd(std::hypot(x, y, z));
      std::tie(face.viewNormalX, face.viewNormalY, face.viewNormalZ) =
          std::tuple(withOdd(x), withOdd(y), withOdd(z));
      const float general = shadeByLight(face), quick = shadeOf(face);
      ASSERT_TRUE(std::isnan(general) ? std::isnan(quick)
                  : general <= 0      ? quick <= 0
                                      : quick == general)
          << x << " " << y << " " << z << ": " << quick;
    }
  }
}

// Faces 1 and 2 of the small mesh were announced and never read.
using MalformedFace = Frame;

TEST_F(MalformedFace, ShowsOneMessagePerMesh) {
  prepare(kLitTriangle, {{0, 1, 2, 255}}, 3);
  renderFrame(0, 0, 0);
  // Face 0 sorts first; the partition then leaves the two equal back-face keys as 2, 1.
  EXPECT_EQ(std::tuple(messages, pixel(34, 26)), std::tuple(Messages{"Errore. 2"}, kRed));
  renderFrame(0, 0, 0);  // later frames paint past the face without a box
  EXPECT_EQ(std::tuple(messages.size(), refreshes, pixel(34, 26)), std::tuple(1u, 2, kRed));
  // A box that runs out of memory leaves the frame undrawn and counts as not shown.
  malformedFaceReported = false;
  setMessageBoxFunction([](const std::string&) { throw std::bad_alloc(); });
  renderFrame(0, 0, 0);
  setMessageBoxFunction([this](const std::string& text) { showBox(text); });
  renderFrame(0, 0, 0);
  EXPECT_EQ(std::tuple(messages.size(), refreshes), std::tuple(2u, 3));
}

TEST_F(MalformedFace, InterruptsTheFrameAtItsDepth) {
  // 3,000 small lit triangles, farther ones first, one malformed: the box comes between the
  // faces before and after it, on every thread count.
  useSurface(256, 192);
  std::vector<Vertex> vertices;
  std::vector<FaceLine> faceLines;
  for (int32_t f = 0; f < 3000; ++f) {
    for (const Vertex& v : kLitTriangle)
      vertices.push_back({v.x + f % 60 * 5 - 150, v.y + f / 60 * 4 - 100, -1.0 * f});
    faceLines.push_back({3 * f, 3 * f + 1, 3 * f + 2, (f * 7919) & 0xFFFFFF});
  }
  prepare(vertices, faceLines);
  faces[1234].cornerCount = 7;
  std::vector<uint32_t> atBox, firstAtBox, firstPicture;
  setMessageBoxFunction([&](const std::string& text) {
    messages = {text};
    atBox = drawingSurface.pixels;
  });
  testing::onSeveralThreadCounts([&] {
    malformedFaceReported = false;
    renderFrame(0, 0, 0);
    EXPECT_EQ(messages, Messages{"Errore. 1234"});
    if (firstPicture.empty()) firstAtBox = atBox, firstPicture = drawingSurface.pixels;
    EXPECT_TRUE(atBox == firstAtBox && drawingSurface.pixels == firstPicture);
  });
  EXPECT_FALSE(firstAtBox == firstPicture);  // the nearer faces come after the box
}

TEST_F(Frame, RunningOutOfMemoryAbandonsThatFrameAlone) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve address space of their own";
#endif
  // A child started afresh: a forked one would inherit the worker threads' locks, not them.
  // Its first frame needs megabytes of paint records and sort tables.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  prepare(kLitTriangle, std::vector<FaceLine>(300000, {0, 1, 2, 255}));
  EXPECT_EXIT(
      {
        size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        const rlimit unlimited = limit;
        limit.rlim_cur = pages * sysconf(_SC_PAGESIZE) + (size_t{1} << 20);  // 1 MB to spare
        setrlimit(RLIMIT_AS, &limit);
        renderFrame(0, 0, 0);
        const int starved = refreshes;
        setrlimit(RLIMIT_AS, &unlimited);
        renderFrame(0, 0, 0);
        std::exit(starved == 0 && refreshes == 1 && pixel(33, 25) != kGrey ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Corners on the eye plane, at infinity or beyond the drawable range: the faces are dropped.
using HostileFrame = Frame;

TEST_F(HostileFrame, CornersOffTheDrawableRangeAreDropped) {
  useSurface(1920, 1080);
  prepare({{0, 0, -5000}, {0, 100, 5000}, {100, 0, 5000}, {1e300, -1e300, 0}, {INFINITY, 0, 1}},
          {{0, 1, 2, 255}, {3, 1, 2, 255}, {4, 1, 2, 255}, {0, 3, 4, 255}});
  renderFrame(0, 0, 0);
  const auto& pixels = drawingSurface.pixels;
  EXPECT_EQ(std::count(pixels.begin() + 48 * 1920, pixels.end(), kGrey), (1080 - 48) * 1920);
  EXPECT_EQ(std::tuple(refreshes, messages.size()), std::tuple(1, 0u));
}

TEST(MaskFormat, FieldTexts) {
  // Exact ties go to even (812.5, 2.5, 0.0625) but 0.5 with no digit kept goes up; 0.0635 and
  // 0.05 lie off their decimal text. Fields widen to the left; -0 has no sign.
  const std::tuple<std::string_view, std::vector<double>, std::string_view> masks[] = {
      {"###",
       {1234, 812.5, 813.5, 99.6, 0.5, 1.5, 2.5, 0.4, 999.5, INFINITY, NAN},
       "|1234|812|814|100|  1|  2|  2|  0|1000|INF|NAN"},
      {"#####", {8, 123456, 1e20, -INFINITY}, "|    8|123456|100000000000000000000| -INF"},
      {"###.###",
       {0.0625, 0.0635, 359.9996, -5.25, -0.0, -123.5, NAN},
       "|  0.062|  0.064|360.000| -5.250|  0.000|-123.500|    NAN"},
      {"#.#", {0.05, -INFINITY}, "|0.1|-INF"}};
  for (const auto& [mask, values, texts] : masks) {
    std::string out;
    for (const double value : values) formatWithMaskInto(out += '|', mask, {value});
    EXPECT_EQ(out, texts) << mask;
  }
  // The fields take the values in turn; c has none.
  EXPECT_EQ(formatWithMask("a=## b=#.# c=##", {5, 0.25}), "a= 5 b=0.2 c=##");
}

}  // namespace
}  // namespace corvath
