// The terminal screen over ncursesw. The terminal is handed back by endwin in
// three ways: when the screen is destroyed, and from the signal handlers
// below, which then raise the signal again with its default action so that the
// program still ends the way the signal says (the shell sees an interrupt or a
// crash, not a clean exit). endwin isn't async-signal-safe in general; the
// process is about to end either way, and a terminal left in raw mode on the
// alternate screen is the worse outcome.
#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <langinfo.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>

#include "platform/system_error.h"
#include "platform/terminal_screen.h"

namespace glimmet::platform {
namespace {

constexpr int kRestoredSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV,
                                    SIGBUS, SIGFPE,  SIGILL, SIGABRT, SIGTRAP};
constexpr std::size_t kSignalCount = std::size(kRestoredSignals);

bool isTermination(int signal) {
  return signal == SIGINT || signal == SIGTERM || signal == SIGHUP || signal == SIGQUIT;
}

// A signal handler reaches only process-wide state: whether a screen is open.
std::atomic<bool> screenOpen{false};

extern "C" void restoreTerminalAndReraise(int signal) {
  if (screenOpen.exchange(false)) endwin();
  // SA_RESETHAND put the default action back; it runs once this returns.
  ::raise(signal);
}

// Colour pairs, one per style that has a colour.
enum Pair : short {
  titlePair = 1,
  activeTabPair,
  headingPair,
  selectedPair,
  warningPair,
  promptPair
};

attr_t attributeOf(ScreenStyle style, bool colour) {
  switch (style) {
    case ScreenStyle::plain:
    case ScreenStyle::tab:
      return A_NORMAL;
    case ScreenStyle::title:
      return A_BOLD | (colour ? COLOR_PAIR(titlePair) : A_NORMAL);
    case ScreenStyle::activeTab:
      return colour ? COLOR_PAIR(activeTabPair) | A_BOLD : A_REVERSE | A_BOLD;
    case ScreenStyle::heading:
      return A_BOLD | (colour ? COLOR_PAIR(headingPair) : A_NORMAL);
    case ScreenStyle::selected:
      return colour ? COLOR_PAIR(selectedPair) : A_REVERSE;
    case ScreenStyle::dim:
      return A_DIM;
    case ScreenStyle::warning:
      return A_BOLD | (colour ? COLOR_PAIR(warningPair) : A_NORMAL);
    case ScreenStyle::prompt:
      return A_BOLD | (colour ? COLOR_PAIR(promptPair) : A_REVERSE);
  }
  return A_NORMAL;
}

ScreenKey keyOfCode(wint_t code) {
  using Kind = ScreenKey::Kind;
  switch (code) {
    case KEY_RESIZE:
      return {Kind::resize, 0};
    case KEY_UP:
      return {Kind::up, 0};
    case KEY_DOWN:
      return {Kind::down, 0};
    case KEY_LEFT:
      return {Kind::left, 0};
    case KEY_RIGHT:
      return {Kind::right, 0};
    case KEY_PPAGE:
      return {Kind::pageUp, 0};
    case KEY_NPAGE:
      return {Kind::pageDown, 0};
    case KEY_HOME:
      return {Kind::home, 0};
    case KEY_END:
      return {Kind::end, 0};
    case KEY_ENTER:
      return {Kind::enter, 0};
    case KEY_BACKSPACE:
      return {Kind::backspace, 0};
    case KEY_BTAB:
      return {Kind::backTab, 0};
    default:
      return {Kind::none, 0};
  }
}

ScreenKey keyOfCharacter(wint_t character) {
  using Kind = ScreenKey::Kind;
  switch (character) {
    case L'\n':
    case L'\r':
      return {Kind::enter, 0};
    case 27:
      return {Kind::escape, 0};
    case L'\t':
      return {Kind::tab, 0};
    case 8:
    case 127:
      return {Kind::backspace, 0};
    default:
      return {Kind::character, static_cast<char32_t>(character)};
  }
}

class NcursesScreen final : public TerminalScreen {
 public:
  explicit NcursesScreen(bool colour) {
    useUTF8();
    installHandlers();
    screen_ = newterm(nullptr, stdout, stdin);
    if (screen_ == nullptr) {
      restoreHandlers();
      restoreLocale();
      throw SystemError("Couldn't use this terminal (is TERM set?)", ENOTTY);
    }
    screenOpen = true;
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    colour_ = colour && has_colors();
    if (colour_) {
      start_color();
      use_default_colors();
      init_pair(titlePair, COLOR_CYAN, -1);
      init_pair(activeTabPair, COLOR_BLACK, COLOR_CYAN);
      init_pair(headingPair, COLOR_BLUE, -1);
      init_pair(selectedPair, COLOR_BLACK, COLOR_WHITE);
      init_pair(warningPair, COLOR_YELLOW, -1);
      init_pair(promptPair, COLOR_BLACK, COLOR_YELLOW);
    }
  }

  ~NcursesScreen() override {
    if (screenOpen.exchange(false)) endwin();
    delscreen(screen_);
    restoreHandlers();
    restoreLocale();
  }

  NcursesScreen(const NcursesScreen&) = delete;
  NcursesScreen& operator=(const NcursesScreen&) = delete;

  ScreenSize size() const override {
    int height = 0;
    int width = 0;
    getmaxyx(stdscr, height, width);
    return {static_cast<std::size_t>(std::max(width, 0)),
            static_cast<std::size_t>(std::max(height, 0))};
  }

  void draw(const std::vector<ScreenRow>& rows) override {
    werase(stdscr);
    const auto height = size().height;
    for (std::size_t y = 0; y < rows.size() && y < height; ++y) {
      wmove(stdscr, static_cast<int>(y), 0);
      for (const auto& span : rows[y]) {
        wattrset(stdscr, static_cast<int>(attributeOf(span.style, colour_)));
        // The last cell of the last line makes the cursor wrap, which curses
        // reports as an error; the text is on the screen all the same.
        waddnstr(stdscr, span.text.c_str(), static_cast<int>(span.text.size()));
      }
    }
    wattrset(stdscr, A_NORMAL);
    wnoutrefresh(stdscr);
    doupdate();
  }

  ScreenKey readKey(std::chrono::milliseconds timeout) override {
    wtimeout(stdscr, static_cast<int>(std::max<long long>(0, timeout.count())));
    wint_t key = 0;
    const int kind = wget_wch(stdscr, &key);
    if (kind == KEY_CODE_YES) return keyOfCode(key);
    if (kind == OK) return keyOfCharacter(key);
    return {};
  }

 private:
  // Characters beyond ASCII need a UTF-8 character type. Only LC_CTYPE is
  // changed, so that numbers keep their decimal point.
  void useUTF8() {
    if (const char* current = std::setlocale(LC_CTYPE, nullptr)) previousLocale_ = current;
    if (std::setlocale(LC_CTYPE, "") == nullptr || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
      std::setlocale(LC_CTYPE, "C.UTF-8");
  }
  void restoreLocale() { std::setlocale(LC_CTYPE, previousLocale_.c_str()); }

  void installHandlers() {
    struct sigaction action {};
    action.sa_handler = restoreTerminalAndReraise;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    for (std::size_t i = 0; i < kSignalCount; ++i) {
      const int signal = kRestoredSignals[i];
      ::sigaction(signal, nullptr, &previous_[i]);
      // An interrupt someone chose to ignore (nohup, a script's trap '') stays
      // ignored; a crash signal is always caught.
      if (previous_[i].sa_handler == SIG_IGN && isTermination(signal)) continue;
      ::sigaction(signal, &action, nullptr);
    }
  }
  void restoreHandlers() {
    for (std::size_t i = 0; i < kSignalCount; ++i)
      ::sigaction(kRestoredSignals[i], &previous_[i], nullptr);
  }

  SCREEN* screen_ = nullptr;
  bool colour_ = false;
  std::string previousLocale_ = "C";
  struct sigaction previous_[kSignalCount] {};
};

}  // namespace

std::unique_ptr<TerminalScreen> openTerminalScreen(bool colour) {
  if (::isatty(STDIN_FILENO) != 1 || ::isatty(STDOUT_FILENO) != 1)
    throw SystemError("Standard input and output aren't a terminal", ENOTTY);
  return std::make_unique<NcursesScreen>(colour);
}

}  // namespace glimmet::platform
