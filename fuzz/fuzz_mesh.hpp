// Shared by the file-reading fuzz targets: one input as a file's contents, the start-up's
// measuring and preparation of the mesh, checks of the tables, and the reset between inputs.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mesh/mesh.hpp"
#include "view/view.hpp"

namespace corvath::fuzzing {

// An anonymous in-memory file, created once: each input is written over it, so no input ever
// touches the disk and the loader still goes through open() and read() like a real file.
inline int inputFile = -1;
inline std::string inputPath;

inline void createInputFile() {
  inputFile = memfd_create("corvath-fuzz-input", MFD_CLOEXEC);
  if (inputFile < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  inputPath = "/proc/self/fd/" + std::to_string(inputFile);
}

inline void writeInputFile(const uint8_t* data, size_t size) {
  if (ftruncate(inputFile, static_cast<off_t>(size)) != 0) std::abort();
  size_t written = 0;
  while (written < size) {
    const ssize_t n =
        pwrite(inputFile, data + written, size - written, static_cast<off_t>(written));
    if (n <= 0) std::abort();
    written += static_cast<size_t>(n);
  }
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr,
               "invariant broken: %s (vertexCount %d, faceCount %d, %zu vertex and %zu face "
               "elements, lastLineIndex %d)\n",
               what, vertexCount, faceCount, workingVertices.size(), faces.size(), lastLineIndex);
  std::abort();
}

// What every load must leave behind, however hostile the file.
inline void checkTables() {
  if (modelVertices.size() != workingVertices.size() ||
      screenPoints.size() != workingVertices.size()) {
    fail("vertex-indexed tables differ in length");
  }
  if (faceDepths.size() != faces.size() || faceOrder.size() != faces.size()) {
    fail("face-indexed tables differ in length");
  }
  if (static_cast<int64_t>(workingVertices.size()) > kMaxTableElements ||
      static_cast<int64_t>(faces.size()) > kMaxTableElements) {
    fail("a table is beyond kMaxTableElements");
  }
  if (vertexCount < 0 || static_cast<size_t>(vertexCount) > workingVertices.size()) {
    fail("vertexCount outside the vertex tables");
  }
  if (faceCount < 0 || static_cast<size_t>(faceCount) > faces.size()) {
    fail("faceCount outside the face tables");
  }
  if (lastLineIndex < 0 || lastLineIndex >= kMeshLineEntries)
    fail("lastLineIndex outside the buffer");
  for (int32_t f = 0; f < faceCount; ++f) {
    const int16_t corners = faces[f].cornerCount;
    if (corners != 0 && corners != 3) fail("a face with a corner count the reader never stores");
  }
}

// The file as start-up reads it, measured and prepared; returns the extent.
inline int32_t loadAndPrepare(const uint8_t* data, size_t size) {
  writeInputFile(data, size);
  loadMeshFile(inputPath, 0, 0, 0, 0x3355AA);
  checkTables();
  const int32_t extent = meshExtent();
  centreMesh();
  commitVertices();
  setLightDirection(0, 0, 1);
  computeFaceNormals();
  return extent;
}

// Back to an empty mesh with no storage, so the address sanitizer sees each input's tables at
// their own size; the line entries the input used are emptied, so no input sees the last one's
// text in the entry just past its own lines.
inline void resetMesh() {
  releaseMeshTables();
  vertexCount = 0;
  faceCount = 0;
  for (int32_t i = 0; i <= lastLineIndex + 1 && i < kMeshLineEntries; ++i) meshLines[i].clear();
  lastLineIndex = 0;
}

}  // namespace corvath::fuzzing
