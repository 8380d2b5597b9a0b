// Saving the drawing surface: when nothing is written, and that failures keep the old file.
#include <sys/stat.h>

#include "app_fixture.hpp"

namespace corvath::testing {
namespace {

class PictureExport : public ShellTest {
 protected:
  void drawFrame() { handleMainWindowMessage(1, kCreateMessage, 1, 0); }
};

TEST_F(PictureExport, NothingWithoutAFrameOrAName) {
  EXPECT_FALSE(savePicture(kPictureFileName));
  EXPECT_FALSE(std::filesystem::exists(kPictureFileName));
  drawFrame();
  EXPECT_FALSE(savePicture(""));
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::current_path()));
}

TEST_F(PictureExport, ReplacesALongerFileByExactlyThePicture) {
  writeText(kPictureFileName, std::string(100000, 'x'));
  drawFrame();
  ASSERT_TRUE(savePicture(kPictureFileName));
  const std::vector<uint8_t> bytes = readBytes(kPictureFileName);
  ASSERT_EQ(bytes.size(), kPictureSize);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(bytes[2] | bytes[3] << 8 | bytes[4] << 16 | bytes[5] << 24, int{kPictureSize});
}

TEST_F(PictureExport, SavingTwiceWritesTheSameBytes) {
  drawFrame();
  ASSERT_TRUE(savePicture("first.bmp"));
  ASSERT_TRUE(savePicture("second.bmp"));
  EXPECT_EQ(readBytes("first.bmp"), readBytes("second.bmp"));
}

TEST_F(PictureExport, HoldsTheWholeSurfaceAsTheLastFrameLeftIt) {
  drawFrame();
  // The corner beyond any visible client area belongs to the picture too; the first row stored
  // is the bottom row, so its last pixel starts 54 + 63 * 3 bytes in.
  drawingSurface.pixels.back() = pixelFromColour(0x123456);
  markSurfaceChanged(drawingSurface);
  ASSERT_TRUE(savePicture(kPictureFileName));
  const std::vector<uint8_t> bytes = readBytes(kPictureFileName);
  ASSERT_EQ(bytes.size(), kPictureSize);
  EXPECT_EQ(bytes[54 + 63 * 3], 0x12);      // blue
  EXPECT_EQ(bytes[54 + 63 * 3 + 1], 0x34);  // green
  EXPECT_EQ(bytes[54 + 63 * 3 + 2], 0x56);  // red
}

TEST_F(PictureExport, FailuresLeaveWhatWasThere) {
  drawFrame();
  // A directory of that name.
  std::filesystem::create_directory("taken.bmp");
  EXPECT_FALSE(savePicture("taken.bmp"));
  EXPECT_TRUE(std::filesystem::is_directory("taken.bmp"));
  // A read-only file.
  writeText("locked.bmp", "old picture");
  std::filesystem::permissions("locked.bmp", std::filesystem::perms::owner_read);
  EXPECT_FALSE(savePicture("locked.bmp"));
  const std::vector<uint8_t> kept = readBytes("locked.bmp");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "old picture");
  // A folder that does not exist.
  EXPECT_FALSE(savePicture("missing/3d.bmp"));
  EXPECT_FALSE(std::filesystem::exists("missing"));
  // No temporary file stays behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(".")) ++entries;
  EXPECT_EQ(entries, 2);
}

}  // namespace
}  // namespace corvath::testing
