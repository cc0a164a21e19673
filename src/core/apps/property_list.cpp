// libplist behind a small value type: the node tree is freed with the value, and
// every string libplist hands out is copied and released at once.
#include "core/apps/property_list.h"

#include <plist/plist.h>

#include <cstdlib>

#include "platform/files.h"

namespace glimmet {
namespace {

std::optional<std::string> stringValue(plist_t node) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
  char* value = nullptr;
  plist_get_string_val(node, &value);
  if (value == nullptr) return std::nullopt;
  std::string copy(value);
  std::free(value);
  return copy;
}

}  // namespace

void PropertyList::Free::operator()(void* node) const {
  plist_free(static_cast<plist_t>(node));
}

std::optional<PropertyList> PropertyList::parse(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > kMaxBytes) return std::nullopt;
  plist_t root = nullptr;
  // libplist tells XML from binary by itself and leaves the node null on failure.
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  if (root == nullptr) return std::nullopt;
  PropertyList list(root);
  if (plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
  return list;
}

std::optional<PropertyList> PropertyList::read(const std::filesystem::path& path) {
  auto bytes = platform::readFile(path, kMaxBytes);
  if (!bytes) return std::nullopt;
  return parse(*bytes);
}

std::optional<std::string> PropertyList::string(const char* key) const {
  return stringValue(plist_dict_get_item(static_cast<plist_t>(root_.get()), key));
}

std::vector<std::string> PropertyList::strings(const char* key) const {
  std::vector<std::string> values;
  plist_t array = plist_dict_get_item(static_cast<plist_t>(root_.get()), key);
  if (array == nullptr || plist_get_node_type(array) != PLIST_ARRAY) return values;
  const uint32_t count = plist_array_get_size(array);
  for (uint32_t index = 0; index < count; ++index)
    if (auto value = stringValue(plist_array_get_item(array, index)))
      values.push_back(std::move(*value));
  return values;
}

}  // namespace glimmet
