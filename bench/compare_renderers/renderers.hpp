// The renderers timed beside this program: the scene in plain arrays as each of them takes it,
// and what each one's file provides (scalar_filler.cpp, cairo.cpp, llvmpipe.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "numbers/numbers.hpp"

namespace corvath {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kGreyLevel = 128;
constexpr int32_t kGrey = packColour(kGreyLevel, kGreyLevel, kGreyLevel);

// Degrees about each axis, turned in the program's order.
struct Angles {
  double x = 0;
  double y = 0;
  double z = 0;
};

// The program's camera after prepareViewer: screen = scale * x / (distance + z) + centre.
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

// The view rotation: the transpose of Rz * Ry * Rx, the order in which the program turns.
struct Rotation {
  double m[3][3];
};

Rotation rotationFor(const Angles& angles);

// A picture of kHeight rows of kWidth pixels 0x..RRGGBB (the top byte is alpha or nothing),
// its rows `stride` pixels apart.
struct PixelRows {
  const uint32_t* pixels = nullptr;
  size_t stride = kWidth;
};

class Renderer {
 public:
  virtual ~Renderer() = default;
  // The whole frame of the mesh turned by `angles`, finished when this returns.
  virtual void drawFrame(const Angles& angles) = 0;
  // The last frame drawn; valid until the next drawFrame.
  virtual PixelRows pixels() const = 0;
};

// Each renderer is made for one mesh, which must outlive it.
std::unique_ptr<Renderer> makeScalarFiller(const PlainMesh& mesh);
std::unique_ptr<Renderer> makeCairo(const PlainMesh& mesh);
// Empty when OSMesa makes no context. llvmpipe takes its thread count from LP_NUM_THREADS when
// the context is made.
std::unique_ptr<Renderer> makeLlvmpipe(const PlainMesh& mesh);
// The GL renderer's own name, while a renderer from makeLlvmpipe lives.
std::string llvmpipeRendererName();

}  // namespace corvath
