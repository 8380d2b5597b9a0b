// corvath-convert: a mesh file of another program into mesh text for the viewer, or back.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert.hpp"

#include "files/files.hpp"
#include "import/import.hpp"

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Records and globals
// ---------------------------------------------------------------------------------------------

struct ConvertOptions {
  std::string input;
  std::string output;
  bool fit = false;
  bool frame = false;
};

constexpr const char* kUsage =
    "usage: corvath-convert [--fit] [--frame] INPUT OUTPUT\n"
    "       corvath-convert --list-formats | --help | --version\n"
    "Converts a mesh file by the names' extensions: any format --list-formats shows into mesh\n"
    "text for the viewer (OUTPUT ending in .asc), or mesh text into OBJ (with an MTL of the\n"
    "face colours), PLY (face colours), STL, glTF 2 (.glb) and the other formats listed.\n"
    "Coordinates are kept as they are, unless --frame moves them.\n"
    "  --fit           simplify a mesh too large for the viewer until its text fits\n"
    "  --frame         place the model as the viewer frames it: the middle of its box at the\n"
    "                  origin, its farthest vertex 1000 units from there, so that the viewer\n"
    "                  started beside the mesh text shows it whole\n"
    "  --list-formats  print the formats read and written\n"
    "  -h, --help      print this text\n"
    "  -V, --version   print the version\n";

// Below this many pixels across, the viewer's start-up picture of mesh text is a speck.
constexpr double kSpeckPixels = 24;

// Progress is shown only for work that has taken this long, and at most this often.
constexpr std::chrono::milliseconds kQuietTime{1000};
constexpr std::chrono::milliseconds kProgressPeriod{1000};

std::chrono::steady_clock::time_point startTime;
std::chrono::steady_clock::time_point lastProgress;

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

void showProgress(std::string_view stage, double done) {
  const auto now = std::chrono::steady_clock::now();
  if (now - startTime < kQuietTime || now - lastProgress < kProgressPeriod) return;
  lastProgress = now;
  std::fprintf(stderr, "corvath-convert: %.*s %d%%\n", static_cast<int>(stage.size()), stage.data(),
               static_cast<int>(done * 100));
}

int fail(const std::string& subject, const std::string& reason) {
  std::fprintf(stderr, "corvath-convert: %s: %s\n", subject.c_str(), reason.c_str());
  return 1;
}

void listFormats() {
  std::puts("read (INPUT):");
  for (const auto& [extension, description] : importFormats()) {
    std::printf("  .%-10s %s\n", extension.c_str(), description.c_str());
  }
  std::puts("written (OUTPUT):");
  for (const auto& [extension, description] : exportFormats()) {
    std::printf("  .%-10s %s\n", extension.c_str(), description.c_str());
  }
}

bool parseOptions(int argc, char** argv, ConvertOptions& options) {
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--fit") {
      options.fit = true;
    } else if (argument == "--frame") {
      options.frame = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return false;
    } else {
      names.emplace_back(argument);
    }
  }
  if (names.size() != 2 || names[0].empty() || names[1].empty()) return false;
  options.input = names[0];
  options.output = names[1];
  return true;
}

// Mesh text keeps the coordinates; the viewer started beside it may show them badly.
void warnOfPlacement(const std::vector<MeshObject>& objects, const ConvertOptions& options) {
  const PlainPlacement placement = plainPlacement(objects);
  if (placement.reachesEye) {
    std::fprintf(stderr,
                 "corvath-convert: warning: %s: vertices lie up to %.6g units from the centre of "
                 "rotation, past the viewer's eye at 5000, so some turns show it as shards "
                 "(--frame places it to be seen whole)\n",
                 options.output.c_str(), placement.radius);
  } else if (placement.pictureSpan < kSpeckPixels) {
    std::fprintf(stderr,
                 "corvath-convert: warning: %s: the viewer would show it about %.2g pixels across "
                 "(--frame places it to be seen whole)\n",
                 options.output.c_str(), placement.pictureSpan);
  }
}

bool isDirectory(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int convert(const ConvertOptions& options) {
  const std::string outputExtension = fileExtension(options.output);
  if (isDirectory(options.output)) return fail(options.output, "is a folder, not a file");
  std::string error;
  if (!writableFormat(options.output, error)) return fail(options.output, error);

  std::vector<MeshObject> objects;
  const bool read = isMeshTextExtension(fileExtension(options.input))
                        ? readMeshText(options.input, objects, error)
                        : importSceneIsolated(options.input, objects, error);
  if (!read) return fail(options.input, error);

  if (isMeshTextExtension(outputExtension) && !fitsViewer(objects)) {
    const int64_t faces = faceSum(objects);
    const int64_t lines = meshTextLines(objects);
    if (!options.fit) {
      return fail(options.input, std::to_string(faces) + " faces need " + std::to_string(lines) +
                                     " lines of mesh text, more than the " +
                                     std::to_string(kViewerLines) + " the viewer reads; about " +
                                     std::to_string(facesThatFit(objects)) +
                                     " faces would fit (--fit simplifies it to that)");
    }
    const FitReport report = fitToViewer(objects);
    if (!report.fitted) {
      return fail(options.input, "cannot be simplified to fit the viewer's " +
                                     std::to_string(kViewerLines) + " lines");
    }
    std::printf(
        "simplified from %lld to %lld faces (%.1f%% of them), %lld lines of text\n",
        static_cast<long long>(report.facesBefore), static_cast<long long>(report.facesAfter),
        100.0 * static_cast<double>(report.facesAfter) / static_cast<double>(report.facesBefore),
        static_cast<long long>(report.linesAfter));
  }

  if (options.frame) frameObjects(objects);
  if (isMeshTextExtension(outputExtension) && !options.frame) warnOfPlacement(objects, options);

  std::vector<OutputFile> files;
  if (!exportMeshes(objects, options.output, files, error)) return fail(options.output, error);
  reportProgress("writing", 1);
  for (const OutputFile& file : files) {
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(file.bytes.data()),
                                         file.bytes.size());
    if (!replaceFile(file.path, bytes)) return fail(file.path, "cannot be written");
  }
  std::printf("%s: %zu objects, %lld vertices, %lld faces\n", options.output.c_str(),
              objects.size(), static_cast<long long>(vertexSum(objects)),
              static_cast<long long>(faceSum(objects)));
  return 0;
}

}  // namespace

int runConvert(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && (std::string_view(argv[1]) == "--version" || std::string_view(argv[1]) == "-V")) {
    std::printf("corvath-convert %s\n", CORVATH_VERSION);
    return 0;
  }
  if (argc == 2 && std::string_view(argv[1]) == "--list-formats") {
    listFormats();
    return 0;
  }
  ConvertOptions options;
  if (!parseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  startTime = std::chrono::steady_clock::now();
  lastProgress = startTime - kProgressPeriod;
  // Progress is for a person watching; a log or a pipe gets only the outcome.
  setProgressFunction(isatty(STDERR_FILENO) ? ProgressFunction(showProgress) : ProgressFunction());
  return convert(options);
}

}  // namespace corvath
