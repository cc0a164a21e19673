// glimmet settings against a real settings.json in a private shared folder:
// each type set and read back, bad keys and values refused before the file is
// touched, the keys glimmet doesn't know kept, a corrupt file left alone until
// the person says otherwise, and concurrent edits that all land.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/isolated_home.h"
#include "support/schema.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kFile = "home/.local/share/Glimmet/settings.json";
constexpr const char* kLabel = "~/.local/share/Glimmet/settings.json";

class Settings : public ::testing::Test {
 protected:
  testing::RunResult settings(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), "settings");
    return home_.glimmet(arguments);
  }
  std::string bytes() const { return home_.dir().read(kFile); }
  json file() const { return json::parse(bytes()); }
  void write(const std::string& text) const { home_.dir().write(kFile, text); }
  bool exists(const std::string& name) const {
    return fs::exists(fs::symlink_status(home_.sharedFolder() / name));
  }
  // The listing's line for `key`.
  std::string listed(const std::string& key) const {
    const auto out = settings({}).out;
    const auto start = out.find(key + " ");
    if (start == std::string::npos) return "";
    return out.substr(start, out.find('\n', start) - start);
  }

  testing::IsolatedHome home_;
};

// Each type, nested keys included: set writes the typed JSON value at its
// path, get prints it as set takes it, the listing marks it as changed, and
// unset brings the default back.
TEST_F(Settings, EveryTypeRoundTrips) {
  struct Case {
    std::string key, text;
    json stored;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"mcp.enabled", "true", true, "true"},
      {"reaper.dryRunOverride", "false", false, "false"},
      {"reaper.minimumAge", "90s", 90.0, "90s"},
      {"agentNotify.idleAfter", "1.5h", 5400.0, "90m"},
      {"gracePeriod", "2.5", 2.5, "2.5s"},
      {"reaper.runawayCPUPercent", "87.5", 87.5, "87.5"},
      {"disk.maxWalkers", "2", 2, "2"},
      {"disk.excludePatterns", R"(["*.iso", "~/scratch dir", "a/\"b\""])",
       json::array({"*.iso", "~/scratch dir", "a/\"b\""}),
       R"(["*.iso","~/scratch dir","a/\"b\""])"},
  };
  for (const auto& c : cases) {
    const auto result = settings({"set", c.key, c.text});
    ASSERT_EQ(result.status, 0) << c.key << result.err;
    EXPECT_EQ(result.out, "Set " + c.key + " to " + c.shown + ".\n");
    json at = file();
    std::string path = c.key;
    for (auto dot = path.find('.'); dot != std::string::npos; dot = path.find('.')) {
      at = at[path.substr(0, dot)];
      path = path.substr(dot + 1);
    }
    EXPECT_EQ(at[path], c.stored) << c.key;
    EXPECT_EQ(settings({"get", c.key}).out, c.shown + "\n") << c.key;
    EXPECT_THAT(listed(c.key), HasSubstr(c.shown + "  [set; default ")) << c.key;
  }
  const auto effective = settings({"--json"});
  EXPECT_EQ(testing::schemaProblems("settings", effective.out), "");
  const auto record = json::parse(effective.out);
  EXPECT_EQ(record["reaper"]["minimumAge"], 90);
  EXPECT_EQ(record["disk"]["maxWalkers"], 2);
  EXPECT_EQ(record["reaper"]["onSchedule"], true) << "defaults fill the rest";

  const auto unset = settings({"unset", "reaper.minimumAge"});
  EXPECT_EQ(unset.out, "Unset reaper.minimumAge: it's back to its default, 6h.\n");
  EXPECT_FALSE(file()["reaper"].contains("minimumAge"));
  EXPECT_EQ(listed("reaper.minimumAge"), "reaper.minimumAge                6h  [default]");
  EXPECT_EQ(settings({"unset", "reaper.minimumAge"}).out,
            "reaper.minimumAge isn't set: it's at its default, 6h.\n");
}

// What settings writes is what every other command reads.
TEST_F(Settings, ACommandRunsOnWhatWasSet) {
  const std::string call =
      R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"ports"}})"
      "\n";
  EXPECT_THAT(home_.glimmet({"mcp"}, {.input = call}).out, HasSubstr("MCP is off"));
  ASSERT_EQ(settings({"set", "mcp.enabled", "true"}).status, 0);
  EXPECT_THAT(home_.glimmet({"mcp"}, {.input = call}).out, Not(HasSubstr("MCP is off")));
}

TEST_F(Settings, BadKeysAndValuesAreUsageErrorsThatLeaveTheFileAlone) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"reaper.nope", "1", "There's no setting named 'reaper.nope'."},
      {"reaper", "true", "'reaper' holds several settings; name one: reaper.enabled, "},
      {"mcp.enabled", "yes", "'yes' isn't a value for mcp.enabled: it takes true or false."},
      {"reaper.minimumAge", "soon", "it takes a duration from 0s to 365d, like 6h, 30m, 90s"},
      {"gracePeriod", "30s",
       "'30s' isn't a value for gracePeriod: it takes a duration from 1s "
       "to 15s"},
      {"reaper.interval", "-5", "reaper.interval: it takes a duration from 1m to 7d"},
      {"disk.maxWalkers", "9", "disk.maxWalkers: it takes a whole number from 1 to 8."},
      {"disk.staleProjectDays", "2.5", "a whole number from 7 to 3650"},
      {"disk.extraRoots", R"(["/mnt", 3])", "disk.extraRoots: it takes a JSON list of text"},
      {"reaper.runawayCPUPercent", "nan", "reaper.runawayCPUPercent: it takes a number"},
  };
  // Without a folder nothing is created; with a file it stays byte for byte.
  for (const bool withFile : {false, true}) {
    const std::string before = "{\"gracePeriod\":5,  \"unknown\": [1,2]}";
    if (withFile) write(before);
    for (const auto& [key, value, message] : cases) {
      const auto result = settings({"set", key, value});
      EXPECT_EQ(result.status, 64) << key;
      EXPECT_EQ(result.out, "") << key;
      EXPECT_THAT(result.err, HasSubstr(message)) << key;
      EXPECT_THAT(result.err, HasSubstr("Usage: glimmet settings set")) << key;
      if (withFile)
        EXPECT_EQ(bytes(), before) << key;
      else
        EXPECT_FALSE(fs::exists(home_.sharedFolder())) << key;
    }
    EXPECT_EQ(settings({"unset", "nope"}).status, 64);
    EXPECT_EQ(settings({"get", "nope"}).status, 64);
    EXPECT_FALSE(exists("settings.json.lock")) << "refused before the lock is taken";
  }
}

TEST_F(Settings, KeysGlimmetDoesntKnowAndTheApplicationsRecordsAreKept) {
  write(R"({"hogs": {"cpu": 80, "list": [1, {"a": null}]}, "futureKey": "x/y",
            "reaper": {"enabled": true, "laterField": 1.0}, "keepAwake": {}})");
  ASSERT_EQ(settings({"set", "reaper.minimumAge", "1h"}).status, 0);
  ASSERT_EQ(settings({"unset", "reaper.enabled"}).status, 0);
  EXPECT_EQ(file(), json::parse(R"({"hogs": {"cpu": 80, "list": [1, {"a": null}]},
      "futureKey": "x/y", "reaper": {"minimumAge": 3600.0, "laterField": 1.0}, "keepAwake": {}})"));
  EXPECT_THAT(bytes(), HasSubstr(R"("x\/y")")) << "written as the application writes it";
  EXPECT_EQ(fs::status(home_.sharedFolder() / "settings.json").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// A file the record can't read counts as every default, so writing a key into
// it would quietly change every other setting; it is left as it is, unless the
// person asks for it to be replaced, and then it is kept beside the new one.
TEST_F(Settings, ACorruptFileIsReplacedOnlyWithReplaceCorrupt) {
  struct Case {
    std::string text, problem, remedy;
    json after;
  };
  const json enabled{{"mcp", {{"enabled", true}}}};
  const std::vector<Case> cases = {
      {"{\"gracePeriod\": 5,", "isn't valid JSON", "start it anew", enabled},
      {"[1, 2]", "isn't a JSON object", "start it anew", enabled},
      {R"({"gracePeriod": 5, "ghostMinimumAge": "soon"})",
       "has values glimmet can't read (ghostMinimumAge)", "drop those values",
       json{{"gracePeriod", 5}, {"mcp", {{"enabled", true}}}}},
  };
  for (const auto& [text, problem, remedy, after] : cases) {
    fs::remove_all(home_.sharedFolder());
    write(text);
    EXPECT_THAT(settings({}).out, HasSubstr(std::string("Every key shows its default: ") + kLabel +
                                            " " + problem + "."));
    const auto refused = settings({"set", "mcp.enabled", "true"});
    EXPECT_EQ(refused.status, 3) << text;
    EXPECT_EQ(refused.out,
              std::string("Your ") + kLabel + " " + problem +
                  ", so glimmet won't change it. Fix it, or add --replace-corrupt to " + remedy +
                  " (the old file is kept as settings.json.unreadable).\n");
    EXPECT_EQ(settings({"unset", "gracePeriod"}).status, 3);
    EXPECT_EQ(bytes(), text);

    const auto replaced = settings({"set", "mcp.enabled", "true", "--replace-corrupt"});
    EXPECT_EQ(replaced.status, 0) << text;
    EXPECT_THAT(replaced.out, HasSubstr("the old file is now settings.json.unreadable.\n"
                                        "Set mcp.enabled to true.\n"));
    EXPECT_EQ(file(), after) << text;
    EXPECT_EQ(home_.dir().read(std::string(kFile) + ".unreadable"), text);
  }

  // A link where the file belongs is never written through.
  fs::remove_all(home_.sharedFolder());
  home_.dir().write("home/elsewhere.json", "{}");
  fs::create_directories(home_.sharedFolder());
  fs::create_symlink(home_.home() / "elsewhere.json", home_.sharedFolder() / "settings.json");
  EXPECT_EQ(settings({"set", "mcp.enabled", "true"}).status, 3);
  EXPECT_EQ(settings({"set", "mcp.enabled", "true", "--replace-corrupt"}).status, 0);
  EXPECT_EQ(home_.dir().read("home/elsewhere.json"), "{}");
  EXPECT_TRUE(fs::is_symlink(home_.sharedFolder() / "settings.json.unreadable"));
  EXPECT_EQ(file(), json::parse(R"({"mcp": {"enabled": true}})"));
}

// Two people (or scripts) setting different keys at the same moment: each
// read-modify-write holds the lock, so neither loses the other's key. A few
// megabytes of keys glimmet doesn't know make each edit take long enough that
// the two always overlap.
TEST_F(Settings, ConcurrentSetsOfDifferentKeysBothLand) {
  constexpr int kRounds = 8;
  const json bulk(std::vector<std::string>(40'000, std::string(40, 'x')));
  for (int round = 0; round < kRounds; ++round) {
    write(json{{"round", round}, {"bulk", bulk}}.dump());
    std::atomic<int> ready = 0;
    const auto setter = [&](std::string key, std::string value) {
      return std::thread([this, &ready, key, value] {
        ++ready;
        while (ready < 2) std::this_thread::yield();
        EXPECT_EQ(settings({"set", key, value}).status, 0) << key;
      });
    };
    const auto days = std::to_string(7 + round);
    const auto walkers = std::to_string(1 + round % 8);
    auto first = setter("disk.staleProjectDays", days);
    auto second = setter("disk.maxWalkers", walkers);
    first.join();
    second.join();
    json saved = file();  // not const: a missing key reads as null
    ASSERT_EQ(saved["disk"]["staleProjectDays"], 7 + round) << "round " << round;
    ASSERT_EQ(saved["disk"]["maxWalkers"], 1 + round % 8) << "round " << round;
    ASSERT_EQ(saved["round"], round);
  }
}

}  // namespace
}  // namespace glimmet
