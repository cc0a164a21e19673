// The real roots and leftover folders, derived from HOME and the XDG variables.
#include "platform/apps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using Source = DesktopEntryRoot::Source;

std::vector<std::pair<std::string, Source>> roots(const AppsEnvironment& apps) {
  std::vector<std::pair<std::string, Source>> out;
  for (const auto& root : apps.desktopEntryRoots) out.emplace_back(root.path.string(), root.source);
  return out;
}

TEST(PlatformApps, DesktopRootsFollowTheXdgOrderAndKeepFlatpakExportsApart) {
  const auto env =
      Environment()
          .with("HOME", "/home/me")
          .with("XDG_DATA_HOME", "/data")
          .with("XDG_DATA_DIRS", "/var/lib/flatpak/exports/share:relative:/usr/share/:/usr/share");
  const auto apps = platform::appsEnvironment(env);
  EXPECT_EQ(apps.home, "/home/me");
  EXPECT_EQ(apps.roots,
            (std::vector<std::filesystem::path>{"/Applications", "/home/me/Applications"}));
  EXPECT_EQ(roots(apps), (std::vector<std::pair<std::string, Source>>{
                             {"/data/applications", Source::plain},
                             {"/var/lib/flatpak/exports/share/applications", Source::flatpak},
                             {"/usr/share/applications", Source::plain},
                             {"/data/flatpak/exports/share/applications", Source::flatpak},
                             {"/var/lib/snapd/desktop/applications", Source::snap},
                         }));
  EXPECT_TRUE(apps.resolve);
  EXPECT_TRUE(apps.isWritable);
}

TEST(PlatformApps, DefaultsWithoutXdgVariables) {
  const auto apps = platform::appsEnvironment(
      Environment().with("HOME", "/home/me").with("XDG_CONFIG_HOME", "not/absolute"));
  EXPECT_EQ(roots(apps)[0].first, "/home/me/.local/share/applications");
  EXPECT_EQ(roots(apps)[1].first, "/usr/local/share/applications");
  EXPECT_EQ(roots(apps)[2].first, "/usr/share/applications");
  std::vector<std::string> folders;
  for (const auto& folder : apps.leftoverFolders)
    folders.push_back(folder.displayName + "=" + folder.path.string());
  EXPECT_EQ(folders, (std::vector<std::string>{
                         ".local/share=/home/me/.local/share",
                         ".cache=/home/me/.cache",
                         ".config=/home/me/.config",
                         ".local/state=/home/me/.local/state",
                         ".var/app=/home/me/.var/app",
                         "snap=/home/me/snap",
                         ".config/autostart=/home/me/.config/autostart",
                         ".config/systemd/user=/home/me/.config/systemd/user",
                     }));
}

}  // namespace
}  // namespace glimmet
