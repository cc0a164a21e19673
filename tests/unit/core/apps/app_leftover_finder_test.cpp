// Leftover matching over fixture library folders: exact and likely matches, the
// near misses that must not match, launch agents, and contested entries.
#include "core/apps/app_leftover_finder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/apps.h"
#include "support/app_fixtures.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

struct FinderFixture {
  glimmet::testing::TempDir dir;
  fs::path home = dir / "home";
  AppsEnvironment environment;

  FinderFixture() {
    fs::create_directories(home);
    environment = platform::appsEnvironment(Environment().with("HOME", home.string()));
    environment.roots = {home / "Applications"};
    environment.desktopEntryRoots = {
        {home / ".local/share/applications", DesktopEntryRoot::Source::plain, {}}};
    environment.optDir = dir / "opt";
    environment.dpkgInfoDir = dir / "none";
  }

  void file(const std::string& relative, const std::string& contents = "x") const {
    testing::writeFile(home / relative, contents);
  }

  // The leftovers of the app with `id`, as "folder|~/path|match" lines.
  std::vector<std::string> leftovers(const std::string& id,
                                     std::vector<std::string>* notRemoved = nullptr) const {
    const AppLister lister(environment);
    const auto listing = lister.list();
    const AppLeftoverFinder finder(environment, listing);
    for (const auto& app : listing.apps) {
      if (app.bundleID != id) continue;
      const auto report = finder.report(app);
      EXPECT_EQ(finder.count(app), report.leftovers.size());
      std::vector<std::string> lines;
      for (const auto& leftover : report.leftovers)
        lines.push_back(leftover.folderName + "|" +
                        leftover.path.lexically_relative(home).string() + "|" +
                        std::string(rawValue(leftover.confidence)));
      if (notRemoved) *notRemoved = report.notRemoved;
      return lines;
    }
    ADD_FAILURE() << "no app " << id;
    return {};
  }
};

TEST(AppLeftoverFinder, MatchesTheIdentifierIgnoringCaseAndWithKnownExtensions) {
  FinderFixture fixture;
  testing::makeDesktopEntry(fixture.home / ".local/share/applications", "org.gimp.GIMP.desktop",
                            "GNU Image Manipulation Program", "Exec=gimp-2.10 %U\n");
  fixture.file(".config/ORG.GIMP.GIMP.conf");
  fixture.file(".cache/org.gimp.GIMP/thumbs");
  fixture.file(".var/app/org.gimp.GIMP/data");
  fixture.file(".config/autostart/org.gimp.GIMP.desktop", "[Desktop Entry]\nExec=other\n");
  // Near misses: a sibling identifier, a longer identifier, the vendor's folder.
  fixture.file(".config/org.gimp.GIMP.helper/x");
  fixture.file(".cache/org.gimp.GIMP2/x");
  fixture.file(".local/share/org.gimp/x");
  EXPECT_EQ(fixture.leftovers("org.gimp.GIMP"),
            (std::vector<std::string>{
                ".cache|.cache/org.gimp.GIMP|exact", ".config|.config/ORG.GIMP.GIMP.conf|exact",
                ".var/app|.var/app/org.gimp.GIMP|exact",
                ".config/autostart|.config/autostart/org.gimp.GIMP.desktop|exact"}));
}

// The desktop-file id "code" names ~/.config/Code exactly; the display name and the
// program name give the likely matches.
TEST(AppLeftoverFinder, MatchesByNameAsLikelyButNotByPrefix) {
  FinderFixture fixture;
  testing::makeDesktopEntry(fixture.home / ".local/share/applications", "code.desktop",
                            "Visual Studio Code",
                            "Exec=/usr/share/code/code --unity-launch %F\nStartupWMClass=Code\n");
  testing::makeDesktopEntry(fixture.home / ".local/share/applications", "code-oss.desktop",
                            "Code OSS", "Exec=code-oss\n");
  fixture.file(".config/Code/settings.json");
  fixture.file(".cache/VisualStudioCode/x");
  fixture.file(".local/state/visual-studio-code/x");
  fixture.file(".config/Code - OSS/x");  // the other app's folder
  fixture.file(".config/Co/x");          // shorter than any name
  fixture.file(".config/gtk-3.0/settings.ini");
  EXPECT_EQ(fixture.leftovers("code"),
            (std::vector<std::string>{".cache|.cache/VisualStudioCode|likely",
                                      ".config|.config/Code|exact",
                                      ".local/state|.local/state/visual-studio-code|likely"}));
  EXPECT_EQ(fixture.leftovers("code-oss"), std::vector<std::string>{});
}

TEST(AppLeftoverFinder, LeavesAnEntryTwoAppsClaimEquallyAlone) {
  FinderFixture fixture;
  const auto applications = fixture.home / ".local/share/applications";
  // Both run one program from a folder of its own, so its name names them both.
  const auto studio = fixture.home / "Apps/studio/studio";
  testing::writeFile(studio, "studio");
  testing::makeDesktopEntry(applications, "one.desktop", "Studio One",
                            "Exec=" + studio.string() + "\n");
  testing::makeDesktopEntry(applications, "two.desktop", "Studio Two",
                            "Exec=" + studio.string() + " --two\n");
  fixture.file(".config/studio/x");
  fixture.file(".config/one/x");
  std::vector<std::string> notRemoved;
  EXPECT_EQ(fixture.leftovers("one", &notRemoved),
            std::vector<std::string>{".config|.config/one|exact"});
  EXPECT_THAT(notRemoved, ::testing::ElementsAre("~/.config/studio (also used by Studio Two)"));
}

TEST(AppLeftoverFinder, TiesLaunchAgentsAndUserUnitsToTheApp) {
  FinderFixture fixture;
  fixture.environment.leftoverFolders = macLibraryFolders(fixture.home);
  const auto bundle = testing::makeBundle(fixture.home / "Applications", "Sync",
                                          {{"CFBundleIdentifier", "com.vendor.sync"}});
  // Launch agents named otherwise, tied by label and by the program they run.
  testing::writeFile(
      fixture.home / "Library/LaunchAgents/agent-one.plist",
      testing::encodePlist({{"Label", "com.vendor.sync.helper"}}, testing::PlistFormat::binary));
  testing::writeFile(
      fixture.home / "Library/LaunchAgents/agent-two.plist",
      testing::encodePlist(
          {{"Label", "x"}, {"Program", (fs::canonical(bundle) / "Contents/MacOS/Sync").string()}},
          testing::PlistFormat::xml));
  testing::writeFile(
      fixture.home / "Library/LaunchAgents/unrelated.plist",
      testing::encodePlist({{"Label", "com.vendor.synchro"}}, testing::PlistFormat::xml));
  testing::writeFile(fixture.home / "Library/LaunchAgents/broken.plist", "<plist><dict>");
  fixture.file("Library/Preferences/com.vendor.sync.plist");
  fixture.file("Library/Saved Application State/com.vendor.sync.savedState/x");
  fixture.file("Library/Caches/com.apple.Safari/x");
  EXPECT_EQ(fixture.leftovers("com.vendor.sync"),
            (std::vector<std::string>{"Preferences|Library/Preferences/com.vendor.sync.plist|exact",
                                      "Saved Application State|Library/Saved Application State/"
                                      "com.vendor.sync.savedState|exact",
                                      "LaunchAgents|Library/LaunchAgents/agent-one.plist|exact",
                                      "LaunchAgents|Library/LaunchAgents/agent-two.plist|exact"}));
}

TEST(AppLeftoverFinder, ASystemdUnitRunningFromTheInstallRootIsExact) {
  FinderFixture fixture;
  const auto tool = fixture.dir / "opt/Tool/bin/tool";
  testing::writeFile(tool, "t");
  testing::makeDesktopEntry(fixture.home / ".local/share/applications", "com.tool.Tool.desktop",
                            "Tool", "Exec=" + tool.string() + "\n");
  fixture.file(".config/tool/x");
  fixture.file(".config/systemd/user/tool-sync.service",
               "[Service]\nExecStart=-" + tool.string() + " --sync\n");
  fixture.file(".config/systemd/user/other.service", "[Service]\nExecStart=/usr/bin/other\n");
  EXPECT_EQ(fixture.leftovers("com.tool.Tool"),
            (std::vector<std::string>{
                ".config|.config/tool|likely",
                ".config/systemd/user|.config/systemd/user/tool-sync.service|exact"}))
      << "the folder named like the program is a likely match";
}

TEST(AppLeftoverFinder, GroupContainersGoByAppGroupsAndSharedOnesStay) {
  FinderFixture fixture;
  fixture.environment.leftoverFolders = macLibraryFolders(fixture.home);
  fixture.file("Library/Group Containers/group.com.vendor.one/x");
  fixture.file("Library/Group Containers/group.com.vendor.shared/x");
  AppListing listing;
  for (const auto& [id, groups] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"com.vendor.one", {"group.com.vendor.one", "group.com.vendor.shared"}},
           {"com.vendor.two", {"group.com.vendor.shared"}}}) {
    InstalledApp app;
    app.path = fixture.home / "Applications" / (id + ".app");
    app.name = id;
    app.bundleID = id;
    app.applicationGroups = groups;
    listing.apps.push_back(app);
  }
  const AppLeftoverFinder finder(fixture.environment, listing);
  const auto report = finder.report(listing.apps[0]);
  ASSERT_EQ(report.leftovers.size(), 1u);
  EXPECT_EQ(report.leftovers[0].path.filename(), "group.com.vendor.one");
  EXPECT_EQ(report.leftovers[0].folder, LibraryFolder::groupContainers);
  EXPECT_THAT(report.notRemoved,
              ::testing::ElementsAre("~/Library/Group Containers/group.com.vendor.shared "
                                     "(also used by com.vendor.two)"));
  EXPECT_EQ(finder.count(listing.apps[1]), 0u);
}

TEST(AppLeftoverFinder, ExcludedAppsAreNotSearched) {
  FinderFixture fixture;
  testing::makeBundle(fixture.home / "Applications", "Nameless", {{"CFBundleName", "Nameless"}});
  testing::makeBundle(fixture.home / "Applications", "Glimmet",
                      {{"CFBundleIdentifier", "app.glimmet.Glimmet"}});
  fixture.file(".config/Nameless/x");
  fixture.file(".config/app.glimmet.Glimmet/x");
  const AppLister lister(fixture.environment);
  const auto listing = lister.list();
  const AppLeftoverFinder finder(fixture.environment, listing);
  for (const auto& app : listing.apps) {
    EXPECT_EQ(finder.count(app), 0u) << app.name;
    EXPECT_THAT(finder.report(app).searchedFolders, ::testing::IsEmpty());
  }
}

TEST(AppLeftoverFinder, ASnapsFolderIsNamedByTheSnap) {
  FinderFixture fixture;
  const auto snaps = fixture.dir / "snapd/desktop/applications";
  fixture.environment.desktopEntryRoots = {{snaps, DesktopEntryRoot::Source::snap, {}}};
  fixture.environment.snapMountDir = fixture.dir / "snap";
  fixture.environment.snapFilesDir = fixture.dir / "snaps";
  testing::makeDesktopEntry(snaps, "firefox_firefox.desktop", "Firefox");
  std::filesystem::create_directories(fixture.dir / "snap/firefox");
  std::filesystem::create_directory_symlink("4173", fixture.dir / "snap/firefox/current");
  testing::writeFile(fixture.dir / "snaps/firefox_4173.snap", std::string(40000, 's'));
  fixture.file("snap/firefox/common/x");
  fixture.file("snap/firefox-beta/x");
  EXPECT_EQ(fixture.leftovers("firefox_firefox"),
            std::vector<std::string>{"snap|snap/firefox|exact"});
  const auto listing = AppLister(fixture.environment).list();
  ASSERT_EQ(listing.apps.size(), 1u);
  EXPECT_TRUE(listing.apps[0].isAppStore);
  EXPECT_EQ(listing.apps[0].bytes, testing::allocated(fixture.dir / "snaps/firefox_4173.snap"));
}

// A link where a leftover folder should be is the leftover, measured as the link
// and never as what it points to; a name with a line feed stays one entry; a
// folder the user can't read is passed over and the others are still searched.
TEST(AppLeftoverFinder, HostileLibraryEntries) {
  FinderFixture fixture;
  testing::makeDesktopEntry(fixture.home / ".local/share/applications", "org.v.App.desktop", "App");
  testing::writeFile(fixture.dir / "big/data", std::string(200000, 'b'));
  fs::create_directories(fixture.home / ".config");
  fs::create_directory_symlink(fixture.dir / "big", fixture.home / ".config/org.v.App");
  fixture.file(".local/state/org.v.App\n.log");
  fixture.file(".local/state/org.v.App.log");
  fixture.file(".cache/org.v.App/x");
  const AppLister lister(fixture.environment);
  const auto listing = lister.list();
  ASSERT_EQ(listing.apps.size(), 1u);
  const auto report = AppLeftoverFinder(fixture.environment, listing).report(listing.apps[0]);
  ASSERT_EQ(report.leftovers.size(), 3u);
  EXPECT_EQ(report.leftovers[1].path, fixture.home / ".config/org.v.App");
  EXPECT_EQ(report.leftovers[1].bytes, testing::allocated(fixture.home / ".config/org.v.App"));
  EXPECT_EQ(report.leftovers[2].path, fixture.home / ".local/state/org.v.App.log");

  if (::geteuid() != 0) GTEST_SKIP() << "the unreadable folder needs root to hand it to nobody";
  fs::permissions(fixture.dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
  fs::permissions(fixture.home / ".cache", fs::perms::owner_all);
  ASSERT_EQ(::lchown((fixture.home / ".config/org.v.App").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chown((fixture.home / ".local/state/org.v.App.log").c_str(), 65534, 65534), 0);
  fixture.environment.userID = 65534;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    const auto apps = AppLister(fixture.environment).list();
    if (apps.apps.size() != 1) ::_exit(1);
    const auto leftovers = AppLeftoverFinder(fixture.environment, apps).report(apps.apps[0]);
    ::_exit(leftovers.leftovers.size() == 2 &&
                    leftovers.leftovers[0].path == fixture.home / ".config/org.v.App"
                ? 0
                : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "can't switch to user 65534";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace glimmet
