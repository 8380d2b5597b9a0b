// corvath-convert: meshes of other programs into mesh text and back, simplified to what the
// viewer reads where they are too large. Kept apart from the viewer: only this code knows the
// import library and the simplifier.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvath {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// A face colour packed as red + 256 * green + 65536 * blue, or none.
inline constexpr int32_t kNoColour = -1;

// One object of mesh text, in the viewer's space: x to the right, y down, z away from the viewer,
// a face seen from the side where its corners a, b, c run counter-clockwise.
struct MeshObject {
  std::string name;
  std::vector<double> positions;  // x, y, z of each vertex
  std::vector<uint32_t> corners;  // a, b, c of each face: vertex numbers within the object
  std::vector<int32_t> colours;   // one per face, packed, or kNoColour; as long as corners / 3

  size_t vertexTotal() const { return positions.size() / 3; }
  size_t faceTotal() const { return corners.size() / 3; }
};

// The vertices and the faces of all the objects together.
int64_t vertexSum(const std::vector<MeshObject>& objects);
int64_t faceSum(const std::vector<MeshObject>& objects);

// A file to write: its path and its bytes.
struct OutputFile {
  std::string path;
  std::string bytes;
};

// What fitting a mesh to the viewer did.
struct FitReport {
  bool fitted = false;  // the mesh text now fits
  int64_t facesBefore = 0;
  int64_t facesAfter = 0;
  int64_t linesBefore = 0;
  int64_t linesAfter = 0;
};

// ---------------------------------------------------------------------------------------------
// Progress
// ---------------------------------------------------------------------------------------------

// Receives the stage ("reading", "simplifying", ...) and the share of it done, 0 to 1. None set:
// progress goes nowhere.
using ProgressFunction = std::function<void(std::string_view stage, double done)>;
void setProgressFunction(ProgressFunction report);
void reportProgress(std::string_view stage, double done);

// ---------------------------------------------------------------------------------------------
// Formats
// ---------------------------------------------------------------------------------------------

// Whether the extension (lower case, as fileExtension gives it) names our mesh text.
bool isMeshTextExtension(std::string_view extension);

// Extensions that importScene reads and exportMeshes writes, lower case, sorted, with a short
// description each, mesh text included. Only writers whose files the import library reads back
// with the same faces, positions (to the format's precision) and colours (where the format keeps
// them) are written.
std::vector<std::pair<std::string, std::string>> importFormats();
std::vector<std::pair<std::string, std::string>> exportFormats();

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

// Whether the path names a readable file (readableFile) whose extension the import library
// knows; else false with the reason importScene would give.
bool importableFile(const std::string& path, std::string& error);

// The reason given for a file whose import runs out of memory.
inline constexpr std::string_view kTooLarge = "too large to import in memory";

// Reads any file the import library knows into objects: one per mesh and node that shows it,
// named after the mesh, the nodes' transforms applied, polygons cut into triangles, lines and
// points left out. The source's y-up space turns half about x into the viewer's (y and z negated),
// a rotation, so corner order and outward sides stay. A face's colour is the mean of its corners'
// colours, else its material's diffuse colour, else none. Vertices are welded (weldVertices).
// Returns false with a one-line reason in `error` (objects then empty) when the file cannot be
// read, its extension names no known format, or it holds no triangle.
bool importScene(const std::string& path, std::vector<MeshObject>& objects, std::string& error);

// importScene with the import library in a child process, so that a damaged file on which the
// library aborts or crashes fails with a one-line reason ("damaged file: ...") instead of ending
// the caller, and a file that wants more memory than the machine has fails as kTooLarge instead
// of swapping. The child's own messages go nowhere; its progress reaches reportProgress here.
// Forks: under the sanitizers, whose allocators a fork can leave locked, call it while no other
// thread runs. Reaps the child before it returns and leaves no descriptor open.
bool importSceneIsolated(const std::string& path, std::vector<MeshObject>& objects,
                         std::string& error);

// Reads mesh text with the viewer's own reader into one object named after the file. Faces the
// viewer would not draw (corners beyond the vertices, announced but never described) are left
// out; faces without `colore:` get kNoColour. Uses and leaves behind the mesh tables and line
// buffer. Returns false with a reason when the file cannot be opened or holds no face.
bool readMeshText(const std::string& path, std::vector<MeshObject>& objects, std::string& error);

// Merges vertices of equal position within each object (they are one vertex to the viewer) and
// drops vertices no face uses; corners and faces keep their order.
void weldVertices(std::vector<MeshObject>& objects);

// ---------------------------------------------------------------------------------------------
// Mesh text
// ---------------------------------------------------------------------------------------------

// The lines the viewer reads, and the table it may hold.
inline constexpr int64_t kViewerLines = 1000000;
inline constexpr int64_t kViewerTableCap = int64_t{1} << 22;

// The shortest text that the viewer's number rule reads back as exactly `value` (finite).
std::string coordinateText(double value);

// Lines of the mesh text of the objects (4 per object besides its vertices and faces).
int64_t meshTextLines(const std::vector<MeshObject>& objects);

// What a mesh must fit: the lines of mesh text the viewer reads (and its tables), or only the
// tables, for a model the viewer opens without going through mesh text.
enum class FitTarget { kMeshText, kTables };

// Whether the viewer takes all of the objects: within its lines (for mesh text) and table cap.
bool fitsViewer(const std::vector<MeshObject>& objects, FitTarget target = FitTarget::kMeshText);

// The share of the viewer's room the mesh takes, the tightest of its limits: 1 or less fits.
// Lines of mesh text count only the vertex and face lines against the lines left after the
// objects' 4 lines each.
double viewerLoad(const std::vector<MeshObject>& objects, FitTarget target = FitTarget::kMeshText);

// About how many faces of this mesh would fit the viewer, at its ratio of vertices to faces.
int64_t facesThatFit(const std::vector<MeshObject>& objects,
                     FitTarget target = FitTarget::kMeshText);

// The mesh text: per object its "Named Object" block, vertices and faces numbered from 0, a
// `colore:` on each face that has a colour. Lines end in LF.
std::string meshText(const std::vector<MeshObject>& objects);

// ---------------------------------------------------------------------------------------------
// Simplifying
// ---------------------------------------------------------------------------------------------

// Simplifies every object alike until the mesh fits the viewer (fitsViewer), keeping the outline
// of the shape and the borders between colours as far as the face budget allows. A mesh that
// already fits is left as it is.
FitReport fitToViewer(std::vector<MeshObject>& objects, FitTarget target = FitTarget::kMeshText);

// ---------------------------------------------------------------------------------------------
// Placing
// ---------------------------------------------------------------------------------------------

// Moves and scales all objects together as the viewer frames a model of another format
// (framingOf): the middle of their bounding box to the origin, the farthest vertex kFramedRadius
// from it. Mesh text so placed is seen whole by the viewer started in its folder.
void frameObjects(std::vector<MeshObject>& objects);

// How the viewer started in a folder would place the objects as mesh text: its start-up zoom,
// the distance of the farthest vertex from the centre of rotation, the picture's size at the
// depth of that centre (pixels) and whether a turn can bring a vertex to the eye.
struct PlainPlacement {
  double zoom = 0;
  double radius = 0;
  double pictureSpan = 0;
  bool reachesEye = false;
};
PlainPlacement plainPlacement(const std::vector<MeshObject>& objects);

// ---------------------------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------------------------

// The files that store the objects in the format the output's extension names: mesh text; OBJ
// with a material library of the face colours beside it; PLY (binary) with face colours, and the
// same colours on split vertices for readers that know only those; binary STL; glTF 2 (.glb,
// .gltf); or another format of exportFormats. Positions turn back into y-up space. Returns false
// with writableFormat's reason for an extension not written, or the reason of a failed export.
bool exportMeshes(const std::vector<MeshObject>& objects, const std::string& outputPath,
                  std::vector<OutputFile>& files, std::string& error);

// Whether exportMeshes writes the format the path's extension names; else false with a one-line
// reason that lists the extensions written.
bool writableFormat(const std::string& outputPath, std::string& error);

// Binary little-endian PLY of the objects as one mesh (positions as 32-bit floats).
std::string plyBytes(const std::vector<MeshObject>& objects);

}  // namespace corvath
