// Frame times of this program beside other renderers of the same scene at 1920 x 1080: a plain
// scalar triangle filler, Mesa's llvmpipe through OSMesa, and cairo, on the three workloads.
// The options, the check of the pictures, and the table of rounds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comparison.hpp"
#include "raster/raster.hpp"
#include "renderers.hpp"
#include "view/view.hpp"
#include "workloads.hpp"

namespace corvath {
namespace {

constexpr const char* kUsage =
    "usage: compare_renderers [--workload city|big|dense] [--frames N] [--rounds R]\n"
    "  --workload NAME  time one workload (default: all three)\n"
    "  --frames N       frames per round (default 20)\n"
    "  --rounds R       rounds; the median round is reported (default 3)\n"
    "CORVATH_VECTORS caps this program's processor path; CORVATH_SHARED names the folder\n"
    "whose bench/ holds city.asc and big.asc.\n";

const Workload* workloadNamed(std::string_view name) {
  for (const Workload* workload : {&kCity, &kBig, &kDense}) {
    const std::string_view file = workload->name;
    if (name == file || name == file.substr(0, file.find('.'))) return workload;
  }
  return nullptr;
}

bool readCount(const char* text, int32_t& count) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 100000) return false;
  count = static_cast<int32_t>(value);
  return true;
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--workload" && hasValue) {
      const Workload* workload = workloadNamed(argv[++i]);
      if (!workload) return false;
      options.workloads = {workload};
    } else if (option == "--frames" && hasValue) {
      if (!readCount(argv[++i], options.frames)) return false;
    } else if (option == "--rounds" && hasValue) {
      if (!readCount(argv[++i], options.rounds)) return false;
    } else if (option == "--llvmpipe-times") {  // internal: the child that times llvmpipe
      options.role = Role::kLlvmpipeTimes;
    } else if (option == "--llvmpipe-check") {  // internal: the child that checks its picture
      options.role = Role::kLlvmpipeCheck;
    } else {
      return false;
    }
  }
  return true;
}

std::string percent(std::optional<double> share) {
  if (!share) return "failed";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f %%", *share * 100);
  return text;
}

// The scalar filler, cairo and llvmpipe against this program on city's first frame, and the
// other two against the scalar filler. The program paints each triangle's one-pixel outline
// besides its inside, which on city's thin faces makes most of its share; the others, sampling
// alike, should nearly agree among themselves.
void printCheck() {
  if (!loadWorkload(kCity)) {
    std::printf("check: %s is missing\n", kCity.name);
    return;
  }
  const std::vector<uint32_t> expected = programPicture(kCity);
  const std::vector<uint32_t> background(expected.size(), pixelFromColour(kGrey));
  const PlainMesh mesh = copyLoadedMesh();
  const std::unique_ptr<Renderer> scalar = makeScalarFiller(mesh);
  scalar->drawFrame(frameAngles(kCity, 0));
  const std::unique_ptr<Renderer> cairo = makeCairo(mesh);
  cairo->drawFrame(frameAngles(kCity, 0));
  const std::optional<ChildReport> llvmpipe = llvmpipeChild({"--llvmpipe-check"}, 0);

  std::printf("OSMesa renderer: %s\n", llvmpipe ? llvmpipe->renderer.c_str() : "failed to start");
  std::printf("check, %s at %g,%g,%g, whose picture covers %s of the frame: pixels differing\n",
              kCity.name, kCity.startAngle[0], kCity.startAngle[1], kCity.startAngle[2],
              percent(differingShare(rowsOf(expected), rowsOf(background))).c_str());
  std::printf("  from this program's picture: scalar filler %s, cairo %s, llvmpipe %s\n",
              percent(differingShare(rowsOf(expected), scalar->pixels())).c_str(),
              percent(differingShare(rowsOf(expected), cairo->pixels())).c_str(),
              percent(llvmpipe ? llvmpipe->fromProgram : std::nullopt).c_str());
  std::printf("  from the scalar filler's: cairo %s, llvmpipe %s\n",
              percent(differingShare(scalar->pixels(), cairo->pixels())).c_str(),
              percent(llvmpipe ? llvmpipe->fromScalar : std::nullopt).c_str());
}

std::string cell(std::optional<double> ms) {
  if (!ms) return "failed";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", *ms);
  return text;
}

int compare(const Options& options) {
  const int32_t allThreads = workerCount();
  std::printf(
      "%d x %d, ms per frame: the median of %d rounds of %d frames (each after %d warm-up "
      "frames; the renderers take turns round by round), turning one degree about each axis "
      "per frame\n",
      kWidth, kHeight, options.rounds, options.frames, kWarmUpFrames);
  std::printf("this program: vectors %s, 1 and %d threads\n",
              std::string(vectorPathName(vectorPath)).c_str(), allThreads);
  printCheck();
  std::printf("\n%-10s %8s %10s %10s %10s %10s %10s %10s %12s\n", "workload", "faces", "program",
              "program", "scalar", "llvmpipe", "llvmpipe", "cairo", "program /");
  const std::string allLabel =
      std::to_string(allThreads) + (allThreads == 1 ? " thread" : " threads");
  std::printf("%-10s %8s %10s %10s %10s %10s %10s %10s %12s\n", "", "", "1 thread",
              allLabel.c_str(), "filler", "2 threads", "1 thread", "", "best other");
  std::fflush(stdout);

  for (const Workload* workload : options.workloads) {
    if (!loadWorkload(*workload)) {
      std::printf("%-10s missing\n", workload->name);
      continue;
    }
    const auto drawProgram = [](const Angles& a) { renderFrame(a.x, a.y, a.z); };
    const PlainMesh mesh = copyLoadedMesh();
    const std::unique_ptr<Renderer> scalarFiller = makeScalarFiller(mesh);
    const std::unique_ptr<Renderer> cairoRenderer = makeCairo(mesh);
    // The renderers take turns round by round, so that a change in the machine's speed during
    // the run (other work on it) falls on all of them alike.
    std::vector<double> programOneRounds, programAllRounds, scalarRounds, cairoRounds;
    std::vector<double> llvmpipeTwoRounds, llvmpipeOneRounds;
    const Options oneRound = [&] {
      Options copy = options;
      copy.rounds = 1;
      return copy;
    }();
    for (int32_t round = 0; round < options.rounds; ++round) {
      setWorkerCount(1);
      programOneRounds.push_back(roundFrameMs(*workload, options.frames, drawProgram));
      setWorkerCount(allThreads);
      programAllRounds.push_back(roundFrameMs(*workload, options.frames, drawProgram));
      scalarRounds.push_back(roundFrameMs(*workload, options.frames,
                                          [&](const Angles& a) { scalarFiller->drawFrame(a); }));
      cairoRounds.push_back(roundFrameMs(*workload, options.frames,
                                         [&](const Angles& a) { cairoRenderer->drawFrame(a); }));
      for (const int32_t threads : {2, 1}) {
        const std::optional<ChildReport> report =
            llvmpipeChild(childTimingArguments(*workload, oneRound), threads);
        if (report && report->ms) {
          (threads == 2 ? llvmpipeTwoRounds : llvmpipeOneRounds).push_back(*report->ms);
        }
      }
    }
    const double programOne = *median(programOneRounds);
    const double programAll = *median(programAllRounds);
    const double scalar = *median(scalarRounds);
    const double cairo = *median(cairoRounds);
    const std::optional<double> llvmpipeTwo = median(llvmpipeTwoRounds);
    const std::optional<double> llvmpipeOne = median(llvmpipeOneRounds);

    double bestOther = std::min(scalar, cairo);
    for (const std::optional<double>& ms : {llvmpipeTwo, llvmpipeOne}) {
      if (ms) bestOther = std::min(bestOther, *ms);
    }
    std::printf("%-10s %8zu %10s %10s %10s %10s %10s %10s %12.2f\n", workload->name,
                mesh.faces.size(), cell(programOne).c_str(), cell(programAll).c_str(),
                cell(scalar).c_str(), cell(llvmpipeTwo).c_str(), cell(llvmpipeOne).c_str(),
                cell(cairo).c_str(), programAll / bestOther);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace
}  // namespace corvath

int main(int argc, char** argv) {
  corvath::Options options;
  if (!corvath::parseOptions(argc, argv, options)) {
    std::fputs(corvath::kUsage, stderr);
    return 2;
  }
  if (options.role != corvath::Role::kCompare) return corvath::runLlvmpipeChild(options);
  return corvath::compare(options);
}
