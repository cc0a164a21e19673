#include "logic/idle/idle_plan.h"

#include <algorithm>
#include <cmath>

#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "core/util/ascii.h"
#include "logic/status/stop_summary.h"

namespace glimmet {
namespace {

constexpr double kDefaultMinimumAge = 45 * 60;

nlohmann::json row(const IdleCandidate& candidate) {
  nlohmann::json out = {{"pid", candidate.pid},
                        {"ports", candidate.ports},
                        {"name", candidate.name},
                        {"uptimeSeconds", static_cast<std::int64_t>(candidate.uptime)},
                        {"memoryBytes", candidate.footprint}};
  if (candidate.project) out["project"] = *candidate.project;
  if (candidate.protectedReason) out["protected"] = *candidate.protectedReason;
  return out;
}

nlohmann::json rows(const std::vector<IdleCandidate>& candidates) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& candidate : candidates) out.push_back(row(candidate));
  return out;
}

}  // namespace

IdleCandidate IdleCandidate::of(const DevServer& server,
                                std::chrono::system_clock::time_point now) {
  IdleCandidate candidate;
  candidate.pid = server.pid;
  candidate.ports = server.ports;
  candidate.name = server.displayName();
  if (const auto* repo = server.repoInfo()) candidate.project = repo->projectName();
  if (server.startDate) {
    candidate.uptime =
        std::max(0.0, std::chrono::duration<double>(now - *server.startDate).count());
  }
  candidate.footprint = server.footprint;
  candidate.ownedByCurrentUser = server.ownedByCurrentUser;
  if (server.protection) candidate.protectedReason = server.protection->label();
  return candidate;
}

double IdlePlan::minimumAge(std::optional<std::int64_t> olderThanMinutes) {
  return olderThanMinutes ? static_cast<double>(*olderThanMinutes) * 60 : kDefaultMinimumAge;
}

IdlePlan IdlePlan::make(std::vector<IdleCandidate> candidates, double minimumAgeSeconds) {
  IdlePlan plan;
  for (auto& candidate : candidates) {
    if (!candidate.ownedByCurrentUser || candidate.uptime < minimumAgeSeconds) continue;
    (candidate.protectedReason ? plan.skipped : plan.stop).push_back(std::move(candidate));
  }
  const auto byPID = [](const IdleCandidate& a, const IdleCandidate& b) { return a.pid < b.pid; };
  std::ranges::sort(plan.stop, byPID);
  std::ranges::sort(plan.skipped, byPID);
  return plan;
}

std::string IdlePlan::summary() const {
  std::uint64_t bytes = 0;
  std::vector<std::uint16_t> ports;
  for (const auto& candidate : stop) {
    bytes += candidate.footprint;
    ports.insert(ports.end(), candidate.ports.begin(), candidate.ports.end());
  }
  return stopSummary(bytes, std::move(ports)).value_or("Nothing idle to stop.");
}

nlohmann::json IdlePlan::document(double minimumAgeSeconds) const {
  return {{"schema", 1},
          {"command", "stop"},
          {"idle", true},
          {"minimumAgeSeconds", static_cast<std::int64_t>(minimumAgeSeconds)},
          {"stop", rows(stop)},
          {"summary", summary()},
          {"skipped", rows(skipped)}};
}

std::vector<std::string> IdlePlan::lines(double minimumAgeSeconds) const {
  std::vector<std::string> out = {
      "Up at least " + std::to_string(static_cast<std::int64_t>(minimumAgeSeconds / 60)) + " min:"};
  for (const auto& candidate : stop) {
    std::string line = "  " + portList(candidate.ports) + "  " + candidate.name;
    if (candidate.project) line += "  " + *candidate.project;
    out.push_back(line + "  " + decimalBytes(candidate.footprint));
  }
  if (!skipped.empty()) {
    out.emplace_back("Left alone:");
    for (const auto& candidate : skipped) {
      const auto reason = candidate.protectedReason.value_or("");
      out.push_back("  " + candidate.name + "  " + (reason.empty() ? "protected" : reason));
    }
  }
  out.push_back(summary());
  return out;
}

StopConfirm confirmation(bool inputIsTerminal, std::istream& input) {
  if (!inputIsTerminal) return StopConfirm::needsTTY;
  std::string answer;
  if (!std::getline(input, answer)) return StopConfirm::declined;
  const auto word = asciiLower(asciiTrimmed(answer));
  return word == "y" || word == "yes" ? StopConfirm::proceed : StopConfirm::declined;
}

}  // namespace glimmet
