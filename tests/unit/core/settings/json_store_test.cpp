#include "core/settings/json_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/settings/locked_append.h"
#include "platform/system_error.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

using nlohmann::json;
constexpr std::chrono::milliseconds kWait{10000};

TEST(JSONStore, MissingAndCorruptFilesLoadAsNothing) {
  testing::TempDir dir;
  JSONStore store(dir.path());
  EXPECT_FALSE(store.loadJson("missing.json"));
  dir.write("corrupt.json", "{not json");
  EXPECT_FALSE(store.loadJson("corrupt.json"));
  std::filesystem::create_directory(dir / "folder.json");
  EXPECT_FALSE(store.loadJson("folder.json"));
}

TEST(JSONStore, FilesNestedDeeperThan64ReadAsCorrupt) {
  testing::TempDir dir;
  JSONStore store(dir.path());
  const auto nested = [](int depth) {
    return std::string(static_cast<size_t>(depth), '[') +
           std::string(static_cast<size_t>(depth), ']');
  };
  dir.write("ok.json", nested(64));
  dir.write("deep.json", nested(65));
  dir.write("hostile.json", nested(100'000));
  dir.write("strings.json", "[\"" + std::string(1000, '[') + "\"]");
  EXPECT_TRUE(store.loadJson("ok.json"));
  EXPECT_FALSE(store.loadJson("deep.json"));
  EXPECT_FALSE(store.loadJson("hostile.json"));
  EXPECT_TRUE(store.loadJson("strings.json")) << "brackets inside strings don't nest";
}

TEST(JSONStore, SaveCreatesThePrivateFolderAndWritesSortedKeysWithEscapedSlashes) {
  testing::TempDir dir;
  const auto folder = dir / "share" / "Glimmet";
  JSONStore store(folder);
  store.saveJson(
      json{{"patterns", {"*next dev*"}}, {"disabledDefaults", json::array()}, {"path", "/a/b"}},
      "protected.json");
  EXPECT_EQ(dir.read("share/Glimmet/protected.json"),
            "{\n  \"disabledDefaults\" : [],\n  \"path\" : \"\\/a\\/b\",\n  \"patterns\" : [\n    "
            "\"*next dev*\"\n  ]\n}");
  struct stat info {};
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(store.loadJson("protected.json")->at("path"), "/a/b");
  // No temporary file is left beside the target.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(JSONStore, AFailedSaveLeavesThePreviousFileIntact) {
  testing::TempDir dir;
  JSONStore store(dir.path());
  store.saveJson(json{{"v", 1}}, "rules.json");
  // A value JSON can't carry fails before anything is written.
  EXPECT_THROW(store.saveJson(json{{"v", std::numeric_limits<double>::quiet_NaN()}}, "rules.json"),
               std::invalid_argument);
  // A folder in the target's place makes the rename fail; the temp file is removed.
  std::filesystem::create_directory(dir / "taken.json");
  dir.write("taken.json/keep", "x");
  EXPECT_THROW(store.saveJson(json{{"v", 2}}, "taken.json"), platform::SystemError);
  EXPECT_EQ(store.loadJson("rules.json")->at("v"), 1);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

TEST(LockedAppend, AppendsUnderAPrivateLockFile) {
  testing::TempDir dir;
  const auto folder = dir / "Glimmet";
  appendUnderLock(folder, "events.jsonl", "events.lock", "{\"a\":1}\n", kWait);
  appendUnderLock(folder, "events.jsonl", "events.lock", "{\"a\":2}\n", kWait);
  EXPECT_EQ(dir.read("Glimmet/events.jsonl"), "{\"a\":1}\n{\"a\":2}\n");
  struct stat info {};
  ASSERT_EQ(::stat((folder / "events.lock").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(LockedAppend, ConcurrentWritersNeverInterleave) {
  testing::TempDir dir;
  const std::string line = std::string(100000, 'x') + "\n";
  std::vector<pid_t> children;
  for (int child = 0; child < 4; ++child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (int i = 0; i < 10; ++i)
        appendUnderLock(dir.path(), "log.jsonl", "log.lock", line, kWait);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) ::waitpid(pid, nullptr, 0);
  const auto contents = dir.read("log.jsonl");
  ASSERT_EQ(contents.size(), line.size() * 40);
  for (size_t offset = 0; offset < contents.size(); offset += line.size())
    ASSERT_EQ(contents.compare(offset, line.size(), line), 0);
}

}  // namespace
}  // namespace glimmet
