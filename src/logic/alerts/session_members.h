// The processes of one agent session in a snapshot, for its alerts: what it
// runs, to see it work, and what it leaves behind when a turn ends.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <vector>

#include "core/ghosts/ancestry_recorder.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

struct SessionMember {
  const ProcessRecord* record = nullptr;
  /// An MCP server ends with its agent: it is never left behind.
  bool mcpServer = false;
};

/// Everything of the session rooted at `root` besides the agent, `uid`'s only
/// and no zombies: the agent's descendants, then the processes that the
/// ancestry records put under it and that were re-parented since. For a
/// session that ended, only the latter are left.
std::vector<SessionMember> sessionMembers(const ProcessIdentity& root,
                                          const ProcessSnapshot& snapshot,
                                          const AncestryRecorder& ancestry, uid_t uid);

/// The same for any order of the same processes, another for a process more
/// or less.
std::uint64_t membersDigest(std::span<const SessionMember> members);

}  // namespace glimmet
