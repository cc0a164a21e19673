#include "core/ghosts/ancestry_recorder.h"

#include <gtest/gtest.h>

#include "support/shipped_data.h"

#include "platform/files.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

const SignatureEngine& shipped() {
  return testing::shippedSignatures();
}

const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(2'000'000'000));

ProcessRecord process(pid_t pid, pid_t ppid, std::string argv0, std::uint64_t start = 5) {
  ProcessRecord r;
  r.identity = {pid, start};
  r.ppid = ppid;
  r.name = argv0.substr(argv0.rfind('/') + 1);
  r.argv = {argv0};
  return r;
}

constexpr const char* kOneRecord = R"([{"pid": 300, "startTime": 5, "recordedAt": 786000000,
  "chain": [{"pid": 100, "startTime": 4, "name": "claude",
             "root": {"id": "claude-code", "agent": "Claude Code", "kind": "agent"}},
            {"pid": 50, "startTime": 1, "name": "zsh"}]}])";

TEST(AncestryRecorder, ReadsRecordsAndTheLaterOfTwoWins) {
  const auto recorder = AncestryRecorder::fromJson(kOneRecord);
  ASSERT_EQ(recorder.size(), 1u);
  const auto* record = recorder.recordFor({300, 5});
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->chain.size(), 2u);
  EXPECT_EQ(record->chain[0].root->agent, "Claude Code");
  EXPECT_FALSE(record->chain[1].root);
  EXPECT_EQ(recorder.recordFor({300, 6}), nullptr) << "same pid, another process";
  EXPECT_FALSE(recorder.isDirty());

  const auto twice = AncestryRecorder::fromJson(
      R"([{"pid": 1, "startTime": 2, "recordedAt": 0, "chain": []},
          {"pid": 1, "startTime": 2, "recordedAt": 9, "chain": []}])");
  EXPECT_EQ(twice.recordFor({1, 2})->recordedAt, 9);
}

TEST(AncestryRecorder, AFileThatDoesNotDecodeIsNoRecords) {
  for (const char* bad :
       {"", "{}", "[1]", "[{\"pid\": \"300\", \"startTime\": 5, \"recordedAt\": 0, \"chain\": []}]",
        "[{\"pid\": 300, \"startTime\": -5, \"recordedAt\": 0, \"chain\": []}]",
        "[{\"pid\": 99999999999, \"startTime\": 5, \"recordedAt\": 0, \"chain\": []}]",
        "[{\"pid\": 3, \"startTime\": 5, \"recordedAt\": 0, \"chain\": [{\"pid\": 1}]}]",
        "[{\"pid\": 3, \"startTime\": 5, \"recordedAt\": 0, \"chain\": [{\"pid\": 1, "
        "\"startTime\": 1, \"name\": \"x\", \"root\": {\"id\": \"a\", \"agent\": \"A\", "
        "\"kind\": \"Agent\"}}]}]",
        "\xff\xfe[", "[[[[[[[[[[[[[[[[[[[["})
    EXPECT_EQ(AncestryRecorder::fromJson(bad).size(), 0u) << bad;
  testing::TempDir dir;
  EXPECT_EQ(AncestryRecorder::load(dir.path()).size(), 0u);
  dir.write("ancestry.json", kOneRecord);
  EXPECT_EQ(AncestryRecorder::load(dir.path()).size(), 1u);
}

TEST(AncestryRecorder, ObservesChainsUnderLiveRootsOnlyAndNeverReplacesOne) {
  auto recorder = AncestryRecorder::fromJson(kOneRecord);
  MatchCache cache(shipped());
  // 300 is recorded already; it now sits under another agent, which changes nothing.
  const ProcessSnapshot snapshot(
      kNow, {process(1, 0, "/sbin/init"), process(600, 1, "/home/me/.local/bin/codex"),
             process(300, 600, "node"), process(601, 600, "node"), process(602, 601, "esbuild"),
             process(700, 1, "bash"), process(701, 700, "vim"), process(800, 801, "a"),
             process(801, 800, "b")});
  recorder.observe(snapshot, kNow, cache);
  EXPECT_TRUE(recorder.isDirty());
  EXPECT_EQ(recorder.recordFor({300, 5})->chain[0].name, "claude");
  ASSERT_NE(recorder.recordFor({602, 5}), nullptr);
  const auto& chain = recorder.recordFor({602, 5})->chain;
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain[0].pid, 601);
  EXPECT_EQ(chain[1].root->id, "codex");
  EXPECT_EQ(recorder.recordFor({701, 5}), nullptr) << "no agent root in its chain";
  EXPECT_EQ(recorder.recordFor({800, 5}), nullptr) << "a parent loop ends the chain";
  EXPECT_EQ(recorder.size(), 3u) << "300 kept, 601 and 602 added";
}

TEST(AncestryRecorder, WritesWhatItReadsBackWhateverTheNamesHold) {
  AncestryRecorder recorder;
  MatchCache cache(shipped());
  auto hostile = process(401, 400, "x");
  hostile.name = "a\"b\\c\nd/e\x01";
  auto broken = process(402, 401, "y");
  broken.name = "caf\xc3";  // a name the kernel cut inside a character
  const ProcessSnapshot snapshot(kNow, {process(400, 1, "/home/me/.local/bin/claude", 7), hostile,
                                        broken, process(403, 402, "node")});
  recorder.observe(snapshot, kNow + std::chrono::microseconds(123457), cache);
  ASSERT_EQ(recorder.size(), 3u);

  const auto text = recorder.toJson();
  EXPECT_EQ(text.find('\n'), std::string::npos) << "compact";
  const auto again = AncestryRecorder::fromJson(text);
  ASSERT_EQ(again.size(), 3u);
  for (const pid_t pid : {401, 402, 403}) {
    const auto* written = recorder.recordFor({pid, 5});
    const auto* read = again.recordFor({pid, 5});
    ASSERT_NE(read, nullptr) << pid;
    EXPECT_EQ(read->recordedAt, written->recordedAt);
    ASSERT_EQ(read->chain.size(), written->chain.size());
    for (std::size_t i = 0; i < read->chain.size(); ++i) {
      EXPECT_EQ(read->chain[i].identity(), written->chain[i].identity());
      EXPECT_EQ(read->chain[i].root, written->chain[i].root);
    }
  }
  const auto& chain = again.recordFor({403, 5})->chain;
  EXPECT_EQ(chain[1].name, "a\"b\\c\nd/e\x01");
  EXPECT_EQ(chain[0].name, "caf\xEF\xBF\xBD") << "ill-formed UTF-8 is replaced, not written";
  EXPECT_EQ(chain[2].root->agent, "Claude Code");
  EXPECT_EQ(AncestryRecorder().toJson(), "[]");
}

TEST(Origin, LabelsAndKeywords) {
  EXPECT_EQ(Origin::exact("Claude Code", {1, 2}).fullLabel(), "Claude Code");
  EXPECT_EQ(Origin::likely("Codex", "environment").fullLabel(), "likely Codex");
  EXPECT_EQ(Origin::of(Origin::Kind::unknownAgent).keyword(), "unknown");
  EXPECT_EQ(Origin::of(Origin::Kind::orphanedDevServer).shortLabel(),
            "Orphaned dev server (terminal closed)");
  EXPECT_EQ(Origin::likely("Codex", "environment").shortLabel(), "Agent");
}

}  // namespace
}  // namespace glimmet
