// Files as the programs use them: names, whole writes, checks before reading, and the safe
// replacement of a file by new contents.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace corvath {

// The lower-case extension of a path's file name without the point ("" when it has none).
std::string fileExtension(const std::string& path);

// Writes every byte to the descriptor, through partial writes and interrupted calls. False when
// a write fails (errno says why) or writes nothing.
bool writeAll(int descriptor, std::span<const uint8_t> bytes);

// Whether the path names a readable regular file that is not empty; else false with the reason
// ("No such file or directory", "is a folder, not a file", "is empty", ...).
bool readableFile(const std::string& path, std::string& error);

// Writes the bytes to a temporary file beside `path` and renames it over `path` only when every
// write succeeded. On any failure `path` is left as it was and no temporary file remains; an
// existing read-only file or a directory of that name is never replaced. Returns success; on
// failure `reason` (when given) says why, in a few words ("No space left on device").
bool replaceFile(const std::string& path, std::span<const uint8_t> bytes,
                 std::string* reason = nullptr);

}  // namespace corvath
