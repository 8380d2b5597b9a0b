// What the C++ library of Debian's emscripten (LLVM 14's libc++) lacks of C++20 and the project
// uses: std::bit_cast, and std::to_chars / std::from_chars of doubles. Included before every
// source of the web build. The C library's printf and strtod round correctly, so the digits are
// the same as the native library's where the frame depends on them.
#pragma once

#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace std {

#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif

inline to_chars_result to_chars(char* first, char* last, double value, chars_format format,
                                int precision) {
  const char* pattern = format == chars_format::scientific ? "%.*e"
                        : format == chars_format::fixed    ? "%.*f"
                                                           : "%.*g";
  char text[400];
  const int length = std::snprintf(text, sizeof text, pattern, precision, value);
  if (length < 0 || length > last - first) return {last, errc::value_too_large};
  std::memcpy(first, text, static_cast<size_t>(length));
  return {first + length, errc{}};
}

// The shortest digits that read back as the value, in the form %g chooses.
inline to_chars_result to_chars(char* first, char* last, double value) {
  char text[40];
  int length = 0;
  for (int digits = 1; digits <= 17; ++digits) {
    length = std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  if (length > last - first) return {last, errc::value_too_large};
  std::memcpy(first, text, static_cast<size_t>(length));
  return {first + length, errc{}};
}

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
  char text[512];
  const size_t length = static_cast<size_t>(last - first);
  if (length >= sizeof text) return {first, errc::invalid_argument};
  std::memcpy(text, first, length);
  text[length] = 0;
  char* end = nullptr;
  errno = 0;
  const double read = std::strtod(text, &end);
  if (end == text) return {first, errc::invalid_argument};
  if (errno == ERANGE) return {first + (end - text), errc::result_out_of_range};
  value = read;
  return {first + (end - text), errc{}};
}

}  // namespace std
