// Replacing a file whole: through a link, keeping its permissions, and never half-written.
#include "files/files.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/temp_folder.hpp"

namespace corvath {
namespace {

class ReplaceFile : public ::testing::Test {
 protected:
  testing::TemporaryFolder folder;
};

// Also a name too long for the temporary's suffix, which gets a short temporary.
TEST_F(ReplaceFile, ReplacesWholeAlsoThroughALink) {
  const std::string text(5000, 'n'), longName(250, 'n');
  chmod(folder.write("old.bmp", std::string(10000, 'x')).c_str(), 0600);
  folder.write("real.bmp", "old");
  ASSERT_EQ(symlink("real.bmp", folder.file("link.bmp").c_str()), 0);
  for (const char* name : {"new.bmp", "old.bmp", "link.bmp", longName.c_str()})
    ASSERT_TRUE(replaceFile(folder.file(name), std::vector<uint8_t>(text.begin(), text.end())));
  for (const char* name : {"new.bmp", "old.bmp", "real.bmp", longName.c_str()})
    EXPECT_EQ(folder.read(name), text) << name;
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.bmp")));
  // A new file gets the usual permissions, a replaced one keeps its own.
  const auto mode = [&](const char* name) {
    return std::filesystem::status(folder.file(name)).permissions();
  };
  const mode_t mask = umask(0);
  EXPECT_EQ(mode("new.bmp"), std::filesystem::perms(0644 & ~umask(mask)));
  EXPECT_EQ(mode("old.bmp"), std::filesystem::perms(0600));
  EXPECT_EQ(folder.names().size(), 5u);
}

TEST_F(ReplaceFile, WhatCannotBeReplacedIsLeftAsItWas) {
  chmod(folder.write("read-only.bmp", "old").c_str(), 0444);
  ASSERT_EQ(mkdir(folder.file("folder.bmp").c_str(), 0755), 0);
  for (const std::string& target : {folder.file("read-only.bmp"), folder.file("folder.bmp"),
                                    folder.file("absent/3d.bmp"), std::string()}) {
    std::string reason;
    EXPECT_FALSE(replaceFile(target, std::vector<uint8_t>{'n'}, &reason) || reason.empty())
        << target;
  }
  EXPECT_EQ(folder.read("read-only.bmp"), "old");
  EXPECT_EQ(folder.names(), (std::set<std::string>{"folder.bmp", "read-only.bmp"}));
}

TEST_F(ReplaceFile, WriteFailingPartWayKeepsTheOldFile) {
  // In a child with a 4 KB file size limit the 64 KB write fails part-way (EFBIG).
  folder.write("3d.bmp", "old picture");
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(replaceFile(folder.file("3d.bmp"), std::vector<uint8_t>(65536, 7)) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0) << "replaceFile reported success";
  EXPECT_EQ(folder.read("3d.bmp"), "old picture");
  EXPECT_EQ(folder.names(), std::set<std::string>{"3d.bmp"});
}

}  // namespace
}  // namespace corvath
