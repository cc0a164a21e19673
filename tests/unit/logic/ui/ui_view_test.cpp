// The view's state machine over hand-made rows: selection that follows its row,
// questions asked before a stop or a clean, marks, the filter and the keys
// that mean something else while text is typed.
#include "logic/ui/ui_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace glimmet {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Kind = UiKey::Kind;

UiRow processRow(std::string key, std::string text, bool stoppable) {
  UiRow row;
  row.key = std::move(key);
  row.text = std::move(text);
  if (stoppable) {
    row.stop = UiStopTarget{};
    row.stop->identity = {4242, 7};
    row.stop->target = "PID 4242";
    row.stop->what = "node server.js";
    row.stop->others = 2;
  } else {
    row.cannotStop = "Protected by your rule, so glimmet won't stop it.";
  }
  return row;
}

UiRow diskRow(std::string id, bool markable) {
  UiRow row;
  row.key = "disk:" + id;
  row.text = id;
  if (markable)
    row.itemID = id;
  else
    row.cannotMark = "Glimmet only reports this one; it doesn't clean it.";
  return row;
}

UiData data() {
  UiData d;
  d.of(UiTab::ghosts).rows = {processRow("ghost:a", "4242 vite", true),
                              processRow("ghost:b", "4300 postgres", false),
                              processRow("ghost:c", "4400 next dev", true)};
  d.of(UiTab::disk).rows = {diskRow("~/a#one", true), diskRow("~/b#two", false),
                            diskRow("~/c#three", true)};
  return d;
}

UiAction press(UiState& state, const UiData& d, UiKey key) {
  return handleKey(state, key, d, 10);
}
UiAction press(UiState& state, const UiData& d, char32_t c) {
  return press(state, d, UiKey::of(c));
}
UiAction press(UiState& state, const UiData& d, Kind kind) {
  return press(state, d, UiKey::of(kind));
}
void type(UiState& state, const UiData& d, std::string_view text) {
  for (const char c : text) press(state, d, static_cast<char32_t>(c));
}

std::string selectedKey(const UiState& state, const UiData& d) {
  const auto rows = visibleRows(state, d, state.tab);
  const auto at = selectedRow(state, rows, state.tab);
  return at ? rows[*at]->key : "";
}

TEST(UiView, TheSelectionFollowsItsRowWhenTheListChangesAndStopsAtTheEnds) {
  UiState state;
  auto d = data();
  press(state, d, '2');
  EXPECT_EQ(state.tab, UiTab::ghosts);
  press(state, d, Kind::up);
  EXPECT_EQ(selectedKey(state, d), "ghost:a");
  press(state, d, 'j');
  EXPECT_EQ(selectedKey(state, d), "ghost:b");
  press(state, d, Kind::pageDown);
  EXPECT_EQ(selectedKey(state, d), "ghost:c");

  // A refresh that puts a new row first keeps the same process selected...
  d.of(UiTab::ghosts)
      .rows.insert(d.of(UiTab::ghosts).rows.begin(), processRow("ghost:new", "5000 vite", true));
  EXPECT_EQ(selectedKey(state, d), "ghost:c");
  // ...and when that process goes, the row now in its place is selected.
  d.of(UiTab::ghosts).rows.pop_back();
  EXPECT_EQ(selectedKey(state, d), "ghost:b");

  press(state, d, Kind::tab);
  EXPECT_EQ(state.tab, UiTab::servers);
  press(state, d, Kind::backTab);
  press(state, d, Kind::backTab);
  press(state, d, Kind::backTab);
  EXPECT_EQ(state.tab, UiTab::disk);
}

TEST(UiView, StoppingAsksFirstAndOnlyYStops) {
  UiState state{.tab = UiTab::ghosts};
  const auto d = data();
  EXPECT_EQ(press(state, d, 'k').kind, UiAction::Kind::none);
  EXPECT_EQ(state.mode, UiMode::confirmStop);
  EXPECT_EQ(press(state, d, 'n').kind, UiAction::Kind::none);
  EXPECT_EQ(state.mode, UiMode::browse);
  EXPECT_EQ(state.message, "Nothing stopped.");

  press(state, d, 'k');
  // A q while asked is an answer (no), not a quit.
  EXPECT_EQ(press(state, d, 'q').kind, UiAction::Kind::none);
  press(state, d, 'k');
  const auto action = press(state, d, 'y');
  ASSERT_EQ(action.kind, UiAction::Kind::stop);
  EXPECT_EQ(action.stop->identity.pid, 4242);
  EXPECT_EQ(action.stop->target, "PID 4242");
}

TEST(UiView, AProtectedProcessCantBeSelectedForStoppingAndTheViewSaysWhy) {
  UiState state{.tab = UiTab::ghosts};
  const auto d = data();
  press(state, d, Kind::down);
  EXPECT_EQ(press(state, d, 'k').kind, UiAction::Kind::none);
  EXPECT_EQ(state.mode, UiMode::browse);
  EXPECT_EQ(state.message, "Can't stop this: Protected by your rule, so glimmet won't stop it.");
  // Nor from the details.
  press(state, d, Kind::enter);
  EXPECT_EQ(state.mode, UiMode::details);
  press(state, d, 'k');
  EXPECT_EQ(state.mode, UiMode::details);
  EXPECT_THAT(state.message, HasSubstr("Protected by your rule"));
}

TEST(UiView, MarkedItemsAreCleanedOnlyAfterATypedYes) {
  UiState state{.tab = UiTab::disk};
  const auto d = data();
  EXPECT_EQ(press(state, d, 'c').kind, UiAction::Kind::none);
  EXPECT_THAT(state.message, HasSubstr("Mark disk items with space first"));

  press(state, d, Kind::end);
  press(state, d, ' ');
  press(state, d, Kind::up);
  press(state, d, ' ');  // report only: not marked, and said why
  EXPECT_THAT(state.message, HasSubstr("only reports"));
  press(state, d, Kind::home);
  press(state, d, ' ');
  EXPECT_THAT(state.marks, ElementsAre("~/a#one", "~/c#three"));

  // From any tab: the items come in the order the Disk tab lists them.
  press(state, d, '1');
  const auto plan = press(state, d, 'c');
  ASSERT_EQ(plan.kind, UiAction::Kind::planClean);
  EXPECT_THAT(plan.items, ElementsAre("~/a#one", "~/c#three"));

  askToClean(state, {"Will move to the Trash: ~/a", "Will move to the Trash: ~/c"}, 2, plan.items);
  ASSERT_EQ(state.mode, UiMode::confirmClean);
  type(state, d, "y");
  EXPECT_EQ(press(state, d, Kind::enter).kind, UiAction::Kind::none);
  EXPECT_EQ(state.message, "Nothing done.");

  askToClean(state, {"..."}, 2, plan.items);
  type(state, d, "YEq");  // q is typed, not a quit
  press(state, d, Kind::backspace);
  type(state, d, "S ");
  const auto clean = press(state, d, Kind::enter);
  ASSERT_EQ(clean.kind, UiAction::Kind::clean);
  EXPECT_THAT(clean.items, ElementsAre("~/a#one", "~/c#three"));

  askToClean(state, {"Skipped Fixture cache: Already gone"}, 0, plan.items);
  EXPECT_EQ(state.mode, UiMode::browse);
  EXPECT_EQ(state.message, "Nothing to clean: Skipped Fixture cache: Already gone");
}

TEST(UiView, TheFilterNarrowsEveryTabAndTypedKeysDontAct) {
  UiState state{.tab = UiTab::ghosts};
  const auto d = data();
  press(state, d, '/');
  type(state, d, "VITEkq");
  EXPECT_EQ(state.mode, UiMode::filter);
  press(state, d, Kind::backspace);
  press(state, d, Kind::backspace);
  EXPECT_EQ(state.filter, "VITE");
  EXPECT_EQ(visibleRows(state, d, UiTab::ghosts).size(), 1U);
  EXPECT_EQ(visibleRows(state, d, UiTab::disk).size(), 0U);
  press(state, d, Kind::enter);
  EXPECT_EQ(state.mode, UiMode::browse);
  EXPECT_EQ(state.filter, "VITE");
  press(state, d, Kind::escape);
  EXPECT_EQ(state.filter, "");
  EXPECT_EQ(press(state, d, 'q').kind, UiAction::Kind::quit);
}

TEST(UiView, MarksOfItemsNoLongerListedAreDropped) {
  UiState state;
  state.marks = {"~/a#one", "~/gone#one"};
  keepMarksIn(state, data());
  EXPECT_THAT(state.marks, ElementsAre("~/a#one"));
}

}  // namespace
}  // namespace glimmet
