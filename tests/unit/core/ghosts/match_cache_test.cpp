#include "core/ghosts/match_cache.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include "support/shipped_data.h"

#include "core/process/process_enumerator.h"
#include "platform/files.h"
#include "support/child_process.h"

namespace glimmet {
namespace {

const SignatureEngine& shipped() {
  return testing::shippedSignatures();
}

ProcessRecord record(pid_t pid, pid_t ppid, std::vector<std::string> argv,
                     std::uint64_t startTime = 1'000'000) {
  ProcessRecord r;
  r.identity = {pid, startTime};
  r.ppid = ppid;
  r.name = argv.empty() ? "?" : argv.front().substr(argv.front().rfind('/') + 1);
  r.argv = std::move(argv);
  return r;
}

const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(100));

TEST(MatchCache, AnswersEachQuestionOncePerIdentityNotPerPID) {
  MatchCache cache(shipped());
  const auto vite = record(40, 1, {"node", "/app/node_modules/.bin/vite", "--port", "5173"});
  EXPECT_EQ(cache.framework(vite), "Vite");
  EXPECT_FALSE(cache.agentRoot(vite));
  EXPECT_FALSE(cache.ghostSignature(vite));
  // The same pid reused by another process is matched afresh.
  const auto reused = record(40, 1, {"claude", "--resume"}, 2'000'000);
  EXPECT_EQ(cache.agentRoot(reused)->id, "claude-code");
  EXPECT_EQ(cache.framework(reused), std::nullopt);
  // A record of the same identity is served from the cache, even if it now reads
  // differently: one answer per process per run.
  EXPECT_EQ(cache.framework(record(40, 1, {"rails", "server"})), "Vite");
}

TEST(MatchCache, AnEmptyArgumentVectorIsMatchedByNameAlone) {
  auto unreadable = record(50, 1, {});
  unreadable.name = "claude";
  EXPECT_EQ(SignatureEngine::matchingText(MatchInput::of(unreadable)), "claude");
  MatchCache cache(shipped());
  EXPECT_EQ(cache.agentRoot(unreadable)->agent, "Claude Code");
}

TEST(AgentRootAncestor, WalksParentsUntilARootAMissingParentOrPIDOne) {
  const ProcessSnapshot snapshot(
      kNow, {record(1, 0, {"/sbin/init"}), record(10, 1, {"/usr/local/bin/claude"}),
             record(11, 10, {"/bin/zsh", "-c", "npm run dev"}),
             record(12, 11, {"node", "node_modules/.bin/vite"}), record(20, 1, {"/usr/bin/bash"}),
             record(21, 20, {"node", "server.js"}), record(30, 99, {"node", "orphan.js"})});
  MatchCache cache(shipped());
  for (const auto* engineOrCache : {"cache", "engine"}) {
    const auto has = [&](pid_t pid) {
      const auto& r = *snapshot.record(pid);
      return std::string(engineOrCache) == "cache" ? hasAgentRootAncestor(r, snapshot, cache)
                                                   : hasAgentRootAncestor(r, snapshot, shipped());
    };
    EXPECT_TRUE(has(12)) << engineOrCache;
    EXPECT_TRUE(has(11)) << engineOrCache;
    EXPECT_FALSE(has(10)) << "a root's own match doesn't count";
    EXPECT_FALSE(has(21)) << "init is never a root";
    EXPECT_FALSE(has(30)) << "parent missing from the snapshot";
  }
}

TEST(AgentRootAncestor, AParentLoopEndsTheWalk) {
  const ProcessSnapshot snapshot(
      kNow, {record(5, 6, {"a"}), record(6, 7, {"b"}), record(7, 5, {"c"}), record(8, 8, {"d"})});
  MatchCache cache(shipped());
  EXPECT_FALSE(hasAgentRootAncestor(*snapshot.record(5), snapshot, cache));
  EXPECT_FALSE(hasAgentRootAncestor(*snapshot.record(8), snapshot, cache));
}

TEST(MatchCache, MatchesARealProcessTreeStartedUnderAnAgent) {
  auto agent = testing::ChildProcess::helper(
      {"child-as", "node", "/work/app/node_modules/.bin/vite", "--port", "5173"},
      {.argv0 = "claude"});
  const auto pids = agent.reportedNumbers();
  ASSERT_EQ(pids.size(), 2u);
  const auto childPID = static_cast<pid_t>(pids[1]);
  ProcessEnumerator enumerator(::getuid());
  // The child may still be between fork and exec for an instant.
  std::optional<ProcessSnapshot> snapshot;
  for (int attempt = 0; attempt < 200; ++attempt) {
    snapshot = enumerator.snapshot(std::chrono::system_clock::now());
    const auto* child = snapshot->record(childPID);
    if (child != nullptr && !child->argv.empty() && child->argv.front() == "node") break;
    ::usleep(10'000);
  }
  MatchCache cache(shipped());
  const auto* parent = snapshot->record(agent.pid());
  const auto* child = snapshot->record(childPID);
  ASSERT_NE(parent, nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(cache.agentRoot(*parent)->id, "claude-code");
  EXPECT_EQ(cache.framework(*child), "Vite");
  EXPECT_FALSE(cache.agentRoot(*child));
  EXPECT_TRUE(hasAgentRootAncestor(*child, *snapshot, cache));
  EXPECT_FALSE(hasAgentRootAncestor(*parent, *snapshot, cache))
      << "the test runner above it is no agent";
}

}  // namespace
}  // namespace glimmet
