// The words of a quit request's plan and receipt.
#include "logic/mcp/quit_request_text.h"

#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "core/util/secret_masker.h"
#include "logic/companion/companion_status_document.h"

namespace glimmet {
namespace {

std::string processes(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " process" : " processes");
}

std::string pidName(pid_t pid, const std::string& name) {
  return "PID " + std::to_string(pid) + " " + name;
}

std::string stopLine(const QuitMember& member) {
  auto line = "  PID " + std::to_string(member.pid) + "  " +
              SecretMasker::maskCommandLine(member.commandLine) + "  " +
              decimalBytes(member.footprint);
  if (!member.ports.empty()) line += "  " + portList(member.ports);
  if (member.detached) line += "  (detached)";
  return line;
}

std::string leftAloneLine(const QuitMember& member) {
  return "  PID " + std::to_string(member.pid) + "  " + member.name + "  " +
         member.skipReason.value_or("protected");
}

// "PID 4242 claude (Protected by default: AI agents), PID ..." for a receipt.
std::string leftAloneList(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& entry : entries) text += (text.empty() ? "" : ", ") + entry;
  return text;
}

std::vector<std::string> planLeftAlone(const SessionQuitPlan& plan) {
  std::vector<std::string> entries;
  for (const auto* member : plan.leftAlone())
    entries.push_back(pidName(member->pid, member->name) + " (" +
                      member->skipReason.value_or("protected") + ")");
  return entries;
}

}  // namespace

bool hasSomethingToStop(const QuitRequestReview& review) {
  return review.standing == QuitRequestReview::Standing::askFirst && review.plan &&
         !review.plan->included().empty();
}

std::vector<std::string> reviewLines(const QuitRequestReview& review) {
  std::vector<std::string> lines = {
      "Quit request " + review.request.id + ", filed " + ageText(review.ageSeconds()) + " ago",
      "What: " + review.what()};
  if (const auto note = review.note()) lines.push_back("Note: " + *note);
  lines.push_back("Now: " + review.verdict.reason);
  if (!review.plan) return lines;
  const auto included = review.plan->included();
  const auto leftAlone = review.plan->leftAlone();
  if (!included.empty()) {
    lines.push_back("Stop:");
    for (const auto* member : included) lines.push_back(stopLine(*member));
  }
  if (!leftAlone.empty()) {
    lines.push_back("Left alone:");
    for (const auto* member : leftAlone) lines.push_back(leftAloneLine(*member));
  }
  return lines;
}

std::string planSummary(const QuitRequestReview& review) {
  if (review.standing != QuitRequestReview::Standing::askFirst) return review.verdict.reason;
  if (!review.plan) return "Nothing of yours matches.";
  const auto included = review.plan->included();
  if (included.empty())
    return "Nothing to stop. Left alone: " + leftAloneList(planLeftAlone(*review.plan)) + ".";
  std::uint64_t bytes = 0;
  for (const auto* member : included) bytes += member->footprint;
  auto text = "Stops " + std::to_string(included.size()) + " of " +
              processes(review.plan->members.size()) + " (" + decimalBytes(bytes) + ").";
  if (const auto leftAlone = planLeftAlone(*review.plan); !leftAlone.empty())
    text += " Left alone: " + leftAloneList(leftAlone) + ".";
  return text;
}

QuitPrompt quitPrompt(const QuitRequestReview& review) {
  QuitPrompt prompt{"An agent asks to quit " + review.what(), planSummary(review)};
  if (const auto note = review.note()) prompt.body += " Its note: " + *note;
  return prompt;
}

std::string quitQuestion(const SessionQuitPlan& plan) {
  return "Stop " + processes(plan.included().size()) + "? Type yes: ";
}

MCPQuitReceipt carriedOutReceipt(const QuitRequestReview& review,
                                 const std::vector<QuitTreeStop>& stops) {
  std::size_t stopped = 0;
  std::size_t alreadyGone = 0;
  std::uint64_t freed = 0;
  std::vector<std::string> notStopped;
  std::vector<std::string> leftAlone =
      review.plan ? planLeftAlone(*review.plan) : std::vector<std::string>{};
  for (const auto& stop : stops) {
    freed += stop.report.freedBytes;
    if (stop.report.status == KillReport::Status::refused) {
      const auto reason = stop.report.refusal.value_or(SkipReason::of(SkipReason::Kind::gone));
      if (reason.alreadyStopped()) {
        ++alreadyGone;
      } else {
        notStopped.push_back(pidName(stop.pid, stop.name) + " (" + reason.text() + ")");
      }
      continue;
    }
    for (const auto& member : stop.report.outcomes) {
      const auto& outcome = member.outcome;
      if (outcome.stopped()) {
        ++stopped;
      } else if (outcome.kind == MemberOutcome::Kind::skipped && outcome.reason &&
                 !outcome.reason->alreadyStopped()) {
        // Became protected or another user's since the plan: left alone, and said.
        leftAlone.push_back("PID " + std::to_string(member.identity.pid) + " (" +
                            outcome.reason->text() + ")");
      } else if (outcome.kind == MemberOutcome::Kind::survived ||
                 outcome.kind == MemberOutcome::Kind::notPermitted) {
        notStopped.push_back("PID " + std::to_string(member.identity.pid));
      }
    }
    if (stop.report.status == KillReport::Status::partial && notStopped.empty())
      notStopped.push_back(pidName(stop.pid, stop.name));
  }
  std::string message = "Stopped " + processes(stopped);
  if (stopped > 0) message += " and freed " + memoryStyleBytes(freed);
  message += ".";
  if (alreadyGone > 0) message += " " + std::to_string(alreadyGone) + " had already stopped.";
  if (!notStopped.empty()) message += " Couldn't stop " + leftAloneList(notStopped) + ".";
  if (!leftAlone.empty()) message += " Left alone: " + leftAloneList(leftAlone) + ".";
  return {.id = review.request.id,
          .status = notStopped.empty() ? "done" : "failed",
          .message = std::move(message)};
}

MCPQuitReceipt leftAloneReceipt(const QuitRequestReview& review) {
  std::string message = "Nothing was stopped. ";
  if (review.standing == QuitRequestReview::Standing::askFirst && review.plan) {
    message +=
        "Everything it names is left alone: " + leftAloneList(planLeftAlone(*review.plan)) + ".";
  } else if (review.standing == QuitRequestReview::Standing::askFirst) {
    message += "Nothing of yours matches.";
  } else {
    message += review.verdict.reason;
  }
  return {.id = review.request.id, .status = "failed", .message = std::move(message)};
}

MCPQuitReceipt declinedReceipt(const std::string& id) {
  return {.id = id, .status = "declined", .message = "You declined. Nothing was stopped."};
}

}  // namespace glimmet
