// Picking items of the last scan by id or by path, and the typed yes.
#include "logic/disk/item_choice.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

DiskItem item(std::string id, std::string path) {
  DiskItem i;
  i.id = std::move(id);
  i.path = std::move(path);
  return i;
}

std::vector<std::string> ids(const std::vector<DiskItem>& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.id);
  return out;
}

// Two rules may list the same folder: a path names every item there, while an
// id names one. Each item is picked once, in the order first named, and a
// Docker figure is never matched by a path that happens to equal its name.
TEST(ItemChoice, ArgumentsNameItemsByIDOrByPathEachOnce) {
  DiskScanResult scan;
  scan.home = "/home/me";
  scan.items = {item("~/Dev/web/.next#next-build", "/home/me/Dev/web/.next"),
                item("~/.cache/pip#pip-cache", "/home/me/.cache/pip"),
                item("~/.cache/pip#other-cache", "/home/me/.cache/pip/"),
                item("images#docker-images", "images")};
  const auto choice = chooseItems(
      scan,
      {"~/.cache/pip", "~/Dev/web/.next#next-build", "~/.cache/pip#pip-cache", "images", "nothing",
       "/home/me/Dev/web/.next"},
      {"/home/me/.cache/pip", "/home/me/Dev/web/.next#next-build", "/home/me/.cache/pip#pip-cache",
       "/cwd/images", "/cwd/nothing", "/home/me/Dev/web/.next"});
  EXPECT_EQ(ids(choice.picked),
            (std::vector<std::string>{"~/.cache/pip#pip-cache", "~/.cache/pip#other-cache",
                                      "~/Dev/web/.next#next-build"}));
  EXPECT_EQ(choice.unmatched, (std::vector<std::string>{"images", "nothing"}));
}

TEST(ItemChoice, OnlyAYesInAnyCaseGoesAhead) {
  for (const char* yes : {"yes", "YES", " Yes \t", "y e s"})
    EXPECT_TRUE(confirmsCleanup(yes)) << yes;
  for (const char* no : {"", "y", "no", "yes please", "yess"})
    EXPECT_FALSE(confirmsCleanup(no)) << no;
}

}  // namespace
}  // namespace glimmet
