// walkTreeInParallel over getdents64 and fstatat(AT_SYMLINK_NOFOLLOW). A folder
// is opened with openat from its parent's descriptor (kept alive by the folders
// waiting on it), so a folder swapped for a link meanwhile is never followed.
// Mount points come from /proc/self/mountinfo rather than from a stat of every
// folder; where that can't be read, folders are stat'ed as walkTree does.
#include "platform/parallel_tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
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
constexpr size_t kNewComponent = static_cast<size_t>(-1);

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

struct MountsBelow {
  bool known = false;
  std::unordered_set<std::string> paths;  ///< mount points strictly below the root
};

MountsBelow mountsBelow(const std::string& canonicalRoot) {
  MountsBelow mounts;
  if (canonicalRoot.empty()) return mounts;
  const auto text = readFile("/proc/self/mountinfo", kMaxMountInfoBytes);
  if (!text) return mounts;
  mounts.known = true;
  const std::string prefix = canonicalRoot == "/" ? "/" : canonicalRoot + "/";
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
    const auto point = unescapedMountPath(line.substr(at, line.find(' ', at) - at));
    if (point.size() > prefix.size() && point.starts_with(prefix)) mounts.paths.insert(point);
  }
  return mounts;
}

struct FolderTask {
  std::shared_ptr<UniqueFd> parent;
  std::string name;
  std::string path;  ///< only while there are mount points below the root
  size_t firstComponent = kNewComponent;
};

class ParallelWalk {
 public:
  ParallelWalk(size_t walkers, dev_t device, MountsBelow mounts,
               const std::function<void(size_t, const TallyEntry&)>& visit,
               const std::function<bool()>& stop)
      : walkers_(std::max<size_t>(walkers, 1)),
        device_(device),
        mounts_(std::move(mounts)),
        visit_(visit),
        stop_(stop) {}

  ParallelWalkOutcome run(UniqueFd root, std::string rootPath) {
    {
      IoPriorityGuard throttled;
      std::vector<char> buffer(kListingBuffer);
      list(0, std::make_shared<UniqueFd>(std::move(root)), std::move(rootPath), kNewComponent,
           buffer);
    }
    work(0);
    std::vector<std::thread> threads;
    {
      std::lock_guard lock(mutex_);
      threads = std::move(threads_);
    }
    for (auto& thread : threads) thread.join();
    outcome_.noAccess = noAccess_.load();
    outcome_.stopped = stopped_.load();
    return std::move(outcome_);
  }

 private:
  void work(size_t worker) {
    IoPriorityGuard throttled;
    std::vector<char> buffer(kListingBuffer);
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
      open(worker, std::move(task), buffer);
      std::lock_guard lock(mutex_);
      if (--busy_ == 0 && pending_.empty()) ready_.notify_all();
    }
  }

  void open(size_t worker, FolderTask task, std::vector<char>& buffer) {
    if (stopped_.load(std::memory_order_relaxed)) return;
    const int fd = ::openat(task.parent->get(), task.name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      if (isPermissionError(errno)) noAccess_ = true;
      return;
    }
    task.parent.reset();
    list(worker, std::make_shared<UniqueFd>(fd), std::move(task.path), task.firstComponent, buffer);
  }

  // Lists one open folder: counts its entries and queues its folders.
  void list(size_t worker, const std::shared_ptr<UniqueFd>& folder, std::string path,
            size_t firstComponent, std::vector<char>& buffer) {
    if (stop_()) {
      stopped_ = true;
      return;
    }
    std::vector<FolderTask> found;
    for (;;) {
      const auto got = ::getdents64(folder->get(), buffer.data(), buffer.size());
      if (got < 0) {
        if (errno == EINTR) continue;
        if (isPermissionError(errno)) noAccess_ = true;
        break;
      }
      if (got == 0) break;
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
        at += entry->d_reclen;
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        size_t first = firstComponent;
        if (first == kNewComponent) {  // the root's own entries, listed before any helper starts
          first = outcome_.firstComponents.size();
          outcome_.firstComponents.emplace_back(name);
        }
        bool folderEntry = entry->d_type == DT_DIR && mounts_.known;
        if (!folderEntry) {
          struct stat info {};
          if (::fstatat(folder->get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (isPermissionError(errno)) noAccess_ = true;
            continue;  // vanished or unreadable: not counted
          }
          if (S_ISDIR(info.st_mode)) {
            if (info.st_dev != device_) continue;
            folderEntry = true;
          } else {
            const FileStatus status = statusOf(info);
            visit_(worker, {name, first, &status});
            continue;
          }
        }
        visit_(worker, {name, first, nullptr});
        std::string childPath;
        if (!mounts_.paths.empty()) {
          childPath = path + (path.ends_with('/') ? "" : "/") + std::string(name);
          if (mounts_.paths.count(childPath)) continue;  // another volume
        }
        found.push_back({folder, std::string(name), std::move(childPath), first});
      }
    }
    if (!found.empty()) share(std::move(found));
  }

  // Queues folders, starting another worker while some wait and one is free.
  void share(std::vector<FolderTask> found) {
    std::lock_guard lock(mutex_);
    for (auto& task : found) pending_.push_back(std::move(task));
    if (waiting_ > 0) {
      ready_.notify_all();
    } else if (threads_.size() + 1 < walkers_ && pending_.size() > 1) {
      const size_t worker = threads_.size() + 1;
      threads_.emplace_back([this, worker] { work(worker); });
    }
  }

  const size_t walkers_;
  const dev_t device_;
  const MountsBelow mounts_;
  const std::function<void(size_t, const TallyEntry&)>& visit_;
  const std::function<bool()>& stop_;

  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<FolderTask> pending_;
  std::vector<std::thread> threads_;
  size_t busy_ = 0;
  size_t waiting_ = 0;
  std::atomic<bool> noAccess_{false};
  std::atomic<bool> stopped_{false};
  ParallelWalkOutcome outcome_;
};

}  // namespace

ParallelWalkOutcome walkTreeInParallel(const std::filesystem::path& root, size_t walkers,
                                       const std::function<void(size_t, const TallyEntry&)>& visit,
                                       const std::function<bool()>& stop) {
  UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    ParallelWalkOutcome outcome;
    outcome.noAccess = isPermissionError(errno);
    return outcome;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return {};
  // Paths below are only built to be matched against mount points, which the
  // kernel lists by their real paths.
  std::string canonical;
  if (char* real = ::realpath(root.c_str(), nullptr)) {
    canonical = real;
    std::free(real);
  }
  auto mounts = mountsBelow(canonical);
  ParallelWalk walk(walkers, info.st_dev, std::move(mounts), visit, stop);
  return walk.run(std::move(fd), canonical);
}

}  // namespace glimmet::platform
