// Which processes answering a quit request stops: every member of what the
// agent named, each either included or left alone with the first reason that
// applies. The person sees this plan before anything is signalled, and only
// the included members are ever handed to the tree killer.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/process/system_process_table.h"

namespace glimmet {

/// One process considered for quitting, with the protection facts already
/// looked up (the rules themselves live with the protection checks).
struct QuitCandidate {
  pid_t pid = 0;
  pid_t ppid = 0;
  uid_t uid = 0;
  std::string name;
  std::optional<std::string> path;
  std::string commandLine;
  std::uint64_t footprint = 0;
  std::vector<std::uint16_t> ports;
  bool hasControllingTTY = false;
  /// The session the ancestry record says started it, for a member that left
  /// the agent's tree (re-parented) and joined the session through that record.
  std::optional<pid_t> recordedSessionPID;
  bool userProtected = false;
  bool glimmet = false;
  bool frontmost = false;
  /// The built-in default that protects it ("AI agents"), when one does.
  std::optional<std::string> defaultProtection;
  /// Beyond the candidate's facts: what identifies it to the tree killer and
  /// what its protection rules were judged on.
  std::uint64_t startTime = 0;  ///< microseconds since 1970
  std::optional<std::string> repoPath;
};

struct QuitMember {
  pid_t pid = 0;
  std::string name;
  std::string commandLine;
  std::uint64_t footprint = 0;
  std::vector<std::uint16_t> ports;
  bool included = false;
  std::optional<std::string> skipReason;
  /// No longer below the root in the process tree: re-parented, and found
  /// through the ancestry record.
  bool detached = false;
  pid_t ppid = 0;
  std::uint64_t startTime = 0;
  std::optional<std::string> repoPath;
};

/// The plan of a session request: the agent first, then what it started. A pid
/// or port request gets the same plan over that process and its descendants
/// (`session` false; `agent` then names the process).
struct SessionQuitPlan {
  pid_t rootPID = 0;
  std::string agent;
  std::vector<QuitMember> members;
  bool session = true;

  /// The plan over `candidates` (the root first), judged for `currentUID`.
  static SessionQuitPlan make(pid_t rootPID, std::string agent,
                              const std::vector<QuitCandidate>& candidates, uid_t currentUID,
                              const SystemProcessTable& system, bool session = true);

  std::vector<const QuitMember*> included() const;
  std::vector<const QuitMember*> leftAlone() const;
  /// The included members whose parent is not itself included: each one's
  /// tree, with what plan leaves alone taken out, is what one tree stop covers.
  std::vector<const QuitMember*> treeRoots() const;
};

/// The first of the seven reasons that leaves `candidate` alone, verbatim, or
/// nothing when it may be quit.
std::optional<std::string> quitSkipReason(const QuitCandidate& candidate, uid_t currentUID,
                                          const SystemProcessTable& system);

}  // namespace glimmet
