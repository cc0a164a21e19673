// The view as lines: always the screen's height, never wider than it, and the
// question on the bottom lines whenever one is asked.
#include "logic/ui/ui_render.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "logic/ui/ui_text.h"

namespace glimmet {
namespace {

using ::testing::HasSubstr;

UiData manyGhosts(int count) {
  UiData data;
  auto& tab = data.of(UiTab::ghosts);
  tab.columns = "PID     GHOST";
  for (int i = 0; i < count; ++i) {
    UiRow row;
    row.key = "ghost:" + std::to_string(i);
    row.text = std::to_string(1000 + i) + "    vite dev server •••  " + std::string(90, 'x');
    row.details = {"Command: node vite --token •••", "Why it's a ghost: " + std::string(150, 'w')};
    tab.rows.push_back(row);
  }
  return data;
}

void expectFits(const std::vector<UiLine>& lines, std::size_t width, std::size_t height) {
  ASSERT_EQ(lines.size(), height);
  for (const auto& line : lines) EXPECT_LE(screenWidth(line.text()), width) << line.text();
}

TEST(UiRender, EveryScreenSizeGetsExactlyItsLinesAndTheSelectionStaysInView) {
  const auto data = manyGhosts(40);
  UiState state{.tab = UiTab::ghosts};
  state.selectedKey[1] = "ghost:30";
  for (const auto& [width, height] :
       {std::pair<std::size_t, std::size_t>{80, 24}, {200, 60}, {20, 5}, {1, 1}, {0, 0}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    expectFits(renderUi(state, data, width, height), width, height);
  }
  const auto lines = renderUi(state, data, 80, 24);
  EXPECT_THAT(lines[0].text(), HasSubstr("2 Ghosts (40)"));
  EXPECT_THAT(lines[1].text(), HasSubstr("PID     GHOST"));
  // The selected row is marked with ">" (readable without colour) and is the
  // last list line once the list had to scroll to show it.
  EXPECT_EQ(lines[21].text().substr(0, 6), "> 1030");
  EXPECT_EQ(lines[21].spans[0].style, UiStyle::selected);
  EXPECT_THAT(lines[23].text(), HasSubstr("q quit"));
}

TEST(UiRender, DetailsWrapAndQuestionsTakeTheBottomLine) {
  const auto data = manyGhosts(2);
  UiState state{.tab = UiTab::ghosts, .mode = UiMode::details};
  auto lines = renderUi(state, data, 80, 24);
  expectFits(lines, 80, 24);
  EXPECT_EQ(lines[3].text(), "Command: node vite --token •••");
  EXPECT_EQ(lines[5].text(), "  " + std::string(78, 'w'));  // the rest of the long line

  state.mode = UiMode::confirmStop;
  state.pendingStop = UiStopTarget{.identity = {1000, 1},
                                   .ports = {3000},
                                   .repoPath = {},
                                   .worktree = {},
                                   .branch = {},
                                   .origin = {},
                                   .target = ":3000",
                                   .what = "node vite",
                                   .others = 1};
  lines = renderUi(state, data, 80, 24);
  EXPECT_EQ(lines[22].text(), "Stop node vite (:3000) and 1 process it started?");
  EXPECT_EQ(lines[22].spans[0].style, UiStyle::prompt);

  state.mode = UiMode::confirmClean;
  state.planLines = {"Will move to the Trash: ~/.cache/a  (about 50 KB)"};
  state.planSteps = 1;
  state.answer = "ye";
  lines = renderUi(state, data, 80, 24);
  EXPECT_EQ(lines[2].text(), "Will move to the Trash: ~/.cache/a  (about 50 KB)");
  EXPECT_EQ(lines[22].text(), "Type yes to clean up 1 item: ye_");
}

TEST(UiRender, AnEmptyOrFilteredOutListSaysSo) {
  UiData data;
  data.of(UiTab::ghosts).empty = "No ghosts. Nice and tidy.";
  UiState state{.tab = UiTab::ghosts};
  EXPECT_EQ(renderUi(state, data, 80, 24)[2].text(), "  No ghosts. Nice and tidy.");
  const auto some = manyGhosts(3);
  state.filter = "nothing like it";
  EXPECT_THAT(renderUi(state, some, 80, 24)[2].text(), HasSubstr("Nothing matches"));
}

TEST(UiText, WidthsCountCharactersNotBytes) {
  EXPECT_EQ(screenWidth("•••ab"), 5U);
  EXPECT_EQ(cutToWidth("••x•", 2), "••");
  EXPECT_EQ(cutToWidth("abc", 10), "abc");
  EXPECT_EQ(ageText(59.9), "59 s");
  EXPECT_EQ(ageText(3 * 3600), "3 h");
  EXPECT_EQ(ageText(3 * 86400), "3 days");
  EXPECT_EQ(processCount(1), "1 process");
  EXPECT_EQ(processCount(2), "2 processes");
}

}  // namespace
}  // namespace glimmet
