// dpkg's plain-text records: info/<package>.list holds one installed path per line,
// and the status file holds one stanza per package.
#include "core/apps/package_index.h"

#include <set>
#include <string_view>
#include <utility>

#include "platform/file_system.h"
#include "platform/files.h"

namespace glimmet {
namespace {

// The status file of a large system is a few megabytes; lists are smaller.
constexpr size_t kMaxRecordBytes = 64u << 20;

template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  size_t at = 0;
  while (at < text.size()) {
    auto end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    visit(text.substr(at, end - at));
    at = end + 1;
  }
}

}  // namespace

void PackageIndex::loadOwners() {
  desktopOwners_.emplace();
  // In listing order: when two packages list one entry, the first keeps it.
  // dpkg's info folder holds thousands of files, so its names aren't gathered first.
  platform::forEachFolderEntry(infoDir_, [&](std::string_view name, platform::FileStatus::Kind) {
    if (!name.ends_with(".list")) return;
    auto list = platform::readFile(infoDir_ / name, kMaxRecordBytes);
    if (!list) return;
    // Multi-arch packages are listed as name:arch.list; the package is the name.
    const std::string package(name.substr(0, name.size() - 5));
    forEachLine(*list, [&](std::string_view line) {
      if (line.ends_with(".desktop") && line.find("/applications/") != std::string_view::npos)
        desktopOwners_->emplace(std::string(line), package);
    });
  });
}

void PackageIndex::loadVersions() {
  versions_.emplace();
  auto status = platform::readFile(statusFile_, kMaxRecordBytes);
  if (!status) return;
  std::string package;
  forEachLine(*status, [&](std::string_view line) {
    if (line.empty())
      package.clear();
    else if (line.starts_with("Package: "))
      package = line.substr(9);
    else if (line.starts_with("Version: ") && !package.empty())
      versions_->emplace(package, std::string(line.substr(9)));
  });
}

std::optional<std::string> PackageIndex::packageOwning(const std::filesystem::path& desktopFile) {
  if (!desktopOwners_) loadOwners();
  auto found = desktopOwners_->find(desktopFile.string());
  if (found == desktopOwners_->end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> PackageIndex::version(const std::string& package) {
  if (!versions_) loadVersions();
  auto name = package.substr(0, package.find(':'));
  auto found = versions_->find(name);
  if (found == versions_->end()) return std::nullopt;
  return found->second;
}

bool PackageIndex::installs(const std::string& package,
                            const std::vector<std::filesystem::path>& paths) const {
  auto list = platform::readFile(infoDir_ / (package + ".list"), kMaxRecordBytes);
  if (!list) return false;
  bool found = false;
  forEachLine(*list, [&](std::string_view line) {
    for (const auto& path : paths)
      if (line == path.native()) found = true;
  });
  return found;
}

std::optional<uint64_t> PackageIndex::installedBytes(const std::string& package) const {
  auto list = platform::readFile(infoDir_ / (package + ".list"), kMaxRecordBytes);
  if (!list) return std::nullopt;
  uint64_t bytes = 0;
  std::set<std::pair<dev_t, ino_t>> seen;
  forEachLine(*list, [&](std::string_view line) {
    if (line.empty()) return;
    const auto status = platform::linkStatus(std::string(line));
    if (!status || status->kind != platform::FileStatus::Kind::file) return;
    if (seen.emplace(status->device, status->inode).second) bytes += status->blocks512 * 512;
  });
  return bytes;
}

}  // namespace glimmet
