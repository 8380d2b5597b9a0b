// Reading other programs' mesh files through the import library, and the list of formats.
#include <assimp/importerdesc.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <algorithm>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <cmath>
#include <cstring>
#include <map>

#include "files/files.hpp"
#include "import/import.hpp"

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// A node's transform to the scene root in double precision, row-major, applied to columns.
struct Transform {
  double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

// The import library's progress, passed on.
class ReadProgress : public Assimp::ProgressHandler {
 public:
  bool Update(float percentage) override {
    reportProgress("reading", std::clamp(static_cast<double>(percentage), 0.0, 1.0));
    return true;
  }
};

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

Transform product(const Transform& left, const aiMatrix4x4& right) {
  const ai_real* r = &right.a1;
  Transform result;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += left.m[row][k] * static_cast<double>(r[4 * k + column]);
      result.m[row][column] = sum;
    }
  }
  return result;
}

double determinant3(const Transform& t) {
  const auto& m = t.m;
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// A channel of 0 to 1 as a byte, rounded half to even, out-of-range values clamped.
int32_t colourByte(double channel) {
  if (!(channel > 0)) return 0;  // NaN too
  return static_cast<int32_t>(std::nearbyint(std::min(channel, 1.0) * 255));
}

int32_t packColour(double red, double green, double blue) {
  return colourByte(red) + 256 * colourByte(green) + 65536 * colourByte(blue);
}

// Whether a material's name is the import library's stand-in for none: "DefaultMaterial", or as
// its 3DS writer numbers it, "DefaultMaterial_0".
bool isStandInName(std::string_view name) {
  const std::string_view standIn = AI_DEFAULT_MATERIAL_NAME;
  if (!name.starts_with(standIn)) return false;
  name.remove_prefix(standIn.size());
  if (name.empty()) return true;
  return name.size() > 1 && name[0] == '_' &&
         name.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

// The diffuse colour of a material the file defined. Readers of formats without materials give
// every mesh a stand-in, named "DefaultMaterial" or nothing at all; that is no colour.
int32_t materialColour(const aiMaterial& material) {
  aiString name;
  if (material.Get(AI_MATKEY_NAME, name) != AI_SUCCESS || name.length == 0 ||
      isStandInName(name.C_Str())) {
    return kNoColour;
  }
  aiColor4D diffuse;
  if (material.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) != AI_SUCCESS) return kNoColour;
  return packColour(diffuse.r, diffuse.g, diffuse.b);
}

// Mesh text keeps a name between quotes on one line; a line end or the end-of-file byte (26) in
// it would cut the object short.
std::string plainName(std::string_view name) {
  std::string plain(name);
  for (char& c : plain) {
    if (c == '"') c = '\'';
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  return plain;
}

// The mesh's vertices placed by the node's transform in the viewer's space. Returns false, with
// the reason, for a coordinate that is not a finite number.
bool placeVertices(const aiMesh& mesh, const Transform& transform, MeshObject& object,
                   std::string& error) {
  const auto& m = transform.m;
  object.positions.resize(size_t{mesh.mNumVertices} * 3);
  for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
    const double x = mesh.mVertices[v].x, y = mesh.mVertices[v].y, z = mesh.mVertices[v].z;
    double placed[3];
    for (int row = 0; row < 3; ++row) {
      placed[row] = m[row][0] * x + m[row][1] * y + m[row][2] * z + m[row][3];
      if (!std::isfinite(placed[row])) {
        error = "a vertex of \"" + object.name + "\" has a coordinate that is not a finite number";
        return false;
      }
    }
    // Half a turn about x takes y-up space to the viewer's y-down space; + 0.0 turns -0 into 0.
    object.positions[3 * v] = placed[0] + 0.0;
    object.positions[3 * v + 1] = -placed[1] + 0.0;
    object.positions[3 * v + 2] = -placed[2] + 0.0;
  }
  return true;
}

// The mesh's triangles with their colours: the mean of the corners' colours, else the material's.
// A mirroring transform turns the outward side inward; swapping two corners turns it back.
void appendFaces(const aiScene& scene, const aiMesh& mesh, bool mirrored, MeshObject& object) {
  const int32_t meshColour = mesh.mMaterialIndex < scene.mNumMaterials
                                 ? materialColour(*scene.mMaterials[mesh.mMaterialIndex])
                                 : kNoColour;
  const aiColor4D* vertexColours = mesh.HasVertexColors(0) ? mesh.mColors[0] : nullptr;
  for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
    const aiFace& face = mesh.mFaces[f];
    // Lines and points left by the triangulation have no place in a mesh of triangles.
    if (face.mNumIndices != 3) continue;
    const unsigned* corner = face.mIndices;
    if (corner[0] >= mesh.mNumVertices || corner[1] >= mesh.mNumVertices ||
        corner[2] >= mesh.mNumVertices) {
      continue;  // a broken file's face: nothing to draw
    }
    object.corners.push_back(corner[0]);
    object.corners.push_back(corner[mirrored ? 2 : 1]);
    object.corners.push_back(corner[mirrored ? 1 : 2]);
    int32_t colour = meshColour;
    if (vertexColours != nullptr) {
      double sum[3] = {0, 0, 0};
      for (int k = 0; k < 3; ++k) {
        sum[0] += vertexColours[corner[k]].r;
        sum[1] += vertexColours[corner[k]].g;
        sum[2] += vertexColours[corner[k]].b;
      }
      colour = packColour(sum[0] / 3, sum[1] / 3, sum[2] / 3);
    }
    object.colours.push_back(colour);
  }
}

// Appends the triangles of one mesh as shown by one node. Returns false, with the reason, for a
// coordinate that is not a finite number.
bool appendMeshObject(const aiScene& scene, const aiMesh& mesh, const aiNode& node,
                      const Transform& transform, std::vector<MeshObject>& objects,
                      std::string& error) {
  MeshObject object;
  object.name = plainName(mesh.mName.length > 0   ? mesh.mName.C_Str()
                          : node.mName.length > 0 ? node.mName.C_Str()
                                                  : "mesh");
  if (!placeVertices(mesh, transform, object, error)) return false;
  appendFaces(scene, mesh, determinant3(transform) < 0, object);
  if (object.faceTotal() > 0) objects.push_back(std::move(object));
  return true;
}

bool appendNode(const aiScene& scene, const aiNode& node, const Transform& parent,
                std::vector<MeshObject>& objects, std::string& error) {
  const Transform transform = product(parent, node.mTransformation);
  for (unsigned i = 0; i < node.mNumMeshes; ++i) {
    if (node.mMeshes[i] >= scene.mNumMeshes) continue;
    const aiMesh& mesh = *scene.mMeshes[node.mMeshes[i]];
    if (!appendMeshObject(scene, mesh, node, transform, objects, error)) return false;
  }
  for (unsigned i = 0; i < node.mNumChildren; ++i) {
    if (!appendNode(scene, *node.mChildren[i], transform, objects, error)) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

bool isMeshTextExtension(std::string_view extension) {
  return extension == "asc";
}

std::vector<std::pair<std::string, std::string>> importFormats() {
  Assimp::Importer importer;
  std::map<std::string, std::string> formats;
  formats["asc"] = "mesh text of this viewer";
  for (size_t i = 0; i < importer.GetImporterCount(); ++i) {
    const aiImporterDesc* description = importer.GetImporterInfo(i);
    // The extensions come as one blank-separated list per reader.
    std::string_view list = description->mFileExtensions;
    while (!list.empty()) {
      const size_t blank = list.find(' ');
      const std::string_view extension = list.substr(0, blank);
      if (!extension.empty()) formats.emplace(std::string(extension), description->mName);
      list.remove_prefix(blank == std::string_view::npos ? list.size() : blank + 1);
    }
  }
  return {formats.begin(), formats.end()};
}

bool importableFile(const std::string& path, std::string& error) {
  if (!readableFile(path, error)) return false;
  const std::string extension = fileExtension(path);
  if (!Assimp::Importer().IsExtensionSupported("." + extension)) {
    error = extension.empty() ? "no extension to tell its format by"
                              : "unknown format ." + extension + " (see --list-formats)";
    return false;
  }
  return true;
}

bool importScene(const std::string& path, std::vector<MeshObject>& objects, std::string& error) {
  objects.clear();
  if (!importableFile(path, error)) return false;
  const std::string extension = fileExtension(path);
  Assimp::Importer importer;
  importer.SetProgressHandler(new ReadProgress);  // the importer owns and deletes it
  const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate);
  reportProgress("reading", 1);
  if (scene == nullptr) {
    std::string reason = importer.GetErrorString();
    // The library catches its own failed allocations and passes on only their name.
    if (reason == "std::bad_alloc") {
      error = kTooLarge;
      return false;
    }
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    error = "not a readable ." + extension + " file" + (reason.empty() ? "" : " (" + reason + ")");
    return false;
  }
  if (scene->mRootNode == nullptr ||
      !appendNode(*scene, *scene->mRootNode, Transform{}, objects, error)) {
    if (error.empty()) error = "holds no scene";
    objects.clear();
    return false;
  }
  if (objects.empty()) {
    error = "holds no triangles";
    return false;
  }
  weldVertices(objects);
  return true;
}

}  // namespace corvath
