// Naming an app on the command line: by identifier or by path.
#include "core/apps/app_lookup.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace glimmet {
namespace {

namespace fs = std::filesystem;

TEST(AppLookup, FindsByIdentifierIgnoringCaseOrByAnyFormOfItsPath) {
  glimmet::testing::TempDir dir;
  fs::create_directories(dir / "real/Editor.app");
  fs::create_directories(dir / "Applications");
  fs::create_directory_symlink(dir / "real/Editor.app", dir / "Applications/Link.app");
  AppListing listing;
  InstalledApp editor;
  editor.path = dir / "Applications/Editor.app";
  editor.resolvedPath = editor.path;
  editor.bundleID = "com.vendor.editor";
  InstalledApp linked;
  linked.path = dir / "Applications/Link.app";
  linked.resolvedPath = fs::canonical(dir / "real/Editor.app");
  linked.bundleID = "com.vendor.linked";
  listing.apps = {editor, linked};

  auto found = [&](std::string_view argument, const fs::path& cwd = "/") {
    const auto* app = findApp(listing, argument, cwd);
    return app ? *app->bundleID : std::string("none");
  };
  EXPECT_EQ(found("COM.vendor.EDITOR"), "com.vendor.editor");
  EXPECT_EQ(found((dir / "Applications/Editor.app/").string()), "com.vendor.editor");
  EXPECT_EQ(found("Editor.app", dir / "Applications"), "com.vendor.editor");
  EXPECT_EQ(found("../Applications/./Link.app", dir / "real"), "com.vendor.linked");
  EXPECT_EQ(found("com.vendor"), "none");
  EXPECT_EQ(found("Missing.app", dir / "Applications"), "none");
  EXPECT_EQ(found(""), "none");
}

}  // namespace
}  // namespace glimmet
