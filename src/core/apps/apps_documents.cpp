// Documents and text lines of apps list and apps leftovers.
#include "core/apps/apps_documents.h"

#include "core/apps/display_path.h"
#include "core/output/byte_format.h"
#include "core/output/text.h"

namespace glimmet::CLIOutput {
namespace {

constexpr size_t kSizeWidth = 10;

std::string sizeText(const std::optional<uint64_t>& bytes) {
  return bytes ? fileStyleBytes(*bytes) : "?";
}

}  // namespace

AppEntry appEntry(const InstalledApp& app, uint64_t leftoverCount) {
  AppEntry entry{
      .name = app.name,
      .path = app.path.string(),
      .bundleId = app.bundleID,
      .version = app.version,
      .bytes = app.bytes,
      .leftovers = leftoverCount,
      .appStore = app.isAppStore,
      .needsAdmin = app.needsAdmin,
      .uninstallable = app.uninstallable(),
  };
  entry.excluded = app.exclusion;
  return entry;
}

AppLeftovers appLeftovers(const AppLeftoverReport& report) {
  AppLeftovers document{.app = appEntry(report.app, report.leftovers.size()),
                        .notRemoved = report.notRemoved};
  for (const auto& leftover : report.leftovers) {
    LeftoverEntry entry{
        .path = leftover.path.string(),
        .folder = leftover.folderName,
        .match = std::string(rawValue(leftover.confidence)),
        .bytes = leftover.bytes,
    };
    if (leftover.modified) entry.modified = formatIso8601(*leftover.modified);
    document.leftovers.push_back(std::move(entry));
  }
  return document;
}

nlohmann::json toJson(const AppEntry& entry) {
  nlohmann::json json = {
      {"name", entry.name},
      {"path", entry.path},
      {"leftovers", entry.leftovers},
      {"appStore", entry.appStore},
      {"needsAdmin", entry.needsAdmin},
      {"uninstallable", entry.uninstallable},
  };
  if (entry.bundleId) json["bundleId"] = *entry.bundleId;
  if (entry.version) json["version"] = *entry.version;
  if (entry.bytes) json["bytes"] = *entry.bytes;
  if (entry.excluded) json["excluded"] = rawValue(*entry.excluded);
  if (entry.lastUsed) json["lastUsed"] = *entry.lastUsed;
  return json;
}

nlohmann::json appsListDocument(const std::vector<AppEntry>& apps) {
  auto array = nlohmann::json::array();
  for (const auto& app : apps) array.push_back(toJson(app));
  return {{"schema", 1}, {"apps", std::move(array)}};
}

nlohmann::json appLeftoversDocument(const AppLeftovers& leftovers) {
  auto array = nlohmann::json::array();
  for (const auto& leftover : leftovers.leftovers) {
    nlohmann::json entry = {
        {"path", leftover.path}, {"folder", leftover.folder}, {"match", leftover.match}};
    if (leftover.bytes) entry["bytes"] = *leftover.bytes;
    if (leftover.modified) entry["modified"] = *leftover.modified;
    array.push_back(std::move(entry));
  }
  return {{"schema", 1},
          {"app", toJson(leftovers.app)},
          {"leftovers", std::move(array)},
          {"notRemoved", leftovers.notRemoved}};
}

nlohmann::json appNotFoundDocument(const std::string& message) {
  return {{"schema", 1},
          {"error", message},
          {"leftovers", nlohmann::json::array()},
          {"notRemoved", nlohmann::json::array()}};
}

std::vector<std::string> appsListLines(const std::vector<AppEntry>& apps) {
  if (apps.empty()) return {"No apps found."};
  std::vector<std::string> lines;
  for (const auto& app : apps) {
    std::string line = padCut(sizeText(app.bytes), kSizeWidth) + " " + app.name + " (" +
                       app.bundleId.value_or("no bundle ID");
    if (app.leftovers > 0) line += ", " + countedNoun(app.leftovers, "leftover");
    line += ")";
    if (app.excluded) {
      line += bracketTag(label(*app.excluded));
    } else if (app.needsAdmin) {
      line += bracketTag("needs admin");
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> appLeftoversLines(const AppLeftoverReport& report,
                                           const std::filesystem::path& home) {
  const auto& app = report.app;
  if (app.exclusion)
    return {app.name + ": " + std::string(label(*app.exclusion)) +
            ". Glimmet doesn't uninstall it."};
  std::vector<std::string> lines = {app.name + " (" + app.bundleID.value_or("no bundle ID") +
                                    "): " + fileStyleBytes(report.totalBytes())};
  if (report.leftovers.empty()) lines.push_back("  No leftovers found.");
  for (const auto& leftover : report.leftovers) {
    std::string line = "  " + padCut(sizeText(leftover.bytes), kSizeWidth) + " " +
                       displayPath(leftover.path, home);
    if (leftover.confidence == LeftoverConfidence::likely) line += bracketTag("matched by name");
    lines.push_back(std::move(line));
  }
  if (!report.notRemoved.empty()) {
    std::string joined;
    for (const auto& item : report.notRemoved) joined += (joined.empty() ? "" : ", ") + item;
    lines.push_back("  Not removed by Glimmet: " + joined);
  }
  return lines;
}

}  // namespace glimmet::CLIOutput
