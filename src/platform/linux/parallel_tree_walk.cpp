// walkTreesInParallel over getdents64 and fstatat(AT_SYMLINK_NOFOLLOW) relative
// to the open folder. A folder is opened with openat from its parent's
// descriptor, which stays open on the walker's path while the parent has
// subfolders left to enter, so a folder swapped for a link meanwhile is never
// followed. Mount points come from
// /proc/self/mountinfo, read once per walk, rather than from a stat of every
// folder; where that can't be read, folders are stat'ed to compare devices.
#include "platform/parallel_tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

#include "platform/child_path.h"
#include "platform/files.h"
#include "platform/io_priority.h"
#include "platform/linux/file_status.h"
#include "platform/unique_fd.h"

namespace glimmet::platform {
namespace {

constexpr size_t kListingBuffer = 64 * 1024;
// The longest entry getdents64 can return: its header, NAME_MAX bytes of name
// and the NUL, rounded up to 8 bytes.
constexpr size_t kLongestListingEntry = 280;

// Whether the filesystem's getdents64 fills the buffer until the folder ends,
// so that a listing which left room for the longest entry has ended and the
// closing call that would return nothing can be skipped: one system call in
// five of a walk. Network and FUSE filesystems may return less than there is,
// so only local ones whose readdir loops to the end are trusted so.
bool listsWhole(int folder) {
  struct statfs info {};
  if (::fstatfs(folder, &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type)) {
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
      return true;
    default:
      return false;
  }
}
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
  // Set by the worker that opens the root, before anything below is queued.
  dev_t device = 0;
  bool listingsFill = false;  ///< see `listsWhole`
  bool mountsKnown = false;
  std::unordered_set<std::string> mountsBelow;  ///< real paths strictly below the root
};

// A folder handed from one worker to another, or a root: opened already by
// the worker that found it, so no descriptor is shared between workers.
struct FolderTask {
  UniqueFd folder;       ///< invalid for a root, opened by its path
  std::string path;      ///< a root's path
  std::string realPath;  ///< only while there are mount points below the root
  RootFacts* root = nullptr;
  WalkScopePtr scope;
};

// One folder on a worker's own depth-first path: its listing, and how far its
// subfolders have been entered. Frames are kept and reused by depth, so a walk
// that has reached its depth allocates nothing more per folder.
struct Frame {
  UniqueFd folder;
  std::string realPath;
  std::string names;
  struct Raw {
    size_t offset, size;
    size_t stated;  ///< 1 + its place in `stated`, or 0
    unsigned char type;
  };
  std::vector<Raw> raw;
  std::vector<ListedEntry> entries;
  std::vector<FileStatus> stated;  ///< the few entries a stat was needed to tell
  std::vector<WalkScopePtr> enter;
  std::vector<size_t> subfolders;  ///< positions of the subfolders to enter, in order
  size_t next = 0;                 ///< the first of them not yet entered or handed over

  void clear() {
    names.clear();
    raw.clear();
    entries.clear();
    stated.clear();
    enter.clear();
    subfolders.clear();
    next = 0;
  }
  bool exhausted() const { return next == subfolders.size(); }
  const char* nameAt(size_t position) const { return names.c_str() + raw[position].offset; }
  const FileStatus* statedAt(size_t position) const {
    const size_t at = raw[position].stated;
    return at ? &stated[at - 1] : nullptr;
  }
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A folder opened, or why it couldn't be: errno taken at once, before anything
// else the walker does can change it.
struct OpenedFolder {
  UniqueFd folder;
  int error = 0;
};

OpenedFolder openFolder(int parent, const char* name) {
  OpenedFolder opened{UniqueFd(::openat(parent, name, kFolderFlags))};
  if (!opened.folder) opened.error = errno;
  return opened;
}

constexpr size_t kDiskCheckEvery = 32;  ///< folders between two looks at a worker's reads

// What one worker reuses from folder to folder.
struct WorkerScratch {
  std::vector<char> listing = std::vector<char>(kListingBuffer);
  struct Stat {
    struct stat info;
    int error;
  };
  std::vector<Stat> stats;    ///< of one folder's entries, in listing order
  std::vector<Frame> frames;  ///< its own depth-first path, by depth
  size_t foldersSinceDiskCheck = kDiskCheckEvery - 1;  ///< the first folder is checked
  long blocksRead = 0;  ///< by this worker's thread, when last checked
};

long threadBlocksRead() {
  rusage usage{};
  return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
}

// The CPUs this process may run on.
size_t usableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return static_cast<size_t>(CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

// Each worker walks depth first on its own path of open folders, which keeps
// what it touches close together and costs no lock per folder. It hands the
// shallowest folder it has yet to enter to the shared queue only while another
// worker waits for one (or one more may start), so one huge folder and many
// small roots alike keep every walker busy.
class ParallelWalk {
 public:
  ParallelWalk(size_t walkers, TreeVisitor& visitor)
      : walkers_(std::max<size_t>(walkers, 1)), cpus_(usableCpus()), visitor_(visitor) {}

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
        queue_.push_back(
            {UniqueFd(), root.path, facts.mountsBelow.empty() ? "" : real, &facts, root.scope});
      }
      queued_ = queue_.size();
      running_ = 1;
      while (running_ < allowed() && running_ < queue_.size()) startWorker();
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
  // Called with the lock held.
  void startWorker() {
    const size_t worker = running_++;
    threads_.emplace_back([this, worker] { work(worker); });
  }

  // Walkers beyond the CPUs help only while walkers wait on the disk: a walk
  // the page cache answers is all CPU, where extra threads would only preempt
  // each other. So they start once any walker is seen reading from the disk.
  size_t allowed() const {
    return waitedOnDisk_.load(std::memory_order_relaxed) ? walkers_ : std::min(walkers_, cpus_);
  }

  void noteDiskReads(WorkerScratch& scratch) {
    if (waitedOnDisk_.load(std::memory_order_relaxed) ||
        ++scratch.foldersSinceDiskCheck < kDiskCheckEvery)
      return;
    scratch.foldersSinceDiskCheck = 0;
    const long blocks = threadBlocksRead();
    if (blocks > scratch.blocksRead) waitedOnDisk_ = true;
    scratch.blocksRead = blocks;
  }

  void work(size_t worker) {
    const IoPriorityGuard throttled;
    WorkerScratch scratch;
    scratch.blocksRead = threadBlocksRead();
    while (auto task = take()) walkFrom(worker, std::move(*task), scratch);
  }

  // The next folder from the queue; nothing once every worker waits on an
  // empty queue, which is the end of the walk.
  std::optional<FolderTask> take() {
    std::unique_lock lock(mutex_);
    ++idle_;
    ready_.wait(lock, [&] { return !queue_.empty() || idle_ == running_; });
    if (queue_.empty()) {
      ready_.notify_all();
      return std::nullopt;
    }
    --idle_;
    auto task = std::move(queue_.back());
    queue_.pop_back();
    queued_ = queue_.size();
    return task;
  }

  // Whether a folder handed over now would be taken up: a worker waits with
  // nothing queued for it, or another may still start.
  bool wanted() const {
    const size_t queued = queued_.load(std::memory_order_relaxed);
    return idle_.load(std::memory_order_relaxed) > queued ||
           (queued == 0 && running_.load(std::memory_order_relaxed) < allowed());
  }

  void share(FolderTask task) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
    queued_ = queue_.size();
    if (idle_ > 0)
      ready_.notify_one();
    else if (running_ < allowed())
      startWorker();
  }

  void walkFrom(size_t worker, FolderTask task, WorkerScratch& scratch) {
    auto& frames = scratch.frames;
    OpenedFolder opened{std::move(task.folder)};
    if (!opened.folder) {
      // A root: the device every folder below must share.
      opened = openFolder(AT_FDCWD, task.path.c_str());
      if (opened.folder) {
        struct stat info {};
        if (::fstat(opened.folder.get(), &info) != 0) return;
        task.root->device = info.st_dev;
        task.root->listingsFill = listsWhole(opened.folder.get());
      }
    }
    RootFacts& root = *task.root;
    size_t depth = 0;
    if (!visit(worker, std::move(opened), task.scope, root, std::move(task.realPath), scratch,
               depth))
      return;
    while (depth > 0) {
      noteDiskReads(scratch);
      if (wanted()) handOver(root, frames, depth);
      Frame& parent = frames[depth - 1];
      if (parent.exhausted()) {
        parent.folder.reset();
        --depth;
        continue;
      }
      auto child = enterNext(parent, root);
      if (parent.exhausted()) {
        // Its last subfolder is open: the frame's place goes to the child.
        parent.folder.reset();
        --depth;
      }
      if (!visit(worker, std::move(child.opened), child.scope, root, std::move(child.realPath),
                 scratch, depth))
        return;
    }
  }

  // The next subfolder of `frame` to enter, opened, with its scope and (while
  // there are mount points below the root) its real path.
  struct Entered {
    OpenedFolder opened;
    WalkScopePtr scope;
    std::string realPath;
  };
  static Entered enterNext(Frame& frame, const RootFacts& root) {
    const size_t position = frame.subfolders[frame.next++];
    Entered child{openFolder(frame.folder.get(), frame.nameAt(position)),
                  std::move(frame.enter[position]),
                  {}};
    if (!root.mountsBelow.empty())
      child.realPath = childPath(frame.realPath, frame.entries[position].name);
    return child;
  }

  // Hands the shallowest subfolder not yet entered to the queue, opened.
  void handOver(RootFacts& root, std::vector<Frame>& frames, size_t depth) {
    for (size_t level = 0; level < depth; ++level) {
      Frame& frame = frames[level];
      // A frame's last subfolder stays: the frame would otherwise end with
      // nothing of its own to walk.
      if (frame.subfolders.size() - frame.next < 2) continue;
      auto child = enterNext(frame, root);
      if (!child.opened.folder) {
        if (isPermissionError(child.opened.error)) visitor_.refused(*child.scope);
        return;
      }
      share({std::move(child.opened.folder),
             {},
             std::move(child.realPath),
             &root,
             std::move(child.scope)});
      return;
    }
  }

  // Lists and counts one folder; its subfolders to enter make it the frame at
  // `depth`, which then grows by one. False when the walk is to stop.
  bool visit(size_t worker, OpenedFolder opened, const WalkScopePtr& scope, RootFacts& root,
             std::string realPath, WorkerScratch& scratch, size_t& depth) {
    if (stopped_.load(std::memory_order_relaxed)) return false;
    if (visitor_.stopped()) {
      stopped_ = true;
      return false;
    }
    if (!opened.folder) {
      if (isPermissionError(opened.error)) visitor_.refused(*scope);
      return true;
    }
    auto& folder = opened.folder;
    auto& frames = scratch.frames;
    if (frames.size() <= depth) frames.resize(depth + 1);
    Frame& frame = frames[depth];
    frame.clear();
    read(folder, *scope, root, scratch.listing, frame);
    visitor_.folder(worker, scope, frame.entries, frame.enter);

    // Every stat of the folder, then every count made of them: the kernel's
    // work and ours each run back to back, rather than each entry's counting
    // starting from caches the system call has just displaced.
    auto& stats = scratch.stats;  // grows only: its slots are written before they are read
    size_t statCount = 0;
    for (size_t i = 0; i < frame.entries.size(); ++i)
      if (!frame.entries[i].folder && !frame.statedAt(i)) {
        if (statCount == stats.size()) stats.emplace_back();
        auto& stat = stats[statCount++];
        stat.error = ::fstatat(folder.get(), frame.nameAt(i), &stat.info, AT_SYMLINK_NOFOLLOW) == 0
                         ? 0
                         : errno;
      }

    size_t nextStat = 0;
    for (size_t i = 0; i < frame.entries.size(); ++i) {
      const auto& entry = frame.entries[i];
      if (entry.folder) {
        if (!frame.enter[i]) continue;
        if (const auto* status = frame.statedAt(i); status && status->device != root.device)
          continue;  // another volume, told by a stat where the mount table couldn't
        if (!root.mountsBelow.empty() && root.mountsBelow.count(childPath(realPath, entry.name)))
          continue;  // another volume
        frame.subfolders.push_back(i);
        continue;
      }
      if (const auto* status = frame.statedAt(i)) {
        visitor_.file(worker, *scope, i, entry.name, *status);
        continue;
      }
      const auto& stat = stats[nextStat++];
      if (stat.error != 0) {
        if (isPermissionError(stat.error)) visitor_.refused(*scope);
        continue;  // vanished or unreadable: not counted
      }
      visitor_.file(worker, *scope, i, entry.name, statusOf(stat.info));
    }
    if (frame.subfolders.empty()) return true;
    frame.folder = std::move(folder);
    frame.realPath = std::move(realPath);
    ++depth;
    return true;
  }

  // Lists the folder whole, so the caller decides over all of it at once;
  // stats only the entries whose type the listing leaves open.
  void read(const UniqueFd& folder, WalkScope& scope, const RootFacts& root,
            std::vector<char>& buffer, Frame& frame) {
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
        frame.raw.push_back({frame.names.size(), name.size(), 0, entry->d_type});
        frame.names.append(name.data(), name.size() + 1);  // with its terminating NUL
      }
      if (root.listingsFill && buffer.size() - static_cast<size_t>(got) >= kLongestListingEntry)
        break;
    }
    frame.entries.reserve(frame.raw.size());
    frame.enter.resize(frame.raw.size());
    for (size_t i = 0; i < frame.raw.size(); ++i) {
      auto& raw = frame.raw[i];
      ListedEntry entry{std::string_view(frame.names).substr(raw.offset, raw.size),
                        raw.type == DT_DIR, raw.type == DT_REG};
      if (raw.type == DT_UNKNOWN || (raw.type == DT_DIR && !root.mountsKnown)) {
        struct stat info {};
        if (::fstatat(folder.get(), frame.nameAt(i), &info, AT_SYMLINK_NOFOLLOW) == 0) {
          frame.stated.push_back(statusOf(info));
          raw.stated = frame.stated.size();
          entry.folder = S_ISDIR(info.st_mode);
          entry.regular = S_ISREG(info.st_mode);
        } else if (isPermissionError(errno)) {
          visitor_.refused(scope);
        }
      }
      frame.entries.push_back(entry);
    }
  }

  const size_t walkers_;
  const size_t cpus_;
  TreeVisitor& visitor_;
  std::vector<RootFacts> facts_;  ///< reserved up front: tasks point into it

  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<FolderTask> queue_;
  std::vector<std::thread> threads_;
  // Written under the lock; read without it only to decide whether to hand a
  // folder over, where a stale value costs at most one late or extra task.
  std::atomic<size_t> running_{0};
  std::atomic<size_t> idle_{0};
  std::atomic<size_t> queued_{0};
  std::atomic<bool> stopped_{false};
  std::atomic<bool> waitedOnDisk_{false};
};

}  // namespace

bool walkTreesInParallel(const std::vector<WalkRoot>& roots, size_t walkers, TreeVisitor& visitor) {
  if (roots.empty()) return false;
  ParallelWalk walk(walkers, visitor);
  return walk.run(roots);
}

}  // namespace glimmet::platform
