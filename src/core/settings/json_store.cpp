// JSONStore.
#include "core/settings/json_store.h"

#include "core/output/json_writer.h"
#include "platform/files.h"

namespace glimmet {
namespace {

// The shared files are a few kilobytes; anything this large is not one of ours,
// and reading it would only cost memory.
constexpr size_t kMaxStoredFileBytes = 8 * 1024 * 1024;

}  // namespace

std::optional<nlohmann::json> JSONStore::loadJson(std::string_view name) const {
  const auto bytes = platform::readFile(directory_ / name, kMaxStoredFileBytes);
  if (!bytes) return std::nullopt;
  // nlohmann's parser keeps its own stack, so deep nesting costs heap, not the
  // call stack; invalid UTF-8 is a parse error.
  auto json = nlohmann::json::parse(*bytes, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return std::nullopt;
  return json;
}

void JSONStore::saveJson(const nlohmann::json& value, std::string_view name) const {
  const std::string encoded = writeJson(value, {.escapeSlashes = true});
  platform::createDirectories(directory_, 0700);
  platform::writeFileAtomically(directory_ / name, encoded, 0600);
}

}  // namespace glimmet
