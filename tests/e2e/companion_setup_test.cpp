// glimmet companion install, uninstall and status with the real binary in a
// private home: the autostart entry where no systemd user manager answers
// (no systemctl, or one that can't reach a manager, as in this container), the
// unit through a stand-in systemctl that records what it was asked, the unit
// checked by systemd-analyze, and status against a lock this test holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/companion/companion_state.h"
#include "core/output/iso8601.h"
#include "core/settings/shared_files.h"
#include "logic/companion/companion_launch_files.h"
#include "platform/files.h"
#include "support/isolated_home.h"
#include "support/schema.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kUnit = "home/.config/systemd/user/glimmet-companion.service";
constexpr const char* kEntry = "home/.config/autostart/glimmet-companion.desktop";

std::string ownGlimmet() {
  return fs::canonical(GLIMMET_BINARY).string();
}

class CompanionSetup : public ::testing::Test {
 protected:
  testing::RunResult glimmet(const std::vector<std::string>& arguments) {
    return home_.glimmet(arguments);
  }
  std::string read(const char* name) const { return home_.dir().read(name); }
  bool exists(const char* name) const { return fs::exists(home_.root() / name); }

  // A PATH of one empty folder: no systemctl anywhere.
  void withoutSystemctl() {
    fs::create_directories(home_.root() / "empty-bin");
    setPath((home_.root() / "empty-bin").string());
  }

  // A systemctl that logs its arguments and answers like a user manager; the
  // verb `failing`, when given, fails with systemd's own kind of message.
  void withUserManager(const std::string& failing = "none") {
    const auto log = (home_.root() / "systemctl.log").string();
    home_.dir().write("bin/systemctl",
                      "#!/bin/sh\n"
                      "printf '%s\\n' \"$*\" >> '" +
                          log +
                          "'\n"
                          "case \" $* \" in *' " +
                          failing +
                          " '*)\n"
                          "  echo 'Failed to " +
                          failing +
                          " unit: Access denied' >&2; exit 1;;\n"
                          "esac\n");
    fs::permissions(home_.root() / "bin/systemctl", fs::perms(0755));
    setPath((home_.root() / "bin").string() + ":/usr/bin:/bin");
  }

  std::vector<std::string> systemctlCalls() const {
    if (!exists("systemctl.log")) return {};
    std::vector<std::string> calls;
    std::istringstream lines(read("systemctl.log"));
    for (std::string line; std::getline(lines, line);) calls.push_back(line);
    return calls;
  }

  void setPath(const std::string& path) {
    home_.environment() = home_.environment().with("PATH", path);
  }

  testing::IsolatedHome home_;
};

const std::string kProbe = "--user --no-pager show --property=Version";

TEST_F(CompanionSetup, WithoutSystemctlTheAutostartEntryIsWrittenOnceAndTakenAwayOnce) {
  withoutSystemctl();
  const auto first = glimmet({"companion", "install"});
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_THAT(first.out, StartsWith("There is no systemctl here, so no systemd user manager to "
                                    "run the companion.\nWrote an autostart entry instead: "
                                    "~/.config/autostart/glimmet-companion.desktop.\n"));
  EXPECT_EQ(read(kEntry), companion_files::autostartEntryText(ownGlimmet()));
  EXPECT_THAT(read(kEntry), HasSubstr("\nExec=\"" + ownGlimmet() + "\" companion run\n"));
  EXPECT_EQ(fs::status(home_.root() / kEntry).permissions(), fs::perms(0644));

  const auto second = glimmet({"companion", "install"});
  EXPECT_EQ(second.status, 0);
  EXPECT_THAT(second.out, HasSubstr("The companion is already installed as an autostart entry: "
                                    "~/.config/autostart/glimmet-companion.desktop.\n"));
  EXPECT_THAT(glimmet({"companion", "status"}).out,
              HasSubstr("\nInstalled         autostart entry "
                        "~/.config/autostart/glimmet-companion.desktop\n"));

  const auto removed = glimmet({"companion", "uninstall"});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.out,
            "Removed the companion's autostart entry: "
            "~/.config/autostart/glimmet-companion.desktop.\n");
  EXPECT_FALSE(exists(kEntry));
  const auto again = glimmet({"companion", "uninstall"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, "The companion isn't installed, so there is nothing to undo.\n");
}

// This container has systemctl but no user manager, like SSH without
// lingering and CI: the real systemctl is asked and can't connect.
TEST_F(CompanionSetup, ASystemctlThatReachesNoManagerMeansTheAutostartEntry) {
  if (!fs::exists("/usr/bin/systemctl") && !fs::exists("/bin/systemctl"))
    GTEST_SKIP() << "no systemctl on this machine";
  const auto result = glimmet({"companion", "install"});
  EXPECT_EQ(result.status, 0);
  EXPECT_THAT(result.out, StartsWith("systemctl --user can't reach a systemd user manager here"));
  EXPECT_TRUE(exists(kEntry));
  EXPECT_FALSE(exists(kUnit));
}

TEST_F(CompanionSetup, AnEntryYouChangedIsNeitherReplacedNorRemoved) {
  withoutSystemctl();
  ASSERT_EQ(glimmet({"companion", "install"}).status, 0);
  const auto changed = read(kEntry) + "X-Mine=true\n";
  home_.dir().write(kEntry, changed);

  const auto uninstall = glimmet({"companion", "uninstall"});
  EXPECT_EQ(uninstall.status, 3);
  EXPECT_EQ(uninstall.out,
            "~/.config/autostart/glimmet-companion.desktop isn't as glimmet "
            "wrote it, so glimmet leaves it alone.\n");
  const auto install = glimmet({"companion", "install"});
  EXPECT_EQ(install.status, 3);
  EXPECT_THAT(install.out, HasSubstr("isn't as glimmet wrote it, so glimmet leaves it alone. Move "
                                     "it away and install again.\n"));
  EXPECT_EQ(read(kEntry), changed);
  EXPECT_THAT(glimmet({"companion", "status"}).out, HasSubstr("  [not as glimmet wrote it]\n"));
}

TEST_F(CompanionSetup, UnderAUserManagerTheUnitIsEnabledStartedAndTakenAwayAgain) {
  withUserManager();
  // An entry of an earlier install without a manager would start a second companion.
  home_.dir().write(kEntry, companion_files::autostartEntryText(ownGlimmet()));

  const auto install = glimmet({"companion", "install"});
  EXPECT_EQ(install.status, 0) << install.out;
  EXPECT_EQ(install.out,
            "Removed the autostart entry of an earlier install: "
            "~/.config/autostart/glimmet-companion.desktop.\n"
            "Installed the companion as a systemd user unit: "
            "~/.config/systemd/user/glimmet-companion.service.\n"
            "It runs now and whenever you log in.\n");
  EXPECT_EQ(read(kUnit), companion_files::unitFileText(ownGlimmet()));
  EXPECT_FALSE(exists(kEntry));
  EXPECT_THAT(systemctlCalls(),
              ElementsAre(kProbe, "--user --no-pager daemon-reload",
                          "--user --no-pager enable --now glimmet-companion.service"));

  const auto again = glimmet({"companion", "install"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out,
            "The companion is already installed: "
            "~/.config/systemd/user/glimmet-companion.service.\n");
  EXPECT_EQ(systemctlCalls().back(), "--user --no-pager enable --now glimmet-companion.service");

  const auto json = glimmet({"companion", "status", "--json"});
  const auto installed = nlohmann::json::parse(json.out)["installed"];
  EXPECT_EQ(installed["kind"], "systemdUnit");
  EXPECT_EQ(installed["runs"], ownGlimmet());

  home_.dir().write("systemctl.log", "");
  const auto uninstall = glimmet({"companion", "uninstall"});
  EXPECT_EQ(uninstall.status, 0);
  EXPECT_EQ(uninstall.out,
            "Stopped the companion and removed its unit: "
            "~/.config/systemd/user/glimmet-companion.service.\n");
  EXPECT_FALSE(exists(kUnit));
  EXPECT_THAT(systemctlCalls(),
              ElementsAre(kProbe, "--user --no-pager disable --now glimmet-companion.service",
                          "--user --no-pager daemon-reload"));
  EXPECT_EQ(glimmet({"companion", "uninstall"}).status, 1);
}

TEST_F(CompanionSetup, AMovedGlimmetTakesOverTheUnitAndARefusingSystemctlIsQuoted) {
  withUserManager("restart");
  home_.dir().write(kUnit, companion_files::unitFileText("/opt/old place/glimmet"));

  const auto install = glimmet({"companion", "install"});
  // The unit is rewritten and enabled; only the restart onto it failed.
  EXPECT_EQ(install.status, 2);
  EXPECT_EQ(install.out,
            "systemctl --user restart glimmet-companion.service failed: Failed to "
            "restart unit: Access denied\n");
  EXPECT_EQ(read(kUnit), companion_files::unitFileText(ownGlimmet()));
  EXPECT_THAT(systemctlCalls(), ElementsAre(kProbe, "--user --no-pager daemon-reload",
                                            "--user --no-pager enable glimmet-companion.service",
                                            "--user --no-pager restart glimmet-companion.service"));

  withUserManager("disable");
  const auto uninstall = glimmet({"companion", "uninstall"});
  EXPECT_EQ(uninstall.status, 3);
  EXPECT_THAT(uninstall.out, HasSubstr("disable --now glimmet-companion.service failed"));
  EXPECT_TRUE(exists(kUnit));
}

// systemd reads the program's path with its own quoting and refuses quotes
// and backslashes in it; "%", "$", ";" and spaces must come back unchanged or
// verify can't find the program.
TEST_F(CompanionSetup, TheUnitPassesSystemdAnalyzeVerifyFromAnAwkwardPath) {
  const bool haveAnalyze =
      fs::exists("/usr/bin/systemd-analyze") || fs::exists("/bin/systemd-analyze");
  withUserManager();
  const auto folder = home_.root() / "my tools/100% $HOME;x";
  fs::create_directories(folder);
  const auto awkward = folder / "glimmet";
  // A second name for the test binary, on the same file system.
  fs::create_hard_link(ownGlimmet(), awkward);

  const auto install =
      testing::runProcess({awkward.string(), "companion", "install"}, home_.environment());
  ASSERT_EQ(install.status, 0) << install.out;
  EXPECT_THAT(read(kUnit), HasSubstr("\nExecStart=\"" + home_.root().string() +
                                     "/my tools/100%% $HOME;x/glimmet\" companion run\n"));
  if (!haveAnalyze) GTEST_SKIP() << "no systemd-analyze (Debian's systemd package) to verify with";

  fs::create_directories(home_.root() / "run");
  fs::permissions(home_.root() / "run", fs::perms(0700));
  const auto verify = testing::runProcess(
      {"/usr/bin/systemd-analyze", "--user", "verify", (home_.root() / kUnit).string()},
      home_.environment());
  EXPECT_EQ(verify.status, 0) << verify.err;
  EXPECT_EQ(verify.out + verify.err, "");

  const auto quoted = home_.root() / "it's" / "glimmet";
  fs::create_directories(quoted.parent_path());
  fs::create_hard_link(ownGlimmet(), quoted);
  fs::remove(home_.root() / kUnit);
  const auto refused =
      testing::runProcess({quoted.string(), "companion", "install"}, home_.environment());
  EXPECT_EQ(refused.status, 3);
  EXPECT_THAT(refused.out, StartsWith("systemd can't run a program from a path with a quote"));
  EXPECT_FALSE(exists(kUnit));
}

class CompanionStatus : public ::testing::Test {
 protected:
  void write(std::string_view name, const std::string& text) {
    home_.dir().write("home/.local/share/Glimmet/" + std::string(name), text);
  }
  testing::IsolatedHome home_;
};

TEST_F(CompanionStatus, NotRunningIsStatusOneInTextAndZeroInJson) {
  const auto text = home_.glimmet({"companion", "status"});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out,
            "Companion         not running\n"
            "Heartbeat         none\n"
            "Ancestry records  0\n"
            "Quit requests     0 pending\n"
            "Last reap         none yet\n"
            "Installed         no: glimmet companion install starts it when you log in\n");
  // Status only reads: it leaves no shared folder behind.
  EXPECT_FALSE(fs::exists(home_.sharedFolder()));

  // Whatever the files hold, status reads them as missing and still answers.
  write(shared_files::companionState, "{\"pid\": \"x\"");
  write(shared_files::mcpHeartbeat, std::string("\xff\xfe{", 3));
  write(shared_files::mcpInbox, std::string(100000, '['));
  write(shared_files::companionLock, "");
  const auto json = home_.glimmet({"companion", "status", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("companionStatus", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["running"], false);
  EXPECT_FALSE(document.contains("heartbeatAgeSeconds"));
  EXPECT_EQ(document["pendingQuitRequests"], 0);
}

TEST_F(CompanionStatus, WhileAProcessHoldsTheLockItIsRunningAsCompanionJsonSays) {
  const auto now = std::chrono::system_clock::now();
  CompanionState state;
  state.pid = ::getpid();
  state.startedAt = now - std::chrono::minutes(5);
  state.updatedAt = now;
  state.sessionsWatched = 1;
  state.ancestryRecords = 7;
  state.lastReap = CompanionReap{now - std::chrono::minutes(1), "sessionEnd", false, 2, 2};
  write(shared_files::companionState, state.toJson().dump());
  write(shared_files::mcpHeartbeat, nlohmann::json{{"time", formatIso8601(now)}}.dump());
  write(shared_files::mcpInbox,
        R"([{"id": "A", "status": "pending"}, {"id": "B", "status": "pending"},
            {"id": "C", "status": "answered"}])");
  const auto folder = platform::SharedFolder::create(home_.sharedFolder());
  std::optional<platform::LockedFile> lock =
      folder.lock(shared_files::companionLock, std::chrono::milliseconds(0));

  const auto json = home_.glimmet({"companion", "status", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("companionStatus", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["running"], true);
  EXPECT_EQ(document["pid"], ::getpid());
  EXPECT_EQ(document["startedAt"], formatIso8601(state.startedAt));
  EXPECT_EQ(document["sessionsWatched"], 1);
  EXPECT_EQ(document["ancestryRecords"], 7);
  EXPECT_EQ(document["pendingQuitRequests"], 2);
  EXPECT_EQ(document["heartbeatFresh"], true);
  EXPECT_EQ(document["lastReap"]["trigger"], "sessionEnd");

  const auto text = home_.glimmet({"companion", "status"});
  EXPECT_EQ(text.status, 0);
  EXPECT_THAT(text.out, StartsWith("Companion         running, pid " + std::to_string(::getpid()) +
                                   ", since " + formatIso8601(state.startedAt) + " (5 min)\n"));
  EXPECT_THAT(text.out, HasSubstr("\nQuit requests     2 pending\n"));

  // Let go, the same files describe a companion that is gone.
  lock.reset();
  const auto after = nlohmann::json::parse(home_.glimmet({"companion", "status", "--json"}).out);
  EXPECT_EQ(after["running"], false);
  EXPECT_FALSE(after.contains("pid"));
  EXPECT_EQ(after["ancestryRecords"], 0);
  EXPECT_EQ(home_.glimmet({"companion", "status"}).status, 1);
}

}  // namespace
}  // namespace glimmet
