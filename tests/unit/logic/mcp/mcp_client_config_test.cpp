#include "logic/mcp/mcp_client_config.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(MCPClientConfig, QuotesThePathForEachClient) {
  const auto claude = mcpClientSnippet(MCPClient::claudeCode, "/opt/it's/glimmet");
  EXPECT_EQ(claude.title, "Claude Code");
  EXPECT_EQ(claude.where, "Run in Terminal");
  EXPECT_EQ(claude.text, "claude mcp add --scope user glimmet -- '/opt/it'\\''s/glimmet' mcp");

  const auto cursor = mcpClientSnippet(MCPClient::cursor, "/usr/local/bin/glimmet");
  EXPECT_EQ(cursor.where, "Add to ~/.cursor/mcp.json");
  EXPECT_EQ(cursor.text,
            "{\n  \"mcpServers\" : {\n    \"glimmet\" : {\n      \"args\" : [\n        \"mcp\"\n"
            "      ],\n      \"command\" : \"/usr/local/bin/glimmet\"\n    }\n  }\n}");

  const auto codex = mcpClientSnippet(MCPClient::codex, "C:\\a \"b\"");
  EXPECT_EQ(codex.title, "Codex");
  EXPECT_EQ(codex.text, "[mcp_servers.glimmet]\ncommand = \"C:\\\\a \\\"b\\\"\"\nargs = [\"mcp\"]");
  EXPECT_EQ(rawValue(MCPClient::claudeCode), "claudeCode");
}

}  // namespace
}  // namespace glimmet
