// glimmet disk clean over a real scan of a fixture home with its own rule file:
// picking items, the dry run, and what a dry run leaves untouched.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/isolated_home.h"
#include "support/process_alive.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::withoutCarriageReturns;

// Two caches under ~/.cache: one the Trash takes, one a tool cleans with its
// own command ("fake-clean", found on PATH only when the test installs it).
constexpr std::string_view kRules = R"({"version": 1, "rules": [
  {"id": "fixture-trash", "label": "Fixture cache", "tool": "fixture", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.cache/fixture-trash"],
   "clean": {"kind": "trash"}, "ifRemoved": "Nothing.", "verified": true},
  {"id": "fixture-tool", "label": "Tool cache", "tool": "fake-clean", "category": "safeToClear",
   "safety": "safe", "match": "path", "paths": ["~/.cache/fixture-tool"],
   "clean": {"kind": "toolCommand", "argv": ["fake-clean", "purge", "{path}"]},
   "ifRemoved": "Nothing.", "verified": true}
]})";

struct CleanHome {
  testing::IsolatedHome home;

  CleanHome() {
    home.dir().write("rules.json", std::string(kRules));
    home.environment() =
        home.environment().with("GLIMMET_LEFTOVERS", (home.root() / "rules.json").string());
    home.dir().write("home/.cache/fixture-trash/blob", std::string(50000, 't'));
    home.dir().write("home/.cache/fixture-tool/it's here/blob", std::string(50000, 'u'));
  }

  // The fake tool writes its arguments, one a line, where the test can read them.
  void installFakeTool() {
    const auto tool = home.dir().write(
        "bin/fake-clean", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                              (home.root() / "argv.txt").string() + "\"\necho cleaned it\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const auto path = *home.environment().get("PATH");
    home.environment() =
        home.environment().with("PATH", (home.root() / "bin").string() + ":" + path);
  }

  testing::RunResult scan() {
    auto result = home.glimmet({"disk", "scan", "--json"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return result;
  }
};

TEST(DiskClean, DryRunShowsTheMovesAndCommandsAndTouchesNothing) {
  CleanHome fixture;
  fixture.installFakeTool();
  fixture.scan();
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash",
                            (fixture.home.home() / ".cache/fixture-tool").string(), "--dry-run"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  const auto tool = (fixture.home.root() / "bin/fake-clean").string();
  const auto cache = (fixture.home.home() / ".cache/fixture-tool").string();
  EXPECT_EQ(result.out, "Would move to the Trash: ~/.cache/fixture-trash\nWould run: '" + tool +
                            "' purge '" + cache + "'\n");
  EXPECT_TRUE(std::filesystem::exists(fixture.home.home() / ".cache/fixture-trash/blob"));
  EXPECT_FALSE(std::filesystem::exists(fixture.home.home() / ".local/share/Trash"));
  EXPECT_FALSE(std::filesystem::exists(fixture.home.sharedFolder() / "cleanup.jsonl"));
}

TEST(DiskClean, AFolderSwappedForALinkSinceTheScanIsSkipped) {
  CleanHome fixture;
  fixture.scan();
  const auto cache = fixture.home.home() / ".cache/fixture-trash";
  std::filesystem::rename(cache, fixture.home.root() / "moved");
  std::filesystem::create_directory_symlink(fixture.home.root() / "moved", cache);
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash", "--dry-run"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Skipped Fixture cache: Changed since the scan: it's a symlink now\n");
}

TEST(DiskClean, AMissingToolMovesItsFolderToTheTrashInstead) {
  CleanHome fixture;
  fixture.scan();
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-tool#fixture-tool", "--dry-run"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "Would move to the Trash: ~/.cache/fixture-tool\n"
            "  fake-clean isn't installed, so this moves to the Trash\n");
}

TEST(DiskClean, ItemsMustComeFromTheLastScan) {
  CleanHome fixture;
  auto result = fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "No disk scan yet. Run glimmet disk scan first.\n");

  fixture.home.dir().write("home/.local/share/Glimmet/disk-cache.json", "{not json");
  result = fixture.home.glimmet({"disk", "clean", "x", "--dry-run"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "No disk scan yet. Run glimmet disk scan first.\n");

  fixture.scan();
  result = fixture.home.glimmet({"disk", "clean", "~/nowhere#fixture-trash", "--dry-run"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Not in the last scan: ~/nowhere#fixture-trash\nNone of those are in the last scan.\n");
  EXPECT_EQ(result.err, "");
}

// Items are named as people type paths: with a trailing slash, relative to
// the working folder, or through "~"; all three pick the one item.
TEST(DiskClean, PathsAreMatchedAsTyped) {
  CleanHome fixture;
  fixture.scan();
  const auto cache = fixture.home.home() / ".cache/fixture-trash";
  const auto relative = fs::relative(cache, fs::current_path()).string() + "/";
  for (const auto& argument :
       {cache.string() + "/", relative, std::string("~/.cache/fixture-trash/"),
        std::string("~/.cache/../.cache/fixture-trash")}) {
    const auto result = fixture.home.glimmet({"disk", "clean", argument, "--dry-run"});
    EXPECT_EQ(result.status, 0) << argument << result.out;
    EXPECT_EQ(result.out, "Would move to the Trash: ~/.cache/fixture-trash\n") << argument;
  }
}

// A folder whose name isn't UTF-8 gets an id that is (its odd bytes as \xHH),
// and the cache still names the real folder, so the id cleans it.
TEST(DiskClean, ANameThatIsntUtf8IsCleanedByItsID) {
  CleanHome fixture;
  // Each child of ~/.cache/kids is an item, so the odd name comes from the disk.
  auto rules = nlohmann::json::parse(kRules);
  rules["rules"][0]["match"] = "children";
  rules["rules"][0]["paths"] = {"~/.cache/kids"};
  fixture.home.dir().write("rules.json", rules.dump());
  const auto folder = fixture.home.home() / ".cache/kids/bad\xFFname";
  fixture.home.dir().write("home/.cache/kids/bad\xFFname/blob", std::string(50000, 'b'));
  const auto scan = fixture.scan();
  const std::string id = "~/.cache/kids/bad\\xFFname#fixture-trash";
  ASSERT_THAT(scan.out, HasSubstr("\"~/.cache/kids/bad\\\\xFFname#fixture-trash\"")) << scan.out;
  const auto result =
      fixture.home.glimmet({"disk", "clean", id}, {.input = "yes\n", .onTerminal = true});
  const auto out = withoutCarriageReturns(result.out);
  ASSERT_EQ(result.status, 0) << out;
  EXPECT_THAT(out, HasSubstr("Fixture cache: moved to Trash\n"));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(fixture.home.dir().read("home/.local/share/Trash/files/bad\xFFname/blob"),
            std::string(50000, 'b'));
}

TEST(DiskClean, MissingRulesStopBeforeAnything) {
  CleanHome fixture;
  fixture.home.dir().write("broken.json", R"({"version": 1, "rules": [{"id": "x"}]})");
  fixture.home.environment() = fixture.home.environment().with(
      "GLIMMET_LEFTOVERS", (fixture.home.root() / "broken.json").string());
  const auto result = fixture.home.glimmet({"disk", "clean", "x", "--dry-run"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out,
            "Couldn't find Glimmet's leftover rules. Glimmet looks for leftovers.json in "
            "share/glimmet beside the folder of its binary; set GLIMMET_LEFTOVERS to use another "
            "file.\n");
}

TEST(DiskClean, ARuleThatFailsItsChecksSaysWhichAndWhy) {
  CleanHome fixture;
  auto rules = nlohmann::json::parse(kRules);
  rules["rules"][1]["clean"]["argv"] = {"bash", "-c", "rm -rf ~"};
  const auto file = fixture.home.dir().write("shell.json", rules.dump());
  fixture.home.environment() = fixture.home.environment().with("GLIMMET_LEFTOVERS", file.string());
  const auto expected = "Rule \"fixture-tool\" in " + file.string() +
                        " is not valid: its clean command runs a shell (bash).\n";
  for (const auto& command : std::vector<std::vector<std::string>>{
           {"disk", "scan"}, {"disk", "clean", "x", "--dry-run"}}) {
    const auto result = fixture.home.glimmet(command);
    EXPECT_EQ(result.status, 3) << command[1];
    EXPECT_EQ(result.out, expected);
  }
}

// The scan cache names items; it never says what runs. Whatever clean command
// an edited disk-cache.json gives the item, after the yes it goes where its
// rule sends it: the Trash.
TEST(DiskClean, AnEditedCacheCantChooseTheCommand) {
  const std::vector<std::vector<std::string>> edits = {
      {"rm", "-r", "-f", "{path}"}, {"sh", "-c", "rm -rf ~/.cache"}, {"/bin/rm", "-rf", "{path}"}};
  for (const auto& argv : edits) {
    SCOPED_TRACE(argv.front());
    CleanHome fixture;
    fixture.scan();
    const std::string cachePath = "home/.local/share/Glimmet/disk-cache.json";
    auto cache = nlohmann::json::parse(fixture.home.dir().read(cachePath));
    bool edited = false;
    for (auto& item : cache["lastResult"]["items"])
      if (item["ruleID"] == "fixture-trash") {
        item["clean"] = {{"kind", "toolCommand"}, {"argv", argv}};
        edited = true;
      }
    ASSERT_TRUE(edited);
    fixture.home.dir().write(cachePath, cache.dump());

    const auto folder = fixture.home.home() / ".cache/fixture-trash";
    const auto result =
        fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash"},
                             {.input = "yes\n", .onTerminal = true});
    const auto out = withoutCarriageReturns(result.out);
    ASSERT_EQ(result.status, 0) << out;
    EXPECT_THAT(out, HasSubstr("Will move to the Trash: ~/.cache/fixture-trash  (about "));
    EXPECT_THAT(out, HasSubstr("Fixture cache: moved to Trash\n"));
    EXPECT_THAT(out, ::testing::Not(HasSubstr("rm ")));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(fixture.home.dir().read("home/.local/share/Trash/files/fixture-trash/blob"),
              std::string(50000, 't'));
    EXPECT_TRUE(fs::exists(fixture.home.home() / ".cache/fixture-tool/it's here/blob"));
    EXPECT_THAT(fixture.home.dir().read("home/.local/share/Glimmet/cleanup.jsonl"),
                HasSubstr("\"action\":\"trash\""));
  }
}

// Progress is for a person watching standard error: piped away, it says nothing
// there, and standard output is the same as ever.
TEST(DiskClean, NoProgressWhenStandardErrorIsNotATerminal) {
  CleanHome fixture;
  fixture.scan();
  const auto errors = fixture.home.root() / "errors.txt";
  const auto result = testing::runProcess(
      {"/bin/sh", "-c", "exec \"$0\" disk clean '~/.cache/fixture-trash#fixture-trash' 2>\"$1\"",
       GLIMMET_BINARY, errors.string()},
      fixture.home.environment(), {.input = "yes\n", .onTerminal = true});
  const auto out = withoutCarriageReturns(result.out);
  ASSERT_EQ(result.status, 0) << out;
  EXPECT_THAT(out, HasSubstr("Fixture cache: moved to Trash\n"));
  EXPECT_THAT(out, ::testing::Not(HasSubstr("[1/1]")));
  EXPECT_EQ(fixture.home.dir().read("errors.txt"), "\nType yes to clean up 1 item: ");
}

TEST(DiskClean, TypingYesMovesToTheTrashAndRunsTheToolsOwnCommand) {
  CleanHome fixture;
  fixture.installFakeTool();
  fixture.scan();
  const auto trashed = fixture.home.home() / ".cache/fixture-trash";
  const auto cleaned = fixture.home.home() / ".cache/fixture-tool";
  const auto result = fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash",
                                            "~/.cache/fixture-tool#fixture-tool"},
                                           {.input = " YES \n", .onTerminal = true});
  const auto out = withoutCarriageReturns(result.out);
  ASSERT_EQ(result.status, 0) << out;
  EXPECT_THAT(out, HasSubstr("Will move to the Trash: ~/.cache/fixture-trash  (about "));
  EXPECT_THAT(out, HasSubstr("Type yes to clean up 2 items: "));
  EXPECT_THAT(out, HasSubstr("Fixture cache: moved to Trash\n"));
  EXPECT_THAT(out, HasSubstr("  cleaned it\nTool cache: done\n"));
  // At a terminal each step also says when it starts and ends.
  EXPECT_THAT(out, HasSubstr("[1/2] Moving ~/.cache/fixture-trash to the Trash...\n"
                             "Fixture cache: moved to Trash\n[1/2] Finished in "));
  EXPECT_THAT(out, HasSubstr("[2/2] Running fake-clean to clean ~/.cache/fixture-tool...\n"));
  EXPECT_THAT(out, HasSubstr("Tool cache: done\n[2/2] Finished in "));

  // Every byte that left its place is in the Trash, with its record.
  const auto trash = fixture.home.home() / ".local/share/Trash";
  EXPECT_FALSE(std::filesystem::exists(trashed));
  EXPECT_EQ(fixture.home.dir().read("home/.local/share/Trash/files/fixture-trash/blob"),
            std::string(50000, 't'));
  EXPECT_THAT(fixture.home.dir().read("home/.local/share/Trash/info/fixture-trash.trashinfo"),
              HasSubstr("Path=" + trashed.string() + "\nDeletionDate="));
  // The tool got exactly its own arguments and its folder is still there for it.
  EXPECT_EQ(fixture.home.dir().read("argv.txt"), "purge\n" + cleaned.string() + "\n");
  EXPECT_TRUE(std::filesystem::exists(cleaned / "it's here/blob"));

  std::vector<nlohmann::json> log;
  std::istringstream lines(fixture.home.dir().read("home/.local/share/Glimmet/cleanup.jsonl"));
  for (std::string line; std::getline(lines, line);) log.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0]["phase"], "attempt");
  EXPECT_EQ(log[1]["result"], "moved to Trash");
  EXPECT_EQ(log[1]["trashPath"], (trash / "files/fixture-trash").string());
  EXPECT_TRUE(log[1].contains("trashIdentity"));
  EXPECT_EQ(log[3]["action"], "toolCommand");
  EXPECT_EQ(log[3]["trigger"], "cli");
  EXPECT_EQ(log[0]["planID"], log[3]["planID"]);
}

// A tool's output is shown as it comes. With standard output in a file, the
// fake tool prints a line and then looks for it there while it still runs.
TEST(DiskClean, AToolsOutputIsShownLineByLine) {
  CleanHome fixture;
  const auto out = fixture.home.root() / "out.txt";
  const auto seen = fixture.home.root() / "seen.txt";
  const auto tool =
      fixture.home.dir().write("bin/fake-clean",
                               "#!/bin/sh\necho first line\ni=0\nwhile [ $i -lt 50 ]; do\n"
                               "  if /bin/grep -q 'first line' '" +
                                   out.string() + "'; then echo yes > '" + seen.string() +
                                   "'; exit 0; fi\n"
                                   "  /bin/sleep 0.1; i=$((i+1))\ndone\necho no > '" +
                                   seen.string() + "'\n");
  fs::permissions(tool, fs::perms::owner_all);
  fixture.home.environment() =
      fixture.home.environment().with("PATH", (fixture.home.root() / "bin").string() + ":" +
                                                  *fixture.home.environment().get("PATH"));
  fixture.scan();
  const auto result = testing::runProcess(
      {"/bin/sh", "-c", "exec \"$0\" disk clean '~/.cache/fixture-tool#fixture-tool' > \"$1\"",
       GLIMMET_BINARY, out.string()},
      fixture.home.environment(), {.input = "yes\n", .onTerminal = true});
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(fixture.home.dir().read("seen.txt"), "yes\n");
  EXPECT_THAT(fixture.home.dir().read("out.txt"), HasSubstr("  first line\nTool cache: done\n"));
}

// A clean command that asks its own question runs, after the typed yes, with
// the user's terminal as its standard input, and its question reaches them.
TEST(DiskClean, AToolThatAsksRunsAtTheUsersTerminal) {
  CleanHome fixture;
  auto rules = nlohmann::json::parse(kRules);
  rules["rules"][1]["clean"]["terminalOnly"] = true;
  fixture.home.dir().write("rules.json", rules.dump());
  const auto tool = fixture.home.dir().write(
      "bin/fake-clean",
      "#!/bin/sh\nprintf 'Really? [y/N] '\nread answer\necho \"answer=$answer\"\n"
      "[ -t 0 ] && echo 'input is a terminal'\n");
  fs::permissions(tool, fs::perms::owner_all);
  fixture.home.environment() =
      fixture.home.environment().with("PATH", (fixture.home.root() / "bin").string() + ":" +
                                                  *fixture.home.environment().get("PATH"));
  fixture.scan();
  const std::vector<std::string> clean = {"disk", "clean", "~/.cache/fixture-tool#fixture-tool"};
  const auto dryRun = fixture.home.glimmet({clean[0], clean[1], clean[2], "--dry-run"});
  EXPECT_THAT(dryRun.out, HasSubstr("Would run: "));
  const auto result = fixture.home.glimmet(clean, {.input = "yes\ny\n", .onTerminal = true});
  const auto out = withoutCarriageReturns(result.out);
  ASSERT_EQ(result.status, 0) << out;
  EXPECT_THAT(out, HasSubstr("[asks you to confirm]"));
  EXPECT_THAT(out, HasSubstr("Really? [y/N] answer=y\ninput is a terminal\nTool cache: done\n"));
}

TEST(DiskClean, NothingHappensWithoutATypedYes) {
  CleanHome fixture;
  fixture.scan();
  const std::vector<std::string> clean = {"disk", "clean", "~/.cache/fixture-trash#fixture-trash"};
  auto result = fixture.home.glimmet(clean, {.input = "yes\n"});
  EXPECT_EQ(result.status, 64);
  EXPECT_THAT(result.out,
              HasSubstr("glimmet disk clean asks you to confirm, so it needs a terminal.\n"));

  result = fixture.home.glimmet(clean, {.input = "y\n", .onTerminal = true});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(withoutCarriageReturns(result.out), HasSubstr("Nothing done.\n"));
  EXPECT_TRUE(std::filesystem::exists(fixture.home.home() / ".cache/fixture-trash/blob"));
  EXPECT_FALSE(std::filesystem::exists(fixture.home.sharedFolder() / "cleanup.jsonl"));
}

TEST(DiskClean, AStepThatCantBeLoggedDoesntRun) {
  CleanHome fixture;
  fixture.scan();
  std::filesystem::create_directories(fixture.home.sharedFolder() / "cleanup.jsonl.lock");
  const auto result =
      fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-trash#fixture-trash"},
                           {.input = "yes\n", .onTerminal = true});
  EXPECT_EQ(result.status, 0);
  EXPECT_THAT(
      withoutCarriageReturns(result.out),
      HasSubstr("Fixture cache: skipped: couldn't write the cleanup log, so nothing moved"));
  EXPECT_TRUE(std::filesystem::exists(fixture.home.home() / ".cache/fixture-trash/blob"));
}

// An interrupt while a tool's command runs (the tool itself sends it, as the
// user's Ctrl-C would reach glimmet) stops that command with its group, starts
// no further step, and ends with status 2; the item after it stays put.
TEST(DiskClean, AnInterruptStopsTheRunningCommandAndStartsNothingMore) {
  CleanHome fixture;
  const auto pidFile = fixture.home.root() / "tool.pid";
  const auto tool =
      fixture.home.dir().write("bin/fake-clean", "#!/bin/sh\necho $$ > '" + pidFile.string() +
                                                     "'\nkill -INT $PPID\nexec /bin/sleep 30\n");
  fs::permissions(tool, fs::perms::owner_all);
  fixture.home.environment() =
      fixture.home.environment().with("PATH", (fixture.home.root() / "bin").string() + ":" +
                                                  *fixture.home.environment().get("PATH"));
  fixture.scan();
  const auto started = std::chrono::steady_clock::now();
  const auto result = fixture.home.glimmet({"disk", "clean", "~/.cache/fixture-tool#fixture-tool",
                                            "~/.cache/fixture-trash#fixture-trash"},
                                           {.input = "yes\n", .onTerminal = true});
  const auto out = withoutCarriageReturns(result.out);
  EXPECT_EQ(result.status, 2) << out;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  // At the terminal the step's own line says it was stopped, before the summary.
  EXPECT_THAT(out, ::testing::ContainsRegex("Tool cache: stopped\n\\[1/2\\] Stopped after [0-9.]+ "
                                            "s\\.\nStopped\\. The rest was left as it was\\.\n"));
  EXPECT_THAT(out, ::testing::Not(HasSubstr("Fixture cache:")));
  EXPECT_TRUE(fs::exists(fixture.home.home() / ".cache/fixture-trash/blob"));
  const auto log = fixture.home.dir().read("home/.local/share/Glimmet/cleanup.jsonl");
  EXPECT_THAT(log, HasSubstr("\"result\":\"stopped\""));
  EXPECT_THAT(log, ::testing::Not(HasSubstr("fixture-trash")));
  // The command (its sleep, by then) went with its group.
  EXPECT_FALSE(testing::alive(std::stoi(fixture.home.dir().read("tool.pid"))));
}

}  // namespace
}  // namespace glimmet
