// The surface as BMP and PNG bytes, and replacing a file whole.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "files/files.hpp"
#include "raster/raster.hpp"

namespace corvath {
namespace {

// A 6 x 5 picture of an "F" in red on white, its top-left pixel blue:
//   B R R R R .
//   . R . . . .
//   . R R R . .
//   . R . . . .
//   . R . . . .
const char* const kLetterF[] = {"BRRRR.", ".R....", ".RRR..", ".R....", ".R...."};

Surface letterF() {
  Surface surface;
  createSurface(surface, 6, 5, 0xFFFFFF);
  for (int32_t i = 0; i < 30; ++i) {
    const char c = kLetterF[i / 6][i % 6];
    if (c != '.') surface.pixels[i] = pixelFromColour(c == 'R' ? 0x0000FF : 0xFF0000);
  }
  markSurfaceChanged(surface);
  return surface;
}

TEST(BmpBytes, OddWidthPictureBottomUpInBlueGreenRedWithZeroPadding) {
  // 54 bytes of headers: file size 154, pixels at 54, a 40-byte information header, 6 x 5
  // pixels, 1 plane, 24 bits, the rest 0.
  std::vector<uint8_t> expected = {'B', 'M', 154, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                   0,   0,   0,   6, 0, 0, 0, 5, 0, 0, 0,  1, 0, 24, 0};
  expected.resize(54);
  // Rows of 18 bytes and 2 of padding, the picture's bottom row first.
  for (int32_t row = 4; row >= 0; --row) {
    for (const char c : std::string(kLetterF[row])) {
      const uint8_t blue = c != 'R' ? 255 : 0, green = c == '.' ? 255 : 0, red = c != 'B' ? 255 : 0;
      expected.insert(expected.end(), {blue, green, red});
    }
    expected.insert(expected.end(), {0, 0});
  }
  EXPECT_EQ(bmpBytes(letterF()), expected);
  // Rows are padded only where they need it.
  for (const auto& [width, size] : {std::pair{0, 54u}, {1366, 54u + 4100}, {1920, 54u + 5760}}) {
    Surface surface;
    createSurface(surface, width, 1, 0x123456);
    EXPECT_EQ(bmpBytes(surface).size(), size) << width;
  }
}

TEST(PngBytes, DecodesToTheSurfacePixels) {
  Surface surface = letterF();
  surface.pixels[29] = pixelFromColour(0x123456);  // every channel different
  const std::vector<uint8_t> bytes = pngBytes(surface);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
  ASSERT_EQ(std::tuple(image.width, image.height), std::tuple(6u, 5u));
  image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB on a little-endian machine
  std::vector<uint32_t> pixels(30);
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
  for (uint32_t& pixel : surface.pixels) pixel |= 0xFF000000u;
  EXPECT_EQ(pixels, surface.pixels);
}

TEST(PngBytes, NothingForAnEmptyOrShortSurface) {
  Surface empty;
  createSurface(empty, 0, 4, 0);
  EXPECT_TRUE(pngBytes(empty).empty());
  Surface shortOfPixels = letterF();
  shortOfPixels.pixels.pop_back();
  EXPECT_TRUE(pngBytes(shortOfPixels).empty());
}

// A fresh folder for one test, removed with its contents afterwards.
class ReplaceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "replace_file_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string path(const std::string& name) const { return folder_ + "/" + name; }
  // The names in the folder, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      found.push_back(entry.path().filename());
    std::sort(found.begin(), found.end());
    return found;
  }
  unsigned mode(const std::string& name) const {
    return static_cast<unsigned>(std::filesystem::status(path(name)).permissions());
  }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string folder_;
};

TEST_F(ReplaceFile, WritesANewFileOrReplacesAnOldOneWholeAlsoThroughALink) {
  const std::vector<uint8_t> bmp = bmpBytes(letterF());
  write("old.bmp", std::string(10000, 'x'));
  chmod(path("old.bmp").c_str(), 0600);
  write("real.bmp", "old");
  ASSERT_EQ(symlink("real.bmp", path("link.bmp").c_str()), 0);
  for (const char* name : {"new.bmp", "old.bmp", "link.bmp"})
    ASSERT_TRUE(replaceFile(path(name), bmp));
  for (const char* name : {"new.bmp", "old.bmp", "real.bmp"})
    EXPECT_EQ(read(name), std::string(bmp.begin(), bmp.end())) << name;
  EXPECT_TRUE(std::filesystem::is_symlink(path("link.bmp")));
  // A new file gets the usual permissions, a replaced one keeps its own.
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(mode("new.bmp"), 0644 & ~mask);
  EXPECT_EQ(mode("old.bmp"), 0600u);
  EXPECT_EQ(names(), (std::vector<std::string>{"link.bmp", "new.bmp", "old.bmp", "real.bmp"}));
}

TEST_F(ReplaceFile, WhatCannotBeReplacedIsLeftAsItWas) {
  write("read-only.bmp", "old");
  chmod(path("read-only.bmp").c_str(), 0444);
  ASSERT_EQ(mkdir(path("folder.bmp").c_str(), 0755), 0);
  for (const std::string& target :
       {path("read-only.bmp"), path("folder.bmp"), path("absent/3d.bmp"), std::string()}) {
    EXPECT_FALSE(replaceFile(target, std::vector<uint8_t>{'n', 'e', 'w'})) << target;
  }
  EXPECT_EQ(read("read-only.bmp"), "old");
  EXPECT_TRUE(std::filesystem::is_directory(path("folder.bmp")));
  EXPECT_EQ(names(), (std::vector<std::string>{"folder.bmp", "read-only.bmp"}));
}

TEST_F(ReplaceFile, WriteFailingPartWayKeepsTheOldFile) {
  // A child process with a 4 KB file size limit: the 64 KB write fails part-way (EFBIG).
  write("3d.bmp", "old picture");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(replaceFile(path("3d.bmp"), std::vector<uint8_t>(65536, 7)) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "replaceFile reported success";
  EXPECT_EQ(read("3d.bmp"), "old picture");
  EXPECT_EQ(names(), std::vector<std::string>{"3d.bmp"});
}

}  // namespace
}  // namespace corvath
