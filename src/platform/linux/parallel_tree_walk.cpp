// walkTreesInParallel over getdents64 and fstatat(AT_SYMLINK_NOFOLLOW) relative
// to the open folder. A folder is opened with openat from its parent's
// descriptor (kept alive by the folders waiting on it), so a folder swapped for
// a link meanwhile is never followed. Mount points come from
// /proc/self/mountinfo, read once per walk, rather than from a stat of every
// folder; where that can't be read, folders are stat'ed to compare devices.
#include "platform/parallel_tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

#include "platform/files.h"
#include "platform/io_priority.h"
#include "platform/linux/file_status.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

constexpr size_t kListingBuffer = 64 * 1024;
constexpr size_t kMaxMountInfoBytes = 16 * 1024 * 1024;

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string unescapedMountPath(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && text.size() - i > 3) {
      const auto digits = text.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string_view::npos) {
        out.push_back(static_cast<char>(std::stoi(std::string(digits), nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// Every mount point, by its real path; nothing when the table can't be read.
std::optional<std::vector<std::string>> mountPoints() {
  const auto text = readFile("/proc/self/mountinfo", kMaxMountInfoBytes);
  if (!text) return std::nullopt;
  std::vector<std::string> points;
  size_t start = 0;
  while (start < text->size()) {
    const auto end = std::min(text->find('\n', start), text->size());
    const std::string_view line(text->data() + start, end - start);
    start = end + 1;
    // Fields: id, parent id, major:minor, root, mount point, ...
    size_t field = 0, at = 0;
    for (; field < 4 && at != std::string_view::npos; ++field) {
      at = line.find(' ', at);
      if (at != std::string_view::npos) ++at;
    }
    if (at == std::string_view::npos) continue;
    points.push_back(unescapedMountPath(line.substr(at, line.find(' ', at) - at)));
  }
  return points;
}

// What every folder below one root shares.
struct RootFacts {
  dev_t device = 0;  ///< set by the worker that opens the root, before anything below is queued
  bool mountsKnown = false;
  std::unordered_set<std::string> mountsBelow;  ///< real paths strictly below the root
};

struct FolderTask {
  std::shared_ptr<UniqueFd> parent;  ///< null for a root, opened by its path
  std::string name;                  ///< or the root's path
  std::string realPath;              ///< only while there are mount points below the root
  RootFacts* root = nullptr;
  WalkScopePtr scope;
};

// One folder's listing, its names kept in one buffer.
struct Listing {
  std::string names;
  struct Raw {
    size_t offset, size;
    unsigned char type;
  };
  std::vector<Raw> raw;
  std::vector<ListedEntry> entries;
  std::vector<std::optional<FileStatus>> statuses;  ///< where a stat was needed to tell
  std::vector<WalkScopePtr> enter;

  void clear() {
    names.clear();
    raw.clear();
    entries.clear();
    statuses.clear();
    enter.clear();
  }
};

std::string joined(const std::string& parent, std::string_view name) {
  std::string path = parent;
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(name);
  return path;
}

class ParallelWalk {
 public:
  ParallelWalk(size_t walkers, TreeVisitor& visitor)
      : walkers_(std::max<size_t>(walkers, 1)), visitor_(visitor) {}

  bool run(const std::vector<WalkRoot>& roots) {
    const auto points = mountPoints();
    facts_.reserve(roots.size());
    {
      std::lock_guard lock(mutex_);
      for (const auto& root : roots) {
        auto& facts = facts_.emplace_back();
        facts.mountsKnown = points.has_value();
        std::string real;
        if (points)
          if (char* resolved = ::realpath(root.path.c_str(), nullptr)) {
            real = resolved;
            std::free(resolved);
            const std::string prefix = real == "/" ? "/" : real + "/";
            for (const auto& point : *points)
              if (point.size() > prefix.size() && point.starts_with(prefix))
                facts.mountsBelow.insert(point);
          }
        pending_.push_back(
            {nullptr, root.path, facts.mountsBelow.empty() ? "" : real, &facts, root.scope});
      }
      spawnWhileWaiting();
    }
    work(0);
    std::vector<std::thread> threads;
    {
      std::lock_guard lock(mutex_);
      threads = std::move(threads_);
    }
    for (auto& thread : threads) thread.join();
    return stopped_.load();
  }

 private:
  void work(size_t worker) {
    const IoPriorityGuard throttled;
    std::vector<char> buffer(kListingBuffer);
    Listing listing;
    for (;;) {
      FolderTask task;
      {
        std::unique_lock lock(mutex_);
        ++waiting_;
        ready_.wait(lock, [&] { return !pending_.empty() || busy_ == 0; });
        --waiting_;
        if (pending_.empty()) {
          ready_.notify_all();
          return;
        }
        task = std::move(pending_.back());
        pending_.pop_back();
        ++busy_;
      }
      visit(worker, std::move(task), buffer, listing);
      std::lock_guard lock(mutex_);
      if (--busy_ == 0 && pending_.empty()) ready_.notify_all();
    }
  }

  void visit(size_t worker, FolderTask task, std::vector<char>& buffer, Listing& listing) {
    if (stopped_.load(std::memory_order_relaxed)) return;
    if (visitor_.stopped()) {
      stopped_ = true;
      return;
    }
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    const int fd = task.parent ? ::openat(task.parent->get(), task.name.c_str(), kFlags)
                               : ::open(task.name.c_str(), kFlags);
    if (fd < 0) {
      if (isPermissionError(errno)) visitor_.refused(*task.scope);
      return;
    }
    auto folder = std::make_shared<UniqueFd>(fd);
    if (!task.parent) {
      // A root: the device every folder below must share.
      struct stat info {};
      if (::fstat(fd, &info) != 0) return;
      task.root->device = info.st_dev;
    }
    task.parent.reset();  // its descriptor stays open only while it has folders waiting
    listing.clear();
    read(*folder, *task.scope, task.root->mountsKnown, buffer, listing);
    visitor_.folder(worker, task.scope, listing.entries, listing.enter);

    std::vector<FolderTask> found;
    for (size_t i = 0; i < listing.entries.size(); ++i) {
      const auto& entry = listing.entries[i];
      if (entry.folder) {
        if (!listing.enter[i]) continue;
        if (const auto& status = listing.statuses[i]; status && status->device != task.root->device)
          continue;  // another volume, told by a stat where the mount table couldn't
        std::string realPath;
        if (!task.root->mountsBelow.empty()) {
          realPath = joined(task.realPath, entry.name);
          if (task.root->mountsBelow.count(realPath)) continue;  // another volume
        }
        found.push_back({folder, std::string(entry.name), std::move(realPath), task.root,
                         std::move(listing.enter[i])});
        continue;
      }
      if (!listing.statuses[i]) {
        struct stat info {};
        if (::fstatat(fd, listing.names.c_str() + listing.raw[i].offset, &info,
                      AT_SYMLINK_NOFOLLOW) != 0) {
          if (isPermissionError(errno)) visitor_.refused(*task.scope);
          continue;  // vanished or unreadable: not counted
        }
        listing.statuses[i] = statusOf(info);
      }
      visitor_.file(worker, *task.scope, i, entry.name, *listing.statuses[i]);
    }
    if (!found.empty()) share(std::move(found));
  }

  // Lists the folder whole, so the caller decides over all of it at once;
  // stats only the entries whose type the listing leaves open.
  void read(const UniqueFd& folder, WalkScope& scope, bool mountsKnown, std::vector<char>& buffer,
            Listing& listing) {
    for (;;) {
      const auto got = ::getdents64(folder.get(), buffer.data(), buffer.size());
      if (got < 0) {
        if (errno == EINTR) continue;
        if (isPermissionError(errno)) visitor_.refused(scope);
        break;
      }
      if (got == 0) break;
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
        at += entry->d_reclen;
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        listing.raw.push_back({listing.names.size(), name.size(), entry->d_type});
        listing.names.append(name);
        listing.names.push_back('\0');
      }
    }
    listing.entries.reserve(listing.raw.size());
    listing.statuses.resize(listing.raw.size());
    listing.enter.resize(listing.raw.size());
    for (size_t i = 0; i < listing.raw.size(); ++i) {
      const auto& raw = listing.raw[i];
      ListedEntry entry{std::string_view(listing.names).substr(raw.offset, raw.size),
                        raw.type == DT_DIR, raw.type == DT_REG};
      if (raw.type == DT_UNKNOWN || (raw.type == DT_DIR && !mountsKnown)) {
        struct stat info {};
        if (::fstatat(folder.get(), listing.names.c_str() + raw.offset, &info,
                      AT_SYMLINK_NOFOLLOW) == 0) {
          listing.statuses[i] = statusOf(info);
          entry.folder = S_ISDIR(info.st_mode);
          entry.regular = S_ISREG(info.st_mode);
        } else if (isPermissionError(errno)) {
          visitor_.refused(scope);
        }
      }
      listing.entries.push_back(entry);
    }
  }

  // Queues folders, starting another worker while some wait and one is free.
  void share(std::vector<FolderTask> found) {
    std::lock_guard lock(mutex_);
    for (auto& task : found) pending_.push_back(std::move(task));
    if (waiting_ > 0)
      ready_.notify_all();
    else
      spawnWhileWaiting();
  }

  void spawnWhileWaiting() {
    if (threads_.size() + 1 < walkers_ && pending_.size() > 1) {
      const size_t worker = threads_.size() + 1;
      threads_.emplace_back([this, worker] { work(worker); });
    }
  }

  const size_t walkers_;
  TreeVisitor& visitor_;
  std::vector<RootFacts> facts_;  ///< reserved up front: tasks point into it

  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<FolderTask> pending_;
  std::vector<std::thread> threads_;
  size_t busy_ = 0;
  size_t waiting_ = 0;
  std::atomic<bool> stopped_{false};
};

}  // namespace

bool walkTreesInParallel(const std::vector<WalkRoot>& roots, size_t walkers, TreeVisitor& visitor) {
  if (roots.empty()) return false;
  ParallelWalk walk(walkers, visitor);
  return walk.run(roots);
}

}  // namespace glimmet::platform
