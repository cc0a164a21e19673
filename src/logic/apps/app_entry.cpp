// An app's entry: its JSON object and its size column.
#include "logic/apps/app_entry.h"

#include "core/output/byte_format.h"
#include "core/output/text.h"

namespace glimmet {
namespace {

constexpr size_t kSizeWidth = 10;

}  // namespace

AppEntry AppEntry::from(const InstalledApp& app, uint64_t leftoverCount) {
  return {
      .name = app.name,
      .path = app.path.string(),
      .bundleID = app.bundleID,
      .version = app.version,
      .bytes = app.bytes,
      .leftovers = leftoverCount,
      .appStore = app.isAppStore,
      .needsAdmin = app.needsAdmin,
      .uninstallable = app.uninstallable(),
      .excluded = app.exclusion,
  };
}

nlohmann::json AppEntry::toJson() const {
  nlohmann::json json = {
      {"name", name},
      {"path", path},
      {"leftovers", leftovers},
      {"appStore", appStore},
      {"needsAdmin", needsAdmin},
      {"uninstallable", uninstallable},
  };
  if (bundleID) json["bundleId"] = *bundleID;
  if (version) json["version"] = *version;
  if (bytes) json["bytes"] = *bytes;
  if (excluded) json["excluded"] = rawValue(*excluded);
  if (lastUsed) json["lastUsed"] = *lastUsed;
  return json;
}

std::string sizeColumn(const std::optional<uint64_t>& bytes) {
  return padCut(bytes ? fileStyleBytes(*bytes) : "?", kSizeWidth);
}

}  // namespace glimmet
