// Hook target selection.
#include "logic/hooks/hook_targets.h"

namespace glimmet {

std::vector<HookTarget> selectedHookTargets(const HookSelection& selection) {
  const bool claude = selection.claude || !selection.codex;
  const bool bothPurposes = !selection.reap && !selection.notify;
  std::vector<HookTarget> targets;
  if (claude && (bothPurposes || selection.reap)) targets.push_back(HookTarget::claudeReap);
  if (claude && (bothPurposes || selection.notify)) targets.push_back(HookTarget::claudeNotify);
  if (selection.codex) targets.push_back(HookTarget::codexNotify);
  return targets;
}

std::string_view hookTargetName(HookTarget target) {
  switch (target) {
    case HookTarget::claudeReap:
      return "Claude Code reap hook";
    case HookTarget::claudeNotify:
      return "Claude Code notify hook";
    case HookTarget::codexNotify:
      return "Codex notify line";
  }
  return "";
}

}  // namespace glimmet
