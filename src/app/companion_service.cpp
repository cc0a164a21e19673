#include "app/companion_service.h"

#include <algorithm>

#include "core/output/json_writer.h"
#include "core/settings/shared_files.h"
#include "logic/agents/application_heartbeat.h"
#include "logic/companion/session_roots.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

namespace glimmet {
namespace {

// Signature answers are kept per process; a table that turns over (builds,
// test runs) would grow them without end, so they are dropped and made again
// once this many processes more than the table holds have come by.
constexpr std::size_t kCacheTurnover = 2000;

constexpr std::string_view kProcessTable = "process table";
constexpr std::string_view kReaper = "reaper";
constexpr std::string_view kAlerts = "alerts";
constexpr std::string_view kQuitRequests = "quit requests failed";

}  // namespace

CompanionService::CompanionService(const platform::SharedFolder& folder, CompanionInputs& inputs,
                                   pid_t ownPID, const std::optional<CompanionState>& previous,
                                   CompanionMoment start, const Environment& environment,
                                   std::ostream& log)
    : folder_(folder),
      inputs_(inputs),
      log_(log),
      schedule_(start.steady),
      watch_(inputs.current().uid()),
      recorder_(AncestryRecorder::load(folder.path())),
      reaper_(start.wall),
      alerts_(folder, environment, log, notes_),
      quitPrompts_(folder, alerts_.outlet(), log, notes_) {
  state_.pid = ownPID;
  state_.startedAt = start.wall;
  state_.updatedAt = start.wall;
  if (previous) state_.lastReap = previous->lastReap;
  state_.ancestryRecords = recorder_.size();
  inputs_.sayWhatIsMissing(log_, notes_);
}

CompanionService::~CompanionService() = default;

void CompanionService::look(CompanionMoment now) {
  const bool inputsChanged = inputs_.refresh(log_, notes_);
  const auto changes = watch_.look();
  if (changes.listingFailed) {
    const std::string message =
        "Couldn't list the processes in /proc: nothing new is recorded until it can.";
    if (notes_.failed(kProcessTable, message)) log_ << message << '\n';
  } else if (notes_.succeeded(kProcessTable)) {
    log_ << "Listed the processes again.\n";
  }
  if (!changes.listingFailed && (!looked_ || changes.any() || inputsChanged))
    observe(now, changes, inputsChanged);
  looked_ = looked_ || !changes.listingFailed;

  bool stateChanged = false;
  try {
    auto reap = reaper_.tick(inputs_.current(), sessions_, now.wall, log_);
    if (reap && reap != state_.lastReap) {
      state_.lastReap = std::move(reap);
      stateChanged = true;
    }
    notes_.succeeded(kReaper);
  } catch (const std::exception& failure) {
    const std::string message = std::string("The reaper failed: ") + failure.what();
    if (notes_.failed(kReaper, message)) log_ << message << '\n';
  }
  alert(now);
  askAboutQuitRequests(now);
  writeDue(now, stateChanged);
}

void CompanionService::alert(CompanionMoment now) {
  if (!alerts_.due(sessions_)) return;
  try {
    watch_.withSnapshot(now.wall, [&](const ProcessSnapshot& snapshot) {
      alerts_.look(now.wall, now.steady, snapshot, sessions_, recorder_,
                   cache_ ? &*cache_ : nullptr, inputs_.current());
    });
    notes_.succeeded(kAlerts);
  } catch (const std::exception& failure) {
    const std::string message = std::string("The alerts failed: ") + failure.what();
    if (notes_.failed(kAlerts, message)) log_ << message << '\n';
  }
}

void CompanionService::askAboutQuitRequests(CompanionMoment now) {
  try {
    quitPrompts_.look(now.steady, inputs_.current());
    notes_.succeeded(kQuitRequests);
  } catch (const std::exception& failure) {
    const std::string message = std::string("The quit requests failed: ") + failure.what();
    if (notes_.failed(kQuitRequests, message)) log_ << message << '\n';
  }
}

void CompanionService::observe(CompanionMoment now, const ProcessChanges& changes,
                               bool inputsChanged) {
  const auto& signatures = inputs_.current().signatures;
  addedSinceCache_ += changes.added;
  if (!signatures) {
    cache_.reset();
  } else if (!cache_ || inputsChanged || !changes.replacedPrograms.empty() ||
             addedSinceCache_ > watch_.size() + kCacheTurnover) {
    // What a match said of a program that exec'd another, or under other
    // signatures, no longer holds.
    cache_.emplace(*signatures);
    addedSinceCache_ = 0;
  }
  watch_.withSnapshot(now.wall, [&](const ProcessSnapshot& snapshot) {
    if (cache_) {
      const auto before = recorder_.size();
      recorder_.observe(snapshot, now.wall, *cache_);
      if (recorder_.size() > before) pending_ = CompanionSchedule::Pending::added;
    }
    const auto kept = recorder_.size();
    recorder_.prune(snapshot);
    if (recorder_.size() < kept && pending_ == CompanionSchedule::Pending::nothing)
      pending_ = CompanionSchedule::Pending::dropped;

    if (!cache_) {
      agents_.clear();
      sessions_.clear();
      return;
    }
    auto agents = agentProcesses(snapshot, *cache_);
    if (agents != agents_ || inputsChanged) {
      agents_ = std::move(agents);
      sessions_ = liveSessionRoots(snapshot, *cache_, inputs_.current().uid(), now.wall);
    }
  });
  std::vector<pid_t> agentPIDs;
  for (const auto& [identity, parent] : agents_) agentPIDs.push_back(identity.pid);
  watch_.checkEveryLook(std::move(agentPIDs));
}

bool CompanionService::write(std::string_view name, const std::string& bytes) {
  try {
    folder_.replace(name, bytes);
  } catch (const platform::SystemError& failure) {
    const std::string message = failure.what();
    if (notes_.failed(name, message))
      log_ << message << ". The companion keeps what it holds and tries again.\n";
    return false;
  }
  if (notes_.succeeded(name)) log_ << "Wrote " << name << " again.\n";
  return true;
}

void CompanionService::writeDue(CompanionMoment now, bool stateChanged) {
  if (schedule_.ancestryDue(pending_, now.steady) &&
      write(shared_files::ancestry, recorder_.toJson())) {
    schedule_.ancestryWritten(now.steady);
    pending_ = CompanionSchedule::Pending::nothing;
    state_.ancestryRecords = recorder_.size();
  }
  const JsonWriteOptions options{.escapeSlashes = true};
  if (schedule_.heartbeatDue(now.steady)) {
    if (write(shared_files::mcpHeartbeat, writeJson(heartbeatStamp(now.wall), options)))
      schedule_.heartbeatWritten(now.steady);
    stateChanged = true;
  }
  if (stateChanged || notes_.failing(shared_files::companionState)) {
    state_.updatedAt = now.wall;
    state_.sessionsWatched = sessions_.size();
    write(shared_files::companionState, writeJson(state_.toJson(), options));
  }
}

void CompanionService::stop(CompanionMoment now) {
  int error = 0;
  if (!platform::removeFile(folder_.path() / std::string(shared_files::mcpHeartbeat), error))
    log_ << "Couldn't remove " << shared_files::mcpHeartbeat << ": "
         << platform::describeError(error) << ". It goes stale within 90 seconds.\n";
  if (pending_ != CompanionSchedule::Pending::nothing &&
      write(shared_files::ancestry, recorder_.toJson()))
    state_.ancestryRecords = recorder_.size();
  state_.updatedAt = now.wall;
  state_.sessionsWatched = sessions_.size();
  write(shared_files::companionState,
        writeJson(state_.toJson(), JsonWriteOptions{.escapeSlashes = true}));
}

}  // namespace glimmet
