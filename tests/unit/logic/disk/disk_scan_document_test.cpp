// The disk scan document: the text report (headings, counts, the 40-item cut
// and the endings) and the JSON (totals, what can be acted on, shown paths).
#include "logic/disk/disk_scan_document.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

DiskItem item(int n, DiskSafety safety) {
  DiskItem i;
  i.path = "/home/me/p" + std::to_string(n);
  i.label = "Thing";
  i.safety = safety;
  i.uniqueBytes = static_cast<uint64_t>(n) * 1000;
  return i;
}

TEST(DiskScanText, ListsFortyPerSafetyAndCountsTheRest) {
  DiskScanResult result;
  result.home = "/home/me";
  for (int n = 1; n <= 45; ++n) result.items.push_back(item(n, DiskSafety::review));
  result.items.push_back(item(7, DiskSafety::safe));
  result.items.back().blocked = "node is running in this project";
  result.notScanned = {{"/home/me/Pictures", NotScanned::Reason::personalMedia}};
  result.complete = false;
  const auto lines = DiskScanDocument{result}.lines();
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "Safe to clear: about 7 KB in 1 item");
  EXPECT_EQ(lines[2], "  7 KB       Thing: ~/p7  [node is running in this project]");
  EXPECT_TRUE(lines[4].starts_with("Review first: about ")) << lines[4];
  EXPECT_TRUE(lines[4].ends_with(" MB in 45 items")) << lines[4];
  EXPECT_EQ(lines[5], "  45 KB      Thing: ~/p45");
  EXPECT_EQ(lines[45], "  and 5 more");
  EXPECT_EQ(lines[46], "");
  EXPECT_EQ(lines[47], "Not scanned: 1 folder");
  EXPECT_EQ(lines.back(), "Partial scan.");
}

// A Docker figure's row is its label alone (its "path" is only its kind), and
// an engine that didn't answer gets one line saying why nothing of it shows.
TEST(DiskScanText, DockerRowsAndAMissingEngineReadPlainly) {
  DiskScanResult result;
  result.home = "/home/me";
  DiskItem images = item(3, DiskSafety::review);
  images.path = "images";
  images.label = "Unused Docker images";
  result.items.push_back(images);
  result.docker = DockerDiskState::running;
  auto lines = DiskScanDocument{result}.lines();
  EXPECT_EQ(lines[2], "  3 KB       Unused Docker images");

  result.items.clear();
  result.docker = DockerDiskState::notRunning;
  EXPECT_EQ(DiskScanDocument{result}.lines(),
            (std::vector<std::string>{
                "", "Docker isn't running, so its images and caches weren't measured."}));
  result.docker = DockerDiskState::notInstalled;
  EXPECT_EQ(DiskScanDocument{result}.lines().back(),
            "Docker isn't installed (no engine socket found).");
  EXPECT_EQ(rawValue(DockerDiskState::notInstalled), "notRunning");
  result.docker.reset();  // not asked (--home): nothing said
  EXPECT_TRUE(DiskScanDocument{result}.lines().empty());
}

// Totals count every safety, even an empty one; an item is actionable only
// when nothing blocks it and its rule would act; paths, projects and commands
// read with "~"; a partial scan ends with status 2 in either form.
TEST(DiskScanJson, TotalsActionsAndPathsAsTheUserReadsThem) {
  DiskScanResult result;
  result.scanID = "20261207T041500-1a2b3c";
  result.home = "/home/me";
  result.complete = false;
  auto modules = item(2, DiskSafety::safe);
  modules.bytes = 5000;
  modules.uniqueBytes = 2000;
  modules.id = "~/p2#node-modules";
  modules.ruleID = "node-modules";
  modules.projectPath = "/home/me";
  modules.clean = {.kind = CleanAction::Kind::toolCommand,
                   .argv = std::vector<std::string>{"pnpm", "prune", "/home/me/p2"}};
  auto blocked = item(3, DiskSafety::safe);
  blocked.blocked = "node is running in this folder";
  blocked.clean.kind = CleanAction::Kind::trash;
  auto reportOnly = item(4, DiskSafety::reportOnly);
  reportOnly.clean.kind = CleanAction::Kind::none;
  result.items = {modules, blocked, reportOnly};
  result.context = {{DiskCategory::yourFiles, "/home/me", 700}};
  result.notScanned = {{"/home/me/Pictures", NotScanned::Reason::personalMedia}};

  const DiskScanDocument document{result};
  const auto json = document.toJson();
  EXPECT_EQ(json["schema"], 1);
  EXPECT_EQ(json["scan"]["id"], "20261207T041500-1a2b3c");
  EXPECT_FALSE(json["scan"].contains("docker"));
  EXPECT_EQ(json["totals"]["safe"], (nlohmann::json{{"bytes", 5000}, {"count", 2}}));
  EXPECT_EQ(json["totals"]["review"], (nlohmann::json{{"bytes", 0}, {"count", 0}}));
  EXPECT_EQ(json["totals"]["reportOnly"]["count"], 1);
  const auto& first = json["items"][0];
  EXPECT_EQ(first["path"], "~/p2");
  EXPECT_EQ(first["project"], "~");
  EXPECT_EQ(first["sharedBytes"], 3000);
  EXPECT_EQ(first["command"], "pnpm prune '~/p2'");
  EXPECT_EQ(first["actionable"], true);
  EXPECT_TRUE(first["blocked"].is_null());
  EXPECT_EQ(json["items"][1]["actionable"], false);
  EXPECT_TRUE(json["items"][1]["command"].is_null());
  EXPECT_EQ(json["items"][2]["actionable"], false);
  EXPECT_EQ(json["context"][0]["path"], "~");
  EXPECT_EQ(json["notScanned"][0],
            (nlohmann::json{{"path", "~/Pictures"}, {"reason", "personalMedia"}}));
  EXPECT_EQ(document.status(OutputFormat::json), ExitStatus::partial);
  EXPECT_EQ(document.status(OutputFormat::text), ExitStatus::partial);
  result.complete = true;
  EXPECT_EQ(DiskScanDocument{result}.status(OutputFormat::json), ExitStatus::ok);
}

}  // namespace
}  // namespace glimmet
