// The ASCII mesh reader: the number rule, the file loader and the line parser.
#include <fcntl.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "mesh/mesh.hpp"

namespace corvath {

namespace {

// ---------------------------------------------------------------------------------------------
// Local helpers
// ---------------------------------------------------------------------------------------------

constexpr int32_t kMaxFileLines = kMeshLineEntries - 1;
constexpr int kMaxExponent = 9999;
constexpr unsigned char kEndOfFile = 26;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether a number's digits go on past c: more digits, a point or an exponent letter.
bool continuesNumber(char c) {
  return isDigit(c) || c == '.' || c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

constexpr bool isLowerCase(char c) {
  return c >= 'a' && c <= 'z';
}

constexpr char upperCase(char c) {
  return isLowerCase(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

// Digit value in bases up to 16, or 99 for anything else.
int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char u = upperCase(c);
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return 99;
}

// "&H1F", "&O17", "&Q17", "&B101", "&17": an unsigned integer in base 16, 8, 2 or 8. Carried in
// a double, so very long digit runs lose precision instead of overflowing.
double readBasedInteger(std::string_view text) {
  int base = 8;
  size_t i = 0;
  if (!text.empty()) {
    switch (upperCase(text[0])) {
      case 'H':
        base = 16, i = 1;
        break;
      case 'O':
      case 'Q':
        base = 8, i = 1;
        break;
      case 'B':
        base = 2, i = 1;
        break;
      default:
        break;
    }
  }
  double value = 0;
  for (; i < text.size(); ++i) {
    const int digit = digitValue(text[i]);
    if (digit >= base) break;
    value = value * base + digit;
  }
  return value;
}

constexpr std::array<double, 23> kExactPowersOfTen = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Keywords are matched against the upper-cased line; comparing byte by byte through the
// upper-case mapping gives the same matches without making an upper-cased copy of every line.
constexpr std::array<char, 256> kUpperCase = [] {
  std::array<char, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = upperCase(static_cast<char>(c));
  return table;
}();

inline bool sameUpperCase(char lineByte, char keywordByte) {
  return kUpperCase[static_cast<unsigned char>(lineByte)] == keywordByte;
}

// The byte that upper-cases to the same letter as c, or c itself when it is no letter.
constexpr char otherCase(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (isLowerCase(c)) return static_cast<char>(c - 'a' + 'A');
  return c;
}

// Whether the keyword matches the line at `at`, past the `from` bytes already compared.
inline bool matchesAt(std::string_view line, std::string_view keyword, size_t at, size_t from) {
  for (size_t k = from; k < keyword.size(); ++k) {
    if (!sameUpperCase(line[at + k], keyword[k])) return false;
  }
  return true;
}

// Where the (upper-case) keyword first occurs in the line, or npos.
size_t findKeyword(std::string_view line, std::string_view keyword) {
  const size_t length = keyword.size();
  if (length == 0) return 0;
  if (line.size() < length) return std::string_view::npos;
  // Line keywords ("VERTEX", "FACE") mostly stand at the start.
  if (matchesAt(line, keyword, 0, 0)) return 0;
  size_t at = 0;
#if defined(__SSE2__)
  if (length >= 2) {
    // Sixteen places at a time: the places whose first two bytes match, in either case, are
    // the only ones worth comparing in full.
    const __m128i first = _mm_set1_epi8(keyword[0]);
    const __m128i firstOther = _mm_set1_epi8(otherCase(keyword[0]));
    const __m128i second = _mm_set1_epi8(keyword[1]);
    const __m128i secondOther = _mm_set1_epi8(otherCase(keyword[1]));
    for (; at + 17 <= line.size(); at += 16) {
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + at));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + at + 1));
      const __m128i firstMatch =
          _mm_or_si128(_mm_cmpeq_epi8(here, first), _mm_cmpeq_epi8(here, firstOther));
      const __m128i secondMatch =
          _mm_or_si128(_mm_cmpeq_epi8(next, second), _mm_cmpeq_epi8(next, secondOther));
      const __m128i both = _mm_and_si128(firstMatch, secondMatch);
      auto candidates = static_cast<uint32_t>(_mm_movemask_epi8(both));
      while (candidates != 0) {
        const size_t place = at + static_cast<size_t>(std::countr_zero(candidates));
        if (place + length > line.size()) return std::string_view::npos;
        if (matchesAt(line, keyword, place, 2)) return place;
        candidates &= candidates - 1;
      }
    }
  }
#endif
  for (; at + length <= line.size(); ++at) {
    if (sameUpperCase(line[at], keyword[0]) && matchesAt(line, keyword, at, 1)) return at;
  }
  return std::string_view::npos;
}

bool startsWith(std::string_view line, std::string_view keyword) {
  if (line.size() < keyword.size()) return false;
  for (size_t k = 0; k < keyword.size(); ++k) {
    if (!sameUpperCase(line[k], keyword[k])) return false;
  }
  return true;
}

// The number after the first occurrence of the keyword; when it does not occur, the number read
// from the character position equal to the keyword's length (1-based), as the format has it.
double numberAfter(std::string_view line, std::string_view keyword) {
  const size_t at = findKeyword(line, keyword);
  if (at != std::string_view::npos) return readNumber(line.substr(at + keyword.size()));
  const size_t from = keyword.size() - 1;
  return from < line.size() ? readNumber(line.substr(from)) : 0.0;
}

// A face corner: the object's vertex base plus the corner number, the sum rounded. The sum is
// formed in extended precision unless the number is whole, when it is exact anyway.
int32_t cornerIndex(int64_t vertexBase, double number) {
  if (number > -2147483648.0 && number < 2147483647.0) {
    const auto whole = static_cast<int32_t>(number);
    if (whole == number) {
      const int64_t sum = vertexBase + whole;
      return static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
    }
  }
  return roundToInt32(static_cast<long double>(vertexBase) + number);
}

// A coordinate shifted by the object's offset, the sum in extended precision. With no offset the
// sum is exact in double too (adding zero only turns -0 into +0), and far cheaper.
double offsetCoordinate(int32_t offset, double number) {
  if (offset == 0) return number + 0.0;
  return static_cast<double>(static_cast<long double>(offset) + number);
}

void setFaceColour(Face& face, int32_t colour) {
  face.red = colourRed(colour);
  face.green = colourGreen(colour);
  face.blue = colourBlue(colour);
}

// Upper-cases and strips blanks (byte 32 only) at both ends of a line read from a file.
void finishFileLine(MeshText& line) {
  size_t first = 0;
  size_t last = line.size();
  while (first < last && line[first] == ' ') ++first;
  while (last > first && line[last - 1] == ' ') --last;
  line.erase(last);
  line.erase(0, first);
  for (char& c : line) c = upperCase(c);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

double readNumber(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  if (i < n && text[i] == '&') return readBasedInteger(text.substr(i + 1));

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // Whole numbers of up to nine digits, most numbers of mesh text (corner, vertex and face
  // numbers, colours), are their own value.
  {
    const char* const first = text.data() + i;
    const char* const end = text.data() + n;
    const char* at = first;
    uint32_t whole = 0;
    while (at < end && at - first < 9 && isDigit(*at))
      whole = whole * 10 + static_cast<uint32_t>(*at++ - '0');
    if (at > first && (at == end || !continuesNumber(*at))) {
      return negative ? -static_cast<double>(whole) : static_cast<double>(whole);
    }
  }

  // Mantissa: the digits as one integer (while it fits 19 digits) and the power of ten that
  // scales it; leading zeros carry no digit.
  const char* const end = text.data() + n;
  const char* const mantissaStart = text.data() + i;
  const char* at = mantissaStart;
  uint64_t mantissa = 0;
  int digitsKept = 0;
  int64_t scale = 0;  // power of ten applied to the kept digits
  bool droppedNonZero = false;
  while (at < end && *at == '0') ++at;
  bool anyDigit = at > mantissaStart;
  for (; at < end && isDigit(*at); ++at) {
    anyDigit = true;
    if (digitsKept < 19) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(*at - '0');
      ++digitsKept;
    } else {
      droppedNonZero |= *at != '0';
      ++scale;
    }
  }
  if (at < end && *at == '.') {
    ++at;
    if (mantissa == 0) {
      const char* const zeros = at;
      while (at < end && *at == '0') ++at;
      anyDigit |= at > zeros;
      scale -= at - zeros;
    }
    for (; at < end && isDigit(*at); ++at) {
      anyDigit = true;
      if (digitsKept < 19) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(*at - '0');
        ++digitsKept;
        --scale;
      } else {
        droppedNonZero |= *at != '0';
      }
    }
  }
  const size_t mantissaEnd = static_cast<size_t>(at - text.data());
  i = mantissaEnd;
  if (!anyDigit) return 0.0;

  int exponent = 0;
  if (i < n && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    size_t j = i + 1;
    bool negativeExponent = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) negativeExponent = text[j++] == '-';
    for (; j < n && isDigit(text[j]); ++j) {
      // Beyond 9999 the exponent counts as 9999.
      exponent = std::min(exponent * 10 + (text[j] - '0'), kMaxExponent + 1);
    }
    exponent = std::min(exponent, kMaxExponent);
    if (negativeExponent) exponent = -exponent;
  }

  double value = 0;
  const int64_t power = scale + exponent;
  if (mantissa == 0) {
    value = 0;
  } else if (!droppedNonZero && mantissa <= (uint64_t{1} << 53) && power >= -22 && power <= 22) {
    // Both operands exact: one correctly rounded operation gives the correctly rounded value.
    const double m = static_cast<double>(mantissa);
    value = power >= 0 ? m * kExactPowersOfTen[power] : m / kExactPowersOfTen[-power];
  } else {
    // General case: the digits and the clamped exponent through the correctly rounded parser.
    std::string digits;
    digits.reserve(static_cast<size_t>(at - mantissaStart) + 8);
    digits.append(mantissaStart, at);
    digits.push_back('e');
    digits += std::to_string(exponent);
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
      // Decimal magnitude of the first significant digit decides overflow or underflow.
      const int64_t magnitude = power + digitsKept;
      value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
  }
  return negative ? -value : value;
}

int32_t roundToInt32(long double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0L) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0L) return std::numeric_limits<int32_t>::min();
  // Default rounding mode: nearest, halves to the even neighbour.
  return static_cast<int32_t>(std::nearbyintl(value));
}

int32_t roundToInt32(double value) {
  // Most numbers in mesh text are whole: they need no rounding at all.
  if (value > -2147483648.0 && value < 2147483647.0) {
    const auto whole = static_cast<int32_t>(value);
    if (whole == value) return whole;
  }
  return roundToInt32(static_cast<long double>(value));
}

void loadMeshFile(const std::string& fileName, int32_t offsetX, int32_t offsetY, int32_t offsetZ,
                  int32_t defaultColour) {
  if (meshLines.size() < static_cast<size_t>(kMeshLineEntries)) createMeshLines();
  lastLineIndex = 0;

  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    // Streamed in blocks: memory stays at the lines kept, however large the file. A carriage
    // return, a CR LF pair or a lone line feed ends a line; byte 26 ends the file.
    std::array<char, 1 << 16> block;
    bool lineOpen = false;     // bytes of the current line have been read
    bool afterReturn = false;  // the previous byte was a carriage return
    bool done = false;
    MeshText* line = &meshLines[0];
    while (!done) {
      const ssize_t got = ::read(fd, block.data(), block.size());
      if (got <= 0) break;
      const char* p = block.data();
      const char* end = p + got;
      while (p < end) {
        if (afterReturn && *p == '\n') {
          afterReturn = false;
          ++p;
          continue;
        }
        afterReturn = false;
        // The run of ordinary bytes up to the next line end or end-of-file byte.
        const char* stop = p;
        while (stop < end && *stop != '\r' && *stop != '\n' &&
               *stop != static_cast<char>(kEndOfFile))
          ++stop;
        if (stop > p) {
          // Entries are cleared only when a line is stored in them, so the entry just past the
          // file's last line keeps whatever it held.
          if (!lineOpen) line->clear();
          line->append(p, stop);
          lineOpen = true;
        }
        if (stop == end) break;
        if (*stop == static_cast<char>(kEndOfFile)) {
          done = true;
          break;
        }
        afterReturn = *stop == '\r';
        if (lineOpen) {
          finishFileLine(*line);
        } else {
          line->clear();
        }
        lineOpen = false;
        if (++lastLineIndex >= kMaxFileLines) {
          done = true;
          break;
        }
        line = &meshLines[lastLineIndex];
        p = stop + 1;
      }
    }
    // A last line without a terminator still counts.
    if (lineOpen && lastLineIndex < kMaxFileLines) {
      finishFileLine(*line);
      ++lastLineIndex;
    }
    ::close(fd);
  }
  parseMeshLines(offsetX, offsetY, offsetZ, defaultColour);
}

void parseMeshLines(int32_t offsetX, int32_t offsetY, int32_t offsetZ, int32_t defaultColour) {
  bool vertexMode = false;
  bool faceMode = false;
  bool objectRejected = false;  // the last header was not accepted: skip up to the next one
  int64_t vertexBase = vertexCount;
  int64_t faceBase = faceCount;
  const int64_t lastIndex =
      std::min<int64_t>(lastLineIndex, static_cast<int64_t>(meshLines.size()) - 1);

  for (int64_t index = 0; index <= lastIndex; ++index) {
    // Read as upper-cased: keywords match in any case, and the number rule reads lower-case
    // exponent and base letters as upper-case ones.
    const std::string_view line = meshLines[index];

    if (startsWith(line, "TRI-MESH,")) {
      const int32_t announcedVertices = roundToInt32(numberAfter(line, "VERTICES:"));
      const int32_t announcedFaces = roundToInt32(numberAfter(line, "FACES:"));
      objectRejected =
          announcedVertices < 0 || announcedFaces < 0 ||
          !resizeMeshTables(vertexBase + announcedVertices + 1, faceBase + announcedFaces + 1);
      if (!objectRejected) {
        vertexCount = announcedVertices;
        faceCount = announcedFaces;
      }
    }

    if (startsWith(line, "VERTEX 0")) vertexMode = true;

    if (vertexMode && !objectRejected && findKeyword(line, "VERTEX") != std::string_view::npos) {
      const int32_t number = roundToInt32(numberAfter(line, "VERTEX "));
      const int64_t target = vertexBase + number;
      if (target >= 0 && target < static_cast<int64_t>(workingVertices.size())) {
        Vertex& vertex = workingVertices[target];
        vertex.x = offsetCoordinate(offsetX, numberAfter(line, "X:"));
        vertex.y = offsetCoordinate(offsetY, numberAfter(line, "Y:"));
        vertex.z = offsetCoordinate(offsetZ, numberAfter(line, "Z:"));
        if (number == static_cast<int64_t>(vertexCount) - 1) {
          vertexMode = false;
          vertexCount = static_cast<int32_t>(target + 1);
        }
      }
    }

    if (startsWith(line, "FACE 0")) faceMode = true;

    if (faceMode && !objectRejected && findKeyword(line, "FACE") != std::string_view::npos) {
      const int32_t number = roundToInt32(numberAfter(line, "FACE "));
      const int64_t target = faceBase + number;
      if (target >= 0 && target < static_cast<int64_t>(faces.size())) {
        int32_t colour = defaultColour;
        const size_t colourAt = findKeyword(line, "COLORE:");
        if (colourAt != std::string_view::npos)
          colour = roundToInt32(readNumber(line.substr(colourAt + 7)));
        Face& face = faces[target];
        // The corner numbers are local to the object; the sum with the base is what is rounded.
        face.a = cornerIndex(vertexBase, numberAfter(line, " A:"));
        face.b = cornerIndex(vertexBase, numberAfter(line, " B:"));
        face.c = cornerIndex(vertexBase, numberAfter(line, " C:"));
        face.cornerCount = 3;
        setFaceColour(face, colour);
        if (number == static_cast<int64_t>(faceCount) - 1) {
          faceMode = false;
          faceCount = static_cast<int32_t>(target + 1);
          vertexBase = vertexCount;
          faceBase = faceCount;
        }
      }
    }
  }
}

}  // namespace corvath
