#include "core/process/system_process_table.h"

#include <algorithm>

#include "platform/system_processes.h"

namespace glimmet {

bool SystemProcessTable::holds(std::string_view name,
                               const std::optional<std::string>& path) const {
  const auto begins = [](std::string_view text, const std::string& prefix) {
    return text.substr(0, prefix.size()) == prefix;
  };
  if (path && std::any_of(pathPrefixes.begin(), pathPrefixes.end(),
                          [&](const std::string& prefix) { return begins(*path, prefix); }))
    return true;
  return std::find(names.begin(), names.end(), name) != names.end() ||
         std::any_of(namePrefixes.begin(), namePrefixes.end(),
                     [&](const std::string& prefix) { return begins(name, prefix); });
}

const SystemProcessTable& systemProcessTable() {
  static const SystemProcessTable table = [] {
    auto list = platform::systemProcessList();
    return SystemProcessTable{std::move(list.pathPrefixes), std::move(list.names),
                              std::move(list.namePrefixes)};
  }();
  return table;
}

}  // namespace glimmet
