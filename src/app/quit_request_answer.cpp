// The inbox, one survey, the tree killer and the kill log, wired together for
// answering quit requests.
#include "app/quit_request_answer.h"

#include <chrono>
#include <functional>
#include <optional>
#include <unordered_set>

#include "app/cli_survey.h"
#include "app/live_tree_killer.h"
#include "app/mcp_survey_tools.h"
#include "core/kill/kill_clock.h"
#include "core/kill/kill_log.h"
#include "core/kill/kill_report_entry.h"
#include "core/mcp/quit_inbox.h"
#include "core/process/process_enumerator.h"
#include "logic/kill/kill_outcome.h"
#include "logic/mcp/quit_request_text.h"

namespace glimmet {
namespace {

SystemTime now() {
  return std::chrono::system_clock::now();
}

std::string unknownID(std::string_view id) {
  return "No quit request has the ID " + std::string(id) + ".";
}

// A request that is no longer pending can't be answered again; its receipt says why.
std::string alreadyAnswered(const nlohmann::json& entry) {
  const auto request = MCPQuitRequest::fromJson(entry);
  if (!request) return "That quit request can't be read, so it can't be answered.";
  auto text = "Quit request " + request->id + " was already answered: " + request->status + ".";
  if (request->message) text += " " + *request->message;
  return text;
}

// Expires what waited too long, then hands the pending request `id` to
// `answer`, which may write its receipt; all under the inbox lock. Throws
// CommandFailure when there is no such pending request.
void withPendingRequest(const QuitInbox& inbox, std::string_view id,
                        const std::function<bool(nlohmann::json& entry)>& answer) {
  std::optional<CommandFailure> failure;
  inbox.update([&](nlohmann::json& requests) {
    bool changed = expireStaleRequests(requests, now()) > 0;
    auto* entry = findQuitRequest(requests, id);
    if (entry == nullptr) {
      failure.emplace(unknownID(id), ExitStatus::nothingFound);
    } else if (const auto status = entry->find("status");
               status == entry->end() || *status != "pending") {
      failure.emplace(alreadyAnswered(*entry), ExitStatus::nothingFound);
    } else if (!MCPQuitRequest::fromJson(*entry)) {
      failure.emplace("That quit request can't be read, so it can't be answered.",
                      ExitStatus::nothingFound);
    } else {
      changed = answer(*entry) || changed;
    }
    return changed;
  });
  if (failure) throw *failure;
}

// Writes the receipt into the request; what was stopped stays stopped when it
// can't be written, so the failure joins what the answer says, with status 2.
void recordReceipt(const QuitInbox& inbox, QuitAnswer& answer) {
  try {
    // The answer lock is held, so nobody else answered it meanwhile; a lister
    // may have expired it, but what was done is what it now says.
    inbox.update([&](nlohmann::json& requests) {
      auto* entry = findQuitRequest(requests, answer.receipt.id);
      if (entry == nullptr) return false;
      writeReceipt(*entry, answer.receipt, now());
      return true;
    });
  } catch (const CommandFailure& failure) {
    answer.said.emplace_back(failure.what());
    answer.status = ExitStatus::partial;
  }
}

CLISurvey gatherWithSignatures(const CommandInputs& inputs) {
  if (!inputs.signatures) throw CommandFailure(kSignaturesMissingMessage, ExitStatus::cannotStart);
  return CLISurvey::gather(inputs);
}

// One survey of now, and the views the review reads it through.
class QuitSurvey {
 public:
  /// Throws CommandFailure (status 3) without the signatures: without them no
  /// agent session is known, and a session request would read as gone.
  explicit QuitSurvey(const CommandInputs& inputs)
      : survey_(gatherWithSignatures(inputs)),
        roots_(sessionRoots(survey_)),
        safety_(safetyView(inputs, survey_, roots_)),
        view_{safety_, survey_.sessions, inputs.uid()} {}
  QuitSurvey(const QuitSurvey&) = delete;
  QuitSurvey& operator=(const QuitSurvey&) = delete;

  QuitRequestReview review(const MCPQuitRequest& request) const {
    return reviewQuitRequest(request, view_, survey_.snapshot.takenAt());
  }

 private:
  CLISurvey survey_;
  std::vector<SessionRoot> roots_;
  SafetyView safety_;
  QuitView view_;
};

// The snapshot the killer works from: everything as it is now, except what
// the plan leaves alone, so no tree stop ever reaches a member the person was
// told stays (a protected child of an included parent, say).
ProcessSnapshot withoutLeftAlone(const ProcessSnapshot& live, const SessionQuitPlan& plan) {
  std::unordered_set<pid_t> leftAlone;
  for (const auto* member : plan.leftAlone()) leftAlone.insert(member->pid);
  std::vector<ProcessRecord> records;
  for (const auto& record : live.records())
    if (!leftAlone.contains(record.pid())) records.push_back(record);
  return {live.takenAt(), std::move(records)};
}

ExitStatus statusWithoutStopping(const QuitRequestReview& review) {
  return review.standing == QuitRequestReview::Standing::leftAlone ? ExitStatus::cannotStart
                                                                   : ExitStatus::nothingFound;
}

}  // namespace

std::vector<QuitRequestReview> reviewPendingQuitRequests(const CommandInputs& inputs) {
  std::vector<MCPQuitRequest> pending;
  QuitInbox(inputs.sharedFolder).update([&](nlohmann::json& requests) {
    const bool expired = expireStaleRequests(requests, now()) > 0;
    pending = readPendingRequests(requests);
    return expired;
  });
  std::vector<QuitRequestReview> reviews;
  if (pending.empty()) return reviews;
  const QuitSurvey survey(inputs);
  reviews.reserve(pending.size());
  for (const auto& request : pending) reviews.push_back(survey.review(request));
  return reviews;
}

QuitRequestReview pendingQuitRequest(const CommandInputs& inputs, std::string_view id) {
  std::optional<MCPQuitRequest> request;
  withPendingRequest(QuitInbox(inputs.sharedFolder), id, [&](nlohmann::json& entry) {
    request = MCPQuitRequest::fromJson(entry);
    return false;
  });
  return QuitSurvey(inputs).review(*request);
}

QuitAnswer carryOutQuitRequest(const CommandInputs& inputs, const QuitRequestReview& review) {
  const QuitInbox inbox(inputs.sharedFolder);
  const auto answering = inbox.holdForAnswer();
  withPendingRequest(inbox, review.request.id, [](nlohmann::json&) { return false; });

  if (!hasSomethingToStop(review)) {
    QuitAnswer answer{.receipt = leftAloneReceipt(review), .status = statusWithoutStopping(review)};
    recordReceipt(inbox, answer);
    return answer;
  }

  const auto& plan = *review.plan;
  SystemKillClock clock;
  LiveTreeKiller live(inputs, clock);
  ProcessEnumerator enumerator(inputs.uid());
  const KillLog killLog(inputs.sharedFolder, inputs.warnings);
  const auto options = KillOptions::make(inputs.settings.gracePeriod, false, plan.session);
  QuitAnswer answer;
  std::vector<QuitTreeStop> stops;
  std::unordered_set<pid_t> reached;
  const auto stopTree = [&](const QuitMember& member) {
    // Taken now: the yes may come minutes after the plan, so children started
    // since are part of a tree, and a member whose pid was reused is refused.
    const auto current = withoutLeftAlone(enumerator.snapshot(now()), plan);
    const ProcessIdentity identity{member.pid, member.startTime};
    auto report = live.killer().kill(identity, current, member.ports, member.repoPath, options);
    for (const auto& outcome : report.outcomes) reached.insert(outcome.identity.pid);
    const auto* root = current.record(member.pid);
    if (isLogged(report) && root != nullptr && root->identity == identity) {
      const KillLogContext log{.trigger = KillLogEntry::Trigger::mcp,
                               .time = now(),
                               .home = inputs.home.string(),
                               .repoPath = member.repoPath};
      killLog.appendIfPossible({killLogEntry(report, *root, log)});
    }
    answer.said.push_back(describeKill(report, "PID " + std::to_string(member.pid)).line);
    stops.push_back({member.pid, member.name, std::move(report)});
  };
  for (const auto* member : plan.treeRoots()) stopTree(*member);
  // An included member that left its parent's tree since the plan (re-parented)
  // was in no tree stopped above: it gets its own.
  for (const auto* member : plan.included())
    if (!reached.contains(member->pid)) stopTree(*member);

  answer.receipt = carriedOutReceipt(review, stops);
  answer.status = answer.receipt.status == "done" ? ExitStatus::ok : ExitStatus::partial;
  recordReceipt(inbox, answer);
  return answer;
}

MCPQuitReceipt declineQuitRequest(const CommandInputs& inputs, std::string_view id) {
  const QuitInbox inbox(inputs.sharedFolder);
  const auto answering = inbox.holdForAnswer();
  MCPQuitReceipt receipt;
  withPendingRequest(inbox, id, [&](nlohmann::json& entry) {
    receipt = declinedReceipt(entry["id"].get<std::string>());
    writeReceipt(entry, receipt, now());
    return true;
  });
  return receipt;
}

}  // namespace glimmet
