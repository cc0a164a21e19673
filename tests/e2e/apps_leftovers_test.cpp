// glimmet apps leftovers against fixture apps and leftover trees in a private home.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "support/app_fixtures.h"
#include "support/isolated_home.h"
#include "support/schema.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct LeftoversHome {
  testing::IsolatedHome home;
  LeftoversHome() {
    fs::create_directories(home.root() / "share/applications");
    home.environment() = home.environment().with("XDG_DATA_DIRS", (home.root() / "share").string());
  }
  fs::path operator/(const std::string& relative) const { return home.home() / relative; }
  void file(const std::string& relative, size_t size = 5000) const {
    testing::writeFile(home.home() / relative, std::string(size, 'x'));
  }
};

std::string sizeColumn(const fs::path& path) {
  return padCut(fileStyleBytes(testing::allocated(path)), 10);
}

TEST(AppsLeftovers, ReportsExactAndNameMatchesButNotNearMisses) {
  LeftoversHome fixture;
  const auto bundle = testing::makeBundle(
      fixture / "Applications", "Editor",
      {{"CFBundleIdentifier", "com.vendor.editor"}, {"CFBundleDisplayName", "Editor Pro"}},
      testing::PlistFormat::binary);
  testing::makeBundle(fixture / "Applications", "Editor Pro Max",
                      {{"CFBundleIdentifier", "com.vendor.editormax"}});
  fixture.file(".config/COM.Vendor.Editor.conf");
  fixture.file(".cache/EditorPro/blob");
  fixture.file(".cache/EditorProMax/blob");                 // the other app's name
  fixture.file(".local/share/com.vendor/shared");           // the vendor's folder
  fixture.file(".local/share/com.vendor.editor.helper/x");  // another identifier
  const auto total = testing::allocated(fixture / ".config/COM.Vendor.Editor.conf") +
                     testing::allocated(fixture / ".cache/EditorPro/blob");

  const auto result = fixture.home.glimmet({"apps", "leftovers", "com.vendor.editor"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "Editor Pro (com.vendor.editor): " + fileStyleBytes(total) + "\n" + "  " +
                padCut(fileStyleBytes(testing::allocated(fixture / ".cache/EditorPro/blob")), 10) +
                " ~/.cache/EditorPro  [matched by name]\n" + "  " +
                sizeColumn(fixture / ".config/COM.Vendor.Editor.conf") +
                " ~/.config/COM.Vendor.Editor.conf\n");

  // The same app by its path, with a trailing slash, in JSON.
  const auto json = fixture.home.glimmet({"apps", "leftovers", bundle.string() + "/", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(testing::schemaProblems("appsLeftovers", json.out), "");
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["app"]["bundleId"], "com.vendor.editor");
  EXPECT_EQ(document["app"]["leftovers"], 2);
  ASSERT_EQ(document["leftovers"].size(), 2u);
  EXPECT_EQ(document["leftovers"][0]["path"], (fixture / ".cache/EditorPro").string());
  EXPECT_EQ(document["leftovers"][0]["folder"], ".cache");
  EXPECT_EQ(document["leftovers"][0]["match"], "likely");
  EXPECT_EQ(document["leftovers"][1]["folder"], ".config");
  EXPECT_EQ(document["leftovers"][1]["match"], "exact");
  EXPECT_TRUE(document["leftovers"][1].contains("modified"));
  EXPECT_EQ(document["notRemoved"], nlohmann::json::array());
}

TEST(AppsLeftovers, DesktopAppsByIDOrEntryPathWithFlatpakAndAutostartFiles) {
  LeftoversHome fixture;
  const auto entry =
      testing::makeDesktopEntry(fixture / ".local/share/applications", "org.gimp.GIMP.desktop",
                                "GIMP", "Exec=gimp-2.10 %U\n");
  fixture.file(".var/app/org.gimp.GIMP/config/GIMP/gimprc");
  fixture.file(".config/autostart/org.gimp.GIMP.desktop", 10);
  fixture.file(".config/GIMP/2.10/sessionrc");
  fixture.file(".config/gtk-3.0/settings.ini");
  const auto byID = fixture.home.glimmet({"apps", "leftovers", "ORG.GIMP.GIMP"});
  const auto byPath = fixture.home.glimmet({"apps", "leftovers", entry.string()});
  EXPECT_EQ(byID.status, 0);
  EXPECT_EQ(byID.out, byPath.out);
  EXPECT_THAT(byID.out, HasSubstr(" ~/.config/GIMP  [matched by name]\n"));
  EXPECT_THAT(byID.out, HasSubstr(" ~/.var/app/org.gimp.GIMP\n"));
  EXPECT_THAT(byID.out, HasSubstr(" ~/.config/autostart/org.gimp.GIMP.desktop\n"));
  EXPECT_EQ(byID.out.find("gtk-3.0"), std::string::npos);
  const auto json = fixture.home.glimmet({"apps", "leftovers", "org.gimp.GIMP", "--json"});
  EXPECT_EQ(testing::schemaProblems("appsLeftovers", json.out), "");
}

TEST(AppsLeftovers, ExcludedAppsGetTheirSentenceAndNoList) {
  LeftoversHome fixture;
  testing::makeBundle(fixture / "Applications", "Safari",
                      {{"CFBundleIdentifier", "com.apple.Safari"}});
  fixture.file(".cache/com.apple.Safari/x");
  auto result = fixture.home.glimmet({"apps", "leftovers", "com.apple.Safari"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Safari: An Apple app. Glimmet doesn't uninstall it.\n");
  result = fixture.home.glimmet({"apps", "leftovers", "com.apple.safari", "--json"});
  EXPECT_EQ(testing::schemaProblems("appsLeftovers", result.out), "");
  const auto document = nlohmann::json::parse(result.out);
  EXPECT_EQ(document["app"]["excluded"], "apple");
  EXPECT_EQ(document["app"]["uninstallable"], false);
  EXPECT_EQ(document["leftovers"], nlohmann::json::array());
}

TEST(AppsLeftovers, AnUnknownAppGetsTheNoMatchSentence) {
  LeftoversHome fixture;
  testing::makeBundle(fixture / "Applications", "Editor",
                      {{"CFBundleIdentifier", "com.vendor.editor"}});
  for (const std::string argument : {"com.vendor", "com.vendor.editor.x", "/tmp/Editor.app", ""}) {
    const auto result = fixture.home.glimmet({"apps", "leftovers", argument});
    EXPECT_EQ(result.status, 1) << argument;
    EXPECT_EQ(result.out, "No installed app matches " + argument + ".\n");
    // A script asking for JSON gets a document, with the same status.
    const auto json = fixture.home.glimmet({"apps", "leftovers", argument, "--json"});
    EXPECT_EQ(json.status, 1) << argument;
    EXPECT_EQ(testing::schemaProblems("appsLeftovers", json.out), "") << json.out;
    const auto document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["error"], "No installed app matches " + argument + ".");
    EXPECT_FALSE(document.contains("app"));
  }
}

TEST(AppsLeftovers, NoLeftoversIsSaid) {
  LeftoversHome fixture;
  testing::makeBundle(fixture / "Applications", "Clean",
                      {{"CFBundleIdentifier", "com.vendor.clean"}});
  const auto result = fixture.home.glimmet({"apps", "leftovers", "com.vendor.clean"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Clean (com.vendor.clean): Zero KB\n  No leftovers found.\n");
}

}  // namespace
}  // namespace glimmet
