// What the window's message box shares with the main window (window.cpp); internal to the SDL
// window layer.
#pragma once

#include <SDL.h>

namespace corvath {

// Starts SDL's video once; false when no display can be opened.
bool initVideo();
// Shows the drawing surface in the main window, if there is one.
void presentDrawingSurface();
// A timer tick that is dropped, not handled: its timer may queue the next one. Does nothing to
// other events.
void dropTimerTick(const SDL_Event& event);

}  // namespace corvath
