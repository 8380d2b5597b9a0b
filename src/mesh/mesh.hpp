// The mesh model: the process-wide vertex and face tables, the mesh line buffer, the reader of
// the ASCII mesh format, extent, centring and framing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "numbers/numbers.hpp"

namespace corvath {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

struct Vertex {
  double x = 0;
  double y = 0;
  double z = 0;  // after rotation: the depth axis, larger is farther from the viewer
};

struct ScreenPoint {
  float x = 0;  // pixels on the drawing surface, not rounded
  float y = 0;
};

struct Face {
  int16_t cornerCount = 0;  // the reader always stores 3; 0 marks a face announced but never read
  int32_t a = 0;            // corner indices into the vertex-indexed tables (absolute)
  int32_t b = 0;
  int32_t c = 0;
  double normalX = 0;  // model-space normal, not normalised (computeFaceNormals)
  double normalY = 0;
  double normalZ = 0;
  double viewNormalX = 0;  // the same normal in the current view (turnShadeAndOrderFaces)
  double viewNormalY = 0;
  double viewNormalZ = 0;
  double depth = 0;         // sum of the corners' view z, front faces only (turnShadeAndOrderFaces)
  double normalLength = 0;  // length of the model-space normal
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

// ---------------------------------------------------------------------------------------------
// Storage
// ---------------------------------------------------------------------------------------------

// Large blocks come straight from the system in huge pages where it offers them: a big mesh
// touches hundreds of megabytes once, and page by page that alone would cost most of a load.
struct TableMemory {
  static void* allocate(size_t bytes);
  static void release(void* memory, size_t bytes);
};

// Text of the line buffer: small blocks carved from large ones, reused through free lists, so a
// million file lines cost no million system allocations. Single-threaded, like the program.
struct LineTextMemory {
  static void* allocate(size_t bytes);
  static void release(void* memory, size_t bytes);
};

// A standard allocator drawing from one of the memory sources above.
template <class T, class Source>
struct SourceAllocator {
  using value_type = T;
  SourceAllocator() = default;
  template <class U>
  SourceAllocator(const SourceAllocator<U, Source>&) {}
  T* allocate(size_t n) { return static_cast<T*>(Source::allocate(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { Source::release(p, n * sizeof(T)); }
  friend bool operator==(const SourceAllocator&, const SourceAllocator&) { return true; }
};

// One entry of the mesh line buffer.
using MeshText =
    std::basic_string<char, std::char_traits<char>, SourceAllocator<char, LineTextMemory>>;

template <class T>
using Table = std::vector<T, SourceAllocator<T, TableMemory>>;

// ---------------------------------------------------------------------------------------------
// Tables and counts
// ---------------------------------------------------------------------------------------------

// Vertex-indexed tables, always equally long. Elements 0 .. vertexCount - 1 form the mesh; the
// top element is spare.
extern Table<Vertex> modelVertices;      // the mesh as loaded, centred and committed
extern Table<Vertex> workingVertices;    // as read, then each frame's rotated coordinates
extern Table<ScreenPoint> screenPoints;  // each frame's projected positions

// Face-indexed tables, always equally long. Elements 0 .. faceCount - 1 form the mesh.
extern Table<Face> faces;
extern Table<double> faceDepths;  // sort keys of the drawing order
extern Table<double> faceOrder;   // face indices, as whole numbers, in drawing order

extern int32_t vertexCount;
extern int32_t faceCount;

// Largest number of elements any mesh table may have. A header asking for more is not accepted,
// so a hostile file can never make the tables exhaust memory: at this cap all six tables
// together take at most about 670 MB. A file of 1,000,000 lines holds far fewer elements.
constexpr int64_t kMaxTableElements = int64_t{1} << 22;

// The mesh line buffer: kMeshLineEntries texts, created empty by createMeshLines. The reader
// visits entries 0 .. lastLineIndex inclusive. Entries are overwritten, never cleared.
constexpr int32_t kMeshLineEntries = 1000001;
extern Table<MeshText> meshLines;
extern int32_t lastLineIndex;

// Creates the line buffer with every entry empty (start-up).
void createMeshLines();

// True when all three corners of the face name vertices of the mesh: 0 .. vertexCount - 1, all
// within the vertex tables. The tables store corner numbers as the text gives them; every reader
// of vertices through a face checks. The spare top element is no vertex: a face reaching it is
// not drawn.
inline bool faceCornersInTables(const Face& face) {
  const auto size = std::min(static_cast<uint64_t>(workingVertices.size()),
                             static_cast<uint64_t>(std::max(vertexCount, 0)));
  return static_cast<uint64_t>(static_cast<int64_t>(face.a)) < size &&
         static_cast<uint64_t>(static_cast<int64_t>(face.b)) < size &&
         static_cast<uint64_t>(static_cast<int64_t>(face.c)) < size;
}

// Copies x, y, z of working vertices 0 .. vertexCount - 1 into the model vertex table.
void commitVertices();

// Resizes all six tables: the vertex-indexed ones to vertexTotal elements, the face-indexed ones
// to faceTotal elements, keeping what both sizes share and zero-filling new elements. Returns
// false, changing nothing, when a size is negative, above kMaxTableElements or not allocatable.
bool resizeMeshTables(int64_t vertexTotal, int64_t faceTotal);

// Empties all six tables and gives their storage back (resizing keeps the capacity).
void releaseMeshTables();

// ---------------------------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------------------------

// Reads the file into the line buffer from entry 0 (upper-cased, blanks stripped at both ends;
// CR, CR LF and LF each end a line, byte 26 ends the file, at most 1,000,000 lines), sets
// lastLineIndex to the number of lines read and parses them. A missing file reads no lines.
void loadMeshFile(const std::string& fileName, int32_t offsetX, int32_t offsetY, int32_t offsetZ,
                  int32_t defaultColour);

// Appends the objects described by line buffer entries 0 .. lastLineIndex to the tables.
// Lines that would write outside a table are skipped; a header with a negative or too large
// count is not accepted and its object is skipped up to the next header.
void parseMeshLines(int32_t offsetX, int32_t offsetY, int32_t offsetZ, int32_t defaultColour);

// ---------------------------------------------------------------------------------------------
// Extent and centring
// ---------------------------------------------------------------------------------------------

// The largest single coordinate of working vertices 0 .. vertexCount - 1 (signed, any axis), or
// 0 when none is positive, rounded half to even. Values beyond the 32-bit range clamp.
int32_t meshExtent();

// Shifts working vertices 0 .. vertexCount - 1 so that the middle of their bounding box, which
// always contains the origin, moves to the origin.
void centreMesh();

// How far the viewer's eye stands in front of the centre of rotation (its cameraDistance).
inline constexpr double kViewerEyeDistance = 5000;

// The start-up rule's zoom for a mesh of this extent (meshExtent): 600000 divided by it, or 100,
// the floor of the mouse zoom, for an extent of 0 (an empty mesh or no positive coordinate).
double startUpZoomForExtent(int32_t extent);

// Where a model of any units and place is moved to be seen whole: the middle of its bounding box
// at the origin, and the point farthest from there kFramedRadius away, a fifth of the way to the
// eye (kViewerEyeDistance), so that no turn brings a vertex near it.
inline constexpr double kFramedRadius = 1000;
struct Framing {
  double centre[3] = {0, 0, 0};  // the middle of the bounding box
  double scale = 1;              // applied after moving the centre to the origin
};
// The framing of points given as x, y, z triples (finite). No points, or all in one place: the
// scale is 1 and only the centre moves.
Framing framingOf(const double* xyz, size_t points);
// The point moved and scaled by the framing.
void applyFraming(const Framing& framing, double& x, double& y, double& z);
// Frames working vertices 0 .. vertexCount - 1 (framingOf, applyFraming); returns the framing.
Framing frameMesh();

}  // namespace corvath
