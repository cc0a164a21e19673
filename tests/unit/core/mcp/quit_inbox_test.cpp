#include "core/mcp/quit_inbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/mcp/mcp_record_store.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

using nlohmann::json;

json request(const std::string& id) {
  return {{"id", id}, {"kind", "pid"}, {"pid", 4242}, {"status", "pending"}};
}

TEST(QuitInbox, WithoutASharedFolderNothingIsCreated) {
  testing::TempDir dir;
  const QuitInbox inbox(dir.path() / "Glimmet");
  bool seen = false;
  inbox.update([&](json& requests) {
    seen = requests == json::array();
    return true;
  });
  EXPECT_TRUE(seen);
  EXPECT_FALSE(inbox.holdForAnswer());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Glimmet"));
}

TEST(QuitInbox, AnInboxThatIsNotAListOfRequestsIsLeftAsItIs) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  const QuitInbox inbox(folder);
  for (const std::string& text :
       {std::string("[{\"id\": \"A\""), std::string("{\"id\": \"A\"}"), std::string("\"[]\""),
        std::string(10'000, '[') + std::string(10'000, ']')}) {
    dir.write("Glimmet/mcp-inbox.json", text);
    bool changed = false;
    try {
      inbox.update([&](json&) { return changed = true; });
      ADD_FAILURE() << "accepted " << text.substr(0, 20);
    } catch (const CommandFailure& failure) {
      EXPECT_EQ(failure.status(), ExitStatus::cannotStart);
      EXPECT_NE(std::string(failure.what()).find("leaves it as it is"), std::string::npos);
    }
    EXPECT_FALSE(changed);
    EXPECT_EQ(dir.read("Glimmet/mcp-inbox.json"), text);
  }
  // A link in the inbox's place is neither followed nor replaced.
  std::filesystem::remove(folder / "mcp-inbox.json");
  dir.write("theirs.json", "[]");
  std::filesystem::create_symlink(dir.path() / "theirs.json", folder / "mcp-inbox.json");
  EXPECT_THROW(inbox.update([](json&) { return true; }), CommandFailure);
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "mcp-inbox.json"));
}

TEST(QuitInbox, ChangesAreWrittenOnlyWhenAskedAndKeepTheFileFormat) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  addToMCPInbox(folder, request("A"));
  const auto before = dir.read("Glimmet/mcp-inbox.json");
  const QuitInbox inbox(folder);
  inbox.update([](json& requests) {
    requests[0]["status"] = "looked at";
    return false;
  });
  EXPECT_EQ(dir.read("Glimmet/mcp-inbox.json"), before);
  inbox.update([](json& requests) {
    requests[0]["message"] = "a/b";
    return true;
  });
  EXPECT_EQ(dir.read("Glimmet/mcp-inbox.json"),
            "[\n  {\n    \"id\" : \"A\",\n    \"kind\" : \"pid\",\n    \"message\" : \"a\\/b\",\n"
            "    \"pid\" : 4242,\n    \"status\" : \"pending\"\n  }\n]\n");
}

// Agents file requests while a person answers others: every request filed
// survives, and every answer sticks.
TEST(QuitInbox, AnswersAndFilingsAtOnceLoseNothing) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Glimmet";
  for (int i = 0; i < 20; ++i) addToMCPInbox(folder, request("OLD" + std::to_string(i)));
  const QuitInbox inbox(folder);
  std::vector<std::thread> threads;
  for (int writer = 0; writer < 4; ++writer)
    threads.emplace_back([&, writer] {
      for (int j = 0; j < 10; ++j)
        addToMCPInbox(folder, request("NEW" + std::to_string(writer * 10 + j)));
    });
  for (int answerer = 0; answerer < 2; ++answerer)
    threads.emplace_back([&, answerer] {
      for (int j = answerer; j < 20; j += 2)
        inbox.update([&](json& requests) {
          for (auto& entry : requests)
            if (entry["id"] == "OLD" + std::to_string(j)) entry["status"] = "declined";
          return true;
        });
    });
  for (auto& thread : threads) thread.join();
  const auto requests = json::parse(dir.read("Glimmet/mcp-inbox.json"));
  ASSERT_EQ(requests.size(), 60u);
  int declined = 0;
  for (const auto& entry : requests) declined += entry["status"] == "declined";
  EXPECT_EQ(declined, 20);
}

TEST(QuitInbox, OneAnswerAtATime) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir.path() / "Glimmet");
  const QuitInbox inbox(dir.path() / "Glimmet");
  auto held = inbox.holdForAnswer();
  ASSERT_TRUE(held);
  std::atomic<bool> done = false;
  std::thread other([&] {
    // A second holder in this process waits like another program would; it
    // is let go of here before its wait ends.
    const auto second = inbox.holdForAnswer();
    done = static_cast<bool>(second);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(done);
  held.reset();
  other.join();
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace glimmet
