// corvath-render: draws a model file, or a generated scene, headless into a BMP or PNG picture.
#include <fcntl.h>
#if !defined(__EMSCRIPTEN__)
#include <linux/capability.h>
#endif
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "render/render.hpp"

#include "files/files.hpp"
#include "mesh/mesh.hpp"
#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"

namespace corvath {

namespace {

enum class PictureFormat { kFromName, kPng, kBmp };

struct RenderOptions {
  std::string meshFile = kMeshFileName;
  std::string outFile = kPictureFileName;
  PictureFormat format = PictureFormat::kFromName;
  int32_t width = 1920;
  int32_t height = 1080;
  double angles[3] = {210, 7, 90};
  int32_t frames = 0;  // 0: one frame, untimed
  bool scene = false;
  double sceneSeed = 0;
  bool colourSeeded = false;
  double colourSeed = 0;
  double zoom = 0;  // 0: the zoom the model or scene is opened with, as in the viewer
  int32_t dotsPerInch = 96;
  bool statusLine = true;
  bool thumbnail = false;
};

constexpr int32_t kLargestSide = 16384;
constexpr int32_t kMostFrames = 1000000;
constexpr int32_t kMostDotsPerInch = 960;
constexpr std::string_view kDiscard = "/dev/null";
constexpr std::string_view kStandardOutput = "-";
// A thumbnail is drawn unattended, for whatever file a file manager comes across: a file that
// asks for more memory or time than these costs its thumbnail and nothing else.
constexpr int32_t kLargestThumbnail = 4096;
constexpr rlim_t kThumbnailMemory = rlim_t{1} << 30;
constexpr unsigned kThumbnailSeconds = 20;
// parseOptions' result when the run goes on; any other is the exit code.
constexpr int kGoOn = -1;

constexpr const char* kUsage =
    "usage: corvath-render [OPTION]...\n"
    "Draws one frame of a model, as the viewer would show it, into a BMP or PNG picture.\n"
    "  --mesh FILE     model to draw (default 3d.asc): mesh text (.asc), or any format the\n"
    "                  import library reads (OBJ, STL, PLY, glTF/glb, ...), framed so that it\n"
    "                  is seen whole at every angle\n"
    "  --size WxH      drawing surface, standing in for the desktop (default 1920x1080)\n"
    "  --angles X,Y,Z  rotation in degrees (default 210,7,90)\n"
    "  --out FILE      picture to write (default 3d.bmp); - writes it to standard output, and\n"
    "                  /dev/null writes nothing\n"
    "  --format F      png or bmp (default: PNG for -, else PNG for a name ending in .png and\n"
    "                  BMP for any other)\n"
    "  --seed N        fixes the random colour of faces without one, so that pictures repeat\n"
    "                  (default: from the time of day)\n"
    "  --frames N      draw N frames, one degree further about each axis each, and print\n"
    "                  the median, least and greatest time of a frame\n"
    "  --scene SEED    draw the random scene a frame-timer tick builds at SEED seconds after\n"
    "                  midnight instead of a model; no file is read\n"
    "  --zoom Z        projection scale instead of the one the model or scene is opened with\n"
    "  --dpi N         the desktop's text resolution, which sizes the status line (default 96)\n"
    "  --no-status     leave the status line out: the picture then depends on no font\n"
    "  --thumbnail SIZE INPUT OUTPUT\n"
    "                  a thumbnail for the desktop: INPUT drawn into OUTPUT as a PNG of SIZE x\n"
    "                  SIZE pixels (1 to 4096) without the status line, in at most 20 seconds\n"
    "                  and 1 GiB of memory, import included; past either, exit 1 and no picture\n"
    "  -h, --help      print this text\n"
    "  -V, --version   print the version\n"
    "The counts of vertices and faces, the zoom and the frame times go to standard output, or\n"
    "to standard error when the picture does. Exit status: 0 drawn; 1 a model that cannot be\n"
    "opened (no picture is then written, an existing file is left as it was) or a picture\n"
    "that cannot be written; 2 wrong usage.\n"
    "The environment variable CORVATH_VECTORS=portable|avx2|avx512 caps the processor paths,\n"
    "and CORVATH_THREADS=N sets the threads a frame uses; the pictures are the same on every\n"
    "path and thread count.\n";

constexpr std::string_view kValueOptions[] = {"--mesh", "--out",    "--format", "--seed",
                                              "--size", "--angles", "--frames", "--scene",
                                              "--zoom", "--dpi"};

// The clock the start colour and the scene composer read when a seed is given.
double fixedSeconds = 0;
double fixedClock() {
  return fixedSeconds;
}

// Whether the name ends in ".png", in any case.
bool wantsPng(std::string_view name) {
  constexpr std::string_view kPng = ".png";
  if (name.size() < kPng.size()) return false;
  return std::equal(kPng.begin(), kPng.end(), name.end() - kPng.size(), [](char a, char b) {
    return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
  });
}

bool parseWhole(std::string_view text, int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc{} && stop == end;
}

bool parseReal(std::string_view text, double& value) {
#if defined(__cpp_lib_to_chars)
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc{} && stop == end && std::isfinite(value);
#else
  // Libraries without the floating-point from_chars (the WebAssembly one): strtod, held to the
  // same plain decimal form.
  const std::string copy(text);
  if (copy.empty() || copy.find_first_not_of("0123456789+-.eE") != std::string::npos ||
      copy[0] == '+') {
    return false;
  }
  char* stop = nullptr;
  errno = 0;
  value = std::strtod(copy.c_str(), &stop);
  return errno == 0 && *stop == '\0' && std::isfinite(value);
#endif
}

// Each reader below stores a good value and returns "", or returns why the value is refused.
std::string readSize(std::string_view text, int32_t& width, int32_t& height) {
  const size_t cross = text.find('x');
  if (cross == std::string_view::npos || !parseWhole(text.substr(0, cross), width) ||
      !parseWhole(text.substr(cross + 1), height)) {
    return "width and height expected as WxH, e.g. 1920x1080";
  }
  if (width < 1 || height < 1 || width > kLargestSide || height > kLargestSide) {
    return "width and height must be 1 to " + std::to_string(kLargestSide);
  }
  return "";
}

std::string readAngles(std::string_view text, double (&angles)[3]) {
  if (std::count(text.begin(), text.end(), ',') != 2) return "three angles X,Y,Z expected";
  for (double& angle : angles) {
    const size_t comma = std::min(text.find(','), text.size());
    if (!parseReal(text.substr(0, comma), angle)) return "angles must be finite numbers of degrees";
    text.remove_prefix(std::min(text.size(), comma + 1));
  }
  return "";
}

std::string readRange(std::string_view text, int32_t least, int32_t most, int32_t& value) {
  if (parseWhole(text, value) && value >= least && value <= most) return "";
  return "a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
         " expected";
}

std::string readValue(std::string_view name, std::string_view value, RenderOptions& options) {
  if (name == "--mesh" || name == "--out") {
    if (value.empty()) return "an empty file name";
    (name == "--mesh" ? options.meshFile : options.outFile) = value;
  } else if (name == "--format") {
    if (value != "png" && value != "bmp") return "png or bmp expected";
    options.format = value == "png" ? PictureFormat::kPng : PictureFormat::kBmp;
  } else if (name == "--size") {
    return readSize(value, options.width, options.height);
  } else if (name == "--angles") {
    return readAngles(value, options.angles);
  } else if (name == "--frames") {
    return readRange(value, 1, kMostFrames, options.frames);
  } else if (name == "--dpi") {
    return readRange(value, 1, kMostDotsPerInch, options.dotsPerInch);
  } else if (name == "--zoom") {
    if (!parseReal(value, options.zoom) || options.zoom <= 0) return "a positive number expected";
  } else if (name == "--scene" || name == "--seed") {
    double& seconds = name == "--scene" ? options.sceneSeed : options.colourSeed;
    if (!parseReal(value, seconds)) return "a finite number of seconds expected";
    (name == "--scene" ? options.scene : options.colourSeeded) = true;
  }
  return "";
}

std::string readThumbnail(char** values, RenderOptions& options) {
  int32_t side = 0;
  if (std::string reason = readRange(values[0], 1, kLargestThumbnail, side); !reason.empty()) {
    return reason;
  }
  if (values[1][0] == '\0' || values[2][0] == '\0') return "an empty file name";
  options.width = options.height = side;
  options.meshFile = values[1];
  options.outFile = values[2];
  options.format = PictureFormat::kPng;
  options.statusLine = false;
  options.thumbnail = true;
  return "";
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "corvath-render: %s\nTry 'corvath-render --help' for more information.\n",
               message.c_str());
  return 2;
}

int parseOptions(int argc, char** argv, RenderOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (name == "--version" || name == "-V") {
      std::printf("corvath-render %s\n", kProgramVersion);
      return 0;
    }
    if (name == "--no-status") {
      options.statusLine = false;
      continue;
    }
    if (name == "--thumbnail") {
      if (i + 3 >= argc) return usageError("--thumbnail needs SIZE, INPUT and OUTPUT");
      const std::string reason = readThumbnail(argv + i + 1, options);
      if (!reason.empty()) return usageError(name + " " + argv[i + 1] + ": " + reason);
      i += 3;
      continue;
    }
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) ==
        std::end(kValueOptions)) {
      return usageError(name.starts_with('-') ? "unknown option " + name
                                              : "unexpected argument " + name);
    }
    if (i + 1 >= argc) return usageError(name + " needs a value");
    const std::string value = argv[++i];
    const std::string reason = readValue(name, value, options);
    if (!reason.empty()) {
      return usageError(name + " " + (value.empty() ? "''" : value) + ": " + reason);
    }
  }
  return kGoOn;
}

std::string shortestText(double value) {
  char text[32];
#if defined(__cpp_lib_to_chars)
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
#else
  // The fewest significant digits that read back as the value, through printf; then, as
  // to_chars, plain decimals unless the exponent's form is shorter.
  int digits = 1;
  while (digits < 17) {
    std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
    if (std::strtod(text, nullptr) == value) break;
    ++digits;
  }
  std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
  const std::string scientific = text;
  const int exponent = std::atoi(std::strchr(text, 'e') + 1);
  std::snprintf(text, sizeof text, "%.*f", std::max(0, digits - 1 - exponent), value);
  return std::strlen(text) <= scientific.size() ? std::string(text) : scientific;
#endif
}

// Where the kernel lists this process's children: filled before the timer can go off, so that
// its handler only reads.
char childrenListPath[64];

// The run is out of time: the import's child, when one is working, ends with it, instead of
// going on alone until its own processor time runs out. Only async-signal-safe calls.
void endThumbnailRun(int) {
  const int list = open(childrenListPath, O_RDONLY | O_CLOEXEC);
  if (list >= 0) {
    char text[512];
    const ssize_t length = read(list, text, sizeof text);
    pid_t child = 0;
    for (ssize_t i = 0; i < length; ++i) {
      if (text[i] >= '0' && text[i] <= '9') {
        child = child * 10 + (text[i] - '0');
      } else {
        if (child > 0) kill(child, SIGKILL);
        child = 0;
      }
    }
    close(list);
  }
  _exit(1);
}

// Root could raise the limits again, and the import's child does raise its own to what it
// expects to need: without this privilege it cannot go past the thumbnail's.
void dropLimitOverride() {
#if defined(__EMSCRIPTEN__)
  // WebAssembly under node has no privileges to drop.
#else
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return;
  const uint32_t bit = uint32_t{1} << (CAP_SYS_RESOURCE % 32);
  __user_cap_data_struct& word = data[CAP_SYS_RESOURCE / 32];
  word.effective &= ~bit;
  word.permitted &= ~bit;
  word.inheritable &= ~bit;
  syscall(SYS_capset, &header, data);
#endif
}

// Caps the whole run, which the import's child inherits: address space, processor time (the
// signal at the soft limit, the kill one second later) and wall-clock time; no core file.
void limitThumbnailRun() {
  dropLimitOverride();
  std::snprintf(childrenListPath, sizeof childrenListPath, "/proc/self/task/%d/children",
                static_cast<int>(getpid()));
  const rlimit time{kThumbnailSeconds, kThumbnailSeconds + 1};
  const rlimit noCore{0, 0};
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The sanitizers have reserved terabytes of shadow address space already; any cap breaks them.
  const rlimit memory{kThumbnailMemory, kThumbnailMemory};
  setrlimit(RLIMIT_AS, &memory);
#endif
  setrlimit(RLIMIT_CPU, &time);
  setrlimit(RLIMIT_CORE, &noCore);
  std::signal(SIGALRM, endThumbnailRun);
  std::signal(SIGXCPU, endThumbnailRun);
  alarm(kThumbnailSeconds);
}

void useFixedClock(double seconds) {
  fixedSeconds = seconds;
  setTimeOfDayClock(fixedClock);
}

// The view set up and the tables filled: the scene, or the model file. False, with the reason
// printed, for a model that cannot be opened.
bool openDrawing(const RenderOptions& options) {
  if (options.scene) {
    // The start colour too comes from the fixed clock, so a seeded run repeats exactly.
    useFixedClock(options.sceneSeed);
    // The empty name opens no file: only the view is set up before the scene fills the tables.
    prepareViewer("", options.width, options.height);
    replaceWithNewScene();
    zoom = startUpZoom();
    return true;
  }
  if (options.colourSeeded) useFixedClock(options.colourSeed);
  std::string error;
  std::string notice;
  const bool opened =
      prepareViewer(options.meshFile, options.width, options.height, &error, &notice);
  const std::string& shown = opened ? notice : error;
  if (!shown.empty()) {
    std::fprintf(stderr, "corvath-render: %s: %s\n", options.meshFile.c_str(), shown.c_str());
  }
  return opened;
}

void drawFrames(const RenderOptions& options, std::FILE* report) {
  const double* start = options.angles;
  if (options.frames == 0) {
    renderFrame(start[0], start[1], start[2]);
    return;
  }
  std::vector<double> milliseconds;
  milliseconds.reserve(static_cast<size_t>(options.frames));
  for (int32_t frame = 0; frame < options.frames; ++frame) {
    const double angleX = std::fmod(start[0] + frame, 360.0);
    const double angleY = std::fmod(start[1] + frame, 360.0);
    const double angleZ = std::fmod(start[2] + frame, 360.0);
    const auto began = std::chrono::steady_clock::now();
    renderFrame(angleX, angleY, angleZ);
    const std::chrono::duration<double, std::milli> spent =
        std::chrono::steady_clock::now() - began;
    milliseconds.push_back(spent.count());
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  const size_t middle = milliseconds.size() / 2;
  const double median = milliseconds.size() % 2 == 1
                            ? milliseconds[middle]
                            : (milliseconds[middle - 1] + milliseconds[middle]) / 2;
  std::fprintf(report, "median_ms=%.3f min_ms=%.3f max_ms=%.3f\n", median, milliseconds.front(),
               milliseconds.back());
}

int writePicture(const RenderOptions& options) {
  const bool toStandardOutput = options.outFile == kStandardOutput;
  const bool png = options.format == PictureFormat::kFromName
                       ? toStandardOutput || wantsPng(options.outFile)
                       : options.format == PictureFormat::kPng;
  const std::vector<uint8_t> picture = png ? pngBytes(drawingSurface) : bmpBytes(drawingSurface);
  std::string reason = "the picture could not be encoded";
  bool written = !picture.empty();
  if (written && toStandardOutput) {
    written = writeAll(STDOUT_FILENO, picture);
    if (!written) reason = std::strerror(errno);
  } else if (written) {
    written = replaceFile(options.outFile, picture, &reason);
  }
  if (written) return 0;
  std::fprintf(stderr, "corvath-render: %s: %s\n",
               toStandardOutput ? "standard output" : options.outFile.c_str(), reason.c_str());
  return 1;
}

}  // namespace

int runRender(int argc, char** argv) {
  RenderOptions options;
  if (const int code = parseOptions(argc, argv, options); code != kGoOn) return code;
  const bool toStandardOutput = options.outFile == kStandardOutput;
  // A reader that goes away must show as a failed write (EPIPE), not end the process unheard.
  if (toStandardOutput) std::signal(SIGPIPE, SIG_IGN);
  std::FILE* report = toStandardOutput ? stderr : stdout;
  if (options.thumbnail) limitThumbnailRun();

  if (!openDrawing(options)) return 1;
  // Mesh text keeps the start-up rule, made for a screen; a thumbnail shows every model whole.
  if (options.thumbnail && isMeshTextFile(options.meshFile)) {
    frameMesh();
    prepareMesh();
    zoom = framedZoom(options.width);
  }
  if (options.zoom > 0) zoom = options.zoom;
  createSurface(drawingSurface, options.width, options.height, kButtonFaceColour);
  drawingSurface.dotsPerInch = options.dotsPerInch;
  statusLineShown = options.statusLine;
  std::fprintf(report, "vertices=%d faces=%d zoom=%s\n", vertexCount, faceCount,
               shortestText(zoom).c_str());
  std::fflush(report);

  drawFrames(options, report);
  std::fflush(report);
  if (options.outFile == kDiscard) return 0;
  // A picture cut off while written would leave its temporary file behind.
  if (options.thumbnail) alarm(0);
  return writePicture(options);
}

}  // namespace corvath
