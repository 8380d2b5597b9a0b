// The renderer's own drawing: an off-screen surface with its drawing state, the triangle rule and
// its painters, the processor paths and worker threads that share a frame's work, fonts and
// text, and the surface as BMP and PNG bytes. Plain C++: no window system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvath {

// ---------------------------------------------------------------------------------------------
// Drawing surface
// ---------------------------------------------------------------------------------------------

// Colours on this interface are packed as red + 256 * green + 65536 * blue. Pixels are stored
// as 0x00RRGGBB (XRGB8888), row-major, top row first, so a window can show them unconverted.
inline constexpr uint32_t pixelFromColour(int32_t colour) {
  const auto c = static_cast<uint32_t>(colour);
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// Which tiles of a surface may hold anything but the colour it was last filled with, so that
// the next fill with that colour repaints only those: a small model on a large surface then
// costs a small clear. Bit c of rows[r] stands for the tile of column c and row r; tiles are
// square, 1 << shift pixels a side, with shift the least from 6 up that needs at most 64
// columns. The record describes the pixels of one size and storage only (width, height,
// pixels); otherwise, or when !known, the next fill covers every pixel.
struct PaintedTiles {
  bool known = false;
  uint32_t fillPixel = 0;
  int32_t width = 0;
  int32_t height = 0;
  const uint32_t* pixels = nullptr;
  int32_t shift = 6;
  std::vector<uint64_t> rows;
};

struct Surface {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // width * height, 0x00RRGGBB
  int32_t dotsPerInch = 96;      // vertical resolution used for font heights
  // Drawing state, kept between operations.
  int32_t textX = 0;  // current text position, pixels
  int32_t textY = 0;
  int32_t textColour = 0;        // packed colour
  bool transparentText = false;  // true: the pixels between glyphs keep what lies beneath;
                                 // false: the text's cell is first filled with white
  int32_t penWidth = 1;          // outline width; every width draws one pixel wide
  int32_t font = -1;             // selected font (createFont handle); -1: none selected yet
  // Kept by the drawing operations here; code that writes `pixels` itself calls
  // markSurfaceChanged afterwards.
  PaintedTiles painted;
};

// Gives the surface the size and fills it with one colour. Sizes below 0 count as 0.
void createSurface(Surface& surface, int32_t width, int32_t height, int32_t colour);
void fillSurface(Surface& surface, int32_t colour);
// After pixels were written or resized other than by the operations here: the next fill then
// covers every pixel.
void markSurfaceChanged(Surface& surface);
void moveTextPosition(Surface& surface, int32_t x, int32_t y);
void setTextColour(Surface& surface, int32_t colour);
void setTransparentText(Surface& surface, bool transparent);
void setPenWidth(Surface& surface, int32_t width);

// A triangle corner in whole pixels. Corners whose coordinates lie beyond +-kMaxCorner paint
// nothing (such faces come from vertices at or behind the eye).
struct PixelPoint {
  int64_t x = 0;
  int64_t y = 0;
};
inline constexpr int64_t kMaxCorner = int64_t{1} << 27;

// A filled triangle with a one-pixel outline of the same colour: fill UNION outline, clipped to
// the surface. Fill: pixel (x, y) is painted when the point (x, y) lies inside, left and top
// edges inside, right and bottom edges outside. Outline: each edge p0->p1, p1->p2, p2->p0 paints
// max(|dx|, |dy|) pixels from its start (end excluded), the minor coordinate rounded to nearest
// with exact halves going to the smaller coordinate. A zero-area triangle paints its outline
// only; three equal corners paint nothing.
void paintTriangle(Surface& surface, PixelPoint p0, PixelPoint p1, PixelPoint p2, int32_t colour);
// The pixels paintTriangle paints in rows firstRow .. endRow - 1, and only those; the record of
// painted tiles is marked for those rows alone. Threads may paint bands of one surface at once
// when every band starts and ends on a tile row (paintBandHeight apart) or at the bottom.
void paintTriangleRows(Surface& surface, PixelPoint p0, PixelPoint p1, PixelPoint p2,
                       int32_t colour, int32_t firstRow, int32_t endRow);
// The height of a row of painted tiles, which row bands are made of.
int32_t paintBandHeight(const Surface& surface);
// The same pixels, tested one by one against the rule above: slow, for tests, which hold
// paintTriangle to it on every processor path.
void paintTriangleReference(Surface& surface, PixelPoint p0, PixelPoint p1, PixelPoint p2,
                            int32_t colour);

// ---------------------------------------------------------------------------------------------
// Processor-specific paths
// ---------------------------------------------------------------------------------------------

// The instruction sets the painting and the face sort have paths for, each path giving the same
// results bit for bit as the portable code. Ordered: a path may use everything below it.
// kAvx512 needs AVX-512 F, BW and VL.
enum class VectorPath : int32_t { kPortable = 0, kAvx2 = 1, kAvx512 = 2 };

// The path in use: at start the best the processor has, capped by the environment variable
// CORVATH_VECTORS ("portable", "avx2" or "avx512"; an unknown value is reported on standard
// error and ignored). Changed only through setVectorPath.
extern VectorPath vectorPath;
// The best path the processor has (kPortable on processors other than x86).
VectorPath bestVectorPath();
// Uses `path`, capped at the best the processor has; returns the path now in use. For tests and
// benchmarks that run every path; never while a frame is drawn.
VectorPath setVectorPath(VectorPath path);
// Every path the processor can run, kPortable first.
std::vector<VectorPath> supportedVectorPaths();
// "portable", "avx2" or "avx512", and back; false for an unknown name, leaving `path` alone.
std::string_view vectorPathName(VectorPath path);
bool vectorPathFromName(std::string_view name, VectorPath& path);

// ---------------------------------------------------------------------------------------------
// Worker threads
// ---------------------------------------------------------------------------------------------

// Threads that share the work inside a frame, the calling thread included; started on first
// use and parked between frames. Work split among them must give the same result on any
// count: each part writes its own rows, ranges or tables.
inline constexpr int32_t kMostWorkers = 16;
using PartTask = std::function<void(int32_t part)>;

// The threads a frame uses: at start the hardware's threads, at most kMostWorkers, or the
// environment variable CORVATH_THREADS (1 draws on the calling thread alone; an invalid value
// is reported on standard error and ignored).
int32_t workerCount();
// Uses `count` threads from now on (1 to kMostWorkers); returns the count in use. For tests and
// benchmarks; never while parts run.
int32_t setWorkerCount(int32_t count);
// Items 0 .. total - 1 cut into `count` consecutive ranges of nearly equal size, for runParts.
struct Ranges {
  int32_t total = 0;
  int32_t count = 0;
  int32_t begin(int32_t part) const {
    return static_cast<int32_t>(int64_t{total} * part / count);
  }
  int32_t end(int32_t part) const { return begin(part + 1); }
};
// Ranges for the threads in use: a few per thread, none of fewer than leastPerPart items
// unless there are fewer in all; no range for no items.
Ranges splitRanges(int32_t total, int32_t leastPerPart = 8192);
// Runs task(0) .. task(parts - 1), each once, on the worker threads and the calling thread,
// and returns when all are done. Tasks must not throw. Called from one thread at a time.
void runParts(int32_t parts, const PartTask& task);

// ---------------------------------------------------------------------------------------------
// Fonts and text
// ---------------------------------------------------------------------------------------------

struct FontMetrics {
  int32_t height = 0;  // character cell height (ascent + descent), pixels
  int32_t ascent = 0;
  int32_t descent = 0;
  int32_t externalLeading = 0;
  int32_t averageCharWidth = 0;
};

// Creates a font by face name (at most 31 characters are used), height (negative: character
// height in pixels; positive: cell height; 0: 16 pixels) and weight (700 bold), preferring a
// fixed-pitch face when the name is not installed. The face and its glyphs are loaded once per
// distinct request and reused; the same request returns the same handle. Returns a handle >= 0,
// or -1 when no font exists (also for sizes above 1024 pixels).
int32_t createFont(std::string_view faceName, int32_t height, int32_t weight);
// Releases a handle; the cached face stays for the next identical request. Handles stay
// valid, so releasing the font a surface still has selected is harmless.
void deleteFont(int32_t font);
// Makes the font the surface's font and returns the previously selected handle; an invalid
// handle leaves the previous font selected and returns -1.
int32_t selectFont(Surface& surface, int32_t font);
// Metrics of the surface's font (all 0 when none is selected).
FontMetrics fontMetrics(const Surface& surface);
// How far textOut would move the pen for the text, in pixels; 0 without a selected font.
int32_t textWidth(const Surface& surface, std::string_view text);
// Draws text (bytes as Latin-1 characters) with its top-left corner at the text position,
// anti-aliased in the text colour, and advances the text position past it. Without a selected
// font nothing is drawn.
void textOut(Surface& surface, std::string_view text);

// ---------------------------------------------------------------------------------------------
// Picture files
// ---------------------------------------------------------------------------------------------

// The whole surface as an uncompressed 24-bit BMP file: 14-byte file header, 40-byte info
// header, rows bottom-up, pixels blue-green-red, rows padded with zeros to 4 bytes.
std::vector<uint8_t> bmpBytes(const Surface& surface);

// The whole surface as a PNG file: 8-bit RGB, top row first, the same pixels as bmpBytes.
// Empty when the surface has an empty side or fewer pixels than its size asks (PNG allows neither).
std::vector<uint8_t> pngBytes(const Surface& surface);

}  // namespace corvath
