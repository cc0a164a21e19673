// The quit inbox as the array it is on disk: expiring what waited too long,
// finding one request by id, and writing the answer back into its entry. Keys
// this tool doesn't know stay as they are, so the application's own survive.
#pragma once

#include <chrono>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "core/output/iso8601.h"
#include "logic/mcp/mcp_records.h"

namespace glimmet {

/// A request waits this long for an answer; then it expires.
inline constexpr std::chrono::hours kQuitRequestLifetime{24};

/// The answer to one request: its new status ("done", "declined", "failed" or
/// "expired") and what answering did, in words.
struct MCPQuitReceipt {
  std::string id;
  std::string status;
  std::string message;
};

/// Marks each pending entry filed `kQuitRequestLifetime` or more before `now`,
/// or whose time can't be read, as expired; returns how many. `inbox` is an array.
std::size_t expireStaleRequests(nlohmann::json& inbox, SystemTime now);

/// The first entry whose id is `id`, letter case aside; nullptr when none is.
nlohmann::json* findQuitRequest(nlohmann::json& inbox, std::string_view id);

/// Writes `receipt` into `entry`: status, message and answeredAt (`now`).
void writeReceipt(nlohmann::json& entry, const MCPQuitReceipt& receipt, SystemTime now);

/// The pending entries that read as requests, in inbox order.
std::vector<MCPQuitRequest> readPendingRequests(const nlohmann::json& inbox);

}  // namespace glimmet
