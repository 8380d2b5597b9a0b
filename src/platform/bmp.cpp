// The surface as a 24-bit BMP file, and replacing a file whole through a temporary beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.hpp"

namespace corvath {
namespace {

constexpr size_t kBmpHeaderSize = 54;  // 14-byte file header and 40-byte information header
constexpr char kTemporarySuffix[] = ".tmp.XXXXXX";

void putU16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t* at, uint32_t value) {
  putU16(at, value & 0xFFFF);
  putU16(at + 2, value >> 16);
}

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

std::vector<uint8_t> bmpBytes(const Surface& surface) {
  const size_t width = static_cast<size_t>(std::max(surface.width, 0));
  const size_t height = static_cast<size_t>(std::max(surface.height, 0));
  const size_t stride = (width * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> bytes(kBmpHeaderSize + stride * height, 0);  // padding stays 0
  uint8_t* header = bytes.data();
  header[0] = 'B';
  header[1] = 'M';
  putU32(header + 2, static_cast<uint32_t>(bytes.size()));
  putU32(header + 10, kBmpHeaderSize);
  putU32(header + 14, 40);
  putU32(header + 18, static_cast<uint32_t>(width));
  putU32(header + 22, static_cast<uint32_t>(height));
  putU16(header + 26, 1);
  putU16(header + 28, 24);
  // Compression, image size, resolutions and colour counts: all 0, as zero-filled.
  const size_t rowsWithPixels = width == 0 ? 0 : std::min(height, surface.pixels.size() / width);
  for (size_t row = 0; row < rowsWithPixels; ++row) {
    const uint32_t* source = surface.pixels.data() + row * width;
    uint8_t* target = bytes.data() + kBmpHeaderSize + (height - 1 - row) * stride;
    for (size_t column = 0; column < width; ++column) {
      const uint32_t pixel = source[column];
      target[0] = static_cast<uint8_t>(pixel);
      target[1] = static_cast<uint8_t>(pixel >> 8);
      target[2] = static_cast<uint8_t>(pixel >> 16);
      target += 3;
    }
  }
  return bytes;
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
