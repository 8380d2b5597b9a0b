// Simplifying a mesh until its text fits what the viewer reads.
#include <meshoptimizer.h>

#include <algorithm>
#include <unordered_map>

#include "import/import.hpp"

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// An object as the simplifier takes it. A vertex shared by faces of different colours is split,
// one copy per colour: the simplifier treats copies at one position as a seam and keeps it, so
// the borders between colours survive.
struct SplitObject {
  std::vector<float> positions;  // x, y, z of each split vertex
  std::vector<uint32_t> source;  // the object's vertex each split vertex copies
  std::vector<int32_t> colours;  // the colour of each split vertex
  std::vector<uint32_t> indices;
};

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

// Each round aims this much below the budget: the vertices that remain are only known after.
constexpr double kMargin = 0.98;
constexpr int kMostRounds = 8;
// Relative to the mesh's extent: no limit, the face count decides.
constexpr float kAnyError = 1.0f;

SplitObject splitByColour(const MeshObject& object) {
  SplitObject split;
  std::unordered_map<uint64_t, uint32_t> copies;
  copies.reserve(object.vertexTotal());
  split.indices.reserve(object.corners.size());
  for (size_t corner = 0; corner < object.corners.size(); ++corner) {
    const uint32_t vertex = object.corners[corner];
    const int32_t colour = object.colours[corner / 3];
    const uint64_t key = uint64_t{vertex} << 32 | static_cast<uint32_t>(colour);
    const auto [at, added] = copies.emplace(key, static_cast<uint32_t>(split.source.size()));
    if (added) {
      for (int axis = 0; axis < 3; ++axis) {
        split.positions.push_back(static_cast<float>(object.positions[3 * size_t{vertex} + axis]));
      }
      split.source.push_back(vertex);
      split.colours.push_back(colour);
    }
    split.indices.push_back(at->second);
  }
  return split;
}

// The object simplified to about `targetFaces` faces, its vertices those still used, each face
// the colour most of its corners carry.
MeshObject simplified(const MeshObject& object, const SplitObject& split, size_t targetFaces) {
  std::vector<uint32_t> indices(split.indices.size());
  const size_t vertexTotal = split.source.size();
  const size_t target = std::max<size_t>(targetFaces, 1) * 3;
  size_t count = meshopt_simplify(indices.data(), split.indices.data(), split.indices.size(),
                                  split.positions.data(), vertexTotal, 3 * sizeof(float), target,
                                  kAnyError, 0, nullptr);
  // Borders and seams can stop the careful simplifier short of the target; the sloppy one
  // always gets there, at the cost of the topology.
  if (count > target + target / 16) {
    count = meshopt_simplifySloppy(indices.data(), split.indices.data(), split.indices.size(),
                                   split.positions.data(), vertexTotal, 3 * sizeof(float), target,
                                   kAnyError, nullptr);
  }
  indices.resize(count);

  MeshObject result;
  result.name = object.name;
  std::vector<uint32_t> renumber(object.vertexTotal(), UINT32_MAX);
  result.corners.reserve(count);
  result.colours.reserve(count / 3);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t vertex = split.source[indices[i]];
    if (renumber[vertex] == UINT32_MAX) {
      renumber[vertex] = static_cast<uint32_t>(result.positions.size() / 3);
      const double* p = &object.positions[3 * size_t{vertex}];
      result.positions.insert(result.positions.end(), p, p + 3);
    }
    result.corners.push_back(renumber[vertex]);
  }
  for (size_t i = 0; i < count; i += 3) {
    const int32_t a = split.colours[indices[i]];
    const int32_t b = split.colours[indices[i + 1]];
    const int32_t c = split.colours[indices[i + 2]];
    result.colours.push_back(b == c ? b : a);
  }
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

FitReport fitToViewer(std::vector<MeshObject>& objects, FitTarget target) {
  FitReport report;
  report.facesBefore = faceSum(objects);
  report.linesBefore = meshTextLines(objects);
  report.facesAfter = report.facesBefore;
  report.linesAfter = report.linesBefore;
  if (fitsViewer(objects, target)) {
    report.fitted = true;
    return report;
  }
  // Objects' own lines alone past the budget: no simplification helps.
  const bool headersTooMany =
      target == FitTarget::kMeshText && 4 * static_cast<int64_t>(objects.size()) >= kViewerLines;
  if (headersTooMany || report.facesBefore == 0) return report;

  std::vector<SplitObject> splits;
  splits.reserve(objects.size());
  for (const MeshObject& object : objects) splits.push_back(splitByColour(object));

  double share = kMargin * static_cast<double>(facesThatFit(objects, target)) /
                 static_cast<double>(report.facesBefore);
  for (int round = 0; round < kMostRounds; ++round) {
    std::vector<MeshObject> result;
    result.reserve(objects.size());
    for (size_t i = 0; i < objects.size(); ++i) {
      reportProgress("simplifying",
                     (round + static_cast<double>(i) / objects.size()) / kMostRounds);
      const auto faces = static_cast<size_t>(static_cast<double>(objects[i].faceTotal()) * share);
      result.push_back(simplified(objects[i], splits[i], faces));
    }
    const int64_t lines = meshTextLines(result);
    const double load = viewerLoad(result, target);
    if (load <= 1) {
      reportProgress("simplifying", 1);
      report.fitted = true;
      report.facesAfter = faceSum(result);
      report.linesAfter = lines;
      objects = std::move(result);
      return report;
    }
    // The lines of vertices and faces, and the table entries, scale about as the faces do.
    share *= kMargin / load;
  }
  return report;
}

}  // namespace corvath
