// Alert titles and bodies.
#include "logic/agents/agent_notify_copy.h"

#include <cmath>

#include "core/output/byte_format.h"

namespace glimmet::AgentNotifyCopy {
namespace {

// A message as a sentence: one full stop added when it has none. An empty
// message says nothing, so the fallback stands in for it.
std::string sentence(const std::optional<std::string>& message, std::string_view fallback) {
  if (!message || message->empty()) return std::string(fallback);
  return message->ends_with('.') ? *message : *message + ".";
}

std::string joined(std::string first, std::span<const std::string> rest) {
  for (const auto& part : rest) {
    if (part.empty()) continue;
    first.append(kPartSeparator).append(part);
  }
  return first;
}

}  // namespace

std::string duration(double seconds) {
  if (!(seconds > 0)) return "under a minute";
  const double minutes = std::round(seconds / 60);
  if (minutes < 1) return "under a minute";
  // Beyond any real session, but a clock jump must not overflow the conversion.
  const auto whole = static_cast<uint64_t>(std::fmin(minutes, 1e15));
  if (whole < 60) return std::to_string(whole) + " min";
  std::string text = std::to_string(whole / 60) + " h";
  if (whole % 60 != 0) text += " " + std::to_string(whole % 60) + " min";
  return text;
}

AgentAlert approvalNeeded(std::string_view agent, const std::optional<std::string>& message,
                          double waitedSeconds) {
  return {.title = std::string(agent) + " needs your approval",
          .body = sentence(message, "Waiting on a prompt.") + std::string(kPartSeparator) +
                  "Waiting " + duration(waitedSeconds) + "."};
}

AgentAlert waitingForInput(std::string_view agent, const std::optional<std::string>& message,
                           std::span<const std::string> extraParts) {
  return {.title = std::string(agent) + " is waiting for you",
          .body = joined(sentence(message, "Waiting for your input."), extraParts)};
}

AgentAlert finished(std::string_view agent, double seconds, const LeftBehind& left,
                    std::span<const std::string> extraParts) {
  std::string summary = duration(seconds);
  if (left.processes > 0) {
    summary += std::string(kPartSeparator) + std::to_string(left.processes) +
               (left.processes == 1 ? " process" : " processes") + " left behind";
    if (left.memoryBytes) summary += " (" + memoryStyleBytes(*left.memoryBytes) + ")";
  } else {
    summary += ", nothing left behind";
  }
  summary += ".";
  return {
      .title = agent.empty() ? std::string("Session finished") : std::string(agent) + " finished",
      .body = joined(std::move(summary), extraParts)};
}

AgentAlert idleGuess(std::string_view agent, double quietSeconds) {
  return {.title = std::string(agent) + " looks done (a guess)",
          .body = "Quiet for " + duration(quietSeconds) +
                  ", so it may be finished or waiting on you. Install hooks for an exact alert."};
}

}  // namespace glimmet::AgentNotifyCopy
