// cairo: the plain frame filled path by path on an image surface, without antialiasing.
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "plain_frame.hpp"
#include "renderers.hpp"

namespace corvath {
namespace {

class CairoRenderer final : public Renderer {
 public:
  explicit CairoRenderer(const PlainMesh& mesh) : mesh_(mesh) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    context_ = cairo_create(surface_);
    cairo_set_antialias(context_, CAIRO_ANTIALIAS_NONE);
    // cairo paints a pixel when its centre lies inside, the program when its corner point does.
    cairo_translate(context_, 0.5, 0.5);
  }
  ~CairoRenderer() override {
    cairo_destroy(context_);
    cairo_surface_destroy(surface_);
  }
  CairoRenderer(const CairoRenderer&) = delete;
  CairoRenderer& operator=(const CairoRenderer&) = delete;

  void drawFrame(const Angles& angles) override {
    prepareFrame(mesh_, angles, frame_);
    cairo_t* cr = context_;
    const double grey = kGreyLevel / 255.0;
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_paint(cr);
    for (const ScreenTriangle& t : frame_.triangles) {
      cairo_set_source_rgb(cr, t.red / 255.0, t.green / 255.0, t.blue / 255.0);
      cairo_move_to(cr, t.x[0], t.y[0]);
      cairo_line_to(cr, t.x[1], t.y[1]);
      cairo_line_to(cr, t.x[2], t.y[2]);
      cairo_close_path(cr);
      cairo_fill(cr);
    }
    cairo_surface_flush(surface_);
  }

  PixelRows pixels() const override {
    return {reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface_)),
            static_cast<size_t>(cairo_image_surface_get_stride(surface_)) / sizeof(uint32_t)};
  }

 private:
  const PlainMesh& mesh_;
  PlainFrame frame_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* context_ = nullptr;
};

}  // namespace

std::unique_ptr<Renderer> makeCairo(const PlainMesh& mesh) {
  return std::make_unique<CairoRenderer>(mesh);
}

}  // namespace corvath
