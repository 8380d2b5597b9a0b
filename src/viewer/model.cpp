// Opening model files: mesh text through the viewer's reader, every other format through the
// import library in a process of its own, simplified to the tables and framed to be seen whole.
#include <algorithm>
#include <cmath>
#include <map>
#include <new>

#include "files/files.hpp"
#include "import/import.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"

namespace corvath {

namespace {

// Of the surface's shorter side, the most a framed model's picture spans at any angle.
constexpr double kFramedSpan = 0.9;

// Models imported before they were opened, by their paths (handImportedObjects).
std::map<std::string, std::vector<MeshObject>> handedModels;

// Mesh text as the start-up rule places it: the zoom from the largest coordinate, then centred.
bool openMeshText(const std::string& path, int32_t startColour, std::string& error) {
  vertexCount = 0;
  faceCount = 0;
  const bool readable = readableFile(path, error);
  loadMeshFile(path, 0, 0, 0, startColour);
  zoom = startUpZoom();
  centreMesh();
  if (!readable) return false;
  if (faceCount == 0) {
    error = "holds no triangles";
    return false;
  }
  return true;
}

// Puts the objects into the tables, one after another, as the reader would have read them.
bool fillTables(const std::vector<MeshObject>& objects, int32_t startColour, std::string& error) {
  const int64_t vertexTotal = vertexSum(objects);
  const int64_t faceTotal = faceSum(objects);
  // One spare element above the mesh in every table, as the reader leaves it.
  if (!resizeMeshTables(vertexTotal + 1, faceTotal + 1)) {
    error = "too large for the memory left";
    return false;
  }
  int64_t vertexBase = 0;
  int64_t faceBase = 0;
  for (const MeshObject& object : objects) {
    for (size_t v = 0; v < object.vertexTotal(); ++v) {
      const double* p = &object.positions[3 * v];
      workingVertices[vertexBase + static_cast<int64_t>(v)] = Vertex{p[0], p[1], p[2]};
    }
    for (size_t f = 0; f < object.faceTotal(); ++f) {
      Face& face = faces[faceBase + static_cast<int64_t>(f)];
      face = Face{};
      face.cornerCount = 3;
      face.a = static_cast<int32_t>(vertexBase + object.corners[3 * f]);
      face.b = static_cast<int32_t>(vertexBase + object.corners[3 * f + 1]);
      face.c = static_cast<int32_t>(vertexBase + object.corners[3 * f + 2]);
      const int32_t colour = object.colours[f] == kNoColour ? startColour : object.colours[f];
      face.red = colourRed(colour);
      face.green = colourGreen(colour);
      face.blue = colourBlue(colour);
    }
    vertexBase += static_cast<int64_t>(object.vertexTotal());
    faceBase += static_cast<int64_t>(object.faceTotal());
  }
  vertexCount = static_cast<int32_t>(vertexTotal);
  faceCount = static_cast<int32_t>(faceTotal);
  return true;
}

#ifdef CORVATH_IMPORT
bool openImported(const std::string& path, int32_t startColour, int32_t shorterSide,
                  std::string& error, std::string& notice) {
  std::vector<MeshObject> objects;
  if (!importSceneIsolated(path, objects, error)) return false;
  if (!fitsViewer(objects, FitTarget::kTables)) {
    const FitReport report = fitToViewer(objects, FitTarget::kTables);
    if (!report.fitted) {
      error = "cannot be simplified to the " + std::to_string(kMaxTableElements - 1) +
              " vertices and faces the viewer holds";
      return false;
    }
    notice = "simplified from " + std::to_string(report.facesBefore) + " to " +
             std::to_string(report.facesAfter) + " faces to fit the viewer's tables";
  }
  return placeImportedObjects(objects, startColour, shorterSide, error);
}
#endif

}  // namespace

bool placeImportedObjects(const std::vector<MeshObject>& objects, int32_t startColour,
                          int32_t shorterSide, std::string& error) {
  if (!fitsViewer(objects, FitTarget::kTables)) {
    error = "too large: " + std::to_string(vertexSum(objects)) + " vertices and " +
            std::to_string(faceSum(objects)) + " faces, more than the " +
            std::to_string(kMaxTableElements - 1) +
            " the viewer holds (corvath-convert --fit simplifies it to fit)";
    return false;
  }
  try {
    if (!fillTables(objects, startColour, error)) return false;
  } catch (const std::bad_alloc&) {
    error = "too large for the memory left";
    return false;
  }
  frameMesh();
  zoom = framedZoom(shorterSide);
  return true;
}

void handImportedObjects(const std::string& path, std::vector<MeshObject> objects) {
  // F5 and the end of the scenes open the model shown again; no other is ever asked for.
  std::erase_if(handedModels, [](const auto& entry) { return entry.first != modelFileName; });
  handedModels[path] = std::move(objects);
}

double startUpZoom() {
  return startUpZoomForExtent(meshExtent());
}

bool isMeshTextFile(const std::string& path) {
  return fileExtension(path) == "asc";
}

bool canImportModels() {
#ifdef CORVATH_IMPORT
  return true;
#else
  return false;
#endif
}

double framedZoom(int32_t shorterSide) {
  // The sphere of kFramedRadius about the centre, seen from the eye, shows as a disc of radius
  // zoom * R / sqrt(D^2 - R^2); every turn of the model stays inside it.
  const double radius = kFramedRadius;
  const double distance = cameraDistance;
  if (!(distance > radius)) return 1;  // an eye inside the sphere: no zoom shows it whole
  const double fit =
      kFramedSpan / 2 * std::max(shorterSide, 1) * std::sqrt(distance * distance - radius * radius) /
      radius;
  return std::max(std::floor(fit), 1.0);
}

bool openModelFile(const std::string& path, int32_t startColour, int32_t surfaceWidth,
                   int32_t surfaceHeight, std::string& error, std::string& notice) {
  error.clear();
  notice.clear();
  if (isMeshTextFile(path)) return openMeshText(path, startColour, error);
#ifdef CORVATH_IMPORT
  // The import checks the file itself before it starts its child.
  return openImported(path, startColour, std::min(surfaceWidth, surfaceHeight), error, notice);
#else
  const auto handed = handedModels.find(path);
  if (handed != handedModels.end()) {
    return placeImportedObjects(handed->second, startColour, std::min(surfaceWidth, surfaceHeight),
                                error);
  }
  if (readableFile(path, error)) error = "not mesh text (.asc), the only format this build reads";
  return false;
#endif
}

}  // namespace corvath
