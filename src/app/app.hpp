// The application shell: start-up, the main window's event handler and picture export.
#pragma once

#include <cstdint>
#include <string>

namespace corvath {

// Globals of the shell (degrees), 0 at start.
extern double frameCounter;    // advanced by 1 modulo 360 per animation-timer tick
extern double mouseTiltAngle;  // pointer client y modulo 360
extern double mouseTurnAngle;  // pointer client x modulo 360
extern int64_t mainWindow;     // the main window's handle (1 while it exists, else 0)

inline constexpr const char* kMeshFileName = "3d.asc";
inline constexpr const char* kPictureFileName = "3d.bmp";

// The event handler of the main window; always returns 0.
int32_t handleMainWindowMessage(int64_t window, uint32_t message, uint64_t first, int64_t second);

// Writes the drawing surface as a 24-bit BMP file; nothing when the name is empty or no frame
// has been drawn. A failed save leaves any existing file as it was. Returns success.
bool savePicture(const std::string& fileName);

// The whole life of the viewer; returns the exit code 0.
int startUp();

// Start-up steps shared with the headless renderer: the view matrix and line buffer, the seed
// and start colour, the load, and the view globals for a surface of the given size.
void prepareViewer(const std::string& meshFileName, int32_t surfaceWidth, int32_t surfaceHeight);
// The sequence every change of mesh runs: commit, light, normals.
void prepareMesh();
// Empties the mesh tables and fills them with a new random scene (composeScene), prepared.
void replaceWithNewScene();

}  // namespace corvath
