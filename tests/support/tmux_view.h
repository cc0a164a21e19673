// A program run in a real terminal: a tmux server of the test's own (its
// socket in the test's folder), one window of a chosen size, keys typed into
// it and its screen read back. The server, and what runs in it, ends with the
// object.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace glimmet::testing {

class TmuxView {
 public:
  /// Runs `command` (a shell command line) in a new window `width` by `height`,
  /// with `environment`. Throws std::runtime_error when tmux can't start.
  TmuxView(const std::filesystem::path& folder, const Environment& environment,
           const std::string& command, int width, int height);
  ~TmuxView();
  TmuxView(const TmuxView&) = delete;
  TmuxView& operator=(const TmuxView&) = delete;

  /// The screen as text, one line per row, trailing blanks dropped.
  std::string screen() const;
  /// A tmux format of the pane ("#{alternate_on}", "#{pane_pid}").
  std::string format(const std::string& text) const;
  /// Keys by tmux name ("Enter", "Down", "C-c", "q").
  void keys(const std::vector<std::string>& names) const;
  /// Text typed as it is.
  void type(const std::string& text) const;
  void resize(int width, int height) const;
  /// Waits up to `timeout` until the screen contains `text`; false if it never did.
  bool waitFor(const std::string& text,
               std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  /// Waits until `test` holds for the screen.
  bool waitUntil(const std::function<bool(const std::string&)>& test,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  std::string tmux(const std::vector<std::string>& arguments) const;

  std::filesystem::path socket_;
  Environment environment_;
};

}  // namespace glimmet::testing
