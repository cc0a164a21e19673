// The rule file: strict decoding, validation with its exact reasons, the lookup
// order, and the effective safety of unverified rules.
#include "core/disk/leftover_rules.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

Environment vars(std::initializer_list<std::pair<std::string, std::string>> pairs) {
  Environment environment;
  for (const auto& [name, value] : pairs) environment = environment.with(name, value);
  return environment;
}

nlohmann::json baseRule(std::string id = "next-build") {
  return {{"id", id},
          {"label", "Next.js build output"},
          {"tool", "Next.js"},
          {"category", "buildOutput"},
          {"safety", "safe"},
          {"match", "project"},
          {"names", {".next"}},
          {"clean", {{"kind", "trash"}}},
          {"ifRemoved", "Rebuilt on the next start."},
          {"verified", true}};
}

std::string file(std::vector<nlohmann::json> rules) {
  return nlohmann::json{{"version", 3}, {"rules", rules}}.dump();
}

std::string failure(std::vector<nlohmann::json> rules) {
  try {
    LeftoverRuleSet::load(file(std::move(rules)));
  } catch (const RuleError& error) {
    return error.ruleID() + ": " + error.reason();
  } catch (const RuleFileError& error) {
    return std::string("undecodable: ") + error.what();
  }
  return "valid";
}

TEST(LeftoverRules, DecodesRulesInOrderAndFindsThemByEitherID) {
  auto active = baseRule("node-modules");
  active["activeID"] = "node-modules-active";
  active["activeSafety"] = "review";
  active["unknownKey"] = {1, 2};
  const auto set = LeftoverRuleSet::load(file({baseRule(), active}));
  EXPECT_EQ(set.version, 3);
  ASSERT_EQ(set.rules.size(), 2u);
  EXPECT_EQ(set.rules[1].activeSafety, DiskSafety::review);
  EXPECT_EQ(set.rule("node-modules-active"), &set.rules[1]);
  EXPECT_EQ(set.rule("next-build"), &set.rules[0]);
  EXPECT_EQ(set.rule("missing"), nullptr);
}

TEST(LeftoverRules, RejectsTheWholeFileForAnyMissingOrMistypedKey) {
  for (const char* key :
       {"id", "label", "tool", "category", "safety", "match", "clean", "ifRemoved", "verified"}) {
    auto rule = baseRule();
    rule.erase(key);
    EXPECT_EQ(failure({baseRule("other"), rule}).substr(0, 12), "undecodable:") << key;
  }
  auto badCategory = baseRule();
  badCategory["category"] = "junk";
  auto badDepth = baseRule();
  badDepth["childDepth"] = "2";
  auto badKind = baseRule();
  badKind["clean"] = {{"kind", "shred"}};
  for (const auto& rule : {badCategory, badDepth, badKind})
    EXPECT_EQ(failure({rule}).substr(0, 12), "undecodable:");
  EXPECT_THROW(LeftoverRuleSet::load("{\"version\": 1, \"rules\": [}"), RuleFileError);
  EXPECT_THROW(LeftoverRuleSet::load("[]"), RuleFileError);
}

TEST(LeftoverRules, ValidationNamesTheFirstFailingRuleAndItsReason) {
  const auto withClean = [](nlohmann::json clean, std::string safety = "safe") {
    auto rule = baseRule("r");
    rule["clean"] = std::move(clean);
    rule["safety"] = std::move(safety);
    return rule;
  };
  EXPECT_EQ(failure({baseRule(), baseRule()}), "next-build: duplicate id");
  auto lookup = baseRule("r");
  lookup["resolveWith"] = "brew-prefix";
  EXPECT_EQ(failure({lookup}), "r: unknown lookup");
  EXPECT_EQ(failure({withClean(
                {{"kind", "toolCommand"}, {"argv", {"docker", "system", "prune", "-f"}}})}),
            "r: banned argument -f");
  EXPECT_EQ(failure({withClean({{"kind", "toolCommand"}, {"argv", {"rm", "-rf", "x"}}})}),
            "r: banned program rm");
  EXPECT_EQ(failure({withClean({{"kind", "toolCommand"},
                                {"argv", {"brew", "cleanup"}},
                                {"stopFirst", {"sudo", "launchctl"}}})}),
            "r: banned program sudo");
  // Comparison is exact: "-F" and "rm2" are not banned.
  EXPECT_EQ(failure({withClean({{"kind", "toolCommand"}, {"argv", {"rm2", "-F"}}})}), "valid");
  EXPECT_EQ(failure({withClean({{"kind", "toolCommand"}})}), "r: empty argv");
  EXPECT_EQ(failure({withClean({{"kind", "toolCommand"}, {"argv", nlohmann::json::array()}})}),
            "r: empty argv");
  EXPECT_EQ(failure({withClean({{"kind", "copyOnly"}, {"argv", {"ollama", "rm"}}}, "reportOnly")}),
            "r: report-only with an action");
  EXPECT_EQ(failure({withClean({{"kind", "none"}}, "reportOnly")}), "valid");

  auto docker = baseRule("d");
  docker["match"] = "docker";
  EXPECT_EQ(failure({docker}), "d: no docker kind");
  auto names = baseRule("p");
  names["names"] = nlohmann::json::array();
  EXPECT_EQ(failure({names}), "p: no names");
  names["namePrefixes"] = {"venv"};
  EXPECT_EQ(failure({names}), "valid");
  for (const char* match : {"path", "children"}) {
    auto rule = baseRule("c");
    rule["match"] = match;
    EXPECT_EQ(failure({rule}), "c: no paths");
  }
  auto worktree = baseRule("git-worktree");
  worktree["match"] = "worktree";
  EXPECT_EQ(failure({worktree}), "valid");
}

// What a user reads for a rule that fails its checks, or "valid".
std::string message(nlohmann::json rule) {
  try {
    LeftoverRuleSet::load(file({baseRule("fine"), std::move(rule)}));
  } catch (const RuleError& error) {
    return error.reason() + " | " + error.userMessage("leftovers.json");
  }
  return "valid";
}

nlohmann::json toolRule(std::vector<std::string> argv) {
  auto rule = baseRule("r");
  rule["clean"] = {{"kind", "toolCommand"}, {"argv", std::move(argv)}};
  return rule;
}

TEST(LeftoverRules, CleanCommandsNeverRunAShellADeleterOrAProgramByPath) {
  const std::string prefix = "Rule \"r\" in leftovers.json is not valid: ";
  for (const std::vector<std::string>& argv :
       std::vector<std::vector<std::string>>{{"sh", "-c", "rm -rf ~"},
                                             {"dash"},
                                             {"bash", "-c", "x"},
                                             {"fish"},
                                             {"tcsh"},
                                             {"busybox", "rm", "{path}"},
                                             {"/usr/bin/zsh", "-c", "x"}}) {
    const auto name = std::filesystem::path(argv.front()).filename().string();
    EXPECT_EQ(message(toolRule(argv)), "banned program " + argv.front() + " | " + prefix +
                                           "its clean command runs a shell (" + name + ").");
  }
  EXPECT_EQ(message(toolRule({"/bin/rm", "-r", "{path}"})),
            "banned program /bin/rm | " + prefix +
                "its clean command runs rm, which changes files itself.");
  EXPECT_EQ(
      message(toolRule({"env", "sh", "-c", "x"})),
      "banned program env | " + prefix + "its clean command runs env, which runs other commands.");
  EXPECT_EQ(message(toolRule({"xargs", "rm"})).substr(0, 20), "banned program xargs");
  EXPECT_EQ(message(toolRule({"git", "gc"})).substr(0, 18), "banned program git");
  EXPECT_EQ(message(toolRule({"/usr/bin/pnpm", "store", "prune"})),
            "program by path /usr/bin/pnpm | " + prefix +
                "its clean command names its program by path (/usr/bin/pnpm); programs are "
                "named and found on your PATH.");
  EXPECT_EQ(message(toolRule({"./clean", "{path}"})).substr(0, 15), "program by path");
  EXPECT_EQ(message(toolRule({"{name}", "clean"})).substr(0, 23), "program by placeholder ");
  EXPECT_EQ(
      message(toolRule({"python3", "-c", "import shutil"})),
      "banned argument -c | " + prefix + "its clean command runs code given inline (python3 -c).");
  EXPECT_EQ(message(toolRule({"node", "--eval", "x"})).substr(0, 22), "banned argument --eval");
  // An interpreter running one of its own modules is a tool's own command.
  EXPECT_EQ(message(toolRule({"python3.11", "-m", "pip", "cache", "purge"})), "valid");
  EXPECT_EQ(message(toolRule({"pnpm", "store", "prune"})), "valid");

  auto stopper = baseRule("r");
  stopper["clean"] = {{"kind", "trash"}, {"stopFirst", {"sudo", "systemctl", "stop", "ollama"}}};
  EXPECT_EQ(message(stopper), "banned program sudo | " + prefix +
                                  "its stop command runs sudo, which runs commands as another "
                                  "user.");
}

TEST(LeftoverRules, PathPatternsAndNamesStayWhereTheyPoint) {
  const std::string prefix = "Rule \"r\" in leftovers.json is not valid: ";
  const auto withPaths = [](nlohmann::json paths) {
    auto rule = baseRule("r");
    rule["match"] = "path";
    rule["paths"] = std::move(paths);
    return rule;
  };
  EXPECT_EQ(message(withPaths({"~/.cache/x", "~/.cache/../.ssh"})),
            "path with .. | " + prefix +
                "its path \"~/.cache/../.ssh\" climbs out of a folder "
                "with ...");
  EXPECT_EQ(message(withPaths({"{XDG_CACHE_HOME}/.."})).substr(0, 12), "path with ..");
  EXPECT_EQ(message(withPaths({".cache/pip"})).substr(0, 13), "relative path");
  // ".." only as a whole component: a name with dots in it is a name.
  EXPECT_EQ(message(withPaths({"~/.cache/..hidden", "/opt/x..y"})), "valid");

  auto roots = withPaths({"~/.gemini/tmp"});
  roots["agentRoots"] = {"~/.gemini/../.ssh"};
  EXPECT_EQ(message(roots).substr(0, 12), "path with ..");
  auto names = baseRule("r");
  names["names"] = {"../.ssh"};
  EXPECT_EQ(message(names), "not a folder name ../.ssh | " + prefix +
                                "\"../.ssh\" isn't one plain file or folder name.");
  names["names"] = {".."};
  EXPECT_EQ(message(names).substr(0, 17), "not a folder name");
}

TEST(LeftoverRules, AnUnverifiedRuleIsNeverSaferThanReview) {
  LeftoverRule rule;
  rule.verified = false;
  rule.safety = DiskSafety::safe;
  EXPECT_EQ(rule.effectiveSafety(), DiskSafety::review);
  rule.safety = DiskSafety::reportOnly;
  EXPECT_EQ(rule.effectiveSafety(), DiskSafety::reportOnly);
  rule.verified = true;
  rule.safety = DiskSafety::safe;
  EXPECT_EQ(rule.effectiveSafety(), DiskSafety::safe);
  EXPECT_EQ(stricter(DiskSafety::review, DiskSafety::safe), DiskSafety::review);
}

TEST(LeftoverRules, LookupGoesOnToTheShippedFileWhenTheOverrideIsMissing) {
  testing::TempDir dir;
  const auto shipped = dir.write("prefix/share/glimmet/leftovers.json", file({baseRule()}));
  const auto executable = dir.write("prefix/bin/glimmet", "");
  const Environment missing({{"GLIMMET_LEFTOVERS", (dir / "nowhere.json").string()}});
  EXPECT_TRUE(std::filesystem::equivalent(LeftoverRuleSet::locate(missing, executable), shipped));
  const auto override = dir.write("mine.json", file({baseRule("mine")}));
  const Environment present({{"GLIMMET_LEFTOVERS", override.string()}});
  EXPECT_EQ(LeftoverRuleSet::find(present, executable).rules.at(0).id, "mine");
  EXPECT_THROW(LeftoverRuleSet::locate(Environment(), dir / "elsewhere/bin/glimmet"),
               RuleFileError);
  // The first file that exists is the one used, even when it doesn't load.
  const auto broken = dir.write("broken.json", "{");
  EXPECT_THROW(LeftoverRuleSet::find(vars({{"GLIMMET_LEFTOVERS", broken.string()}}), executable),
               RuleFileError);
}

}  // namespace
}  // namespace glimmet
