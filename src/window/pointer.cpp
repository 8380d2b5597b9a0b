// The pointer's buttons as the event handler asks for them, and the file dropped on the window.
#include <array>
#include <utility>

#include "window/window.hpp"

namespace corvath {
namespace {

// One button as the asynchronous query sees it.
struct ButtonState {
  bool down = false;
  bool pressedSinceQuery = false;
};

constexpr int16_t kHeldBit = -32768;  // 0x8000: down now
constexpr int16_t kPressedBit = 1;    // pressed since the previous query

std::array<ButtonState, 3> buttonStates;  // indexed by kLeftButton and kRightButton
std::string droppedFile;                  // the last file dropped on the window, until taken

ButtonState* buttonState(int32_t button) {
  if (button != kLeftButton && button != kRightButton) return nullptr;
  return &buttonStates[static_cast<size_t>(button)];
}

}  // namespace

void noteMouseButton(int32_t button, bool down) {
  ButtonState* state = buttonState(button);
  if (state == nullptr) return;
  if (down && !state->down) state->pressedSinceQuery = true;
  state->down = down;
}

int16_t asyncButtonState(int32_t button) {
  ButtonState* state = buttonState(button);
  if (state == nullptr) return 0;
  const auto result = static_cast<int16_t>((state->down ? kHeldBit : 0) |
                                           (state->pressedSinceQuery ? kPressedBit : 0));
  state->pressedSinceQuery = false;
  return result;
}

void resetMouseButtons() {
  buttonStates = {};
}

void noteDroppedFile(const std::string& path) {
  droppedFile = path;
}

std::string takeDroppedFile() {
  return std::exchange(droppedFile, std::string());
}

}  // namespace corvath
