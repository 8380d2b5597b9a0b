// The message box of the window layer: the system's where it can be shown, else one drawn here
// (drawMessageBox) in a window of its own, else a line on standard error.
#include <SDL.h>

#include <cstdio>
#include <string>

#include "window/window.hpp"
#include "window/window_sdl.hpp"

namespace corvath {
namespace {

// The box drawn here: modal like the system's, ended by Enter, Escape, a click on OK or its
// close box. The main window keeps showing its picture meanwhile but takes no input; a request
// to close it ends the box and then the window.
bool showOwnMessageBox(const std::string& text) {
  if (!initVideo()) return false;
  Surface picture;
  const PixelRectangle okButton = drawMessageBox(picture, text, displayDotsPerInch());
  SDL_Window* box = SDL_CreateWindow(kProgramName, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     picture.width, picture.height, SDL_WINDOW_HIDDEN);
  if (box == nullptr) return false;
  SDL_Surface* source =
      SDL_CreateRGBSurfaceWithFormatFrom(picture.pixels.data(), picture.width, picture.height, 32,
                                         picture.width * 4, SDL_PIXELFORMAT_XRGB8888);
  if (source == nullptr) {
    SDL_DestroyWindow(box);
    return false;
  }
  const auto present = [&] {
    SDL_Surface* target = SDL_GetWindowSurface(box);
    if (target == nullptr) return;
    SDL_BlitSurface(source, nullptr, target, nullptr);
    SDL_UpdateWindowSurface(box);
  };
  SDL_ShowWindow(box);
  SDL_RaiseWindow(box);
  present();

  const Uint32 boxId = SDL_GetWindowID(box);
  bool pressedOnOk = false;
  bool closeMainWindow = false;
  bool open = true;
  while (open) {
    SDL_Event event;
    if (SDL_WaitEvent(&event) == 0) break;
    switch (event.type) {
      case SDL_KEYDOWN: {
        const SDL_Keycode key = event.key.keysym.sym;
        if (key == SDLK_RETURN || key == SDLK_KP_ENTER || key == SDLK_ESCAPE) open = false;
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
        if (event.button.windowID == boxId && event.button.button == SDL_BUTTON_LEFT) {
          pressedOnOk = okButton.contains(event.button.x, event.button.y);
        }
        break;
      case SDL_MOUSEBUTTONUP:
        if (event.button.windowID == boxId && event.button.button == SDL_BUTTON_LEFT) {
          // A button is pressed by letting go over it, as pressed.
          if (pressedOnOk && okButton.contains(event.button.x, event.button.y)) open = false;
          pressedOnOk = false;
        }
        break;
      case SDL_WINDOWEVENT:
        if (event.window.windowID == boxId) {
          if (event.window.event == SDL_WINDOWEVENT_CLOSE) open = false;
          if (event.window.event == SDL_WINDOWEVENT_EXPOSED) present();
        } else if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
          closeMainWindow = true;
          open = false;
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
          presentDrawingSurface();
        }
        break;
      case SDL_QUIT:
        closeMainWindow = true;
        open = false;
        break;
      default:
        // A tick that waits for the box is dropped, and its timer may queue the next one.
        dropTimerTick(event);
        break;
    }
  }
  SDL_FreeSurface(source);
  SDL_DestroyWindow(box);
  if (closeMainWindow) endMainWindow();
  return true;
}

}  // namespace

MessageBoxShown showWindowMessageBox(const std::string& text) {
  if (SDL_ShowSimpleMessageBox(0, kProgramName, text.c_str(), nullptr) == 0) {
    return MessageBoxShown::kSystemBox;
  }
  // The system's box needs what a desktop may lack (X core fonts, a helper program under
  // Wayland); ours needs only a window. The message must reach the user either way.
  if (showOwnMessageBox(text)) return MessageBoxShown::kOwnBox;
  std::fprintf(stderr, "%s: %s\n", kProgramName, text.c_str());
  std::fflush(stderr);
  return MessageBoxShown::kStandardError;
}

}  // namespace corvath
