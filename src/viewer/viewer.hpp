// The application shell: start-up, the main window's event handler and picture export.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvath {

struct MeshObject;

// Globals of the shell (degrees), 0 at start.
extern double frameCounter;    // advanced by 1 modulo 360 per animation-timer tick
extern double mouseTiltAngle;  // pointer client y modulo 360
extern double mouseTurnAngle;  // pointer client x modulo 360
extern int64_t mainWindow;     // the main window's handle (1 while it exists, else 0)

// The model the viewer shows, read again by F5, after the random scenes and, with --watch, when
// it changes on disk; the colour of its faces without one, chosen once at start.
extern std::string modelFileName;
extern int32_t modelStartColour;
extern bool watchModelFile;

// "3D-Corvath " and the file's name without its folder.
std::string modelCaption(const std::string& path);

inline constexpr const char* kMeshFileName = "3d.asc";
inline constexpr const char* kProgramVersion = CORVATH_VERSION;
inline constexpr const char* kPictureFileName = "3d.bmp";

// Where Ctrl+S saves the picture: kPictureFileName in the current folder, or in the user's
// pictures folder when the viewer was started from the desktop's menu (--desktop).
extern std::string pictureFileName;

// What the command line asks of the viewer. Under --desktop (the menu entry's start, in a
// folder the desktop chose) no FILE means the installed sample, and the picture goes to
// picturesFolder().
struct ViewerOptions {
  std::string file = kMeshFileName;
  bool fileGiven = false;
  bool watch = false;
  bool desktop = false;
  std::string picture = kPictureFileName;
};
// Reads the arguments into `options`; returns -1 to go on, else the exit code after printing
// the help, the version or what is wrong (2).
int parseViewerArguments(int argc, char** argv, ViewerOptions& options);
// The sample mesh as installed beside the programs (share/corvath/examples/3d.asc, found from
// the running program's folder, so that any installation prefix works), else where the build
// was configured to install it. The file may not exist.
std::string installedSampleFile();
// The user's pictures folder: XDG_PICTURES_DIR from the environment, else from
// $XDG_CONFIG_HOME/user-dirs.dirs (~/.config by default), when it names an existing folder;
// else $HOME; else the current folder (""). Reads only; creates nothing. Ends without "/".
std::string picturesFolder();

// The event handler of the main window; always returns 0.
int32_t handleMainWindowMessage(int64_t window, uint32_t message, uint64_t first, int64_t second);

// Writes the drawing surface as a 24-bit BMP file; nothing when the name is empty or no frame
// has been drawn. A failed save leaves any existing file as it was. Returns success; on a
// failure to write, `reason` (when given) says why.
bool savePicture(const std::string& fileName, std::string* reason = nullptr);

// The drawing surface (width by height pixels, at the display's resolution), the "Errore." box
// in the window's way, and the main window captioned after the file, run with the event handler
// (runMainWindow: on the desktop it returns once the window is gone, in the page at once).
// Returns false when no window could be created.
bool runViewerWindow(const std::string& file, int32_t width, int32_t height);

// The whole life of the viewer, its arguments included; returns the exit code: 0, 1 for a file
// that cannot be shown or no display, 2 for wrong usage.
int startUp(int argc = 0, char** argv = nullptr);

// ---------------------------------------------------------------------------------------------
// Model files
// ---------------------------------------------------------------------------------------------

// Whether the path is opened as mesh text (by its extension ".asc", in any case) rather than
// imported; a build without the import library opens mesh text only.
bool isMeshTextFile(const std::string& path);
// Whether this build imports the other formats (the import library is linked).
bool canImportModels();
// The zoom at which a mesh framed by frameMesh spans at most 90 % of the shorter side of the
// surface (pixels) at any angle, seen from cameraDistance; whole, at least 1.
double framedZoom(int32_t shorterSide);
// Opens a model file into the mesh tables and sets the zoom for a surface of the given size.
// Mesh text: read by the reader and placed by the start-up rule (zoom 600000 divided by the mesh
// extent, then centreMesh). Any other format the import library reads: imported apart from this
// process, so that a crash inside the library only fails the import; simplified to the tables
// where it is larger; faces without a colour in startColour; then framed (frameMesh,
// framedZoom). A build without the import library places the objects handed for the path
// (handImportedObjects) instead, refusing them beyond the tables. Returns false with a one-line
// reason in `error` when the file cannot be read, is damaged or of an unknown format, or holds
// no triangle: an imported file then leaves the tables as they were, while mesh text leaves
// what the reader took of it. `notice` says what was done to fit the tables, or is empty.
bool openModelFile(const std::string& path, int32_t startColour, int32_t surfaceWidth,
                   int32_t surfaceHeight, std::string& error, std::string& notice);

// Places imported objects as openModelFile places a model of another format: into the tables
// (faces without a colour in startColour), framed by frameMesh, at framedZoom(shorterSide). The
// web page, which imports in its own way and cannot simplify, opens models through this alone.
// Returns false with a one-line reason, the tables as they were, for objects beyond the tables
// (pointing to corvath-convert --fit) or the memory left.
bool placeImportedObjects(const std::vector<MeshObject>& objects, int32_t startColour,
                          int32_t shorterSide, std::string& error);

// For a build without the import library (the web page, whose worker imports): the objects
// openModelFile then places for `path`, as if it had imported them from there. Those of the
// model shown (modelFileName) stay, for F5; others handed before are forgotten.
void handImportedObjects(const std::string& path, std::vector<MeshObject> objects);

// Start-up steps shared with the headless renderer: the view matrix and line buffer, the seed
// and start colour, the view globals for a surface of the given size, and the model file
// (openModelFile; an empty name opens none and leaves the mesh empty). Returns false, with the
// reason in `error` when given, when the file cannot be opened; what the mesh then holds is as
// openModelFile leaves it. `notice` as openModelFile's.
bool prepareViewer(const std::string& meshFileName, int32_t surfaceWidth, int32_t surfaceHeight,
                   std::string* error = nullptr, std::string* notice = nullptr);
// The sequence every change of mesh runs: commit, light, normals; the new mesh may again show
// the "Errore." box once.
void prepareMesh();
// Empties the mesh tables and fills them with a new random scene (composeScene), prepared.
void replaceWithNewScene();
// The zoom the start-up rule gives the mesh in the tables: 600000 divided by its extent, 100 for
// an extent of 0.
double startUpZoom();

}  // namespace corvath
