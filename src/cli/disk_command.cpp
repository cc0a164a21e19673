// glimmet disk, disk scan and disk clean.
#include "cli/disk_command.h"

#include "app/disk_clean_run.h"
#include "app/disk_scan_run.h"

namespace glimmet::cli {

CommandSpec DiskScan::spec() {
  return {
      .name = "scan",
      .abstract = "Measure disk leftovers (read only).",
      .discussion =
          "Sizes and metadata only. Nothing is removed. With --home, only that folder is measured: "
          "no tool lookups, no Docker, nothing saved.",
      .parameters =
          {
              flag("--json", kJsonHelp, json),
              textOption("--home", "<home>",
                         "Scan this folder as if it were the home folder (for test fixtures).",
                         home, ValueKind::directory),
              flag("--include-protected-folders",
                   "Kept for scripts written for systems that guard Documents, Desktop and "
                   "Downloads. Changes nothing here: Linux doesn't guard them, so they are "
                   "always scanned.",
                   includeProtectedFolders),
          },
      .run =
          [this](CommandContext& context) {
            return runDiskScan(
                {.json = json, .home = home, .includeProtectedFolders = includeProtectedFolders},
                context);
          },
  };
}

CommandSpec DiskClean::spec() {
  return {
      .name = "clean",
      .abstract = "Clean items from the last disk scan.",
      .discussion =
          "Pass item ids from `glimmet disk scan --json` (like '~/Dev/web/.next#next-build') or "
          "their "
          "paths. Tool commands run first-party clean commands; everything else moves to the "
          "Trash. "
          "Asks you to type yes first.",
      .parameters =
          {
              repeatingArgument("items", "Item ids or paths from the last scan.", items),
              flag("--dry-run", "Show what would happen. Nothing runs or moves.", dryRun),
              textOption(
                  "--archive-to", "<archive-to>",
                  "Copy agent chats here, check the copy, then move the originals to the Trash.",
                  archiveTo, ValueKind::directory),
          },
      .run =
          [this](CommandContext& context) {
            return runDiskClean({.items = items, .dryRun = dryRun, .archiveTo = archiveTo},
                                context);
          },
  };
}

CommandSpec Disk::spec() {
  return {
      .name = "disk",
      .abstract = "See what your agents and dev tools left on disk.",
      .subcommands = {scan.spec(), clean.spec()},
  };
}

}  // namespace glimmet::cli
