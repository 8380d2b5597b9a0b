// Whole frames: shading, culling, painter's order, the "Errore." message, frames that must
// finish whatever the mesh holds or however little memory is left, and the status line's text.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <new>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "support/mesh_fixture.hpp"
#include "support/thread_counts.hpp"
#include "view/face_paint.hpp"
#include "view/view.hpp"

namespace corvath {
namespace {

constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kRed = 0xFF0000;  // the packed colour 255
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A face: corners a, b, c and the packed colour.
using FaceLine = std::array<int32_t, 4>;

class Frame : public testing::MeshTest {
 protected:
  void SetUp() override {
    MeshTest::SetUp();
    useSurface(64, 48);
    zoom = cameraDistance = 5000;
    setLightDirection(0, 0, 1);
    setRefreshFunction([this] { ++refreshes; });
    setMessageBoxFunction([this](const std::string& text) { messages.push_back(text); });
    malformedFaceReported = false;
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
    testing::resetMeshState();
    faceTotal = std::max(faceTotal, static_cast<int32_t>(faceLines.size()));
    resizeMeshTables(static_cast<int64_t>(vertices.size()) + 1, faceTotal + 1);
    std::copy(vertices.begin(), vertices.end(), workingVertices.begin());
    for (size_t f = 0; f < faceLines.size(); ++f) {
      const auto [a, b, c, colour] = faceLines[f];
      faces[f] = Face{3, a, b, c};
      std::tie(faces[f].red, faces[f].green, faces[f].blue) =
          std::tuple(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16);
    }
    vertexCount = static_cast<int32_t>(vertices.size());
    faceCount = faceTotal;
    commitVertices();
    computeFaceNormals();
  }
  // The start-up frame, a timer tick's, a mouse position's and quarter turns: each refreshes.
  void drawFrames() {
    const int before = refreshes;
    const double angles[][3] = {{210, 7, 90}, {0, 45, 45},   {90, 180, 90}, {0, 0, 0},
                                {90, 90, 0},  {180, 180, 0}, {270, 270, 0}};
    for (const auto& [x, y, z] : angles) renderFrame(x, y, z);
    EXPECT_EQ(refreshes - before, 7);
  }
  uint32_t pixel(int32_t x, int32_t y) const {
    return drawingSurface.pixels[static_cast<size_t>(y) * drawingSurface.width + x];
  }

  int refreshes = 0;
  std::vector<std::string> messages;
};

// Seen from the viewer (y downward):   (0,0) a ----- c (10,0)
//                                            |    /
//                                            |  /
//                                     (0,10) b
// The normal b-a x c-a points toward the viewer, so the face is lit straight on.
const std::vector<Vertex> kLitTriangle = {{0, 0, 0}, {0, 10, 0}, {10, 0, 0}};

TEST_F(Frame, EmptyMeshShowsGrey) {
  renderFrame(210, 7, 90);
  EXPECT_EQ(std::tuple(pixel(63, 47), pixel(32, 24)), std::tuple(kGrey, kGrey));
  EXPECT_EQ(refreshes, 1);
  EXPECT_TRUE(drawingSurfaceSelected);
}

TEST_F(Frame, StatusLineIsYellowInTheTopRows) {
  if (createFont("courier new", -16, 700) < 0) GTEST_SKIP() << "no fixed-pitch font installed";
  renderFrame(210, 7, 90);
  const auto& pixels = drawingSurface.pixels;
  EXPECT_GT(std::count(pixels.begin(), pixels.begin() + 18 * 64, 0xFFFF00u), 10);
  EXPECT_EQ(std::count(pixels.begin() + 30 * 64, pixels.begin() + 31 * 64, 0xFFFF00u), 0);
  EXPECT_EQ(drawingSurface.textY,
            fontMetrics(drawingSurface).height + fontMetrics(drawingSurface).externalLeading);
}

TEST_F(Frame, LitFaceTakesItsColourWithItsOutline) {
  // RGB(49, 130, 50), and two faces with corners outside the tables that paint nothing.
  prepare(kLitTriangle,
          {{0, 1, 2, 3310129}, {2147483647, -7, 0, 255}, {-7, 2147483647, INT32_MIN, 255}});
  renderFrame(0, 0, 0);
  EXPECT_EQ(pixel(34, 26), 0x318232u);  // lit straight on: exactly its colour
  EXPECT_EQ(pixel(32, 24), 0x318232u);  // the corner belongs to the outline
  EXPECT_EQ(pixel(30, 30), kGrey);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Frame, FaceWithoutANormalPaintsItsOutlineBlack) {
  // Three corners on one line: no normal, an undefined shade, colour 0.
  prepare({{0, 0, 0}, {0, 10, 0}, {0, 20, 0}}, {{0, 1, 2, 255}});
  renderFrame(0, 0, 0);
  EXPECT_EQ(pixel(32, 30), 0u);
}

TEST_F(Frame, ShadeRoundsEachComponentHalfToEven) {
  prepare(kLitTriangle, {{0, 1, 2, 197119}});  // RGB(255, 1, 3)
  // A normal at 60 degrees from the light: shade exactly 0.5.
  Face& face = faces[0];
  std::tie(face.normalX, face.normalY, face.normalZ, face.normalLength) =
      std::tuple(0, 0.75, -0.5, 1);
  renderFrame(0, 0, 0);
  EXPECT_EQ(faceShade(0), 0.5f);
  EXPECT_EQ(pixel(34, 26), 0x800002u);  // 127.5 -> 128, 0.5 -> 0, 1.5 -> 2
}

TEST(Shade, TheQuickQuotientGivesTheFloatOfTheExtendedOne) {
  // The painting divides in doubles where that gives the same float as the extended division.
  // Just beside a halfway point between floats the two roundings part: those quotients must
  // take the extended division. Infinite, undefined or huge parts and zero lengths take the
  // general way: undefined is painted, at most 0 turned away, and a lit face's shade is exact.
  std::mt19937_64 engine(5);
  const auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(engine);
  };
  const double odd[] = {kInfinity, -kInfinity, kNaN, 1e308, -1e308, 0};
  const auto withOdd = [&](double value) { return uniform(0, 10) < 1 ? odd[engine() % 6] : value; };
  Face face;
  int partingRoundings = 0;
  for (const int32_t towardViewer : {1, -1}) {
    setLightDirection(0, 0, -towardViewer);
    for (int32_t k = 1; k < 4000; k += 2) {
      const double halfway = 1 + k * 0x1p-24;
      face.normalLength = uniform(1, 2);
      face.viewNormalZ = towardViewer * halfway * face.normalLength;
      ASSERT_EQ(shadeOf(face), shadeByLight(face))
          << face.viewNormalZ << " / " << face.normalLength;
      partingRoundings += static_cast<float>(halfway) != shadeByLight(face);
    }
    for (int i = 0; i < 100000; ++i) {
      const double x = uniform(-1, 1), y = uniform(-1, 1), z = uniform(-1, 1);
      face.normalLength = withOdd(std::hypot(x, y, z));
      std::tie(face.viewNormalX, face.viewNormalY, face.viewNormalZ) =
          std::tuple(withOdd(x), withOdd(y), withOdd(z));
      const float general = shadeByLight(face), quick = shadeOf(face);
      ASSERT_TRUE(std::isnan(general) ? std::isnan(quick)
                  : general <= 0      ? quick <= 0
                                      : quick == general)
          << x << " " << y << " " << z << " / " << face.normalLength << ": " << quick;
    }
  }
  EXPECT_GT(partingRoundings, 100);  // the cases above do reach the extended division
}

// Faces 1 and 2 of this mesh were announced and never read.
using MalformedFace = Frame;

TEST_F(MalformedFace, ShowsOneMessagePerMesh) {
  prepare(kLitTriangle, {{0, 1, 2, 255}}, 3);
  renderFrame(0, 0, 0);
  // Face 0 sorts first; the partition then leaves the two equal back-face keys as 2, 1.
  EXPECT_EQ(messages, std::vector<std::string>{"Errore. 2"});
  EXPECT_EQ(pixel(34, 26), kRed);  // the good face is still painted
  renderFrame(0, 0, 0);            // later frames paint past the face without a box
  EXPECT_EQ(std::tuple(messages.size(), refreshes, pixel(34, 26)), std::tuple(1u, 2, kRed));
  // A box that runs out of memory leaves the frame undrawn and counts as not shown.
  malformedFaceReported = false;
  setMessageBoxFunction([](const std::string&) { throw std::bad_alloc(); });
  renderFrame(0, 0, 0);
  setMessageBoxFunction([this](const std::string& text) { messages.push_back(text); });
  renderFrame(0, 0, 0);
  EXPECT_EQ(std::tuple(messages.size(), refreshes), std::tuple(2u, 3));
}

TEST_F(MalformedFace, NoFrameIsDrawnWhileItsMessageIsOpen) {
  prepare(kLitTriangle, {{0, 1, 2, 255}}, 3);
  setMessageBoxFunction([this](const std::string& text) {
    messages.push_back(text);
    renderFrame(45, 45, 45);  // a mouse movement while the box is open asks for a frame
  });
  renderFrame(0, 0, 0);
  EXPECT_EQ(std::tuple(messages.size(), refreshes), std::tuple(1u, 1));
}

TEST_F(MalformedFace, InterruptsThePaintingAtItsDepthOnEveryThreadCount) {
  // 3,000 small lit triangles all over the surface, farther ones first, one of them malformed:
  // the box comes where its depth puts it, between the faces before and after it.
  useSurface(256, 192);
  std::vector<Vertex> vertices;
  std::vector<FaceLine> faceLines;
  for (int32_t f = 0; f < 3000; ++f) {
    for (const Vertex& v : kLitTriangle) {
      vertices.push_back({v.x + (f % 60) * 5 - 150, v.y + (f / 60) * 4 - 100, -1.0 * f});
    }
    faceLines.push_back({3 * f, 3 * f + 1, 3 * f + 2, (f * 7919) & 0xFFFFFF});
  }
  prepare(vertices, faceLines);
  faces[1234].cornerCount = 7;
  std::vector<uint32_t> atBox, firstAtBox, firstPicture;
  setMessageBoxFunction([&](const std::string& text) {
    messages.push_back(text);
    atBox = drawingSurface.pixels;
  });
  testing::onSeveralThreadCounts([&] {
    messages.clear();
    malformedFaceReported = false;
    renderFrame(0, 0, 0);
    EXPECT_EQ(messages, std::vector<std::string>{"Errore. 1234"});
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
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The first frame of this needs megabytes of paint records and sort tables.
  prepare(kLitTriangle, std::vector<FaceLine>(300000, {0, 1, 2, 255}));
  EXPECT_EXIT(
      {
        size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        const rlim_t unlimited = limit.rlim_cur;
        limit.rlim_cur = pages * sysconf(_SC_PAGESIZE) + (size_t{1} << 20);  // 1 MB to spare
        setrlimit(RLIMIT_AS, &limit);
        renderFrame(0, 0, 0);
        const int starved = refreshes;
        limit.rlim_cur = unlimited;
        setrlimit(RLIMIT_AS, &limit);
        renderFrame(0, 0, 0);
        std::exit(starved == 0 && refreshes == 1 && pixel(33, 25) != kGrey ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Hostile meshes (what the reader keeps of them is held in tests/mesh/hostile_test.cpp) on a
// desktop-sized surface: every frame finishes, at a cost that grows with the counts, never with
// the coordinates (corners beyond +-kMaxCorner paint nothing; every side is clipped first).
struct HostileFrame : Frame {
  void SetUp() override {
    Frame::SetUp();
    useSurface(1920, 1080);
  }
};

TEST_F(HostileFrame, ObjectAtTheCapShowsOneMessagePerFrame) {
  // 2^22 - 2 faces announced, one filled: a frame shows only the first "Errore." face it meets.
  prepare(kLitTriangle, {{0, 1, 2, 255}}, 4194302);
  renderFrame(0, 0, 0);
  EXPECT_EQ(std::tuple(refreshes, messages.size()), std::tuple(1, 1u));
}

TEST_F(HostileFrame, FacesWithACornerOnTheEyePlaneAreDropped) {
  // Vertex 0 on the eye plane has an undefined screen point: all grey below the status line.
  prepare({{0, 0, -5000}, {0, 100, 5000}, {100, 0, 5000}}, {{0, 1, 2, 255}});
  renderFrame(0, 0, 0);
  const auto& pixels = drawingSurface.pixels;
  EXPECT_EQ(std::count(pixels.begin() + 48 * 1920, pixels.end(), kGrey), (1080 - 48) * 1920);
  drawFrames();
}

TEST_F(HostileFrame, CornersAtOrBeyondTheEyeFinish) {
  // Behind the eye the projection mirrors corners through the centre; just in front of it and
  // at huge or infinite coordinates it gives far or undefined points. Drawn or not, frames end.
  const std::vector<Vertex> eyeAndBeyond = {{0, 0, -6000},     {0, 100, -6000}, {100, 0, 6000},
                                            {3, 4, -4999.999}, {0, 0, -5000},   {1e300, -1e300, 0},
                                            {kInfinity, 0, 1}, {3, 4, 4990}};
  prepare(eyeAndBeyond,
          {{0, 1, 2, 255}, {3, 1, 0, 255}, {4, 1, 5, 255}, {5, 6, 7, 255}, {6, 7, 3, 255}});
  drawFrames();
  EXPECT_TRUE(messages.empty());
}

TEST_F(HostileFrame, CornersFarOutsideTheSurfaceCostOnlyWhatIsInside) {
  // 2,000 slivers two rows high and 2.6e8 pixels wide, and one triangle around the surface:
  // walked pixel by pixel their sides would take hours, so the test ends only if clipping works.
  constexpr double kReach = 130000000;  // within kMaxCorner of the centre
  std::vector<Vertex> vertices;
  std::vector<FaceLine> faceLines;
  for (int32_t k = 0; k < 2000; ++k) {
    // Seen by the viewer: a (-reach, y), b (reach, y + 1) below c (reach, y): lit.
    const double y = k % 1000 - 500;
    vertices.insert(vertices.end(), {{-kReach, y, 0}, {kReach, y + 1, 0}, {kReach, y, 0}});
    faceLines.push_back({3 * k, 3 * k + 1, 3 * k + 2, 65280});
  }
  vertices.insert(vertices.end(), {{-kReach, -kReach, 0}, {0, kReach, 0}, {kReach, -kReach, 0}});
  faceLines.push_back({6000, 6001, 6002, 65280});
  prepare(vertices, faceLines);
  renderFrame(0, 0, 0);
  EXPECT_EQ(std::tuple(pixel(960, 540), pixel(0, 1079)), std::tuple(0x00FF00u, 0x00FF00u));
  drawFrames();
  EXPECT_TRUE(messages.empty());
}

// --- the status line's '#' mask formatter ------------------------------------------------------

using Field = std::pair<double, std::string_view>;

// Each value alone in the mask, formatted and appended.
void expectFields(std::string_view mask, std::span<const Field> fields) {
  for (const auto& [value, text] : fields) {
    EXPECT_EQ(formatWithMask(mask, {value}), text) << mask << " with " << value;
    std::string out = "<";
    formatWithMaskInto(out, mask, {value});
    EXPECT_EQ(out, std::string("<").append(text)) << mask << " with " << value;
  }
}

TEST(MaskFormat, FieldTexts) {
  // Exact ties go to even (812.5, 2.5, 0.0625) but 0.5 with no digit kept goes up; 0.0635 and
  // 0.05 lie off their decimal text. Fields widen to the left; -0 has no sign; "NAN" fills
  // decimal fields too.
  const Field whole[] = {{1234, "1234"}, {812.5, "812"},  {813.5, "814"},     {99.6, "100"},
                         {0.5, "  1"},   {1.5, "  2"},    {2.5, "  2"},       {0.4, "  0"},
                         {0.0, "  0"},   {999.5, "1000"}, {kInfinity, "INF"}, {kNaN, "NAN"}};
  const Field wide[] = {
      {8, "    8"}, {123456, "123456"}, {1e20, "100000000000000000000"}, {-kInfinity, " -INF"}};
  const Field decimal[] = {{210, "210.000"},    {7, "  7.000"},        {0.0625, "  0.062"},
                           {0.0635, "  0.064"}, {359.9996, "360.000"}, {-5.25, " -5.250"},
                           {-0.0, "  0.000"},   {-123.5, "-123.500"},  {kNaN, "    NAN"}};
  const Field narrow[] = {{0.05, "0.1"}, {-kInfinity, "-INF"}};
  expectFields("###", whole);
  expectFields("#####", wide);
  expectFields("###.###", decimal);
  expectFields("#.#", narrow);
}

TEST(MaskFormat, TheStatusLine) {
  EXPECT_EQ(formatWithMask(kStatusMask, {1234, 8, 210, 7, 90}),
            "Zoom=1234 vertici=    8 x=210.000 y=  7.000 z= 90.000");
  EXPECT_EQ(formatWithMask(kStatusMask, {200, 0, 0, 359, 0.5}),
            "Zoom=200 vertici=    0 x=  0.000 y=359.000 z=  0.500");
  EXPECT_EQ(formatWithMask(kStatusMask, {100, 3, kNaN, 7, 90}),
            "Zoom=100 vertici=    3 x=    NAN y=  7.000 z= 90.000");
  EXPECT_EQ(formatWithMask("a=## b=##", {5}), "a= 5 b=##");  // fields without a value stay
}

}  // namespace
}  // namespace corvath
