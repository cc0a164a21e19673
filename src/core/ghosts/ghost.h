// Ghosts: processes of the user that outlived the agent session that started
// them, or dev servers whose terminal was closed, each as a process tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ghosts/ancestry_recorder.h"
#include "core/ghosts/protection.h"
#include "core/process/process_record.h"

namespace glimmet {

struct Ghost {
  ProcessRecord root;
  std::vector<ProcessIdentity> members;  ///< the root's descendants, stopped with it
  std::string label;
  std::optional<std::string> framework;
  Origin origin;
  std::vector<AncestorEntry> chainAtBirth;  ///< empty when nothing was recorded
  std::vector<std::uint16_t> ports;         ///< held by the whole tree, ascending
  std::uint64_t footprint = 0;              ///< of the whole tree
  std::optional<std::string> repo;          ///< repository of the root's folder
  /// Where in that repository, as ls names it: the linked worktree's name (none
  /// for the main checkout) and the branch, or the detached commit.
  std::optional<std::string> worktree;
  std::optional<std::string> branch;

  friend bool operator==(const Ghost& a, const Ghost& b) {
    return a.root.identity == b.root.identity;
  }
};

struct ProtectedGhost {
  ProcessRecord record;
  ProtectionReason reason;
};

struct GhostReport {
  std::vector<Ghost> ghosts;
  std::vector<ProtectedGhost> protectedMatches;
};

/// How a process is named in one line: its program and first operand
/// ("node server.js"), secrets masked; the name when its arguments are unknown.
std::string displayCommand(const ProcessRecord& record);

}  // namespace glimmet
