// The start from the desktop's menu (--desktop): the installed sample without a file, pictures
// saved into the user's pictures folder; a start without the option as it always was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "raster/raster.hpp"
#include "scene/scene.hpp"
#include "support/mesh_fixture.hpp"
#include "view/view.hpp"
#include "viewer/viewer.hpp"
#include "window/window.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;

// The environment variables the start reads, put back as they were after each test.
constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_PICTURES_DIR"};

// A fresh mesh and surface, a fixed clock, and a temporary folder that is the current one and
// the home folder, with nothing of the user's configuration.
class DesktopStart : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
    resetMeshState();
    createSurface(drawingSurface, 64, 48, kButtonFaceColour);
    drawingSurfaceSelected = false;
    setTimeOfDayClock([] { return 43200.25; });
    char pattern[] = "/tmp/corvath-desktop-XXXXXX";
    home_ = mkdtemp(pattern);
    previous_ = fs::current_path();
    fs::current_path(home_);
    setenv("HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    handleMainWindowMessage(1, kDestroyMessage, 0, 0);
    pictureFileName = kPictureFileName;
    setTimeOfDayClock(nullptr);
    fs::current_path(previous_);
    fs::remove_all(home_);
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        setenv(kVariables[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(kVariables[i]);
      }
    }
  }

  ViewerOptions parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "corvath");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    ViewerOptions options;
    EXPECT_EQ(parseViewerArguments(static_cast<int>(argv.size()), argv.data(), options), -1);
    return options;
  }

  void writeUserDirs(const fs::path& config, const std::string& text) {
    fs::create_directories(config);
    std::ofstream(config / "user-dirs.dirs") << text;
  }

  fs::path home_;
  fs::path previous_;
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(DesktopStart, WithoutTheOptionTheCurrentFolderServesAsAlways) {
  for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{"--watch"}}) {
    const ViewerOptions options = parse(arguments);
    EXPECT_EQ(options.file, kMeshFileName);
    EXPECT_FALSE(options.fileGiven);
    EXPECT_EQ(options.picture, kPictureFileName);
  }
  EXPECT_EQ(parse({"model.obj"}).file, "model.obj");
  EXPECT_EQ(parse({"model.obj"}).picture, kPictureFileName);
  // "--desktop" after "--" is a file's name.
  EXPECT_EQ(parse({"--", "--desktop"}).file, "--desktop");
  EXPECT_EQ(parse({"--", "--desktop"}).picture, kPictureFileName);
}

TEST_F(DesktopStart, WithoutAFileTheInstalledSampleOpensAndIsCaptionedByItsName) {
  const ViewerOptions options = parse({"--desktop"});
  EXPECT_FALSE(options.fileGiven);
  EXPECT_EQ(options.file, installedSampleFile());
  EXPECT_TRUE(options.file.ends_with("/corvath/examples/3d.asc")) << options.file;
  EXPECT_EQ(options.file[0], '/');
  EXPECT_EQ(modelCaption(options.file), "3D-Corvath 3d.asc");
  // The file the desktop hands over opens instead, watched or not.
  EXPECT_EQ(parse({"--desktop", "dir/knot.ply"}).file, "dir/knot.ply");
  EXPECT_EQ(parse({"--watch", "--desktop"}).file, installedSampleFile());
}

TEST_F(DesktopStart, PicturesGoToThePicturesFolderOfTheUserDirsElseHome) {
  const fs::path config = home_ / ".config";
  fs::create_directory(home_ / "Bilder");
  fs::create_directory(home_ / "Elsewhere");
  EXPECT_EQ(parse({"--desktop"}).picture, (home_ / kPictureFileName).string());  // no user-dirs

  // The shell syntax user-dirs.dirs is written in; the last assignment holds.
  writeUserDirs(config,
                "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Foto\"\n"
                "  XDG_PICTURES_DIR=\"$HOME/Bilder/\"\n");
  EXPECT_EQ(picturesFolder(), (home_ / "Bilder").string());
  EXPECT_EQ(parse({"--desktop"}).picture, (home_ / "Bilder" / kPictureFileName).string());
  writeUserDirs(config, "XDG_PICTURES_DIR=\"" + (home_ / "Elsewhere").string() + "\"\n");
  EXPECT_EQ(picturesFolder(), (home_ / "Elsewhere").string());

  // XDG_CONFIG_HOME moves the file; a folder that does not exist is not made, home serves.
  setenv("XDG_CONFIG_HOME", (home_ / "conf").c_str(), 1);
  writeUserDirs(home_ / "conf", "XDG_PICTURES_DIR=\"$HOME/Missing\"\n");
  EXPECT_EQ(picturesFolder(), home_.string());
  EXPECT_FALSE(fs::exists(home_ / "Missing"));
  writeUserDirs(home_ / "conf", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(picturesFolder(), (home_ / "Bilder").string());

  // The variable itself comes first, when it names a folder.
  setenv("XDG_PICTURES_DIR", (home_ / "Elsewhere").c_str(), 1);
  EXPECT_EQ(picturesFolder(), (home_ / "Elsewhere").string());
  setenv("XDG_PICTURES_DIR", "relative", 1);
  EXPECT_EQ(picturesFolder(), (home_ / "Bilder").string());

  // Without a home at all, the current folder, as without the option.
  unsetenv("HOME");
  unsetenv("XDG_PICTURES_DIR");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(parse({"--desktop"}).picture, kPictureFileName);
}

TEST_F(DesktopStart, CtrlSSavesIntoThePicturesFolderOnly) {
  const fs::path pictures = home_ / "Pictures";
  fs::create_directory(pictures);
  fs::create_directory("work");
  fs::current_path("work");
  setenv("XDG_PICTURES_DIR", pictures.c_str(), 1);
  pictureFileName = parse({"--desktop"}).picture;
  handleMainWindowMessage(1, kCreateMessage, 1, 0);
  handleMainWindowMessage(1, kCommandMessage, kSaveCommand, 0);
  EXPECT_TRUE(fs::is_regular_file(pictures / kPictureFileName));
  EXPECT_TRUE(fs::is_empty(fs::current_path()));
  EXPECT_EQ(std::distance(fs::directory_iterator(pictures), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace corvath::testing
