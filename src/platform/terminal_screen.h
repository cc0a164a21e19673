// A full-screen terminal: draws lines of styled text and reads keys. The one
// place that knows the terminal library; everything above hands it lines and
// gets keys back, so the view's logic runs without a terminal in tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace glimmet::platform {

/// What a span of text is; the screen picks how it looks.
enum class ScreenStyle { plain, title, tab, activeTab, heading, selected, dim, warning, prompt };

struct ScreenSpan {
  std::string text;  ///< UTF-8, printable, already cut to fit
  ScreenStyle style = ScreenStyle::plain;
};
using ScreenRow = std::vector<ScreenSpan>;

struct ScreenKey {
  enum class Kind {
    none,  ///< nothing was pressed before the timeout
    resize,
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
  Kind kind = Kind::none;
  char32_t character = 0;
};

struct ScreenSize {
  std::size_t width = 0;
  std::size_t height = 0;
};

class TerminalScreen {
 public:
  virtual ~TerminalScreen() = default;
  virtual ScreenSize size() const = 0;
  /// Replaces what the screen shows with `rows`, top to bottom.
  virtual void draw(const std::vector<ScreenRow>& rows) = 0;
  /// The next key, or Kind::none once `timeout` has passed without one.
  virtual ScreenKey readKey(std::chrono::milliseconds timeout) = 0;
};

/// Takes over the terminal on standard input and output until the screen is
/// destroyed, which puts the terminal back as it was. The same happens on
/// SIGINT, SIGTERM, SIGHUP, SIGQUIT and on a crash signal: the terminal is put
/// back and the signal raised again, so the shell sees how the program ended.
/// `colour` false draws with bold and reverse video only. One screen at a
/// time. Throws SystemError when there is no usable terminal.
std::unique_ptr<TerminalScreen> openTerminalScreen(bool colour);

}  // namespace glimmet::platform
