// The ASCII mesh reader: the file loader and the line parser (numbers: number_read.cpp).
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
constexpr unsigned char kEndOfFile = 26;

constexpr bool isLowerCase(char c) {
  return c >= 'a' && c <= 'z';
}

constexpr char upperCase(char c) {
  return isLowerCase(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

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

#if defined(__SSE2__)
// The byte that upper-cases to the same letter as c, or c itself when it is no letter.
constexpr char otherCase(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (isLowerCase(c)) return static_cast<char>(c - 'a' + 'A');
  return c;
}
#endif

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
  return roundToInt32(Extended(vertexBase) + number);
}

// A coordinate shifted by the object's offset, the sum in extended precision. With no offset the
// sum is exact in double too (adding zero only turns -0 into +0), and far cheaper.
double offsetCoordinate(int32_t offset, double number) {
  if (offset == 0) return number + 0.0;
  return static_cast<double>(Extended(offset) + number);
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
