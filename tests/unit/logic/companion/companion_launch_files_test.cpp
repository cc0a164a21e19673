#include "logic/companion/companion_launch_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet::companion_files {
namespace {

using ::testing::HasSubstr;

TEST(CompanionLaunchFiles, UnitRunsThisGlimmetAtLoginAtIdlePriority) {
  const auto text = unitFileText("/usr/local/bin/glimmet");
  for (const char* line :
       {"\nExecStart=\"/usr/local/bin/glimmet\" companion run\n", "\nRestart=on-failure\n",
        "\nNice=10\n", "\nIOSchedulingClass=idle\n", "\n[Install]\nWantedBy=default.target\n",
        "\nDescription=Glimmet companion: "})
    EXPECT_THAT(text, HasSubstr(line));
}

// systemd expands specifiers in the whole line and variables only in the
// arguments: "%" doubles, "$" and spaces stay as they are inside the quotes.
TEST(CompanionLaunchFiles, UnitQuotesAwkwardPathsAsSystemdReadsThem) {
  EXPECT_THAT(unitFileText("/opt/my tools/100% $HOME;x/glimmet"),
              HasSubstr("\nExecStart=\"/opt/my tools/100%% $HOME;x/glimmet\" companion run\n"));
  EXPECT_TRUE(unitCanName("/opt/my tools/100% $HOME;x/glimmet"));
  for (const char* path : {"/opt/it's/glimmet", "/opt/say \"hi\"/glimmet", "/opt/a\\b/glimmet",
                           "/opt/line\nbreak/glimmet", "relative/glimmet", "/opt/\xff/glimmet", ""})
    EXPECT_FALSE(unitCanName(path)) << path;
}

// Each layer a launcher undoes, in order: the key file's backslash, then the
// quoting's backslash before '"', '`', '$' and '\'. The expected line was
// checked by launching it through GLib.
TEST(CompanionLaunchFiles, AutostartEntryQuotesAwkwardPathsByTheDesktopEntryRules) {
  const auto text = autostartEntryText("/opt/it's \"q\" $HOME `x` a\\b;c/glimmet");
  EXPECT_THAT(text, HasSubstr("\nExec=\"/opt/it's \\\\\"q\\\\\" \\\\$HOME \\\\`x\\\\` "
                              "a\\\\\\\\b;c/glimmet\" companion run\n"));
  EXPECT_THAT(text, HasSubstr("[Desktop Entry]\nType=Application\n"));
  EXPECT_TRUE(autostartCanName("/opt/it's \"q\" $HOME `x` a\\b;c/glimmet"));
  for (const char* path : {"/opt/100%/glimmet", "/opt/tab\there/glimmet", "glimmet"})
    EXPECT_FALSE(autostartCanName(path)) << path;
}

TEST(CompanionLaunchFiles, EachFileIsRecognisedWithTheGlimmetItRuns) {
  for (const char* path :
       {"/usr/bin/glimmet", "/opt/my tools/100% $HOME;x/glimmet", "/home/zoë/.local/bin/glimmet"})
    EXPECT_EQ(unitFileExecutable(unitFileText(path)), path);
  for (const char* path : {"/usr/bin/glimmet", "/opt/it's \"q\" $HOME `x` a\\b;c/glimmet"})
    EXPECT_EQ(autostartEntryExecutable(autostartEntryText(path)), path);
}

TEST(CompanionLaunchFiles, AnyChangeMakesAFileTheUsers) {
  const auto unit = unitFileText("/usr/bin/glimmet");
  const auto entry = autostartEntryText("/usr/bin/glimmet");
  EXPECT_EQ(unitFileExecutable(unit + "Environment=DEBUG=1\n"), std::nullopt);
  EXPECT_EQ(unitFileExecutable(unit.substr(0, unit.size() - 1)), std::nullopt);
  auto restartAlways = unit;
  restartAlways.replace(restartAlways.find("on-failure"), 10, "always");
  EXPECT_EQ(unitFileExecutable(restartAlways), std::nullopt);
  EXPECT_EQ(unitFileExecutable("[Service]\nExecStart=\"/usr/bin/glimmet\" companion run\n"),
            std::nullopt);
  EXPECT_EQ(autostartEntryExecutable(entry + "Hidden=true\n"), std::nullopt);
  // The other format's file, or either file cut inside its quotes.
  EXPECT_EQ(unitFileExecutable(entry), std::nullopt);
  EXPECT_EQ(autostartEntryExecutable(unit), std::nullopt);
  EXPECT_EQ(unitFileExecutable(unit.substr(0, unit.find("companion run"))), std::nullopt);
  EXPECT_EQ(autostartEntryExecutable(""), std::nullopt);
}

TEST(CompanionLaunchFiles, StateOfAPlaceFromWhatWasReadThere) {
  EXPECT_EQ(unitFileState({LaunchFileContent::Kind::absent, {}}).kind,
            LaunchFileState::Kind::absent);
  EXPECT_EQ(unitFileState({LaunchFileContent::Kind::other, {}}).kind,
            LaunchFileState::Kind::foreign);
  const auto ours =
      autostartEntryState({LaunchFileContent::Kind::text, autostartEntryText("/opt/glimmet")});
  EXPECT_EQ(ours.kind, LaunchFileState::Kind::ours);
  EXPECT_EQ(ours.executable, "/opt/glimmet");
  EXPECT_EQ(unitFileState({LaunchFileContent::Kind::text, "[Unit]\n"}).kind,
            LaunchFileState::Kind::foreign);
}

}  // namespace
}  // namespace glimmet::companion_files
