// The apps leftovers documents and their lines.
#include "logic/apps/app_leftovers_document.h"

#include "core/apps/display_path.h"
#include "core/output/byte_format.h"
#include "core/output/iso8601.h"
#include "core/output/text.h"

namespace glimmet {

AppLeftoversDocument AppLeftoversDocument::from(const AppLeftoverReport& report,
                                                const std::filesystem::path& home) {
  AppLeftoversDocument document{.app = AppEntry::from(report.app, report.leftovers.size()),
                                .notRemoved = report.notRemoved,
                                .home = home};
  for (const auto& leftover : report.leftovers) {
    LeftoverEntry entry{
        .path = leftover.path.string(),
        .folder = leftover.folderName,
        .match = leftover.confidence,
        .bytes = leftover.bytes,
    };
    if (leftover.modified) entry.modified = formatIso8601(*leftover.modified);
    document.leftovers.push_back(std::move(entry));
  }
  return document;
}

nlohmann::json AppLeftoversDocument::toJson() const {
  auto array = nlohmann::json::array();
  for (const auto& leftover : leftovers) {
    nlohmann::json entry = {
        {"path", leftover.path}, {"folder", leftover.folder}, {"match", rawValue(leftover.match)}};
    if (leftover.bytes) entry["bytes"] = *leftover.bytes;
    if (leftover.modified) entry["modified"] = *leftover.modified;
    array.push_back(std::move(entry));
  }
  return {{"schema", 1},
          {"app", app.toJson()},
          {"leftovers", std::move(array)},
          {"notRemoved", notRemoved}};
}

std::vector<std::string> AppLeftoversDocument::lines() const {
  if (app.excluded)
    return {app.name + ": " + std::string(label(*app.excluded)) +
            ". Glimmet doesn't uninstall it."};
  uint64_t total = 0;
  for (const auto& leftover : leftovers) total += leftover.bytes.value_or(0);
  std::vector<std::string> lines = {app.name + " (" + app.bundleID.value_or("no bundle ID") +
                                    "): " + fileStyleBytes(total)};
  if (leftovers.empty()) lines.push_back("  No leftovers found.");
  for (const auto& leftover : leftovers) {
    std::string line = "  " + sizeColumn(leftover.bytes) + " " + displayPath(leftover.path, home);
    if (leftover.match == LeftoverConfidence::likely) line += bracketTag("matched by name");
    lines.push_back(std::move(line));
  }
  if (!notRemoved.empty()) {
    std::string joined;
    for (const auto& item : notRemoved) joined += (joined.empty() ? "" : ", ") + item;
    lines.push_back("  Not removed by Glimmet: " + joined);
  }
  return lines;
}

nlohmann::json AppNotFoundDocument::toJson() const {
  return {{"schema", 1},
          {"error", message},
          {"leftovers", nlohmann::json::array()},
          {"notRemoved", nlohmann::json::array()}};
}

}  // namespace glimmet
