// The window layer without a desktop: SDL's off-screen driver stands in for the display, so the
// main window's pointer handling and the message box's fallbacks run anywhere.
#include <SDL.h>
#include <gtest/gtest.h>
// After the test framework, whose names X's macros would replace.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

void pushKey(SDL_Keycode key) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.keysym.sym = key;
  SDL_PushEvent(&event);
}

void pushMotion(int32_t x, int32_t y, Uint32 buttons) {
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.state = buttons;
  motion.motion.x = x;
  motion.motion.y = y;
  SDL_PushEvent(&motion);
}

void pushQuit() {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
}

TEST(DesktopResolution, ComesFromTheXftDpiResourceOnly) {
  EXPECT_EQ(dotsPerInchFromResources("Xft.dpi:\t120\n"), 120);
  EXPECT_EQ(dotsPerInchFromResources("Xcursor.size:\t24\nXft.dpi:\t96.6\nXft.hinting:\t1\n"), 97);
  EXPECT_EQ(dotsPerInchFromResources("Xcursor.size:\t24\n"), 96);
  EXPECT_EQ(dotsPerInchFromResources(nullptr), 96);
  EXPECT_EQ(dotsPerInchFromResources("Xft.dpi:\t0\n"), 96);
  EXPECT_EQ(dotsPerInchFromResources("Xft.dpi:\t961\n"), 96);
  EXPECT_EQ(dotsPerInchFromResources("Xft.dpi:\tlarge\n"), 96);
}

TEST(OwnMessageBox, TextAboveACentredButtonScaledWithTheResolution) {
  Surface box, twoLines, large;
  const PixelRectangle button = drawMessageBox(box, "Errore. 1", 96);
  ASSERT_GT(box.width, 0);
  EXPECT_EQ(button.x, (box.width - button.width) / 2);
  EXPECT_LE(button.y + button.height, box.height);
  // Dark ink of the text somewhere above the button.
  int inked = 0;
  for (int32_t i = 0; i < button.y * box.width; ++i) inked += (box.pixels[i] & 0xFF) < 64;
  EXPECT_GT(inked, 20);
  // The button: a border round a body, each unlike what lies around it.
  const auto at = [&](int32_t x, int32_t y) { return box.pixels[y * box.width + x]; };
  const uint32_t face = at(0, box.height - 1);
  const uint32_t border = at(button.x, button.y + button.height - 1);
  EXPECT_NE(border, face);
  EXPECT_NE(at(button.x + 3, button.y + button.height - 4), border);
  EXPECT_GT(drawMessageBox(twoLines, "Errore. 1\nErrore. 2", 96).y, button.y);
  EXPECT_EQ(drawMessageBox(large, "Errore. 1", 192).width, 2 * button.width);
  EXPECT_GT(large.height, box.height);
}

TEST(OwnMessageBox, ShownWhereTheSystemBoxCannotBeElseTheMessageGoesToStandardError) {
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

// The pointer messages the main window sent (message, first, second), and its last message.
std::vector<std::tuple<uint32_t, uint64_t, int64_t>> pointerMessages;
uint32_t lastMessage = 0;

// Once sized, the window gets the pointer left of, right of, above and inside it, then a quit;
// a key between two motions keeps them from being merged into the newest.
int32_t recordMessage(int64_t, uint32_t message, uint64_t first, int64_t second) {
  lastMessage = message;
  if (message == kCursorMessage || message == kMouseMoveMessage)
    pointerMessages.emplace_back(message, first, second);
  static bool moved = false;
  if (message != kSizeMessage || std::exchange(moved, true)) return 0;
  const int32_t width = static_cast<int32_t>(second & 0xFFFF);
  const int32_t places[][3] = {{-5, 10, SDL_BUTTON_LMASK},
                               {width + 5, 10, SDL_BUTTON_LMASK},
                               {10, -1, SDL_BUTTON_RMASK},
                               {20, 30, SDL_BUTTON_LMASK}};
  for (const auto& [x, y, buttons] : places) {
    pushMotion(x, y, static_cast<Uint32>(buttons));
    pushKey(SDLK_a);
  }
  pushQuit();
  return 0;
}

TEST(MainWindow, PointerOutsideTheClientAreaNeitherTurnsNorZooms) {
  useVideoDriver("offscreen");
  ASSERT_TRUE(runMainWindow("3D-Corvath test", 320, 200, recordMessage));
  // One cursor message and one movement with the left button, both for the position inside.
  ASSERT_EQ(pointerMessages.size(), 2u);
  EXPECT_EQ(std::get<0>(pointerMessages[0]), kCursorMessage);
  EXPECT_EQ(pointerMessages[1], std::tuple(kMouseMoveMessage, uint64_t{1}, int64_t{30} << 16 | 20));
  EXPECT_EQ(lastMessage, kDestroyMessage);  // the quit request ended the window
}

// A press whose release went missing (let go over another window): the next movement finds the
// button up, and the button must not go on zooming.
int32_t pressThenMoveWithTheButtonUp(int64_t, uint32_t message, uint64_t, int64_t) {
  static bool pushed = false;
  if (message != kSizeMessage || std::exchange(pushed, true)) return 0;
  SDL_Event press{};
  press.type = SDL_MOUSEBUTTONDOWN;
  press.button.button = SDL_BUTTON_LEFT;
  SDL_PushEvent(&press);
  pushMotion(25, 35, 0);
  pushQuit();
  return 0;
}

TEST(MainWindow, AMovementWithTheButtonUpEndsAPressWhoseReleaseWentMissing) {
  useVideoDriver("offscreen");
  resetMouseButtons();
  ASSERT_TRUE(runMainWindow("3D-Corvath test", 320, 200, pressThenMoveWithTheButtonUp));
  EXPECT_EQ(asyncButtonState(kLeftButton), 1);  // pressed, then released by the movement
}

// Space, F5 and Ctrl+S become the shell's commands; a file dropped on the window is kept for the
// shell, which the drop message tells.
std::vector<std::pair<uint32_t, uint64_t>> commands;
std::string dropped;
int32_t recordCommands(int64_t, uint32_t message, uint64_t first, int64_t) {
  if (message == kCommandMessage) commands.emplace_back(message, first & 0xFFFF);
  if (message == kDropMessage) {
    commands.emplace_back(message, 0);
    dropped = takeDroppedFile();
  }
  static bool pushed = false;
  if (message != kSizeMessage || std::exchange(pushed, true)) return 0;
  pushKey(SDLK_SPACE);
  pushKey(SDLK_F5);
  SDL_Event save{};
  save.type = SDL_KEYDOWN;
  save.key.keysym.sym = SDLK_s;
  save.key.keysym.mod = KMOD_LCTRL;
  SDL_PushEvent(&save);
  SDL_Event drop{};
  drop.type = SDL_DROPFILE;
  drop.drop.file = SDL_strdup("/tmp/a model.glb");
  SDL_PushEvent(&drop);
  pushQuit();
  return 0;
}

TEST(MainWindow, KeysBecomeCommandsAndADroppedFileReachesTheShell) {
  useVideoDriver("offscreen");
  ASSERT_TRUE(runMainWindow("3D-Corvath test", 320, 200, recordCommands));
  const std::vector<std::pair<uint32_t, uint64_t>> expected = {
      {kCommandMessage, kAnimateCommand},
      {kCommandMessage, kReloadCommand},
      {kCommandMessage, kSaveCommand},
      {kDropMessage, 0}};
  EXPECT_EQ(commands, expected);
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

TEST(MouseButtons, QueryShowsHeldNewlyPressedAndPressedSinceTheLastQuery) {
  resetMouseButtons();
  EXPECT_EQ(asyncButtonState(kLeftButton), 0);
  noteMouseButton(kLeftButton, true);
  noteMouseButton(kRightButton, true);
  EXPECT_EQ(asyncButtonState(kLeftButton), -32767);  // newly pressed
  EXPECT_EQ(asyncButtonState(kLeftButton), -32768);  // held
  noteMouseButton(kLeftButton, true);                // a repeated press event changes nothing
  EXPECT_EQ(asyncButtonState(kLeftButton), -32768);
  EXPECT_EQ(asyncButtonState(kRightButton), -32767);  // each button on its own
  noteMouseButton(kLeftButton, false);
  EXPECT_EQ(asyncButtonState(kLeftButton), 0);
  noteMouseButton(kLeftButton, true);  // pressed and released between two queries: shown once
  noteMouseButton(kLeftButton, false);
  EXPECT_EQ(asyncButtonState(kLeftButton), 1);
  EXPECT_EQ(asyncButtonState(kLeftButton), 0);
  noteMouseButton(3, true);  // other buttons are not tracked
  EXPECT_EQ(asyncButtonState(3), 0);
  EXPECT_EQ(asyncButtonState(-1), 0);
  resetMouseButtons();
  EXPECT_EQ(asyncButtonState(kRightButton), 0);
}

}  // namespace
}  // namespace corvath
