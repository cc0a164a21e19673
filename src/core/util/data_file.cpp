// Data file lookup.
#include "core/util/data_file.h"

#include "platform/file_system.h"
#include "platform/paths.h"

namespace glimmet {

std::vector<std::filesystem::path> dataFileCandidates(const Environment& environment,
                                                      std::string_view overrideVariable,
                                                      const std::filesystem::path& executable,
                                                      std::string_view fileName) {
  std::vector<std::filesystem::path> paths;
  if (auto override = environment.get(overrideVariable); override && !override->empty())
    paths.emplace_back(*override);
  if (!executable.empty()) {
    const auto bundled = platform::dataFileCandidates(executable.parent_path(), fileName);
    paths.insert(paths.end(), bundled.begin(), bundled.end());
  }
  return paths;
}

std::optional<std::filesystem::path> locateDataFile(const Environment& environment,
                                                    std::string_view overrideVariable,
                                                    const std::filesystem::path& executable,
                                                    std::string_view fileName) {
  for (auto& candidate : dataFileCandidates(environment, overrideVariable, executable, fileName))
    if (platform::targetStatus(candidate)) return candidate;
  return std::nullopt;
}

}  // namespace glimmet
