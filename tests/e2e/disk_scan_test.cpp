// glimmet disk scan against fixture homes: the document against its schema,
// project activity, the text report, what a real scan saves, and missing rules.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/schema.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

void age(const std::filesystem::path& path, int days) {
  const auto when = std::chrono::system_clock::now() - std::chrono::hours(24 * days);
  const timespec time{std::chrono::system_clock::to_time_t(when), 0};
  const timespec times[2] = {time, time};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// ~/Dev/web (active, Next.js) and ~/Dev/old (untouched for 100 days), a pip cache,
// and a Pictures folder that is never walked.
std::filesystem::path fixture(const testing::IsolatedHome& home) {
  const auto& dir = home.dir();
  dir.write("fixture/Dev/web/.git/HEAD", "ref: refs/heads/main\n");
  dir.write("fixture/Dev/web/package.json", "{}");
  dir.write("fixture/Dev/web/node_modules/left-pad/index.js", "0123456789");
  dir.write("fixture/Dev/web/.next/cache/a.bin", std::string(20000, 'n'));
  dir.write("fixture/Dev/old/.git/HEAD", "ref: refs/heads/main\n");
  dir.write("fixture/Dev/old/package.json", "{}");
  const auto stale = dir.write("fixture/Dev/old/node_modules/x/index.js", "old");
  age(stale, 100);
  dir.write("fixture/.cache/pip/http/blob", std::string(5000, 'p'));
  dir.write("fixture/Pictures/cat.jpg", "meow");
  return home.root() / "fixture";
}

const nlohmann::json* itemWithID(const nlohmann::json& document, const std::string& id) {
  for (const auto& item : document["items"])
    if (item["id"] == id) return &item;
  return nullptr;
}

TEST(DiskScan, FixtureHomeDocumentMatchesItsSchemaAndSavesNothing) {
  testing::IsolatedHome home;
  // Cache tokens then follow the fixture home rather than the test's own cache.
  home.environment() = home.environment().without("XDG_CACHE_HOME");
  const auto root = fixture(home);
  const auto result = home.glimmet({"disk", "scan", "--home", root.string(), "--json"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(testing::schemaProblems("diskScan", result.out), "");
  const auto document = nlohmann::json::parse(result.out);
  EXPECT_FALSE(document["scan"].contains("docker"));  // not asked with --home

  const auto* modules = itemWithID(document, "~/Dev/web/node_modules#node-modules-active");
  ASSERT_NE(modules, nullptr) << result.out;  // 10 bytes still count with --home
  EXPECT_EQ((*modules)["project"], "~/Dev/web");
  EXPECT_EQ((*modules)["safety"], "review");
  EXPECT_EQ((*modules)["reasons"][0], "Project touched today");
  const auto* old = itemWithID(document, "~/Dev/old/node_modules#node-modules");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ((*old)["reasons"][0], "Untouched for 100 days");
  EXPECT_EQ((*old)["safety"], "safe");
  EXPECT_NE(itemWithID(document, "~/Dev/web/.next#next-build-active"), nullptr);
  const auto* pip = itemWithID(document, "~/.cache/pip#pip-cache");
  ASSERT_NE(pip, nullptr);
  EXPECT_EQ((*pip)["command"], "python3 -m pip cache purge");
  EXPECT_EQ(document["notScanned"][0],
            (nlohmann::json{{"path", "~/Pictures"}, {"reason", "personalMedia"}}));
  EXPECT_FALSE(std::filesystem::exists(home.sharedFolder()));
}

// Nothing guards Desktop, Documents or Downloads on Linux: they are walked by
// default, and --include-protected-folders is accepted and changes nothing.
TEST(DiskScan, PersonalPapersAreWalkedWithoutConsentOnLinux) {
  testing::IsolatedHome home;
  const auto root = fixture(home);
  for (const char* folder : {"Documents", "Desktop", "Downloads"}) {
    home.dir().write("fixture/" + std::string(folder) + "/site/.git/HEAD",
                     "ref: refs/heads/main\n");
    home.dir().write("fixture/" + std::string(folder) + "/site/package.json", "{}");
    home.dir().write("fixture/" + std::string(folder) + "/site/node_modules/a/index.js",
                     "0123456789");
  }
  const std::vector<std::string> scan = {"disk", "scan", "--home", root.string(), "--json"};
  auto withFlag = scan;
  withFlag.push_back("--include-protected-folders");
  for (const auto& command : {scan, withFlag}) {
    const auto result = home.glimmet(command);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["notScanned"].size(), 1u) << document["notScanned"];  // only ~/Pictures
    for (const char* folder : {"Documents", "Desktop", "Downloads"})
      EXPECT_NE(itemWithID(document,
                           "~/" + std::string(folder) + "/site/node_modules#node-modules-active"),
                nullptr)
          << folder;
  }
  const auto help = home.glimmet({"disk", "scan", "--help"});
  EXPECT_THAT(help.out, HasSubstr("Changes nothing here: Linux doesn't guard them"));
}

TEST(DiskScan, HomeMustBeAnExistingFolder) {
  testing::IsolatedHome home;
  home.dir().write("a-file", "x");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "--home needs a folder.\n"},
      {(home.root() / "nowhere").string(),
       "--home: there's no folder at " + (home.root() / "nowhere").string() + ".\n"},
      {(home.root() / "a-file").string(),
       "--home: " + (home.root() / "a-file").string() + " isn't a folder.\n"}};
  for (const auto& [given, message] : cases) {
    const auto result = home.glimmet({"disk", "scan", "--home", given});
    EXPECT_EQ(result.status, 64) << given;
    EXPECT_EQ(result.out, message);
  }
}

// The real Trash (wherever XDG_DATA_HOME points) is not part of a fixture home.
TEST(DiskScan, AFixtureHomeMeasuresOnlyItsOwnTrash) {
  testing::IsolatedHome home;
  const auto root = fixture(home);
  const auto data = home.root() / "data";
  home.dir().write("data/Trash/files/big/blob", std::string(300000, 'z'));
  home.environment() = home.environment().with("XDG_DATA_HOME", data.string());
  auto result = home.glimmet({"disk", "scan", "--home", root.string(), "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  auto document = nlohmann::json::parse(result.out);
  EXPECT_LT(document["scan"].value("trashBytes", 0), 300000) << document["scan"];

  home.dir().write("fixture/.local/share/Trash/files/old/blob", std::string(200000, 'y'));
  result = home.glimmet({"disk", "scan", "--home", root.string(), "--json"});
  document = nlohmann::json::parse(result.out);
  EXPECT_GE(document["scan"].value("trashBytes", 0), 200000) << document["scan"];
  EXPECT_LT(document["scan"].value("trashBytes", 0), 300000) << document["scan"];
}

// Debian desktops always run a python3 somewhere: it must not block every
// project's virtual environment, while one working in the project does.
TEST(DiskScan, APython3ElsewhereDoesntBlockAProjectsVenv) {
  testing::IsolatedHome home;
  const auto root = fixture(home);
  home.dir().write("fixture/Dev/api/.git/HEAD", "ref: refs/heads/main\n");
  home.dir().write("fixture/Dev/api/pyproject.toml", "[project]\n");
  home.dir().write("fixture/Dev/api/.venv/lib/site.py", "x = 1\n");
  const auto python = home.root() / "bin/python3";
  std::filesystem::create_directories(python.parent_path());
  std::filesystem::copy_file(testing::helperBinary(), python);
  ::chmod(python.c_str(), 0755);

  const auto venvItem = [&] {
    const auto result = home.glimmet({"disk", "scan", "--home", root.string(), "--json"});
    EXPECT_EQ(result.status, 0) << result.err;
    const auto document = nlohmann::json::parse(result.out);
    for (const auto& item : document["items"])
      if (item["path"] == "~/Dev/api/.venv") return item;
    return nlohmann::json();
  };
  auto elsewhere = testing::ChildProcess::spawn({python.string(), "sleep"}, {.cwd = home.root()});
  elsewhere.readReport();
  auto item = venvItem();
  ASSERT_FALSE(item.is_null());
  EXPECT_EQ(item["blocked"], nullptr) << item;

  auto inside = testing::ChildProcess::spawn({python.string(), "sleep"}, {.cwd = root / "Dev/api"});
  inside.readReport();
  item = venvItem();
  EXPECT_EQ(item["blocked"], "python3 is running in this project") << item;
}

// "Newest chat is N days old" belongs to chat folders, not to debug logs that
// sit beside them in the agent's folder.
TEST(DiskScan, OnlyChatFoldersSayHowOldTheirNewestChatIs) {
  testing::IsolatedHome home;
  home.environment() = home.environment().without("CLAUDE_CONFIG_DIR");
  const auto root = fixture(home);
  age(home.dir().write("fixture/.claude/projects/-home-me-web/1.jsonl", "{}"), 60);
  age(home.root() / "fixture/.claude/projects/-home-me-web", 60);
  age(home.dir().write("fixture/.claude/debug/log.txt", "debug"), 60);
  const auto result = home.glimmet({"disk", "scan", "--home", root.string(), "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  const auto document = nlohmann::json::parse(result.out);
  const auto* chats = itemWithID(document, "~/.claude/projects/-home-me-web#claude-chats");
  ASSERT_NE(chats, nullptr) << result.out;
  EXPECT_THAT((*chats)["reasons"].dump(), HasSubstr("Newest chat is 60 days old"));
  const auto* debug = itemWithID(document, "~/.claude/debug#claude-debug-logs");
  ASSERT_NE(debug, nullptr) << result.out;
  EXPECT_THAT((*debug)["reasons"].dump(), ::testing::Not(HasSubstr("Newest chat")));
}

TEST(DiskScan, TextReportGroupsBySafety) {
  testing::IsolatedHome home;
  const auto root = fixture(home);
  const auto result = home.glimmet({"disk", "scan", "--home", root.string()});
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_THAT(result.out, StartsWith("Free right now: "));
  EXPECT_THAT(result.out, HasSubstr("\nSafe to clear: about "));
  EXPECT_THAT(result.out, HasSubstr("\nReview first: about "));
  EXPECT_THAT(result.out, HasSubstr(" Stale node_modules: ~/Dev/old/node_modules\n"));
  // The active project's node_modules is not called stale.
  EXPECT_THAT(result.out, HasSubstr(" node_modules: ~/Dev/web/node_modules\n"));
  EXPECT_THAT(result.out, ::testing::Not(HasSubstr("Stale node_modules: ~/Dev/web")));
  EXPECT_THAT(result.out, HasSubstr("\n\nNot scanned: 1 folder\n"));
  EXPECT_EQ(result.err, "");
}

// A project folder named to forge report lines: a line feed and a terminal
// escape in one name, invalid UTF-8 in another.
TEST(DiskScan, TextReportNeverPrintsRawControlsOrInvalidUtf8) {
  testing::IsolatedHome home;
  const auto root = fixture(home);
  const auto forged = "Dev/x\n  Safe to clear: about 99 GB\x1B[2J";
  home.dir().write("fixture/" + std::string(forged) + "/package.json", "{}");
  home.dir().write("fixture/" + std::string(forged) + "/node_modules/a/index.js", "0123456789");
  home.dir().write("fixture/Dev/bad\xFF\xFEname/package.json", "{}");
  home.dir().write("fixture/Dev/bad\xFF\xFEname/node_modules/a/index.js", "0123456789");
  const auto result = home.glimmet({"disk", "scan", "--home", root.string()});
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_THAT(result.out, HasSubstr("~/Dev/x?  Safe to clear: about 99 GB?[2J/node_modules"));
  EXPECT_THAT(result.out, HasSubstr("~/Dev/bad??name/node_modules"));
  EXPECT_EQ(result.out.find('\x1B'), std::string::npos);
  EXPECT_EQ(result.out.find("\xFF"), std::string::npos);
  EXPECT_EQ(result.out.find("\n  Safe to clear: about 99 GB"), std::string::npos);
}

TEST(DiskScan, ARealScanKeepsTheCacheAndStartsTheHistory) {
  testing::IsolatedHome home;
  const auto result = home.glimmet({"disk", "scan", "--json"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(testing::schemaProblems("diskScan", result.out), "");
  EXPECT_TRUE(nlohmann::json::parse(result.out)["scan"].contains("docker"));
  const auto history = home.dir().read("home/.local/share/Glimmet/disk-history.csv");
  EXPECT_THAT(history,
              StartsWith("scan_id,time,rule_id,category,safety,path,bytes,unique_bytes,items\n"));
  EXPECT_THAT(history, HasSubstr(",_total,,,,"));
  EXPECT_TRUE(std::filesystem::exists(home.sharedFolder() / "disk-cache.json"));
  // A second scan appends without a second header.
  ASSERT_EQ(home.glimmet({"disk", "scan"}).status, 0);
  const auto again = home.dir().read("home/.local/share/Glimmet/disk-history.csv");
  EXPECT_EQ(again.find("scan_id", 1), std::string::npos);
}

TEST(DiskScan, MissingOrBrokenRulesStopTheScan) {
  testing::IsolatedHome home;
  home.dir().write("broken.json", R"({"version": 1, "rules": [{"id": "x"}]})");
  home.environment() =
      home.environment().with("GLIMMET_LEFTOVERS", (home.root() / "broken.json").string());
  const auto result = home.glimmet({"disk", "scan"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out,
            "Couldn't find Glimmet's leftover rules. Glimmet looks for leftovers.json in "
            "share/glimmet beside the folder of its binary; set GLIMMET_LEFTOVERS to use another "
            "file.\n");
}

}  // namespace
}  // namespace glimmet
