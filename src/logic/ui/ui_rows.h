// What the interactive view shows, as values: one list of rows per tab, built
// from one survey and the last disk scan. Each row carries its line, its
// details, and what the view may do with it (stop its tree, mark it for
// cleaning) or why not, so the keys and the screen need nothing else.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/disk/disk_scan_result.h"
#include "core/process/process_identity.h"
#include "logic/survey/process_lists.h"
#include "logic/survey/survey.h"

namespace glimmet {

enum class UiTab { sessions, ghosts, servers, disk };
inline constexpr std::array<UiTab, 4> kUiTabs = {UiTab::sessions, UiTab::ghosts, UiTab::servers,
                                                 UiTab::disk};
/// "Sessions", "Ghosts", "Servers", "Disk".
std::string_view tabTitle(UiTab tab);

/// A process tree that `k` may stop, as the tree killer and the kill log take it.
struct UiStopTarget {
  ProcessIdentity identity;
  std::vector<std::uint16_t> ports;
  std::optional<std::string> repoPath;
  std::optional<std::string> worktree;
  std::optional<std::string> branch;
  std::optional<std::string> origin;  ///< a ghost's origin, for the kill log
  std::string target;                 ///< as kill names it: ":3000 :3001" or "PID 42"
  std::string what;                   ///< "node server.js"
  std::size_t others = 0;             ///< the other processes of its tree
};

struct UiRow {
  std::string key;   ///< stays the same across refreshes, so the selection follows it
  std::string text;  ///< the whole line, printable, columns laid out
  std::vector<std::string> details;
  std::optional<UiStopTarget> stop;   ///< set when `k` may stop it
  std::string cannotStop;             ///< why `k` won't, for a process row that can't be stopped
  std::optional<std::string> itemID;  ///< a disk item that space may mark
  std::string cannotMark;             ///< why space won't mark this item
};

struct UiTabRows {
  std::string columns;  ///< the column heading
  std::vector<UiRow> rows;
  std::string empty;  ///< the sentence shown when there are no rows
  std::string note;   ///< a line about the tab as a whole ("Scanned ...")
};

struct UiData {
  std::array<UiTabRows, 4> tabs;

  const UiTabRows& of(UiTab tab) const { return tabs[static_cast<std::size_t>(tab)]; }
  UiTabRows& of(UiTab tab) { return tabs[static_cast<std::size_t>(tab)]; }
};

struct UiSources {
  const Survey& survey;
  const ListRules& rules;
  const DiskScanResult* scan = nullptr;  ///< the last disk scan; none yet
  std::string home;
  std::chrono::system_clock::time_point now;
};

UiData buildUiData(const UiSources& sources);

}  // namespace glimmet
