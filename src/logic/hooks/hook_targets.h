// Which agent configurations `glimmet hooks` works on, from the options given.
#pragma once

#include <string_view>
#include <vector>

namespace glimmet {

struct HookSelection {
  bool claude = false;  ///< Claude Code's settings
  bool codex = false;   ///< Codex's notify line
  bool reap = false;    ///< only the Claude Code hook that reaps at session end
  bool notify = false;  ///< only the Claude Code hook that reports turns
};

enum class HookTarget { claudeReap, claudeNotify, codexNotify };

/// Nothing chosen means both Claude Code hooks: Codex gets its line only when
/// asked, so a machine without Codex never grows a ~/.codex folder.
std::vector<HookTarget> selectedHookTargets(const HookSelection& selection);

/// "Claude Code reap hook", as the messages name it.
std::string_view hookTargetName(HookTarget target);

/// Whether the target's hook reports agent events through `glimmet notify`,
/// which records them only while the companion runs.
inline bool reportsAgentEvents(HookTarget target) {
  return target != HookTarget::claudeReap;
}

}  // namespace glimmet
