// The notify steps: heartbeat, payload, parse, append.
#include "core/hooks/notify_recorder.h"

#include <algorithm>
#include <cctype>

#include "core/hooks/hook_input.h"
#include "core/util/random_uuid.h"
#include "logic/agents/agent_event_inbox.h"
#include "logic/agents/agent_event_parser.h"
#include "logic/agents/application_heartbeat.h"
#include "platform/own_process.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

std::string lowerCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<AgentEvent> eventFor(const NotifyRequest& request, int32_t pid, int standardInput,
                                   SystemTime now) {
  const std::string agent = lowerCased(request.agent);
  if (agent == "claude-code" || agent == "claude") {
    if (request.payload)
      return AgentEventParser::parseClaudeCode(*request.payload, pid, now, randomUuid());
    HookInput input(standardInput);
    return AgentEventParser::parseClaudeCode(input, pid, now, randomUuid());
  }
  if (agent == "codex" && request.payload)
    return AgentEventParser::parseCodex(*request.payload, pid, now, randomUuid());
  return std::nullopt;
}

}  // namespace

bool recordAgentNotification(const NotifyRequest& request, const Environment& environment,
                             int standardInput, SystemTime now) noexcept {
  try {
    const auto sharedFolder = platform::sharedDataDir(environment);
    // Without the application nobody drains the inbox: don't even read the payload.
    if (!applicationIsRunning(JSONStore(sharedFolder), now)) return false;
    const int32_t pid = request.pid ? *request.pid : static_cast<int32_t>(platform::parentPID());
    const auto event = eventFor(request, pid, standardInput, now);
    if (!event) return false;
    AgentEventInbox(sharedFolder).append(*event);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace glimmet
