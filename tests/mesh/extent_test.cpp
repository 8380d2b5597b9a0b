// Extent and centring of a loaded mesh, and the commit to the model table.
#include <gtest/gtest.h>

#include "support/mesh_fixture.hpp"

namespace corvath {
namespace {

using MeshExtent = testing::MeshTest;

void setVertices(std::initializer_list<Vertex> vertices) {
  resizeMeshTables(static_cast<int64_t>(vertices.size()) + 1, 1);
  int32_t i = 0;
  for (const Vertex& v : vertices) workingVertices[i++] = v;
  vertexCount = i;
}

TEST_F(MeshExtent, LargestSignedCoordinateOfAnyAxis) {
  EXPECT_EQ(meshExtent(), 0);  // empty mesh, tables without storage
  setVertices({{-50, -20, 0}, {-1, -3, -4}});
  EXPECT_EQ(meshExtent(), 0);
  setVertices({{0.4, 0, 0}});
  EXPECT_EQ(meshExtent(), 0);
  setVertices({{2.5, 0, 0}});
  EXPECT_EQ(meshExtent(), 2);
  setVertices({{3.5, 0, 0}});
  EXPECT_EQ(meshExtent(), 4);
  setVertices({{10, 20, 100}, {-500, 0, 0}});
  EXPECT_EQ(meshExtent(), 100);
  setVertices({{1e300, 0, 0}});
  EXPECT_EQ(meshExtent(), 2147483647);  // beyond the 32-bit range: clamped
}

TEST_F(MeshExtent, MaximumIsRoundedToSinglePrecisionAfterEachElement) {
  // 16777217 is no 32-bit float: it is stored as 16777216, and a later 16777216.5 is larger
  // than the stored maximum only before that rounding.
  setVertices({{16777217, 0, 0}});
  EXPECT_EQ(meshExtent(), 16777216);
}

TEST_F(MeshExtent, CentringShiftsTheBoxThatContainsTheOrigin) {
  setVertices({{-30, 5, -4}, {10, 25, -2}});
  centreMesh();
  EXPECT_EQ(workingVertices[0].x, -20);
  EXPECT_EQ(workingVertices[1].x, 20);
  EXPECT_EQ(workingVertices[0].y, -7.5);
  EXPECT_EQ(workingVertices[1].y, 12.5);
  EXPECT_EQ(workingVertices[0].z, -2);
  EXPECT_EQ(workingVertices[1].z, 0);

  setVertices({{8, -6, 0}});
  centreMesh();
  EXPECT_EQ(workingVertices[0].x, 4);
  EXPECT_EQ(workingVertices[0].y, -3);
  EXPECT_EQ(workingVertices[0].z, 0);
}

TEST_F(MeshExtent, CommitCopiesOnlyTheMesh) {
  setVertices({{1, 2, 3}, {4, 5, 6}});
  workingVertices[2] = {7, 8, 9};
  commitVertices();
  EXPECT_EQ(modelVertices[1].z, 6);
  EXPECT_EQ(modelVertices[2].x, 0);
}

}  // namespace
}  // namespace corvath
