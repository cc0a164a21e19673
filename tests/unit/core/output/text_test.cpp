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

TEST(Printable, MarksControlsAndInvalidUtf8AndKeepsEverythingElse) {
  EXPECT_EQ(printable("~/Dev/web/.next"), "~/Dev/web/.next");
  EXPECT_EQ(printable("h\xC3\xA9llo \xE2\x9C\x93 \xF0\x9F\x91\xBB"),
            "h\xC3\xA9llo \xE2\x9C\x93 \xF0\x9F\x91\xBB");
  // A line feed would forge a line; escapes would drive the terminal.
  EXPECT_EQ(printable("evil\n    1.2 GB  ~/fake"), "evil?    1.2 GB  ~/fake");
  EXPECT_EQ(printable("\x1B[2J\t\r\x7F"), "?[2J???");
  EXPECT_EQ(printable("\xC2\x9B"
                      "31m \xC2\xA0"),
            "?31m \xC2\xA0");                                     // C1 CSI; NBSP stays
  EXPECT_EQ(printable("abc\xE2\x80\xAEtxt.exe"), "abc?txt.exe");  // right-to-left override
  // One mark per maximal ill-formed run, and the bytes after it are kept.
  EXPECT_EQ(printable("a\xFF"
                      "b"),
            "a?b");
  EXPECT_EQ(printable("a\xE2\x9C"), "a?");
  EXPECT_EQ(printable("\xED\xA0\x80x"), "???x");  // a UTF-16 surrogate is three bad bytes
  EXPECT_EQ(printable(std::string_view("a\0b", 3)), "a?b");
}

TEST(PortList, JoinsPortsInOrder) {
  const std::vector<uint16_t> ports = {5173, 24678};
  EXPECT_EQ(portList(ports), ":5173 :24678");
  EXPECT_EQ(portList({}), "");
}

TEST(PortColumn, CutsOnlyBetweenPortsAndCountsTheRest) {
  const std::vector<uint16_t> two = {5173, 24678};
  EXPECT_EQ(portColumn(two, 14), ":5173 :24678  ");
  const std::vector<uint16_t> five = {3000, 3001, 3002, 3003, 3004};
  EXPECT_EQ(portColumn(five, 14), ":3000 :3001 +3");
  const std::vector<uint16_t> wide = {65535, 65534, 65533};
  EXPECT_EQ(portColumn(wide, 14), ":65535 +2     ");
  EXPECT_EQ(portColumn(wide, 2), "+3");
  EXPECT_EQ(pidText(0), "?");
  EXPECT_EQ(pidText(812), "812");
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
