// glimmet mcp under the official MCP TypeScript SDK client (npm package
// @modelcontextprotocol/sdk, one pinned version), installed with the machine's
// own npm and npm configuration into the build folder on first use. Skipped
// only when node or npm is missing: a client that can't talk to the server, or
// an install that fails, fails the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "core/version.h"
#include "support/isolated_home.h"

extern char** environ;

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

constexpr const char* kSDKPackage = "@modelcontextprotocol/sdk@1.32.2";

bool onPath(const std::string& program) {
  for (const char* folder : {"/usr/local/bin", "/usr/bin", "/bin"})
    if (fs::exists(fs::path(folder) / program)) return true;
  return false;
}

// npm runs with this test's own environment, not the isolated home's: the
// registry, proxy and certificate settings of the machine's user live in the
// real ~/.npmrc and in variables such as NODE_EXTRA_CA_CERTS.
fs::path installedSDK() {
  const fs::path sdk = fs::path(GLIMMET_BINARY).parent_path().parent_path() / "mcp-sdk-1.32.2";
  const auto package = sdk / "node_modules/@modelcontextprotocol/sdk/package.json";
  if (fs::exists(package)) return sdk;
  fs::create_directories(sdk);
  const auto install =
      testing::runProcess({"/usr/bin/env", "npm", "install", "--prefix", sdk.string(), "--no-audit",
                           "--no-fund", "--no-save", "--silent", kSDKPackage},
                          Environment::fromArray(environ), {.timeoutSeconds = 240});
  EXPECT_EQ(install.status, 0) << install.out << install.err;
  return fs::exists(package) ? sdk : fs::path();
}

std::string text(const json& result) {
  return result.at("content").at(0).at("text").get<std::string>();
}

TEST(MCPWithTheSDKClient, AWholeSessionFromInitializeToEachTool) {
  if (!onPath("node") || !onPath("npm")) GTEST_SKIP() << "node or npm is not installed";
  const auto sdk = installedSDK();
  ASSERT_FALSE(sdk.empty()) << "couldn't install " << kSDKPackage;
  testing::IsolatedHome home;
  const auto settings =
      home.dir().write("home/.local/share/Glimmet/settings.json", R"({"mcp":{"enabled":true}})");

  const auto run = testing::runProcess(
      {"/usr/bin/env", "node", std::string(GLIMMET_SOURCE_DIR) + "/tests/e2e/mcp_sdk/client.mjs",
       sdk.string(), GLIMMET_BINARY, settings.string(), "30000"},
      home.environment(), {.timeoutSeconds = 120});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto report = json::parse(run.out);
  RecordProperty("sdkReport", report.dump());
  ASSERT_EQ(report["connected"], true) << report.dump();
  EXPECT_FALSE(report.contains("failure")) << report.dump();
  EXPECT_EQ(report["errors"], json::array()) << report.dump();

  EXPECT_EQ(report["protocolVersion"], "2024-11-05");
  EXPECT_EQ(report["serverVersion"]["name"], "glimmet");
  EXPECT_EQ(report["serverVersion"]["version"], std::string(GlimmetCore::version));
  EXPECT_THAT(report["instructions"].get<std::string>(), HasSubstr("Read only."));
  EXPECT_EQ(report["tools"], json({"status", "ports", "agents", "safety", "request_quit"}));

  const auto& calls = report["calls"];
  for (const char* tool : {"status", "ports", "agents"}) {
    EXPECT_EQ(calls[tool]["isError"], false) << tool;
    const auto document = json::parse(text(calls[tool]));
    EXPECT_EQ(document["schema"], 1) << tool;
    EXPECT_EQ(document["command"], tool) << tool;
  }
  EXPECT_EQ(calls["safety"]["isError"], false);
  EXPECT_TRUE(json::parse(text(calls["safety"])).contains("verdict"));
  const auto quit = json::parse(text(calls["request_quit"]));
  EXPECT_EQ(quit["accepted"], false);  // pid 1 is a system process: refused, never filed
  EXPECT_EQ(calls["off"]["isError"], true);
  EXPECT_EQ(text(calls["off"]),
            "MCP is off in Glimmet. Turn it on with glimmet settings set mcp.enabled true, "
            "then try again.");
  std::cout << "SDK session timings (ms): " << report["timings"].dump() << '\n';
}

}  // namespace
}  // namespace glimmet
