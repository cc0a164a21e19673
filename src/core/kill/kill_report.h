// What a tree stop did, member by member.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ghosts/protection.h"
#include "core/process/process_identity.h"

namespace glimmet {

/// Why a process is left alone.
struct SkipReason {
  enum class Kind { protectedProcess, belowMinimumPID, gone, pidReused, otherUser, zombie };
  Kind kind = Kind::gone;
  std::optional<ProtectionReason> protection;  ///< for protectedProcess

  static SkipReason of(Kind kind) { return {kind, std::nullopt}; }
  static SkipReason protectedBy(ProtectionReason reason) {
    return {Kind::protectedProcess, std::move(reason)};
  }
  /// Whether the process simply isn't there any more (not a refusal in substance).
  bool alreadyStopped() const { return kind == Kind::gone || kind == Kind::pidReused; }
  /// "it already stopped", "owned by another user", ... as the refusal sentence ends.
  std::string text() const;
};

struct MemberOutcome {
  enum class Kind { skipped, stoppedBySIGTERM, stoppedBySIGKILL, survived, notPermitted };
  Kind kind = Kind::skipped;
  std::optional<SkipReason> reason;  ///< for skipped

  bool stopped() const { return kind == Kind::stoppedBySIGTERM || kind == Kind::stoppedBySIGKILL; }
};

struct MemberResult {
  ProcessIdentity identity;
  MemberOutcome outcome;
};

struct KillReport {
  enum class Status { done, partial, refused };

  ProcessIdentity target;
  Status status = Status::refused;
  std::optional<SkipReason> refusal;   ///< for refused: what applied to the root
  std::vector<MemberResult> outcomes;  ///< root first, then its descendants
  std::vector<int> signalsSent;        ///< 15 then 9, or only 9
  std::uint64_t freedBytes = 0;

  bool anyNotPermitted() const;
  /// SIGTERM was not enough: SIGKILL had to follow it.
  bool neededSIGKILLAfterSIGTERM() const;
};

}  // namespace glimmet
