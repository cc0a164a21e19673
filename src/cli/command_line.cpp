// CLI11 adapter for the command tree.
#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <map>

namespace glimmet::cli {
namespace {

// A word where a command name belongs names no command; parse() turns it into
// its usage outcome.
struct MistypedCommand {
  std::string message;
  const CommandSpec* group;
};

bool isHelpWord(const std::string& word) {
  return word == "-h" || word == "--help";
}

// Whether a group's default subcommand takes positional words, which then are
// not command names.
bool defaultTakesArguments(const CommandSpec& group) {
  if (group.defaultSubcommand.empty()) return false;
  const CommandSpec* fallback = group.subcommand(group.defaultSubcommand);
  if (fallback == nullptr) return false;
  for (const auto& parameter : fallback->parameters)
    if (parameter.kind == Parameter::Kind::argument) return true;
  return false;
}

// "glimmet help disk scan" is "glimmet disk scan --help", and a group's default
// subcommand receives the words given to the group ("glimmet apps --json" runs
// "apps list --json"). Only leading subcommand names are walked, so an option
// value that happens to spell a command name is never touched.
std::vector<std::string> normalise(const CommandSpec& root, std::vector<std::string> arguments) {
  if (!arguments.empty() && arguments.front() == "help") {
    arguments.erase(arguments.begin());
    arguments.emplace_back("--help");
  }
  const CommandSpec* current = &root;
  std::string path = root.name;
  for (size_t i = 0;; ++i) {
    const CommandSpec* next = i < arguments.size() ? current->subcommand(arguments[i]) : nullptr;
    if (next != nullptr) {
      current = next;
      path += " " + next->name;
      continue;
    }
    // A word where a group expects a command name is a mistyped command, also
    // when help is asked for: "glimmet nosuch --help" must not answer with the
    // root help and status 0 as if the command existed.
    if (i < arguments.size() && !current->subcommands.empty() && !arguments[i].starts_with('-') &&
        !defaultTakesArguments(*current))
      throw MistypedCommand{path + " has no command '" + arguments[i] + "'.", current};
    if (!current->defaultSubcommand.empty() && !(i < arguments.size() && isHelpWord(arguments[i])))
      arguments.insert(arguments.begin() + static_cast<std::ptrdiff_t>(i),
                       current->defaultSubcommand);
    return arguments;
  }
}

}  // namespace

struct CommandLine::Impl {
  const CommandSpec& root;
  CLI::App app;
  std::map<const CLI::App*, const CommandSpec*> specOf;
  std::map<const CommandSpec*, std::string> pathOf;
  std::string completionShell;

  explicit Impl(const CommandSpec& rootSpec)
      : root(rootSpec), app(rootSpec.abstract, rootSpec.name) {
    app.formatter(std::make_shared<UsageFormatter>(*this));
    app.get_formatter()->column_width(34);
    app.add_option(kCompletionOption, completionShell,
                   "Print a completion script for bash, zsh or fish.")
        ->type_name("<shell>")
        ->check(CLI::IsMember({"bash", "zsh", "fish"}));
    recordPaths(rootSpec, rootSpec.name);
  }

  void recordPaths(const CommandSpec& spec, const std::string& path) {
    pathOf[&spec] = path;
    for (const auto& sub : spec.subcommands) recordPaths(sub, path + " " + sub.name);
  }

  // Declaring every command's options to the parser is most of a short run's
  // own work, and agent hooks start glimmet on every turn. So arguments that
  // name their command up front get only that command's branch; anything else
  // (root help, an unknown word, a root option) gets the whole tree.
  void declareFor(const std::vector<std::string>& arguments) {
    const CommandSpec* branch = arguments.empty() ? nullptr : root.subcommand(arguments.front());
    declare(app, root, branch);
  }

  // Help and error screens share the usage line written from the tree.
  class UsageFormatter : public CLI::Formatter {
   public:
    explicit UsageFormatter(const Impl& owner) : owner_(owner) {}
    std::string make_usage(const CLI::App* app, std::string) const override {
      const auto found = owner_.specOf.find(app);
      return found == owner_.specOf.end() ? std::string{} : owner_.usageLine(*found->second) + "\n";
    }

    // A blank line between the abstract and the usage line.
    std::string make_description(const CLI::App* app) const override {
      const auto text = CLI::Formatter::make_description(app);
      return text.empty() ? text : text + "\n";
    }
    std::string make_footer(const CLI::App* app) const override {
      if (app->get_parent() == nullptr)
        return "\nSee '" + app->get_name() + " help <subcommand>' for detailed help.\n";
      return CLI::Formatter::make_footer(app);
    }

   private:
    const Impl& owner_;
  };

  // `spec` and its subcommands, or of them only `onlyBranch` when one is given.
  void declare(CLI::App& target, const CommandSpec& spec, const CommandSpec* onlyBranch = nullptr) {
    specOf[&target] = &spec;
    if (!spec.discussion.empty()) target.footer(spec.discussion);
    target.set_help_flag("-h,--help", "Show help information.");
    for (const auto& parameter : spec.parameters) declareParameter(target, parameter);
    if (!spec.subcommands.empty()) target.require_subcommand(0, 1);
    for (const auto& sub : spec.subcommands) {
      if (onlyBranch != nullptr && &sub != onlyBranch) continue;
      declare(*target.add_subcommand(sub.name, sub.abstract), sub);
    }
  }

  static void declareParameter(CLI::App& target, const Parameter& parameter) {
    CLI::Option* option = nullptr;
    switch (parameter.kind) {
      case Parameter::Kind::flag:
        option = target.add_flag(parameter.name, *parameter.flag, parameter.help);
        break;
      case Parameter::Kind::option:
      case Parameter::Kind::argument:
        if (parameter.repeating) {
          option = target.add_option_function<std::vector<std::string>>(
              parameter.name,
              [assign = parameter.assign](const std::vector<std::string>& values) {
                for (const auto& value : values) assign(value);
              },
              parameter.help);
          option->expected(1, CLI::detail::expected_max_vector_size);
        } else {
          option = target.add_option_function<std::string>(parameter.name, parameter.assign,
                                                           parameter.help);
        }
        option->type_name(parameter.kind == Parameter::Kind::option ? parameter.valueName : "");
        if (parameter.required) option->required();
        break;
    }
    if (parameter.hidden) option->group("");
  }

  std::string usageLine(const CommandSpec& spec) const {
    std::string line = "Usage: " + pathOf.at(&spec);
    for (const auto& parameter : spec.parameters) {
      if (parameter.hidden) continue;
      std::string word = parameter.kind == Parameter::Kind::argument ? parameter.valueName
                         : parameter.kind == Parameter::Kind::flag
                             ? parameter.name
                             : parameter.name + " " + parameter.valueName;
      line += " " + (parameter.required ? word : "[" + word + "]");
    }
    if (!spec.subcommands.empty()) line += " <subcommand>";
    return line;
  }

  const CommandSpec& deepestSelected() const {
    const CLI::App* current = &app;
    for (;;) {
      const auto selected = current->get_subcommands();
      if (selected.empty()) break;
      current = selected.front();
    }
    return *specOf.at(current);
  }
};

CommandLine::CommandLine(const CommandSpec& root) : impl_(std::make_unique<Impl>(root)) {}
CommandLine::~CommandLine() = default;

ParseOutcome CommandLine::parse(std::vector<std::string> arguments) {
  try {
    arguments = normalise(impl_->root, std::move(arguments));
  } catch (const MistypedCommand& mistyped) {
    return {ParseOutcome::Kind::usageError, mistyped.group, mistyped.message};
  }
  impl_->declareFor(arguments);
  // CLI11 takes its arguments in reverse order.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    impl_->app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return {ParseOutcome::Kind::help, &impl_->deepestSelected(), impl_->app.help()};
  } catch (const CLI::ParseError& error) {
    return {ParseOutcome::Kind::usageError, &impl_->deepestSelected(), error.what()};
  } catch (const UsageError& error) {
    return {ParseOutcome::Kind::usageError, &impl_->deepestSelected(), error.what()};
  }
  if (!impl_->completionShell.empty())
    return {ParseOutcome::Kind::completion, &impl_->root, impl_->completionShell};
  const CommandSpec& selected = impl_->deepestSelected();
  if (!selected.run) return {ParseOutcome::Kind::help, &selected, impl_->app.help()};
  return {ParseOutcome::Kind::run, &selected, {}};
}

std::string CommandLine::usage(const CommandSpec& command) const {
  return impl_->usageLine(command);
}

std::string CommandLine::commandPath(const CommandSpec& command) const {
  return impl_->pathOf.at(&command);
}

}  // namespace glimmet::cli
