// The main window on SDL2: desktop metrics, the window with its event loop, timers, message box.
#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xresource.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "window/window.hpp"
#include "window/window_sdl.hpp"

namespace corvath {

namespace {

struct FrameTimer {
  uint32_t identifier = 0;
  SDL_TimerID sdlTimer = 0;  // 0 while stopped
  // Set by SDL's timer thread when it queues a tick, cleared when the tick is handled, so a
  // slow frame never lets ticks pile up.
  std::atomic<bool> tickPending{false};
};

struct MainWindowState {
  SDL_Window* window = nullptr;
  MessageHandler handler = nullptr;
  SDL_Surface* source = nullptr;  // the drawing surface's pixels, wrapped without copying
  bool ending = false;
};

// Parameters of the messages the window sends (their numbers are in platform.hpp).
constexpr int64_t kWindowHandle = 1;
constexpr uint64_t kSizeRestored = 0;
constexpr uint64_t kSizeMaximised = 2;
constexpr int64_t kClientArea = 1;  // second parameter of kCursorMessage: over the picture
constexpr uint64_t kLeftButtonFlag = 1;
constexpr uint64_t kRightButtonFlag = 2;
constexpr uint64_t kAcceleratorCode = uint64_t{1} << 16;  // a command from a shortcut key

// The desktop's logical resolution when it sets none; settings outside the range are mistakes.
constexpr int32_t kDefaultDotsPerInch = 96;
constexpr double kLowestDotsPerInch = 24;
constexpr double kHighestDotsPerInch = 960;

MainWindowState mainState;
// Records are never freed: SDL's timer thread may still be inside a callback after removal.
std::map<uint32_t, std::unique_ptr<FrameTimer>> frameTimers;
Uint32 timerEventType = 0;  // registered once; 0 until then

XErrorHandler nextXErrorHandler = nullptr;
bool lostWakeupsHarmless = false;

// SDL wakes its waiting event loop by sending an event to one of our windows over a second
// connection to the X server. The server may take that event after the window was destroyed
// over the first connection (an error box just closed), and X's default answer to the error is
// to end the program. Nothing is lost when such a wake-up goes astray: SDL wakes on its own
// connection's next event all the same.
int ignoreLostWakeup(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return nextXErrorHandler != nullptr ? nextXErrorHandler(display, error) : 0;
}

void keepLostWakeupsHarmless() {
  if (lostWakeupsHarmless) return;
  // Installed after SDL's own handler, which it keeps for every other error.
  nextXErrorHandler = XSetErrorHandler(ignoreLostWakeup);
  lostWakeupsHarmless = true;
}

bool initSubsystems(Uint32 flags) {
  return SDL_WasInit(flags) == flags || SDL_InitSubSystem(flags) == 0;
}

bool initTimerEvents() {
  if (!initSubsystems(SDL_INIT_TIMER | SDL_INIT_EVENTS)) return false;
  if (timerEventType == 0) {
    const Uint32 type = SDL_RegisterEvents(1);
    if (type == static_cast<Uint32>(-1)) return false;
    timerEventType = type;
  }
  return true;
}

Uint32 onTimerTick(Uint32 interval, void* param) {
  // Runs on SDL's timer thread: only the atomic flag and the thread-safe queue are touched.
  auto* timer = static_cast<FrameTimer*>(param);
  if (!timer->tickPending.exchange(true)) {
    SDL_Event event{};
    event.type = timerEventType;
    event.user.data1 = param;
    if (SDL_PushEvent(&event) != 1) timer->tickPending = false;
  }
  return interval;
}

void deliver(uint32_t message, uint64_t first, int64_t second) {
  if (mainState.handler != nullptr) mainState.handler(kWindowHandle, message, first, second);
}

void deliverCommand(uint64_t command) {
  deliver(kCommandMessage, command, 0);
}

void deliverCursorMessage(uint32_t mouseMessage) {
  deliver(kCursorMessage, static_cast<uint64_t>(kWindowHandle),
          kClientArea | (static_cast<int64_t>(mouseMessage) << 16));
}

int64_t packClientSize(int width, int height) {
  return static_cast<int64_t>(height) * 65536 + width;
}

void releaseSource() {
  if (mainState.source != nullptr) SDL_FreeSurface(mainState.source);
  mainState.source = nullptr;
}

int32_t pointerCoordinate(Sint32 value) {
  return value < 0 ? 0 : (value > 0xFFFF ? 0xFFFF : value);
}

// Motion that piled up while a frame was drawn: only the newest position matters. Only motion
// directly at the head of the queue is merged, so presses and releases keep their order.
SDL_MouseMotionEvent newestMotion(SDL_MouseMotionEvent motion) {
  SDL_PumpEvents();
  SDL_Event next;
  while (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
         next.type == SDL_MOUSEMOTION) {
    if (SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION) != 1) break;
    motion = next.motion;
  }
  return motion;
}

void handleMotion(const SDL_MouseMotionEvent& event) {
  const SDL_MouseMotionEvent motion = newestMotion(event);
  uint64_t buttons = 0;
  if (motion.state & SDL_BUTTON_LMASK) buttons |= kLeftButtonFlag;
  if (motion.state & SDL_BUTTON_RMASK) buttons |= kRightButtonFlag;
  // A release can go missing (the button let go while another window had the pointer); a
  // button the motion finds up must not go on zooming.
  if ((buttons & kLeftButtonFlag) == 0) noteMouseButton(kLeftButton, false);
  if ((buttons & kRightButtonFlag) == 0) noteMouseButton(kRightButton, false);
  // While a button is held the window keeps getting the pointer outside its client area; those
  // positions neither turn the model nor zoom it.
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(mainState.window, &width, &height);
  if (motion.x < 0 || motion.y < 0 || motion.x >= width || motion.y >= height) return;
  const int64_t position =
      (static_cast<int64_t>(pointerCoordinate(motion.y)) << 16) | pointerCoordinate(motion.x);
  deliverCursorMessage(kMouseMoveMessage);
  if (mainState.ending) return;
  deliver(kMouseMoveMessage, buttons, position);
}

int32_t buttonFromSdl(Uint8 button) {
  if (button == SDL_BUTTON_LEFT) return kLeftButton;
  if (button == SDL_BUTTON_RIGHT) return kRightButton;
  return 0;
}

void handleButton(const SDL_MouseButtonEvent& event, bool down) {
  const int32_t button = buttonFromSdl(event.button);
  if (button != 0) noteMouseButton(button, down);
  if (!down) return;
  if (event.button == SDL_BUTTON_LEFT) {
    deliverCursorMessage(kLeftDownMessage);
  } else if (event.button == SDL_BUTTON_RIGHT) {
    deliverCursorMessage(kRightDownMessage);
  } else {
    deliverCursorMessage(kMiddleDownMessage);
  }
}

void handleKey(const SDL_KeyboardEvent& event) {
  const SDL_Keycode key = event.keysym.sym;
  const Uint16 modifiers = event.keysym.mod;
  if (key == SDLK_ESCAPE) {
    deliverCommand(kCancelCommand);
  } else if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
    deliverCommand(kOkCommand);
  } else if (event.repeat != 0) {
    // A held key toggles or saves once.
  } else if (key == SDLK_SPACE && (modifiers & (KMOD_CTRL | KMOD_ALT)) == 0) {
    deliverCommand(kAcceleratorCode | kAnimateCommand);
  } else if (key == SDLK_F5) {
    deliverCommand(kAcceleratorCode | kReloadCommand);
  } else if (key == SDLK_s && (modifiers & KMOD_CTRL) != 0) {
    deliverCommand(kAcceleratorCode | kSaveCommand);
  } else if (key == SDLK_F4 && (modifiers & KMOD_ALT) != 0) {
    // Window managers turn Alt+F4 into a close request themselves; without one, this does.
    endMainWindow();
  }
}

void handleWindowEvent(const SDL_WindowEvent& event) {
  switch (event.event) {
    case SDL_WINDOWEVENT_EXPOSED:
      presentDrawingSurface();
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
      const bool maximised = (SDL_GetWindowFlags(mainState.window) & SDL_WINDOW_MAXIMIZED) != 0;
      deliver(kSizeMessage, maximised ? kSizeMaximised : kSizeRestored,
              packClientSize(event.data1, event.data2));
      presentDrawingSurface();
      break;
    }
    case SDL_WINDOWEVENT_CLOSE:
      endMainWindow();
      break;
    default:
      break;
  }
}

void handleTimerEvent(const SDL_UserEvent& event) {
  auto* timer = static_cast<FrameTimer*>(event.data1);
  timer->tickPending = false;
  // A tick queued just before its timer was stopped is dropped.
  if (timerRunning(timer->identifier)) deliver(kTimerMessage, timer->identifier, 0);
}

void dispatch(const SDL_Event& event) {
  switch (event.type) {
    case SDL_MOUSEMOTION:
      handleMotion(event.motion);
      break;
    case SDL_MOUSEBUTTONDOWN:
      handleButton(event.button, true);
      break;
    case SDL_MOUSEBUTTONUP:
      handleButton(event.button, false);
      break;
    case SDL_KEYDOWN:
      handleKey(event.key);
      break;
    case SDL_WINDOWEVENT:
      handleWindowEvent(event.window);
      break;
    case SDL_QUIT:
      endMainWindow();
      break;
    case SDL_DROPFILE:
      if (event.drop.file != nullptr) {
        noteDroppedFile(event.drop.file);
        SDL_free(event.drop.file);
        deliver(kDropMessage, 0, 0);
      }
      break;
    default:
      if (timerEventType != 0 && event.type == timerEventType) handleTimerEvent(event.user);
      break;
  }
}

// A desktop's display: X11, else Wayland. SDL would otherwise fall back to its off-screen driver
// and run with no window anyone can see; that one and the dummy driver only when asked for by
// SDL_VIDEODRIVER.
bool startVideoDriver() {
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  if (asked != nullptr && asked[0] != '\0') return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  // A Wayland compositor's socket lives in the runtime folder; without one, the client library
  // would only print its own complaint.
  const char* runtime = SDL_getenv("XDG_RUNTIME_DIR");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  if ((runtime == nullptr || runtime[0] == '\0') && (wayland == nullptr || wayland[0] != '/')) {
    return false;
  }
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
  return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

}  // namespace

bool initVideo() {
  // The window shows a ready-made image: a plain window surface needs no renderer.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A viewer has no reason to keep the screen saver away.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && !startVideoDriver()) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver != nullptr && SDL_strcmp(driver, "x11") == 0) keepLostWakeupsHarmless();
  return true;
}

// Copies the whole drawing surface to the top left of the window's client area.
void presentDrawingSurface() {
  SDL_Window* window = mainState.window;
  if (window == nullptr || drawingSurface.pixels.empty()) return;
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (target == nullptr) return;
  SDL_Surface*& source = mainState.source;
  if (source == nullptr || source->pixels != drawingSurface.pixels.data() ||
      source->w != drawingSurface.width || source->h != drawingSurface.height) {
    releaseSource();
    source = SDL_CreateRGBSurfaceWithFormatFrom(drawingSurface.pixels.data(), drawingSurface.width,
                                                drawingSurface.height, 32, drawingSurface.width * 4,
                                                SDL_PIXELFORMAT_XRGB8888);
    if (source == nullptr) return;
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  }
  if (target->w > source->w || target->h > source->h) {
    SDL_FillRect(target, nullptr,
                 SDL_MapRGB(target->format, colourRed(kButtonFaceColour),
                            colourGreen(kButtonFaceColour), colourBlue(kButtonFaceColour)));
  }
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_UpdateWindowSurface(window);
}

void dropTimerTick(const SDL_Event& event) {
  if (timerEventType != 0 && event.type == timerEventType) {
    static_cast<FrameTimer*>(event.user.data1)->tickPending = false;
  }
}

bool desktopSize(int32_t& width, int32_t& height) {
  if (!initVideo()) return false;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
  width = mode.w;
  height = mode.h;
  return true;
}

int32_t dotsPerInchFromResources(const char* resources) {
  if (resources == nullptr) return kDefaultDotsPerInch;
  XrmInitialize();
  XrmDatabase database = XrmGetStringDatabase(resources);
  if (database == nullptr) return kDefaultDotsPerInch;
  char* type = nullptr;
  XrmValue value{};
  int32_t dotsPerInch = kDefaultDotsPerInch;
  if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
    char* end = nullptr;
    const double setting = std::strtod(value.addr, &end);
    if (end != value.addr && setting >= kLowestDotsPerInch && setting <= kHighestDotsPerInch) {
      dotsPerInch = static_cast<int32_t>(std::lrint(setting));
    }
  }
  XrmDestroyDatabase(database);
  return dotsPerInch;
}

int32_t displayDotsPerInch() {
  // The desktop's chosen scale, not the monitor's physical density: the same text size on
  // every screen unless the user asks for larger. Desktops publish it as the X resource
  // Xft.dpi (XWayland included); without an X display there is no setting to read.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return kDefaultDotsPerInch;
  const int32_t dotsPerInch = dotsPerInchFromResources(XResourceManagerString(display));
  XCloseDisplay(display);
  return dotsPerInch;
}

bool runMainWindow(const std::string& caption, int32_t clientWidth, int32_t clientHeight,
                   MessageHandler handler) {
  if (mainState.window != nullptr || handler == nullptr || !initVideo()) return false;
  // Without a window manager a window never maximises; created over the usable area of the
  // display it covers the screen all the same.
  SDL_Rect bounds{0, 0, clientWidth, clientHeight};
  if (SDL_GetDisplayUsableBounds(0, &bounds) != 0)
    bounds = SDL_Rect{0, 0, clientWidth, clientHeight};
  SDL_Window* window = SDL_CreateWindow(caption.c_str(), bounds.x, bounds.y, bounds.w, bounds.h,
                                        SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (window == nullptr) return false;
  mainState.window = window;
  mainState.handler = handler;
  mainState.ending = false;

  deliver(kCreateMessage, static_cast<uint64_t>(kWindowHandle), 0);
  if (!mainState.ending) {
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(window, &width, &height);
    deliver(kSizeMessage, kSizeMaximised, packClientSize(width, height));
  }
  if (!mainState.ending) {
    setRefreshFunction(presentDrawingSurface);
    SDL_ShowWindow(window);
    SDL_MaximizeWindow(window);
    presentDrawingSurface();
  }
  while (!mainState.ending) {
    SDL_Event event;
    if (SDL_WaitEvent(&event) == 0) {
      endMainWindow();
      break;
    }
    dispatch(event);
  }

  setRefreshFunction(nullptr);
  releaseSource();
  SDL_DestroyWindow(window);
  mainState = MainWindowState{};
  return true;
}

void endMainWindow() {
  if (mainState.window == nullptr || mainState.ending) return;
  // The destroy message reaches the handler before the caller returns, as the run ends.
  mainState.ending = true;
  deliver(kDestroyMessage, 0, 0);
}

void setMainWindowCaption(const std::string& caption) {
  if (mainState.window != nullptr) SDL_SetWindowTitle(mainState.window, caption.c_str());
}

void startTimer(uint32_t identifier, uint32_t periodMilliseconds) {
  stopTimer(identifier);
  if (!initTimerEvents()) return;
  std::unique_ptr<FrameTimer>& record = frameTimers[identifier];
  if (!record) {
    record = std::make_unique<FrameTimer>();
    record->identifier = identifier;
  }
  const Uint32 period = periodMilliseconds == 0 ? 1 : periodMilliseconds;
  record->sdlTimer = SDL_AddTimer(period, onTimerTick, record.get());
}

void stopTimer(uint32_t identifier) {
  const auto found = frameTimers.find(identifier);
  if (found == frameTimers.end() || found->second->sdlTimer == 0) return;
  SDL_RemoveTimer(found->second->sdlTimer);
  found->second->sdlTimer = 0;
}

bool timerRunning(uint32_t identifier) {
  const auto found = frameTimers.find(identifier);
  return found != frameTimers.end() && found->second->sdlTimer != 0;
}

}  // namespace corvath
