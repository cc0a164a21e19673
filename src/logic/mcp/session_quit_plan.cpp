// The seven reasons a member of a quit plan is left alone, in the order that
// decides which one is shown.
#include "logic/mcp/session_quit_plan.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "logic/agents/agent_session.h"

namespace glimmet {
namespace {

constexpr std::array<std::string_view, 6> kShellNames = {"bash", "zsh",  "fish",
                                                         "sh",   "dash", "tcsh"};

bool isShellName(std::string_view name) {
  if (name.starts_with('-')) name.remove_prefix(1);  // login shells
  return std::ranges::find(kShellNames, name) != kShellNames.end();
}

// Whether walking up from `pid` through the candidates reaches `root`; a member
// that doesn't has been re-parented out of the agent's tree.
bool below(pid_t pid, pid_t root, const std::unordered_map<pid_t, pid_t>& parentOf) {
  std::unordered_set<pid_t> seen;
  for (auto at = parentOf.find(pid); at != parentOf.end(); at = parentOf.find(at->second)) {
    if (at->second == root) return true;
    if (!seen.insert(at->second).second) return false;  // a loop in forged data
  }
  return false;
}

}  // namespace

std::optional<std::string> quitSkipReason(const QuitCandidate& candidate, uid_t currentUID,
                                          const SystemProcessTable& system) {
  if (isSystemProcess(candidate.pid, candidate.name, candidate.path, system))
    return "System process";
  if (candidate.uid != currentUID) return "Owned by another user";
  if (candidate.glimmet) return "Glimmet itself";
  if (candidate.frontmost) return "The app you're using";
  if (candidate.hasControllingTTY && isShellName(candidate.name)) return "Your terminal shell";
  if (candidate.defaultProtection) return "Protected by default: " + *candidate.defaultProtection;
  if (candidate.userProtected) return "Protected by your rule";
  return std::nullopt;
}

SessionQuitPlan SessionQuitPlan::make(pid_t rootPID, std::string agent,
                                      const std::vector<QuitCandidate>& candidates,
                                      uid_t currentUID, const SystemProcessTable& system,
                                      bool session) {
  SessionQuitPlan plan{.rootPID = rootPID, .agent = std::move(agent), .session = session};
  std::unordered_map<pid_t, pid_t> parentOf;
  for (const auto& candidate : candidates) parentOf.try_emplace(candidate.pid, candidate.ppid);
  std::unordered_set<pid_t> listed;
  for (const auto& candidate : candidates) {
    if (!listed.insert(candidate.pid).second) continue;  // each process once
    auto reason = quitSkipReason(candidate, currentUID, system);
    plan.members.push_back(
        {.pid = candidate.pid,
         .name = candidate.name,
         .commandLine = candidate.commandLine,
         .footprint = candidate.footprint,
         .ports = candidate.ports,
         .included = !reason,
         .skipReason = std::move(reason),
         .detached = candidate.pid != rootPID && !below(candidate.pid, rootPID, parentOf),
         .ppid = candidate.ppid,
         .startTime = candidate.startTime,
         .repoPath = candidate.repoPath});
  }
  return plan;
}

std::vector<const QuitMember*> SessionQuitPlan::included() const {
  std::vector<const QuitMember*> chosen;
  for (const auto& member : members)
    if (member.included) chosen.push_back(&member);
  return chosen;
}

std::vector<const QuitMember*> SessionQuitPlan::leftAlone() const {
  std::vector<const QuitMember*> chosen;
  for (const auto& member : members)
    if (!member.included) chosen.push_back(&member);
  return chosen;
}

std::vector<const QuitMember*> SessionQuitPlan::treeRoots() const {
  std::unordered_set<pid_t> includedPIDs;
  for (const auto* member : included()) includedPIDs.insert(member->pid);
  std::vector<const QuitMember*> roots;
  for (const auto* member : included())
    if (!includedPIDs.contains(member->ppid) || member->ppid == member->pid)
      roots.push_back(member);
  return roots;
}

}  // namespace glimmet
