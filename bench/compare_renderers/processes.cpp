// The llvmpipe children: llvmpipe fixes its thread count when its context is made, so each
// count runs in a process of its own, this program started again with an internal option.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "comparison.hpp"
#include "raster/raster.hpp"
#include "renderers.hpp"

extern char** environ;

namespace corvath {

// A child reports one "key value" line per result.
int runLlvmpipeChild(const Options& options) {
  const bool check = options.role == Role::kLlvmpipeCheck;
  const Workload& workload = check ? kCity : *options.workloads[0];
  if (!loadWorkload(workload)) return 1;
  std::vector<uint32_t> programPixels;
  const PlainMesh mesh = copyLoadedMesh();
  std::unique_ptr<Renderer> scalar;
  if (check) {
    setWorkerCount(1);
    programPixels = programPicture(workload);
    scalar = makeScalarFiller(mesh);
    scalar->drawFrame(frameAngles(workload, 0));
  }
  const std::unique_ptr<Renderer> llvmpipe = makeLlvmpipe(mesh);
  if (!llvmpipe) return 1;
  std::printf("renderer %s\n", llvmpipeRendererName().c_str());
  if (check) {
    llvmpipe->drawFrame(frameAngles(workload, 0));
    std::printf("from-program %.6f\n", differingShare(rowsOf(programPixels), llvmpipe->pixels()));
    std::printf("from-scalar %.6f\n", differingShare(scalar->pixels(), llvmpipe->pixels()));
  } else {
    std::printf("ms %.6f\n",
                medianFrameMs(workload, options, [&](const Angles& a) { llvmpipe->drawFrame(a); }));
  }
  return 0;
}

std::optional<ChildReport> llvmpipeChild(const std::vector<std::string>& arguments,
                                         int32_t threads) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    if (threads == 0 || std::strncmp(*entry, "LP_NUM_THREADS=", 15) != 0) {
      environment.emplace_back(*entry);
    }
  }
  if (threads > 0) environment.push_back("LP_NUM_THREADS=" + std::to_string(threads));
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argumentTexts{"compare_renderers"};
  argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argumentTexts) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  pid_t child = 0;
  std::fflush(stdout);
  const int failed =
      posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  std::string output;
  if (!failed) {
    char block[4096];
    ssize_t got = 0;
    while ((got = read(pipeEnds[0], block, sizeof block)) > 0) output.append(block, got);
  }
  close(pipeEnds[0]);
  if (failed) return std::nullopt;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return std::nullopt;
  }

  ChildReport report;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    start = end + 1;
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space);
    const std::string value = line.substr(space + 1);
    if (key == "renderer") report.renderer = value;
    if (key == "ms") report.ms = std::atof(value.c_str());
    if (key == "from-program") report.fromProgram = std::atof(value.c_str());
    if (key == "from-scalar") report.fromScalar = std::atof(value.c_str());
  }
  return report;
}

std::vector<std::string> childTimingArguments(const Workload& workload, const Options& options) {
  return {"--llvmpipe-times",
          "--workload",
          workload.name,
          "--frames",
          std::to_string(options.frames),
          "--rounds",
          std::to_string(options.rounds)};
}

}  // namespace corvath
