#include "logic/mcp/mcp_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace glimmet {
namespace {

using nlohmann::json;

class MCPServerTest : public ::testing::Test {
 protected:
  MCPServerTest() {
    server_.enabled = true;
    server_.status = [] { return std::string("{\"command\":\"status\"}\n"); };
    server_.ports = [] { return std::string("{}"); };
    server_.agents = []() -> std::string { throw MCPToolError("No sessions here."); };
    server_.safety = [this](const MCPTarget& target) {
      asked_.push_back(target);
      return verdict_;
    };
    server_.requestQuit = [this](const MCPQuitRequest& request) { filed_.push_back(request); };
    server_.log = [this](const MCPLogEntry& entry) { log_.push_back(entry); };
    server_.now = [] { return SystemTime{}; };
    server_.newRequestID = [] { return std::string("REQ-1"); };
  }

  std::optional<json> send(std::string_view message) {
    const auto response = server_.handle(message);
    if (!response) return std::nullopt;
    return json::parse(*response);
  }

  json call(const json& params) {
    return *send(
        json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/call"}, {"params", params}}.dump());
  }
  static std::string text(const json& response) {
    return response["result"]["content"][0]["text"].get<std::string>();
  }
  static bool isError(const json& response) { return response["result"]["isError"].get<bool>(); }

  MCPServer server_;
  MCPSafetyVerdict verdict_{
      "askFirst",
      "Glimmet will ask you through the companion or glimmet requests before it stops anything.",
      "node"};
  std::vector<MCPTarget> asked_;
  std::vector<MCPQuitRequest> filed_;
  std::vector<MCPLogEntry> log_;
};

TEST_F(MCPServerTest, HandshakeAndPing) {
  const auto hello = *send(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})");
  EXPECT_EQ(hello["id"], 0);
  EXPECT_EQ(hello["result"]["protocolVersion"], "2024-11-05");
  EXPECT_EQ(hello["result"]["capabilities"], json({{"tools", json::object()}}));
  EXPECT_EQ(hello["result"]["serverInfo"], json({{"name", "glimmet"}, {"version", "1.3.0"}}));
  EXPECT_THAT(hello["result"]["instructions"].get<std::string>(),
              ::testing::StartsWith("Read only."));
  EXPECT_EQ(*server_.handle(R"({"jsonrpc":"2.0","id":"x","method":"ping"})"),
            R"({"id":"x","jsonrpc":"2.0","result":{}})");
}

TEST_F(MCPServerTest, IDsComeBackAsTheyWereSentAndNullOrMissingIDsAreLeftOut) {
  EXPECT_EQ((*send(R"({"id":12.5,"method":"ping"})"))["id"], 12.5);
  EXPECT_FALSE(send(R"({"id":null,"method":"ping"})")->contains("id"));
  EXPECT_FALSE(send(R"({"method":"ping"})")->contains("id"));
  EXPECT_EQ((*send(R"({"id":{"odd":[1]},"method":"ping"})"))["id"], json({{"odd", {1}}}));
}

TEST_F(MCPServerTest, NotificationsGetNoAnswerUnlessTheyCarryAnID) {
  EXPECT_FALSE(server_.handle(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"));
  EXPECT_FALSE(server_.handle(R"({"method":"notifications/cancelled","params":{}})"));
  EXPECT_EQ((*send(R"({"id":3,"method":"notifications/x"})"))["error"]["code"], -32601);
}

TEST_F(MCPServerTest, AnswersBadInputWithTheProtocolErrors) {
  const json parseError = {{"jsonrpc", "2.0"},
                           {"error", {{"code", -32700}, {"message", "Parse error"}}}};
  for (const char* bad : {"{nope", "[1,2]", "{\"id\":1", "{}{}"})
    EXPECT_EQ(*send(bad), parseError) << bad;
  EXPECT_EQ(*send(std::string(200, '[') + std::string(200, ']')), parseError);
  EXPECT_EQ(*send("{\"id\":" + std::string(100000, '[') + std::string(100000, ']') + "}"),
            parseError);
  const auto unknown = *send(R"({"id":1,"method":"resources/list"})");
  EXPECT_EQ(unknown["error"], json({{"code", -32601}, {"message", "Method not found"}}));
  EXPECT_EQ((*send(R"({"id":1,"method":7})"))["error"]["code"], -32601);
  EXPECT_EQ((*send(R"({"id":1})"))["error"]["code"], -32601);
  EXPECT_FALSE(server_.handle("{\"id\":1,\"method\":\"ping\",\"x\":\"\xff\"}"));
}

TEST_F(MCPServerTest, ListsFiveToolsWithObjectSchemas) {
  const auto tools = (*send(R"({"id":1,"method":"tools/list"})"))["result"]["tools"];
  std::vector<std::string> names;
  for (const auto& tool : tools) {
    names.push_back(tool["name"]);
    EXPECT_EQ(tool["inputSchema"]["type"], "object");
    EXPECT_TRUE(tool["inputSchema"]["properties"].is_object());
  }
  EXPECT_THAT(names, ::testing::ElementsAre("status", "ports", "agents", "safety", "request_quit"));
  EXPECT_EQ(tools[4]["inputSchema"]["properties"]["note"]["description"],
            "Why you are asking. Secrets are redacted.");
}

TEST_F(MCPServerTest, WhileOffEveryCallIsRefusedAndLogged) {
  server_.enabled = false;
  EXPECT_EQ((*send(R"({"id":1,"method":"tools/list"})"))["result"]["tools"].size(), 5u);
  const auto refused = call({{"name", "status"}});
  EXPECT_TRUE(isError(refused));
  EXPECT_EQ(text(refused), MCPServer::offMessage);
  call(json::object());
  ASSERT_EQ(log_.size(), 2u);
  EXPECT_EQ(log_[0].tool, "status");
  EXPECT_EQ(log_[0].summary, "off");
  EXPECT_EQ(log_[0].result, "MCP is off");
  EXPECT_EQ(log_[1].tool, "tools/call");
}

TEST_F(MCPServerTest, DataToolsReturnTheirDocumentsAndFailuresAsErrorResults) {
  const auto status = call({{"name", "status"}});
  EXPECT_FALSE(isError(status));
  EXPECT_EQ(text(status), "{\"command\":\"status\"}\n");
  const auto agents = call({{"name", "agents"}});
  EXPECT_TRUE(isError(agents));
  EXPECT_EQ(text(agents), "No sessions here.");
  const auto unknown = call({{"name", "reboot"}});
  EXPECT_EQ(text(unknown), "Unknown tool.");
  ASSERT_EQ(log_.size(), 3u);
  EXPECT_EQ(log_[0].result, "ok");
  EXPECT_EQ(log_[1].result, "error");
  EXPECT_EQ(log_[2].summary, "unknown tool");
}

TEST_F(MCPServerTest, ReadsIntegerArgumentsStrictly) {
  for (const json& arguments : {json{{"pid", "1234"}}, json{{"pid", true}}, json{{"pid", nullptr}},
                                json{{"pid", 4294967296.0}}, json::object()}) {
    const auto response = call({{"name", "safety"}, {"arguments", arguments}});
    EXPECT_TRUE(isError(response)) << arguments;
    EXPECT_EQ(text(response), "Say which pid, port or sessionPid.");
  }
  EXPECT_TRUE(asked_.empty());
  EXPECT_EQ(log_.back().summary, "missing target");
  call({{"name", "safety"}, {"arguments", {{"pid", 1234.9}}}});
  call({{"name", "safety"}, {"arguments", {{"pid", -7.5}}}});
  ASSERT_EQ(asked_.size(), 2u);
  EXPECT_EQ(asked_[0].pid, 1234);
  EXPECT_EQ(asked_[1].pid, -7);
}

TEST_F(MCPServerTest, SafetyAnswersWithTheVerdictAndLogsTheTarget) {
  const auto response =
      call({{"name", "safety"}, {"arguments", {{"port", 3000}, {"sessionPid", 42}}}});
  EXPECT_FALSE(isError(response));
  EXPECT_EQ(json::parse(text(response)),
            json({{"name", "node"}, {"reason", verdict_.reason}, {"verdict", "askFirst"}}));
  EXPECT_EQ(log_.back().summary, "session 42");
  EXPECT_EQ(log_.back().result, "askFirst");
}

TEST_F(MCPServerTest, RequestQuitRefusesWithoutFiling) {
  verdict_ = {"leaveAlone", "Owned by another user.", "sleep"};
  const auto response = call({{"name", "request_quit"}, {"arguments", {{"pid", 900}}}});
  EXPECT_FALSE(isError(response));
  EXPECT_EQ(
      json::parse(text(response)),
      json({{"accepted", false}, {"verdict", "leaveAlone"}, {"reason", "Owned by another user."}}));
  EXPECT_TRUE(filed_.empty());
  EXPECT_EQ(log_.back().result, "refused: Owned by another user.");
}

TEST_F(MCPServerTest, RequestQuitFilesARedactedRequest) {
  const auto response = call(
      {{"name", "request_quit"},
       {"arguments", {{"pid", 900}, {"port", 3000}, {"note", "idle --api-key=sk-123 server"}}}});
  ASSERT_EQ(filed_.size(), 1u);
  EXPECT_EQ(filed_[0].kind, "pid");
  EXPECT_EQ(filed_[0].pid, 900);
  EXPECT_EQ(filed_[0].port, 3000);
  EXPECT_EQ(filed_[0].status, "pending");
  EXPECT_EQ(filed_[0].note, "idle --api-key=\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2 server");
  const auto answer = json::parse(text(response));
  EXPECT_EQ(answer["accepted"], true);
  EXPECT_EQ(answer["requestId"], "REQ-1");
  EXPECT_EQ(answer["appRunning"], false);
  EXPECT_EQ(answer["message"],
            "The companion isn't running. The request waits until you answer it with glimmet "
            "requests or start the companion, and nothing stops until you confirm.");
  EXPECT_EQ(log_.back().summary, "pid 900 port 3000");
  EXPECT_EQ(log_.back().result, "accepted");

  server_.appRunning = true;
  call({{"name", "request_quit"}, {"arguments", {{"sessionPid", 42}, {"note", 5}}}});
  ASSERT_EQ(filed_.size(), 2u);
  EXPECT_EQ(filed_[1].kind, "session");
  EXPECT_FALSE(filed_[1].note);
}

TEST_F(MCPServerTest, AnInboxThatCannotBeWrittenIsAnErrorResult) {
  server_.requestQuit = [](const MCPQuitRequest&) { throw std::runtime_error("disk full"); };
  server_.log = [](const MCPLogEntry&) { throw std::runtime_error("disk full"); };
  const auto response = call({{"name", "request_quit"}, {"arguments", {{"port", 3000}}}});
  EXPECT_TRUE(isError(response));
  EXPECT_EQ(text(response), "Couldn't file the request for Glimmet. Nothing was stopped.");
}

}  // namespace
}  // namespace glimmet
