// The main window on SDL2 (placeholder until the window lands).
#include "platform/platform.hpp"
