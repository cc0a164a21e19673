#include "platform/environment.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(Environment, CopiesEntriesAndKeepsTheFirstDefinition) {
  const char* entries[] = {"HOME=/home/me", "EMPTY=", "HOME=/elsewhere", "=bogus", "NOEQUALS",
                           "A=b=c",         nullptr};
  const auto env = Environment::fromArray(entries);
  EXPECT_EQ(env.get("HOME"), "/home/me");
  EXPECT_EQ(env.get("EMPTY"), "");
  EXPECT_EQ(env.get("A"), "b=c");
  EXPECT_FALSE(env.get("NOEQUALS"));
  EXPECT_FALSE(env.get(""));
}

TEST(Environment, AbsolutePathIgnoresRelativeAndEmptyValues) {
  const auto env = Environment().with("X", "/abs").with("Y", "rel/path").with("Z", "");
  EXPECT_EQ(env.absolutePath("X"), "/abs");
  EXPECT_FALSE(env.absolutePath("Y"));
  EXPECT_FALSE(env.absolutePath("Z"));
  EXPECT_FALSE(env.without("X").get("X"));
}

}  // namespace
}  // namespace glimmet
