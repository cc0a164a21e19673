// glimmet apps list against real fixture bundles and desktop entries in a private home.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "support/app_fixtures.h"
#include "support/isolated_home.h"
#include "support/schema.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Roots outside the private home that the real command also scans; where this
// machine has them, exact listings can't be expected.
bool machineHasSharedAppRoots() {
  for (const char* root : {"/Applications", "/var/lib/flatpak/exports/share/applications",
                           "/var/lib/snapd/desktop/applications"})
    if (fs::exists(root)) return true;
  return false;
}

// A home whose system data folders are a fixture folder too.
struct AppsHome {
  testing::IsolatedHome home;
  AppsHome() {
    fs::create_directories(home.root() / "share/applications");
    home.environment() = home.environment().with("XDG_DATA_DIRS", (home.root() / "share").string());
  }
  fs::path operator/(const std::string& relative) const { return home.home() / relative; }
};

uint64_t treeBytes(const fs::path& root) {
  uint64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (!entry.is_directory()) total += testing::allocated(entry.path());
  return total;
}

std::string sizeColumn(uint64_t bytes) {
  return padCut(fileStyleBytes(bytes), 10);
}

TEST(AppsList, ListsBundlesAndDesktopAppsWithTheirLeftoverCounts) {
  if (machineHasSharedAppRoots()) GTEST_SKIP() << "this machine has app roots of its own";
  AppsHome fixture;
  const auto apps = fixture / "Applications";
  const auto editor = testing::makeBundle(apps, "Editor",
                                          {{"CFBundleIdentifier", "com.vendor.editor"},
                                           {"CFBundleDisplayName", "Editor Pro"},
                                           {"CFBundleShortVersionString", "3.2"}});
  const auto viewer = testing::makeBundle(apps, "Viewer", {{"CFBundleName", "Viewer"}},
                                          testing::PlistFormat::binary);
  const auto real = testing::makeBundle(fixture.home.root() / "elsewhere", "Linked",
                                        {{"CFBundleIdentifier", "com.vendor.linked"}});
  fs::create_directory_symlink(real, apps / "Linked.app");
  testing::makeDesktopEntry(fixture / ".local/share/applications", "org.gimp.GIMP.desktop", "GIMP",
                            "Exec=gimp %U\n");
  testing::makeDesktopEntry(fixture.home.root() / "share/applications", "hidden.desktop", "Hidden",
                            "NoDisplay=true\n");
  testing::writeFile(fixture / ".config/COM.VENDOR.EDITOR.conf", "e");
  testing::writeFile(fixture / ".config/org.gimp.GIMP/gimprc", "g");
  testing::writeFile(fixture / ".cache/gimp/x", "g");
  testing::writeFile(fixture / ".config/com.vendor.linked/x", "not counted: a link is excluded");

  const auto result = fixture.home.glimmet({"apps", "list"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            sizeColumn(treeBytes(editor)) + " Editor Pro (com.vendor.editor, 1 leftover)\n" +
                "?          GIMP (org.gimp.GIMP, 2 leftovers)\n" +
                "?          Linked (com.vendor.linked)  [A symlink, not the app itself]\n" +
                sizeColumn(treeBytes(viewer)) +
                " Viewer (no bundle ID)  [Has no bundle ID, so Glimmet can't tell what it is]\n");

  // `glimmet apps` is `apps list`, and the document holds the same apps.
  const auto json = fixture.home.glimmet({"apps", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("appsList", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  ASSERT_EQ(document["apps"].size(), 4u);
  const auto& first = document["apps"][0];
  EXPECT_EQ(first["name"], "Editor Pro");
  EXPECT_EQ(first["path"], editor.string());
  EXPECT_EQ(first["version"], "3.2");
  EXPECT_EQ(first["bytes"], treeBytes(editor));
  EXPECT_EQ(first["leftovers"], 1);
  EXPECT_EQ(first["uninstallable"], true);
  EXPECT_FALSE(first.contains("excluded"));
  EXPECT_FALSE(document["apps"][1].contains("bytes"));
  EXPECT_EQ(document["apps"][2]["excluded"], "symlink");
  EXPECT_EQ(document["apps"][3]["excluded"], "noBundleID");
  EXPECT_FALSE(document["apps"][3].contains("bundleId"));
}

TEST(AppsList, SaysSoWhenThereAreNoApps) {
  if (machineHasSharedAppRoots()) GTEST_SKIP() << "this machine has app roots of its own";
  AppsHome fixture;
  auto result = fixture.home.glimmet({"apps", "list"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "No apps found.\n");
  result = fixture.home.glimmet({"apps", "list", "--json"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "{\n  \"apps\" : [],\n  \"schema\" : 1\n}\n");
  EXPECT_EQ(testing::schemaProblems("appsList", result.out), "");
}

TEST(AppsList, SurvivesHostileBundlesAndEntries) {
  if (machineHasSharedAppRoots()) GTEST_SKIP() << "this machine has app roots of its own";
  AppsHome fixture;
  const auto apps = fixture / "Applications";
  testing::writeFile(apps / "Garbage.app/Contents/Info.plist",
                     std::string("bplist00\xff\x00\x01", 11));
  testing::writeFile(apps / "Huge.app/Contents/Info.plist", std::string(3 << 20, '<'));
  testing::writeFile(
      apps / "Weird\nName.app/Contents/Info.plist",
      testing::encodePlist({{"CFBundleIdentifier", "com.weird\xff"}}, testing::PlistFormat::xml));
  fs::create_directories(apps);
  fs::create_symlink("Loop.app", apps / "Loop.app");
  testing::writeFile(fixture / ".local/share/applications/bad.desktop", std::string(2 << 20, '['));
  testing::writeFile(fixture / ".local/share/applications/nul.desktop",
                     std::string("[Desktop Entry]\nType=Application\nName=N\0ul\n", 43));
  const auto result = fixture.home.glimmet({"apps", "list", "--json"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(testing::schemaProblems("appsList", result.out), "");
  EXPECT_THAT(result.out, HasSubstr("\"Garbage\""));
  EXPECT_THAT(result.out, HasSubstr("\"Huge\""));
  EXPECT_THAT(result.out, HasSubstr("com.weird\xef\xbf\xbd"));
  EXPECT_THAT(result.out, HasSubstr("\"excluded\" : \"symlink\""));
}

TEST(AppsList, AnotherUsersUnwritableAppNeedsAnAdministratorUnlessExcluded) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the tool as another user";
  if (machineHasSharedAppRoots()) GTEST_SKIP() << "this machine has app roots of its own";
  AppsHome fixture;
  const auto apps = fixture / "Applications";
  testing::makeBundle(apps, "Shared", {{"CFBundleIdentifier", "com.vendor.shared"}});
  testing::makeBundle(apps, "Safari", {{"CFBundleIdentifier", "com.apple.Safari"}});
  const auto mine = testing::makeBundle(apps, "Mine", {{"CFBundleIdentifier", "com.vendor.mine"}});
  for (const auto& entry : fs::recursive_directory_iterator(mine))
    ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
  ASSERT_EQ(::lchown(mine.c_str(), 65534, 65534), 0);
  // The fixture is root's; the tool runs as nobody, who may read it but not change it.
  fs::permissions(fixture.home.root(), fs::perms::owner_all | fs::perms::group_read |
                                           fs::perms::group_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
  const auto result = testing::runProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                           "--clear-groups", GLIMMET_BINARY, "apps", "list"},
                                          fixture.home.environment());
  EXPECT_EQ(result.status, 0) << result.err;
  const auto lines = result.out;
  EXPECT_THAT(lines, HasSubstr(" Mine (com.vendor.mine)\n"));
  EXPECT_THAT(lines, HasSubstr(" Safari (com.apple.Safari)  [An Apple app]\n"));
  EXPECT_THAT(lines, HasSubstr(" Shared (com.vendor.shared)  [needs admin]\n"));
}

}  // namespace
}  // namespace glimmet
