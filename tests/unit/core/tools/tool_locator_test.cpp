// Finding tools: the script a login shell runs, what of its output counts,
// the fallback search path, and a real (fake) login shell asked once.
#include "core/tools/tool_locator.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

std::filesystem::path executable(const testing::TempDir& dir, const std::string& name,
                                 const std::string& text) {
  const auto path = dir.write(name, text);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

template <typename... Names>
std::vector<std::string> names(Names... given) {
  return {given...};
}

Environment environmentWith(std::map<std::string, std::string, std::less<>> variables) {
  return Environment(std::move(variables));
}

TEST(ToolLocator, ShellsAreAskedInTheirOwnDialectOrNotAtAll) {
  EXPECT_EQ(shellDialect("/usr/bin/zsh"), ShellDialect::posix);
  EXPECT_EQ(shellDialect("/bin/dash"), ShellDialect::posix);
  EXPECT_EQ(shellDialect("/opt/homebrew/bin/fish"), ShellDialect::fish);
  EXPECT_EQ(shellDialect("/bin/tcsh"), std::nullopt);
  EXPECT_EQ(shellDialect("/usr/bin/nu"), std::nullopt);
  EXPECT_EQ(shellDialect("/bin/zsh-5.9"), std::nullopt);

  EXPECT_EQ(
      toolLookupScript(names("git", "npm"), ShellDialect::posix),
      R"x(printf '%s=%s\n' git "$(command -v git)"; printf '%s=%s\n' npm "$(command -v npm)")x");
  EXPECT_EQ(toolLookupScript(names("uv"), ShellDialect::fish),
            R"x(printf '%s=%s\n' uv (command -v uv))x");
  // A name that would mean something else to the shell is never put in a script.
  EXPECT_EQ(toolLookupScript(names("$(rm -rf ~)", "a b", "-x", "g++", "x;y"), ShellDialect::posix),
            R"x(printf '%s=%s\n' g++ "$(command -v g++)")x");
}

TEST(ToolLocator, OnlyAbsoluteAnswersForAskedNamesCountAndTheLastOneDecides) {
  const std::vector<std::string> lines = {
      "Welcome back! uptime=3 days",
      "npm=/from/a/login/file",
      "git=/usr/bin/git",
      "npm=/home/me/.volta/bin/npm",
      "ls=alias ls='ls --color'",
      "ll=alias ll='ls -l'",
      "node=",
      "pnpm=pnpm: shell function",
      "evil=/bin/evil",
      "go=/usr/lib/go=odd/bin/go",
  };
  const auto answers =
      parseToolLookupOutput(lines, names("git", "npm", "ll", "node", "pnpm", "go"));
  EXPECT_EQ(answers, (std::map<std::string, std::string>{{"git", "/usr/bin/git"},
                                                         {"npm", "/home/me/.volta/bin/npm"},
                                                         {"go", "/usr/lib/go=odd/bin/go"}}));
  // The last line for a name decides, even when it says nothing was found.
  EXPECT_TRUE(parseToolLookupOutput(names("npm=/a/npm", "npm="), names("npm")).empty());
}

TEST(ToolLocator, TheFallbackSearchesOwnPathThenUserFoldersThenTheSystem) {
  const auto path = fallbackSearchPath(environmentWith({{"PATH", "/custom/bin"}}), "/home/me");
  EXPECT_EQ(path,
            "/custom/bin:/home/me/.local/bin:/home/me/.cargo/bin:/home/me/go/bin:/home/me/.bun/bin:"
            "/home/me/.deno/bin:/home/me/.volta/bin:/usr/local/bin:/home/linuxbrew/.linuxbrew/bin:"
            "/usr/bin:/bin:/usr/sbin:/sbin");
  EXPECT_TRUE(fallbackSearchPath(Environment(), "/h").starts_with("/h/.local/bin:"));
}

TEST(ToolLocator, AsksTheLoginShellOnceAndKeepsItsAnswers) {
  testing::TempDir dir;
  const auto tool = executable(dir, "tools/fake-tool", "#!/bin/sh\n");
  dir.write("tools/not-executable", "");
  const auto count = dir / "runs";
  // The fake shell records each run and its arguments, prints junk the way
  // login files do, and answers for fake-tool only.
  const auto shell =
      executable(dir, "shell/zsh",
                 "#!/bin/sh\necho run >> '" + count.string() +
                     "'\nprintf '%s\\n' \"$1\" \"$2\" > '" + (dir / "args").string() +
                     "'\necho 'motd: have a nice day'\necho fake-tool=" + tool.string() +
                     "\necho plain=" + (dir / "tools/not-executable").string() + "\n");
  const POSIXLauncher launcher;
  const auto environment = environmentWith({{"HOME", dir.path().string()}, {"PATH", "/nowhere"}});
  const LoginShellLocator locator(shell, environment, launcher);
  locator.prefetch({"fake-tool", "plain", "sh"});
  EXPECT_EQ(locator.locate("fake-tool"), tool.string());
  EXPECT_EQ(locator.locate("fake-tool"), tool.string());
  // Not executable, so the fallback path answers; /bin/sh is on it.
  EXPECT_EQ(locator.locate("plain"), std::nullopt);
  EXPECT_EQ(locator.locate("sh"), "/usr/bin/sh");
  EXPECT_EQ(dir.read("runs"), "run\n");
  EXPECT_EQ(dir.read("args"),
            "-lc\nprintf '%s=%s\\n' fake-tool \"$(command -v fake-tool)\"; printf '%s=%s\\n' plain "
            "\"$(command -v plain)\"; printf '%s=%s\\n' sh \"$(command -v sh)\"\n");
  // A name not asked about before starts one more run.
  EXPECT_EQ(locator.locate("another"), std::nullopt);
  EXPECT_EQ(dir.read("runs"), "run\nrun\n");
}

TEST(ToolLocator, AShellThatCantRunLeavesTheFallback) {
  testing::TempDir dir;
  const POSIXLauncher launcher;
  const auto tool = executable(dir, "home/.cargo/bin/cargo-thing", "#!/bin/sh\n");
  const auto environment =
      environmentWith({{"HOME", (dir / "home").string()}, {"PATH", "/nowhere"}});
  const LoginShellLocator missing(dir / "no-such/bash", environment, launcher);
  EXPECT_EQ(missing.locate("cargo-thing"), tool.string());
  const LoginShellLocator unknownKind("/bin/tcsh", environment, launcher);
  EXPECT_EQ(unknownKind.locate("cargo-thing"), tool.string());
  EXPECT_EQ(unknownKind.locate(tool.string()), tool.string());
  EXPECT_EQ(unknownKind.locate("relative/cargo-thing"), std::nullopt);
}

}  // namespace
}  // namespace glimmet
