// The companion's looks in process, over a private shared folder holding
// corrupt and hostile files: it keeps going, says each failure once and its
// end once, keeps the last reap across a restart, and takes its inputs again
// when their files change.
#include "app/companion_service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "core/settings/json_store.h"
#include "logic/agents/application_heartbeat.h"
#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

class CompanionServiceTest : public ::testing::Test {
 protected:
  CompanionServiceTest()
      : environment_(std::map<std::string, std::string, std::less<>>{
            {"HOME", (dir_ / "home").string()},
            {"XDG_DATA_HOME", (dir_ / "home/.local/share").string()},
            {"GLIMMET_SIGNATURES", (dir_ / "signatures.json").string()}}) {
    fs::create_directories(shared());
    fs::copy_file(std::string(GLIMMET_SOURCE_DIR) + "/data/signatures.json",
                  dir_ / "signatures.json");
  }

  fs::path shared() const { return dir_ / "home/.local/share/Glimmet"; }

  /// A moment `seconds` after the start, on both clocks.
  CompanionMoment at(int seconds) const {
    return {start_.wall + std::chrono::seconds(seconds),
            start_.steady + std::chrono::seconds(seconds)};
  }

  testing::TempDir dir_;
  Environment environment_;
  const CompanionMoment start_{std::chrono::system_clock::now(), std::chrono::steady_clock::now()};
};

TEST_F(CompanionServiceTest, GoesOnOverCorruptAndPlantedFilesAndSaysEachFailureOnce) {
  dir_.write("home/.local/share/Glimmet/ancestry.json", "\xff[[[");
  dir_.write("home/.local/share/Glimmet/companion.json", "{\"pid\":");
  dir_.write("home/.local/share/Glimmet/settings.json", "[1, 2");
  dir_.write("home/.local/share/Glimmet/protected.json", "null");
  // A folder where the heartbeat belongs can't be replaced by a file.
  dir_.write("home/.local/share/Glimmet/mcp-heartbeat.json/planted", "x");

  CompanionInputs inputs(environment_, {});
  const auto folder = platform::SharedFolder::create(shared());
  std::ostringstream log;
  CompanionService service(folder, inputs, 4242, std::nullopt, start_, environment_, log);
  for (int second = 0; second <= 65; ++second) service.look(at(second));
  EXPECT_EQ(count(log.str(), "mcp-heartbeat.json"), 1u) << log.str();
  EXPECT_THAT(log.str(), HasSubstr("tries again"));

  const JSONStore store(shared());
  const auto state = store.load<CompanionState>("companion.json");
  ASSERT_TRUE(state) << "rewritten whole over the corrupt one";
  EXPECT_EQ(state->pid, 4242);
  EXPECT_EQ(state->startedAt, std::chrono::time_point_cast<std::chrono::seconds>(start_.wall));

  fs::remove_all(shared() / "mcp-heartbeat.json");
  for (int second = 66; second <= 100; ++second) service.look(at(second));
  EXPECT_EQ(count(log.str(), "Wrote mcp-heartbeat.json again."), 1u) << log.str();
  const auto stamp = store.loadJson("mcp-heartbeat.json");
  ASSERT_TRUE(stamp);
  EXPECT_TRUE(heartbeatIsFresh(*stamp, at(100).wall));

  service.stop(at(101));
  EXPECT_FALSE(fs::exists(shared() / "mcp-heartbeat.json")) << "nobody is there any more";
  EXPECT_TRUE(fs::exists(shared() / "companion.json"));
}

TEST_F(CompanionServiceTest, KeepsTheLastReapOfThePreviousRun) {
  const CompanionReap reap{start_.wall - 1h, "schedule", false, 3, 2};
  CompanionState previous;
  previous.pid = 99999;
  previous.lastReap = reap;
  CompanionInputs inputs(environment_, {});
  const auto folder = platform::SharedFolder::create(shared());
  std::ostringstream log;
  CompanionService service(folder, inputs, 4242, previous, start_, environment_, log);
  service.look(at(0));
  const auto state = JSONStore(shared()).load<CompanionState>("companion.json");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->pid, 4242);
  ASSERT_TRUE(state->lastReap);
  EXPECT_EQ(state->lastReap->trigger, "schedule");
  EXPECT_EQ(state->lastReap->stopped, 2u);
  EXPECT_EQ(log.str(), "") << "nothing failed";
}

TEST_F(CompanionServiceTest, TakesChangedInputsAndKeepsSignaturesThatNoLongerLoad) {
  CompanionInputs inputs(environment_, {});
  const auto folder = platform::SharedFolder::create(shared());
  std::ostringstream log;
  CompanionService service(folder, inputs, 4242, std::nullopt, start_, environment_, log);
  service.look(at(0));
  ASSERT_TRUE(inputs.current().signatures);
  EXPECT_NE(inputs.current().settings.ghostMinimumAge, 42);

  dir_.write("home/.local/share/Glimmet/settings.json", R"({"ghostMinimumAge": 42})");
  service.look(at(1));
  EXPECT_EQ(inputs.current().settings.ghostMinimumAge, 42) << "read again, no restart";
  EXPECT_EQ(count(log.str(), "again: their files changed"), 1u);

  dir_.write("signatures.json", "{ not json");
  for (int second = 2; second < 10; ++second) service.look(at(second));
  EXPECT_TRUE(inputs.current().signatures) << "the ones read before stay";
  EXPECT_EQ(count(log.str(), "Couldn't read the signatures again"), 1u) << log.str();

  fs::copy_file(std::string(GLIMMET_SOURCE_DIR) + "/data/signatures.json", dir_ / "signatures.json",
                fs::copy_options::overwrite_existing);
  for (int second = 10; second < 15; ++second) service.look(at(second));
  EXPECT_EQ(count(log.str(), "Couldn't read the signatures again"), 1u);
  EXPECT_THAT(log.str(), Not(HasSubstr("Couldn't find")));
}

}  // namespace
}  // namespace glimmet
