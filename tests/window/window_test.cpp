// The window layer without a desktop: SDL's off-screen driver stands in for the display.
#include <SDL.h>
#include <gtest/gtest.h>
// After the test framework, whose names X's macros would replace.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "raster/raster.hpp"
#include "window/window.hpp"
#include "window/window_sdl.hpp"

namespace corvath {
namespace {

// SDL's video afresh with the driver, as in a new process; without a display for the system box.
void useVideoDriver(const char* driver) {
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  setenv("SDL_VIDEODRIVER", driver, 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

void push(SDL_Event event) {
  SDL_PushEvent(&event);
}
void pushKey(SDL_Keycode key, Uint16 modifiers = 0) {
  push({.key = {
            SDL_KEYDOWN, 0, 0, SDL_PRESSED, 0, 0, 0, {SDL_SCANCODE_UNKNOWN, key, modifiers, 0}}});
}
void pushMotion(int32_t x, int32_t y, Uint32 buttons) {
  push({.motion = {SDL_MOUSEMOTION, 0, 0, 0, buttons, x, y, 0, 0}});
}

TEST(DesktopResolution, ComesFromTheXftDpiResourceOnly) {
  const std::pair<const char*, int32_t> cases[] = {
      {"Xft.dpi:\t120\n", 120},    {"Xcursor.size:\t24\nXft.dpi:\t96.6\nXft.hinting:\t1\n", 97},
      {"Xcursor.size:\t24\n", 96}, {nullptr, 96},
      {"Xft.dpi:\t0\n", 96},       {"Xft.dpi:\t961\n", 96},
      {"Xft.dpi:\tlarge\n", 96}};
  for (const auto& [resources, dotsPerInch] : cases)
    EXPECT_EQ(dotsPerInchFromResources(resources), dotsPerInch) << (resources ? resources : "none");
}

TEST(OwnMessageBox, TextAboveACentredButtonScaledWithTheResolution) {
  Surface box, twoLines, large;
  const PixelRectangle button = drawMessageBox(box, "Errore. 1", 96);
  ASSERT_GT(box.width, 0);
  EXPECT_EQ(button.x, (box.width - button.width) / 2);
  EXPECT_LE(button.y + button.height, box.height);
  // Dark ink of the text above the button; the button's border unlike the box and its body.
  EXPECT_GT(std::count_if(box.pixels.begin(), box.pixels.begin() + button.y * box.width,
                          [](uint32_t pixel) { return (pixel & 0xFF) < 64; }),
            20);
  const uint32_t border = box.pixels[(button.y + button.height - 1) * box.width + button.x];
  EXPECT_NE(border, box.pixels.back());
  EXPECT_NE(box.pixels[(button.y + button.height - 4) * box.width + button.x + 3], border);
  EXPECT_GT(drawMessageBox(twoLines, "Errore. 1\nErrore. 2", 96).y, button.y);
  EXPECT_EQ(drawMessageBox(large, "Errore. 1", 192).width, 2 * button.width);
}

TEST(OwnMessageBox, FallsBackWhereTheSystemBoxCannotBeShown) {
  useVideoDriver("offscreen");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  pushKey(SDLK_RETURN);  // ends the box
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(showWindowMessageBox("Errore. 1"), MessageBoxShown::kOwnBox);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  useVideoDriver("no-such-driver");  // no window at all
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(showWindowMessageBox("Errore. 1"), MessageBoxShown::kStandardError);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "3D-Corvath: Errore. 1\n");
}

// The main window on the off-screen display: the test's events are pushed once it is sized, then
// a quit. Kept: the pointer, command and drop messages (message, first, second), and the last.
using Message = std::tuple<uint32_t, uint64_t, int64_t>;
std::vector<Message> input;
uint32_t lastMessage = 0;
std::function<void(int32_t)> onSized;
std::string dropped;
int32_t record(int64_t, uint32_t message, uint64_t first, int64_t second) {
  lastMessage = message;
  if (message == kCursorMessage || message == kMouseMoveMessage || message == kCommandMessage ||
      message == kDropMessage)
    input.emplace_back(message, first, second);
  if (message == kDropMessage) dropped = takeDroppedFile();
  if (message == kSizeMessage && onSized) {
    std::exchange(onSized, nullptr)(static_cast<int32_t>(second & 0xFFFF));
    push({.type = SDL_QUIT});
  }
  return 0;
}
void runWindow(std::function<void(int32_t)> pushEvents) {
  useVideoDriver("offscreen");
  input.clear();
  onSized = std::move(pushEvents);
  EXPECT_TRUE(runMainWindow("3D-Corvath test", 320, 200, record));
}

// A key between two motions keeps them from being merged into the newest.
TEST(MainWindow, PointerOutsideTheClientAreaNeitherTurnsNorZooms) {
  runWindow([](int32_t width) {
    const std::tuple<int32_t, int32_t, Uint32> places[] = {{-5, 10, SDL_BUTTON_LMASK},
                                                           {width + 5, 10, SDL_BUTTON_LMASK},
                                                           {10, -1, SDL_BUTTON_RMASK},
                                                           {20, 30, SDL_BUTTON_LMASK}};
    for (const auto& [x, y, buttons] : places) {
      pushMotion(x, y, buttons);
      pushKey(SDLK_a);
    }
  });
  ASSERT_EQ(input.size(), 2u);
  EXPECT_EQ(std::get<0>(input[0]), kCursorMessage);
  EXPECT_EQ(input[1], Message(kMouseMoveMessage, 1, int64_t{30} << 16 | 20));
  EXPECT_EQ(lastMessage, kDestroyMessage);  // the quit request ended the window
}

// A press released over another window: the next movement finds the button up.
TEST(MainWindow, AMovementWithTheButtonUpEndsAPressWhoseReleaseWentMissing) {
  resetMouseButtons();
  runWindow([](int32_t) {
    SDL_Event press{.type = SDL_MOUSEBUTTONDOWN};
    press.button.button = SDL_BUTTON_LEFT;
    push(press);
    pushMotion(25, 35, 0);
  });
  EXPECT_EQ(asyncButtonState(kLeftButton), 1);  // pressed, then released by the movement
}

TEST(MainWindow, ShellInputBecomesItsMessages) {
  runWindow([](int32_t) {
    pushKey(SDLK_SPACE);
    pushKey(SDLK_F5);
    pushKey(SDLK_s, KMOD_LCTRL);
    SDL_Event drop{.type = SDL_DROPFILE};
    drop.drop.file = SDL_strdup("/tmp/a model.glb");
    push(drop);
  });
  constexpr uint64_t kShortcut = 1 << 16;  // a command from a shortcut key says so
  EXPECT_EQ(input, (std::vector<Message>{{kCommandMessage, kShortcut | kAnimateCommand, 0},
                                         {kCommandMessage, kShortcut | kReloadCommand, 0},
                                         {kCommandMessage, kShortcut | kSaveCommand, 0},
                                         {kDropMessage, 0, 0}}));
  EXPECT_EQ(dropped, "/tmp/a model.glb");
}

TEST(MainWindow, WithoutADisplayNoDriverStandsInUnlessAskedFor) {
  // In a child: SDL's video, once it failed, is not tried again in the same process.
  EXPECT_EXIT(
      {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        unsetenv("SDL_VIDEODRIVER");
        setenv("DISPLAY", ":99999", 1);
        unsetenv("WAYLAND_DISPLAY");
        int32_t width = 0;
        int32_t height = 0;
        std::_Exit(desktopSize(width, height) ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

// SDL wakes its loop with an event sent to a window; one just destroyed (an error box closing)
// makes the server answer with an error, which must not end the program.
TEST(MainWindow, AnEventForAWindowAlreadyGoneDoesNotEndTheProgram) {
  // Xvfb writes its display number, and ends once its last client has gone.
  FILE* server = popen("exec Xvfb -displayfd 1 -nolisten tcp -terminate 2>/dev/null", "r");
  int number = -1;
  if (fscanf(server, "%d", &number) != 1) {
    pclose(server);
    GTEST_SKIP() << "no virtual X server";
  }
  std::string display = ":";
  display += std::to_string(number);
  EXPECT_EXIT(
      {
        useVideoDriver("x11");
        setenv("DISPLAY", display.c_str(), 1);
        if (!initVideo()) std::_Exit(3);
        Display* connection = XOpenDisplay(nullptr);
        if (connection == nullptr) std::_Exit(4);
        const Window gone = XAllocID(connection);  // an identifier no window has
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.format = 32;
        XSendEvent(connection, gone, False, NoEventMask, &event);
        XSync(connection, False);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
  if (Display* last = XOpenDisplay(display.c_str())) XCloseDisplay(last);
  pclose(server);
}

// New (-32767), then held (-32768); pressed and released between two queries: 1 once. The
// shell's zoom tests hold the rest.
TEST(MouseButtons, QueryShowsAPressSinceTheLastQuery) {
  resetMouseButtons();
  noteMouseButton(kLeftButton, true);
  noteMouseButton(kLeftButton, true);  // a repeated press event changes nothing
  EXPECT_EQ((std::tuple{asyncButtonState(kLeftButton), asyncButtonState(kLeftButton)}),
            std::tuple(-32767, -32768));
  noteMouseButton(kLeftButton, false);
  noteMouseButton(kLeftButton, true);
  noteMouseButton(kLeftButton, false);
  noteMouseButton(3, true);  // other buttons are not tracked
  EXPECT_EQ((std::tuple{asyncButtonState(kLeftButton), asyncButtonState(kLeftButton),
                        asyncButtonState(3), asyncButtonState(-1)}),
            std::tuple(1, 0, 0, 0));
  noteMouseButton(kRightButton, true);
  resetMouseButtons();
  EXPECT_EQ(asyncButtonState(kRightButton), 0);
}

}  // namespace
}  // namespace corvath
