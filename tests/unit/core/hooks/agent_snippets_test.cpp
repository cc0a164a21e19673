#include "core/hooks/agent_snippets.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

TEST(AgentSnippets, WrapsTheAgentAndReapsAfterIt) {
  EXPECT_EQ(AgentSnippets::snippet({"Gemini CLI", "gemini"}),
            "# Add to ~/.zshrc: Glimmet reaps Gemini CLI's leftovers when a Gemini CLI session "
            "ends.\n"
            "gemini() {\n"
            "  command gemini \"$@\"\n"
            "  local agent_status=$?\n"
            "  glimmet reap --agent 'Gemini CLI' --older-than 0 --quiet\n"
            "  return $agent_status\n"
            "}\n");
  ASSERT_EQ(AgentSnippets::agents().size(), 3u);
  EXPECT_EQ(AgentSnippets::agents()[2].command, "cursor-agent");
}

// Run under bash and zsh (where `status` is read-only) with stand-ins for the
// agent and for glimmet: the arguments pass through whole, the reap runs, and
// the agent's own status comes back.
TEST(AgentSnippets, KeepsTheAgentsArgumentsAndExitStatusInBashAndZsh) {
  testing::TempDir dir;
  dir.write("bin/codex", "#!/bin/sh\nprintf '%s|' \"$@\"\nexit 3\n");
  dir.write("bin/glimmet", "#!/bin/sh\necho \"reaped $*\"\nexit 0\n");
  ::chmod((dir / "bin/codex").c_str(), 0755);
  ::chmod((dir / "bin/glimmet").c_str(), 0755);
  const std::string script = AgentSnippets::snippet(AgentSnippets::agents()[0]) +
                             "codex 'two words' x\necho \"status $?\"\n";
  for (const std::string shell : {"/bin/bash", "/bin/zsh", "/usr/bin/zsh"}) {
    struct stat info {};
    if (::stat(shell.c_str(), &info) != 0) continue;
    const auto result = testing::runProcess(
        {shell, "-c", script}, Environment({{"PATH", (dir / "bin").string() + ":/usr/bin:/bin"}}));
    EXPECT_EQ(result.out,
              "two words|x|reaped reap --agent Codex --older-than 0 --quiet\nstatus 3\n")
        << shell << ": " << result.err;
  }
}

}  // namespace
}  // namespace glimmet
