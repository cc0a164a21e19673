// The interactive view drawn as lines of styled text for a screen of a given
// size: the tab bar, the list or the details, the status line and the keys.
// Styles name what a part is, not a colour: the screen decides how it looks,
// with or without colour.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "logic/ui/ui_view.h"

namespace glimmet {

enum class UiStyle { plain, title, tab, activeTab, heading, selected, dim, warning, prompt };

struct UiSpan {
  std::string text;
  UiStyle style = UiStyle::plain;
};

/// One screen line; its spans together are never wider than the screen.
struct UiLine {
  std::vector<UiSpan> spans;
  std::string text() const;
};

/// Exactly `height` lines, each at most `width` columns.
std::vector<UiLine> renderUi(const UiState& state, const UiData& data, std::size_t width,
                             std::size_t height);

/// How many list rows fit on a screen `height` lines tall: what a page key moves.
std::size_t listRows(std::size_t height);

/// The help screen's lines.
std::vector<std::string> helpLines();

}  // namespace glimmet
