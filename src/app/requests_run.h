// glimmet requests: list the quit requests agents filed over MCP, answer one
// after a typed yes, or decline one.
#pragma once

#include <string>

#include "app/run_context.h"
#include "core/error.h"

namespace glimmet {

struct RequestsListRequest {
  bool json = false;
};

struct RequestsAnswerRequest {
  std::string id;
};

struct RequestsDeclineRequest {
  std::string id;
};

/// The pending requests, with the verdict now.
ExitStatus runRequestsList(const RequestsListRequest& request, RunContext& context);

/// Shows the plan, asks for a yes (read from the run's input, and only when
/// standard input is a terminal), carries it out and writes the receipt.
ExitStatus runRequestsAnswer(const RequestsAnswerRequest& request, RunContext& context);

/// Declines without asking.
ExitStatus runRequestsDecline(const RequestsDeclineRequest& request, RunContext& context);

}  // namespace glimmet
