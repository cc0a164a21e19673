// glimmet requests against real processes: a request filed through glimmet mcp
// for a stand-in agent's session (the test helper run as claude) is listed,
// refused from a pipe and carried out after a yes on a pty; declines, corrupt
// inboxes, requests naming what isn't the user's to stop, and a thousand
// pending requests. Tests signal only the processes they start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/kill/kill_log.h"
#include "logic/mcp/mcp_records.h"
#include "mcp_pipe_client.h"
#include "support/child_process.h"
#include "support/isolated_home.h"
#include "support/process_alive.h"
#include "support/schema.h"
#include "support/started_process.h"

namespace glimmet {
namespace {

using nlohmann::json;
using testing::alive;
using testing::ChildProcess;
using ::testing::HasSubstr;
using testing::Started;
using namespace std::chrono_literals;

class QuitRequests : public ::testing::Test {
 protected:
  void SetUp() override { std::signal(SIGPIPE, SIG_IGN); }

  void write(const std::string& name, const std::string& text) {
    home_.dir().write("home/.local/share/Glimmet/" + name, text);
  }
  std::string inboxText() const {
    return home_.dir().read("home/.local/share/Glimmet/mcp-inbox.json");
  }
  json inbox() const { return json::parse(inboxText()); }
  // The inbox entry of request `id` as it is now; null when there is none.
  json entry(const std::string& id) const {
    for (const auto& request : inbox())
      if (request["id"] == id) return request;
    return nullptr;
  }
  // Requests as an agent would have filed them; see filedAgo.
  void file(const std::vector<MCPQuitRequest>& requests) {
    auto array = json::array();
    for (const auto& request : requests) array.push_back(request.toJson());
    write("mcp-inbox.json", array.dump(2));
  }
  // A request filed `age` ago. A process that started after that is another one
  // than the request named, so requests for the test's own fresh processes are
  // filed a second ago.
  static MCPQuitRequest filedAgo(std::string id, std::chrono::seconds age, pid_t pid) {
    return {.id = std::move(id),
            .time = std::chrono::system_clock::now() - age,
            .kind = "pid",
            .pid = pid};
  }
  testing::RunResult answerAtTerminal(const std::string& id, const std::string& typed = "yes\n") {
    auto result = home_.glimmet({"requests", "answer", id}, {.input = typed, .onTerminal = true});
    result.out = testing::withoutCarriageReturns(result.out);
    return result;
  }

  testing::IsolatedHome home_;
};

TEST_F(QuitRequests, ASessionRequestFromMCPIsListedRefusedFromAPipeAndCarriedOutAfterAYes) {
  write("settings.json", R"({"mcp": {"enabled": true}})");
  write("protected.json",
        R"({"userRules": [{"kind": "commandGlob", "pattern": "*keep-me-b71*"}]})");
  const std::string helper = testing::helperBinary().string();
  auto agent = ChildProcess::helper(
      {"agent", helper, "sleep", "plain-b71", "--", helper, "sleep", "keep-me-b71"},
      {.argv0 = "claude"});
  const Started plain(static_cast<pid_t>(agent.reportedNumbers().at(0)));
  const Started kept(static_cast<pid_t>(agent.reportedNumbers().at(1)));

  std::string id;
  {
    testing::MCPPipe mcp(home_);
    const auto filed = mcp.call(
        "request_quit", {{"sessionPid", agent.pid()}, {"note", "tidy up --token s3cr3t-value"}});
    const auto answer = json::parse(filed["content"][0]["text"].get<std::string>());
    ASSERT_EQ(answer["accepted"], true) << answer.dump();
    id = answer["requestId"];
  }
  const auto session = "session " + std::to_string(agent.pid()) + " (Claude Code)";

  const auto listed = home_.glimmet({"requests"});
  EXPECT_EQ(listed.status, 0) << listed.out;
  EXPECT_THAT(listed.out, HasSubstr(id + "  "));
  EXPECT_THAT(listed.out, HasSubstr(session));
  EXPECT_THAT(listed.out,
              HasSubstr("  Note: tidy up --token \xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\n"));
  EXPECT_THAT(listed.out, HasSubstr("  Now: Stops 1 of 3 processes"));
  EXPECT_EQ(listed.out.find("s3cr3t"), std::string::npos);
  const auto document = home_.glimmet({"requests", "--json"});
  EXPECT_EQ(document.status, 0);
  EXPECT_EQ(testing::schemaProblems("requests", document.out), "");
  EXPECT_EQ(json::parse(document.out)["requests"][0]["verdict"], "askFirst");

  // An agent that runs the command has no terminal: it learns that a person must.
  const auto piped = home_.glimmet({"requests", "answer", id}, {.input = "yes\n"});
  EXPECT_EQ(piped.status, 3);
  EXPECT_THAT(piped.out, HasSubstr("Stop 1 process? Type yes: \nrequests answer needs a yes "
                                   "typed at a terminal. An assistant can't confirm this.\n"));
  EXPECT_TRUE(alive(plain.pid()));
  EXPECT_EQ(entry(id)["status"], "pending");
  EXPECT_TRUE(KillLog(home_.sharedFolder()).read().empty());

  const auto no = answerAtTerminal(id, "no\n");
  EXPECT_EQ(no.status, 1);
  EXPECT_THAT(no.out, HasSubstr("Nothing stopped. The request stays pending"));
  EXPECT_TRUE(alive(plain.pid()));

  const auto yes = answerAtTerminal(id);
  EXPECT_EQ(yes.status, 0) << yes.out;
  EXPECT_THAT(yes.out, HasSubstr("What: " + session + "\n"));
  EXPECT_THAT(yes.out, HasSubstr("Stop:\n  PID " + std::to_string(plain.pid()) + "  "));
  EXPECT_THAT(yes.out, HasSubstr("Left alone:\n  PID " + std::to_string(agent.pid())));
  EXPECT_THAT(yes.out, HasSubstr("  Protected by default: AI agents\n"));
  EXPECT_THAT(yes.out, HasSubstr("  PID " + std::to_string(kept.pid()) + "  "));
  EXPECT_THAT(yes.out, HasSubstr("  Protected by your rule\n"));
  EXPECT_THAT(yes.out, HasSubstr("Freed PID " + std::to_string(plain.pid()) + " and "));
  EXPECT_THAT(yes.out, HasSubstr("Answered " + id + ": done. Stopped 1 process and freed "));
  EXPECT_FALSE(alive(plain.pid()));
  EXPECT_TRUE(alive(kept.pid()));
  EXPECT_TRUE(alive(agent.pid()));

  const auto entries = KillLog(home_.sharedFolder()).read();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].pid, plain.pid());
  EXPECT_EQ(entries[0].trigger, KillLogEntry::Trigger::mcp);
  EXPECT_EQ(entries[0].label(), "Assistant request");
  const auto receipt = entry(id);
  EXPECT_EQ(testing::schemaProblems("quitRequest", receipt.dump()), "");
  EXPECT_EQ(receipt["status"], "done");
  EXPECT_THAT(receipt["message"].get<std::string>(),
              HasSubstr("Left alone: PID " + std::to_string(agent.pid())));
  EXPECT_THAT(receipt["message"].get<std::string>(), HasSubstr("(Protected by your rule)"));
  EXPECT_TRUE(receipt.contains("answeredAt"));

  const auto again = answerAtTerminal(id);
  EXPECT_EQ(again.status, 1);
  EXPECT_THAT(again.out, HasSubstr("was already answered: done."));
  EXPECT_EQ(home_.glimmet({"requests"}).out, "No quit requests waiting.\n");
}

TEST_F(QuitRequests, APortRequestStopsTheServerAndWhatItStarted) {
  auto server = ChildProcess::helper({"listen-fork", "127.0.0.1"});
  const auto port = static_cast<std::int32_t>(server.reportedNumbers().at(0));
  const Started child(static_cast<pid_t>(server.reportedNumbers().at(1)));
  std::this_thread::sleep_for(2100ms);  // dev servers are listed once 2 s old
  file({{.id = "PORT",
         .time = std::chrono::system_clock::now() - 1s,
         .kind = "port",
         .port = port}});
  const auto answered = answerAtTerminal("PORT");
  EXPECT_EQ(answered.status, 0) << answered.out;
  EXPECT_THAT(answered.out, HasSubstr("What: port " + std::to_string(port) + " ("));
  EXPECT_THAT(answered.out, HasSubstr("Stop:\n  PID " + std::to_string(server.pid()) + "  "));
  EXPECT_THAT(answered.out, HasSubstr("  :" + std::to_string(port)));
  EXPECT_THAT(answered.out, HasSubstr("\n  PID " + std::to_string(child.pid()) + "  "));
  EXPECT_THAT(answered.out, HasSubstr("Stop 2 processes? Type yes: "));
  EXPECT_FALSE(alive(server.pid()));
  EXPECT_FALSE(alive(child.pid()));
  EXPECT_EQ(entry("PORT")["status"], "done");
  EXPECT_EQ(KillLog(home_.sharedFolder()).read().size(), 1u) << "one tree, one entry";
}

TEST_F(QuitRequests, WithoutTheSignaturesNoSessionIsJudgedButADeclineStillWorks) {
  auto mine = ChildProcess::helper({"sleep"});
  file({filedAgo("A1", 1s, mine.pid()), filedAgo("B2", 1s, mine.pid())});
  home_.dir().write("bad-signatures.json", "{\"version\": 1, \"agentRoots\": [");
  home_.environment() = home_.environment().with("GLIMMET_SIGNATURES",
                                                 (home_.root() / "bad-signatures.json").string());
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"requests"}, {"requests", "answer", "A1"}}) {
    const auto result = home_.glimmet(arguments);
    EXPECT_EQ(result.status, 3);
    EXPECT_THAT(result.out, HasSubstr("Couldn't find Glimmet's signatures."));
  }
  EXPECT_EQ(home_.glimmet({"requests", "decline", "B2"}).status, 0);
  EXPECT_EQ(entry("A1")["status"], "pending");
  EXPECT_TRUE(alive(mine.pid()));
}

TEST_F(QuitRequests, DeclineStopsNothingAndSaysSo) {
  auto mine = ChildProcess::helper({"sleep"});
  file({filedAgo("A1", 1s, mine.pid()), filedAgo("B2", 1s, mine.pid())});
  const auto declined = home_.glimmet({"requests", "decline", "a1"});
  EXPECT_EQ(declined.status, 0);
  EXPECT_EQ(declined.out, "Declined A1. Nothing was stopped.\n");
  EXPECT_EQ(entry("A1")["status"], "declined");
  EXPECT_EQ(entry("A1")["message"], "You declined. Nothing was stopped.");
  EXPECT_EQ(entry("B2")["status"], "pending");
  EXPECT_TRUE(alive(mine.pid()));

  EXPECT_EQ(home_.glimmet({"requests", "decline", "A1"}).status, 1);
  const auto unknown = home_.glimmet({"requests", "answer", "NOPE"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "No quit request has the ID NOPE.\n");
}

TEST_F(QuitRequests, ACorruptInboxIsSaidAndLeftExactlyAsItIs) {
  for (const std::string text :
       {"[{\"id\": \"A1\",", "{\"id\": \"A1\", \"status\": \"pending\"}"}) {
    write("mcp-inbox.json", text);
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"requests"},
                                               {"requests", "--json"},
                                               {"requests", "answer", "A1"},
                                               {"requests", "decline", "A1"}}) {
      const auto result = home_.glimmet(arguments);
      EXPECT_EQ(result.status, 3) << arguments.back();
      EXPECT_THAT(result.out, HasSubstr("so glimmet leaves it as it is.")) << arguments.back();
    }
    EXPECT_EQ(inboxText(), text);
  }
}

// Requests an agent could not file (the server refuses them) but that a forged
// or stale inbox may hold: pid 1, another user's process, and a pid that a
// newer process took since the request. Each is left alone and said so.
TEST_F(QuitRequests, WhatIsNotYoursToStopNowIsLeftAloneAndSaidSo) {
  auto reused = ChildProcess::helper({"sleep"});
  std::optional<ChildProcess> theirs;
  if (::geteuid() == 0) theirs.emplace(ChildProcess::helper({"sleep"}, {.uid = 65534}));
  std::vector<MCPQuitRequest> requests = {filedAgo("SYSTEM", 1s, 1),
                                          filedAgo("REUSED", 3600s, reused.pid()),
                                          filedAgo("STALE", 25h, reused.pid())};
  if (theirs) requests.push_back(filedAgo("THEIRS", 1s, theirs->pid()));
  file(requests);

  const auto listed = home_.glimmet({"requests", "--json"});
  EXPECT_EQ(testing::schemaProblems("requests", listed.out), "");
  const auto rows = json::parse(listed.out)["requests"];
  ASSERT_EQ(rows.size(), requests.size() - 1) << "the stale request expired";
  EXPECT_EQ(rows[0]["reason"], "System process. Glimmet leaves it alone.");
  EXPECT_EQ(rows[1]["reason"], "PID " + std::to_string(reused.pid()) +
                                   " is another process now: it started after the request.");
  EXPECT_EQ(entry("STALE")["status"], "expired");

  const auto system = answerAtTerminal("SYSTEM");
  EXPECT_EQ(system.status, 3);
  EXPECT_THAT(system.out,
              HasSubstr("Answered SYSTEM: failed. Nothing was stopped. System process."));
  EXPECT_EQ(system.out.find("Type yes"), std::string::npos) << "nothing to ask about";
  const auto newer = answerAtTerminal("REUSED");
  EXPECT_EQ(newer.status, 1);
  EXPECT_THAT(newer.out, HasSubstr("is another process now: it started after the request."));
  EXPECT_EQ(entry("REUSED")["status"], "failed");
  EXPECT_TRUE(alive(reused.pid()));
  if (theirs) {
    const auto other = answerAtTerminal("THEIRS");
    EXPECT_EQ(other.status, 3);
    EXPECT_THAT(other.out, HasSubstr("Nothing was stopped. Owned by another user."));
    EXPECT_TRUE(alive(theirs->pid()));
  }
  EXPECT_TRUE(KillLog(home_.sharedFolder()).read().empty());
}

TEST_F(QuitRequests, AThousandPendingRequestsListQuicklyAndAnsweringOneKeepsTheRest) {
  auto mine = ChildProcess::helper({"sleep"});
  std::vector<MCPQuitRequest> requests;
  for (int i = 0; i < 1000; ++i)
    requests.push_back(
        filedAgo("R" + std::to_string(i), 1s, i == 500 ? mine.pid() : 5'000'000 + i));
  file(requests);

  const auto start = std::chrono::steady_clock::now();
  const auto listed = home_.glimmet({"requests", "--json"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(json::parse(listed.out)["requests"].size(), 1000u);
  // One survey for all of them; generous for a sanitizer build on a shared machine.
  EXPECT_LT(took, 10s);

  const auto answered = answerAtTerminal("R500");
  EXPECT_EQ(answered.status, 0) << answered.out;
  EXPECT_FALSE(alive(mine.pid()));
  const auto after = inbox();
  ASSERT_EQ(after.size(), 1000u);
  int pending = 0;
  for (const auto& request : after) pending += request["status"] == "pending";
  EXPECT_EQ(pending, 999);
  EXPECT_EQ(after[500]["status"], "done");
  EXPECT_EQ(after[999]["id"], "R999");
}

}  // namespace
}  // namespace glimmet
