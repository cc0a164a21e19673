#include "app/companion_run.h"

#include <chrono>
#include <thread>

#include "app/companion_inputs.h"
#include "app/companion_service.h"
#include "core/settings/json_store.h"
#include "core/settings/shared_files.h"
#include "platform/files.h"
#include "platform/own_process.h"
#include "platform/process_info.h"
#include "platform/signals.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

// companion.json is a few hundred bytes.
constexpr std::size_t kMaxStateBytes = 64 * 1024;
// A companion that has just taken the lock writes companion.json a moment
// later: the one refused looks this long for its pid.
constexpr auto kPeerPIDWait = std::chrono::milliseconds(1500);
constexpr auto kPeerPIDPoll = std::chrono::milliseconds(100);

std::string counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

CompanionMoment momentNow() {
  return {std::chrono::system_clock::now(), std::chrono::steady_clock::now()};
}

std::optional<CompanionState> readState(const platform::SharedFolder& folder) {
  const auto bytes = folder.read(shared_files::companionState, kMaxStateBytes);
  if (!bytes) return std::nullopt;
  const auto json = parseSharedJson(*bytes);
  return json ? CompanionState::fromJson(*json) : std::nullopt;
}

// The pid of the companion that holds the lock, as its companion.json says,
// once that names a live process other than this one.
std::optional<pid_t> runningPeer(const platform::SharedFolder& folder) {
  const platform::ProcessTable table;
  const auto deadline = std::chrono::steady_clock::now() + kPeerPIDWait;
  for (;;) {
    const auto state = readState(folder);
    if (state && state->pid != platform::ownPID() && table.open(state->pid)) return state->pid;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPeerPIDPoll);
  }
}

platform::SharedFolder openSharedFolder(const std::filesystem::path& path) {
  try {
    return platform::SharedFolder::create(path);
  } catch (const platform::SystemError& failure) {
    throw CommandFailure(std::string(failure.what()) + ".", ExitStatus::cannotStart);
  }
}

platform::LockedFile lockForThisUser(const platform::SharedFolder& folder) {
  try {
    return folder.lock(shared_files::companionLock, std::chrono::milliseconds(0));
  } catch (const platform::LockTimeout&) {
    const auto peer = runningPeer(folder);
    throw CommandFailure(
        peer ? "The companion is already running (PID " + std::to_string(*peer) + ")."
             : "The companion is already running.",
        ExitStatus::cannotStart);
  } catch (const platform::SystemError& failure) {
    throw CommandFailure(std::string(failure.what()) + ".", ExitStatus::cannotStart);
  }
}

}  // namespace

ExitStatus runCompanion(const CompanionRunRequest&, RunContext& context) {
  CompanionInputs inputs(context.environment, context.executable);
  const auto folder = openSharedFolder(inputs.current().sharedFolder);
  const auto lock = lockForThisUser(folder);
  // From here on SIGTERM and SIGINT end the run at the next look, and wake
  // the wait between looks at once.
  const platform::StopSignals stop;
  std::ostream& log = context.error;

  const auto start = momentNow();
  CompanionService service(folder, inputs, platform::ownPID(), readState(folder), start,
                           context.environment, log);
  service.look(start);
  log << "Companion started (PID " << platform::ownPID() << "): watching "
      << counted(service.processesWatched(), "process", "processes") << ", "
      << counted(service.state().sessionsWatched, "live agent session", "live agent sessions")
      << ", " << counted(service.state().ancestryRecords, "recorded origin", "recorded origins")
      << "." << std::endl;

  CompanionSchedule::Time began = start.steady;
  while (stop.received() == 0) {
    const auto next = CompanionSchedule::nextLook(began, std::chrono::steady_clock::now());
    if (stop.wait(std::chrono::duration_cast<std::chrono::milliseconds>(
            next - std::chrono::steady_clock::now())))
      break;
    const auto now = momentNow();
    began = now.steady;
    service.look(now);
    log.flush();
  }
  service.stop(momentNow());
  log << "Companion stopped (" << platform::signalName(stop.received()) << ")." << std::endl;
  return ExitStatus::ok;
}

}  // namespace glimmet
