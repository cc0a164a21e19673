// protected.json edits.
#include "core/ghosts/protection_store.h"

#include <algorithm>
#include <filesystem>

#include "core/settings/shared_files.h"

namespace glimmet {
namespace {

using Rule = ProtectedList::UserRule;

// A file we can't read as rules is moved aside before the first save replaces
// it, so that a hand edit gone wrong loses nothing.
void keepUnreadableFile(const JSONStore& store) {
  const auto path = store.directory() / shared_files::protectedRules;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return;
  const auto json = store.loadJson(shared_files::protectedRules);
  if (json && ProtectedList::fromJson(*json)) return;
  std::filesystem::rename(path, path.string() + ".unreadable", error);
}

void save(const JSONStore& store, const ProtectedList& list) {
  keepUnreadableFile(store);
  store.save(list, shared_files::protectedRules);
}

}  // namespace

ProtectedList loadProtectedList(const JSONStore& store) {
  return store.load<ProtectedList>(shared_files::protectedRules).value_or(ProtectedList{});
}

bool addProtectedGlob(const JSONStore& store, const std::string& pattern) {
  auto list = loadProtectedList(store);
  const Rule rule{Rule::Kind::commandGlob, pattern};
  if (std::find(list.userRules.begin(), list.userRules.end(), rule) != list.userRules.end())
    return false;
  list.userRules.push_back(rule);
  save(store, list);
  return true;
}

bool removeProtectedGlob(const JSONStore& store, const std::string& pattern) {
  auto list = loadProtectedList(store);
  const auto removed = std::erase(list.userRules, Rule{Rule::Kind::commandGlob, pattern});
  if (removed == 0) return false;
  save(store, list);
  return true;
}

}  // namespace glimmet
