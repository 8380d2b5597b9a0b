// Fuzz target: arbitrary bytes as the mesh file, read, measured, centred, committed and given
// face normals, as start-up does before the first frame.
#include <cstddef>
#include <cstdint>

#include "fuzz_mesh.hpp"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  corvath::createMeshLines();
  corvath::fuzzing::createInputFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvath;
  fuzzing::loadAndPrepare(data, size);
  fuzzing::checkTables();
  fuzzing::resetMesh();
  return 0;
}
