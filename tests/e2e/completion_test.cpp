// Completion scripts generated from the command tree, exercised in real shells.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;

// What bash offers for the words typed so far (the last one being completed).
std::string bashOffers(testing::IsolatedHome& home, const std::string& script,
                       const std::string& words) {
  const auto path = home.dir().write("glimmet.bash", script);
  const std::string program =
      "source '" + path.string() + "'; COMP_WORDS=(" + words +
      "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _glimmet; echo \"${COMPREPLY[*]}\"";
  auto result = testing::runProcess({"/bin/bash", "-c", program}, home.environment());
  EXPECT_EQ(result.err, "");
  return result.out;
}

TEST(Completion, BashCompletesCommandsOptionsAndValues) {
  testing::IsolatedHome home;
  const auto generated = home.glimmet({"--generate-completion-script", "bash"});
  ASSERT_EQ(generated.status, 0);
  const auto& script = generated.out;
  EXPECT_EQ(bashOffers(home, script, "glimmet ''"),
            "ls ghosts kill reap protect unprotect disk apps status ports agents stop ui mcp "
            "notify companion requests settings hooks version\n");
  EXPECT_EQ(bashOffers(home, script, "glimmet di"), "disk\n");
  EXPECT_EQ(bashOffers(home, script, "glimmet disk ''"), "scan clean\n");
  EXPECT_EQ(bashOffers(home, script, "glimmet disk scan --"),
            "--help --json --home --include-protected-folders\n");
  EXPECT_EQ(bashOffers(home, script, "glimmet reap --older-than 6h --s"), "--session\n");
  EXPECT_EQ(bashOffers(home, script, "glimmet --generate-completion-script z"), "zsh\n");
  home.dir().write("home/projects/keep", "");
  EXPECT_THAT(
      bashOffers(home, script, "glimmet disk scan --home '" + (home.home() / "pro").string() + "'"),
      HasSubstr("projects"));
}

// The settings keys come from the one table of keys, offered only where a key goes.
TEST(Completion, EveryShellCompletesSettingsKeys) {
  testing::IsolatedHome home;
  const auto bash = home.glimmet({"--generate-completion-script", "bash"}).out;
  EXPECT_EQ(bashOffers(home, bash, "glimmet settings ''"), "list get set unset\n");
  EXPECT_EQ(bashOffers(home, bash, "glimmet settings get reaper.min"), "reaper.minimumAge\n");
  EXPECT_EQ(bashOffers(home, bash, "glimmet settings unset --replace-corrupt mcp."),
            "mcp.enabled\n");
  EXPECT_EQ(bashOffers(home, bash, "glimmet settings set disk.maxWalkers ''"), "\n")
      << "the value is not a key";
  EXPECT_EQ(bashOffers(home, bash, "glimmet hooks install --"),
            "--help --claude --codex --reap --notify --glimmet\n");

  const auto zsh = home.glimmet({"--generate-completion-script", "zsh"}).out;
  EXPECT_THAT(zsh, HasSubstr("_glimmet_settings_set() {"));
  EXPECT_THAT(zsh, HasSubstr("':key:(samplingInterval gracePeriod "));
  const auto fish = home.glimmet({"--generate-completion-script", "fish"}).out;
  EXPECT_THAT(fish, HasSubstr("-n '__fish_seen_subcommand_from settings; and "
                              "__fish_seen_subcommand_from get; and test (count (commandline "
                              "-opc)) -eq 3' -a 'samplingInterval gracePeriod "));
}

TEST(Completion, ZshScriptParses) {
  testing::IsolatedHome home;
  if (!std::filesystem::exists("/bin/zsh")) GTEST_SKIP() << "zsh is not installed";
  const auto script = home.glimmet({"--generate-completion-script", "zsh"}).out;
  EXPECT_THAT(script, HasSubstr("#compdef glimmet"));
  EXPECT_THAT(script, HasSubstr("_glimmet_disk_scan()"));
  EXPECT_THAT(
      script,
      HasSubstr("'--grace=[Seconds to wait after SIGTERM before SIGKILL (1 to 15).]:seconds: '"));
  const auto path = home.dir().write("_glimmet", script);
  const auto checked = testing::runProcess({"/bin/zsh", "-n", path.string()}, home.environment());
  EXPECT_EQ(checked.status, 0) << checked.err;
}

TEST(Completion, FishScriptNamesEveryCommandAndOption) {
  testing::IsolatedHome home;
  const auto script = home.glimmet({"--generate-completion-script", "fish"}).out;
  EXPECT_THAT(script, HasSubstr("complete -c glimmet -n '__fish_use_subcommand' -a 'version' -d "
                                "'Print the Glimmet version.'"));
  EXPECT_THAT(script,
              HasSubstr("-n '__fish_seen_subcommand_from disk; and __fish_seen_subcommand_from "
                        "scan' -l home -x -a '(__fish_complete_directories)'"));
  EXPECT_THAT(script, HasSubstr("-l include-dev-servers"));
  EXPECT_THAT(
      script,
      HasSubstr(
          "-d 'List an app\\'s leftover files in ~/.config, ~/.cache and ~/.local (read only).'"))
      << "quotes escaped";
}

TEST(Completion, UnknownShellIsAUsageError) {
  testing::IsolatedHome home;
  const auto result = home.glimmet({"--generate-completion-script", "tcsh"});
  EXPECT_EQ(result.status, 64);
  EXPECT_THAT(result.err, HasSubstr("tcsh"));
}

}  // namespace
}  // namespace glimmet
