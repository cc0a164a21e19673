// The requests commands over the answering use cases.
#include "app/requests_run.h"

#include "app/command_inputs.h"
#include "app/quit_request_answer.h"
#include "core/output/document.h"
#include "logic/idle/idle_plan.h"
#include "logic/mcp/quit_request_text.h"
#include "logic/mcp/requests_document.h"
#include "platform/files.h"

namespace glimmet {
namespace {

// The descriptor every process starts with as its standard input.
constexpr int kStandardInput = 0;

CommandInputs loadInputs(RunContext& context) {
  auto inputs = CommandInputs::load(context.environment, context.executable);
  inputs.warnings = &context.error;
  return inputs;
}

// One line per tree stop, then the receipt written into the request.
ExitStatus sayAnswer(Output& out, const QuitAnswer& answer) {
  for (const auto& line : answer.said) out.line(line);
  const auto& receipt = answer.receipt;
  out.line("Answered " + receipt.id + ": " + receipt.status + ". " + receipt.message);
  return answer.status;
}

}  // namespace

ExitStatus runRequestsList(const RequestsListRequest& request, RunContext& context) {
  const RequestsDocument document{reviewPendingQuitRequests(loadInputs(context))};
  return printDocument(context.out, document, outputFormat(request.json));
}

ExitStatus runRequestsAnswer(const RequestsAnswerRequest& request, RunContext& context) {
  const auto inputs = loadInputs(context);
  const auto review = pendingQuitRequest(inputs, request.id);
  for (const auto& line : reviewLines(review)) context.out.line(line);

  // Nothing a yes could stop: the answer is given without asking.
  if (!hasSomethingToStop(review))
    return sayAnswer(context.out, carryOutQuitRequest(inputs, review));

  context.out.write(quitQuestion(*review.plan));
  switch (confirmation(platform::isTerminal(kStandardInput), context.input)) {
    case StopConfirm::needsTTY:
      // Nobody typed the line break that ends the question, so end it here.
      context.out.line("");
      context.out.line(
          "requests answer needs a yes typed at a terminal. An assistant can't confirm this.");
      return ExitStatus::cannotStart;
    case StopConfirm::declined:
      context.out.line(
          "Nothing stopped. The request stays pending; glimmet requests decline says no.");
      return ExitStatus::nothingFound;
    case StopConfirm::proceed:
      break;
  }
  return sayAnswer(context.out, carryOutQuitRequest(inputs, review));
}

ExitStatus runRequestsDecline(const RequestsDeclineRequest& request, RunContext& context) {
  const auto receipt = declineQuitRequest(loadInputs(context), request.id);
  context.out.line("Declined " + receipt.id + ". Nothing was stopped.");
  return ExitStatus::ok;
}

}  // namespace glimmet
