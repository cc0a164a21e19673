// The MCP server wired to this machine: settings and heartbeat read for each
// message, one command survey per tool call, the call log and the quit inbox
// in the shared folder.
#include "app/mcp_run.h"

#include <chrono>
#include <vector>

#include "app/application_running.h"
#include "app/mcp_survey_tools.h"
#include "core/mcp/mcp_record_store.h"
#include "core/settings/glimmet_settings.h"
#include "core/util/random_uuid.h"
#include "logic/mcp/mcp_frame_decoder.h"
#include "logic/mcp/mcp_server.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

constexpr std::size_t kReadChunk = 65536;

// What one run remembers between messages about the shared folder: the call
// log's lock was held past its wait. Standard output carries only the
// protocol, so that is said once, on standard error.
class LogLockNotice {
 public:
  explicit LogLockNotice(std::ostream& warnings) : warnings_(warnings) {}

  void lockWasHeld() {
    if (said_) return;
    said_ = true;
    warnings_ << "Couldn't add to the MCP call log: another program kept it locked.\n"
              << std::flush;
  }

 private:
  std::ostream& warnings_;
  bool said_ = false;
};

// The server for the next message, with `mcp.enabled` and the heartbeat as they
// are now.
MCPServer liveServer(const RunContext& context, LogLockNotice& notice) {
  const auto folder = platform::sharedDataDir(context.environment);
  const JSONStore store(folder);
  const auto now = std::chrono::system_clock::now();
  MCPServer server;
  server.enabled = GlimmetSettings::load(store).mcp.enabled;
  server.appRunning = applicationIsRunning(store, now);
  const auto inputs = [&environment = context.environment, executable = context.executable] {
    return CommandInputs::load(environment, executable);
  };
  server.status = [inputs] { return mcpStatusText(inputs()); };
  server.agents = [inputs] { return mcpAgentsText(inputs()); };
  server.ports = [inputs] { return mcpPortsText(inputs()); };
  server.safety = [inputs](const MCPTarget& target) { return mcpSafetyVerdict(inputs(), target); };
  server.requestQuit = [folder](const MCPQuitRequest& request) {
    addToMCPInbox(folder, request.toJson());
  };
  server.log = [folder, &notice](const MCPLogEntry& entry) {
    try {
      appendMCPLogLine(folder, entry.line() + "\n");
    } catch (const platform::LockTimeout&) {
      notice.lockWasHeld();
      throw;
    }
  };
  server.now = [] { return std::chrono::system_clock::now(); };
  server.newRequestID = randomUuid;
  return server;
}

}  // namespace

ExitStatus runMCP(const MCPRequest&, RunContext& context) {
  MCPFrameDecoder decoder;
  LogLockNotice notice(context.error);
  std::vector<char> chunk(kReadChunk);
  // peek() blocks for one read of whatever the client has sent; readsome()
  // then takes just those bytes, so a message is answered as soon as it is
  // complete, not when a buffer fills. End of input or a read error ends the
  // server.
  while (context.input.peek() != std::istream::traits_type::eof()) {
    const auto count = context.input.readsome(chunk.data(), kReadChunk);
    if (count <= 0) break;
    decoder.feed({chunk.data(), static_cast<std::size_t>(count)});
    while (auto message = decoder.next()) {
      // Settings and heartbeat are read for every message, so switching MCP on
      // or off takes effect without a restart.
      const auto server = liveServer(context, notice);
      if (auto response = server.handle(message->body))
        context.out.write(encodeMCPResponse(*response, message->framing));
    }
  }
  return ExitStatus::ok;
}

}  // namespace glimmet
