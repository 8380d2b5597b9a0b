// Importing in a forked child, so that the import library's aborts and crashes end only the child.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

#include "files/files.hpp"
#include "import/import.hpp"

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------

// The child's stream is a run of records, each opened by one of these bytes, in the machine's
// own byte order (both ends are the same program):
//   kProgress: stage length (uint8_t), stage, done (double)
//   kObject:   name length, position count, corner count (uint64_t each), name, positions,
//              corners, colours (corner count / 3 of them)
//   kFailure:  reason length (uint64_t), reason; last
//   kEnd:      nothing; last, after the objects
enum RecordKind : char { kProgress = 'p', kObject = 'o', kFailure = 'f', kEnd = 'e' };

// The address space the child may add to what it inherits: the lesser of the machine's memory
// and this.
constexpr uint64_t kMostChildMemory = uint64_t{16} << 30;
// The processor time the child may take: a few seconds, and one more for every few megabytes
// of the file, at most ten minutes. Some damaged files send the import library round a loop for
// ever; real models are read many times faster than this allows.
constexpr uint64_t kLeastChildSeconds = 10;
constexpr uint64_t kBytesPerSecond = uint64_t{5} << 20;
constexpr uint64_t kMostChildSeconds = 600;

uint64_t childSeconds(const std::string& path) {
  struct stat status {};
  const uint64_t bytes = stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
  return std::min(kLeastChildSeconds + bytes / kBytesPerSecond, kMostChildSeconds);
}

// Above these the stream is broken, not large: a name is one line, and no reader makes more
// than 2^32 vertices of an object.
constexpr uint64_t kLongestName = uint64_t{1} << 20;
constexpr uint64_t kMostCoordinates = uint64_t{3} << 32;

// How the child's stream ended: with its objects, with a failure it reported, cut short (the
// child has gone), or with something it would not write (the child may still be running).
enum StreamEnd { kWhole, kReported, kBrokenOff, kNonsense };

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

// The platform's writeAll, for bytes of any kind.
bool writeBytes(int fd, const void* data, size_t size) {
  return writeAll(fd, std::span(static_cast<const uint8_t*>(data), size));
}

// Reads exactly `size` bytes; false at the end of the stream or an error before then.
bool readAll(int fd, void* data, size_t size) {
  char* at = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = read(fd, at, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

template <typename Value>
bool writeValue(int fd, const Value& value) {
  return writeBytes(fd, &value, sizeof value);
}

template <typename Value>
bool readValue(int fd, Value& value) {
  return readAll(fd, &value, sizeof value);
}

template <typename Element>
bool writeArray(int fd, const std::vector<Element>& values) {
  return writeBytes(fd, values.data(), values.size() * sizeof(Element));
}

// The vector sized and filled straight from the stream, in one read loop.
template <typename Element>
bool readArray(int fd, std::vector<Element>& values, uint64_t count) {
  values.resize(count);
  return readAll(fd, values.data(), count * sizeof(Element));
}

bool writeFailure(int fd, std::string_view reason) {
  const uint64_t length = reason.size();
  return writeValue(fd, kFailure) && writeValue(fd, length) &&
         writeBytes(fd, reason.data(), reason.size());
}

bool writeObjects(int fd, const std::vector<MeshObject>& objects) {
  for (const MeshObject& object : objects) {
    const uint64_t counts[3] = {object.name.size(), object.positions.size(), object.corners.size()};
    if (!writeValue(fd, kObject) || !writeValue(fd, counts) ||
        !writeBytes(fd, object.name.data(), object.name.size()) ||
        !writeArray(fd, object.positions) || !writeArray(fd, object.corners) ||
        !writeArray(fd, object.colours)) {
      return false;
    }
  }
  return writeValue(fd, kEnd);
}

// Caps the child's address space at what it has now plus its allowance, so that a file asking
// for more fails its allocation instead of driving the machine into swap. What it has now
// counts because the child inherits the caller's whole image, a viewer's mesh tables included.
void limitChildMemory() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The sanitizers reserve terabytes of shadow address space up front; any cap breaks them.
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return;
  uint64_t allowance = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
  if (allowance > kMostChildMemory) allowance = kMostChildMemory;
  uint64_t inherited = 0;
  if (FILE* status = std::fopen("/proc/self/statm", "r")) {
    unsigned long long size = 0;
    if (std::fscanf(status, "%llu", &size) == 1) inherited = size * static_cast<uint64_t>(pageSize);
    std::fclose(status);
  }
  const rlimit limit{inherited + allowance, inherited + allowance};
  setrlimit(RLIMIT_AS, &limit);
#endif
}

// The child: imports and streams the result, then leaves by _exit, so that none of the caller's
// exit handlers, buffered output or destructors run twice.
[[noreturn]] void runChild(const std::string& path, int fd) {
  const rlim_t seconds = childSeconds(path);
  const rlimit time{seconds, seconds + 1};  // a signal that says why, before the kill
  setrlimit(RLIMIT_CPU, &time);
  // The library's assert writes its trace on standard error before it aborts; the caller shows
  // one line of its own instead.
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere >= 0) dup2(nowhere, STDERR_FILENO);
  limitChildMemory();
  setProgressFunction([fd](std::string_view stage, double done) {
    const auto length = static_cast<uint8_t>(std::min<size_t>(stage.size(), 255));
    // A write fails only when the caller has stopped reading: then nothing matters.
    static_cast<void>(writeValue(fd, kProgress) && writeValue(fd, length) &&
                      writeBytes(fd, stage.data(), length) && writeValue(fd, done));
  });
  bool sent = false;
  try {
    std::vector<MeshObject> objects;
    std::string error;
    sent = importScene(path, objects, error) ? writeObjects(fd, objects) : writeFailure(fd, error);
  } catch (const std::bad_alloc&) {
    sent = writeFailure(fd, kTooLarge);
  } catch (...) {
    sent = writeFailure(fd, "damaged file: the import library failed on it");
  }
  _exit(sent ? 0 : 1);
}

// Reads the child's stream into objects, or the reason of a failure the child reported into
// `error`.
StreamEnd readStream(int fd, std::vector<MeshObject>& objects, std::string& error) {
  for (;;) {
    RecordKind kind;
    if (!readValue(fd, kind)) return kBrokenOff;
    if (kind == kEnd) return objects.empty() ? kNonsense : kWhole;
    if (kind == kProgress) {
      uint8_t length;
      char stage[255];
      double done;
      if (!readValue(fd, length) || !readAll(fd, stage, length) || !readValue(fd, done)) {
        return kBrokenOff;
      }
      reportProgress(std::string_view(stage, length), done);
    } else if (kind == kFailure) {
      uint64_t length;
      if (!readValue(fd, length)) return kBrokenOff;
      if (length == 0 || length > kLongestName) return kNonsense;
      error.resize(length);
      return readAll(fd, error.data(), length) ? kReported : kBrokenOff;
    } else if (kind == kObject) {
      uint64_t counts[3];
      if (!readValue(fd, counts)) return kBrokenOff;
      if (counts[0] > kLongestName || counts[1] % 3 != 0 || counts[1] > kMostCoordinates ||
          counts[2] % 3 != 0 || counts[2] == 0 || counts[2] > kMostCoordinates) {
        return kNonsense;
      }
      MeshObject& object = objects.emplace_back();
      object.name.resize(counts[0]);
      if (!readAll(fd, object.name.data(), counts[0]) ||
          !readArray(fd, object.positions, counts[1]) ||
          !readArray(fd, object.corners, counts[2]) ||
          !readArray(fd, object.colours, counts[2] / 3)) {
        return kBrokenOff;
      }
      // The caller indexes positions by corners: a corner beyond them is a broken stream.
      const uint64_t vertices = counts[1] / 3;
      for (uint32_t corner : object.corners) {
        if (corner >= vertices) return kNonsense;
      }
    } else {
      return kNonsense;
    }
  }
}

// Why the child did not deliver, from its wait status.
std::string childFailure(bool waited, int status) {
  const std::string failed = "damaged file: the import library failed on it";
  if (waited && WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
    return "damaged file: the import library worked on it far longer than a sound file of its "
           "size takes";
  }
  if (waited && WIFSIGNALED(status)) {
    const char* name = strsignal(WTERMSIG(status));
    return failed + " (" + (name != nullptr ? name : "signal " + std::to_string(WTERMSIG(status))) +
           ")";
  }
  if (waited && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    return failed + " (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  }
  return failed + " (its result broke off)";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

bool importSceneIsolated(const std::string& path, std::vector<MeshObject>& objects,
                         std::string& error) {
  objects.clear();
  // The common refusals need no child.
  if (!importableFile(path, error)) return false;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    error = std::string("cannot start the import: ") + std::strerror(errno);
    return false;
  }
  // A larger pipe means fewer turns between the two processes for a large mesh; not essential.
  fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
  const pid_t child = fork();
  if (child < 0) {
    error = std::string("cannot start the import: ") + std::strerror(errno);
    close(ends[0]);
    close(ends[1]);
    return false;
  }
  if (child == 0) {
    close(ends[0]);
    runChild(path, ends[1]);
  }
  close(ends[1]);  // else the stream would never end if the child dies

  StreamEnd end;
  try {
    end = readStream(ends[0], objects, error);
  } catch (const std::bad_alloc&) {
    end = kReported;
    error = kTooLarge;
  }
  close(ends[0]);
  if (end == kNonsense) kill(child, SIGKILL);
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  // A caller that ignores SIGCHLD has its children reaped unseen (ECHILD): the stream decides.
  const bool exited = waited == child;
  if (end == kWhole && (!exited || (WIFEXITED(status) && WEXITSTATUS(status) == 0))) return true;
  if (end != kReported) error = childFailure(exited && end != kNonsense, status);
  objects.clear();
  return false;
}

}  // namespace corvath
