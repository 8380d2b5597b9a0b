// The viewer's shell in a web page: start-up from the page, whose canvas is the window and whose
// in-memory file system holds the model files (Emscripten only).
#pragma once

#include <cstdint>
#include <string>

namespace corvath {

// Opens the model file (a path in the page's file system; the sample 3d.asc when the page found
// none) on a drawing surface of the canvas's size, and starts the window, whose events the page
// then delivers. A file that cannot be shown raises the box with the reason and leaves the mesh
// as the viewer leaves it (empty for a missing file). Returns false when the canvas has no size.
bool startPage(const std::string& file);

}  // namespace corvath
