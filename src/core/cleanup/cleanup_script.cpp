#include "core/cleanup/cleanup_script.h"

#include <ctime>

#include "core/disk/shell_words.h"
#include "core/output/byte_format.h"
#include "core/util/home_path.h"

namespace glimmet {
namespace {

std::tm localTime(SystemTime now) {
  const auto seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  return local;
}

std::string sizeOrZero(uint64_t bytes) {
  return bytes == 0 ? "0 KB" : fileStyleBytes(bytes);
}

std::string oneLine(std::string text) {
  for (auto& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

}  // namespace

std::string CleanupScript::madeAt(SystemTime now) {
  // Australian English month abbreviations, September being "Sept".
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar",  "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sept", "Oct", "Nov", "Dec"};
  const auto local = localTime(now);
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M", &local);
  char zone[64];
  std::strftime(zone, sizeof zone, "%Z", &local);
  return std::to_string(local.tm_mday) + " " + kMonths[local.tm_mon] + " " +
         std::to_string(local.tm_year + 1900) + " " + clock + " " + zone;
}

std::string CleanupScript::fileName(SystemTime now) {
  const auto local = localTime(now);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
  return std::string("cleanup-") + stamp + ".command";
}

std::string CleanupScript::render(const CleanupPlan& plan, SystemTime now) {
  std::size_t commands = 0;
  uint64_t total = 0;
  bool anyTrash = false;
  for (const auto& step : plan.steps) {
    if (step.argv) ++commands;
    if (!step.argv) anyTrash = true;
    total += step.item.bytes;
  }
  const auto summary = "Glimmet will run " + std::to_string(commands) + " step" +
                       (commands == 1 ? "" : "s") + " and free about " + sizeOrZero(total) + ".";

  std::string script;
  const auto line = [&](const std::string& text) { script += text + "\n"; };
  line("#!/bin/zsh");
  line("# Glimmet cleanup script, made " + madeAt(now));
  line("# Review every line. Nothing runs until you press Return.");
  line("set -u");
  line("print " + quoteShellWord(summary));
  line(R"(read -r "?Press Return to run, Ctrl-C to stop. ")");
  line(
      R"zsh(step() { print "\n== $1"; shift; "$@" || print "  (this step failed, continuing)"; })zsh");
  for (const auto& step : plan.steps)
    if (step.argv)
      line("step " + quoteShellWord(step.item.label + " (" + sizeOrZero(step.item.bytes) + ")") +
           " " + joinShellWords(*step.argv));
  if (anyTrash) {
    line("# Moves to the Trash are done from Glimmet, so they can be put back:");
    for (const auto& step : plan.steps)
      if (!step.argv)
        line("#   " + oneLine(tildePath(step.item.path, plan.home)) + " (" +
             sizeOrZero(step.item.bytes) + ")");
  }
  if (!plan.copyOnly.empty()) {
    line(
        "# Copy these into your own terminal (shell functions and choices Glimmet leaves to "
        "you):");
    for (const auto& copy : plan.copyOnly) line("#   " + oneLine(copy.command));
  }
  line(R"(print "\nDone. Glimmet re-measures on the next scan.")");
  return script;
}

}  // namespace glimmet
