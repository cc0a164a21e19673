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
  return "# Add to ~/.zshrc: Glimmet reaps " + name + "'s leftovers when a " + name +
         " session ends.\n" + command + "() {\n  command " + command +
         " \"$@\"\n  local status=$?\n  glimmet reap --agent '" + name +
         "' --quiet\n  return $status\n}\n";
}

}  // namespace glimmet::AgentSnippets
