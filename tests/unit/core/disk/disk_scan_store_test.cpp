// The scan cache and history: seen-live bookkeeping, round trips, CSV rows.
#include "core/disk/disk_scan_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;
const SystemTime kNow = SystemTime(std::chrono::seconds(1'780'000'000));

DiskItem item(std::string path) {
  DiskItem i;
  i.id = path + "#r";
  i.ruleID = "r";
  i.path = std::move(path);
  i.bytes = 4096;
  i.uniqueBytes = 4096;
  i.fileCount = 2;
  i.modified = kNow - 24h;
  i.activity = ProjectActivity{ProjectActivity::Kind::stale, kNow - 100 * 24h};
  i.identity = FileIdentity{1, 2};
  i.children = {{"a", 4096}};
  return i;
}

TEST(DiskCache, MarksOnlyAbsoluteFoldersAndKeepsTheNewest2000) {
  DiskCache cache;
  cache.markSeenLive({"relative", "/", "/home/me/web"}, kNow);
  EXPECT_EQ(cache.lastSeenLive.size(), 1u);
  cache.lastSeenLive["/ancient"] = kNow - 400 * 24h;
  std::vector<std::string> many;
  for (int i = 0; i < 1999; ++i) many.push_back("/p" + std::to_string(i));
  cache.lastSeenLive["/oldest"] = kNow - 10s;
  cache.markSeenLive(many, kNow);
  EXPECT_EQ(cache.lastSeenLive.size(), 2000u);
  EXPECT_FALSE(cache.lastSeenLive.count("/ancient"));
  EXPECT_FALSE(cache.lastSeenLive.count("/oldest"));  // the 2001st pushes it out
}

TEST(DiskCache, SavesAndLoadsTheLastResult) {
  testing::TempDir dir;
  DiskCache cache;
  DiskScanResult result;
  result.scanID = makeScanID(kNow);
  result.startedAt = result.finishedAt = kNow;
  result.home = "/home/me";
  result.items = {item("/home/me/Dev/web/node_modules")};
  result.docker = DockerDiskState::notRunning;
  cache.lastResult = result;
  cache.markSeenLive({"/home/me/Dev/web"}, kNow);
  cache.save(dir.path());
  const auto loaded = DiskCache::load(dir.path());
  ASSERT_TRUE(loaded.lastResult);
  EXPECT_EQ(loaded.lastResult->items, result.items);
  EXPECT_EQ(loaded.lastResult->scanID, result.scanID);
  EXPECT_EQ(loaded.lastSeenLive.size(), 1u);
  dir.write("disk-cache.json", "{\"lastSeenLive\": {\"/x\": \"yesterday\"}}");
  EXPECT_TRUE(DiskCache::load(dir.path()).lastSeenLive.empty());
}

// JSON can't hold a path that isn't UTF-8; the cache keeps its bytes beside
// it so that cleaning later names the folder the scan measured.
TEST(DiskCache, AnItemWhosePathIsntUtf8KeepsItsBytes) {
  DiskItem item;
  item.id = escapedForID("~/Dev/bad\xFF\xFEname/node_modules") + "#node-modules";
  item.path = "/home/me/Dev/bad\xFF\xFEname/node_modules";
  item.projectPath = "/home/me/Dev/bad\xFF\xFEname";
  EXPECT_EQ(item.id, "~/Dev/bad\\xFF\\xFEname/node_modules#node-modules");
  const auto json = item.toJson();
  EXPECT_TRUE(json.contains("pathBytes"));
  const auto back = DiskItem::fromJson(
      nlohmann::json::parse(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->path, item.path);
  EXPECT_EQ(back->projectPath, item.projectPath);
  auto broken = json;
  broken["pathBytes"] = "zz";
  EXPECT_FALSE(DiskItem::fromJson(broken));
  DiskItem plain;
  plain.path = "/home/me/ok";
  EXPECT_FALSE(plain.toJson().contains("pathBytes"));
}

TEST(DiskHistory, QuotesOddPathsAndEndsWithATotalRow) {
  testing::TempDir dir;
  DiskScanResult result;
  result.scanID = "20260101T000000-ab";
  result.finishedAt = kNow;
  result.home = "/home/me";
  result.freeBytes = 777;
  result.items = {item("/home/me/a,b"), item("/home/me/say \"hi\"")};
  recordDiskHistory(dir.path(), result);
  recordDiskHistory(dir.path(), DiskScanResult{.scanID = "s2", .home = "/h"});
  const auto text = dir.read("disk-history.csv");
  EXPECT_THAT(text, ::testing::StartsWith(
                        "scan_id,time,rule_id,category,safety,path,bytes,unique_bytes,items\n"));
  EXPECT_THAT(text, ::testing::HasSubstr(",r,yourFiles,review,\"~/a,b\",4096,4096,2\n"));
  EXPECT_THAT(text, ::testing::HasSubstr(",\"~/say \"\"hi\"\"\",4096"));
  EXPECT_THAT(text, ::testing::HasSubstr(",_total,,,,777,8192,2\n"));
  EXPECT_THAT(text, ::testing::HasSubstr(",_total,,,,0,0,0\n"));
  EXPECT_EQ(text.find("scan_id", 1), std::string::npos);
}

}  // namespace
}  // namespace glimmet
