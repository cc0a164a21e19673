// measure(): one physical walk, hard links counted once and kept apart when they
// lead outside the tree.
#include "core/disk/disk_walker.h"

#include <cerrno>

#include "core/disk/tree_tally.h"

namespace glimmet {
namespace {

// The root's own scope, and one per first component below it, shared by that
// whole subtree: where an entry lies below the root is all a count needs.
struct ChildScope : platform::WalkScope {
  explicit ChildScope(size_t firstComponent, bool isRoot = false)
      : child(firstComponent), root(isRoot) {}
  size_t child;
  bool root;
};

class MeasuringVisitor : public platform::TreeVisitor {
 public:
  MeasuringVisitor(TreeTally& tally, const CancelFlag& cancel) : tally_(tally), cancel_(cancel) {}

  void folder(size_t worker, const platform::WalkScopePtr& scope,
              std::span<const platform::ListedEntry> entries,
              std::span<platform::WalkScopePtr> enter) override {
    const auto& here = static_cast<const ChildScope&>(*scope);
    if (here.root) tally_.nameChildren(entries);
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].name == ".git") tally_.sawGit(worker);
      if (entries[i].folder) enter[i] = here.root ? std::make_shared<ChildScope>(i) : scope;
    }
  }
  void file(size_t worker, platform::WalkScope& scope, size_t position, std::string_view,
            const platform::FileStatus& status) override {
    const auto& here = static_cast<const ChildScope&>(scope);
    tally_.count(worker, here.root ? position : here.child, status);
  }
  void refused(platform::WalkScope&) override { tally_.refuse(); }
  bool stopped() override { return cancel_.isCancelled(); }

 private:
  TreeTally& tally_;
  const CancelFlag& cancel_;
};

}  // namespace

Measurement measure(const std::filesystem::path& path, const CancelFlag& cancel, size_t walkers) {
  int error = 0;
  const auto root = platform::lstatPath(path, error);
  if (!root) {
    Measurement measurement;
    measurement.noAccess = error == EACCES || error == EPERM;
    return measurement;
  }
  if (root->kind != platform::FileStatus::Kind::directory)
    return measureEntry(*root, path.filename() == ".git");
  TreeTally tally(walkers);
  MeasuringVisitor visitor(tally, cancel);
  const bool stopped = platform::walkTreesInParallel(
      {{path.string(), std::make_shared<ChildScope>(0, true)}}, walkers, visitor);
  return tally.finish(stopped);
}

}  // namespace glimmet
