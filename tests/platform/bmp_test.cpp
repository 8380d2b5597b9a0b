// BMP bytes of a surface and replacing a file whole.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.hpp"

namespace corvath {
namespace {

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint32_t u16At(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8;
}

// A 6 x 5 picture of an "F" in red on white, its top-left pixel blue:
//   B R R R R .
//   . R . . . .
//   . R R R . .
//   . R . . . .
//   . R . . . .
Surface letterF() {
  constexpr int32_t kWhite = 0xFFFFFF, kRed = 255, kBlue = 255 * 65536;
  Surface surface;
  createSurface(surface, 6, 5, kWhite);
  const char* rows[] = {"BRRRR.", ".R....", ".RRR..", ".R....", ".R...."};
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      const char c = rows[y][x];
      if (c != '.') surface.pixels[y * 6 + x] = pixelFromColour(c == 'R' ? kRed : kBlue);
    }
  }
  markSurfaceChanged(surface);
  return surface;
}

TEST(BmpBytes, HeaderOfAnOddWidthPicture) {
  const std::vector<uint8_t> bytes = bmpBytes(letterF());
  const size_t stride = 20;  // 18 bytes of pixels, 2 of padding
  ASSERT_EQ(bytes.size(), 54 + stride * 5);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(u32At(bytes, 2), 154u);
  EXPECT_EQ(u32At(bytes, 6), 0u);  // both reserved words
  EXPECT_EQ(u32At(bytes, 10), 54u);
  EXPECT_EQ(u32At(bytes, 14), 40u);
  EXPECT_EQ(u32At(bytes, 18), 6u);
  EXPECT_EQ(u32At(bytes, 22), 5u);
  EXPECT_EQ(u16At(bytes, 26), 1u);
  EXPECT_EQ(u16At(bytes, 28), 24u);
  for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(u32At(bytes, at), 0u) << at;
}

TEST(BmpBytes, RowsBottomUpInBlueGreenRedWithZeroPadding) {
  const std::vector<uint8_t> bytes = bmpBytes(letterF());
  const auto row = [&](int fileRow) {
    return std::vector<uint8_t>(bytes.begin() + 54 + fileRow * 20,
                                bytes.begin() + 54 + fileRow * 20 + 20);
  };
  const uint8_t W = 255;
  // File row 0 is the picture's bottom row ".R....".
  EXPECT_EQ(row(0),
            (std::vector<uint8_t>{W, W, W, 0, 0, W, W, W, W, W, W, W, W, W, W, W, W, W, 0, 0}));
  // The last file row is the top row "BRRRR.": blue first as B=255, G=0, R=0.
  EXPECT_EQ(row(4),
            (std::vector<uint8_t>{W, 0, 0, 0, 0, W, 0, 0, W, 0, 0, W, 0, 0, W, W, W, W, 0, 0}));
}

TEST(BmpBytes, DesktopSizes) {
  Surface surface;
  createSurface(surface, 1366, 768, 0);
  EXPECT_EQ(bmpBytes(surface).size(), 3148854u);
  EXPECT_EQ(u32At(bmpBytes(surface), 2), 3148854u);
  createSurface(surface, 1920, 1080, 0x123456);
  const std::vector<uint8_t> bytes = bmpBytes(surface);
  EXPECT_EQ(bytes.size(), 6220854u);
  EXPECT_EQ(u32At(bytes, 2), 6220854u);
  EXPECT_EQ(bytes[54], 0x12);  // blue of 0x123456 packed as red 0x56, green 0x34, blue 0x12
  EXPECT_EQ(bytes[55], 0x34);
  EXPECT_EQ(bytes[56], 0x56);
}

TEST(BmpBytes, EmptySurfaceIsHeaderOnly) {
  Surface surface;
  EXPECT_EQ(bmpBytes(surface).size(), 54u);
}

// A fresh directory for one test, removed with its contents afterwards.
class ReplaceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "replace_file_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    chmod(directory_.c_str(), 0755);
    std::system(("rm -rf '" + directory_ + "'").c_str());
  }
  std::string path(const std::string& name) const { return directory_ + "/" + name; }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    if (DIR* dir = opendir(directory_.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") found.push_back(name);
      }
      closedir(dir);
    }
    std::sort(found.begin(), found.end());
    return found;
  }
  static void write(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }
  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static std::vector<uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
  }

  std::string directory_;
};

TEST_F(ReplaceFile, CreatesANewFile) {
  ASSERT_TRUE(replaceFile(path("3d.bmp"), bytesOf("new")));
  EXPECT_EQ(read(path("3d.bmp")), "new");
  EXPECT_EQ(names(), std::vector<std::string>{"3d.bmp"});
  struct stat status {};
  ASSERT_EQ(stat(path("3d.bmp").c_str(), &status), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(status.st_mode & 0777, 0644 & ~mask);
}

TEST_F(ReplaceFile, ReplacesALongerFileWhole) {
  write(path("3d.bmp"), std::string(10000, 'x'));
  chmod(path("3d.bmp").c_str(), 0600);
  ASSERT_TRUE(replaceFile(path("3d.bmp"), bytesOf("short")));
  EXPECT_EQ(read(path("3d.bmp")), "short");  // no tail of the old file
  EXPECT_EQ(names(), std::vector<std::string>{"3d.bmp"});
  struct stat status {};
  ASSERT_EQ(stat(path("3d.bmp").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);  // the old file's permissions carry over
}

TEST_F(ReplaceFile, ReadOnlyFileIsLeftAlone) {
  write(path("3d.bmp"), "old");
  chmod(path("3d.bmp").c_str(), 0444);
  EXPECT_FALSE(replaceFile(path("3d.bmp"), bytesOf("new")));
  EXPECT_EQ(read(path("3d.bmp")), "old");
  EXPECT_EQ(names(), std::vector<std::string>{"3d.bmp"});
}

TEST_F(ReplaceFile, DirectoryOfThatNameIsLeftAlone) {
  ASSERT_EQ(mkdir(path("3d.bmp").c_str(), 0755), 0);
  EXPECT_FALSE(replaceFile(path("3d.bmp"), bytesOf("new")));
  struct stat status {};
  ASSERT_EQ(stat(path("3d.bmp").c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  EXPECT_EQ(names(), std::vector<std::string>{"3d.bmp"});
}

TEST_F(ReplaceFile, MissingDirectoryFailsWithoutLeftovers) {
  EXPECT_FALSE(replaceFile(path("absent/3d.bmp"), bytesOf("new")));
  EXPECT_TRUE(names().empty());
  EXPECT_FALSE(replaceFile("", bytesOf("new")));
}

TEST_F(ReplaceFile, SymbolicLinkReplacesTheFileItNames) {
  write(path("real.bmp"), "old");
  ASSERT_EQ(symlink("real.bmp", path("3d.bmp").c_str()), 0);
  ASSERT_TRUE(replaceFile(path("3d.bmp"), bytesOf("new")));
  EXPECT_EQ(read(path("real.bmp")), "new");
  struct stat status {};
  ASSERT_EQ(lstat(path("3d.bmp").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(names(), (std::vector<std::string>{"3d.bmp", "real.bmp"}));
}

TEST_F(ReplaceFile, WriteFailingPartWayKeepsTheOldFile) {
  // A child process with a 4 KB file size limit: the 64 KB write fails part-way (EFBIG).
  write(path("3d.bmp"), "old picture");
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
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "replaceFile reported success";
  EXPECT_EQ(read(path("3d.bmp")), "old picture");
  EXPECT_EQ(names(), std::vector<std::string>{"3d.bmp"});
}

TEST_F(ReplaceFile, SavesABmpThatReadsBack) {
  Surface surface = letterF();
  const std::vector<uint8_t> bytes = bmpBytes(surface);
  ASSERT_TRUE(replaceFile(path("3d.bmp"), bytes));
  ASSERT_TRUE(replaceFile(path("3d.bmp"), bytes));  // saving twice gives the same bytes
  const std::string saved = read(path("3d.bmp"));
  EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.end()), bytes);
}

}  // namespace
}  // namespace corvath
