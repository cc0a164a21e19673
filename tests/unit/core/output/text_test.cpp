#include "core/output/text.h"

#include <gtest/gtest.h>

#include <vector>

namespace glimmet {
namespace {

TEST(PadCut, PadsShortValuesAndCutsLongOnes) {
  EXPECT_EQ(padCut("4242", 7), "4242   ");
  EXPECT_EQ(padCut("", 3), "   ");
  const std::vector<uint16_t> ports = {3000, 3001, 3002, 3003, 3004};
  EXPECT_EQ(padCut(portList(ports), 14), ":3000 :3001 :3");
}

TEST(PadCut, CountsCharactersNotBytesAndNeverSplitsASequence) {
  EXPECT_EQ(padCut("h\xC3\xA9llo", 3), "h\xC3\xA9l");
  EXPECT_EQ(padCut("\xC3\xA9", 3), "\xC3\xA9  ");
}

TEST(PortList, JoinsPortsInOrder) {
  const std::vector<uint16_t> ports = {5173, 24678};
  EXPECT_EQ(portList(ports), ":5173 :24678");
  EXPECT_EQ(portList({}), "");
}

TEST(CountedNoun, AddsPluralOnlyForOtherThanOne) {
  EXPECT_EQ(countedNoun(0, "agent session"), "0 agent sessions");
  EXPECT_EQ(countedNoun(1, "ghost"), "1 ghost");
  EXPECT_EQ(countedNoun(2, "ghost"), "2 ghosts");
}

TEST(BracketTag, AppendsAfterTwoSpaces) {
  EXPECT_EQ(bracketTag("owned by another user"), "  [owned by another user]");
}

}  // namespace
}  // namespace glimmet
