// The window layer without a desktop: SDL's off-screen driver stands in for the display, so the
// main window's pointer handling and the message box's fallbacks run anywhere.
#include <SDL.h>
#include <gtest/gtest.h>
// After the test framework, whose names X's macros would replace.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "raster/raster.hpp"
#include "window/window.hpp"
#include "window/window_sdl.hpp"

namespace corvath {
namespace {

// Starts SDL's video afresh with the driver, as in a process of its own: one an earlier test
// started would otherwise stay in use. Without a display the system's box has nowhere to go.
void useVideoDriver(const char* driver) {
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  setenv("SDL_VIDEODRIVER", driver, 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

SDL_Event eventOf(Uint32 type) {
  SDL_Event event{};
  event.type = type;
  return event;
}
void push(SDL_Event event) {
  SDL_PushEvent(&event);
}
void pushKey(SDL_Keycode key, Uint16 modifiers = 0) {
  SDL_Event event = eventOf(SDL_KEYDOWN);
  event.key.keysym.sym = key;
  event.key.keysym.mod = modifiers;
  push(event);
}
void pushMotion(int32_t x, int32_t y, Uint32 buttons) {
  SDL_Event motion = eventOf(SDL_MOUSEMOTION);
  motion.motion.state = buttons;
  motion.motion.x = x;
  motion.motion.y = y;
  push(motion);
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
  // Dark ink of the text somewhere above the button.
  EXPECT_GT(std::count_if(box.pixels.begin(), box.pixels.begin() + button.y * box.width,
                          [](uint32_t pixel) { return (pixel & 0xFF) < 64; }),
            20);
  // The button: a border round a body, each unlike what lies around it.
  const auto at = [&](int32_t x, int32_t y) { return box.pixels[y * box.width + x]; };
  const uint32_t border = at(button.x, button.y + button.height - 1);
  EXPECT_NE(border, at(0, box.height - 1));
  EXPECT_NE(at(button.x + 3, button.y + button.height - 4), border);
  EXPECT_GT(drawMessageBox(twoLines, "Errore. 1\nErrore. 2", 96).y, button.y);
  EXPECT_EQ(drawMessageBox(large, "Errore. 1", 192).width, 2 * button.width);
  EXPECT_GT(large.height, box.height);
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

// The main window on the off-screen display: the test's events are pushed once it is sized
// (given its width), then a quit. Kept: the pointer, command and drop messages it sent
// (message, first, second), and its last message.
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
    push(eventOf(SDL_QUIT));
  }
  return 0;
}
void runWindow(std::function<void(int32_t)> pushEvents) {
  useVideoDriver("offscreen");
  input.clear();
  onSized = std::move(pushEvents);
  EXPECT_TRUE(runMainWindow("3D-Corvath test", 320, 200, record));
}

// The pointer left of, right of, above and inside the window; a key between two motions keeps
// them from being merged into the newest.
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
  // One cursor message and one movement with the left button, both for the position inside.
  ASSERT_EQ(input.size(), 2u);
  EXPECT_EQ(std::get<0>(input[0]), kCursorMessage);
  EXPECT_EQ(input[1], Message(kMouseMoveMessage, 1, int64_t{30} << 16 | 20));
  EXPECT_EQ(lastMessage, kDestroyMessage);  // the quit request ended the window
}

// A press whose release went missing (let go over another window): the next movement finds the
// button up, and the button must not go on zooming.
TEST(MainWindow, AMovementWithTheButtonUpEndsAPressWhoseReleaseWentMissing) {
  resetMouseButtons();
  runWindow([](int32_t) {
    SDL_Event press = eventOf(SDL_MOUSEBUTTONDOWN);
    press.button.button = SDL_BUTTON_LEFT;
    push(press);
    pushMotion(25, 35, 0);
  });
  EXPECT_EQ(asyncButtonState(kLeftButton), 1);  // pressed, then released by the movement
}

// Space, F5 and Ctrl+S become the shell's commands; a file dropped on the window is kept for the
// shell, which the drop message tells.
TEST(MainWindow, ShellInputBecomesItsMessages) {
  runWindow([](int32_t) {
    pushKey(SDLK_SPACE);
    pushKey(SDLK_F5);
    pushKey(SDLK_s, KMOD_LCTRL);
    SDL_Event drop = eventOf(SDL_DROPFILE);
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

// A virtual X server for as long as the object lives; name() is empty where none could start.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int number[2];
    if (pipe(number) != 0 || (server_ = fork()) < 0) return;
    if (server_ == 0) {
      const std::string fd = std::to_string(number[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "320x200x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(number[1]);
    FILE* in = fdopen(number[0], "r");
    int display = -1;
    if (fscanf(in, "%d", &display) == 1) name_ = std::string(":").append(std::to_string(display));
    fclose(in);
  }
  ~VirtualDisplay() {
    if (server_ > 0 && kill(server_, SIGTERM) == 0) waitpid(server_, nullptr, 0);
  }
  const std::string& name() const { return name_; }

 private:
  pid_t server_ = -1;
  std::string name_;
};

// SDL wakes its event loop with an event sent to a window; one just destroyed (an error box
// closing) makes the server answer with an error, which must not end the program.
TEST(MainWindow, AnEventForAWindowAlreadyGoneDoesNotEndTheProgram) {
  VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no virtual X server";
  EXPECT_EXIT(
      {
        useVideoDriver("x11");
        setenv("DISPLAY", display.name().c_str(), 1);
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
}

TEST(MouseButtons, QueryShowsHeldAndPressedSinceTheLastQuery) {
  const auto query = [](std::initializer_list<int32_t> buttons) {
    std::vector<int32_t> states;
    for (const int32_t button : buttons) states.push_back(asyncButtonState(button));
    return states;
  };
  using States = std::vector<int32_t>;
  resetMouseButtons();
  noteMouseButton(kLeftButton, true);
  noteMouseButton(kRightButton, true);
  EXPECT_EQ(query({kLeftButton, kLeftButton}), (States{-32767, -32768}));  // new, then held
  noteMouseButton(kLeftButton, true);  // a repeated press event changes nothing
  EXPECT_EQ(query({kLeftButton, kRightButton}), (States{-32768, -32767}));  // each on its own
  noteMouseButton(kLeftButton, false);
  EXPECT_EQ(query({kLeftButton}), States{0});
  noteMouseButton(kLeftButton, true);  // pressed and released between two queries: shown once
  noteMouseButton(kLeftButton, false);
  noteMouseButton(3, true);  // other buttons are not tracked
  EXPECT_EQ(query({kLeftButton, kLeftButton, 3, -1}), (States{1, 0, 0, 0}));
  resetMouseButtons();
  EXPECT_EQ(query({kRightButton}), States{0});
}

}  // namespace
}  // namespace corvath
