// The application shell: start-up, the main window's event handler and picture export.
#pragma once

#include <cstdint>
#include <string>

namespace corvath {

// Globals of the shell (degrees), 0 at start.
extern double frameCounter;    // advanced by 1 modulo 360 per frame-timer tick
extern double mouseTiltAngle;  // pointer client y modulo 360
extern double mouseTurnAngle;  // pointer client x modulo 360
extern int64_t mainWindow;     // the main window's handle (1 while it exists, else 0)

inline constexpr uint32_t kInitDialog = 272;
inline constexpr uint32_t kSize = 5;
inline constexpr uint32_t kTimer = 275;
inline constexpr uint32_t kSetCursor = 32;
inline constexpr uint32_t kMouseMove = 512;
inline constexpr uint32_t kDestroy = 2;
inline constexpr uint32_t kCommand = 273;
inline constexpr uint32_t kFrameTimer = 1000;
inline constexpr uint32_t kSaveCommand = 200;
inline constexpr uint32_t kCancelCommand = 2;
inline constexpr uint32_t kOkCommand = 1;
inline constexpr uint32_t kFrameTimerPeriodMs = 500;

inline constexpr const char* kMeshFileName = "3d.asc";
inline constexpr const char* kPictureFileName = "3d.bmp";
inline constexpr const char* kCaptionPrefix = "3D-Corvath ";
// The drawing surface's colour until the first frame (the button face), packed.
inline constexpr int32_t kButtonFaceColour = 240 + 256 * 240 + 65536 * 240;

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

}  // namespace corvath
