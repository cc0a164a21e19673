// The memory of what tools said: good for a day, under the same variables,
// and read back only from what it wrote.
#include "core/disk/tool_folder_memory.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

const SystemTime kNow = SystemTime(std::chrono::seconds(1'800'000'000));

TEST(ToolFolderMemory, AnAnswerStandsForADayWhileItsVariablesStayAsTheyWere) {
  const auto plain = Environment().with("HOME", "/home/ada");
  ToolFolderMemory memory;
  memory.remember({{PathLookup::npmConfigCache, "/data/npm/_cacache"}}, kNow, plain);
  const std::map<PathLookup, std::string> npm = {
      {PathLookup::npmConfigCache, "/data/npm/_cacache"}};
  EXPECT_EQ(memory.current(kNow + std::chrono::hours(23), plain), npm);
  EXPECT_TRUE(memory.current(kNow + std::chrono::hours(24), plain).empty());
  EXPECT_TRUE(memory.current(kNow - std::chrono::hours(1), plain).empty());  // a clock set back
  // npm's cache placed by a variable now: ask again.
  EXPECT_TRUE(memory.current(kNow, plain.with("npm_config_cache", "/elsewhere")).empty());

  // Written and read back; a value this version didn't write is no memory.
  const auto read = ToolFolderMemory::fromJson(memory.toJson());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->current(kNow, plain), npm);
  EXPECT_FALSE(ToolFolderMemory::fromJson(nlohmann::json::array()));
  EXPECT_FALSE(ToolFolderMemory::fromJson({{"npm-config-cache", {{"folder", 3}}}}));
  EXPECT_TRUE(ToolFolderMemory::fromJson({{"a-lookup-from-later", 1}}));

  // Old answers go when new ones come.
  memory.remember({{PathLookup::uvCacheDir, "/data/uv"}}, kNow + std::chrono::hours(30), plain);
  EXPECT_EQ(memory.current(kNow + std::chrono::hours(30), plain),
            (std::map<PathLookup, std::string>{{PathLookup::uvCacheDir, "/data/uv"}}));
}

}  // namespace
}  // namespace glimmet
