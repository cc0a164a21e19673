// The notify steps: heartbeat, payload, parse, append.
#include "app/notify_run.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "app/application_running.h"
#include "core/agents/agent_event_inbox.h"
#include "core/util/random_uuid.h"
#include "logic/agents/agent_event_parser.h"
#include "platform/bounded_read.h"
#include "platform/own_process.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

// A payload is cut at 1 MiB: whatever was read by then is the payload. A pipe
// that stays silent for 2 seconds ends it: hooks run under the agent's own time
// limit, and a hung hook is worse than a lost event.
constexpr platform::ReadBounds kHookPayloadBounds{
    .limit = 1'048'576, .chunk = 65'536, .silence = std::chrono::milliseconds(2000)};

// The hook's standard input, piece by piece, for the streaming parser.
class HookPayload : public PayloadPieces {
 public:
  explicit HookPayload(int fd) : reader_(fd, kHookPayloadBounds) {}
  std::string_view next() override { return reader_.next(); }

 private:
  platform::BoundedReader reader_;
};

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
    HookPayload input(standardInput);
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
    AgentEventInbox(sharedFolder).append(encodeAgentEventLine(*event));
    return true;
  } catch (...) {
    return false;
  }
}

ExitStatus runNotify(const NotifyRequest& request, RunContext& context) {
  recordAgentNotification(request, context.environment, platform::kStandardInput,
                          std::chrono::system_clock::now());
  return ExitStatus::ok;
}

}  // namespace glimmet
