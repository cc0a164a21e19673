// The words of the application's agent alerts, kept here so that they are the
// same wherever an alert is raised and can be tested without the application.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace glimmet {

struct AgentAlert {
  std::string title;
  std::string body;

  bool operator==(const AgentAlert&) const = default;
};

/// What a finished session left running, for the finished alert.
struct LeftBehind {
  size_t processes = 0;
  std::optional<uint64_t> memoryBytes;  ///< their resident memory, when known
};

namespace AgentNotifyCopy {

/// Joins body parts: a space, a middle dot and a space.
inline constexpr std::string_view kPartSeparator = " \xC2\xB7 ";

/// "under a minute", "12 min", "1 h", "1 h 5 min": the seconds rounded to whole
/// minutes. A negative or not-a-number duration reads as under a minute.
std::string duration(double seconds);

/// An approval request that has waited `waitedSeconds`:
/// "Claude Code needs your approval" / "Allow Bash? · Waiting 2 min.".
AgentAlert approvalNeeded(std::string_view agent, const std::optional<std::string>& message,
                          double waitedSeconds);

/// An agent idle at its prompt; `extraParts` follow the message.
AgentAlert waitingForInput(std::string_view agent, const std::optional<std::string>& message,
                           std::span<const std::string> extraParts = {});

/// A turn or session that ended after `seconds`; an empty `agent` reads as
/// "Session finished". `extraParts` (such as "Your turn.") follow the summary.
AgentAlert finished(std::string_view agent, double seconds, const LeftBehind& left,
                    std::span<const std::string> extraParts = {});

/// A session without hooks that has been quiet for `quietSeconds`.
AgentAlert idleGuess(std::string_view agent, double quietSeconds);

}  // namespace AgentNotifyCopy
}  // namespace glimmet
