// glimmet mcp under the official MCP TypeScript SDK client (npm package
// @modelcontextprotocol/sdk), installed with Debian's npm into build/ on first
// use. Skipped, never failed, when node, npm or the network is missing.
//
// What it shows: the SDK's stdio transport reads one JSON message per line, so
// it cannot read the Content-Length frames glimmet answers with. Its initialize
// request reaches the server and is answered, the client reports
// "Content-Length: N" as invalid JSON, and connect() times out. The test
// records that outcome (or a full session, should the client ever read frames)
// and checks that the server itself ends cleanly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/isolated_home.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

bool onPath(const std::string& program) {
  for (const char* folder : {"/usr/local/bin", "/usr/bin", "/bin"})
    if (fs::exists(fs::path(folder) / program)) return true;
  return false;
}

TEST(MCPWithTheSDKClient, RecordsHowTheClientReadsOurFrames) {
  if (!onPath("node") || !onPath("npm")) GTEST_SKIP() << "node or npm is not installed";
  const fs::path sdk = fs::path(GLIMMET_BINARY).parent_path().parent_path() / "mcp-sdk";
  testing::IsolatedHome home;
  const auto packageFolder = sdk / "node_modules/@modelcontextprotocol/sdk";
  if (!fs::exists(packageFolder / "package.json")) {
    fs::create_directories(sdk);
    const auto install = testing::runProcess(
        {"/usr/bin/env", "npm", "install", "--prefix", sdk.string(), "--no-audit", "--no-fund",
         "--silent", "@modelcontextprotocol/sdk@1"},
        home.environment().with("npm_config_cache", (sdk / ".npm-cache").string()),
        {.timeoutSeconds = 180});
    if (install.status != 0 || !fs::exists(packageFolder / "package.json"))
      GTEST_SKIP() << "couldn't install @modelcontextprotocol/sdk (no network?): " << install.err;
  }
  home.dir().write("home/.local/share/Glimmet/settings.json", R"({"mcp":{"enabled":true}})");

  const auto run = testing::runProcess(
      {"/usr/bin/env", "node", std::string(GLIMMET_SOURCE_DIR) + "/tests/e2e/mcp_sdk/client.mjs",
       sdk.string(), GLIMMET_BINARY, "3000"},
      home.environment(), {.timeoutSeconds = 60});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto report = json::parse(run.out);
  std::cout << "SDK client report: " << report.dump() << '\n';
  RecordProperty("sdkReport", report.dump());
  if (report["connected"] == true) {
    EXPECT_EQ(report["tools"], json({"status", "ports", "agents", "safety", "request_quit"}));
    EXPECT_EQ(report["portsIsError"], false);
  } else {
    // The known mismatch: our framed answer arrives and is read as a JSON line.
    EXPECT_THAT(report["errors"].dump(), ::testing::HasSubstr("Content-Length: "));
    EXPECT_THAT(report["failure"].get<std::string>(), ::testing::HasSubstr("timed out"));
  }
}

}  // namespace
}  // namespace glimmet
