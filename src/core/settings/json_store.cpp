// JSONStore.
#include "core/settings/json_store.h"

#include "core/output/json_writer.h"
#include "core/util/json_nesting.h"
#include "platform/files.h"

namespace glimmet {

std::optional<nlohmann::json> parseSharedJson(std::string_view text) {
  if (jsonNestedDeeperThan(text, kMaxSharedJsonDepth)) return std::nullopt;
  auto json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return std::nullopt;
  return json;
}

std::optional<nlohmann::json> JSONStore::loadJson(std::string_view name) const {
  const auto folder = platform::SharedFolder::open(directory_);
  if (!folder) return std::nullopt;
  const auto bytes = folder->read(name, kMaxStoredFileBytes);
  if (!bytes) return std::nullopt;
  return parseSharedJson(*bytes);
}

void JSONStore::saveJson(const nlohmann::json& value, std::string_view name) const {
  const std::string encoded = writeJson(value, {.escapeSlashes = true});
  platform::SharedFolder::create(directory_).replace(name, encoded);
}

}  // namespace glimmet
