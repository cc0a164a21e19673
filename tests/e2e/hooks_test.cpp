// glimmet hooks against real agent configuration files in a private home: what
// it adds, what it refuses to touch, how it takes itself out again, and the
// installed hook commands run through /bin/sh as the agent runs them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "support/companion_process.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

constexpr std::string_view kClaude = "home/.claude/settings.json";
constexpr std::string_view kCodex = "home/.codex/config.toml";

class Hooks : public ::testing::Test {
 protected:
  // The hooks must run a program that is there: a stand-in glimmet.
  Hooks() {
    write("bin/glimmet", "#!/bin/sh\nexit 0\n");
    ::chmod(glimmet_.c_str(), 0755);
  }
  testing::RunResult hooks(std::vector<std::string> arguments) {
    return hooksWith(glimmet_, std::move(arguments));
  }
  testing::RunResult hooksWith(const std::string& glimmet, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {GLIMMET_BINARY, "hooks"});
    arguments.push_back("--glimmet=" + glimmet);
    return testing::runProcess(arguments, home_.environment());
  }
  // Backup copies and records left beside the Claude Code settings.
  std::vector<std::string> backups() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(home_.home() / ".claude"))
      if (entry.path().filename().string().find(".glimmet-") != std::string::npos)
        names.push_back(entry.path().filename().string());
    return names;
  }
  std::string read(std::string_view name) const { return home_.dir().read(std::string(name)); }
  bool exists(std::string_view name) const { return fs::exists(home_.root() / name); }
  void write(std::string_view name, const std::string& text) {
    home_.dir().write(std::string(name), text);
  }
  json settings() const { return json::parse(read(kClaude)); }
  std::vector<std::string> commands(const std::string& event) const {
    std::vector<std::string> result;
    const json root = settings();
    for (const auto& group : root["hooks"][event])
      for (const auto& entry : group["hooks"]) result.push_back(entry["command"]);
    return result;
  }

  testing::IsolatedHome home_;
  std::string glimmet_ = (home_.root() / "bin/glimmet").string();
};

TEST_F(Hooks, InstallsBothClaudePurposesOnceIntoAMissingOrEmptyFile) {
  for (const bool empty : {false, true}) {
    if (empty) {
      fs::remove_all(home_.home() / ".claude");
      write(kClaude, "");
    }
    ASSERT_EQ(hooks({"install"}).status, 0);
    const std::string first = read(kClaude);
    const auto again = hooks({"install"});
    EXPECT_EQ(again.status, 0);
    EXPECT_THAT(again.out, HasSubstr("Already installed: Claude Code notify hook"));
    EXPECT_EQ(read(kClaude), first);
    EXPECT_EQ(first.back(), '\n');
    EXPECT_THAT(first, HasSubstr("\"'" + glimmet_ + "' notify")) << "slashes stay unescaped";

    const std::string quoted = "'" + glimmet_ + "'";
    EXPECT_EQ(commands("SessionEnd"),
              std::vector<std::string>{"nohup " + quoted +
                                       " reap --session $PPID --after-exit --quiet >/dev/null "
                                       "2>&1 &"});
    const std::vector<std::string> notify{quoted + " notify --agent claude-code --pid $PPID"};
    EXPECT_EQ(commands("Stop"), notify);
    EXPECT_EQ(commands("Notification"), notify);
    EXPECT_EQ(settings()["hooks"]["Stop"][0]["hooks"][0]["timeout"], 5);
    EXPECT_EQ(settings()["hooks"]["SessionEnd"][0]["hooks"][0]["type"], "command");
    EXPECT_EQ(json::parse(read(std::string(kClaude) + ".glimmet-backup.json"))["originalExisted"],
              empty);
  }
}

TEST_F(Hooks, KeepsOtherProgramsHooksAndSettings) {
  write(kClaude, R"({"model":"x","hooks":{"Stop":[{"hooks":[{"type":"command","command":"other"}]}],
    "PreToolUse":[{"matcher":"Bash","hooks":[]}]}})");
  ASSERT_EQ(hooks({"install", "--notify"}).status, 0);
  EXPECT_EQ(settings()["model"], "x");
  ASSERT_EQ(commands("Stop").size(), 2u);
  EXPECT_EQ(commands("Stop")[0], "other");
  EXPECT_EQ(settings()["hooks"]["PreToolUse"][0]["matcher"], "Bash");
  EXPECT_FALSE(settings()["hooks"].contains("SessionEnd"));

  // Someone edits the file after the install: only our entries come out.
  json edited = settings();
  edited["theme"] = "dark";
  write(kClaude, edited.dump());
  const auto result = hooks({"uninstall", "--notify"});
  EXPECT_EQ(result.status, 0);
  EXPECT_THAT(result.out, HasSubstr("your later changes are kept"));
  EXPECT_EQ(settings()["theme"], "dark");
  EXPECT_EQ(commands("Stop"), std::vector<std::string>{"other"});
  EXPECT_TRUE(settings()["hooks"]["Notification"].empty());
  EXPECT_EQ(settings()["hooks"]["PreToolUse"][0]["matcher"], "Bash");
  EXPECT_THAT(hooks({"uninstall", "--notify"}).out, HasSubstr("isn't installed"));
}

TEST_F(Hooks, UninstallRestoresTheUntouchedOriginal) {
  const std::string original = "{ \"model\" :\t\"x\" }\n";
  write(kClaude, original);
  ASSERT_EQ(hooks({"install"}).status, 0);
  // Uninstalling in the order installed, then the reverse, both end at the original.
  EXPECT_THAT(hooks({"uninstall", "--notify"}).out, HasSubstr("back as it was"));
  EXPECT_THAT(hooks({"uninstall", "--reap"}).out, HasSubstr("back as it was"));
  EXPECT_EQ(read(kClaude), original);
  EXPECT_FALSE(exists(std::string(kClaude) + ".glimmet-backup.json"));

  fs::remove(home_.root() / kClaude);
  ASSERT_EQ(hooks({"install", "--reap"}).status, 0);
  EXPECT_THAT(hooks({"uninstall"}).out, HasSubstr("back as it was"));
  EXPECT_FALSE(exists(kClaude)) << "there was no settings file before";
}

// Whichever order the two kinds go in and come out, one command or one kind at
// a time, an untouched file ends byte for byte as it was (or gone, with its
// backups, when the install created it).
TEST_F(Hooks, InstallThenUninstallLeavesNoTraceInAnyOrder) {
  const std::vector<std::vector<std::vector<std::string>>> installs = {
      {{"install"}}, {{"install", "--notify"}, {"install", "--reap"}}};
  const std::vector<std::vector<std::vector<std::string>>> uninstalls = {
      {{"uninstall"}},
      {{"uninstall", "--reap"}, {"uninstall", "--notify"}},
      {{"uninstall", "--notify"}, {"uninstall", "--reap"}}};
  const std::string original = "{ \"model\" :\t\"x\",\n\"hooks\": {\"Stop\": []} }";
  for (const bool existed : {true, false}) {
    for (const auto& install : installs) {
      for (const auto& uninstall : uninstalls) {
        const std::string label = ::testing::PrintToString(install) + " then " +
                                  ::testing::PrintToString(uninstall) +
                                  (existed ? "" : " without a file");
        fs::remove_all(home_.home() / ".claude");
        if (existed) write(kClaude, original);
        for (const auto& step : install) ASSERT_EQ(hooks(step).status, 0) << label;
        for (const auto& step : uninstall) {
          const auto result = hooks(step);
          EXPECT_EQ(result.status, 0) << label;
          EXPECT_THAT(result.out, Not(HasSubstr("isn't installed"))) << label;
        }
        if (existed)
          EXPECT_EQ(read(kClaude), original) << label;
        else
          EXPECT_FALSE(exists(kClaude)) << label;
        EXPECT_EQ(backups(), std::vector<std::string>{}) << label;
      }
    }
  }
}

// The user's settings stay in their order and in Claude Code's own layout.
TEST_F(Hooks, KeepsTheSettingsKeyOrderAndLayout) {
  write(kClaude, R"({"model":"x","env":{"ZED":"1","ALPHA":"2"},"alwaysThinkingEnabled":true})");
  ASSERT_EQ(hooks({"install", "--reap"}).status, 0);
  EXPECT_THAT(read(kClaude),
              ::testing::StartsWith("{\n  \"model\": \"x\",\n  \"env\": {\n"
                                    "    \"ZED\": \"1\",\n    \"ALPHA\": \"2\"\n  },\n"
                                    "  \"alwaysThinkingEnabled\": true,\n"
                                    "  \"hooks\": {\n    \"SessionEnd\": [\n"));
  // Someone adds a key; taking the hook out keeps their order too.
  write(kClaude, "{\"theme\": \"dark\", " + read(kClaude).substr(1));
  ASSERT_EQ(hooks({"uninstall", "--reap"}).status, 0);
  EXPECT_EQ(read(kClaude),
            "{\n  \"theme\": \"dark\",\n  \"model\": \"x\",\n  \"env\": {\n    \"ZED\": \"1\",\n"
            "    \"ALPHA\": \"2\"\n  },\n  \"alwaysThinkingEnabled\": true,\n  \"hooks\": {\n"
            "    \"SessionEnd\": []\n  }\n}\n");
}

// A glimmet that moved: installing again points every hook at the new path.
TEST_F(Hooks, InstallingWithAnotherGlimmetUpdatesTheHooksAndStatusShowsIt) {
  const std::string original = "{\"model\": \"x\"}";
  write(kClaude, original);
  write(kCodex, "model = \"o3\"\n");
  ASSERT_EQ(hooks({"install", "--claude", "--codex"}).status, 0);
  write("opt/glimmet", "#!/bin/sh\n");
  const std::string moved = (home_.root() / "opt/glimmet").string();
  const auto again = hooksWith(moved, {"install", "--claude", "--codex"});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_THAT(again.out, HasSubstr("Updated Claude Code reap hook in ~/.claude/settings.json: it "
                                   "now runs " +
                                   moved + ".\n"));
  EXPECT_THAT(
      again.out,
      HasSubstr("Updated Codex notify line in ~/.codex/config.toml: it now runs " + moved + ".\n"));
  EXPECT_EQ(commands("Stop"),
            std::vector<std::string>{"'" + moved + "' notify --agent claude-code --pid $PPID"});
  EXPECT_THAT(read(kCodex), HasSubstr("notify = [\"" + moved + "\", \"notify\""));
  EXPECT_THAT(read(kCodex), Not(HasSubstr(glimmet_)));
  const auto status = hooks({"status", "--claude", "--codex"});
  EXPECT_THAT(status.out, HasSubstr("Claude Code notify hook: installed, runs " + moved +
                                    " (~/.claude/settings.json)\n"));
  EXPECT_THAT(status.out, HasSubstr("Codex notify line: installed, runs " + moved +
                                    " (~/.codex/config.toml)\n"));
  EXPECT_THAT(hooksWith(moved, {"install"}).out, HasSubstr("Already installed"));
  // The move doesn't cost the way back to the original.
  ASSERT_EQ(hooks({"uninstall", "--claude", "--codex"}).status, 0);
  EXPECT_EQ(read(kClaude), original);
  EXPECT_EQ(read(kCodex), "model = \"o3\"\n");

  // A relative path, or one with nothing there, would fail on every turn.
  for (const std::string& bad :
       {std::string("bin/glimmet"), (home_.root() / "nowhere/glimmet").string()}) {
    const auto refused = hooksWith(bad, {"install"});
    EXPECT_EQ(refused.status, 64) << bad;
    EXPECT_THAT(refused.err, HasSubstr(bad)) << bad;
    EXPECT_EQ(read(kClaude), original) << bad;
  }
  EXPECT_THAT(hooksWith("bin/glimmet", {"install"}).err,
              HasSubstr("--glimmet needs an absolute path: bin/glimmet"));
}

TEST_F(Hooks, RefusesFilesItCannotSafelyChange) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{ // my settings\n \"model\": \"x\" }", "isn't valid JSON, so Glimmet won't change it."},
      {"[1, 2]", "isn't a JSON object, so Glimmet won't change it."},
      {"{\"a\": \"\xff\"}", "isn't valid JSON"},
      {std::string(5 * 1024 * 1024, ' ') + "{}", "is too large"},
  };
  for (const auto& [text, message] : cases) {
    write(kClaude, text);
    const auto result = hooks({"install"});
    EXPECT_EQ(result.status, 3);
    EXPECT_THAT(result.out, HasSubstr("Your Claude Code settings file " + message));
    // Both kinds refuse the same file; the person reads it once.
    EXPECT_EQ(result.out.find("Your Claude Code"), result.out.rfind("Your Claude Code"));
    EXPECT_EQ(read(kClaude), text);
    EXPECT_FALSE(exists(std::string(kClaude) + ".glimmet-backup"));
    EXPECT_FALSE(exists(std::string(kClaude) + ".glimmet-backup.json"));
  }

  write("home/dotfiles/claude.json", "{}");
  fs::remove(home_.root() / kClaude);
  fs::create_symlink(home_.home() / "dotfiles/claude.json", home_.root() / kClaude);
  EXPECT_THAT(hooks({"install"}).out, HasSubstr("is a symbolic link"));
  EXPECT_TRUE(fs::is_symlink(home_.root() / kClaude));
  EXPECT_EQ(read("home/dotfiles/claude.json"), "{}");

  fs::remove(home_.root() / kClaude);
  write(kClaude, "{}");
  ::chmod((home_.root() / kClaude).c_str(), 0444);
  EXPECT_THAT(hooks({"install"}).out, HasSubstr("is read-only"));
  EXPECT_EQ(read(kClaude), "{}");
}

TEST_F(Hooks, AStringHooksMemberIsReplacedAndClaudeConfigDirIsHonoured) {
  home_.environment() = home_.environment().with("CLAUDE_CONFIG_DIR", "");
  write(kClaude, R"({"hooks":"nope"})");
  ASSERT_EQ(hooks({"install", "--reap"}).status, 0);
  EXPECT_EQ(settings()["hooks"].size(), 1u);

  const auto elsewhere = home_.root() / "claude-config";
  home_.environment() = home_.environment().with("CLAUDE_CONFIG_DIR", elsewhere.string());
  ASSERT_EQ(hooks({"install", "--notify"}).status, 0);
  EXPECT_TRUE(fs::exists(elsewhere / "settings.json"));
  EXPECT_THAT(read(kClaude), Not(HasSubstr("notify --agent")));
}

TEST_F(Hooks, CodexLineGoesOnTopAndTheRestStaysByteForByte) {
  const std::string config =
      "# my codex\nmodel = \"o3\"   # fast\n\n[profiles.work]\nnotify = [\"elsewhere\"]\n";
  write(kCodex, config);
  ASSERT_EQ(hooks({"install", "--codex"}).status, 0);
  const std::string installed = read(kCodex);
  EXPECT_TRUE(
      installed.starts_with("# Added by Glimmet: tells Glimmet when a Codex turn finishes."));
  EXPECT_THAT(installed, HasSubstr("notify = [\"" + glimmet_ +
                                   "\", \"notify\", \"--agent\", "
                                   "\"codex\"]\n\n" +
                                   config));
  EXPECT_FALSE(exists(kClaude)) << "--codex alone leaves Claude Code alone";
  EXPECT_EQ(hooks({"install", "--codex"}).status, 0);
  EXPECT_EQ(read(kCodex), installed);
  EXPECT_EQ(read(std::string(kCodex) + ".glimmet-backup"), config);

  // Edited since: only our two lines go.
  write(kCodex, installed + "[more]\nx = 1\n");
  EXPECT_THAT(hooks({"uninstall", "--codex"}).out, HasSubstr("later changes are kept"));
  EXPECT_EQ(read(kCodex), config + "[more]\nx = 1\n");

  write(kCodex, config);
  ASSERT_EQ(hooks({"install", "--codex"}).status, 0);
  EXPECT_THAT(hooks({"uninstall", "--codex"}).out, HasSubstr("back as it was"));
  EXPECT_EQ(read(kCodex), config);
}

TEST_F(Hooks, CodexRefusesAnotherNotifyProgram) {
  const std::string config = "notify = [\"other-tool\"]\n[tui]\n";
  write(kCodex, config);
  const auto result = hooks({"install", "--codex"});
  EXPECT_EQ(result.status, 3);
  EXPECT_THAT(result.out, HasSubstr("Codex already runs another notify program, so Glimmet won't "
                                    "replace it."));
  EXPECT_EQ(read(kCodex), config);
  EXPECT_FALSE(exists(std::string(kCodex) + ".glimmet-backup.json"));
}

// The agent runs each hook command with /bin/sh, the session's payload on
// standard input. A fake glimmet where the command points records what it got.
TEST_F(Hooks, InstalledCommandsReachGlimmetWithTheAgentsPIDAndPayload) {
  const auto calls = home_.root() / "calls";
  fs::create_directories(calls);
  write("bin/glimmet", "#!/bin/sh\nd='" + calls.string() +
                           "'\nprintf '%s\\n' \"$@\" > \"$d/$1.tmp\"\ncat > \"$d/$1.stdin\"\n"
                           "mv \"$d/$1.tmp\" \"$d/$1.args\"\n");
  ::chmod(glimmet_.c_str(), 0755);
  ASSERT_EQ(hooks({"install"}).status, 0);

  const std::string payload = R"({"session_id":"s-1","hook_event_name":"Stop"})";
  const std::string agentPID = std::to_string(::getpid());  // $PPID of the hook's shell
  for (const auto& [event, name] : {std::pair{"Stop", "notify"}, {"SessionEnd", "reap"}}) {
    const auto result = testing::runProcess({"/bin/sh", "-c", commands(event)[0]},
                                            home_.environment(), {.input = payload});
    EXPECT_EQ(result.status, 0) << result.err;
    const auto args = calls / (std::string(name) + ".args");
    // The reap hook runs in the background so that the session can end at once.
    for (int tries = 0; tries < 1000 && !fs::exists(args); ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(args)) << name;
    const std::string got = home_.dir().read("calls/" + std::string(name) + ".args");
    if (std::string(name) == "notify") {
      EXPECT_EQ(got, "notify\n--agent\nclaude-code\n--pid\n" + agentPID + "\n");
      EXPECT_EQ(home_.dir().read("calls/notify.stdin"), payload);
    } else {
      EXPECT_EQ(got, "reap\n--session\n" + agentPID + "\n--after-exit\n--quiet\n");
    }
  }
}

TEST_F(Hooks, StatusAndSnippets) {
  EXPECT_THAT(hooks({"status", "--claude", "--codex"}).out,
              HasSubstr("Codex notify line: not installed (~/.codex/config.toml)"));
  const auto snippet = home_.glimmet({"hooks", "snippet", "Gemini CLI"});
  EXPECT_EQ(snippet.status, 0);
  EXPECT_THAT(snippet.out, HasSubstr("gemini() {\n"));
  const auto all = home_.glimmet({"hooks", "snippet"});
  EXPECT_THAT(all.out, HasSubstr("codex() {\n"));
  EXPECT_THAT(all.out, HasSubstr("}\n\n# Add to ~/.zshrc: Glimmet reaps Cursor's"))
      << "one blank line between them";
  const auto unknown = home_.glimmet({"hooks", "snippet", "vim"});
  EXPECT_EQ(unknown.status, 64);
  EXPECT_THAT(unknown.err,
              HasSubstr("No snippet for vim. Known agents: Codex, Gemini CLI, Cursor."));
}

// The notify hooks only count while the companion runs: install says what they
// need, and status says whether it runs, from the lock the companion holds.
TEST_F(Hooks, InstallAndStatusSayWhetherTheCompanionRuns) {
  using namespace std::chrono_literals;
  EXPECT_EQ(hooks({"install", "--reap"}).out,
            "Installed Claude Code reap hook in ~/.claude/settings.json.\n")
      << "the reap hook needs no companion";
  EXPECT_THAT(hooks({"install"}).out,
              HasSubstr("Installed Claude Code notify hook in ~/.claude/settings.json.\n"
                        "The notify hooks' events are recorded only while the companion runs: "
                        "start it with glimmet companion install (at every login) or glimmet "
                        "companion run.\n"));
  EXPECT_THAT(hooks({"status"}).out,
              HasSubstr("\nCompanion: not running (the notify hooks need it: glimmet companion "
                        "install, or glimmet companion run)\n"));

  testing::CompanionProcess companion(home_);
  ASSERT_TRUE(testing::eventually(
      [&] { return hooks({"status"}).out.ends_with("\nCompanion: running\n"); }, 10s))
      << companion.errorOutput();
  EXPECT_THAT(hooks({"install", "--codex"}).out,
              HasSubstr("The companion is running, so the notify hooks' events are recorded.\n"));
}

}  // namespace
}  // namespace glimmet
