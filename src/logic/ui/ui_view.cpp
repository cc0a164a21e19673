#include "logic/ui/ui_view.h"

#include <algorithm>

#include "core/util/ascii.h"
#include "logic/disk/item_choice.h"

namespace glimmet {
namespace {

constexpr std::size_t kLongestAnswer = 32;
constexpr std::size_t kLongestFilter = 64;

std::size_t indexOf(UiTab tab) {
  return static_cast<std::size_t>(tab);
}

bool printableCharacter(const UiKey& key) {
  return key.kind == UiKey::Kind::character && key.character >= 0x20 && key.character != 0x7F;
}

void appendCharacter(std::string& text, char32_t character) {
  if (character < 0x80) {
    text.push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    text.push_back(static_cast<char>(0xC0 | (character >> 6)));
    text.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else if (character < 0x10000) {
    text.push_back(static_cast<char>(0xE0 | (character >> 12)));
    text.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else if (character < 0x110000) {
    text.push_back(static_cast<char>(0xF0 | (character >> 18)));
    text.push_back(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  }
}

// Backspace takes away the last character, not the last byte of one.
void removeLastCharacter(std::string& text) {
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text.back());
    text.pop_back();
    if ((byte & 0xC0) != 0x80) break;
  }
}

bool matchesFilter(const UiRow& row, const std::string& filter) {
  if (filter.empty()) return true;
  const auto haystack = asciiLower(row.text);
  return haystack.find(asciiLower(filter)) != std::string::npos;
}

void select(UiState& state, const std::vector<const UiRow*>& rows, std::size_t index) {
  if (rows.empty()) return;
  index = std::min(index, rows.size() - 1);
  state.selectedKey[indexOf(state.tab)] = rows[index]->key;
  state.selectedIndex[indexOf(state.tab)] = index;
}

const UiRow* currentRow(const UiState& state, const UiData& data) {
  const auto rows = visibleRows(state, data, state.tab);
  const auto index = selectedRow(state, rows, state.tab);
  return index ? rows[*index] : nullptr;
}

void switchTab(UiState& state, int step) {
  const auto count = static_cast<int>(kUiTabs.size());
  state.tab = kUiTabs[static_cast<std::size_t>(
      (static_cast<int>(indexOf(state.tab)) + step + count) % count)];
}

// Movement keys, shared by browsing, filtering and details. True when the key was one.
bool move(UiState& state, const UiKey& key, const UiData& data, std::size_t pageRows) {
  const auto rows = visibleRows(state, data, state.tab);
  const auto at = selectedRow(state, rows, state.tab).value_or(0);
  const auto page = std::max<std::size_t>(pageRows, 1);
  switch (key.kind) {
    case UiKey::Kind::down:
      select(state, rows, at + 1);
      return true;
    case UiKey::Kind::up:
      select(state, rows, at == 0 ? 0 : at - 1);
      return true;
    case UiKey::Kind::pageDown:
      select(state, rows, at + page);
      return true;
    case UiKey::Kind::pageUp:
      select(state, rows, at > page ? at - page : 0);
      return true;
    case UiKey::Kind::home:
      select(state, rows, 0);
      return true;
    case UiKey::Kind::end:
      select(state, rows, rows.empty() ? 0 : rows.size() - 1);
      return true;
    default:
      return false;
  }
}

UiAction askToStop(UiState& state, const UiData& data) {
  const auto* row = currentRow(state, data);
  if (row == nullptr) {
    state.message = "Nothing selected.";
  } else if (row->stop) {
    state.pendingStop = row->stop;
    state.mode = UiMode::confirmStop;
  } else if (!row->cannotStop.empty()) {
    state.message = "Can't stop this: " + row->cannotStop;
  } else {
    state.message = "k stops processes. Here, space marks an item and c cleans the marked ones.";
  }
  return {};
}

void toggleMark(UiState& state, const UiData& data) {
  const auto* row = currentRow(state, data);
  if (state.tab != UiTab::disk || row == nullptr) {
    state.message = "Space marks disk items: press 4 for the Disk tab.";
    return;
  }
  if (!row->itemID) {
    state.message = row->cannotMark;
    return;
  }
  if (!state.marks.erase(*row->itemID)) state.marks.insert(*row->itemID);
  state.message.clear();
}

// The marked items in the order the Disk tab lists them.
std::vector<std::string> markedItems(const UiState& state, const UiData& data) {
  std::vector<std::string> items;
  for (const auto& row : data.of(UiTab::disk).rows)
    if (row.itemID && state.marks.contains(*row.itemID)) items.push_back(*row.itemID);
  return items;
}

UiAction browseKey(UiState& state, const UiKey& key, const UiData& data, std::size_t pageRows) {
  if (move(state, key, data, pageRows)) return {};
  switch (key.kind) {
    case UiKey::Kind::tab:
    case UiKey::Kind::right:
      switchTab(state, 1);
      return {};
    case UiKey::Kind::backTab:
    case UiKey::Kind::left:
      switchTab(state, -1);
      return {};
    case UiKey::Kind::enter:
      if (currentRow(state, data) != nullptr) state.mode = UiMode::details;
      return {};
    case UiKey::Kind::escape:
      if (state.message.empty()) state.filter.clear();
      state.message.clear();
      return {};
    case UiKey::Kind::character:
      break;
    default:
      return {};
  }
  switch (key.character) {
    case 'q':
      return {.kind = UiAction::Kind::quit};
    case 'j':
      move(state, UiKey::of(UiKey::Kind::down), data, pageRows);
      return {};
    case 'g':
      return move(state, UiKey::of(UiKey::Kind::home), data, pageRows), UiAction{};
    case 'G':
      return move(state, UiKey::of(UiKey::Kind::end), data, pageRows), UiAction{};
    case '1':
    case '2':
    case '3':
    case '4':
      state.tab = kUiTabs[key.character - '1'];
      return {};
    case '/':
      state.mode = UiMode::filter;
      state.message.clear();
      return {};
    case '?':
      state.mode = UiMode::help;
      return {};
    case 'k':
      return askToStop(state, data);
    case ' ':
      toggleMark(state, data);
      return {};
    case 'c': {
      auto items = markedItems(state, data);
      if (items.empty()) {
        state.message = "Mark disk items with space first, then press c.";
        return {};
      }
      state.message.clear();
      return {.kind = UiAction::Kind::planClean, .items = std::move(items)};
    }
    case 'r':
      return {.kind = UiAction::Kind::rescan};
    default:
      return {};
  }
}

UiAction filterKey(UiState& state, const UiKey& key, const UiData& data, std::size_t pageRows) {
  if (move(state, key, data, pageRows)) return {};
  if (printableCharacter(key)) {
    if (state.filter.size() < kLongestFilter) appendCharacter(state.filter, key.character);
  } else if (key.kind == UiKey::Kind::backspace) {
    if (state.filter.empty())
      state.mode = UiMode::browse;
    else
      removeLastCharacter(state.filter);
  } else if (key.kind == UiKey::Kind::enter) {
    state.mode = UiMode::browse;
  } else if (key.kind == UiKey::Kind::escape) {
    state.filter.clear();
    state.mode = UiMode::browse;
  }
  return {};
}

UiAction detailsKey(UiState& state, const UiKey& key, const UiData& data, std::size_t pageRows) {
  if (move(state, key, data, pageRows)) return {};
  switch (key.kind) {
    case UiKey::Kind::escape:
    case UiKey::Kind::enter:
    case UiKey::Kind::left:
    case UiKey::Kind::backspace:
      state.mode = UiMode::browse;
      return {};
    case UiKey::Kind::character:
      break;
    default:
      return {};
  }
  if (key.character == 'q') return {.kind = UiAction::Kind::quit};
  if (key.character == 'k') return askToStop(state, data);
  if (key.character == ' ') toggleMark(state, data);
  if (key.character == 'j') move(state, UiKey::of(UiKey::Kind::down), data, pageRows);
  return {};
}

UiAction confirmStopKey(UiState& state, const UiKey& key) {
  auto target = std::move(state.pendingStop);
  state.pendingStop.reset();
  state.mode = UiMode::browse;
  if (key.kind == UiKey::Kind::character && (key.character == 'y' || key.character == 'Y') &&
      target) {
    state.message = "Stopping " + target->target + "...";
    return {.kind = UiAction::Kind::stop, .stop = std::move(target)};
  }
  state.message = "Nothing stopped.";
  return {};
}

UiAction confirmCleanKey(UiState& state, const UiKey& key) {
  if (printableCharacter(key)) {
    if (state.answer.size() < kLongestAnswer) appendCharacter(state.answer, key.character);
    return {};
  }
  if (key.kind == UiKey::Kind::backspace) {
    removeLastCharacter(state.answer);
    return {};
  }
  if (key.kind != UiKey::Kind::enter && key.kind != UiKey::Kind::escape) return {};
  const bool yes = key.kind == UiKey::Kind::enter && confirmsCleanup(state.answer);
  auto items = std::move(state.planItems);
  state.planItems.clear();
  state.planLines.clear();
  state.answer.clear();
  state.mode = UiMode::browse;
  if (!yes) {
    state.message = "Nothing done.";
    return {};
  }
  state.message = "Cleaning up...";
  return {.kind = UiAction::Kind::clean, .items = std::move(items)};
}

}  // namespace

std::vector<const UiRow*> visibleRows(const UiState& state, const UiData& data, UiTab tab) {
  std::vector<const UiRow*> rows;
  for (const auto& row : data.of(tab).rows)
    if (matchesFilter(row, state.filter)) rows.push_back(&row);
  return rows;
}

std::optional<std::size_t> selectedRow(const UiState& state, const std::vector<const UiRow*>& rows,
                                       UiTab tab) {
  if (rows.empty()) return std::nullopt;
  const auto& key = state.selectedKey[indexOf(tab)];
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i]->key == key) return i;
  return std::min(state.selectedIndex[indexOf(tab)], rows.size() - 1);
}

UiAction handleKey(UiState& state, const UiKey& key, const UiData& data, std::size_t pageRows) {
  switch (state.mode) {
    case UiMode::browse:
      return browseKey(state, key, data, pageRows);
    case UiMode::filter:
      return filterKey(state, key, data, pageRows);
    case UiMode::details:
      return detailsKey(state, key, data, pageRows);
    case UiMode::help:
      state.mode = UiMode::browse;
      if (key.kind == UiKey::Kind::character && key.character == 'q')
        return {.kind = UiAction::Kind::quit};
      return {};
    case UiMode::confirmStop:
      return confirmStopKey(state, key);
    case UiMode::confirmClean:
      return confirmCleanKey(state, key);
  }
  return {};
}

void askToClean(UiState& state, std::vector<std::string> lines, std::size_t steps,
                std::vector<std::string> items) {
  if (steps == 0) {
    state.message = "Nothing to clean: " +
                    (lines.empty() ? std::string("the marked items are gone.") : lines.front());
    return;
  }
  state.planLines = std::move(lines);
  state.planSteps = steps;
  state.planItems = std::move(items);
  state.answer.clear();
  state.mode = UiMode::confirmClean;
}

void keepMarksIn(UiState& state, const UiData& data) {
  std::set<std::string> listed;
  for (const auto& row : data.of(UiTab::disk).rows)
    if (row.itemID) listed.insert(*row.itemID);
  std::erase_if(state.marks, [&](const std::string& id) { return !listed.contains(id); });
}

}  // namespace glimmet
