// Client configuration snippets.
#include "logic/mcp/mcp_client_config.h"

#include <nlohmann/json.hpp>

#include "core/output/json_writer.h"
#include "core/util/shell_quote.h"

namespace glimmet {
namespace {

// A TOML basic string: backslashes doubled, double quotes escaped.
std::string tomlQuote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace

std::string_view rawValue(MCPClient client) {
  switch (client) {
    case MCPClient::claudeCode:
      return "claudeCode";
    case MCPClient::cursor:
      return "cursor";
    case MCPClient::codex:
      return "codex";
  }
  return {};
}

MCPClientSnippet mcpClientSnippet(MCPClient client, std::string_view executable) {
  switch (client) {
    case MCPClient::claudeCode:
      return {"Claude Code", "Run in Terminal",
              "claude mcp add --scope user glimmet -- " + shellQuote(executable) + " mcp"};
    case MCPClient::cursor: {
      const nlohmann::json config = {
          {"mcpServers", {{"glimmet", {{"command", std::string(executable)}, {"args", {"mcp"}}}}}}};
      return {"Cursor", "Add to ~/.cursor/mcp.json", writeJson(config)};
    }
    case MCPClient::codex:
      return {"Codex", "Add to ~/.codex/config.toml",
              "[mcp_servers.glimmet]\ncommand = " + tomlQuote(executable) + "\nargs = [\"mcp\"]"};
  }
  return {};
}

}  // namespace glimmet
