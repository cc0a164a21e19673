#include "support/tmux_view.h"

#include <stdexcept>
#include <thread>

#include "support/run_process.h"

namespace glimmet::testing {

TmuxView::TmuxView(const std::filesystem::path& folder, const Environment& environment,
                   const std::string& command, int width, int height)
    : socket_(folder / "tmux.sock"), environment_(environment) {
  // No configuration file: the user's (or the machine's) can't change keys or sizes.
  const auto result =
      runProcess({"/usr/bin/tmux", "-S", socket_.string(), "-f", "/dev/null", "new-session", "-d",
                  "-x", std::to_string(width), "-y", std::to_string(height), command},
                 environment_);
  if (result.status != 0) throw std::runtime_error("tmux didn't start: " + result.err);
}

TmuxView::~TmuxView() {
  // Ends the server and hangs up on what runs in its window: only ours.
  runProcess({"/usr/bin/tmux", "-S", socket_.string(), "kill-server"}, environment_);
}

std::string TmuxView::tmux(const std::vector<std::string>& arguments) const {
  std::vector<std::string> argv = {"/usr/bin/tmux", "-S", socket_.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProcess(argv, environment_).out;
}

std::string TmuxView::screen() const {
  return tmux({"capture-pane", "-p", "-t", "0"});
}

std::string TmuxView::format(const std::string& text) const {
  auto out = tmux({"display-message", "-p", "-t", "0", text});
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

void TmuxView::keys(const std::vector<std::string>& names) const {
  std::vector<std::string> arguments = {"send-keys", "-t", "0"};
  arguments.insert(arguments.end(), names.begin(), names.end());
  tmux(arguments);
}

void TmuxView::type(const std::string& text) const {
  tmux({"send-keys", "-t", "0", "-l", text});
}

void TmuxView::resize(int width, int height) const {
  tmux({"resize-window", "-t", "0", "-x", std::to_string(width), "-y", std::to_string(height)});
}

bool TmuxView::waitFor(const std::string& text, std::chrono::milliseconds timeout) const {
  return waitUntil(
      [&](const std::string& screen) { return screen.find(text) != std::string::npos; }, timeout);
}

bool TmuxView::waitUntil(const std::function<bool(const std::string&)>& test,
                         std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (test(screen())) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace glimmet::testing
