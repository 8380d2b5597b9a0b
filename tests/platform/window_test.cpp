// The window layer without a desktop: SDL's off-screen driver stands in for the display, so the
// main window's pointer handling and the message box's fallbacks run anywhere.
#include <SDL.h>
#include <gtest/gtest.h>
// After the test framework, whose names X's macros would replace.
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.hpp"
#include "platform/window_sdl.hpp"

namespace corvath {
namespace {

// Every test runs in a process of its own, so the driver chosen here is the one SDL starts.
void useVideoDriver(const char* driver) {
  // As in a fresh process: a driver an earlier test started would otherwise stay in use.
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  setenv("SDL_VIDEODRIVER", driver, 1);
  // Without a display of any kind the system's box has nowhere to go.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

void pushKey(SDL_Keycode key) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.keysym.sym = key;
  SDL_PushEvent(&event);
}

TEST(DesktopResolution, ComesFromTheXftDpiResourceOnly) {
  EXPECT_EQ(dotsPerInchFromResources("Xft.dpi:\t120\n"), 120);
  EXPECT_EQ(dotsPerInchFromResources("Xcursor.size:\t24\nXft.dpi:\t96.6\nXft.hinting:\t1\n"), 97);
  EXPECT_EQ(dotsPerInchFromResources("Xcursor.size:\t24\n"), 96);
  EXPECT_EQ(dotsPerInchFromResources(nullptr), 96);
  EXPECT_EQ(dotsPerInchFromResources("Xft.dpi:\t0\n"), 96);
  EXPECT_EQ(dotsPerInchFromResources("Xft.dpi:\tlarge\n"), 96);
}

TEST(OwnMessageBox, TextAboveACentredButtonScaledWithTheResolution) {
  Surface box;
  const PixelRectangle button = drawMessageBox(box, "Errore. 1", 96);
  ASSERT_GT(box.width, 0);
  EXPECT_EQ(button.x, (box.width - button.width) / 2);
  EXPECT_LE(button.y + button.height, box.height);
  // Dark ink of the text somewhere above the button.
  int inked = 0;
  for (int32_t y = 0; y < button.y; ++y) {
    for (int32_t x = 0; x < box.width; ++x) inked += (box.pixels[y * box.width + x] & 0xFF) < 64;
  }
  EXPECT_GT(inked, 20);

  Surface twoLines;
  const PixelRectangle lowerButton = drawMessageBox(twoLines, "Errore. 1\nErrore. 2", 96);
  EXPECT_GT(lowerButton.y, button.y);
  Surface large;
  const PixelRectangle largeButton = drawMessageBox(large, "Errore. 1", 192);
  EXPECT_EQ(largeButton.width, 2 * button.width);
  EXPECT_GT(large.height, box.height);
}

TEST(OwnMessageBox, ShownWhereTheSystemBoxCannotBeAndEndedByEnter) {
  useVideoDriver("offscreen");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  pushKey(SDLK_RETURN);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(showWindowMessageBox("Errore. 1"), MessageBoxShown::kOwnBox);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(OwnMessageBox, WithoutAnyWindowTheMessageGoesToStandardError) {
  useVideoDriver("no-such-driver");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(showWindowMessageBox("Errore. 1"), MessageBoxShown::kStandardError);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "3D-Corvath: Errore. 1\n");
}

struct Received {
  uint32_t message;
  uint64_t first;
  int64_t second;
};
std::vector<Received> received;
int32_t clientWidth = 0;

void pushMotion(int32_t x, int32_t y, uint32_t buttons) {
  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.x = x;
  event.motion.y = y;
  event.motion.state = buttons;
  SDL_PushEvent(&event);
  // Motion straight after motion is merged into the newest; a key between keeps them apart.
  pushKey(SDLK_a);
}

int32_t recordMessage(int64_t, uint32_t message, uint64_t first, int64_t second) {
  received.push_back({message, first, second});
  if (message == 5 && clientWidth == 0) {
    clientWidth = static_cast<int32_t>(second & 0xFFFF);
    pushMotion(-5, 10, SDL_BUTTON_LMASK);
    pushMotion(clientWidth + 5, 10, SDL_BUTTON_LMASK);
    pushMotion(10, -1, SDL_BUTTON_RMASK);
    pushMotion(20, 30, SDL_BUTTON_LMASK);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
  }
  return 0;
}

TEST(MainWindow, PointerOutsideTheClientAreaNeitherTurnsNorZooms) {
  useVideoDriver("offscreen");
  ASSERT_TRUE(runMainWindow("3D-Corvath test", 320, 200, recordMessage));
  ASSERT_GT(clientWidth, 0);
  std::vector<Received> pointer;
  for (const Received& r : received) {
    if (r.message == 32 || r.message == 512) pointer.push_back(r);
  }
  // One cursor message and one movement, both for the position inside.
  ASSERT_EQ(pointer.size(), 2u);
  EXPECT_EQ(pointer[0].message, 32u);
  EXPECT_EQ(pointer[1].message, 512u);
  EXPECT_EQ(pointer[1].first, 1u);
  EXPECT_EQ(pointer[1].second, (int64_t{30} << 16) | 20);
  EXPECT_EQ(received.back().message, 2u);  // the quit request destroyed the window
}

// A virtual X server for as long as the object lives; name() is empty where none could start.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int numberPipe[2];
    if (pipe(numberPipe) != 0) return;
    server_ = fork();
    if (server_ == 0) {
      close(numberPipe[0]);
      const std::string fd = std::to_string(numberPipe[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "320x200x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(numberPipe[1]);
    char c = 0;
    std::string number;
    while (server_ > 0 && read(numberPipe[0], &c, 1) == 1 && c != '\n') number += c;
    close(numberPipe[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  ~VirtualDisplay() {
    if (server_ <= 0) return;
    kill(server_, SIGTERM);
    waitpid(server_, nullptr, 0);
  }
  const std::string& name() const { return name_; }

 private:
  pid_t server_ = -1;
  std::string name_;
};

// SDL wakes its event loop with an event sent to one of the windows; when the window has just
// been destroyed (an error box closing) the server answers with an error, which must not end
// the program.
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
        event.xclient.window = gone;
        event.xclient.format = 32;
        XSendEvent(connection, gone, False, NoEventMask, &event);
        XSync(connection, False);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace corvath
