#include "core/util/regex.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(Regex, FindsMatchesFromAnOffset) {
  const auto regex = Regex::compile("ab+", false);
  EXPECT_EQ(regex.find("xxabbb ab", 0), std::make_pair(size_t{2}, size_t{6}));
  EXPECT_EQ(regex.find("xxabbb ab", 6), std::make_pair(size_t{7}, size_t{9}));
  EXPECT_FALSE(regex.find("xxabbb ab", 10));
  EXPECT_FALSE(regex.search("ABB"));
  EXPECT_TRUE(Regex::compile("ab+", true).search("ABB"));
}

TEST(Regex, MatchesBytesThatAreNotUtf8) {
  EXPECT_TRUE(Regex::compile("node .*server", true).search(std::string("node \xff\xfe server")));
}

TEST(Regex, CatastrophicBacktrackingEndsAsNoMatch) {
  const auto regex = Regex::compile("(a+)+$", false);
  EXPECT_FALSE(regex.search(std::string(40, 'a') + "!"));
  EXPECT_TRUE(regex.search(std::string(40, 'a')));
}

TEST(Regex, ReportsWhyAPatternDoesNotCompile) {
  try {
    Regex::compile("(open", false);
    FAIL();
  } catch (const RegexError& error) {
    EXPECT_NE(std::string(error.what()).find("offset 5"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace glimmet
