// What a person reads about a quit request: the plan before the question, the
// plan in one sentence (for a notification), and the receipt written back
// into the request once it is answered.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "core/kill/kill_report.h"
#include "logic/mcp/quit_inbox_entries.h"
#include "logic/mcp/quit_request_review.h"

namespace glimmet {

/// The request, its verdict now and, for askFirst, every member of the plan:
/// what a yes stops, and what is left alone with its reason.
std::vector<std::string> reviewLines(const QuitRequestReview& review);

/// The plan in one sentence: "Stops 1 of 3 processes (1.2 MB). Left alone: ...",
/// or the reason the request is left alone now.
std::string planSummary(const QuitRequestReview& review);

/// A request put to the person in a notification: what it asks for as the
/// title, the plan and the agent's note as the body.
struct QuitPrompt {
  std::string title;
  std::string body;
};
QuitPrompt quitPrompt(const QuitRequestReview& review);

/// "Stop 2 processes? Type yes: ".
std::string quitQuestion(const SessionQuitPlan& plan);

/// One tree stop of a carried-out plan: the member it started from and what
/// the tree killer did.
struct QuitTreeStop {
  pid_t pid = 0;
  std::string name;
  KillReport report;
};

/// The receipt of a plan carried out: "done" when every tree stopped (or had
/// already), "failed" when something included is still running.
MCPQuitReceipt carriedOutReceipt(const QuitRequestReview& review,
                                 const std::vector<QuitTreeStop>& stops);

/// The receipt of a request that a yes can't carry out now (left alone, gone,
/// or nothing in its plan is Glimmet's to stop): "failed", nothing stopped.
MCPQuitReceipt leftAloneReceipt(const QuitRequestReview& review);

/// "declined", nothing stopped.
MCPQuitReceipt declinedReceipt(const std::string& id);

/// Whether a yes could stop anything: askFirst with at least one included member.
bool hasSomethingToStop(const QuitRequestReview& review);

}  // namespace glimmet
