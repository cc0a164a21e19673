// The snippet text.
#include "core/hooks/agent_snippets.h"

#include <array>

namespace glimmet::AgentSnippets {

std::span<const SnippetAgent> agents() {
  static constexpr std::array<SnippetAgent, 3> kAgents = {{
      {"Codex", "codex"},
      {"Gemini CLI", "gemini"},
      {"Cursor", "cursor-agent"},
  }};
  return kAgents;
}

std::string snippet(const SnippetAgent& agent) {
  const std::string name(agent.name);
  const std::string command(agent.command);
  // `command` bypasses the function itself, so the wrapper calls the real program.
  // zsh reserves `status`, hence `agent_status`; and the agent has just ended, so
  // its ghosts of any age are its leftovers (`--older-than 0`).
  return "# Add to ~/.zshrc: Glimmet reaps " + name + "'s leftovers when a " + name +
         " session ends.\n" + command + "() {\n  command " + command +
         " \"$@\"\n  local agent_status=$?\n  glimmet reap --agent '" + name +
         "' --older-than 0 --quiet\n  return $agent_status\n}\n";
}

}  // namespace glimmet::AgentSnippets
