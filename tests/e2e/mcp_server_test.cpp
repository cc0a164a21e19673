// glimmet mcp over a pipe, with the message sequences MCP clients send: the
// handshake, pings, tool listings and calls, in both framings, whole and in
// pieces, and hostile input between well-formed messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <string>

#include "mcp_pipe_client.h"
#include "support/isolated_home.h"

namespace glimmet {
namespace {

using nlohmann::json;

json request(json id, const std::string& method, json params = json::object()) {
  return {
      {"jsonrpc", "2.0"}, {"id", std::move(id)}, {"method", method}, {"params", std::move(params)}};
}

class MCPServer : public ::testing::Test {
 protected:
  void SetUp() override { std::signal(SIGPIPE, SIG_IGN); }
  void turn(bool on) {
    home_.dir().write("home/.local/share/Glimmet/settings.json",
                      json{{"mcp", {{"enabled", on}}}}.dump());
  }
  std::vector<json> logLines() const {
    std::vector<json> lines;
    const auto path = home_.sharedFolder() / "mcp-log.jsonl";
    if (!std::filesystem::exists(path)) return lines;
    const auto text = home_.dir().read("home/.local/share/Glimmet/mcp-log.jsonl");
    for (std::size_t start = 0; start < text.size();) {
      const auto end = text.find('\n', start);
      lines.push_back(json::parse(text.substr(start, end - start)));
      start = end + 1;
    }
    return lines;
  }

  testing::IsolatedHome home_;
};

TEST_F(MCPServer, AClientSessionFromHandshakeToEndOfInput) {
  turn(true);
  testing::MCPPipe mcp(home_);
  const auto hello = mcp.ask(request(0, "initialize",
                                     {{"protocolVersion", "2024-11-05"},
                                      {"capabilities", json::object()},
                                      {"clientInfo", {{"name", "test"}, {"version", "1"}}}}));
  EXPECT_EQ(hello["id"], 0);
  EXPECT_EQ(hello["result"]["protocolVersion"], "2024-11-05");
  EXPECT_EQ(hello["result"]["serverInfo"]["name"], "glimmet");

  mcp.send({{"jsonrpc", "2.0"}, {"method", "notifications/initialized"}});
  EXPECT_EQ(mcp.ask({{"jsonrpc", "2.0"}, {"method", "ping"}}),
            json({{"jsonrpc", "2.0"}, {"result", json::object()}}));
  EXPECT_EQ(mcp.ask(request("p-1", "ping"))["id"], "p-1");
  EXPECT_FALSE(mcp.ask(request(nullptr, "ping")).contains("id"));

  const auto tools = mcp.ask(request(2, "tools/list"))["result"]["tools"];
  EXPECT_EQ(tools.size(), 5u);
  EXPECT_EQ(mcp.ask(request(3, "prompts/list"))["error"],
            json({{"code", -32601}, {"message", "Method not found"}}));

  const auto ports = mcp.call("ports");
  EXPECT_EQ(ports["isError"], false);
  const auto document = json::parse(ports["content"][0]["text"].get<std::string>());
  EXPECT_EQ(document["command"], "ports");
  EXPECT_EQ(document["schema"], 1);

  mcp.closeInput();
  EXPECT_EQ(mcp.waitForExit(20), 0);
  EXPECT_EQ(mcp.unread(), "");
  const auto log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["tool"], "ports");
  EXPECT_EQ(log[0]["result"], "ok");
}

TEST_F(MCPServer, BothFramingsInOneWriteAreEachAnsweredInTheirOwn) {
  testing::MCPPipe mcp(home_);
  const auto framed = request(2, "ping").dump();
  mcp.write(request(1, "ping").dump() + "\nContent-Length: " + std::to_string(framed.size()) +
            "\r\n\r\n" + framed + request(3, "ping").dump() + "\n");
  for (int id : {1, 2, 3}) {
    EXPECT_EQ((*mcp.readMessage())["id"], id);
    EXPECT_EQ(mcp.lastWasFramed(), id == 2) << id;
  }
}

// A line answer stays one line whatever it carries: line feeds inside the
// text of a tool's document are escaped, never written raw.
TEST_F(MCPServer, ALineAnswerIsOneLineEvenWhenItsTextHasLineFeeds) {
  turn(true);
  testing::MCPPipe mcp(home_);
  const auto answer = mcp.ask(request(1, "tools/list"));
  EXPECT_FALSE(mcp.lastWasFramed());
  EXPECT_EQ(answer["result"]["tools"].size(), 5u);
  const auto status = mcp.call("status");  // a pretty-printed document in a text item
  EXPECT_FALSE(mcp.lastWasFramed());
  EXPECT_NE(status["content"][0]["text"].get<std::string>().find('\n'), std::string::npos);
  EXPECT_EQ(mcp.unread(), "");
}

TEST_F(MCPServer, AFrameInTwoPiecesIsAnsweredOnceAfterTheSecond) {
  testing::MCPPipe mcp(home_);
  const auto body = request(7, "ping").dump();
  mcp.write("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, 10));
  EXPECT_FALSE(mcp.readFrame(500));
  mcp.write(body.substr(10));
  EXPECT_EQ((*mcp.readMessage())["id"], 7);
  EXPECT_FALSE(mcp.readFrame(300));
}

TEST_F(MCPServer, HostileInputIsSkippedAndWhatFollowsIsServed) {
  testing::MCPPipe mcp(home_);
  const json parseError = {{"jsonrpc", "2.0"},
                           {"error", {{"code", -32700}, {"message", "Parse error"}}}};
  mcp.write("Content-Length: 9223372036854775808\r\n\r\n");
  mcp.write("Content-Length: -4\r\n\r\n");
  mcp.write("Content-Length: many\r\n\r\n");
  mcp.write("GET / HTTP/1.1\r\n\x01\x02\x03 binary\n");
  mcp.write("{\"id\":1,\"method\":\"ping\",\"bad\":\"\xc3\x28\"}\n");  // not UTF-8: skipped
  EXPECT_EQ(mcp.ask(request(2, "ping"))["id"], 2);
  EXPECT_EQ(mcp.ask(json::parse("[1,2]")), parseError);
  mcp.write("{\"id\":3,\"method\":\"ping\"\n");
  EXPECT_EQ(*mcp.readMessage(), parseError);
  mcp.write("{\"id\":" + std::string(50000, '[') + std::string(50000, ']') + "}\n");
  EXPECT_EQ(*mcp.readMessage(), parseError);
  // 10 MB without a line feed, then the rest of that line and a ping.
  const std::string chunk(1 << 20, 'x');
  mcp.write("{\"junk\":\"");
  for (int i = 0; i < 10; ++i) mcp.write(chunk);
  mcp.write("\"}\n");
  EXPECT_EQ(mcp.ask(request(4, "ping"))["id"], 4);
}

TEST_F(MCPServer, InputEndingMidFrameEndsTheServerWithoutAnAnswer) {
  testing::MCPPipe mcp(home_);
  mcp.write("Content-Length: 40\r\n\r\n{\"id\":1,");
  mcp.closeInput();
  EXPECT_EQ(mcp.waitForExit(20), 0);
  EXPECT_FALSE(mcp.readFrame(200));
}

TEST_F(MCPServer, WhileOffTheProtocolWorksAndToolCallsAreRefusedAndLogged) {
  testing::MCPPipe mcp(home_);
  EXPECT_EQ(mcp.ask(request(1, "tools/list"))["result"]["tools"].size(), 5u);
  const auto refused = mcp.call("status");
  EXPECT_EQ(refused["isError"], true);
  EXPECT_EQ(refused["content"][0]["text"],
            "MCP is off in Glimmet. Turn it on with glimmet settings set mcp.enabled true, "
            "then try again.");
  // The switch is read for every message: no restart needed.
  turn(true);
  EXPECT_EQ(mcp.call("ports")["isError"], false);
  mcp.closeInput();
  ASSERT_EQ(mcp.waitForExit(20), 0);
  const auto log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0]["tool"], "status");
  EXPECT_EQ(log[0]["summary"], "off");
  EXPECT_EQ(log[0]["result"], "MCP is off");
  EXPECT_EQ(log[1]["tool"], "ports");
}

}  // namespace
}  // namespace glimmet
