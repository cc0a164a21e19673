// The companion's side of quit requests: each request an agent files over MCP
// is put to the person as a notification with "Quit" and "Keep", and the
// answer goes through the same use cases as `glimmet requests answer` after its
// yes and `glimmet requests decline`. Without a desktop the notification is a
// line on the log that names `glimmet requests answer`, and the request waits
// for it. Only an action that the service which showed the notification sends
// back counts (the bus layer checks the sender), and only for a request still
// pending when the answer comes: the answer use cases check that again under
// their lock, so a terminal and the companion never both act on one request.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "app/command_inputs.h"
#include "app/file_stamp.h"
#include "app/notification_outlet.h"
#include "logic/companion/failure_notes.h"
#include "logic/mcp/quit_request_review.h"
#include "platform/file_system.h"
#include "platform/files.h"

namespace glimmet {

class CompanionQuitPrompts {
 public:
  /// Pending requests are looked at again this often even when the inbox
  /// didn't change: they expire, and what they name may have ended.
  static constexpr std::chrono::seconds kReviewEvery{60};
  /// The notification's actions, as the service hands them back.
  static constexpr std::string_view kQuit = "quit";
  static constexpr std::string_view kKeep = "keep";

  CompanionQuitPrompts(const platform::SharedFolder& folder, NotificationOutlet& outlet,
                       std::ostream& log, FailureNotes& notes);

  /// Carries out what the person chose since the last look, then puts each
  /// new pending request to them.
  void look(NotificationOutlet::Clock::time_point now, const CommandInputs& inputs);

 private:
  struct Asked {
    std::optional<std::uint32_t> notificationID;  ///< none when it went to the log
    QuitRequestReview review;                     ///< what the notification showed
  };

  /// `requestID` is a copy: answering forgets the request.
  void answer(std::string requestID, std::string_view action, const CommandInputs& inputs);
  void review(NotificationOutlet::Clock::time_point now, const CommandInputs& inputs);
  /// The notification's id, when the desktop showed it.
  std::optional<std::uint32_t> ask(const QuitRequestReview& review,
                                   NotificationOutlet::Clock::time_point now);

  const platform::SharedFolder& folder_;
  NotificationOutlet& outlet_;
  std::ostream& log_;
  FailureNotes& notes_;
  std::optional<FileStamp> inboxSeen_;
  std::optional<NotificationOutlet::Clock::time_point> reviewedAt_;
  std::map<std::string, Asked> asked_;  ///< by request id
};

}  // namespace glimmet
