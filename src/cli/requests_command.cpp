// glimmet requests list, answer and decline.
#include "cli/requests_command.h"

#include "app/requests_run.h"

namespace glimmet::cli {
namespace {

constexpr const char* kIDHelp = "The request's ID, as glimmet requests lists it.";

}  // namespace

CommandSpec RequestsList::spec() {
  return {
      .name = "list",
      .abstract = "List the quit requests waiting for you, with what each would stop now.",
      .parameters = {flag("--json", kJsonHelp, json)},
      .run = [this](CommandContext& context) { return runRequestsList({.json = json}, context); },
  };
}

CommandSpec RequestsAnswer::spec() {
  return {
      .name = "answer",
      .abstract = "Show what a quit request would stop, and stop it after you type yes.",
      .discussion =
          "Everything is checked again first: what became protected or another user's, or whose "
          "PID now belongs to a newer process, is left alone. The yes must be typed at a "
          "terminal, so an assistant can't answer its own request.",
      .parameters = {argument("id", kIDHelp, id)},
      .run = [this](CommandContext& context) { return runRequestsAnswer({.id = id}, context); },
  };
}

CommandSpec RequestsDecline::spec() {
  return {
      .name = "decline",
      .abstract = "Say no to a quit request. Nothing is stopped.",
      .parameters = {argument("id", kIDHelp, id)},
      .run = [this](CommandContext& context) { return runRequestsDecline({.id = id}, context); },
  };
}

CommandSpec Requests::spec() {
  return {
      .name = "requests",
      .abstract = "Answer the quit requests that agents file over MCP.",
      .discussion =
          "An agent can't stop anything through glimmet mcp: request_quit leaves a request here "
          "for you. Requests you don't answer expire after 24 hours.",
      .subcommands = {list.spec(), answer.spec(), decline.spec()},
      .defaultSubcommand = "list",
  };
}

}  // namespace glimmet::cli
