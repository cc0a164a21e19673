// Answering the quit requests that agents file over MCP: the use cases behind
// glimmet requests and behind the companion's Quit and Keep. Both answer
// through these functions, so a Quit carries out the plan exactly as a yes
// typed at `glimmet requests answer` does, and a Keep declines exactly as
// `glimmet requests decline` does.
//
// The companion's way through:
//   for (const auto& review : reviewPendingQuitRequests(inputs))
//     notify(review.request.id, planSummary(review));   // logic/mcp/quit_request_text.h
//   on "Quit": carryOutQuitRequest(inputs, review);     // the review the notification showed
//   on "Keep": declineQuitRequest(inputs, review.request.id);
// Each throws CommandFailure when the request is unknown or was answered
// meanwhile; its message says which.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/command_inputs.h"
#include "core/error.h"
#include "logic/mcp/quit_inbox_entries.h"
#include "logic/mcp/quit_request_review.h"

namespace glimmet {

/// Every pending request, each reviewed against one survey taken now, after
/// the ones older than 24 hours expired. No survey is taken when none waits.
/// Throws CommandFailure (status 3) when the inbox isn't a list of requests,
/// or when requests wait and the signatures (which know agent sessions) are
/// missing.
std::vector<QuitRequestReview> reviewPendingQuitRequests(const CommandInputs& inputs);

/// The pending request `id` (letter case aside) reviewed now, after the ones
/// older than 24 hours expired. Throws CommandFailure: status 1 when no request
/// has that id or it was already answered (the message gives its receipt), 3
/// when the inbox isn't a list of requests or the signatures are missing.
QuitRequestReview pendingQuitRequest(const CommandInputs& inputs, std::string_view id);

struct QuitAnswer {
  MCPQuitReceipt receipt;  ///< as written into the request
  /// One line per tree stop, as glimmet kill says it, and a receipt that
  /// couldn't be written.
  std::vector<std::string> said;
  ExitStatus status = ExitStatus::ok;
};

/// Carries out what `review` planned, after the person's yes: makes sure the
/// request is still pending (holding the answer lock, so no other answer acts
/// at the same time), stops each included member's tree through the tree
/// killer from a snapshot taken now (it checks every process again before
/// each signal, and what the plan left alone is never part of a tree), logs
/// each stop with trigger mcp, and writes the receipt into the request. A
/// review with nothing to stop is answered "failed" and stops nothing. Status
/// 0 done, 1 nothing there, 2 something included still runs, 3 left alone.
QuitAnswer carryOutQuitRequest(const CommandInputs& inputs, const QuitRequestReview& review);

/// Declines request `id`: nothing is stopped, and the request says "declined".
/// Throws CommandFailure as pendingQuitRequest does.
MCPQuitReceipt declineQuitRequest(const CommandInputs& inputs, std::string_view id);

}  // namespace glimmet
