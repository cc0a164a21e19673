// glimmet mcp.
#include "cli/mcp_command.h"

#include <vector>

#include "logic/mcp/mcp_frame_decoder.h"
#include "logic/mcp/mcp_live.h"

namespace glimmet::cli {
namespace {

constexpr std::size_t kReadChunk = 65536;

}  // namespace

CommandSpec MCP::spec() {
  return {
      .name = "mcp",
      .abstract = "Read-only MCP server. Quitting anything asks you in the Glimmet app.",
      .discussion =
          "Off until you turn it on in Settings > Integrations. System processes and other users' "
          "processes are refused.",
      .run =
          [](CommandContext& context) {
            MCPFrameDecoder decoder;
            MCPLogNotice notice(context.error);
            std::vector<char> chunk(kReadChunk);
            // peek() blocks for one read of whatever the client has sent; readsome()
            // then takes just those bytes, so a message is answered as soon as it
            // is complete, not when a buffer fills. End of input or a read error
            // ends the server.
            while (context.input.peek() != std::istream::traits_type::eof()) {
              const auto count = context.input.readsome(chunk.data(), kReadChunk);
              if (count <= 0) break;
              decoder.feed({chunk.data(), static_cast<std::size_t>(count)});
              while (auto message = decoder.next()) {
                // Settings and heartbeat are read for every message, so switching
                // MCP on or off takes effect without a restart.
                const auto server = liveMCPServer(context.environment, context.executable, notice);
                if (auto response = server.handle(message->body))
                  context.out.write(encodeMCPResponse(*response, message->framing));
              }
            }
            return ExitStatus::ok;
          },
  };
}

}  // namespace glimmet::cli
