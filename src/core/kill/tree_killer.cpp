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

std::optional<SkipReason> TreeKiller::checkLive(const LiveProcess& live,
                                                const ProcessRecord& record,
                                                const std::vector<std::uint16_t>& ports,
                                                const std::optional<std::string>& repoPath) const {
  using Kind = SkipReason::Kind;
  const ProcessIdentity& expected = record.identity;
  if (live.identity.pid != expected.pid) return SkipReason::of(Kind::gone);
  if (live.identity.startTime != expected.startTime) return SkipReason::of(Kind::pidReused);
  if (live.identity.pid < kLowestSignallablePID) return SkipReason::of(Kind::belowMinimumPID);
  // The kernel lets us signal a setuid program we started (its real uid is
  // ours), but it runs as someone else: not ours to stop.
  if (!live.whollyOwnedBy(context_.currentUID)) return SkipReason::of(Kind::otherUser);
  if (live.status == ProcessStatus::zombie) return SkipReason::of(Kind::zombie);
  // What it runs now decides: a member that exec'd into a database or an agent
  // is protected from then on.
  ProtectionSubject subject{.pid = live.identity.pid,
                            .uid = live.effectiveUID,
                            .name = live.name,
                            .path = live.path,
                            .commandLine = live.commandLine(),
                            .hasControllingTTY = live.hasControllingTTY,
                            .ports = ports,
                            .repoPath = repoPath};
  if (signatures_ != nullptr) {
    // The snapshot resolved the script an interpreter runs; it still names what
    // runs while the arguments are the ones the snapshot saw.
    MatchInput input{.name = live.name, .path = live.path};
    if (!live.argv.empty()) input.arguments = std::span<const std::string>(live.argv);
    if (record.script && live.argv == record.argv) input.script = *record.script;
    subject.agent = recognitionOf(signatures_->agentRoot(input));
  }
  if (auto reason = checkProtection(subject, context_, protectedList_, systemProcesses_)) {
    return SkipReason::protectedBy(std::move(*reason));
  }
  return std::nullopt;
}

std::optional<SkipReason> TreeKiller::preflight(Member& member,
                                                const std::optional<std::string>& repoPath) const {
  using Kind = SkipReason::Kind;
  const ProcessRecord& record = *member.record;
  const auto live = inspector_.live(record.pid());
  if (live) {
    if (auto reason = checkLive(*live, record, member.ports, repoPath)) return reason;
    member.livePGID = live->pgid;
  } else {
    const auto state = inspector_.state(record.pid());
    if (!state) return SkipReason::of(Kind::gone);
    if (state->startTime != record.identity.startTime) return SkipReason::of(Kind::pidReused);
    // Exec'ing as we look: it stays a member outside any group signal, and the
    // check before its own signal decides (which refuses what can't be read whole).
    member.livePGID = 0;
  }
  // The snapshot's view counts too: what was protected a moment ago stays so.
  const auto snapshotSubject =
      signatures_ != nullptr ? protectionSubject(record, member.ports, repoPath,
                                                 signatures_->agentRoot(MatchInput::of(record)))
                             : protectionSubject(record, member.ports, repoPath);
  if (auto reason = checkProtection(snapshotSubject, context_, protectedList_, systemProcesses_)) {
    return SkipReason::protectedBy(std::move(*reason));
  }
  return std::nullopt;
}

bool TreeKiller::groupSignalMayReach(const std::vector<Member>& members, pid_t pgid) const {
  if (members.size() < 2 || pgid < kLowestSignallablePID) return false;
  // Its leader must be one of ours.
  return std::ranges::any_of(members, [&](const Member& member) {
    return member.record->pid() == pgid && member.livePGID == pgid;
  });
}

std::vector<SignalResult> TreeKiller::deliver(const std::vector<Member>& members, int number,
                                              const std::optional<std::string>& repoPath) {
  std::vector<SignalResult> results(members.size());
  if (members.empty()) return results;
  const auto checkFor = [&](const Member& member) -> SignalCheck {
    return [this, target = &member, &repoPath](const LiveProcess& live) {
      return checkLive(live, *target->record, target->ports, repoPath);
    };
  };
  const pid_t pgid = members.front().livePGID;
  std::set<pid_t> reachedByGroup;
  // killpg reaches everything in the group as it is when the signal goes: that
  // must be only members of this tree, each passing its check right then.
  const GroupCheck groupCheck = [&](const std::vector<LiveProcess>& group) {
    reachedByGroup.clear();
    for (const auto& live : group) {
      const auto member = std::ranges::find_if(members, [&](const Member& candidate) {
        return candidate.record->identity == live.identity;
      });
      if (member == members.end() || checkFor(*member)(live)) return false;
      reachedByGroup.insert(live.identity.pid);
    }
    return reachedByGroup.contains(pgid);
  };
  if (groupSignalMayReach(members, pgid) &&
      signaller_.signalGroup(pgid, number, groupCheck) == SignalOutcome::sent) {
    // Members that were not in the group (a setsid child) still need their own signal.
    for (std::size_t i = 0; i < members.size(); ++i) {
      results[i] =
          reachedByGroup.contains(members[i].record->pid())
              ? SignalResult{SignalOutcome::sent, std::nullopt}
              : signaller_.signal(members[i].record->identity, number, checkFor(members[i]));
    }
    return results;
  }
  // Root first, then descendants breadth first: a parent that goes first can't
  // restart the children it sees dying.
  for (std::size_t i = 0; i < members.size(); ++i)
    results[i] = signaller_.signal(members[i].record->identity, number, checkFor(members[i]));
  return results;
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
  Member rootMember{root, 0, ports};
  if (auto reason = preflight(rootMember, repoPath)) return refuse(*reason);

  // Each member to signal keeps its slot in the report.
  std::vector<Member> members = {rootMember};
  std::vector<std::size_t> slots = {0};
  report.outcomes.push_back({root->identity, outcome(Kind::survived)});
  for (const ProcessRecord* descendant : snapshot.descendants(root->pid())) {
    Member member{descendant};
    if (auto reason = preflight(member, repoPath)) {
      report.outcomes.push_back({descendant->identity, skipped(*reason)});
      continue;
    }
    slots.push_back(report.outcomes.size());
    report.outcomes.push_back({descendant->identity, outcome(Kind::survived)});
    members.push_back(member);
  }
  // What stopping frees is what the members hold now: a record reads its
  // memory on first use, which after their exit would find nothing.
  for (const Member& member : members) (void)member.record->footprint.get();
  const auto set = [&](std::size_t member, MemberOutcome value) {
    report.outcomes[slots[member]].outcome = std::move(value);
  };

  const auto membersAt = [&](const std::vector<std::size_t>& which) {
    std::vector<Member> chosen;
    for (const auto index : which) chosen.push_back(members[index]);
    return chosen;
  };
  // Members that got SIGTERM and then failed the check before SIGKILL: they
  // exec'd a setuid program, changed owner or became a protected program. They
  // are left alone, skipped with that reason, but they are still running and
  // were part of what we set out to stop, so the report is partial. (A member
  // that fails its check before its first signal is skipped as in preflight.)
  std::set<std::size_t> escaped;
  // Signals `number` to the members listed in `which` (indices into members) and
  // returns those that received it. `afterSIGTERM`: they were sent SIGTERM
  // before, so one found gone now was stopped by it.
  const auto signalAll = [&](const std::vector<std::size_t>& which, int number, bool afterSIGTERM) {
    const auto results = deliver(membersAt(which), number, repoPath);
    std::vector<std::size_t> reached;
    for (std::size_t i = 0; i < which.size(); ++i) {
      const auto& result = results[i];
      if (result.failedCheck) {
        const SkipReason& reason = *result.failedCheck;
        if (afterSIGTERM && (reason.alreadyStopped() || reason.kind == SkipReason::Kind::zombie)) {
          set(which[i], outcome(Kind::stoppedBySIGTERM));
        } else {
          set(which[i], skipped(reason));
          if (afterSIGTERM) escaped.insert(which[i]);
        }
        continue;
      }
      switch (result.outcome) {
        case SignalOutcome::sent:
          reached.push_back(which[i]);
          break;
        case SignalOutcome::noSuchProcess:
          set(which[i], afterSIGTERM ? outcome(Kind::stoppedBySIGTERM)
                                     : skipped(SkipReason::of(SkipReason::Kind::gone)));
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
    alive = signalAll(everyone, SIGKILL, false);
  } else {
    const auto reached = signalAll(everyone, SIGTERM, false);
    const auto survivors = wait(reached, options.gracePeriod, Kind::stoppedBySIGTERM);
    // One that exits between the last look and SIGKILL still went on SIGTERM.
    alive = survivors.empty() ? survivors : signalAll(survivors, SIGKILL, true);
  }
  if (!alive.empty()) {
    for (const auto index : wait(alive, KillLimits::kWaitAfterSIGKILL, Kind::stoppedBySIGKILL))
      set(index, outcome(Kind::survived));
  }

  // Nothing was sent and the root was left alone: it went away on its own, or
  // stopped being ours to stop between the preflight and its signal.
  const MemberOutcome& rootOutcome = report.outcomes.front().outcome;
  if (report.signalsSent.empty() && rootOutcome.kind == Kind::skipped &&
      !report.anyNotPermitted()) {
    return refuse(rootOutcome.reason.value_or(SkipReason::of(SkipReason::Kind::gone)));
  }
  bool allStopped = escaped.empty();
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
