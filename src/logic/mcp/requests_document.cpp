// The requests listing in its two forms.
#include "logic/mcp/requests_document.h"

#include "logic/companion/companion_status_document.h"
#include "logic/mcp/quit_request_text.h"

namespace glimmet {

nlohmann::json RequestsDocument::toJson() const {
  auto rows = nlohmann::json::array();
  for (const auto& review : requests) {
    const auto& request = review.request;
    nlohmann::json row = {{"id", request.id},
                          {"time", formatIso8601(request.time)},
                          {"ageSeconds", review.ageSeconds()},
                          {"kind", request.kind},
                          {"what", review.what()},
                          {"verdict", review.verdict.verdict},
                          {"reason", review.verdict.reason},
                          {"plan", planSummary(review)}};
    if (request.pid) row["pid"] = *request.pid;
    if (request.port) row["port"] = *request.port;
    if (request.sessionPID) row["sessionPID"] = *request.sessionPID;
    if (review.verdict.name) row["name"] = *review.verdict.name;
    if (const auto note = review.note()) row["note"] = *note;
    rows.push_back(std::move(row));
  }
  return {{"schema", 1}, {"command", "requests"}, {"requests", std::move(rows)}};
}

std::vector<std::string> RequestsDocument::lines() const {
  if (requests.empty()) return {"No quit requests waiting."};
  std::vector<std::string> lines;
  for (const auto& review : requests) {
    lines.push_back(review.request.id + "  " + ageText(review.ageSeconds()) + " ago  " +
                    review.what());
    if (const auto note = review.note()) lines.push_back("  Note: " + *note);
    lines.push_back("  Now: " + planSummary(review));
  }
  lines.push_back(
      "Answer one with glimmet requests answer ID, or say no with glimmet requests decline ID.");
  return lines;
}

}  // namespace glimmet
