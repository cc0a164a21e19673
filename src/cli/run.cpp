// Outcome and error handling for every command.
#include "cli/run.h"

#include "cli/command_line.h"
#include "cli/completion.h"
#include "cli/glimmet.h"
#include "core/error.h"
#include "core/output/text.h"

namespace glimmet::cli {
namespace {

int status(ExitStatus value) {
  return static_cast<int>(value);
}

// The parser's message, the usage line, and where to read more.
int reportUsage(const CommandLine& commandLine, const std::string& message,
                const CommandSpec& command, std::ostream& error) {
  error << "Error: " << printable(message) << '\n'
        << commandLine.usage(command) << '\n'
        << "  See '" << commandLine.commandPath(command) << " --help' for more information.\n";
  return status(ExitStatus::usage);
}

}  // namespace

int runGlimmet(const std::vector<std::string>& arguments, const Environment& environment,
               const std::filesystem::path& executable, ProcessStreams streams) {
  Glimmet glimmet;
  const CommandSpec root = glimmet.spec();
  CommandLine commandLine(root);

  const ParseOutcome outcome = commandLine.parse(arguments);
  switch (outcome.kind) {
    case ParseOutcome::Kind::usageError:
      return reportUsage(commandLine, outcome.text, *outcome.command, streams.error);
    case ParseOutcome::Kind::help:
      streams.out << outcome.text;
      return status(ExitStatus::ok);
    case ParseOutcome::Kind::completion:
      streams.out << completionScript(root, outcome.text);
      return status(ExitStatus::ok);
    case ParseOutcome::Kind::run:
      break;
  }

  const CommandSpec& command = *outcome.command;
  try {
    if (command.validate) command.validate();
  } catch (const UsageError& failure) {
    return reportUsage(commandLine, failure.what(), command, streams.error);
  }

  CommandContext context{Output(streams.out), streams.error, streams.input, environment,
                         executable};
  try {
    return status(command.run(context));
  } catch (const CommandFailure& failure) {
    context.out.line(failure.what());
    return status(failure.status());
  } catch (const UsageError& failure) {
    return reportUsage(commandLine, failure.what(), command, streams.error);
  } catch (const std::exception& failure) {
    // Anything unforeseen is one error line and status 1, like the parser's own errors.
    streams.error << "Error: " << printable(failure.what()) << '\n';
    return 1;
  }
}

}  // namespace glimmet::cli
