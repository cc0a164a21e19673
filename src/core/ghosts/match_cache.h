// Signature answers for one command run, remembered per process identity. The
// ghost classifier, the ancestor walks and the session builder ask the same
// questions about the same processes many times; each is matched once.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "core/ghosts/signature_engine.h"
#include "core/process/process_identity.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

/// One thread at a time; lives as long as one command run.
class MatchCache {
 public:
  explicit MatchCache(const SignatureEngine& engine) : engine_(engine) {}

  const SignatureEngine& engine() const { return engine_; }

  std::optional<AgentRootMatch> agentRoot(const ProcessRecord& record);
  /// The program whose own helper or daemon the process is (never also a root).
  std::optional<AgentRootMatch> agentHelper(const ProcessRecord& record);
  std::optional<GhostSignatureMatch> ghostSignature(const ProcessRecord& record);
  std::optional<std::string> framework(const ProcessRecord& record);

 private:
  const SignatureEngine& engine_;
  std::optional<AgentEntryMatch> agentEntry(const ProcessRecord& record);

  std::unordered_map<ProcessIdentity, std::optional<AgentEntryMatch>> roots_;
  std::unordered_map<ProcessIdentity, std::optional<GhostSignatureMatch>> ghosts_;
  std::unordered_map<ProcessIdentity, std::optional<std::string>> frameworks_;
};

/// Whether some ancestor of `record` (its parent upwards) is an agent, IDE or
/// terminal. A missing ancestor, pid 1 or a loop in the parent links ends the walk
/// with false.
bool hasAgentRootAncestor(const ProcessRecord& record, const ProcessSnapshot& snapshot,
                          MatchCache& cache);
bool hasAgentRootAncestor(const ProcessRecord& record, const ProcessSnapshot& snapshot,
                          const SignatureEngine& engine);

}  // namespace glimmet
