#include "app/application_running.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

const SystemTime kStamp = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};

TEST(ApplicationRunning, ReadsTheStampFile) {
  testing::TempDir dir;
  EXPECT_FALSE(applicationIsRunning(JSONStore(dir.path()), kStamp));
  dir.write("mcp-heartbeat.json", "{\"time\":");
  EXPECT_FALSE(applicationIsRunning(JSONStore(dir.path()), kStamp));
  dir.write("mcp-heartbeat.json", R"({"time":"2026-12-07T00:00:00Z"})");
  EXPECT_TRUE(applicationIsRunning(JSONStore(dir.path()), kStamp + std::chrono::seconds(30)));
  EXPECT_FALSE(applicationIsRunning(JSONStore(dir.path()), kStamp + std::chrono::seconds(90)));
}

}  // namespace
}  // namespace glimmet
