#include "core/kill/tree_killer.h"

#include <algorithm>
#include <csignal>
#include <set>

namespace glimmet {
namespace {

MemberOutcome skipped(SkipReason reason) {
  return {MemberOutcome::Kind::skipped, std::move(reason)};
}

MemberOutcome outcome(MemberOutcome::Kind kind) {
  return {kind, std::nullopt};
}

}  // namespace

std::optional<SkipReason> TreeKiller::check(const ProcessRecord& record,
                                            const std::vector<std::uint16_t>& ports,
                                            const std::optional<std::string>& repoPath,
                                            pid_t& livePGID) const {
  using Kind = SkipReason::Kind;
  const auto live = inspector_.state(record.pid());
  if (!live) return SkipReason::of(Kind::gone);
  if (live->startTime != record.identity.startTime) return SkipReason::of(Kind::pidReused);
  if (record.pid() < kLowestSignallablePID) return SkipReason::of(Kind::belowMinimumPID);
  if (live->uid != context_.currentUID) return SkipReason::of(Kind::otherUser);
  if (live->status == ProcessStatus::zombie) return SkipReason::of(Kind::zombie);
  const auto subject = signatures_ != nullptr
                           ? protectionSubject(record, ports, repoPath,
                                               signatures_->agentRoot(MatchInput::of(record)))
                           : protectionSubject(record, ports, repoPath);
  if (auto reason = checkProtection(subject, context_, protectedList_, systemProcesses_)) {
    return SkipReason::protectedBy(std::move(*reason));
  }
  livePGID = live->pgid;
  return std::nullopt;
}

bool TreeKiller::oneGroupSignalReaches(const std::vector<Member>& members, pid_t pgid) const {
  if (members.size() < 2 || pgid < kLowestSignallablePID) return false;
  std::set<pid_t> inGroup;
  for (const auto& member : members)
    if (member.livePGID == pgid) inGroup.insert(member.record->pid());
  if (!inGroup.contains(pgid)) return false;  // its leader must be one of ours
  // killpg reaches everything in the group: that must be only what we checked.
  return std::ranges::all_of(inspector_.groupMembers(pgid),
                             [&](pid_t pid) { return inGroup.contains(pid); });
}

std::vector<SignalOutcome> TreeKiller::deliver(const std::vector<Member>& members, int number) {
  std::vector<SignalOutcome> outcomes(members.size(), SignalOutcome::refused);
  if (members.empty()) return outcomes;
  const pid_t pgid = members.front().livePGID;
  if (oneGroupSignalReaches(members, pgid) &&
      signaller_.signalGroup(pgid, number) == SignalOutcome::sent) {
    // Members that left the group (a setsid child) still need their own signal.
    for (std::size_t i = 0; i < members.size(); ++i) {
      outcomes[i] = members[i].livePGID == pgid
                        ? SignalOutcome::sent
                        : signaller_.signal(members[i].record->identity, number);
    }
    return outcomes;
  }
  // Root first, then descendants breadth first: a parent that goes first can't
  // restart the children it sees dying.
  for (std::size_t i = 0; i < members.size(); ++i)
    outcomes[i] = signaller_.signal(members[i].record->identity, number);
  return outcomes;
}

std::vector<bool> TreeKiller::awaitExit(const std::vector<Member>& members, double seconds) {
  std::vector<bool> exited(members.size(), false);
  const double deadline = clock_.now() + seconds;
  while (true) {
    for (std::size_t i = 0; i < members.size(); ++i)
      if (!exited[i]) exited[i] = hasExited(inspector_, members[i].record->identity);
    if (std::ranges::all_of(exited, [](bool gone) { return gone; })) break;
    const double left = deadline - clock_.now();
    if (left <= 0) break;
    clock_.sleep(std::min(KillLimits::kPollInterval, left));
  }
  return exited;
}

KillReport TreeKiller::kill(const ProcessIdentity& target, const ProcessSnapshot& snapshot,
                            const std::vector<std::uint16_t>& ports,
                            const std::optional<std::string>& repoPath,
                            const KillOptions& options) {
  using Kind = MemberOutcome::Kind;
  KillReport report;
  report.target = target;
  const auto refuse = [&](SkipReason reason) {
    report.status = KillReport::Status::refused;
    report.outcomes = {{target, skipped(reason)}};
    report.refusal = std::move(reason);
    return report;
  };

  const ProcessRecord* root = snapshot.record(target.pid);
  if (root == nullptr) return refuse(SkipReason::of(SkipReason::Kind::gone));
  if (root->identity != target) return refuse(SkipReason::of(SkipReason::Kind::pidReused));
  Member rootMember{root};
  if (auto reason = check(*root, ports, repoPath, rootMember.livePGID)) return refuse(*reason);

  // Each member to signal keeps its slot in the report.
  std::vector<Member> members = {rootMember};
  std::vector<std::size_t> slots = {0};
  report.outcomes.push_back({root->identity, outcome(Kind::survived)});
  for (const ProcessRecord* descendant : snapshot.descendants(root->pid())) {
    Member member{descendant};
    if (auto reason = check(*descendant, {}, repoPath, member.livePGID)) {
      report.outcomes.push_back({descendant->identity, skipped(*reason)});
      continue;
    }
    slots.push_back(report.outcomes.size());
    report.outcomes.push_back({descendant->identity, outcome(Kind::survived)});
    members.push_back(member);
  }
  const auto set = [&](std::size_t member, MemberOutcome value) {
    report.outcomes[slots[member]].outcome = std::move(value);
  };

  const auto membersAt = [&](const std::vector<std::size_t>& which) {
    std::vector<Member> chosen;
    for (const auto index : which) chosen.push_back(members[index]);
    return chosen;
  };
  // Signals `number` to the members listed in `which` (indices into members) and
  // returns those that received it.
  const auto signalAll = [&](const std::vector<std::size_t>& which, int number,
                             Kind ifAlreadyGone) {
    const auto outcomes = deliver(membersAt(which), number);
    std::vector<std::size_t> reached;
    for (std::size_t i = 0; i < which.size(); ++i) {
      switch (outcomes[i]) {
        case SignalOutcome::sent:
          reached.push_back(which[i]);
          break;
        case SignalOutcome::noSuchProcess:
          set(which[i], ifAlreadyGone == Kind::skipped
                            ? skipped(SkipReason::of(SkipReason::Kind::gone))
                            : outcome(ifAlreadyGone));
          break;
        case SignalOutcome::notPermitted:
        case SignalOutcome::refused:
          set(which[i], outcome(Kind::notPermitted));
          break;
      }
    }
    if (!reached.empty()) report.signalsSent.push_back(number);
    return reached;
  };
  const auto wait = [&](const std::vector<std::size_t>& which, double seconds, Kind exitedAs) {
    const auto exited = awaitExit(membersAt(which), seconds);
    std::vector<std::size_t> alive;
    for (std::size_t i = 0; i < which.size(); ++i) {
      if (exited[i]) {
        set(which[i], outcome(exitedAs));
      } else {
        alive.push_back(which[i]);
      }
    }
    return alive;
  };

  std::vector<std::size_t> everyone(members.size());
  for (std::size_t i = 0; i < everyone.size(); ++i) everyone[i] = i;
  std::vector<std::size_t> alive;
  if (options.immediateSIGKILL) {
    alive = signalAll(everyone, SIGKILL, Kind::skipped);
  } else {
    const auto reached = signalAll(everyone, SIGTERM, Kind::skipped);
    const auto survivors = wait(reached, options.gracePeriod, Kind::stoppedBySIGTERM);
    // One that exits between the last look and SIGKILL still went on SIGTERM.
    alive = survivors.empty() ? survivors : signalAll(survivors, SIGKILL, Kind::stoppedBySIGTERM);
  }
  if (!alive.empty()) {
    for (const auto index : wait(alive, KillLimits::kWaitAfterSIGKILL, Kind::stoppedBySIGKILL))
      set(index, outcome(Kind::survived));
  }

  // The root went away on its own before anything reached it: nothing was stopped.
  if (report.signalsSent.empty() && report.outcomes.front().outcome.kind == Kind::skipped &&
      !report.anyNotPermitted()) {
    return refuse(SkipReason::of(SkipReason::Kind::gone));
  }
  bool allStopped = true;
  for (const auto slot : slots) {
    const auto& member = report.outcomes[slot];
    if (member.outcome.stopped()) {
      if (const auto* record = snapshot.record(member.identity.pid)) {
        report.freedBytes += record->footprint;
      }
    } else if (member.outcome.kind != Kind::skipped) {
      allStopped = false;
    }
  }
  report.status = allStopped ? KillReport::Status::done : KillReport::Status::partial;
  return report;
}

}  // namespace glimmet
