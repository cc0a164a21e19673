// Text lines and documents of apps list and apps leftovers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logic/apps/app_leftovers_document.h"
#include "logic/apps/apps_list_document.h"

namespace glimmet {
namespace {

std::vector<std::string> leftoverLines(const AppLeftoverReport& report) {
  return AppLeftoversDocument::from(report, "/home/me").lines();
}

TEST(AppsDocuments, ListLinesCountLeftoversAndShowOneTag) {
  EXPECT_EQ(AppsListDocument{}.lines(), std::vector<std::string>{"No apps found."});
  const std::vector<AppEntry> apps = {
      {.name = "One", .bundleID = "com.v.one", .bytes = 1'500'000, .leftovers = 1},
      {.name = "Two", .bundleID = "com.v.two", .bytes = 999, .leftovers = 2, .needsAdmin = true},
      {.name = "None", .leftovers = 0, .needsAdmin = true, .excluded = AppExclusion::noBundleID},
      {.name = "Linked", .bundleID = "com.v.l", .excluded = AppExclusion::symlink},
  };
  EXPECT_EQ(
      AppsListDocument{apps}.lines(),
      (std::vector<std::string>{
          "1.5 MB     One (com.v.one, 1 leftover)",
          "999 bytes  Two (com.v.two, 2 leftovers)  [needs admin]",
          "?          None (no bundle ID)  [Has no bundle ID, so Glimmet can't tell what it is]",
          "?          Linked (com.v.l)  [A symlink, not the app itself]",
      }));
}

TEST(AppsDocuments, LeftoverLinesAndTheExclusionSentence) {
  AppLeftoverReport report;
  report.app.name = "Code";
  report.app.bundleID = "code";
  EXPECT_EQ(leftoverLines(report),
            (std::vector<std::string>{"Code (code): Zero KB", "  No leftovers found."}));
  report.leftovers = {
      {.path = "/home/me/.config/Code", .confidence = LeftoverConfidence::exact, .bytes = 2000},
      {.path = "/home/me/.cache/VSCode", .confidence = LeftoverConfidence::likely},
  };
  report.notRemoved = {"~/.config/x (also used by Y)", "~/.cache/z (owned by another user)"};
  EXPECT_EQ(leftoverLines(report),
            (std::vector<std::string>{
                "Code (code): 2 KB", "  2 KB       ~/.config/Code",
                "  ?          ~/.cache/VSCode  [matched by name]",
                "  Not removed by Glimmet: ~/.config/x (also used by Y), ~/.cache/z (owned by "
                "another user)"}));
  report.app.exclusion = AppExclusion::apple;
  EXPECT_EQ(leftoverLines(report),
            std::vector<std::string>{"Code: An Apple app. Glimmet doesn't uninstall it."});
}

TEST(AppsDocuments, OptionalKeysAreLeftOut) {
  const auto json = AppEntry{.name = "N", .path = "/p"}.toJson();
  EXPECT_EQ(json.dump(), R"({"appStore":false,"leftovers":0,"name":"N","needsAdmin":false,)"
                         R"("path":"/p","uninstallable":false})");
  const auto excluded = AppEntry{.name = "N", .excluded = AppExclusion::noBundleID}.toJson();
  EXPECT_EQ(excluded["excluded"], "noBundleID");
}

}  // namespace
}  // namespace glimmet
