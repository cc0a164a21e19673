// disk scan text and JSON.
#include "logic/disk/disk_scan_document.h"

#include <algorithm>

#include "core/disk/shell_words.h"
#include "core/output/byte_format.h"
#include "core/output/text.h"
#include "core/util/home_path.h"

namespace glimmet {
namespace {

constexpr size_t kListedPerSafety = 40;

std::string commandText(const std::vector<std::string>& argv, const std::string& home) {
  std::vector<std::string> shown;
  for (const auto& word : argv) shown.push_back(tildePath(word, home));
  return joinShellWords(shown);
}

nlohmann::json orNull(const std::optional<std::string>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json();
}

}  // namespace

std::string_view safetyHeading(DiskSafety safety) {
  switch (safety) {
    case DiskSafety::safe:
      return "Safe to clear";
    case DiskSafety::review:
      return "Review first";
    case DiskSafety::reportOnly:
      return "Report only";
  }
  return {};
}

std::vector<std::string> DiskScanDocument::lines() const {
  std::vector<std::string> lines;
  if (result.freeBytes) lines.push_back("Free right now: " + fileStyleBytes(*result.freeBytes));
  for (const auto safety : kDiskSafeties) {
    std::vector<const DiskItem*> items;
    uint64_t total = 0;
    for (const auto& item : result.items)
      if (item.safety == safety) {
        items.push_back(&item);
        total += item.uniqueBytes;
      }
    if (items.empty()) continue;
    // Items whose dev server was stopped lead (most recent first), then the largest.
    std::stable_sort(items.begin(), items.end(), [](const DiskItem* a, const DiskItem* b) {
      if (a->serverKilledAt != b->serverKilledAt) return a->serverKilledAt > b->serverKilledAt;
      return a->uniqueBytes > b->uniqueBytes;
    });
    lines.emplace_back();
    lines.push_back(std::string(safetyHeading(safety)) + ": about " + fileStyleBytes(total) +
                    " in " + countedNoun(items.size(), "item"));
    for (size_t i = 0; i < items.size() && i < kListedPerSafety; ++i) {
      const auto& item = *items[i];
      // A Docker figure's "path" is only its kind ("images"): the label says it all.
      std::string line = "  " + padCut(fileStyleBytes(item.uniqueBytes), 10) + " " + item.label;
      if (item.isAbsolute()) line += ": " + tildePath(item.path, result.home);
      if (item.blocked) line += "  [" + *item.blocked + "]";
      lines.push_back(std::move(line));
    }
    if (items.size() > kListedPerSafety)
      lines.push_back("  and " + std::to_string(items.size() - kListedPerSafety) + " more");
  }
  if (result.docker && *result.docker != DockerDiskState::running) {
    lines.emplace_back();
    lines.push_back(*result.docker == DockerDiskState::notInstalled
                        ? "Docker isn't installed (no engine socket found)."
                        : "Docker isn't running, so its images and caches weren't measured.");
  }
  if (!result.notScanned.empty()) {
    lines.emplace_back();
    lines.push_back("Not scanned: " + countedNoun(result.notScanned.size(), "folder"));
  }
  if (!result.complete) {
    lines.emplace_back();
    lines.push_back("Partial scan.");
  }
  return lines;
}

nlohmann::json DiskScanDocument::toJson() const {
  const auto& home = result.home;
  nlohmann::json scan = {{"id", result.scanID},
                         {"startedAt", formatIso8601(result.startedAt)},
                         {"finishedAt", formatIso8601(result.finishedAt)},
                         {"complete", result.complete},
                         {"rulesVersion", result.rulesVersion}};
  if (result.freeBytes) scan["freeBytes"] = *result.freeBytes;
  if (result.trashBytes) scan["trashBytes"] = *result.trashBytes;
  if (result.docker) scan["docker"] = rawValue(*result.docker);

  nlohmann::json totals = nlohmann::json::object();
  for (const auto safety : kDiskSafeties)
    totals[std::string(rawValue(safety))] = {{"bytes", 0}, {"count", 0}};
  nlohmann::json items = nlohmann::json::array();
  for (const auto& item : result.items) {
    auto& total = totals[std::string(rawValue(item.safety))];
    total["bytes"] = total["bytes"].get<uint64_t>() + item.uniqueBytes;
    total["count"] = total["count"].get<uint64_t>() + 1;
    const bool actionable = !item.blocked && item.clean.kind != CleanAction::Kind::none &&
                            item.safety != DiskSafety::reportOnly;
    // Filled key by key: a brace list would build every pair as a small array
    // first, and a scan may list hundreds of items.
    nlohmann::json entry = nlohmann::json::object();
    entry["id"] = item.id;
    entry["rule"] = item.ruleID;
    entry["label"] = item.label;
    entry["tool"] = item.tool;
    entry["path"] = tildePath(item.path, home);
    entry["category"] = rawValue(item.category);
    entry["safety"] = rawValue(item.safety);
    entry["bytes"] = item.bytes;
    entry["uniqueBytes"] = item.uniqueBytes;
    entry["sharedBytes"] = item.bytes - std::min(item.bytes, item.uniqueBytes);
    entry["files"] = item.fileCount;
    entry["modified"] =
        item.modified ? nlohmann::json(formatIso8601(*item.modified)) : nlohmann::json();
    entry["verified"] = item.verified;
    entry["actionable"] = actionable;
    entry["blocked"] = orNull(item.blocked);
    entry["reasons"] = item.reasons;
    entry["action"] = rawValue(item.clean.kind);
    entry["command"] =
        item.clean.argv ? nlohmann::json(commandText(*item.clean.argv, home)) : nlohmann::json();
    entry["project"] =
        item.projectPath ? nlohmann::json(tildePath(*item.projectPath, home)) : nlohmann::json();
    entry["ifRemoved"] = item.ifRemoved;
    items.push_back(std::move(entry));
  }
  nlohmann::json context = nlohmann::json::array();
  for (const auto& entry : result.context)
    context.push_back({{"path", tildePath(entry.path, home)},
                       {"bytes", entry.bytes},
                       {"category", rawValue(entry.category)}});
  nlohmann::json notScanned = nlohmann::json::array();
  for (const auto& entry : result.notScanned)
    notScanned.push_back(
        {{"path", tildePath(entry.path, home)}, {"reason", rawValue(entry.reason)}});
  nlohmann::json document = nlohmann::json::object();
  document["schema"] = 1;
  document["scan"] = std::move(scan);
  document["totals"] = std::move(totals);
  document["items"] = std::move(items);
  document["context"] = std::move(context);
  document["notScanned"] = std::move(notScanned);
  return document;
}

ExitStatus DiskScanDocument::status(OutputFormat) const {
  return result.complete ? ExitStatus::ok : ExitStatus::partial;
}

}  // namespace glimmet
