// The start from the desktop's menu (--desktop): the installed sample without a file, pictures
// saved into the user's pictures folder; a start without the option as it always was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "viewer/viewer_fixture.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;

// The environment variables the start reads, put back as they were after each test.
constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_PICTURES_DIR"};

// The temporary folder is also the home folder, with nothing of the user's configuration.
class DesktopStart : public ViewerTest {
 protected:
  DesktopStart() {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
    setenv("HOME", home_.c_str(), 1);
  }
  ~DesktopStart() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) setenv(kVariables[i], saved_[i]->c_str(), 1);
      if (!saved_[i]) unsetenv(kVariables[i]);
    }
  }

  // The file and the picture the arguments give.
  std::pair<std::string, std::string> parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "corvath");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    ViewerOptions options;
    EXPECT_EQ(parseViewerArguments(static_cast<int>(argv.size()), argv.data(), options), -1);
    EXPECT_EQ(options.fileGiven, options.file != kMeshFileName && options.file != installedSampleFile());
    return {options.file, options.picture};
  }
  void writeUserDirs(const fs::path& config, const std::string& text) {
    fs::create_directories(config);
    std::ofstream(config / "user-dirs.dirs") << text;
  }

  const fs::path home_ = folder.path();
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(DesktopStart, WithoutTheOptionTheCurrentFolderServesAsAlways) {
  // "--desktop" after "--" is a file's name.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, kMeshFileName}, {{"--watch"}, kMeshFileName}, {{"model.obj"}, "model.obj"},
      {{"--", "--desktop"}, "--desktop"}};
  for (const auto& [arguments, file] : cases)
    EXPECT_EQ(parse(arguments), std::pair(file, std::string(kPictureFileName)));
}

TEST_F(DesktopStart, WithoutAFileTheInstalledSampleOpensAndIsCaptionedByItsName) {
  const std::string sample = parse({"--desktop"}).first;
  EXPECT_EQ(sample, installedSampleFile());
  EXPECT_TRUE(sample.starts_with('/') && sample.ends_with("/corvath/examples/3d.asc")) << sample;
  EXPECT_EQ(modelCaption(sample), "3D-Corvath 3d.asc");
  // The file the desktop hands over opens instead, watched or not.
  EXPECT_EQ(parse({"--desktop", "dir/knot.ply"}).first, "dir/knot.ply");
  EXPECT_EQ(parse({"--watch", "--desktop"}).first, sample);
}

TEST_F(DesktopStart, PicturesGoToThePicturesFolderOfTheUserDirsElseHome) {
  const fs::path config = home_ / ".config";
  fs::create_directory(home_ / "Bilder");
  fs::create_directory(home_ / "Elsewhere");
  EXPECT_EQ(parse({"--desktop"}).second, (home_ / kPictureFileName).string());  // no user-dirs

  // The shell syntax user-dirs.dirs is written in; the last assignment holds.
  writeUserDirs(config,
                "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Foto\"\n"
                "  XDG_PICTURES_DIR=\"$HOME/Bilder/\"\n");
  EXPECT_EQ(picturesFolder(), (home_ / "Bilder").string());
  EXPECT_EQ(parse({"--desktop"}).second, (home_ / "Bilder" / kPictureFileName).string());
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
  for (const char* name : kVariables) unsetenv(name);
  EXPECT_EQ(parse({"--desktop"}).second, kPictureFileName);
}

TEST_F(DesktopStart, CtrlSSavesIntoThePicturesFolderOnly) {
  const fs::path pictures = home_ / "Pictures";
  fs::create_directory(pictures);
  fs::create_directory("work");
  fs::current_path("work");
  setenv("XDG_PICTURES_DIR", pictures.c_str(), 1);
  pictureFileName = parse({"--desktop"}).second;
  send(kCreateMessage, 1, 0);
  send(kCommandMessage, kSaveCommand);
  EXPECT_TRUE(fs::is_regular_file(pictures / kPictureFileName));
  EXPECT_TRUE(fs::is_empty(fs::current_path()));
  EXPECT_EQ(std::distance(fs::directory_iterator(pictures), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace corvath::testing
