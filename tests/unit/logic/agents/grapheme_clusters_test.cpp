#include "logic/agents/grapheme_clusters.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(GraphemeClusters, CountsUserPerceivedCharacters) {
  EXPECT_EQ(graphemePrefixLength("abc", 3), std::nullopt);
  EXPECT_EQ(graphemePrefixLength("abcd", 3), 3u);
  EXPECT_EQ(graphemePrefixLength("", 0), std::nullopt);
  // e + combining acute, then x.
  EXPECT_EQ(graphemePrefixLength("e\xCC\x81x", 1), 3u);
  // Two flags (four regional indicators): the cut falls between them.
  EXPECT_EQ(
      graphemePrefixLength("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", 1),
      8u);
  // A family joined by zero-width joiners is one character.
  const std::string family =
      "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
  EXPECT_EQ(graphemePrefixLength(family + "!", 1), family.size());
  // A thumbs-up with a skin tone.
  EXPECT_EQ(graphemePrefixLength("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD.", 1), 8u);
  // A Hangul syllable spelled in jamo is one character.
  EXPECT_EQ(graphemePrefixLength("\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8z", 1), 9u);
}

TEST(GraphemeClusters, IllFormedBytesCountOneEach) {
  EXPECT_EQ(graphemePrefixLength("\xFF\xFE\xC3", 2), 2u);
}

}  // namespace
}  // namespace glimmet
