// The apps list document and its lines.
#include "logic/apps/apps_list_document.h"

#include "core/output/text.h"

namespace glimmet {

nlohmann::json AppsListDocument::toJson() const {
  auto array = nlohmann::json::array();
  for (const auto& app : apps) array.push_back(app.toJson());
  return {{"schema", 1}, {"apps", std::move(array)}};
}

std::vector<std::string> AppsListDocument::lines() const {
  if (apps.empty()) return {"No apps found."};
  std::vector<std::string> lines;
  for (const auto& app : apps) {
    std::string line =
        sizeColumn(app.bytes) + " " + app.name + " (" + app.bundleID.value_or("no bundle ID");
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

}  // namespace glimmet
