// The verdict and plan of a request, over one survey of now.
#include "logic/mcp/quit_request_review.h"

#include <algorithm>

#include "core/util/secret_masker.h"
#include "logic/mcp/mcp_text.h"

namespace glimmet {
namespace {

std::uint64_t microsecondsOf(SystemTime time) {
  const auto count =
      std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
  return count < 0 ? 0 : static_cast<std::uint64_t>(count);
}

// The request names a process that was running when it was filed; one that
// started well after that is a later process that reused the pid.
bool startedAfter(const ProcessRecord& record, SystemTime filed) {
  return record.identity.startTime > microsecondsOf(filed + kStartTimeSlack);
}

QuitCandidate candidateOf(const ProcessRecord& record, std::vector<std::uint16_t> ports,
                          const SafetyView& view, std::optional<pid_t> recordedSession) {
  const auto* server = ownServerOf(record.pid(), view);
  if (server != nullptr && ports.empty()) ports = server->ports;
  const auto protection = protectionOf(record, ports, view);
  const auto is = [&](ProtectionReason::Kind kind) {
    return protection && protection->kind == kind;
  };
  QuitCandidate candidate{.pid = record.pid(),
                          .ppid = record.ppid,
                          .uid = record.uid,
                          .name = record.name,
                          .path = record.path,
                          .commandLine = record.commandLine(),
                          .footprint = record.footprint,
                          .ports = std::move(ports),
                          .hasControllingTTY = record.hasControllingTTY,
                          .recordedSessionPID = recordedSession,
                          .userProtected = is(ProtectionReason::Kind::userRule),
                          .glimmet = is(ProtectionReason::Kind::glimmetItself),
                          .frontmost = is(ProtectionReason::Kind::frontmostApp),
                          .startTime = record.identity.startTime};
  if (is(ProtectionReason::Kind::builtInDefault))
    candidate.defaultProtection = protection->defaultLabel;
  if (server != nullptr && server->repoInfo() != nullptr)
    candidate.repoPath = server->repoInfo()->mainRepoPath;
  return candidate;
}

// The agent, then every child the session builder gave it, as the snapshot
// has them; a child that is no longer in the snapshot has nothing to stop.
SessionQuitPlan sessionPlan(const AgentSession& session, const QuitView& view) {
  const auto& snapshot = view.safety.snapshot;
  std::vector<QuitCandidate> candidates;
  if (const auto* root = snapshot.record(session.pid))
    candidates.push_back(candidateOf(*root, {}, view.safety, std::nullopt));
  for (const auto& child : session.children) {
    const auto* record = snapshot.record(child.pid);
    if (record == nullptr) continue;
    const bool below = snapshot.depth(child.pid, session.pid).has_value();
    candidates.push_back(candidateOf(*record, child.ports, view.safety,
                                     below ? std::nullopt : std::optional<pid_t>(session.pid)));
  }
  return SessionQuitPlan::make(session.pid, session.agent, candidates, view.currentUID,
                               view.safety.system);
}

// The process and everything below it.
SessionQuitPlan treePlan(const ProcessRecord& root, const QuitView& view) {
  std::vector<QuitCandidate> candidates = {candidateOf(root, {}, view.safety, std::nullopt)};
  for (const auto* descendant : view.safety.snapshot.descendants(root.pid()))
    candidates.push_back(candidateOf(*descendant, {}, view.safety, std::nullopt));
  return SessionQuitPlan::make(root.pid(), root.name, candidates, view.currentUID,
                               view.safety.system, false);
}

}  // namespace

MCPTarget targetOf(const MCPQuitRequest& request) {
  return {.pid = request.pid, .port = request.port, .sessionPID = request.sessionPID};
}

std::int64_t QuitRequestReview::ageSeconds() const {
  return std::max<std::int64_t>(
      0, std::chrono::duration_cast<std::chrono::seconds>(now - request.time).count());
}

std::string QuitRequestReview::what() const {
  auto text = targetOf(request).text();
  if (verdict.name && !verdict.name->empty()) text += " (" + *verdict.name + ")";
  return text;
}

std::optional<std::string> QuitRequestReview::note() const {
  if (!request.note) return std::nullopt;
  return SecretMasker::maskCommandLine(MCPText::redact(*request.note));
}

QuitRequestReview reviewQuitRequest(const MCPQuitRequest& request, const QuitView& view,
                                    SystemTime now) {
  QuitRequestReview review{.request = request, .now = now};
  const auto target = targetOf(request);
  const auto facts = target.empty() ? SafetyGate::Input{} : safetyFacts(target, view.safety);
  const auto* root = facts.found ? targetRecord(target, view.safety) : nullptr;
  if (root != nullptr && startedAfter(*root, request.time)) {
    review.verdict = {"leaveAlone",
                      "PID " + std::to_string(root->pid()) +
                          " is another process now: it started after the request.",
                      facts.name};
    return review;
  }
  review.verdict = SafetyGate::verdict(facts);
  if (!facts.found) return review;
  if (review.verdict.verdict != "askFirst") {
    review.standing = QuitRequestReview::Standing::leftAlone;
    return review;
  }
  review.standing = QuitRequestReview::Standing::askFirst;
  if (facts.isSession) {
    const auto sessionPID = target.sessionPID ? *target.sessionPID : *target.pid;
    const auto session =
        std::find_if(view.sessions.begin(), view.sessions.end(),
                     [&](const AgentSession& candidate) { return candidate.pid == sessionPID; });
    if (session != view.sessions.end()) review.plan = sessionPlan(*session, view);
  } else if (root != nullptr) {
    review.plan = treePlan(*root, view);
  }
  return review;
}

}  // namespace glimmet
