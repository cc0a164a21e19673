// A quit request as it stands when someone answers it: the safety verdict
// taken again over a survey of now, and, when the person may be asked, the plan
// of what a yes would stop. Minutes or hours pass between filing and answer, so
// nothing the agent saw is trusted: a target that became protected or another
// user's, or a pid that now belongs to a process started after the request, is
// left alone and said so.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/output/iso8601.h"
#include "logic/agents/agent_session.h"
#include "logic/mcp/mcp_records.h"
#include "logic/mcp/safety_gate.h"
#include "logic/mcp/session_quit_plan.h"

namespace glimmet {

/// A process that started this long after the request's time is another one
/// than the agent named: the time is written in whole seconds, and the boot
/// time that start times are counted from may move by a second.
inline constexpr std::chrono::seconds kStartTimeSlack{2};

/// What a request is read against: one survey's facts and its live sessions.
struct QuitView {
  const SafetyView& safety;
  const std::vector<AgentSession>& sessions;
  uid_t currentUID = 0;
};

struct QuitRequestReview {
  enum class Standing {
    askFirst,   ///< the person may be asked; the plan says what a yes stops
    gone,       ///< nothing matches now, or the pid is another process's
    leftAlone,  ///< there, but not Glimmet's to stop
  };

  MCPQuitRequest request;
  MCPSafetyVerdict verdict;  ///< taken again now
  Standing standing = Standing::gone;
  std::optional<SessionQuitPlan> plan;  ///< for askFirst
  SystemTime now;

  /// Whole seconds since the request was filed; 0 for a time ahead of the clock.
  std::int64_t ageSeconds() const;
  /// "session 4242 (Claude Code)", "port 3000 (Vite)": the target as filed,
  /// with the name of what it names now.
  std::string what() const;
  /// The agent's note, redacted again however it was filed.
  std::optional<std::string> note() const;
};

/// The pid, port and session a request names.
MCPTarget targetOf(const MCPQuitRequest& request);

/// `request` judged against `view` at `now`.
QuitRequestReview reviewQuitRequest(const MCPQuitRequest& request, const QuitView& view,
                                    SystemTime now);

}  // namespace glimmet
