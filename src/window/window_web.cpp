// The main window in a web page (Emscripten): the page's canvas stands for the window. The
// browser calls in once per event and per timer tick (the corvathWeb... functions), and each
// call is handed to the handler as the desktop window hands its events; the box is the page's.
#include <emscripten.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "window/window.hpp"

namespace corvath {

namespace {

// Parameters of the messages, as the desktop window sends them.
constexpr int64_t kWindowHandle = 1;
constexpr uint64_t kSizeMaximised = 2;
constexpr int64_t kClientArea = 1;
constexpr uint64_t kLeftButtonFlag = 1;
constexpr uint64_t kRightButtonFlag = 2;
constexpr uint64_t kAcceleratorCode = uint64_t{1} << 16;
// The page sets no text scale of its own: text is sized as on a desktop at 96 dots per inch.
constexpr int32_t kPageDotsPerInch = 96;

MessageHandler mainHandler = nullptr;
bool windowOpen = false;
int32_t canvasWidth = 0;
int32_t canvasHeight = 0;
std::set<uint32_t> runningTimers;
// The surface's pixels as the canvas takes them: red, green, blue, opaque alpha.
std::vector<uint8_t> canvasPixels;

// clang-format off
EM_JS(int32_t, pageCanvasWidth, (), { return Module['corvathCanvasWidth'] | 0; });
EM_JS(int32_t, pageCanvasHeight, (), { return Module['corvathCanvasHeight'] | 0; });
EM_JS(void, pageShowPixels, (const uint8_t* pixels, int32_t width, int32_t height), {
  const show = Module['corvathShowPixels'];
  if (show) show(HEAPU8.slice(pixels, pixels + width * height * 4), width, height);
});
EM_JS(void, pageSetTitle, (const char* caption), {
  const title = UTF8ToString(caption);
  if (typeof document !== 'undefined') document.title = title;
});
EM_JS(void, pageShowMessage, (const char* text), {
  const show = Module['corvathShowMessage'];
  if (show) show(UTF8ToString(text));
});
EM_JS(void, pageStartTimer, (uint32_t identifier, uint32_t period), {
  const timers = Module['corvathTimers'] || (Module['corvathTimers'] = {});
  clearInterval(timers[identifier]);
  timers[identifier] = setInterval(function() { Module['_corvathWebTimer'](identifier); }, period);
});
EM_JS(void, pageStopTimer, (uint32_t identifier), {
  const timers = Module['corvathTimers'] || {};
  clearInterval(timers[identifier]);
  delete timers[identifier];
});
// clang-format on

void deliver(uint32_t message, uint64_t first, int64_t second) {
  if (windowOpen && mainHandler != nullptr) mainHandler(kWindowHandle, message, first, second);
}

void deliverCursorMessage(uint32_t mouseMessage) {
  deliver(kCursorMessage, static_cast<uint64_t>(kWindowHandle),
          kClientArea | (static_cast<int64_t>(mouseMessage) << 16));
}

void presentOnCanvas() {
  const Surface& surface = drawingSurface;
  const size_t count = static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height);
  if (!windowOpen || count == 0 || surface.pixels.size() < count) return;
  canvasPixels.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t pixel = surface.pixels[i];
    canvasPixels[4 * i] = static_cast<uint8_t>(pixel >> 16);
    canvasPixels[4 * i + 1] = static_cast<uint8_t>(pixel >> 8);
    canvasPixels[4 * i + 2] = static_cast<uint8_t>(pixel);
    canvasPixels[4 * i + 3] = 255;
  }
  pageShowPixels(canvasPixels.data(), surface.width, surface.height);
}

}  // namespace

bool desktopSize(int32_t& width, int32_t& height) {
  width = pageCanvasWidth();
  height = pageCanvasHeight();
  return width > 0 && height > 0;
}

int32_t displayDotsPerInch() {
  return kPageDotsPerInch;
}

bool runMainWindow(const std::string& caption, int32_t clientWidth, int32_t clientHeight,
                   MessageHandler handler) {
  if (windowOpen || handler == nullptr) return false;
  mainHandler = handler;
  windowOpen = true;
  canvasWidth = clientWidth;
  canvasHeight = clientHeight;
  pageSetTitle(caption.c_str());
  setRefreshFunction(presentOnCanvas);
  deliver(kCreateMessage, static_cast<uint64_t>(kWindowHandle), 0);
  deliver(kSizeMessage, kSizeMaximised, static_cast<int64_t>(clientHeight) * 65536 + clientWidth);
  presentOnCanvas();
  // The page's event loop runs the window from here on: the calls below.
  return true;
}

void endMainWindow() {
  // A page is closed by the browser, not by the viewer: Escape leaves it open.
}

void setMainWindowCaption(const std::string& caption) {
  if (windowOpen) pageSetTitle(caption.c_str());
}

void startTimer(uint32_t identifier, uint32_t periodMilliseconds) {
  runningTimers.insert(identifier);
  pageStartTimer(identifier, periodMilliseconds == 0 ? 1 : periodMilliseconds);
}

void stopTimer(uint32_t identifier) {
  if (runningTimers.erase(identifier) != 0) pageStopTimer(identifier);
}

bool timerRunning(uint32_t identifier) {
  return runningTimers.count(identifier) != 0;
}

MessageBoxShown showWindowMessageBox(const std::string& text) {
  pageShowMessage(text.c_str());
  return MessageBoxShown::kOwnBox;
}

}  // namespace corvath

// The page's events, called from JavaScript.
extern "C" {

// The pointer at (x, y) in canvas pixels, with the buttons held (1 left, 2 right).
EMSCRIPTEN_KEEPALIVE void corvathWebMouseMove(int32_t x, int32_t y, int32_t buttons) {
  using namespace corvath;
  const auto held = static_cast<uint64_t>(buttons);
  // A release outside the page goes unseen; a button the motion finds up must not zoom.
  if ((held & kLeftButtonFlag) == 0) noteMouseButton(kLeftButton, false);
  if ((held & kRightButtonFlag) == 0) noteMouseButton(kRightButton, false);
  if (x < 0 || y < 0 || x >= canvasWidth || y >= canvasHeight) return;
  deliverCursorMessage(kMouseMoveMessage);
  deliver(kMouseMoveMessage, held, (static_cast<int64_t>(y) << 16) | x);
}

// A button (0 left, 1 middle, 2 right, as the DOM numbers them) pressed or released.
EMSCRIPTEN_KEEPALIVE void corvathWebMouseButton(int32_t button, int32_t down) {
  using namespace corvath;
  const int32_t ours = button == 0 ? kLeftButton : (button == 2 ? kRightButton : 0);
  if (ours != 0) noteMouseButton(ours, down != 0);
  if (down == 0) return;
  deliverCursorMessage(button == 0   ? kLeftDownMessage
                       : button == 2 ? kRightDownMessage
                                     : kMiddleDownMessage);
}

// A command from a key (kAnimateCommand, kSaveCommand, kReloadCommand, ...).
EMSCRIPTEN_KEEPALIVE void corvathWebCommand(uint32_t command) {
  corvath::deliver(corvath::kCommandMessage, corvath::kAcceleratorCode | command, 0);
}

// A tick of a timer started with startTimer; ticks of a stopped timer are dropped.
EMSCRIPTEN_KEEPALIVE void corvathWebTimer(uint32_t identifier) {
  if (corvath::timerRunning(identifier)) {
    corvath::deliver(corvath::kTimerMessage, identifier, 0);
  }
}

// A file the page has written into its file system at `path`, dropped on the canvas.
EMSCRIPTEN_KEEPALIVE void corvathWebDrop(const char* path) {
  corvath::noteDroppedFile(path);
  corvath::deliver(corvath::kDropMessage, 0, 0);
}
}
