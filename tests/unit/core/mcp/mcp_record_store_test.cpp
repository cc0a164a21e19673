#include "core/mcp/mcp_record_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>
#include <vector>

#include "logic/mcp/mcp_records.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

using nlohmann::json;

json request(std::string id) {
  return MCPQuitRequest{.id = std::move(id),
                        .time = SystemTime(std::chrono::seconds(1'800'000'000)),
                        .kind = "port",
                        .port = 3000,
                        .note = "a/b"}
      .toJson();
}

TEST(MCPRecordStore, LogLinesAreAppendedUnderAPrivateLock) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  appendMCPLogLine(folder, "{\"tool\":\"ports\"}\n");
  appendMCPLogLine(folder, "{\"tool\":\"safety\"}\n");
  EXPECT_EQ(*platform::readFile(folder / "mcp-log.jsonl", 1 << 20),
            "{\"tool\":\"ports\"}\n{\"tool\":\"safety\"}\n");
  struct stat info {};
  ASSERT_EQ(::stat((folder / "mcp-log.lock").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(MCPRecordStore, InboxKeepsEarlierRequestsAndStartsOverFromAnUndecodableFile) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  addToMCPInbox(folder, request("A"));
  const auto inbox = folder / "mcp-inbox.json";
  auto first = json::parse(*platform::readFile(inbox, 1 << 20));
  first[0]["status"] = "answered";  // as the application would leave it
  platform::writeFileAtomically(inbox, first.dump(), 0600);
  addToMCPInbox(folder, request("B"));
  const auto text = *platform::readFile(inbox, 1 << 20);
  EXPECT_NE(text.find("\"note\" : \"a\\/b\""), std::string::npos) << text;
  const auto both = json::parse(text);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0]["status"], "answered");
  EXPECT_EQ(both[1], json({{"id", "B"},
                           {"time", "2027-01-15T08:00:00Z"},
                           {"kind", "port"},
                           {"port", 3000},
                           {"note", "a/b"},
                           {"status", "pending"}}));

  platform::writeFileAtomically(inbox, "{not json", 0600);
  addToMCPInbox(folder, request("C"));
  EXPECT_EQ(json::parse(*platform::readFile(inbox, 1 << 20)).size(), 1u);
}

TEST(MCPRecordStore, ADeeplyNestedInboxStartsOverSmall) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  std::filesystem::create_directories(folder);
  const auto inbox = folder / "mcp-inbox.json";
  platform::writeFileAtomically(inbox, std::string(100'000, '[') + std::string(100'000, ']'), 0600);
  addToMCPInbox(folder, request("A"));
  const auto text = *platform::readFile(inbox, 1 << 20);
  EXPECT_LT(text.size(), 1000u);
  EXPECT_EQ(json::parse(text).size(), 1u);
}

TEST(MCPRecordStore, AnInboxThatIsALinkIsNotFollowed) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  std::filesystem::create_directories(folder);
  dir.write("theirs.json", "[]");
  std::filesystem::create_symlink(dir.path() / "theirs.json", folder / "mcp-inbox.json");
  std::filesystem::create_symlink(dir.path() / "made.jsonl", folder / "mcp-log.jsonl");
  EXPECT_THROW(addToMCPInbox(folder, request("A")), platform::SystemError);
  EXPECT_THROW(appendMCPLogLine(folder, "{}\n"), platform::SystemError);
  EXPECT_EQ(dir.read("theirs.json"), "[]");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "made.jsonl"));
}

TEST(MCPRecordStore, ConcurrentWritersLoseNoRequest) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  std::vector<std::thread> writers;
  for (int i = 0; i < 8; ++i)
    writers.emplace_back([&, i] {
      for (int j = 0; j < 5; ++j) addToMCPInbox(folder, request(std::to_string(i * 10 + j)));
    });
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(json::parse(*platform::readFile(folder / "mcp-inbox.json", 1 << 20)).size(), 40u);
}

}  // namespace
}  // namespace glimmet
