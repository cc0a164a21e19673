// protected.json edits.
#include "core/ghosts/protection_store.h"

#include <algorithm>

#include "core/error.h"
#include "core/settings/shared_files.h"
#include "core/util/utf8.h"
#include "platform/files.h"

namespace glimmet {
namespace {

using Rule = ProtectedList::UserRule;

// A file we can't read as rules is moved aside before the first save replaces
// it, so that a hand edit gone wrong loses nothing.
void keepUnreadableFile(const JSONStore& store, const platform::SharedFolder& folder) {
  if (!folder.contains(shared_files::protectedRules)) return;
  const auto json = store.loadJson(shared_files::protectedRules);
  if (json && ProtectedList::fromJson(*json)) return;
  try {
    folder.rename(shared_files::protectedRules,
                  std::string(shared_files::protectedRules) + ".unreadable");
  } catch (const platform::SystemError&) {
    // The save below replaces it all the same.
  }
}

void save(const JSONStore& store, const platform::SharedFolder& folder, const ProtectedList& list) {
  keepUnreadableFile(store, folder);
  store.save(list, shared_files::protectedRules);
}

}  // namespace

void validateProtectedGlob(const std::string& pattern) {
  if (pattern.find_first_not_of(" \t") == std::string::npos)
    throw UsageError("Give a glob to protect, like '*next dev*'.");
  if (pattern.size() > kMaxProtectedGlobBytes)
    throw UsageError("That glob is too long: at most " + std::to_string(kMaxProtectedGlobBytes) +
                     " bytes.");
  // Stored text is UTF-8; a glob that isn't would be saved changed and could then
  // never be removed by the same words.
  if (!isWellFormedUtf8(pattern)) throw UsageError("A glob must be UTF-8 text.");
}

ProtectedList loadProtectedList(const JSONStore& store) {
  return store.load<ProtectedList>(shared_files::protectedRules).value_or(ProtectedList{});
}

bool addProtectedGlob(const JSONStore& store, const std::string& pattern) {
  validateProtectedGlob(pattern);
  const auto folder = platform::SharedFolder::create(store.directory());
  const auto lock = folder.lock(shared_files::protectedRulesLock, shared_files::commandLockWait);
  auto list = loadProtectedList(store);
  const Rule rule{Rule::Kind::commandGlob, pattern};
  if (std::find(list.userRules.begin(), list.userRules.end(), rule) != list.userRules.end())
    return false;
  list.userRules.push_back(rule);
  save(store, folder, list);
  return true;
}

bool removeProtectedGlob(const JSONStore& store, const std::string& pattern) {
  // Without the folder there is no rule to remove, and nothing is created.
  const auto folder = platform::SharedFolder::open(store.directory());
  if (!folder) return false;
  const auto lock = folder->lock(shared_files::protectedRulesLock, shared_files::commandLockWait);
  auto list = loadProtectedList(store);
  const auto removed = std::erase(list.userRules, Rule{Rule::Kind::commandGlob, pattern});
  if (removed == 0) return false;
  save(store, *folder, list);
  return true;
}

}  // namespace glimmet
