// The surface frames are drawn on, and the hooks through which the window shows it and its boxes.
#include <utility>

#include "view/view.hpp"

namespace corvath {
namespace {

std::function<void()> refreshFunction;
std::function<void(const std::string&)> messageBoxFunction;

}  // namespace

Surface drawingSurface;
bool drawingSurfaceSelected = false;

void refreshDrawingSurface() {
  if (refreshFunction) refreshFunction();
}

void setRefreshFunction(std::function<void()> refresh) {
  refreshFunction = std::move(refresh);
}

void showMessageBox(const std::string& text) {
  if (messageBoxFunction) messageBoxFunction(text);
}

void setMessageBoxFunction(std::function<void(const std::string&)> show) {
  messageBoxFunction = std::move(show);
}

}  // namespace corvath
