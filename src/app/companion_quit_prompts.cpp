#include "app/companion_quit_prompts.h"

#include "app/quit_request_answer.h"
#include "core/error.h"
#include "core/settings/shared_files.h"
#include "logic/mcp/quit_request_text.h"

namespace glimmet {
namespace {

constexpr std::string_view kInbox = "quit requests";

}  // namespace

CompanionQuitPrompts::CompanionQuitPrompts(const platform::SharedFolder& folder,
                                           NotificationOutlet& outlet, std::ostream& log,
                                           FailureNotes& notes)
    : folder_(folder), outlet_(outlet), log_(log), notes_(notes) {}

void CompanionQuitPrompts::look(NotificationOutlet::Clock::time_point now,
                                const CommandInputs& inputs) {
  for (const auto& signal : outlet_.signals()) {
    if (signal.kind != platform::NotificationSignal::Kind::actionInvoked) continue;
    for (const auto& [requestID, asked] : asked_) {
      if (asked.notificationID == signal.id) {
        answer(requestID, signal.actionKey, inputs);
        break;
      }
    }
  }
  const auto inbox = FileStamp::of(platform::linkStatus(folder_.path() / shared_files::mcpInbox));
  const bool changed = inbox != inboxSeen_;
  const bool due = !asked_.empty() && (!reviewedAt_ || now - *reviewedAt_ >= kReviewEvery);
  if (!changed && !due) return;
  inboxSeen_ = inbox;
  review(now, inputs);
}

void CompanionQuitPrompts::answer(std::string requestID, std::string_view action,
                                  const CommandInputs& inputs) {
  // Anything else (the notification's body clicked) answers nothing.
  if (action != kQuit && action != kKeep) return;
  const auto asked = asked_.find(requestID);
  const auto review = asked->second.review;
  asked_.erase(asked);
  try {
    if (action == kKeep) {
      const auto receipt = declineQuitRequest(inputs, requestID);
      log_ << "Quit request " << requestID << ": " << receipt.message << '\n';
      return;
    }
    const auto answered = carryOutQuitRequest(inputs, review);
    for (const auto& line : answered.said) log_ << line << '\n';
    log_ << "Quit request " << requestID << ": " << answered.receipt.message << '\n';
  } catch (const CommandFailure& failure) {
    // Answered at a terminal meanwhile, or the inbox turned unreadable.
    log_ << "Quit request " << requestID << ": " << failure.what() << '\n';
  }
}

void CompanionQuitPrompts::review(NotificationOutlet::Clock::time_point now,
                                  const CommandInputs& inputs) {
  reviewedAt_ = now;
  std::vector<QuitRequestReview> pending;
  try {
    pending = reviewPendingQuitRequests(inputs);
    if (notes_.succeeded(kInbox)) log_ << "Reading the quit requests again.\n";
  } catch (const CommandFailure& failure) {
    const std::string message = std::string("Couldn't read the quit requests: ") + failure.what();
    if (notes_.failed(kInbox, message)) log_ << message << '\n';
    return;
  }
  std::map<std::string, Asked> still;
  for (const auto& review : pending) {
    const auto asked = asked_.find(review.request.id);
    if (asked != asked_.end()) {
      // Kept as shown: a Quit carries out the plan the person read.
      still.emplace(review.request.id, std::move(asked->second));
      continue;
    }
    still.emplace(review.request.id, Asked{ask(review, now), review});
  }
  // Requests answered, declined or expired elsewhere are no longer asked about.
  asked_ = std::move(still);
}

std::optional<std::uint32_t> CompanionQuitPrompts::ask(const QuitRequestReview& review,
                                                       NotificationOutlet::Clock::time_point now) {
  const auto prompt = quitPrompt(review);
  platform::Notification notification{.summary = prompt.title, .body = prompt.body};
  if (hasSomethingToStop(review)) notification.actions.push_back({std::string(kQuit), "Quit"});
  notification.actions.push_back({std::string(kKeep), "Keep"});
  // Asked until answered: it doesn't time out on the screen.
  notification.expireAfter = 0;
  const auto shown = outlet_.show(notification, now);
  if (!shown)
    log_ << "Answer it with glimmet requests answer " << review.request.id
         << ", or decline it with glimmet requests decline " << review.request.id << ".\n";
  return shown;
}

}  // namespace glimmet
