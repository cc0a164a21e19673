// POSIXLauncher: when a child is waited for, stopped and read, over the
// platform's child-process calls.
#include "core/tools/process_launcher.h"

#include <cerrno>
#include <optional>
#include <thread>

#include "platform/own_process.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 50ms;
constexpr auto kTermGrace = 3s;
constexpr auto kOutputDrain = 2s;
constexpr pid_t kLowestSignalledPID = 100;

// Splits what the child writes into lines; a line left open at the end is
// passed on when the pipe closes.
class LineReader {
 public:
  explicit LineReader(const std::function<void(const std::string&)>& onLine) : onLine_(onLine) {}

  /// Reads what is there now; false at end of file or on an error.
  bool readAvailable(int fd) {
    if (platform::readAvailable(fd, [this](std::string_view bytes) { feed(bytes); })) return true;
    flush();
    return false;
  }

  void flush() {
    if (!pending_.empty()) onLine_(std::exchange(pending_, {}));
  }

 private:
  void feed(std::string_view bytes) {
    for (const char c : bytes) {
      if (c == '\n') {
        onLine_(std::exchange(pending_, {}));
      } else if (pending_.size() < 64 * 1024) {
        pending_.push_back(c);
      }
    }
  }

  const std::function<void(const std::string&)>& onLine_;
  std::string pending_;
};

// Some other process group than ours, led by the child we started: the only
// group this may signal.
bool ownsItsGroup(pid_t pid) {
  const auto group = platform::processGroupOf(pid);
  return pid > kLowestSignalledPID && group == pid && group != platform::ownProcessGroup();
}

std::optional<ProcessExit> reap(pid_t pid) {
  const auto end = platform::reapIfEnded(pid);
  if (!end) return std::nullopt;
  if (end->signalled) return ProcessExit{ProcessExit::Kind::signalled, end->code};
  return ProcessExit{ProcessExit::Kind::exited, end->code};
}

void pump(int fd, LineReader& reader, std::chrono::milliseconds timeout, bool& open) {
  if (!open) {
    std::this_thread::sleep_for(timeout);
    return;
  }
  if (platform::awaitOutput(fd, timeout)) open = reader.readAvailable(fd);
}

}  // namespace

SpawnedProcess POSIXLauncher::spawn(const std::vector<std::string>& argv,
                                    const std::filesystem::path& cwd,
                                    const Environment* environment, bool atTerminal) const {
  if (argv.empty() || argv.front().empty() || argv.front().front() != '/')
    throw platform::SystemError("a clean command needs an absolute program", ENOENT);
  // Without an environment given, the tool's own: clean commands find their
  // caches through it.
  return platform::spawnProcess(argv, cwd, environment, atTerminal);
}

ProcessExit POSIXLauncher::wait(SpawnedProcess& process, Clock::time_point deadline,
                                const std::function<void(const std::string&)>& onLine,
                                const std::atomic<bool>* stop) const {
  LineReader reader(onLine);
  bool open = process.outputFD.get() >= 0;
  const int fd = process.outputFD.get();
  const auto stopRequested = [&] { return stop && stop->load(); };

  std::optional<ProcessExit> exit;
  while (!(exit = reap(process.pid))) {
    if (Clock::now() >= deadline || stopRequested()) break;
    pump(fd, reader, kPollInterval, open);
  }
  if (!exit) {
    const auto kind = stopRequested() ? ProcessExit::Kind::stopped : ProcessExit::Kind::timedOut;
    // The child is not reaped until the end, so its pid, and the group it
    // leads, can't be handed to another process while this signals them.
    const bool group = ownsItsGroup(process.pid);
    platform::signalChild(process.pid, group, platform::ChildSignal::terminate);
    const auto killAt = Clock::now() + kTermGrace;
    while (!platform::hasEnded(process.pid) && Clock::now() < killAt)
      pump(fd, reader, kPollInterval, open);
    // The leader may be gone while the rest of its group lingers.
    platform::signalChild(process.pid, group, platform::ChildSignal::kill);
    platform::reapWhenEnded(process.pid);
    exit = ProcessExit{kind, 0};
  }
  const auto drainUntil = Clock::now() + kOutputDrain;
  while (open && Clock::now() < drainUntil) pump(fd, reader, kPollInterval, open);
  reader.flush();
  return *exit;
}

}  // namespace glimmet
