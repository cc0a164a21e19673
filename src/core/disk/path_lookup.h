// Asking a tool where its cache is, for rules whose folder the tool decides
// (pnpm's store, Go's module cache, uv's and npm's caches): the program the
// tool locator finds runs its own query, never through a shell, and the
// first line it prints must be an absolute path.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/disk/disk_vocabulary.h"
#include "core/tools/process_launcher.h"
#include "core/tools/tool_locator.h"
#include "platform/environment.h"

namespace glimmet {

struct ToolQuery {
  std::string program;
  std::vector<std::string> arguments;
  std::string subfolder;  ///< appended to what the tool prints ("_cacache" for npm)
  /// Signs that the tool has been used here: folders or files (path templates,
  /// as in the rule file) and environment variables that place its cache. A
  /// query runs only when one is there, since asking may make the tool create
  /// its own folders (npm makes ~/.npm for its logs, go its telemetry folder),
  /// and a scan is read only. Without any, the tool has no cache to report.
  std::vector<std::string> traces;
  std::vector<std::string> variables;
};

/// The program and arguments a lookup runs.
ToolQuery toolQuery(PathLookup lookup);

/// The folder in a query's output: its first line, without surrounding white
/// space, when that is an absolute path; a query that printed a warning first
/// or nothing at all has no answer.
std::optional<std::string> folderFromQueryOutput(const std::vector<std::string>& lines);

class PathLookupRunner {
 public:
  /// Long enough for a tool that reads its configuration on a cold disk;
  /// short enough that a stuck one costs little of a scan.
  static constexpr std::chrono::seconds kQueryTimeLimit{5};

  PathLookupRunner(const ToolLocator& locator, const POSIXLauncher& launcher,
                   Environment environment, std::string workingFolder)
      : locator_(locator),
        launcher_(launcher),
        environment_(std::move(environment)),
        workingFolder_(std::move(workingFolder)) {}

  /// The programs that lookups run, to ask the locator about in one go.
  static std::vector<std::string> programs();

  /// Whether the tool leaves a trace here (its `traces` or `variables`), so
  /// that asking it can't be what creates its folders.
  bool shouldAsk(PathLookup lookup) const;

  /// The folder the tool reports (with the lookup's subfolder), or nothing when
  /// the tool isn't found, fails, runs past its time limit or prints no path.
  std::optional<std::string> lookup(PathLookup lookup) const;

 private:
  const ToolLocator& locator_;
  const POSIXLauncher& launcher_;
  Environment environment_;
  std::string workingFolder_;
};

}  // namespace glimmet
