// The objects of an import together: their sums, welding and the viewer's limits. Needs no outside
// library, so that the web page, which imports through assimpjs, shares it.
#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_map>

#include "import/import.hpp"
#include "numbers/numbers.hpp"  // std::bit_cast where the C++ library lacks it

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// A position by the bits of its coordinates: equal keys are the same point to the viewer.
struct PositionKey {
  uint64_t x, y, z;
  bool operator==(const PositionKey&) const = default;
};

struct PositionHash {
  size_t operator()(const PositionKey& key) const {
    // Coordinates of nearby points share their high bits; the multipliers spread the low ones.
    uint64_t h = key.x * 0x9E3779B97F4A7C15ull;
    h ^= key.y * 0xC2B2AE3D27D4EB4Full + (h >> 29);
    h ^= key.z * 0x165667B19E3779F9ull + (h >> 32);
    return static_cast<size_t>(h ^ (h >> 31));
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

int64_t vertexSum(const std::vector<MeshObject>& objects) {
  int64_t sum = 0;
  for (const MeshObject& object : objects) sum += static_cast<int64_t>(object.vertexTotal());
  return sum;
}

int64_t faceSum(const std::vector<MeshObject>& objects) {
  int64_t sum = 0;
  for (const MeshObject& object : objects) sum += static_cast<int64_t>(object.faceTotal());
  return sum;
}

void weldVertices(std::vector<MeshObject>& objects) {
  for (MeshObject& object : objects) {
    const size_t vertices = object.vertexTotal();
    std::unordered_map<PositionKey, uint32_t, PositionHash> first;
    first.reserve(vertices);
    std::vector<uint32_t> renumber(vertices, UINT32_MAX);
    std::vector<double> positions;
    positions.reserve(object.positions.size());
    for (uint32_t& corner : object.corners) {
      uint32_t& target = renumber[corner];
      if (target == UINT32_MAX) {
        const double* p = &object.positions[3 * size_t{corner}];
        const PositionKey key{std::bit_cast<uint64_t>(p[0]), std::bit_cast<uint64_t>(p[1]),
                              std::bit_cast<uint64_t>(p[2])};
        const auto [at, added] = first.emplace(key, static_cast<uint32_t>(positions.size() / 3));
        if (added) positions.insert(positions.end(), p, p + 3);
        target = at->second;
      }
      corner = target;
    }
    object.positions = std::move(positions);
  }
}

int64_t meshTextLines(const std::vector<MeshObject>& objects) {
  return 4 * static_cast<int64_t>(objects.size()) + vertexSum(objects) + faceSum(objects);
}

bool fitsViewer(const std::vector<MeshObject>& objects, FitTarget target) {
  return viewerLoad(objects, target) <= 1;
}

int64_t facesThatFit(const std::vector<MeshObject>& objects, FitTarget target) {
  const int64_t faceTotal = faceSum(objects);
  const double load = viewerLoad(objects, target);
  if (faceTotal == 0 || !(load > 0)) return faceTotal;
  return std::min(faceTotal, static_cast<int64_t>(static_cast<double>(faceTotal) / load));
}

double viewerLoad(const std::vector<MeshObject>& objects, FitTarget target) {
  const int64_t vertices = vertexSum(objects);
  const int64_t faceTotal = faceSum(objects);
  // The reader sizes its tables one above the elements read so far, for a spare element.
  const auto tableRoom = static_cast<double>(kViewerTableCap - 1);
  double load = static_cast<double>(std::max(vertices, faceTotal)) / tableRoom;
  if (target == FitTarget::kMeshText) {
    const int64_t overhead = 4 * static_cast<int64_t>(objects.size());
    const int64_t room = kViewerLines - overhead;
    const double lineLoad = room <= 0 ? HUGE_VAL
                                      : static_cast<double>(vertices + faceTotal) /
                                            static_cast<double>(room);
    load = std::max(load, lineLoad);
  }
  return load;
}

}  // namespace corvath
