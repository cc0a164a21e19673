// The snippets the application shows for connecting an agent to glimmet mcp.
#pragma once

#include <string>
#include <string_view>

namespace glimmet {

enum class MCPClient { claudeCode, cursor, codex };

struct MCPClientSnippet {
  std::string title;  ///< "Claude Code"
  std::string where;  ///< "Run in Terminal"
  std::string text;
};

/// The snippet for `client`, naming `executable` (the installed glimmet's absolute path).
MCPClientSnippet mcpClientSnippet(MCPClient client, std::string_view executable);

/// "claudeCode", "cursor" or "codex".
std::string_view rawValue(MCPClient client);

}  // namespace glimmet
