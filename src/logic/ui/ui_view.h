// The interactive view's state machine: tabs, selection, filter, marks and the
// questions asked before anything is stopped or moved. Keys go in, the state
// changes, and what the use case must carry out comes back as an action; the
// view itself touches nothing.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "logic/ui/ui_rows.h"

namespace glimmet {

struct UiKey {
  enum class Kind {
    character,
    up,
    down,
    left,
    right,
    pageUp,
    pageDown,
    home,
    end,
    enter,
    backspace,
    escape,
    tab,
    backTab,
  };
  Kind kind = Kind::character;
  char32_t character = 0;  ///< for Kind::character

  static UiKey of(char32_t character) { return {Kind::character, character}; }
  static UiKey of(Kind kind) { return {kind, 0}; }
};

enum class UiMode { browse, filter, details, help, confirmStop, confirmClean };

struct UiState {
  UiTab tab = UiTab::sessions;
  std::array<std::string, 4> selectedKey;      ///< the selected row of each tab
  std::array<std::size_t, 4> selectedIndex{};  ///< where it was, for when it goes away
  std::string filter;
  UiMode mode = UiMode::browse;
  std::set<std::string> marks;  ///< disk item ids
  std::optional<UiStopTarget> pendingStop;
  std::vector<std::string> planLines;  ///< the cleanup plan shown before the typed yes
  std::vector<std::string> planItems;  ///< the item ids the plan was made for
  std::size_t planSteps = 0;
  std::string answer;   ///< what was typed at the cleanup question
  std::string message;  ///< the last thing the view has to say
};

struct UiAction {
  enum class Kind { none, quit, stop, planClean, clean, rescan };
  Kind kind = Kind::none;
  std::optional<UiStopTarget> stop;  ///< for stop
  std::vector<std::string> items;    ///< disk item ids, for planClean and clean
};

/// The rows of `tab` that pass the filter, in order.
std::vector<const UiRow*> visibleRows(const UiState& state, const UiData& data, UiTab tab);
/// Where the selection is among `rows`: the selected key's row, else the row now
/// at the selection's old place; nothing when there are no rows.
std::optional<std::size_t> selectedRow(const UiState& state, const std::vector<const UiRow*>& rows,
                                       UiTab tab);

/// Applies one key. `pageRows` is how many rows a page key moves.
UiAction handleKey(UiState& state, const UiKey& key, const UiData& data, std::size_t pageRows);

/// Shows the plan made for `planClean` and asks for the typed yes; a plan with
/// no step to carry out is said in the message and asks nothing.
void askToClean(UiState& state, std::vector<std::string> lines, std::size_t steps,
                std::vector<std::string> items);
/// After new data: marks of items that are no longer listed are dropped.
void keepMarksIn(UiState& state, const UiData& data);

}  // namespace glimmet
