#include "logic/ghosts/ghosts_document.h"

#include <cmath>

#include "core/output/text.h"
#include "core/util/secret_masker.h"

namespace glimmet {
namespace {

nlohmann::json ghostJson(const Ghost& ghost, std::chrono::system_clock::time_point now) {
  auto members = nlohmann::json::array();
  for (const auto& member : ghost.members) members.push_back(member.pid);
  nlohmann::json item = {
      {"pid", ghost.root.pid()},
      {"label", ghost.label},
      {"command", SecretMasker::maskedCommand(ghost.root.argv, ghost.root.name)},
      {"origin", ghost.origin.fullLabel()},
      {"originKind", ghost.origin.keyword()},
      {"ageSeconds", static_cast<std::int64_t>(std::floor(std::max(0.0, ghost.root.age(now))))},
      {"memoryBytes", ghost.footprint},
      {"ports", ghost.ports},
      {"members", members},
  };
  if (ghost.origin.kind == Origin::Kind::exact || ghost.origin.kind == Origin::Kind::likely)
    item["agent"] = ghost.origin.agent;
  if (ghost.origin.kind == Origin::Kind::exact) item["sessionPid"] = ghost.origin.rootIdentity.pid;
  if (ghost.repo) item["repo"] = *ghost.repo;
  if (ghost.worktree) item["worktree"] = *ghost.worktree;
  if (ghost.branch) item["branch"] = *ghost.branch;
  return item;
}

}  // namespace

nlohmann::json GhostsDocument::toJson() const {
  auto items = nlohmann::json::array();
  for (const auto& ghost : ghosts) items.push_back(ghostJson(ghost, now));
  return {{"schema", 1}, {"ghosts", items}};
}

std::vector<std::string> GhostsDocument::lines() const {
  if (ghosts.empty()) return {kNoGhosts};
  std::vector<std::string> lines;
  for (const auto& ghost : ghosts) {
    std::string line = padCut(std::to_string(ghost.root.pid()), 7) + " " +
                       printable(displayCommand(ghost.root)) + "  " +
                       printable(ghost.origin.fullLabel());
    // A linked worktree is named as ls names it: the worktree and its branch.
    if (ghost.worktree) {
      line += "  " + printable(*ghost.worktree);
      if (ghost.branch) line += " (" + printable(*ghost.branch) + ")";
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace glimmet
