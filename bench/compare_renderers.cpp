// Frame times of this program beside other renderers of the same scene at 1920 x 1080: a plain
// scalar triangle filler, Mesa's llvmpipe through OSMesa, and cairo, on the three workloads.
// llvmpipe takes its thread count from LP_NUM_THREADS when a context is made, so each of its
// counts runs in a child process: this program started again with an internal option.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>
#include <cairo.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "viewer/viewer.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"
#include "workloads.hpp"

extern char** environ;

namespace corvath {
namespace {

// ---------------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------------

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kGreyLevel = 128;
constexpr int32_t kGrey = packColour(kGreyLevel, kGreyLevel, kGreyLevel);
constexpr int32_t kWarmUpFrames = 2;
// Pixels are compared as 0x00RRGGBB; the byte above holds alpha or nothing.
constexpr uint32_t kColourBits = 0xFFFFFFu;

constexpr const char* kUsage =
    "usage: compare_renderers [--workload city|big|dense] [--frames N] [--rounds R]\n"
    "  --workload NAME  time one workload (default: all three)\n"
    "  --frames N       frames per round (default 20)\n"
    "  --rounds R       rounds; the median round is reported (default 3)\n"
    "CORVATH_VECTORS caps this program's processor path; CORVATH_SHARED names the folder\n"
    "whose bench/ holds city.asc and big.asc.\n";

// What a process of this program does: the comparison itself, or one llvmpipe job of it.
enum class Role { kCompare, kLlvmpipeTimes, kLlvmpipeCheck };

struct Options {
  std::vector<const Workload*> workloads{&kCity, &kBig, &kDense};
  int32_t frames = 20;
  int32_t rounds = 3;
  Role role = Role::kCompare;
};

const Workload* workloadNamed(std::string_view name) {
  for (const Workload* workload : {&kCity, &kBig, &kDense}) {
    const std::string_view file = workload->name;
    if (name == file || name == file.substr(0, file.find('.'))) return workload;
  }
  return nullptr;
}

bool readCount(const char* text, int32_t& count) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 100000) return false;
  count = static_cast<int32_t>(value);
  return true;
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--workload" && hasValue) {
      const Workload* workload = workloadNamed(argv[++i]);
      if (!workload) return false;
      options.workloads = {workload};
    } else if (option == "--frames" && hasValue) {
      if (!readCount(argv[++i], options.frames)) return false;
    } else if (option == "--rounds" && hasValue) {
      if (!readCount(argv[++i], options.rounds)) return false;
    } else if (option == "--llvmpipe-times") {  // internal: the child that times llvmpipe
      options.role = Role::kLlvmpipeTimes;
    } else if (option == "--llvmpipe-check") {  // internal: the child that checks its picture
      options.role = Role::kLlvmpipeCheck;
    } else {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The scene as every renderer here takes it
// ---------------------------------------------------------------------------------------------

struct Angles {
  double x = 0;
  double y = 0;
  double z = 0;
};

// Frame i of a workload: one degree further about each axis per frame, as the benchmarks turn.
Angles frameAngles(const Workload& workload, int32_t frame) {
  return {workload.startAngle[0] + frame, workload.startAngle[1] + frame,
          workload.startAngle[2] + frame};
}

// The program's camera after prepareViewer: screen = zoom * x / (distance + z) + centre.
struct Camera {
  double scale = 0;
  double distance = 0;
  double centreX = 0;
  double centreY = 0;
};

struct PlainVertex {
  float x, y, z;
};
struct PlainFace {
  int32_t a, b, c;
  uint8_t red, green, blue;
};

// The loaded mesh in plain arrays: the centred model vertices, and the faces the program can
// draw (three corners, all in the vertex table).
struct PlainMesh {
  std::vector<PlainVertex> vertices;
  std::vector<PlainFace> faces;
  double radius = 0;  // of the sphere about the centre of rotation that holds every vertex
  Camera camera;
};

// Loads the workload as start-up does, on a 1920 x 1080 surface standing in for the desktop.
bool loadWorkload(const Workload& workload) {
  const std::string path = workloadPath(workload);
  if (path.empty() || !std::filesystem::exists(path)) return false;
  prepareViewer(path, kWidth, kHeight);
  createSurface(drawingSurface, kWidth, kHeight, kGrey);
  statusLineShown = false;
  return true;
}

PlainMesh copyLoadedMesh() {
  PlainMesh mesh;
  mesh.camera = {zoom, cameraDistance, screenCentreX, screenCentreY};
  double farthest = 0;
  for (int32_t i = 0; i < vertexCount; ++i) {
    const Vertex& v = modelVertices[i];
    mesh.vertices.push_back(
        {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)});
    farthest = std::max(farthest, v.x * v.x + v.y * v.y + v.z * v.z);
  }
  mesh.radius = std::sqrt(farthest);
  const auto inMesh = [&](int32_t corner) { return corner >= 0 && corner < vertexCount; };
  for (int32_t f = 0; f < faceCount; ++f) {
    const Face& face = faces[f];
    if (face.cornerCount != 3 || !inMesh(face.a) || !inMesh(face.b) || !inMesh(face.c)) continue;
    mesh.faces.push_back({face.a, face.b, face.c, face.red, face.green, face.blue});
  }
  return mesh;
}

// The view rotation: the transpose of Rz * Ry * Rx, the order in which the program turns.
struct Rotation {
  double m[3][3];
};

Rotation rotationFor(const Angles& angles) {
  const double toRadians = std::numbers::pi / 180;
  const double sx = std::sin(angles.x * toRadians), cx = std::cos(angles.x * toRadians);
  const double sy = std::sin(angles.y * toRadians), cy = std::cos(angles.y * toRadians);
  const double sz = std::sin(angles.z * toRadians), cz = std::cos(angles.z * toRadians);
  return {{{cy * cz, cy * sz, -sy},
           {sy * cz * sx - cx * sz, sy * sz * sx + cz * cx, cy * sx},
           {sy * cz * cx + sx * sz, sy * sz * cx - sx * cz, cy * cx}}};
}

// ---------------------------------------------------------------------------------------------
// The plain frame: transform, cull, shade and sort, shared by the scalar filler and cairo
// ---------------------------------------------------------------------------------------------

struct ScreenTriangle {
  float x[3];
  float y[3];
  float depth;  // sum of the corners' view z: larger is farther
  uint8_t red, green, blue;
};

struct PlainFrame {
  std::vector<PlainVertex> view;  // rotated vertices
  std::vector<float> screenX;
  std::vector<float> screenY;
  std::vector<ScreenTriangle> triangles;  // front faces, farthest first
};

uint8_t shaded(uint8_t component, float shade) {
  return static_cast<uint8_t>(static_cast<float>(component) * shade + 0.5f);
}

void prepareFrame(const PlainMesh& mesh, const Angles& angles, PlainFrame& frame) {
  const Rotation rotation = rotationFor(angles);
  float r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<float>(rotation.m[i][j]);
  }
  const Camera& camera = mesh.camera;
  const auto scale = static_cast<float>(camera.scale);
  const auto distance = static_cast<float>(camera.distance);
  const auto centreX = static_cast<float>(camera.centreX);
  const auto centreY = static_cast<float>(camera.centreY);
  const size_t count = mesh.vertices.size();
  frame.view.resize(count);
  frame.screenX.resize(count);
  frame.screenY.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const PlainVertex& v = mesh.vertices[i];
    PlainVertex& out = frame.view[i];
    out.x = r[0][0] * v.x + r[0][1] * v.y + r[0][2] * v.z;
    out.y = r[1][0] * v.x + r[1][1] * v.y + r[1][2] * v.z;
    out.z = r[2][0] * v.x + r[2][1] * v.y + r[2][2] * v.z;
    frame.screenX[i] = scale * out.x / (distance + out.z) + centreX;
    frame.screenY[i] = scale * out.y / (distance + out.z) + centreY;
  }

  frame.triangles.clear();
  for (const PlainFace& face : mesh.faces) {
    const PlainVertex& a = frame.view[face.a];
    const PlainVertex& b = frame.view[face.b];
    const PlainVertex& c = frame.view[face.c];
    // At or behind the eye the projection is meaningless; the program drops such faces too.
    if (distance + a.z <= 0 || distance + b.z <= 0 || distance + c.z <= 0) continue;
    const float ax = frame.screenX[face.a], ay = frame.screenY[face.a];
    const float bx = frame.screenX[face.b], by = frame.screenY[face.b];
    const float cx = frame.screenX[face.c], cy = frame.screenY[face.c];
    // y grows downward: a positive cross product means counter-clockwise as the viewer sees it.
    if ((cy - by) * (ax - bx) - (cx - bx) * (ay - by) <= 0) continue;
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const float nx = uy * vz - uz * vy;
    const float ny = uz * vx - ux * vz;
    const float nz = ux * vy - uy * vx;
    // The light shines from the viewer along +z: the cosine against -z.
    const float shade = -nz / std::sqrt(nx * nx + ny * ny + nz * nz);
    // Front faces whose normal still points away (seen at a grazing angle) stay unpainted, as
    // in the program.
    if (!(shade > 0)) continue;
    frame.triangles.push_back({{ax, bx, cx},
                               {ay, by, cy},
                               a.z + b.z + c.z,
                               shaded(face.red, shade),
                               shaded(face.green, shade),
                               shaded(face.blue, shade)});
  }
  std::sort(frame.triangles.begin(), frame.triangles.end(),
            [](const ScreenTriangle& p, const ScreenTriangle& q) { return p.depth > q.depth; });
}

// ---------------------------------------------------------------------------------------------
// The scalar filler
// ---------------------------------------------------------------------------------------------

// Which side of the line p -> q the point (x, y) lies on, times twice the triangle's area.
float edge(float px, float py, float qx, float qy, float x, float y) {
  return (qx - px) * (y - py) - (qy - py) * (x - px);
}

// Every pixel whose point (x, y) lies inside the triangle, edges included. The program's
// pixel (x, y) also stands for the point (x, y), so the two pictures line up.
void fillTriangle(const ScreenTriangle& t, std::vector<uint32_t>& pixels) {
  float ax = t.x[0], ay = t.y[0], bx = t.x[1], by = t.y[1], cx = t.x[2], cy = t.y[2];
  const float area = edge(ax, ay, bx, by, cx, cy);
  if (area == 0) return;
  // Front faces run counter-clockwise on screen, which makes this negative; with b and c
  // swapped, the inside is where all three edge values are at least 0.
  if (area < 0) {
    std::swap(bx, cx);
    std::swap(by, cy);
  }
  const float left = std::max(0.0f, std::ceil(std::min({ax, bx, cx})));
  const float right = std::min(static_cast<float>(kWidth - 1), std::floor(std::max({ax, bx, cx})));
  const float top = std::max(0.0f, std::ceil(std::min({ay, by, cy})));
  const float bottom =
      std::min(static_cast<float>(kHeight - 1), std::floor(std::max({ay, by, cy})));
  if (!(left <= right && top <= bottom)) return;
  const uint32_t pixel = pixelFromColour(packColour(t.red, t.green, t.blue));
  for (auto y = static_cast<int32_t>(top); y <= static_cast<int32_t>(bottom); ++y) {
    uint32_t* row = pixels.data() + static_cast<size_t>(y) * kWidth;
    const auto py = static_cast<float>(y);
    for (auto x = static_cast<int32_t>(left); x <= static_cast<int32_t>(right); ++x) {
      const auto px = static_cast<float>(x);
      if (edge(ax, ay, bx, by, px, py) >= 0 && edge(bx, by, cx, cy, px, py) >= 0 &&
          edge(cx, cy, ax, ay, px, py) >= 0) {
        row[x] = pixel;
      }
    }
  }
}

void scalarFrame(const PlainMesh& mesh, const Angles& angles, PlainFrame& frame,
                 std::vector<uint32_t>& pixels) {
  prepareFrame(mesh, angles, frame);
  pixels.assign(static_cast<size_t>(kWidth) * kHeight, pixelFromColour(kGrey));
  for (const ScreenTriangle& triangle : frame.triangles) fillTriangle(triangle, pixels);
}

// ---------------------------------------------------------------------------------------------
// cairo
// ---------------------------------------------------------------------------------------------

struct CairoCanvas {
  cairo_surface_t* surface = nullptr;
  cairo_t* context = nullptr;
  CairoCanvas() {
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    context = cairo_create(surface);
    cairo_set_antialias(context, CAIRO_ANTIALIAS_NONE);
    // cairo paints a pixel when its centre lies inside, the program when its corner point does.
    cairo_translate(context, 0.5, 0.5);
  }
  ~CairoCanvas() {
    cairo_destroy(context);
    cairo_surface_destroy(surface);
  }
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;
};

void cairoFrame(const PlainMesh& mesh, const Angles& angles, PlainFrame& frame,
                CairoCanvas& canvas) {
  prepareFrame(mesh, angles, frame);
  cairo_t* cr = canvas.context;
  const double grey = kGreyLevel / 255.0;
  cairo_set_source_rgb(cr, grey, grey, grey);
  cairo_paint(cr);
  for (const ScreenTriangle& t : frame.triangles) {
    cairo_set_source_rgb(cr, t.red / 255.0, t.green / 255.0, t.blue / 255.0);
    cairo_move_to(cr, t.x[0], t.y[0]);
    cairo_line_to(cr, t.x[1], t.y[1]);
    cairo_line_to(cr, t.x[2], t.y[2]);
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  cairo_surface_flush(canvas.surface);
}

// ---------------------------------------------------------------------------------------------
// llvmpipe through OSMesa
// ---------------------------------------------------------------------------------------------

struct GlVertex {
  float position[3];
  float normal[3];
  uint8_t colour[4];
};

class LlvmpipeRenderer {
 public:
  // False when no context could be made.
  bool open(const PlainMesh& mesh) {
    camera_ = mesh.camera;
    // The depth range just holds the mesh whichever way it turns; the near plane stays in
    // front of the eye.
    near_ = std::max(camera_.distance - mesh.radius * 1.01 - 1, camera_.distance * 1e-3);
    far_ = camera_.distance + mesh.radius * 1.01 + 1;
    context_ = OSMesaCreateContextExt(OSMESA_BGRA, 24, 0, 0, nullptr);
    if (!context_) return false;
    pixels_.assign(static_cast<size_t>(kWidth) * kHeight, 0);
    if (!OSMesaMakeCurrent(context_, pixels_.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
      return false;
    }
    OSMesaPixelStore(OSMESA_Y_UP, 0);  // row 0 at the top, as the program stores its rows
    glViewport(0, 0, kWidth, kHeight);
    const float grey = kGreyLevel / 255.0f;
    glClearColor(grey, grey, grey, 1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glShadeModel(GL_FLAT);

    // One white directional light from the viewer and nothing else, so a face's colour is its
    // own times the cosine, as in the program.
    const GLfloat black[] = {0, 0, 0, 1};
    const GLfloat white[] = {1, 1, 1, 1};
    const GLfloat fromViewer[] = {0, 0, 1, 0};
    glEnable(GL_LIGHTING);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, black);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, fromViewer);  // in eye space: set under the identity
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);

    upload(mesh);
    return glGetError() == GL_NO_ERROR;
  }

  ~LlvmpipeRenderer() {
    if (buffer_) glDeleteBuffers(1, &buffer_);
    if (context_) OSMesaDestroyContext(context_);
  }

  std::string rendererName() const {
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return name ? name : "(none)";
  }

  void frame(const Angles& angles) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The program's projection as a frustum on the near plane. GL samples a pixel at its
    // centre, the program at its corner point: the centre moves half a pixel to line them up.
    // GL's window y grows upward, hence top and bottom from the centre's row.
    const double perUnit = near_ / camera_.scale;
    const double centreX = camera_.centreX + 0.5;
    const double centreY = camera_.centreY + 0.5;
    glFrustum(-centreX * perUnit, (kWidth - centreX) * perUnit, (centreY - kHeight) * perUnit,
              centreY * perUnit, near_, far_);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The program's view space has y down and z away from the eye; GL's eye space has y up and
    // looks along -z: half a turn about x, after the eye's distance and the rotation.
    glScaled(1, -1, -1);
    glTranslated(0, 0, camera_.distance);
    const Rotation rotation = rotationFor(angles);
    GLdouble matrix[16] = {};
    for (int row = 0; row < 3; ++row) {
      for (int column = 0; column < 3; ++column) matrix[column * 4 + row] = rotation.m[row][column];
    }
    matrix[15] = 1;
    glMultMatrixd(matrix);
    glDrawArrays(GL_TRIANGLES, 0, vertexTotal_);
    glFinish();
  }

  const std::vector<uint32_t>& pixels() const { return pixels_; }

 private:
  // Three vertices per face, each with the face's unit normal and colour, in one buffer.
  void upload(const PlainMesh& mesh) {
    std::vector<GlVertex> vertices;
    vertices.reserve(mesh.faces.size() * 3);
    for (const PlainFace& face : mesh.faces) {
      const PlainVertex& a = mesh.vertices[face.a];
      const PlainVertex& b = mesh.vertices[face.b];
      const PlainVertex& c = mesh.vertices[face.c];
      const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
      const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
      double n[3] = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
      const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      if (!(length > 0)) continue;  // no area, no direction: the program draws no light on it
      for (double& component : n) component /= length;
      for (const PlainVertex* corner : {&a, &b, &c}) {
        vertices.push_back(
            {{corner->x, corner->y, corner->z},
             {static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])},
             {face.red, face.green, face.blue, 255}});
      }
    }
    vertexTotal_ = static_cast<GLsizei>(vertices.size());
    glGenBuffers(1, &buffer_);
    glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(GlVertex)),
                 vertices.data(), GL_STATIC_DRAW);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(GlVertex),
                    reinterpret_cast<const void*>(offsetof(GlVertex, position)));
    glNormalPointer(GL_FLOAT, sizeof(GlVertex),
                    reinterpret_cast<const void*>(offsetof(GlVertex, normal)));
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(GlVertex),
                   reinterpret_cast<const void*>(offsetof(GlVertex, colour)));
  }

  OSMesaContext context_ = nullptr;
  std::vector<uint32_t> pixels_;
  GLuint buffer_ = 0;
  GLsizei vertexTotal_ = 0;
  Camera camera_;
  double near_ = 1;
  double far_ = 2;
};

// ---------------------------------------------------------------------------------------------
// Timing and comparing
// ---------------------------------------------------------------------------------------------

// One round: the mean milliseconds per frame of `frames` frames, after a warm-up.
double roundFrameMs(const Workload& workload, int32_t frames,
                    const std::function<void(const Angles&)>& drawFrame) {
  for (int32_t i = 0; i < kWarmUpFrames; ++i) drawFrame(frameAngles(workload, i));
  const auto start = std::chrono::steady_clock::now();
  for (int32_t i = 0; i < frames; ++i) drawFrame(frameAngles(workload, i));
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / frames;
}

std::optional<double> median(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Milliseconds per frame: the median over the rounds of each round's mean.
double medianFrameMs(const Workload& workload, const Options& options,
                     const std::function<void(const Angles&)>& drawFrame) {
  std::vector<double> rounds;
  for (int32_t round = 0; round < options.rounds; ++round) {
    rounds.push_back(roundFrameMs(workload, options.frames, drawFrame));
  }
  return *median(rounds);
}

// The share of pixels whose colours differ; rows of `other` are `stride` pixels apart.
double differingShare(const std::vector<uint32_t>& picture, const uint32_t* other, size_t stride) {
  size_t differing = 0;
  for (size_t y = 0; y < kHeight; ++y) {
    for (size_t x = 0; x < kWidth; ++x) {
      differing += ((picture[y * kWidth + x] ^ other[y * stride + x]) & kColourBits) != 0;
    }
  }
  return static_cast<double>(differing) / (static_cast<double>(kWidth) * kHeight);
}

// This program's picture of the workload's first frame, without the status line.
std::vector<uint32_t> programPicture(const Workload& workload) {
  renderFrame(workload.startAngle[0], workload.startAngle[1], workload.startAngle[2]);
  return drawingSurface.pixels;
}

// ---------------------------------------------------------------------------------------------
// The llvmpipe children
// ---------------------------------------------------------------------------------------------

// A child reports one "key value" line per result.
int runLlvmpipeChild(const Options& options) {
  const bool check = options.role == Role::kLlvmpipeCheck;
  const Workload& workload = check ? kCity : *options.workloads[0];
  if (!loadWorkload(workload)) return 1;
  std::vector<uint32_t> programPixels;
  std::vector<uint32_t> scalarPixels;
  const PlainMesh mesh = copyLoadedMesh();
  if (check) {
    setWorkerCount(1);
    programPixels = programPicture(workload);
    PlainFrame frame;
    scalarFrame(mesh, frameAngles(workload, 0), frame, scalarPixels);
  }
  LlvmpipeRenderer renderer;
  if (!renderer.open(mesh)) return 1;
  std::printf("renderer %s\n", renderer.rendererName().c_str());
  if (check) {
    renderer.frame(frameAngles(workload, 0));
    const uint32_t* pixels = renderer.pixels().data();
    std::printf("from-program %.6f\n", differingShare(programPixels, pixels, kWidth));
    std::printf("from-scalar %.6f\n", differingShare(scalarPixels, pixels, kWidth));
  } else {
    std::printf("ms %.6f\n",
                medianFrameMs(workload, options, [&](const Angles& a) { renderer.frame(a); }));
  }
  return 0;
}

struct ChildReport {
  std::string renderer;
  std::optional<double> ms;
  std::optional<double> fromProgram;  // share of pixels differing from this program's picture
  std::optional<double> fromScalar;   // and from the scalar filler's
};

// Starts this program again with `arguments` and LP_NUM_THREADS=threads (0: as inherited) and
// collects its report; nothing when it fails.
std::optional<ChildReport> llvmpipeChild(const std::vector<std::string>& arguments,
                                         int32_t threads) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    if (threads == 0 || std::strncmp(*entry, "LP_NUM_THREADS=", 15) != 0) {
      environment.emplace_back(*entry);
    }
  }
  if (threads > 0) environment.push_back("LP_NUM_THREADS=" + std::to_string(threads));
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argumentTexts{"compare_renderers"};
  argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argumentTexts) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  pid_t child = 0;
  std::fflush(stdout);
  const int failed =
      posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  std::string output;
  if (!failed) {
    char block[4096];
    ssize_t got = 0;
    while ((got = read(pipeEnds[0], block, sizeof block)) > 0) output.append(block, got);
  }
  close(pipeEnds[0]);
  if (failed) return std::nullopt;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return std::nullopt;
  }

  ChildReport report;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    start = end + 1;
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space);
    const std::string value = line.substr(space + 1);
    if (key == "renderer") report.renderer = value;
    if (key == "ms") report.ms = std::atof(value.c_str());
    if (key == "from-program") report.fromProgram = std::atof(value.c_str());
    if (key == "from-scalar") report.fromScalar = std::atof(value.c_str());
  }
  return report;
}

std::vector<std::string> childTimingArguments(const Workload& workload, const Options& options) {
  return {"--llvmpipe-times",
          "--workload",
          workload.name,
          "--frames",
          std::to_string(options.frames),
          "--rounds",
          std::to_string(options.rounds)};
}

// ---------------------------------------------------------------------------------------------
// The comparison
// ---------------------------------------------------------------------------------------------

std::string percent(std::optional<double> share) {
  if (!share) return "failed";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f %%", *share * 100);
  return text;
}

// The scalar filler, cairo and llvmpipe against this program on city's first frame, and the
// other two against the scalar filler. The program paints each triangle's one-pixel outline
// besides its inside, which on city's thin faces makes most of its share; the others, sampling
// alike, should nearly agree among themselves.
void printCheck() {
  if (!loadWorkload(kCity)) {
    std::printf("check: %s is missing\n", kCity.name);
    return;
  }
  const std::vector<uint32_t> expected = programPicture(kCity);
  const std::vector<uint32_t> background(expected.size(), pixelFromColour(kGrey));
  const PlainMesh mesh = copyLoadedMesh();
  PlainFrame frame;
  std::vector<uint32_t> scalar;
  scalarFrame(mesh, frameAngles(kCity, 0), frame, scalar);
  CairoCanvas canvas;
  cairoFrame(mesh, frameAngles(kCity, 0), frame, canvas);
  const auto* cairoPixels =
      reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(canvas.surface));
  const auto cairoStride =
      static_cast<size_t>(cairo_image_surface_get_stride(canvas.surface)) / sizeof(uint32_t);
  const std::optional<ChildReport> llvmpipe = llvmpipeChild({"--llvmpipe-check"}, 0);

  std::printf("OSMesa renderer: %s\n", llvmpipe ? llvmpipe->renderer.c_str() : "failed to start");
  std::printf("check, %s at %g,%g,%g, whose picture covers %s of the frame: pixels differing\n",
              kCity.name, kCity.startAngle[0], kCity.startAngle[1], kCity.startAngle[2],
              percent(differingShare(expected, background.data(), kWidth)).c_str());
  std::printf("  from this program's picture: scalar filler %s, cairo %s, llvmpipe %s\n",
              percent(differingShare(expected, scalar.data(), kWidth)).c_str(),
              percent(differingShare(expected, cairoPixels, cairoStride)).c_str(),
              percent(llvmpipe ? llvmpipe->fromProgram : std::nullopt).c_str());
  std::printf("  from the scalar filler's: cairo %s, llvmpipe %s\n",
              percent(differingShare(scalar, cairoPixels, cairoStride)).c_str(),
              percent(llvmpipe ? llvmpipe->fromScalar : std::nullopt).c_str());
}

std::string cell(std::optional<double> ms) {
  if (!ms) return "failed";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", *ms);
  return text;
}

int compare(const Options& options) {
  const int32_t allThreads = workerCount();
  std::printf(
      "%d x %d, ms per frame: the median of %d rounds of %d frames (each after %d warm-up "
      "frames; the renderers take turns round by round), turning one degree about each axis "
      "per frame\n",
      kWidth, kHeight, options.rounds, options.frames, kWarmUpFrames);
  std::printf("this program: vectors %s, 1 and %d threads\n",
              std::string(vectorPathName(vectorPath)).c_str(), allThreads);
  printCheck();
  std::printf("\n%-10s %8s %10s %10s %10s %10s %10s %10s %12s\n", "workload", "faces", "program",
              "program", "scalar", "llvmpipe", "llvmpipe", "cairo", "program /");
  const std::string allLabel =
      std::to_string(allThreads) + (allThreads == 1 ? " thread" : " threads");
  std::printf("%-10s %8s %10s %10s %10s %10s %10s %10s %12s\n", "", "", "1 thread",
              allLabel.c_str(), "filler", "2 threads", "1 thread", "", "best other");
  std::fflush(stdout);

  for (const Workload* workload : options.workloads) {
    if (!loadWorkload(*workload)) {
      std::printf("%-10s missing\n", workload->name);
      continue;
    }
    const auto drawProgram = [](const Angles& a) { renderFrame(a.x, a.y, a.z); };
    const PlainMesh mesh = copyLoadedMesh();
    PlainFrame frame;
    std::vector<uint32_t> scalarPixels;
    CairoCanvas canvas;
    // The renderers take turns round by round, so that a change in the machine's speed during
    // the run (other work on it) falls on all of them alike.
    std::vector<double> programOneRounds, programAllRounds, scalarRounds, cairoRounds;
    std::vector<double> llvmpipeTwoRounds, llvmpipeOneRounds;
    const Options oneRound = [&] {
      Options copy = options;
      copy.rounds = 1;
      return copy;
    }();
    for (int32_t round = 0; round < options.rounds; ++round) {
      setWorkerCount(1);
      programOneRounds.push_back(roundFrameMs(*workload, options.frames, drawProgram));
      setWorkerCount(allThreads);
      programAllRounds.push_back(roundFrameMs(*workload, options.frames, drawProgram));
      scalarRounds.push_back(roundFrameMs(*workload, options.frames, [&](const Angles& a) {
        scalarFrame(mesh, a, frame, scalarPixels);
      }));
      cairoRounds.push_back(roundFrameMs(
          *workload, options.frames, [&](const Angles& a) { cairoFrame(mesh, a, frame, canvas); }));
      for (const int32_t threads : {2, 1}) {
        const std::optional<ChildReport> report =
            llvmpipeChild(childTimingArguments(*workload, oneRound), threads);
        if (report && report->ms) {
          (threads == 2 ? llvmpipeTwoRounds : llvmpipeOneRounds).push_back(*report->ms);
        }
      }
    }
    const double programOne = *median(programOneRounds);
    const double programAll = *median(programAllRounds);
    const double scalar = *median(scalarRounds);
    const double cairo = *median(cairoRounds);
    const std::optional<double> llvmpipeTwo = median(llvmpipeTwoRounds);
    const std::optional<double> llvmpipeOne = median(llvmpipeOneRounds);

    double bestOther = std::min(scalar, cairo);
    for (const std::optional<double>& ms : {llvmpipeTwo, llvmpipeOne}) {
      if (ms) bestOther = std::min(bestOther, *ms);
    }
    std::printf("%-10s %8zu %10s %10s %10s %10s %10s %10s %12.2f\n", workload->name,
                mesh.faces.size(), cell(programOne).c_str(), cell(programAll).c_str(),
                cell(scalar).c_str(), cell(llvmpipeTwo).c_str(), cell(llvmpipeOne).c_str(),
                cell(cairo).c_str(), programAll / bestOther);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace
}  // namespace corvath

int main(int argc, char** argv) {
  corvath::Options options;
  if (!corvath::parseOptions(argc, argv, options)) {
    std::fputs(corvath::kUsage, stderr);
    return 2;
  }
  if (options.role != corvath::Role::kCompare) return corvath::runLlvmpipeChild(options);
  return corvath::compare(options);
}
