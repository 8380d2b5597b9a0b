// The three benchmark workloads (bench/README in the shared folder) and where their files are:
// city.asc and big.asc in the shared folder's bench/, dense.asc generated into the temporary
// folder on first use.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace corvath {

struct Workload {
  const char* name;
  double startAngle[3];
};

inline const Workload kCity{"city.asc", {210, 7, 90}};
inline const Workload kBig{"big.asc", {345, 345, 345}};
inline const Workload kDense{"dense.asc", {210, 7, 90}};

// The workload's file; empty when dense.asc is missing and could not be generated. The shared
// folder is $CORVATH_SHARED, else the one the build names (CORVATH_SHARED).
inline std::string workloadPath(const Workload& workload) {
  const std::filesystem::path shared =
      std::getenv("CORVATH_SHARED") ? std::getenv("CORVATH_SHARED") : CORVATH_SHARED;
  if (std::string(workload.name) != "dense.asc") return (shared / "bench" / workload.name).string();
  // The dense torus is generated at benchmark time, never stored.
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "corvath-bench";
  const std::filesystem::path dense = folder / "dense.asc";
  if (!std::filesystem::exists(dense)) {
    const std::string command =
        "python3 '" + (shared / "bench" / "make_dense.py").string() + "' '" + folder.string() + "'";
    if (std::system(command.c_str()) != 0) return {};
  }
  return dense.string();
}

}  // namespace corvath
