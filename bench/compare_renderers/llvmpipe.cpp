// llvmpipe through OSMesa: the mesh in one vertex buffer, drawn with the fixed-function
// pipeline set up to light, cull and sample as the program does.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "renderers.hpp"

namespace corvath {
namespace {

struct GlVertex {
  float position[3];
  float normal[3];
  uint8_t colour[4];
};

class LlvmpipeRenderer final : public Renderer {
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

  ~LlvmpipeRenderer() override {
    if (buffer_) glDeleteBuffers(1, &buffer_);
    if (context_) OSMesaDestroyContext(context_);
  }

  void drawFrame(const Angles& angles) override {
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

  PixelRows pixels() const override { return {pixels_.data(), kWidth}; }

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

}  // namespace

std::unique_ptr<Renderer> makeLlvmpipe(const PlainMesh& mesh) {
  auto renderer = std::make_unique<LlvmpipeRenderer>();
  if (!renderer->open(mesh)) return nullptr;
  return renderer;
}

std::string llvmpipeRendererName() {
  const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return name ? name : "(none)";
}

}  // namespace corvath
