// The app listing over fixture roots: bundles in both property-list formats, the
// exclusions, and desktop entries with their precedence and install roots.
#include "core/apps/app_lister.h"

#include "core/apps/app_leftover_finder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/apps.h"
#include "support/app_fixtures.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using testing::PlistFormat;

struct ListerFixture {
  glimmet::testing::TempDir dir;
  AppsEnvironment environment;

  ListerFixture() {
    const auto home = dir / "home";
    fs::create_directories(home);
    environment = platform::appsEnvironment(Environment().with("HOME", home.string()));
    environment.roots = {dir / "Applications", home / "Applications"};
    environment.desktopEntryRoots = {
        {home / ".local/share/applications", DesktopEntryRoot::Source::plain, {}},
        {dir / "usr/share/applications", DesktopEntryRoot::Source::plain, {}},
        {dir / "flatpak/exports/share/applications", DesktopEntryRoot::Source::flatpak,
         dir / "flatpak"},
    };
    environment.systemAppRoots = {dir / "System"};
    environment.optDir = dir / "opt";
    environment.dpkgInfoDir = dir / "dpkg/info";
    environment.dpkgStatusFile = dir / "dpkg/status";
  }

  AppListing list() const { return AppLister(environment).list(); }
  const InstalledApp* find(const AppListing& listing, const std::string& name) const {
    for (const auto& app : listing.apps)
      if (app.name == name) return &app;
    return nullptr;
  }
};

TEST(AppLister, ReadsXmlAndBinaryInfoPlistsAndMeasuresEachBundle) {
  ListerFixture fixture;
  const auto xml = testing::makeBundle(fixture.dir / "Applications", "Editor",
                                       {{"CFBundleIdentifier", "com.vendor.editor"},
                                        {"CFBundleDisplayName", "Editor Pro"},
                                        {"CFBundleName", "Editor"},
                                        {"CFBundleShortVersionString", "2.1"}});
  testing::makeBundle(fixture.dir / "home/Applications", "Viewer",
                      {{"CFBundleIdentifier", "com.vendor.viewer"}}, PlistFormat::binary);
  testing::writeFile(xml / "Contents/_MASReceipt/receipt", "r");
  const auto listing = fixture.list();
  ASSERT_EQ(listing.apps.size(), 2u);

  const auto* editor = fixture.find(listing, "Editor Pro");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->bundleID, "com.vendor.editor");
  EXPECT_EQ(editor->bundleName, "Editor");
  EXPECT_EQ(editor->version, "2.1");
  EXPECT_EQ(editor->fileName, "Editor.app");
  EXPECT_TRUE(editor->isAppStore);
  EXPECT_TRUE(editor->ownedByUser);
  EXPECT_FALSE(editor->needsAdmin);
  EXPECT_FALSE(editor->exclusion);
  EXPECT_EQ(editor->bytes, testing::allocated(xml / "Contents/Info.plist") +
                               testing::allocated(xml / "Contents/MacOS/Editor") +
                               testing::allocated(xml / "Contents/_MASReceipt/receipt"));

  // The name falls back to the file name when the plist has no names.
  const auto* viewer = fixture.find(listing, "Viewer");
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->bundleID, "com.vendor.viewer");
  EXPECT_FALSE(viewer->isAppStore);
  EXPECT_EQ(listing.scannedRoots.size(), 2u);
}

TEST(AppLister, MarksWhatTheUninstallerRefuses) {
  ListerFixture fixture;
  const auto apps = fixture.dir / "Applications";
  const auto real = testing::makeBundle(fixture.dir / "elsewhere", "Linked",
                                        {{"CFBundleIdentifier", "com.vendor.linked"}});
  fs::create_directories(apps);
  fs::create_directory_symlink(real, apps / "Linked.app");
  testing::makeBundle(apps, "Nameless", {{"CFBundleName", "Nameless"}});
  testing::makeBundle(apps, "Safari", {{"CFBundleIdentifier", "com.Apple.Safari"}});
  testing::makeBundle(apps, "Glimmet", {{"CFBundleIdentifier", "app.glimmet.Glimmet"}});
  testing::makeBundle(apps, "Helper", {{"CFBundleIdentifier", "app.glimmet.helper"}});
  const auto systemApp = testing::makeBundle(fixture.dir / "System/Applications", "Clock",
                                             {{"CFBundleIdentifier", "org.example.clock"}});
  fs::create_directory_symlink(systemApp, apps / "Clock.app");
  testing::writeFile(apps / "Old.app", std::string("book\0\0\0\0mark", 12) + "rest");
  testing::writeFile(apps / "notes.txt", "not an app");
  testing::writeFile(apps / "Broken.app", "a plain file");

  const auto listing = fixture.list();
  std::map<std::string, std::optional<AppExclusion>> exclusions;
  for (const auto& app : listing.apps) exclusions[app.fileName] = app.exclusion;
  EXPECT_EQ(exclusions, (std::map<std::string, std::optional<AppExclusion>>{
                            {"Linked.app", AppExclusion::symlink},
                            {"Clock.app", AppExclusion::symlink},
                            {"Nameless.app", AppExclusion::noBundleID},
                            {"Safari.app", AppExclusion::apple},
                            {"Glimmet.app", AppExclusion::glimmet},
                            {"Helper.app", AppExclusion::glimmet},
                            {"Old.app", AppExclusion::alias},
                        }));
  const auto* linked = fixture.find(listing, "Linked");
  ASSERT_NE(linked, nullptr);
  EXPECT_EQ(linked->resolvedPath, fs::canonical(real));
  EXPECT_EQ(linked->bundleID, "com.vendor.linked");
  EXPECT_FALSE(linked->bytes) << "a link is not measured as the app";
}

TEST(AppLister, SystemLocationWinsOverTheIdentifier) {
  ListerFixture fixture;
  fixture.environment.roots = {fixture.dir / "System/Applications"};
  testing::makeBundle(fixture.dir / "System/Applications", "Clock",
                      {{"CFBundleIdentifier", "com.apple.clock"}});
  const auto listing = fixture.list();
  ASSERT_EQ(listing.apps.size(), 1u);
  EXPECT_EQ(listing.apps[0].exclusion, AppExclusion::system);
}

TEST(AppLister, AnotherUsersUnwritableAppNeedsAnAdministrator) {
  ListerFixture fixture;
  testing::makeBundle(fixture.dir / "Applications", "Shared",
                      {{"CFBundleIdentifier", "com.vendor.shared"}});
  fixture.environment.userID = ::getuid() + 1;
  fixture.environment.isWritable = [](const fs::path&) { return false; };
  auto listing = fixture.list();
  ASSERT_EQ(listing.apps.size(), 1u);
  EXPECT_FALSE(listing.apps[0].ownedByUser);
  EXPECT_TRUE(listing.apps[0].needsAdmin);

  fixture.environment.isWritable = [](const fs::path&) { return true; };
  listing = fixture.list();
  EXPECT_FALSE(listing.apps[0].needsAdmin);
}

TEST(AppLister, DesktopEntriesFirstFolderWinsAndHiddenOnesShadow) {
  ListerFixture fixture;
  const auto user = fixture.dir / "home/.local/share/applications";
  const auto system = fixture.dir / "usr/share/applications";
  testing::makeDesktopEntry(user, "org.gimp.GIMP.desktop", "GIMP Mine");
  testing::makeDesktopEntry(system, "org.gimp.GIMP.desktop", "GIMP System");
  testing::makeDesktopEntry(user, "vim.desktop", "Vim", "Hidden=true\n");
  testing::makeDesktopEntry(system, "vim.desktop", "Vim");
  testing::makeDesktopEntry(system, "helper.desktop", "Helper", "NoDisplay=true\n");
  testing::makeDesktopEntry(system, "kde/okular.desktop", "Okular");
  testing::writeFile(system / "link.desktop", "[Desktop Entry]\nType=Link\nName=Web\n");
  testing::writeFile(system / "garbage.desktop", std::string("\0\xff\n[[[", 6));

  const auto listing = fixture.list();
  std::vector<std::pair<std::string, std::string>> seen;
  for (const auto& app : listing.apps) seen.emplace_back(*app.bundleID, app.name);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"org.gimp.GIMP", "GIMP Mine"},
                                                                    {"kde-okular", "Okular"}}));
  EXPECT_EQ(listing.apps[0].kind, AppKind::desktopEntry);
  EXPECT_EQ(listing.apps[0].bundleName, "GIMP Mine");
}

TEST(AppLister, DesktopEntriesAreMeasuredByTheirInstallRoot) {
  ListerFixture fixture;
  const auto system = fixture.dir / "usr/share/applications";
  const auto flatpak = fixture.dir / "flatpak";
  const auto deployed = flatpak / "app/org.gimp.GIMP/x86_64/stable/abc123";
  testing::writeFile(deployed / "files/bin/gimp", std::string(20000, 'g'));
  fs::create_directory_symlink("x86_64/stable", flatpak / "app/org.gimp.GIMP/current");
  fs::create_directory_symlink("abc123", flatpak / "app/org.gimp.GIMP/x86_64/stable/active");
  const auto exported =
      testing::makeDesktopEntry(deployed / "export/share/applications", "org.gimp.GIMP.desktop",
                                "GIMP", "Exec=/usr/bin/flatpak run org.gimp.GIMP\n");
  fs::create_directories(flatpak / "exports/share/applications");
  fs::create_symlink(exported, flatpak / "exports/share/applications/org.gimp.GIMP.desktop");

  testing::writeFile(fixture.dir / "opt/Tool/bin/tool", std::string(30000, 't'));
  testing::makeDesktopEntry(system, "tool.desktop", "Tool",
                            "Exec=\"" + (fixture.dir / "opt/Tool/bin/tool").string() +
                                "\" %U\n"
                                "StartupWMClass=ToolWindow\n");
  testing::makeDesktopEntry(system, "bare.desktop", "Bare", "Exec=bare\n");

  const auto listing = fixture.list();
  ASSERT_EQ(listing.apps.size(), 3u);
  const auto* gimp = fixture.find(listing, "GIMP");
  ASSERT_NE(gimp, nullptr);
  EXPECT_TRUE(gimp->isAppStore);
  EXPECT_EQ(gimp->installRoot, fs::canonical(deployed));
  EXPECT_EQ(gimp->bytes,
            testing::allocated(deployed / "files/bin/gimp") + testing::allocated(exported));
  EXPECT_THAT(gimp->nameHints, ::testing::IsEmpty()) << "flatpak is the launcher, not the app";

  const auto* tool = fixture.find(listing, "Tool");
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->installRoot, fixture.dir / "opt/Tool");
  EXPECT_EQ(tool->bytes, testing::allocated(fixture.dir / "opt/Tool/bin/tool"));
  EXPECT_THAT(tool->nameHints, ::testing::ElementsAre("tool", "ToolWindow"));
  EXPECT_FALSE(tool->isAppStore);

  const auto* bare = fixture.find(listing, "Bare");
  ASSERT_NE(bare, nullptr);
  EXPECT_FALSE(bare->bytes) << "no install root and no package: unknown";
}

// The program an entry runs names the app only when it is the app's own: from
// its package, or in a folder of its own. "Exec=git gui" merely runs git.
TEST(AppLister, AProgramFromAnotherPackageIsNoNameHint) {
  ListerFixture fixture;
  const auto bin = fixture.dir / "usr/bin";
  fixture.environment.programDirs = {bin};
  testing::writeFile(bin / "git", "git");
  testing::writeFile(bin / "gitk", "gitk");
  testing::writeFile(fixture.dir / "home/Apps/thing/thing-bin", "thing");
  const auto applications = fixture.dir / "usr/share/applications";
  const auto gui =
      testing::makeDesktopEntry(applications, "git-gui.desktop", "Git GUI", "Exec=git gui\n");
  const auto gitk = testing::makeDesktopEntry(applications, "gitk.desktop", "Gitk", "Exec=gitk\n");
  testing::makeDesktopEntry(fixture.dir / "home/.local/share/applications", "mine.desktop", "Mine",
                            "Exec=git log\n");
  testing::makeDesktopEntry(fixture.dir / "home/.local/share/applications", "thing.desktop",
                            "Thing",
                            "Exec=" + (fixture.dir / "home/Apps/thing/thing-bin").string() + "\n");
  testing::writeFile(fixture.dir / "dpkg/info/git.list", (bin / "git").string() + "\n");
  testing::writeFile(fixture.dir / "dpkg/info/git-gui.list", gui.string() + "\n");
  testing::writeFile(fixture.dir / "dpkg/info/gitk.list",
                     gitk.string() + "\n" + (bin / "gitk").string() + "\n");

  const auto listing = fixture.list();
  EXPECT_THAT(fixture.find(listing, "Git GUI")->nameHints, ::testing::IsEmpty());
  EXPECT_THAT(fixture.find(listing, "Mine")->nameHints, ::testing::IsEmpty());
  EXPECT_THAT(fixture.find(listing, "Gitk")->nameHints, ::testing::ElementsAre("gitk"));
  EXPECT_THAT(fixture.find(listing, "Thing")->nameHints, ::testing::ElementsAre("thing-bin"));

  // So ~/.config/git is nobody's leftover.
  const auto config = fixture.dir / "home/.config";
  testing::writeFile(config / "git/config", "[user]\n");
  const auto environment = fixture.environment;
  const AppLeftoverFinder finder(environment, listing);
  EXPECT_THAT(finder.report(*fixture.find(listing, "Git GUI")).leftovers, ::testing::IsEmpty());
}

TEST(AppLister, PackagedEntriesTakeSizeAndVersionFromDpkg) {
  ListerFixture fixture;
  const auto entry =
      testing::makeDesktopEntry(fixture.dir / "usr/share/applications", "vim.desktop", "Vim");
  const auto binary = fixture.dir / "usr/bin/vim.basic";
  testing::writeFile(binary, std::string(50000, 'v'));
  fs::create_hard_link(binary, fixture.dir / "usr/bin/vim.same");
  testing::writeFile(fixture.dir / "dpkg/info/vim:amd64.list",
                     "/.\n" + fixture.dir.path().string() + "/usr/bin\n" + binary.string() + "\n" +
                         (fixture.dir / "usr/bin/vim.same").string() + "\n" + entry.string() +
                         "\n/nonexistent/file\n");
  testing::writeFile(fixture.dir / "dpkg/status",
                     "Package: vi\nVersion: 1\n\nPackage: vim\nStatus: install ok installed\n"
                     "Version: 2:9.0.1378-2\n\n");
  const auto listing = fixture.list();
  ASSERT_EQ(listing.apps.size(), 1u);
  EXPECT_EQ(listing.apps[0].version, "2:9.0.1378-2");
  EXPECT_EQ(listing.apps[0].bytes, testing::allocated(binary) + testing::allocated(entry));
}

// The desktop-entry walk over a hostile tree: a line feed in a name, vendor
// folders to the depth limit and no further, links to folders (never walked
// into, never read as entries), a dangling link, a FIFO, and a folder the user
// may not read, which must not end the walk.
TEST(AppLister, DesktopEntryWalkOverAHostileTree) {
  ListerFixture fixture;
  const auto applications = fixture.dir / "home/.local/share/applications";
  testing::makeDesktopEntry(applications, "line\nfeed.desktop", "Line Feed");
  testing::makeDesktopEntry(applications / "a/b/c", "deep.desktop", "Deep");
  testing::makeDesktopEntry(applications / "a/b/c/d", "deeper.desktop", "Deeper");
  const auto elsewhere = fixture.dir / "elsewhere";
  testing::makeDesktopEntry(elsewhere, "outside.desktop", "Outside");
  fs::create_directory_symlink(elsewhere, applications / "linked");
  fs::create_directory_symlink(elsewhere, applications / "folder.desktop");
  fs::create_symlink("missing", applications / "dangling.desktop");
  ASSERT_EQ(::mkfifo((applications / "fifo.desktop").c_str(), 0644), 0);
  testing::makeDesktopEntry(applications / "closed", "secret.desktop", "Secret");
  testing::makeDesktopEntry(applications / "zz", "after.desktop", "After");

  auto names = [&] {
    std::vector<std::string> found;
    for (const auto& app : fixture.list().apps)
      found.push_back(app.bundleID.value_or("") + "=" + app.name);
    return found;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(names(), (Names{"zz-after=After", "a-b-c-deep=Deep", "line\nfeed=Line Feed",
                            "closed-secret=Secret"}));

  if (::geteuid() != 0) GTEST_SKIP() << "the unreadable folder needs root to hand it to nobody";
  fs::permissions(fixture.dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
  fs::permissions(applications / "closed", fs::perms::owner_all);
  fixture.environment.userID = 65534;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(names() == Names{"zz-after=After", "a-b-c-deep=Deep", "line\nfeed=Line Feed"} ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "can't switch to user 65534";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace glimmet
