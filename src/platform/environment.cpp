// Environment snapshot.
#include "platform/environment.h"

#include <cstring>

namespace glimmet {

Environment Environment::fromArray(const char* const* entries) {
  std::map<std::string, std::string, std::less<>> variables;
  for (auto entry = entries; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr || equals == *entry) continue;
    // The first definition wins, as getenv(3) sees it.
    variables.emplace(std::string(*entry, equals), std::string(equals + 1));
  }
  return Environment(std::move(variables));
}

std::optional<std::string> Environment::get(std::string_view name) const {
  const auto found = variables_.find(name);
  if (found == variables_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> Environment::absolutePath(std::string_view name) const {
  auto value = get(name);
  if (!value || value->empty() || value->front() != '/') return std::nullopt;
  return value;
}

Environment Environment::with(std::string name, std::string value) const {
  auto copy = variables_;
  copy.insert_or_assign(std::move(name), std::move(value));
  return Environment(std::move(copy));
}

Environment Environment::without(std::string_view name) const {
  auto copy = variables_;
  if (const auto found = copy.find(name); found != copy.end()) copy.erase(found);
  return Environment(std::move(copy));
}

}  // namespace glimmet
