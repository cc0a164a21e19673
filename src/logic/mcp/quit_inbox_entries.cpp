// Expiry, lookup and receipts over the inbox array.
#include "logic/mcp/quit_inbox_entries.h"

#include "core/util/ascii.h"

namespace glimmet {
namespace {

constexpr std::string_view kPending = "pending";

bool isPending(const nlohmann::json& entry) {
  if (!entry.is_object()) return false;
  const auto status = entry.find("status");
  return status != entry.end() && status->is_string() && *status == kPending;
}

// Nothing when the entry's time is missing or unreadable.
std::optional<SystemTime> filedAt(const nlohmann::json& entry) {
  const auto time = entry.find("time");
  if (time == entry.end() || !time->is_string()) return std::nullopt;
  return parseIso8601(time->get<std::string>());
}

}  // namespace

std::size_t expireStaleRequests(nlohmann::json& inbox, SystemTime now) {
  std::size_t expired = 0;
  for (auto& entry : inbox) {
    if (!isPending(entry)) continue;
    const auto filed = filedAt(entry);
    std::string message;
    if (!filed) {
      message =
          "Expired: its time can't be read, so nobody can tell how old it is. Nothing was "
          "stopped.";
    } else if (now - *filed >= kQuitRequestLifetime) {
      message = "Expired after 24 hours without an answer. Nothing was stopped.";
    } else {
      continue;
    }
    const auto id = entry.find("id");
    writeReceipt(entry,
                 {.id = id != entry.end() && id->is_string() ? id->get<std::string>() : "",
                  .status = "expired",
                  .message = std::move(message)},
                 now);
    ++expired;
  }
  return expired;
}

nlohmann::json* findQuitRequest(nlohmann::json& inbox, std::string_view id) {
  if (id.empty()) return nullptr;
  for (auto& entry : inbox) {
    if (!entry.is_object()) continue;
    const auto found = entry.find("id");
    if (found != entry.end() && found->is_string() &&
        asciiLower(found->get_ref<const std::string&>()) == asciiLower(id))
      return &entry;
  }
  return nullptr;
}

void writeReceipt(nlohmann::json& entry, const MCPQuitReceipt& receipt, SystemTime now) {
  entry["status"] = receipt.status;
  entry["message"] = receipt.message;
  entry["answeredAt"] = formatIso8601(now);
}

std::vector<MCPQuitRequest> readPendingRequests(const nlohmann::json& inbox) {
  std::vector<MCPQuitRequest> pending;
  if (!inbox.is_array()) return pending;
  for (const auto& entry : inbox) {
    if (!isPending(entry)) continue;
    if (auto request = MCPQuitRequest::fromJson(entry)) pending.push_back(std::move(*request));
  }
  return pending;
}

}  // namespace glimmet
