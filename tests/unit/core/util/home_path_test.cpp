// Paths shown with the home folder as "~": only whole path components count.
#include "core/util/home_path.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(TildePath, ReplacesOnlyTheHomeFolderAsAWholeComponent) {
  EXPECT_EQ(tildePath("/home/me", "/home/me"), "~");
  EXPECT_EQ(tildePath("/home/me/Dev/web", "/home/me"), "~/Dev/web");
  EXPECT_EQ(tildePath("/home/me2/Dev", "/home/me"), "/home/me2/Dev");
  EXPECT_EQ(tildePath("/home/me/Dev", "/home/me/"), "~/Dev");
  EXPECT_EQ(tildePath("/opt/x", "/home/me"), "/opt/x");
  EXPECT_EQ(tildePath("/home/me/x", "/"), "/home/me/x");
  EXPECT_EQ(tildePath("relative", ""), "relative");
}

}  // namespace
}  // namespace glimmet
