// Archiver: where a copy lands, the checks before it, and the copy and its
// comparison through the platform's link-free tree copy.
#include "core/cleanup/archiver.h"

#include "core/disk/disk_paths.h"
#include "core/util/home_path.h"
#include "platform/file_system.h"
#include "platform/system_error.h"
#include "platform/tree_copy.h"

namespace glimmet {

std::optional<std::string> archiveFolderProblem(const std::vector<std::string>& spellings,
                                                const std::vector<DiskItem>& items,
                                                const DiskProtectedList& protectedList) {
  if (spellings.empty()) return std::string(archive_reason::protectedFolder);
  for (const auto& spelling : spellings)
    for (const auto& item : items)
      if (item.isAbsolute() &&
          disk_path::isWithin(disk_path::normal(spelling), disk_path::normal(item.path)))
        return std::string(archive_reason::insideItem);
  if (protectedList.check(disk_path::normal(spellings.back()), false, false))
    return std::string(archive_reason::protectedFolder);
  return std::nullopt;
}

std::filesystem::path Archiver::target(const std::string& itemPath, const std::string& home,
                                       const std::filesystem::path& folder) {
  const auto path = disk_path::normal(itemPath);
  const auto shown = tildePath(path, home);
  std::filesystem::path relative = shown.starts_with("~/") ? shown.substr(2) : path;
  relative = relative.relative_path();
  std::filesystem::path result = folder;
  bool first = true;
  for (const auto& part : relative) {
    auto name = part.string();
    if (first && name.size() > 1 && name.front() == '.' && name != "..") name.erase(0, 1);
    first = false;
    result /= name;
  }
  return result;
}

std::filesystem::path Archiver::archive(const DiskItem& item, const std::string& home,
                                        const std::filesystem::path& folder) const {
  const auto copyPath = target(item.path, home, folder);
  const auto shownTarget = tildePath(copyPath.string(), home);

  if (platform::entryExists(copyPath)) throw ArchiveError(shownTarget + " already exists");
  // The copy is read through the same kind of descriptor the move uses, so
  // what is copied is what the scan measured and what then goes to the Trash.
  if (!item.identity)
    throw ArchiveItemChanged(
        platform::ItemChange::otherItem,
        tildePath(item.path, home) + " can't be confirmed, so nothing was copied");
  auto reached = platform::holdItem(item.path, home, item.identity);
  if (const auto* why = std::get_if<platform::ItemNotHeld>(&reached)) {
    if (why->change)
      throw ArchiveItemChanged(*why->change,
                               tildePath(item.path, home) + " changed, so nothing was copied");
    throw ArchiveError("couldn't read " + tildePath(item.path, home) + ", so nothing was copied");
  }
  const auto held = std::get<platform::HeldItem>(std::move(reached));
  bool started = false;
  try {
    const auto to =
        platform::openCopyDestination(folder, copyPath.parent_path().lexically_relative(folder));
    if (platform::entryExistsIn(to.get(), held.name))
      throw ArchiveError(shownTarget + " already exists");
    started = true;
    platform::copyTree(held, to.get(), item.path);
    platform::flushToDisk(to.get(), copyPath.string());
    if (!platform::copyMatches(held, to.get(), item.path))
      throw ArchiveError("the copy at " + shownTarget + " didn't match, so the original stays");
  } catch (const platform::TreeCopyFailure& failure) {
    auto reason = "couldn't copy " + tildePath(failure.path, home) + " (" +
                  platform::describeError(failure.error) + "), so the original stays";
    if (started) reason += "; the partial copy is at " + shownTarget;
    throw ArchiveError(reason);
  }
  return copyPath;
}

}  // namespace glimmet
