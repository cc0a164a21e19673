// The tool's link on the command search path: its own links recognised and
// refreshed, anything else left alone, and folders the user can't change.
#include "core/install/cli_installer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/paths.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using Kind = CLIInstaller::State::Kind;

struct InstallerFixture : ::testing::Test {
  testing::TempDir dir;
  fs::path bin = dir / "bin";
  fs::path link = bin / "glimmet";
  fs::path source = dir / "Apps/Glimmet.app/Contents/Helpers/glimmet";
  CLIInstaller installer{link};

  void SetUp() override {
    fs::create_directories(bin);
    dir.write("Apps/Glimmet.app/Contents/Helpers/glimmet", "#!/bin/sh\n");
  }
};

TEST_F(InstallerFixture, InstallsAndUninstallsItsOwnLink) {
  EXPECT_EQ(installer.state(source).kind, Kind::notInstalled);
  installer.install(source);
  EXPECT_EQ(fs::read_symlink(link), source);
  EXPECT_EQ(installer.state(source).kind, Kind::installed);
  installer.install(source);  // nothing to do
  installer.uninstall(source);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(InstallerFixture, ALinkIntoAnotherCopyOfTheAppIsReplaced) {
  fs::create_symlink("/Volumes/Old/Glimmet.app/Contents/Helpers/glimmet", link);
  EXPECT_EQ(installer.state(source).kind, Kind::installed);
  installer.install(source);
  EXPECT_EQ(fs::read_symlink(link), source);
}

TEST_F(InstallerFixture, AnotherPrefixInstallOfOursCountsAsInstalled) {
  dir.write("prefix/bin/glimmet", "");
  dir.write("prefix/share/glimmet/signatures.json", "{}");
  fs::create_symlink(dir / "prefix/bin/glimmet", link);
  EXPECT_EQ(installer.state(source).kind, Kind::installed);
}

TEST_F(InstallerFixture, SomethingElseIsAConflictAndIsLeftAlone) {
  dir.write("bin/glimmet", "someone else's");
  EXPECT_EQ(installer.state(source), (CLIInstaller::State{Kind::conflict, link}));
  try {
    installer.install(source);
    FAIL() << "install replaced a file that isn't ours";
  } catch (const CLIInstaller::InstallError& error) {
    EXPECT_EQ(error.kind(), CLIInstaller::InstallError::Kind::exists);
    EXPECT_EQ(error.what(),
              link.string() + " already exists and isn't Glimmet's, so Glimmet won't replace it.");
  }
  installer.uninstall(source);
  EXPECT_EQ(dir.read("bin/glimmet"), "someone else's");

  fs::remove(link);
  fs::create_symlink("/usr/bin/other-tool", link);
  EXPECT_EQ(installer.state(source).kind, Kind::conflict);
  EXPECT_THROW(installer.install(source), CLIInstaller::InstallError);
  EXPECT_EQ(fs::read_symlink(link), "/usr/bin/other-tool");
}

TEST_F(InstallerFixture, AdminCommandsQuoteEveryPath) {
  CLIInstaller odd(dir / "it's bin" / "glimmet");
  EXPECT_EQ(odd.adminInstallCommand("/opt/Glimmet.app/Contents/Helpers/glimmet"),
            "mkdir -p '" + (dir / "it'\\''s bin").string() +
                "' && ln -sfn '/opt/Glimmet.app/Contents/Helpers/glimmet' '" +
                (dir / "it'\\''s bin" / "glimmet").string() + "'");
  EXPECT_EQ(odd.adminUninstallCommand(),
            "rm '" + (dir / "it'\\''s bin" / "glimmet").string() + "'");
}

TEST_F(InstallerFixture, AnUnwritableFolderNeedsAnAdministrator) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes every folder";
  fs::permissions(bin, fs::perms::owner_read | fs::perms::owner_exec);
  try {
    installer.install(source);
    FAIL();
  } catch (const CLIInstaller::InstallError& error) {
    EXPECT_STREQ(error.what(), "This folder needs an administrator password.");
  }
}

// As root, the same through another user: root's folder is one nobody may read
// but not change, both to add the link and to take it away.
TEST_F(InstallerFixture, AnotherUsersFolderNeedsAnAdministratorBothWays) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  installer.install(source);
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const CLIInstaller elsewhere(dir / "bin/sub/glimmet");
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    auto needsAdmin = [&](auto action) {
      try {
        action();
      } catch (const CLIInstaller::InstallError& error) {
        return error.kind() == CLIInstaller::InstallError::Kind::needsAdmin;
      }
      return false;
    };
    const bool refused = needsAdmin([&] { installer.uninstall(source); }) &&
                         needsAdmin([&] { elsewhere.install(source); });
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "can't switch to user 65534";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(fs::read_symlink(link), source) << "the link stays";
  EXPECT_FALSE(fs::exists(dir / "bin/sub"));
}

TEST_F(InstallerFixture, AMissingFolderBelowAWritableOneIsMade) {
  const CLIInstaller nested(dir / "home/.local/bin/glimmet");
  nested.install(source);
  EXPECT_EQ(fs::read_symlink(dir / "home/.local/bin/glimmet"), source);
  EXPECT_EQ(nested.state(source).kind, Kind::installed);
  // A plain file where the folder should be is no folder to write in.
  dir.write("file", "x");
  EXPECT_THROW(CLIInstaller(dir / "file/bin/glimmet").install(source), CLIInstaller::InstallError);
}

TEST(ToolLinkPath, PrefersAnExistingLocalBin) {
  testing::TempDir home;
  const auto env = Environment().with("HOME", home.path().string());
  EXPECT_EQ(platform::toolLinkPath(env), "/usr/local/bin/glimmet");
  fs::create_directories(home / ".local/bin");
  EXPECT_EQ(platform::toolLinkPath(env), home / ".local/bin/glimmet");
}

}  // namespace
}  // namespace glimmet
