// Checks on files before they are read.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.hpp"

namespace corvath {

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

}  // namespace corvath
