// The window on the desktop, on SDL2: the main window with its messages and timers, the
// pointer's buttons and dropped files as the event handler sees them, and the message boxes
// (the system's, or one drawn here where it cannot be shown). Only this library knows SDL2.
// The web build (CORVATH_WEB) has the same interface over a page's canvas (window_web.cpp):
// there the page's event loop runs the window, and its boxes are dialogs of the page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "raster/raster.hpp"
#include "view/view.hpp"

namespace corvath {

// ---------------------------------------------------------------------------------------------
// Main window
// ---------------------------------------------------------------------------------------------

using MessageHandler = int32_t (*)(int64_t window, uint32_t message, uint64_t first,
                                   int64_t second);

// The messages the window sends its handler (`first` and `second` as noted).
inline constexpr uint32_t kCreateMessage = 272;     // once, before the window is shown
inline constexpr uint32_t kSizeMessage = 5;         // first: 0 restored, 2 maximised
inline constexpr uint32_t kDestroyMessage = 2;      // the window is going away
inline constexpr uint32_t kCursorMessage = 32;      // the pointer moved or a button changed
inline constexpr uint32_t kMouseMoveMessage = 512;  // second: x + 65536 * y in the client area
inline constexpr uint32_t kTimerMessage = 275;      // first: the timer's identifier
inline constexpr uint32_t kCommandMessage = 273;    // first: the command (low 16 bits)
inline constexpr uint32_t kLeftDownMessage = 513;
inline constexpr uint32_t kRightDownMessage = 516;
inline constexpr uint32_t kMiddleDownMessage = 519;
inline constexpr uint32_t kDropMessage = 563;  // a file was dropped: takeDroppedFile
// The commands of kCommandMessage: Enter, Escape (and the close box), Ctrl+S, Space, F5.
inline constexpr uint32_t kOkCommand = 1;
inline constexpr uint32_t kCancelCommand = 2;
inline constexpr uint32_t kSaveCommand = 200;
inline constexpr uint32_t kAnimateCommand = 210;
inline constexpr uint32_t kReloadCommand = 211;
// The timer of the random scenes, and its period.
inline constexpr uint32_t kAnimationTimer = 1000;
inline constexpr uint32_t kAnimationPeriodMs = 500;
// The timer that looks for changes of the model file, and its period.
inline constexpr uint32_t kWatchTimer = 1002;
inline constexpr uint32_t kWatchPeriodMs = 500;

// Desktop size in pixels; false when no display can be opened.
bool desktopSize(int32_t& width, int32_t& height);
// The desktop's logical resolution for text: the X resource Xft.dpi where it is set (rounded to
// a whole number), otherwise 96, whatever the monitor's physical size.
int32_t displayDotsPerInch();
// The Xft.dpi setting in the text of X resources ("Xft.dpi:\t120\n..."); 96 for none, for no
// text and for values outside 24 to 960.
int32_t dotsPerInchFromResources(const char* resources);
// Creates the main window hidden with the caption and a client area of the given size, runs it
// modally with the handler (kCreateMessage and kSizeMessage first, then shown maximised), and
// returns once the window is destroyed. Returns false when no window could be created. In a web
// page it returns once the window is shown, and the page's events reach the handler from then on.
bool runMainWindow(const std::string& caption, int32_t clientWidth, int32_t clientHeight,
                   MessageHandler handler);
// Ends the main window: it is destroyed and the modal run returns. Nothing in a web page, which
// the browser closes.
void endMainWindow();
// Changes the main window's caption; nothing without a window.
void setMainWindowCaption(const std::string& caption);
// Starts or stops a periodic timer that delivers kTimerMessage with the identifier.
void startTimer(uint32_t identifier, uint32_t periodMilliseconds);
void stopTimer(uint32_t identifier);
bool timerRunning(uint32_t identifier);
// How a message reached the user.
enum class MessageBoxShown { kSystemBox, kOwnBox, kStandardError };
// The "Errore." box, modal, without owner, captioned kProgramName; returns when it is
// closed. The system's box where it can be shown, else the box drawn here (drawMessageBox),
// else, where no window can be opened, one line "3D-Corvath: TEXT" on standard error.
MessageBoxShown showWindowMessageBox(const std::string& text);

// ---------------------------------------------------------------------------------------------
// Mouse buttons
// ---------------------------------------------------------------------------------------------

inline constexpr int32_t kLeftButton = 1;
inline constexpr int32_t kRightButton = 2;

// Records a press or release (the window feeds its events here).
void noteMouseButton(int32_t button, bool down);
// -32768 while the button is held and was not newly pressed since the previous query, -32767
// on the first query after a press, 0 while it is up; 1 once when it was pressed and released
// again since the previous query.
int16_t asyncButtonState(int32_t button);
// Forgets every button state (tests).
void resetMouseButtons();

// Records the path of a file dropped on the window (the window feeds its events here), before
// it sends kDropMessage.
void noteDroppedFile(const std::string& path);
// The path of the file last dropped, once: empty after it was taken.
std::string takeDroppedFile();

// ---------------------------------------------------------------------------------------------
// The message box drawn here, for displays where the system's own cannot be shown
// ---------------------------------------------------------------------------------------------

struct PixelRectangle {
  int32_t x = 0;  // left column
  int32_t y = 0;  // top row
  int32_t width = 0;
  int32_t height = 0;
  bool contains(int32_t px, int32_t py) const {
    return px >= x && px - x < width && py >= y && py - y < height;
  }
};

// The program's name: the caption of its boxes, the start of its window's caption.
inline constexpr const char* kProgramName = "3D-Corvath";

// Makes the surface the box's picture: the text's lines (split at line feeds) in black on the
// button face, with an OK button centred below them, all sized for the display's resolution
// (dots per inch, 96 when not positive). Returns the OK button's place on the surface. Without
// any font the box still gets its size and button.
PixelRectangle drawMessageBox(Surface& surface, std::string_view text, int32_t dotsPerInch);

}  // namespace corvath
