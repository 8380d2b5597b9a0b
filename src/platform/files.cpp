// Checks on files before they are read, their names, and writing to a descriptor whole.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.hpp"

namespace corvath {

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

}  // namespace corvath
