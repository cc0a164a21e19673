// glimmet notify: one agent hook call becomes at most one line in the
// application's event inbox, and nothing the hook passes can make it fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/run_context.h"
#include "core/error.h"
#include "core/output/iso8601.h"
#include "platform/environment.h"

namespace glimmet {

struct NotifyRequest {
  std::string agent;                   ///< "claude-code" (or "claude") or "codex", any case
  std::optional<int32_t> pid;          ///< the agent's pid; the caller's parent when absent
  std::optional<std::string> payload;  ///< the event JSON given on the command line
};

/// Records the request's event at this moment, reading a Claude Code payload
/// from the standard input descriptor. Says nothing and always succeeds: hooks
/// must never fail the agent.
ExitStatus runNotify(const NotifyRequest& request, RunContext& context);

/// The same over given inputs: records the event in the inbox of the shared
/// folder that `environment` points at, when the application's heartbeat there
/// is fresh at `now`. A Claude Code payload not given on the command line is
/// read from `standardInput`, and only then. Every failure is swallowed. True
/// when a line was written.
bool recordAgentNotification(const NotifyRequest& request, const Environment& environment,
                             int standardInput, SystemTime now) noexcept;

}  // namespace glimmet
