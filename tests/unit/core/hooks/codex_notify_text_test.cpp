#include "core/hooks/codex_notify_text.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using namespace codex_notify;

const std::string kOurs = std::string(kComment) +
                          "\nnotify = [\"/usr/bin/glimmet\", \"notify\", \"--agent\", \"codex\"]\n";

TEST(CodexNotifyText, EscapesThePath) {
  EXPECT_EQ(notifyLine(R"(/opt/my "tools"\glimmet)"),
            R"(notify = ["/opt/my \"tools\"\\glimmet", "notify", "--agent", "codex"])");
}

TEST(CodexNotifyText, AddsOnTopAndKeepsTheRestByteForByte) {
  EXPECT_EQ(withNotify("", "/usr/bin/glimmet"), kOurs);
  const std::string config = "model = \"o3\"  # mine\r\n\n[profiles.fast]\nnotify = [\"x\"]";
  EXPECT_EQ(withNotify(config, "/usr/bin/glimmet"), kOurs + "\n" + config);
}

TEST(CodexNotifyText, NeverReplacesAnotherProgramsNotify) {
  EXPECT_EQ(withNotify("model = \"o3\"\n  notify = [\"notify-send\", \"Codex\"]\n", "/g/glimmet"),
            std::nullopt);
  // Our own line stays as it is for the same glimmet, and runs the new one
  // when glimmet moved, every other byte kept.
  const std::string installed = kOurs + "\nmodel = \"o3\"\n";
  EXPECT_EQ(withNotify(installed, "/usr/bin/glimmet"), installed);
  const std::string moved = *withNotify(installed, "/usr/local/bin/glimmet");
  EXPECT_EQ(moved, std::string(kComment) + "\n" + notifyLine("/usr/local/bin/glimmet") +
                       "\n\nmodel = \"o3\"\n");
  EXPECT_EQ(ownProgram(*topLevelNotify(moved)), "/usr/local/bin/glimmet");
  EXPECT_EQ(ownProgram(notifyLine("/opt/a\"b\\/glimmet")), "/opt/a\"b\\/glimmet");
}

TEST(CodexNotifyText, RemovesOnlyWhatItAdded) {
  const std::string config = "model = \"o3\"\n\n[tui]\nnotify = true\n";
  EXPECT_EQ(withoutNotify(*withNotify(config, "/usr/bin/glimmet")), config);
  EXPECT_EQ(withoutNotify(kOurs), "");
  // Installs from before the comment named glimmet hooks leave nothing behind either.
  const std::string earlier =
      std::string(kEarlierComment) +
      "\nnotify = [\"/usr/bin/glimmet\", \"notify\", \"--agent\", \"codex\"]\n";
  EXPECT_EQ(withoutNotify(earlier + "\n" + config), config);
  EXPECT_EQ(withNotify(earlier, "/usr/bin/glimmet"), kOurs) << "a reinstall updates the comment";
  EXPECT_EQ(withoutNotify(config), config);
  // A notify of ours inside a table is not the top-level setting: it stays.
  const std::string tabled = "[x]\n" + kOurs;
  EXPECT_EQ(withoutNotify(tabled), tabled);
}

TEST(CodexNotifyText, RecognisesOnlyItsOwnLine) {
  EXPECT_TRUE(isOwnNotifyLine(R"(notify = ["glimmet", "notify", "--agent", "codex"])"));
  EXPECT_FALSE(isOwnNotifyLine(R"(notify = ["/bin/notglimmet", "notify", "--agent", "codex"])"));
  EXPECT_FALSE(isOwnNotifyLine(R"(notify = ["/bin/glimmet", "notify", "--agent", "claude"])"));
  EXPECT_FALSE(isOwnNotifyLine("model = \"glimmet\""));
}

}  // namespace
}  // namespace glimmet
