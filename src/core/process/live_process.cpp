#include "core/process/live_process.h"

namespace glimmet {
namespace {

// An exec between two reads changes these; a settled process shows the same twice.
bool sameProgram(const platform::KernelSummary& a, const platform::KernelSummary& b) {
  return a.startTime == b.startTime && a.name == b.name && a.uid == b.uid &&
         a.realUID == b.realUID && a.savedUID == b.savedUID;
}

}  // namespace

std::string LiveProcess::commandLine() const {
  if (argv.empty()) return name;
  std::string line = argv.front();
  for (std::size_t i = 1; i < argv.size(); ++i) line += " " + argv[i];
  return line;
}

std::optional<LiveProcess> readLiveProcess(const platform::ProcessHandle& handle,
                                           uid_t currentUID) {
  constexpr int kAttempts = 3;
  auto first = handle.read();
  for (int attempt = 0; first && attempt < kAttempts; ++attempt) {
    const platform::KernelSummary& summary = first->summary;
    LiveProcess live{.identity = {summary.pid, summary.startTime},
                     .pgid = summary.pgid,
                     .realUID = summary.realUID,
                     .effectiveUID = summary.uid,
                     .savedUID = summary.savedUID,
                     .status = summary.status,
                     .name = summary.name,
                     .hasControllingTTY = summary.hasControllingTTY};
    // Another user's files are never opened, as in a snapshot.
    if (live.whollyOwnedBy(currentUID)) {
      live.path = handle.executablePath();
      if (auto arguments = handle.arguments()) live.argv = std::move(arguments->argv);
    }
    auto again = handle.read();
    if (!again) return std::nullopt;
    if (again->summary.startTime != summary.startTime) return std::nullopt;
    if (sameProgram(summary, again->summary) &&
        (!live.path || handle.executablePath() == live.path)) {
      // The latest group and state: they may change without an exec.
      live.pgid = again->summary.pgid;
      live.status = again->summary.status;
      live.name = platform::completeProcessName(live.name, live.argv, live.path);
      return live;
    }
    first = std::move(again);
  }
  return std::nullopt;
}

}  // namespace glimmet
