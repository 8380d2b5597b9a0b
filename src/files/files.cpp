// Checks on files before they are read, their names, writing to a descriptor whole, and
// replacing a file whole through a temporary beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "files/files.hpp"

namespace corvath {
namespace {

constexpr char kTemporarySuffix[] = ".tmp.XXXXXX";

mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// The temporary's name: beside the target, or a short name in its directory when the target's
// own name leaves no room for the suffix.
std::string temporaryName(const std::string& target) {
  const size_t slash = target.rfind('/');
  const size_t baseLength = slash == std::string::npos ? target.size() : target.size() - slash - 1;
  if (baseLength + sizeof kTemporarySuffix - 1 <= NAME_MAX) return target + kTemporarySuffix;
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  return directory + kTemporarySuffix;
}

}  // namespace

bool writeAll(int descriptor, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

bool readableFile(const std::string& path, std::string& error) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    error = "is a folder, not a file";
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    error = "is not a regular file";
    return false;
  }
  if (access(path.c_str(), R_OK) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (status.st_size == 0) {
    error = "is empty";
    return false;
  }
  return true;
}

std::string fileExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t point = path.rfind('.');
  if (point == std::string::npos || (slash != std::string::npos && point < slash)) return "";
  std::string extension = path.substr(point + 1);
  for (char& c : extension) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return extension;
}

bool replaceFile(const std::string& path, std::span<const uint8_t> bytes, std::string* reason) {
  const auto fail = [reason](const char* why) {
    if (reason != nullptr) *reason = why;
    return false;
  };
  if (path.empty() || path.find('\0') != std::string::npos) return fail("not a file name");
  // Through a symbolic link the file it names is replaced, and the link stays.
  std::string target = path;
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return fail(std::strerror(errno));
    target = resolved;
    std::free(resolved);
  }
  mode_t mode = 0;
  if (stat(target.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) return fail("not a regular file");
    // Root passes access() on read-only files, so the write bits are checked as well.
    if ((status.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0) {
      return fail("the file is read-only");
    }
    mode = status.st_mode & 0777;
  } else if (errno == ENOENT) {
    mode = 0644 & ~currentUmask();
  } else {
    return fail(std::strerror(errno));
  }

  std::string temporary = temporaryName(target);
  const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) return fail(std::strerror(errno));
  // The mode is a courtesy that some file systems refuse; the bytes are what must arrive.
  // A file system that cannot sync says EINVAL, which is no failure of the write.
  fchmod(descriptor, mode);
  const bool written = writeAll(descriptor, bytes) && (fsync(descriptor) == 0 || errno == EINVAL);
  int failure = written ? 0 : errno;
  if (close(descriptor) != 0 && failure == 0) failure = errno;
  if (failure == 0 && rename(temporary.c_str(), target.c_str()) == 0) return true;
  if (failure == 0) failure = errno;
  unlink(temporary.c_str());
  return fail(failure != 0 ? std::strerror(failure) : "the write failed");
}

}  // namespace corvath
