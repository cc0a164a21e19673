// Where a process came from. By the time a process is a ghost its agent has
// usually exited and it was re-parented, so the live table no longer says who
// started it. The companion (the application, or `glimmet companion run` where
// there is none) records, in ancestry.json, the chain of ancestors each process
// had while it lived under an agent; every other command reads that file, adds
// what the current snapshot shows, and never writes it.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/ghosts/match_cache.h"
#include "core/process/process_identity.h"
#include "core/process/process_snapshot.h"

namespace glimmet {

struct AncestorEntry {
  pid_t pid = 0;
  std::uint64_t startTime = 0;
  std::string name;
  std::optional<AgentRootMatch> root;  ///< set when this ancestor was an agent root

  ProcessIdentity identity() const { return {pid, startTime}; }
  bool operator==(const AncestorEntry&) const = default;
};

/// Where a ghost came from.
struct Origin {
  enum class Kind { exact, likely, unknownAgent, orphanedDevServer };
  Kind kind = Kind::unknownAgent;
  std::string agent;             ///< exact and likely only
  ProcessIdentity rootIdentity;  ///< exact only: the agent root in the recorded chain
  std::string basis;             ///< likely only: "environment" or "command line"

  static Origin exact(std::string agent, ProcessIdentity root) {
    return {Kind::exact, std::move(agent), root, {}};
  }
  static Origin likely(std::string agent, std::string basis) {
    return {Kind::likely, std::move(agent), {}, std::move(basis)};
  }
  static Origin of(Kind kind) { return {kind, {}, {}, {}}; }

  /// "Claude Code", "likely Codex", "Unknown agent", "Orphaned dev server (terminal closed)".
  std::string fullLabel() const;
  /// "Agent" for every agent origin.
  std::string shortLabel() const;
  /// "exact", "likely", "unknown" or "orphanedDevServer".
  std::string_view keyword() const;
  bool operator==(const Origin&) const = default;
};

class AncestryRecorder {
 public:
  struct Record {
    pid_t pid = 0;
    std::uint64_t startTime = 0;
    double recordedAt = 0;             ///< seconds since 2001-01-01, as the application writes it
    std::vector<AncestorEntry> chain;  ///< from the parent upwards

    ProcessIdentity identity() const { return {pid, startTime}; }
    bool operator==(const Record&) const = default;
  };

  AncestryRecorder() = default;

  /// The records of an ancestry.json text; a file that doesn't decode as a whole is
  /// no records. Of two records with one identity the later wins.
  static AncestryRecorder fromJson(std::string_view bytes);
  /// `folder`/ancestry.json, or no records when it is missing or unreadable.
  static AncestryRecorder load(const std::filesystem::path& folder);
  /// The text of ancestry.json for these records, compact (the file is rewritten
  /// whenever a record is added), in no particular order.
  std::string toJson() const;

  /// Records the chain of every process of `snapshot` not yet seen that lives
  /// under an agent root now. A chain once recorded is never replaced.
  void observe(const ProcessSnapshot& snapshot, std::chrono::system_clock::time_point now,
               MatchCache& cache);

  /// Drops the records of processes that are no longer in `snapshot`: a watch that
  /// observes for hours keeps only what may still be left behind.
  void prune(const ProcessSnapshot& snapshot);

  const Record* recordFor(const ProcessIdentity& identity) const;
  std::size_t size() const { return records_.size(); }
  bool isDirty() const { return isDirty_; }

 private:
  std::unordered_map<ProcessIdentity, Record> records_;
  std::unordered_set<ProcessIdentity> seen_;
  bool isDirty_ = false;
};

}  // namespace glimmet
