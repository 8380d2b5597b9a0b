// Writing objects in other programs' formats: through the import library's exporters, and PLY
// with face colours of our own.
#include <assimp/material.h>
#include <assimp/scene.h>

#include <assimp/Exporter.hpp>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

#include "files/files.hpp"
#include "import/import.hpp"

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

// Where a format that colours every face needs a colour for a face that has none: the mid grey
// that readers of formats without colours commonly show.
constexpr int32_t kPlainGrey = 153 + 256 * 153 + 65536 * 153;

// The library's writers we offer, by extension: those whose files its readers give back with the
// same faces, positions and colours. Left out: FBX (its reader refuses what its writer makes),
// 3MF and pbrt (their writers fail or crash), X and X3D (colours lost), STEP, JSON and XML
// (nothing reads them back). Binary STL is what most programs expect and a fifth of the size,
// and the first glTF writers write the old version 1.
const std::map<std::string, std::string, std::less<>> kWriters = {
    {"3ds", "3ds"},    {"assbin", "assbin"}, {"dae", "collada"}, {"glb", "glb2"},
    {"gltf", "gltf2"}, {"obj", "obj"},       {"stl", "stlb"}};

// The 3DS reader turns the file a quarter about x, y-up to z-up as it believes; its writer does
// not turn back. Positions go into the file already turned the other way: (x, y, z) as
// (x, -z, y).
constexpr std::string_view kQuarterTurned = "3ds";

// The library's writer for the extension, or "" when we offer none.
std::string exporterFor(std::string_view extension) {
  const auto writer = kWriters.find(extension);
  if (writer == kWriters.end()) return "";
  Assimp::Exporter exporter;
  for (size_t i = 0; i < exporter.GetExportFormatCount(); ++i) {
    if (writer->second == exporter.GetExportFormatDescription(i)->id) return writer->second;
  }
  return "";
}

void putU32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

void putFloat(std::string& out, double value) {
  uint32_t bits;
  const auto single = static_cast<float>(value);
  std::memcpy(&bits, &single, sizeof bits);
  putU32(out, bits);
}

void putColour(std::string& out, int32_t colour) {
  const int32_t shown = colour == kNoColour ? kPlainGrey : colour;
  out.push_back(static_cast<char>(shown & 0xFF));
  out.push_back(static_cast<char>((shown >> 8) & 0xFF));
  out.push_back(static_cast<char>((shown >> 16) & 0xFF));
}

aiColor4D colourValue(int32_t colour) {
  return aiColor4D(static_cast<float>(colour & 0xFF) / 255,
                   static_cast<float>((colour >> 8) & 0xFF) / 255,
                   static_cast<float>((colour >> 16) & 0xFF) / 255, 1);
}

// A material for one face colour. Faces without colour get the stand-in material that the import
// library reads back as no colour.
aiMaterial* colourMaterial(int32_t colour) {
  auto* material = new aiMaterial;
  const aiString name(colour == kNoColour ? std::string(AI_DEFAULT_MATERIAL_NAME)
                                          : "colore_" + std::to_string(colour));
  material->AddProperty(&name, AI_MATKEY_NAME);
  const aiColor4D value = colourValue(colour == kNoColour ? kPlainGrey : colour);
  material->AddProperty(&value, 1, AI_MATKEY_COLOR_DIFFUSE);
  material->AddProperty(&value, 1, AI_MATKEY_BASE_COLOR);
  return material;
}

// One mesh of the faces of one object that share a colour, in y-up space.
aiMesh* colourMesh(const MeshObject& object, const std::vector<size_t>& faceList,
                   unsigned materialIndex, bool quarterTurned) {
  auto* mesh = new aiMesh;
  mesh->mName = object.name;
  mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
  mesh->mMaterialIndex = materialIndex;
  std::unordered_map<uint32_t, unsigned> used;
  std::vector<uint32_t> vertices;
  for (size_t face : faceList) {
    for (int k = 0; k < 3; ++k) {
      const uint32_t vertex = object.corners[3 * face + k];
      if (used.emplace(vertex, static_cast<unsigned>(vertices.size())).second) {
        vertices.push_back(vertex);
      }
    }
  }
  mesh->mNumVertices = static_cast<unsigned>(vertices.size());
  mesh->mVertices = new aiVector3D[vertices.size()];
  for (size_t v = 0; v < vertices.size(); ++v) {
    const double* p = &object.positions[3 * size_t{vertices[v]}];
    // Half a turn about x back: y-down viewer space to y-up space, corner order kept.
    const auto x = static_cast<ai_real>(p[0]);
    const auto y = static_cast<ai_real>(-p[1] + 0.0);
    const auto z = static_cast<ai_real>(-p[2] + 0.0);
    mesh->mVertices[v] = quarterTurned ? aiVector3D(x, -z + 0.0f, y) : aiVector3D(x, y, z);
  }
  mesh->mNumFaces = static_cast<unsigned>(faceList.size());
  mesh->mFaces = new aiFace[faceList.size()];
  for (size_t f = 0; f < faceList.size(); ++f) {
    aiFace& face = mesh->mFaces[f];
    face.mNumIndices = 3;
    face.mIndices = new unsigned[3];
    for (int k = 0; k < 3; ++k) face.mIndices[k] = used[object.corners[3 * faceList[f] + k]];
  }
  return mesh;
}

// The objects as a scene: a node per object, under it a mesh per face colour.
std::unique_ptr<aiScene> buildScene(const std::vector<MeshObject>& objects, bool quarterTurned) {
  auto scene = std::make_unique<aiScene>();
  std::map<int32_t, unsigned> materialOf;
  std::vector<aiMaterial*> materials;
  std::vector<aiMesh*> meshes;
  std::vector<aiNode*> nodes;
  for (const MeshObject& object : objects) {
    std::map<int32_t, std::vector<size_t>> facesByColour;
    for (size_t f = 0; f < object.faceTotal(); ++f) facesByColour[object.colours[f]].push_back(f);
    auto* node = new aiNode(object.name);
    node->mNumMeshes = static_cast<unsigned>(facesByColour.size());
    node->mMeshes = new unsigned[facesByColour.size()];
    unsigned slot = 0;
    for (const auto& [colour, faceList] : facesByColour) {
      const auto [at, added] = materialOf.emplace(colour, static_cast<unsigned>(materials.size()));
      if (added) materials.push_back(colourMaterial(colour));
      node->mMeshes[slot++] = static_cast<unsigned>(meshes.size());
      meshes.push_back(colourMesh(object, faceList, at->second, quarterTurned));
    }
    nodes.push_back(node);
  }
  scene->mRootNode = new aiNode("root");
  scene->mRootNode->addChildren(static_cast<unsigned>(nodes.size()), nodes.data());
  scene->mNumMeshes = static_cast<unsigned>(meshes.size());
  scene->mMeshes = new aiMesh*[meshes.size()];
  std::copy(meshes.begin(), meshes.end(), scene->mMeshes);
  scene->mNumMaterials = static_cast<unsigned>(materials.size());
  scene->mMaterials = new aiMaterial*[materials.size()];
  std::copy(materials.begin(), materials.end(), scene->mMaterials);
  return scene;
}

std::string directoryAndStem(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t point = path.rfind('.');
  if (point == std::string::npos || (slash != std::string::npos && point < slash)) return path;
  return path.substr(0, point);
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

std::vector<std::pair<std::string, std::string>> exportFormats() {
  std::map<std::string, std::string> formats;
  formats["asc"] = "mesh text of this viewer";
  formats["ply"] = "Stanford Polygon Library (binary, with face colours)";
  Assimp::Exporter exporter;
  for (size_t i = 0; i < exporter.GetExportFormatCount(); ++i) {
    const aiExportFormatDesc* format = exporter.GetExportFormatDescription(i);
    const auto writer = kWriters.find(format->fileExtension);
    if (writer != kWriters.end() && writer->second == format->id) {
      formats.emplace(format->fileExtension, format->description);
    }
  }
  return {formats.begin(), formats.end()};
}

bool writableFormat(const std::string& outputPath, std::string& error) {
  const std::string extension = fileExtension(outputPath);
  if (isMeshTextExtension(extension) || extension == "ply" || !exporterFor(extension).empty()) {
    return true;
  }
  if (extension.empty()) {
    error = "no extension to tell the output's format by";
    return false;
  }
  error = "no writer for ." + extension + "; written:";
  for (const auto& format : exportFormats()) error += " ." + format.first;
  return false;
}

std::string plyBytes(const std::vector<MeshObject>& objects) {
  bool anyColour = false;
  for (const MeshObject& object : objects) {
    for (int32_t colour : object.colours) anyColour |= colour != kNoColour;
  }
  // Vertices split per colour, so that a reader of vertex colours sees the face colours too.
  std::string vertexBytes;
  std::string faceBytes;
  uint32_t vertexTotal = 0;
  uint32_t faceTotal = 0;
  for (const MeshObject& object : objects) {
    std::unordered_map<uint64_t, uint32_t> copies;
    for (size_t f = 0; f < object.faceTotal(); ++f) {
      const int32_t colour = anyColour ? object.colours[f] : kNoColour;
      faceBytes.push_back(3);
      for (int k = 0; k < 3; ++k) {
        const uint32_t vertex = object.corners[3 * f + k];
        const auto [at, added] =
            copies.emplace(uint64_t{vertex} << 32 | static_cast<uint32_t>(colour), vertexTotal);
        if (added) {
          const double* p = &object.positions[3 * size_t{vertex}];
          putFloat(vertexBytes, p[0]);
          putFloat(vertexBytes, -p[1] + 0.0);
          putFloat(vertexBytes, -p[2] + 0.0);
          if (anyColour) putColour(vertexBytes, colour);
          ++vertexTotal;
        }
        putU32(faceBytes, at->second);
      }
      if (anyColour) putColour(faceBytes, colour);
      ++faceTotal;
    }
  }
  std::string colourProperties =
      anyColour ? "property uchar red\nproperty uchar green\nproperty uchar blue\n" : "";
  std::string bytes =
      "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(vertexTotal) +
      "\nproperty float x\nproperty float y\nproperty float z\n" + colourProperties +
      "element face " + std::to_string(faceTotal) + "\nproperty list uchar uint vertex_indices\n" +
      colourProperties + "end_header\n";
  bytes += vertexBytes;
  bytes += faceBytes;
  return bytes;
}

bool exportMeshes(const std::vector<MeshObject>& objects, const std::string& outputPath,
                  std::vector<OutputFile>& files, std::string& error) {
  files.clear();
  const std::string extension = fileExtension(outputPath);
  if (isMeshTextExtension(extension)) {
    files.push_back({outputPath, meshText(objects)});
    return true;
  }
  if (extension == "ply") {
    files.push_back({outputPath, plyBytes(objects)});
    return true;
  }
  if (!writableFormat(outputPath, error)) return false;
  const std::string format = exporterFor(extension);
  const std::unique_ptr<aiScene> scene = buildScene(objects, extension == kQuarterTurned);
  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = exporter.ExportToBlob(scene.get(), format);
  if (blob == nullptr) {
    error = exporter.GetErrorString();
    return false;
  }
  // Companion files (an OBJ's material library, a glTF's buffer) are named after the output;
  // the main file refers to them by the placeholder name the exporter gives them.
  std::string main(static_cast<const char*>(blob->data), blob->size);
  const std::string stem = directoryAndStem(outputPath);
  for (const aiExportDataBlob* next = blob->next; next != nullptr; next = next->next) {
    files.push_back({stem + "." + next->name.C_Str(),
                     std::string(static_cast<const char*>(next->data), next->size)});
  }
  if (blob->next != nullptr) {
    const std::string placeholder = "$blobfile";
    const std::string name = baseName(stem);
    for (size_t at = main.find(placeholder); at != std::string::npos;
         at = main.find(placeholder, at + name.size())) {
      main.replace(at, placeholder.size(), name);
    }
  }
  // The main file last: it is written last, once its companions are in place.
  files.push_back({outputPath, std::move(main)});
  return true;
}

}  // namespace corvath
