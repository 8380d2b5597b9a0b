// The start from the desktop's menu (--desktop): the installed sample without a file, pictures
// into the user's pictures folder; a start without the option as it always was.
#include <cstdlib>
#include <optional>

#include "viewer/viewer_fixture.hpp"

namespace corvath::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_PICTURES_DIR"};

// The temporary folder is also the home folder, with nothing of the user's configuration; the
// variables are put back after each test.
class DesktopStart : public ViewerTest {
 protected:
  DesktopStart() {
    for (const char* name : kVariables)
      saved_.push_back(std::getenv(name) ? std::optional<std::string>(std::getenv(name))
                                         : std::nullopt),
          unsetenv(name);
    setenv("HOME", home_.c_str(), 1);
  }
  ~DesktopStart() override {
    for (size_t i = 0; i < saved_.size(); ++i)
      saved_[i] ? setenv(kVariables[i], saved_[i]->c_str(), 1) : unsetenv(kVariables[i]);
  }
  // The file and the picture the arguments give.
  std::pair<std::string, std::string> parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "corvath");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    ViewerOptions options;
    EXPECT_EQ(parseViewerArguments(static_cast<int>(argv.size()), argv.data(), options), -1);
    EXPECT_EQ(options.fileGiven,
              options.file != kMeshFileName && options.file != installedSampleFile());
    return {options.file, options.picture};
  }
  void writeUserDirs(const fs::path& config, const std::string& line) {
    fs::create_directories(config), std::ofstream(config / "user-dirs.dirs") << line;
  }
  std::string in(const char* name) const { return (home_ / name).string(); }

  const fs::path home_ = folder.path();
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(DesktopStart, WithoutTheOptionTheCurrentFolderServesAsAlways) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, kMeshFileName},
      {{"--watch"}, kMeshFileName},
      {{"model.obj"}, "model.obj"},
      {{"--", "--desktop"}, "--desktop"}};  // after "--", a file's name
  for (const auto& [arguments, file] : cases)
    EXPECT_EQ(parse(arguments), std::pair(file, std::string(kPictureFileName)));
}

TEST_F(DesktopStart, WithoutAFileTheInstalledSampleOpens) {
  const std::string sample = parse({"--desktop"}).first;
  EXPECT_TRUE(sample.starts_with('/') && sample.ends_with("/corvath/examples/3d.asc")) << sample;
  EXPECT_EQ(modelCaption(sample), "3D-Corvath 3d.asc");
  EXPECT_EQ(parse({"--desktop", "dir/knot.ply"}).first, "dir/knot.ply");
  EXPECT_EQ(parse({"--watch", "--desktop"}).first, sample);
}

TEST_F(DesktopStart, PicturesGoToThePicturesFolderOfTheUserDirsElseHome) {
  for (const char* name : {"Bilder", "Elsewhere"}) fs::create_directory(home_ / name);
  EXPECT_EQ(parse({"--desktop"}).second, in(kPictureFileName));  // no user-dirs
  // The shell syntax user-dirs.dirs is written in; the last assignment holds.
  writeUserDirs(home_ / ".config",
                "# c\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Foto\"\n  "
                "XDG_PICTURES_DIR=\"$HOME/Bilder/\"\n");
  EXPECT_EQ(parse({"--desktop"}).second, (home_ / "Bilder" / kPictureFileName).string());
  writeUserDirs(home_ / ".config", "XDG_PICTURES_DIR=\"" + in("Elsewhere") + "\"\n");
  EXPECT_EQ(picturesFolder(), in("Elsewhere"));
  // XDG_CONFIG_HOME moves the file; a folder that does not exist is not made, home serves.
  setenv("XDG_CONFIG_HOME", in("conf").c_str(), 1);
  writeUserDirs(home_ / "conf", "XDG_PICTURES_DIR=\"$HOME/Missing\"\n");
  EXPECT_EQ(picturesFolder(), home_.string());
  EXPECT_FALSE(fs::exists(home_ / "Missing"));
  writeUserDirs(home_ / "conf", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(picturesFolder(), in("Bilder"));
  // The variable itself comes first, when it names a folder.
  setenv("XDG_PICTURES_DIR", in("Elsewhere").c_str(), 1);
  EXPECT_EQ(picturesFolder(), in("Elsewhere"));
  setenv("XDG_PICTURES_DIR", "relative", 1);
  EXPECT_EQ(picturesFolder(), in("Bilder"));
  for (const char* name : kVariables) unsetenv(name);  // no home: the current folder
  EXPECT_EQ(parse({"--desktop"}).second, kPictureFileName);
}

}  // namespace
}  // namespace corvath::testing
