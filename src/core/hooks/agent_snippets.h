// Shell functions for agents whose hooks the installers don't write: the user
// pastes one into their shell's start-up file, and each run of the agent then
// ends by reaping what that agent's session left behind.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace glimmet {

struct SnippetAgent {
  std::string_view name;     ///< display name, as `glimmet reap --agent` takes it
  std::string_view command;  ///< the program the user types
};

namespace AgentSnippets {

/// Codex, Gemini CLI and Cursor's agent.
std::span<const SnippetAgent> agents();

/// The snippet for one agent: a comment line, then a function named after its
/// command that runs it, keeps its exit status, reaps and returns that status.
/// Every line ends with a line feed.
std::string snippet(const SnippetAgent& agent);

}  // namespace AgentSnippets
}  // namespace glimmet
