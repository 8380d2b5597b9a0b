// Shared test helpers: an empty mesh before every test, and mesh text in the line buffer.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "mesh/mesh.hpp"
#include "support/temp_folder.hpp"

namespace corvath::testing {

// Empties the tables (no storage), the counts and the line buffer.
inline void resetMeshState() {
  const auto clear = [](auto&... tables) { (tables.clear(), ...); };
  clear(modelVertices, workingVertices, screenPoints, faces, faceDepths, faceOrder);
  vertexCount = faceCount = 0;
  if (meshLines.size() != static_cast<size_t>(kMeshLineEntries)) createMeshLines();
  for (int32_t i = 0; i <= lastLineIndex + 1 && i < kMeshLineEntries; ++i) meshLines[i].clear();
  lastLineIndex = 0;
}

// Stores the lines from entry 0 the way a writer does and parses them.
inline void parseText(std::initializer_list<std::string> lines, int32_t defaultColour = 0) {
  int32_t i = 0;
  for (const auto& line : lines) meshLines[i++] = line;
  lastLineIndex = i - 1;
  parseMeshLines(0, 0, 0, defaultColour);
}

// A file in a fresh temporary folder, removed with the object.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& contents, const std::string& name = "3d.asc")
      : path_(folder_.write(name, contents)) {}
  const std::string& path() const { return path_; }
  std::string directory() const { return folder_.path().string(); }

 private:
  TemporaryFolder folder_;
  std::string path_;
};

// Writes a file in blocks, so the test never holds its whole text twice.
class LargeFile : public TemporaryFile {
 public:
  LargeFile() : TemporaryFile("") { out_.open(path(), std::ios::binary | std::ios::trunc); }
  void append(const std::string& text) { out_ << text; }
  void appendRepeated(char c, size_t count) {
    const std::string block(1 << 20, c);
    for (; count >= block.size(); count -= block.size()) out_ << block;
    out_ << block.substr(0, count);
  }
  void close() { out_.close(); }

 private:
  std::ofstream out_;
};

// 2,000,001 short lines: a header for 1,999,999 vertices and one face, a vertex line for each
// (x = number mod 1000), then the face line. Only the first million lines are read.
inline void writeTwoMillionLines(LargeFile& file) {
  file.append("Tri-mesh, Vertices: 1999999 Faces: 1\r\n");
  for (int32_t i = 0; i < 1999999; ++i) {
    file.append("Vertex " + std::to_string(i) + ": X:" + std::to_string(i % 1000) + "\r\n");
  }
  file.append("Face 0: A:0 B:1 C:2\r\n");
  file.close();
}

struct MeshTest : ::testing::Test {
  void SetUp() override { resetMeshState(); }
};

}  // namespace corvath::testing
