// runUi: the loop that joins the screen, the view's state machine and the
// system. The screen is redrawn after every key; the system is surveyed once
// every 2 seconds (and once right after a stop or a clean), never per key, so
// an idle view costs one survey per refresh.
#include "app/ui_run.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <sstream>

#include "app/cli_survey.h"
#include "app/disk_clean_run.h"
#include "app/file_stamp.h"
#include "app/ui_actions.h"
#include "core/cleanup/cleanup_dry_run.h"
#include "core/disk/disk_scan_store.h"
#include "core/settings/shared_files.h"
#include "logic/disk/clean_progress.h"
#include "logic/ui/ui_render.h"
#include "platform/file_system.h"
#include "platform/files.h"
#include "platform/signals.h"
#include "platform/system_error.h"
#include "platform/terminal_screen.h"

namespace glimmet {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRefresh = std::chrono::seconds(2);
// While a scan runs its output is read this often, so it never waits on us.
constexpr auto kScanPoll = std::chrono::milliseconds(250);

constexpr const char* kNeedsTerminal =
    "glimmet ui needs a terminal. Without one, use glimmet status, glimmet agents, glimmet "
    "ghosts, glimmet ls, glimmet kill, glimmet disk scan and glimmet disk clean.";

platform::ScreenStyle screenStyle(UiStyle style) {
  switch (style) {
    case UiStyle::plain:
      return platform::ScreenStyle::plain;
    case UiStyle::title:
      return platform::ScreenStyle::title;
    case UiStyle::tab:
      return platform::ScreenStyle::tab;
    case UiStyle::activeTab:
      return platform::ScreenStyle::activeTab;
    case UiStyle::heading:
      return platform::ScreenStyle::heading;
    case UiStyle::selected:
      return platform::ScreenStyle::selected;
    case UiStyle::dim:
      return platform::ScreenStyle::dim;
    case UiStyle::warning:
      return platform::ScreenStyle::warning;
    case UiStyle::prompt:
      return platform::ScreenStyle::prompt;
  }
  return platform::ScreenStyle::plain;
}

std::vector<platform::ScreenRow> screenRows(const std::vector<UiLine>& lines) {
  std::vector<platform::ScreenRow> rows;
  rows.reserve(lines.size());
  for (const auto& line : lines) {
    platform::ScreenRow row;
    for (const auto& span : line.spans) row.push_back({span.text, screenStyle(span.style)});
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<UiKey> uiKey(const platform::ScreenKey& key) {
  using In = platform::ScreenKey::Kind;
  using Out = UiKey::Kind;
  switch (key.kind) {
    case In::none:
    case In::resize:
      return std::nullopt;
    case In::character:
      return UiKey::of(key.character);
    case In::up:
      return UiKey::of(Out::up);
    case In::down:
      return UiKey::of(Out::down);
    case In::left:
      return UiKey::of(Out::left);
    case In::right:
      return UiKey::of(Out::right);
    case In::pageUp:
      return UiKey::of(Out::pageUp);
    case In::pageDown:
      return UiKey::of(Out::pageDown);
    case In::home:
      return UiKey::of(Out::home);
    case In::end:
      return UiKey::of(Out::end);
    case In::enter:
      return UiKey::of(Out::enter);
    case In::backspace:
      return UiKey::of(Out::backspace);
    case In::escape:
      return UiKey::of(Out::escape);
    case In::tab:
      return UiKey::of(Out::tab);
    case In::backTab:
      return UiKey::of(Out::backTab);
  }
  return std::nullopt;
}

// NO_COLOR set to anything but the empty text turns colour off.
bool wantsColour(const Environment& environment) {
  const auto value = environment.get("NO_COLOR");
  return !value || value->empty();
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : std::string(separator)) + part;
  return text;
}

class UiSession {
 public:
  UiSession(RunContext& context, platform::TerminalScreen& screen)
      : context_(context),
        screen_(screen),
        inputs_(CommandInputs::load(context.environment, context.executable)) {
    inputs_.warnings = &warnings_;
  }

  ExitStatus run() {
    refresh();
    while (true) {
      draw();
      const auto key = screen_.readKey(waitFor());
      if (const auto ui = uiKey(key)) {
        const auto action = handleKey(state_, *ui, data_, listRows(screen_.size().height));
        if (action.kind == UiAction::Kind::quit) return ExitStatus::ok;
        carryOut(action);
      }
      pollScan();
      if (Clock::now() >= nextRefresh_) refresh();
    }
  }

 private:
  std::chrono::milliseconds waitFor() const {
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextRefresh_ - Clock::now());
    if (scan_) wait = std::min<std::chrono::milliseconds>(wait, kScanPoll);
    return std::max(wait, std::chrono::milliseconds(0));
  }

  void draw() {
    const auto size = screen_.size();
    screen_.draw(screenRows(renderUi(state_, data_, size.width, size.height)));
  }

  // Says something at once, before work that takes a moment.
  void say(std::string message) {
    state_.message = std::move(message);
    draw();
  }

  void refresh() {
    survey_ = std::make_unique<CLISurvey>(CLISurvey::gather(inputs_));
    loadScanIfChanged();
    rebuild();
    nextRefresh_ = Clock::now() + kRefresh;
  }

  void rebuild() {
    const auto rules = inputs_.rules();
    const UiSources sources{.survey = *survey_,
                            .rules = rules,
                            .scan = scan_result_ ? &*scan_result_ : nullptr,
                            .home = inputs_.home.string(),
                            .now = survey_->snapshot.takenAt()};
    data_ = buildUiData(sources);
    // Items cleaned since the scan stay in the cache until the next scan.
    std::erase_if(data_.of(UiTab::disk).rows,
                  [&](const UiRow& row) { return row.itemID && cleaned_.contains(*row.itemID); });
    keepMarksIn(state_, data_);
    if (!warnings_.str().empty()) {
      state_.message = warnings_.str();
      std::erase(state_.message, '\n');
      warnings_.str({});
    }
  }

  // The cache is read again only when the file changed: it can be megabytes.
  void loadScanIfChanged() {
    const auto path = inputs_.sharedFolder / shared_files::diskCache;
    const auto stamp = FileStamp::of(platform::linkStatus(path));
    if (stamp == scanStamp_ && scanLoaded_) return;
    scanStamp_ = stamp;
    scanLoaded_ = true;
    scan_result_ = DiskCache::load(inputs_.sharedFolder).lastResult;
    cleaned_.clear();
  }

  void carryOut(const UiAction& action) {
    switch (action.kind) {
      case UiAction::Kind::stop:
        say("Stopping " + action.stop->target + "...");
        state_.message = stopTree(*action.stop, inputs_);
        refresh();
        return;
      case UiAction::Kind::planClean:
        planClean(action.items);
        return;
      case UiAction::Kind::clean:
        clean();
        return;
      case UiAction::Kind::rescan:
        startScan();
        return;
      case UiAction::Kind::none:
      case UiAction::Kind::quit:
        return;
    }
  }

  void planClean(const std::vector<std::string>& items) {
    say("Checking the marked items against the disk and what runs now...");
    std::stringstream said;
    RunContext quiet{Output(said), warnings_, context_.input, context_.environment,
                     context_.executable};
    try {
      pending_ = std::make_unique<DiskCleanup>(planDiskCleanup({.items = items}, quiet));
    } catch (const CommandFailure& failure) {
      state_.message = failure.what();
      return;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(said, line);) lines.push_back(line);
    for (const auto& line : CleanupDryRun::confirmationLines(pending_->plan)) lines.push_back(line);
    state_.message.clear();
    askToClean(state_, std::move(lines), pending_->plan.steps.size(), items);
  }

  void clean() {
    if (!pending_) return;
    const auto cleanup = std::move(pending_);
    std::size_t number = 0;
    const auto count = cleanup->plan.steps.size();
    CleanupEvents events;
    events.started = [&](const CleanupStep& step) {
      say(stepStartLine(step, ++number, count, cleanup->plan.home));
    };
    std::vector<std::string> outcomes;
    events.finished = [&](const CleanupStep& step, const StepOutcome& outcome) {
      outcomes.push_back(step.item.label + ": " + outcome.text());
      if (outcome.kind == StepOutcome::Kind::trashed ||
          outcome.kind == StepOutcome::Kind::archived || outcome.kind == StepOutcome::Kind::done)
        cleaned_.insert(step.item.id);
    };
    // Ctrl-C while cleaning stops the step in progress and starts no other,
    // as in disk clean; the view stays open.
    const platform::InterruptGuard interrupt;
    // A tool that asks its own question would draw over the view, so such a
    // step is left for a terminal of its own, with its command to copy.
    carryOutCleanup(*cleanup, context_.environment, events, interrupt.flag(),
                    /*atTerminal=*/false);
    state_.message = joined(outcomes, "; ");
    if (interrupt.flag().load()) state_.message += ". Stopped; the rest was left as it was.";
    refresh();
  }

  void startScan() {
    if (scan_) {
      state_.message = "A disk scan is already running.";
      return;
    }
    try {
      scan_ = std::make_unique<BackgroundDiskScan>(context_.executable, inputs_.home,
                                                   context_.environment);
      state_.message = "Scanning your home folder; the Disk tab updates when it's done.";
    } catch (const platform::SystemError& error) {
      state_.message = std::string("Couldn't start a disk scan: ") + error.what();
    }
  }

  void pollScan() {
    if (!scan_) return;
    const auto ended = scan_->poll();
    if (!ended) return;
    scan_.reset();
    state_.message = ended->empty() ? "Disk scan done." : *ended;
    scanLoaded_ = false;
    refresh();
  }

  RunContext& context_;
  platform::TerminalScreen& screen_;
  CommandInputs inputs_;
  std::ostringstream warnings_;
  UiState state_;
  UiData data_;
  std::unique_ptr<CLISurvey> survey_;
  std::optional<DiskScanResult> scan_result_;
  std::optional<FileStamp> scanStamp_;
  bool scanLoaded_ = false;
  std::set<std::string> cleaned_;  ///< ids of the items cleaned from here since the scan
  std::unique_ptr<DiskCleanup> pending_;
  std::unique_ptr<BackgroundDiskScan> scan_;
  Clock::time_point nextRefresh_;
};

}  // namespace

ExitStatus runUi(const UiRequest&, RunContext& context) {
  if (!platform::isTerminal(0) || !platform::isTerminal(1))
    throw CommandFailure(kNeedsTerminal, ExitStatus::cannotStart);
  std::unique_ptr<platform::TerminalScreen> screen;
  try {
    screen = platform::openTerminalScreen(wantsColour(context.environment));
  } catch (const platform::SystemError&) {
    throw CommandFailure(kNeedsTerminal, ExitStatus::cannotStart);
  }
  UiSession session(context, *screen);
  return session.run();
}

}  // namespace glimmet
