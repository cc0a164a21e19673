// Layout, top to bottom: the tab bar, the column heading, the list (or the
// details, the help or the cleanup plan), the status line and the key line.
// Every line is cut to the width, so a narrow window loses the ends of lines,
// never the layout.
#include "logic/ui/ui_render.h"

#include <algorithm>

#include "logic/ui/ui_text.h"

namespace glimmet {
namespace {

// Tab bar, heading, status and keys.
constexpr std::size_t kFrameLines = 4;

class Canvas {
 public:
  Canvas(std::size_t width, std::size_t height) : width_(width), height_(height) {}

  bool full() const { return lines_.size() >= height_; }
  void add(std::vector<UiSpan> spans) {
    if (full()) return;
    UiLine line;
    std::size_t used = 0;
    for (auto& span : spans) {
      if (used >= width_) break;
      span.text = cutToWidth(span.text, width_ - used);
      used += screenWidth(span.text);
      line.spans.push_back(std::move(span));
    }
    lines_.push_back(std::move(line));
  }
  void add(const std::string& text, UiStyle style = UiStyle::plain) { add({{text, style}}); }
  /// A line of text wrapped at spaces, continued lines indented by two.
  void wrapped(const std::string& text, UiStyle style = UiStyle::plain) {
    std::string rest = text;
    bool first = true;
    while (!full()) {
      const auto room = first ? width_ : (width_ > 2 ? width_ - 2 : width_);
      const auto prefix = first ? std::string() : std::string("  ");
      if (screenWidth(rest) <= room || room == 0) {
        add(prefix + rest, style);
        return;
      }
      auto cut = cutToWidth(rest, room);
      const auto space = cut.rfind(' ');
      if (space != std::string::npos && space > 0) cut.resize(space);
      add(prefix + cut, style);
      rest = rest.substr(std::min(rest.size(), cut.size() + (space != std::string::npos ? 1 : 0)));
      first = false;
      if (rest.empty()) return;
    }
  }
  std::vector<UiLine> finish(std::vector<UiLine> bottom) && {
    const auto room = height_ > bottom.size() ? height_ - bottom.size() : 0;
    lines_.resize(std::min(lines_.size(), room));
    while (lines_.size() < room) lines_.push_back({});
    for (auto& line : bottom)
      if (lines_.size() < height_) lines_.push_back(std::move(line));
    return std::move(lines_);
  }
  std::size_t width() const { return width_; }

 private:
  std::size_t width_;
  std::size_t height_;
  std::vector<UiLine> lines_;
};

UiLine singleLine(const std::string& text, UiStyle style, std::size_t width) {
  return {{{cutToWidth(text, width), style}}};
}

void tabBar(Canvas& canvas, const UiState& state, const UiData& data) {
  std::vector<UiSpan> spans = {{"glimmet ", UiStyle::title}};
  for (std::size_t i = 0; i < kUiTabs.size(); ++i) {
    const auto tab = kUiTabs[i];
    const auto count = visibleRows(state, data, tab).size();
    spans.push_back({" ", UiStyle::plain});
    spans.push_back({std::to_string(i + 1) + " " + std::string(tabTitle(tab)) + " (" +
                         std::to_string(count) + ")",
                     tab == state.tab ? UiStyle::activeTab : UiStyle::tab});
  }
  canvas.add(std::move(spans));
}

std::string markColumn(const UiState& state, const UiRow& row) {
  if (!row.itemID) return "    ";
  return state.marks.contains(*row.itemID) ? "[x] " : "[ ] ";
}

void list(Canvas& canvas, const UiState& state, const UiData& data, std::size_t rowsRoom) {
  const auto& tab = data.of(state.tab);
  const bool disk = state.tab == UiTab::disk;
  canvas.add("  " + tab.columns, UiStyle::heading);
  const auto rows = visibleRows(state, data, state.tab);
  if (rows.empty()) {
    canvas.add(state.filter.empty() || tab.rows.empty()
                   ? "  " + tab.empty
                   : "  Nothing matches \"" + state.filter + "\". Esc clears the filter.",
               UiStyle::dim);
    return;
  }
  const auto selected = selectedRow(state, rows, state.tab).value_or(0);
  const auto first = selected >= rowsRoom ? selected - rowsRoom + 1 : 0;
  for (std::size_t i = first; i < rows.size() && i < first + rowsRoom; ++i) {
    const bool isSelected = i == selected;
    const auto text = std::string(isSelected ? "> " : "  ") +
                      (disk ? markColumn(state, *rows[i]) : "") + rows[i]->text;
    std::string padded = cutToWidth(text, canvas.width());
    padded.append(canvas.width() - screenWidth(padded), ' ');
    canvas.add(padded, isSelected ? UiStyle::selected : UiStyle::plain);
  }
}

void details(Canvas& canvas, const UiState& state, const UiData& data) {
  const auto rows = visibleRows(state, data, state.tab);
  const auto index = selectedRow(state, rows, state.tab);
  canvas.add("  Details", UiStyle::heading);
  if (!index) {
    canvas.add("  It's gone.", UiStyle::dim);
    return;
  }
  const auto& row = *rows[*index];
  canvas.add(row.text, UiStyle::selected);
  for (const auto& line : row.details) canvas.wrapped(line);
}

void help(Canvas& canvas) {
  canvas.add("  Keys", UiStyle::heading);
  for (const auto& line : helpLines()) canvas.wrapped(line);
}

void plan(Canvas& canvas, const UiState& state) {
  canvas.add("  Cleanup plan", UiStyle::heading);
  for (const auto& line : state.planLines) canvas.wrapped(line);
}

std::string statusText(const UiState& state, const UiData& data) {
  if (!state.message.empty()) return state.message;
  std::string text;
  if (!state.filter.empty()) text = "Filter: " + state.filter;
  if (!state.marks.empty())
    text += (text.empty() ? "" : "  ") + std::to_string(state.marks.size()) + " marked";
  const auto& note = data.of(state.tab).note;
  if (!note.empty()) text += (text.empty() ? "" : "  ") + note;
  return text;
}

std::string keysText(const UiState& state) {
  switch (state.mode) {
    case UiMode::browse:
      return "Enter details  k stop  space mark  c clean  r rescan  / filter  ? help  q quit";
    case UiMode::filter:
      return "Filter: " + state.filter + "_   (Enter keeps it, Esc clears it)";
    case UiMode::details:
      return "Esc back  k stop  space mark  q quit";
    case UiMode::help:
      return "Any key goes back.";
    case UiMode::confirmStop:
      return "y stops it; any other key keeps it.";
    case UiMode::confirmClean:
      return "Enter answers; Esc cancels.";
  }
  return {};
}

std::string question(const UiState& state) {
  if (state.mode == UiMode::confirmStop && state.pendingStop) {
    const auto& target = *state.pendingStop;
    return "Stop " + target.what + " (" + target.target + ")" +
           (target.others == 0 ? "" : " and " + processCount(target.others) + " it started") + "?";
  }
  if (state.mode == UiMode::confirmClean)
    return "Type yes to clean up " + std::to_string(state.planSteps) + " item" +
           (state.planSteps == 1 ? "" : "s") + ": " + state.answer + "_";
  return {};
}

}  // namespace

std::string UiLine::text() const {
  std::string text;
  for (const auto& span : spans) text += span.text;
  return text;
}

std::size_t listRows(std::size_t height) {
  return height > kFrameLines ? height - kFrameLines : 1;
}

std::vector<std::string> helpLines() {
  return {
      "1 2 3 4, Tab, left and right   switch between Sessions, Ghosts, Servers and Disk",
      "down or j, up, PgUp, PgDn      move (g and G: first and last)",
      "Enter                          details: the command line (secrets masked), where it "
      "came from, and why it is or isn't safe to stop",
      "k                              stop the selected process and everything it started, "
      "after you press y (the same stop as glimmet kill, logged the same way)",
      "space                          mark or unmark a disk item",
      "c                              clean the marked items: shows the plan, then asks you "
      "to type yes (the same checks and Trash as glimmet disk clean)",
      "r                              scan the disk again (the list stays usable meanwhile)",
      "/                              filter the rows; Esc clears the filter",
      "q                              quit",
      "",
      "k is stop, so it doesn't move up: use the up arrow. Your protected processes and "
      "other users' processes can't be stopped here; the view says why.",
      "The lists are refreshed every 2 seconds.",
  };
}

std::vector<UiLine> renderUi(const UiState& state, const UiData& data, std::size_t width,
                             std::size_t height) {
  Canvas canvas(width, height);
  tabBar(canvas, state, data);
  switch (state.mode) {
    case UiMode::details:
      details(canvas, state, data);
      break;
    case UiMode::help:
      help(canvas);
      break;
    case UiMode::confirmClean:
      plan(canvas, state);
      break;
    default:
      list(canvas, state, data, listRows(height));
      break;
  }
  std::vector<UiLine> bottom;
  const auto asked = question(state);
  if (!asked.empty()) {
    bottom.push_back(singleLine(asked, UiStyle::prompt, width));
  } else {
    const auto status = statusText(state, data);
    bottom.push_back(
        singleLine(status, state.message.empty() ? UiStyle::dim : UiStyle::warning, width));
  }
  bottom.push_back(singleLine(keysText(state), UiStyle::dim, width));
  if (height < bottom.size()) bottom.resize(height);
  return std::move(canvas).finish(std::move(bottom));
}

}  // namespace glimmet
