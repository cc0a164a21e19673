#include "core/process/interpreter_script.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "core/util/path_text.h"

namespace glimmet {
namespace {

using Words = std::initializer_list<std::string_view>;

// How one interpreter reads its command line up to the script. Only options that
// take their value as the next argument matter: "--flag=value" and flags without a
// value are skipped alike.
struct Grammar {
  Words longWithValue;
  Words longWithoutScript;              ///< the program is on the command line
  std::string_view shortWithValue;      ///< letters whose value may be the next argument
  std::string_view shortWithoutScript;  ///< "-e code", "-c code", "-m module"
  Words runSubcommands;                 ///< "deno run x.ts": the script follows
  Words otherSubcommands;               ///< "bun install": no script at all
};

// Node's string options take "--opt value" as well as "--opt=value" (V8's, such
// as --max-old-space-size, take only the latter and need no entry).
const Grammar kNode{
    .longWithValue = {"--require",
                      "--import",
                      "--loader",
                      "--experimental-loader",
                      "--conditions",
                      "--env-file",
                      "--env-file-if-exists",
                      "--title",
                      "--input-type",
                      "--inspect-port",
                      "--debug-port",
                      "--disable-warning",
                      "--watch-path",
                      "--unhandled-rejections",
                      "--dns-result-order",
                      "--icu-data-dir",
                      "--openssl-config",
                      "--redirect-warnings",
                      "--report-dir",
                      "--report-directory",
                      "--report-filename",
                      "--report-signal",
                      "--diagnostic-dir",
                      "--cpu-prof-dir",
                      "--cpu-prof-name",
                      "--heap-prof-dir",
                      "--heap-prof-name",
                      "--heapsnapshot-signal",
                      "--secure-heap",
                      "--secure-heap-min",
                      "--tls-cipher-list",
                      "--tls-keylog",
                      "--use-largepages",
                      "--experimental-policy",
                      "--policy-integrity",
                      "--snapshot-blob",
                      "--trace-event-categories",
                      "--trace-event-file-pattern",
                      "--test-reporter",
                      "--test-reporter-destination",
                      "--test-name-pattern",
                      "--test-skip-pattern",
                      "--localstorage-file",
                      "--max-http-header-size",
                      "--experimental-sea-config"},
    // "--run task" runs a package.json script, not a file.
    .longWithoutScript = {"--eval", "--print", "--interactive", "--help", "--version", "--run"},
    .shortWithValue = "rC",
    .shortWithoutScript = "epihv",
    .runSubcommands = {},
    .otherSubcommands = {}};

const Grammar kBun{
    .longWithValue = {"--preload", "--cwd", "--config", "--env-file", "--tsconfig-override",
                      "--define", "--loader", "--main-fields", "--extension-order", "--jsx-factory",
                      "--jsx-fragment", "--jsx-import-source", "--jsx-runtime", "--conditions",
                      "--filter", "--elide-lines"},
    .longWithoutScript = {"--eval", "--print", "--help", "--version", "--revision"},
    .shortWithValue = "rcdlF",
    .shortWithoutScript = "ephv",
    .runSubcommands = {"run"},
    .otherSubcommands = {"test",    "x",      "exec",        "install",      "i",        "add",
                         "a",       "remove", "rm",          "update",       "outdated", "link",
                         "unlink",  "pm",     "build",       "init",         "create",   "c",
                         "upgrade", "repl",   "patch",       "patch-commit", "publish",  "audit",
                         "info",    "why",    "completions", "discord",      "help"}};

const Grammar kDeno{
    .longWithValue = {"--config", "--import-map", "--cert", "--location", "--seed", "--ext",
                      "--log-level"},
    .longWithoutScript = {"--help", "--version"},
    .shortWithValue = "cL",
    .shortWithoutScript = "hV",
    .runSubcommands = {"run", "serve"},
    .otherSubcommands = {"task",     "test",    "bench",    "fmt",  "lint",    "check",
                         "compile",  "doc",     "eval",     "repl", "install", "uninstall",
                         "add",      "remove",  "outdated", "info", "cache",   "clean",
                         "coverage", "publish", "upgrade",  "init", "jupyter", "completions",
                         "types",    "vendor",  "bundle",   "lsp",  "x",       "help"}};

// "-m module" and "-c code" end option parsing with no file to run; "-W" and
// "-X" take a value, attached or as the next argument.
const Grammar kPython{
    .longWithValue = {"--check-hash-based-pycs"},
    .longWithoutScript = {"--help", "--version", "--help-all", "--help-env", "--help-xoptions"},
    .shortWithValue = "WX",
    .shortWithoutScript = "cmhV?",
    .runSubcommands = {},
    .otherSubcommands = {}};

const Grammar kRuby{.longWithValue = {"--enable", "--disable", "--encoding", "--external-encoding",
                                      "--internal-encoding", "--dump"},
                    .longWithoutScript = {"--help", "--version"},
                    .shortWithValue = "IrCE",
                    .shortWithoutScript = "eh",
                    .runSubcommands = {},
                    .otherSubcommands = {}};

const Grammar kPerl{.longWithValue = {},
                    .longWithoutScript = {"--help", "--version"},
                    .shortWithValue = "IMm",
                    .shortWithoutScript = "eEhv",
                    .runSubcommands = {},
                    .otherSubcommands = {}};

const Grammar& grammarOf(Interpreter interpreter) {
  switch (interpreter) {
    case Interpreter::node:
      return kNode;
    case Interpreter::bun:
      return kBun;
    case Interpreter::deno:
      return kDeno;
    case Interpreter::python:
      return kPython;
    case Interpreter::ruby:
      return kRuby;
    case Interpreter::perl:
      break;
  }
  return kPerl;
}

bool isOneOf(std::string_view word, Words words) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// What one short-option cluster ("-uB", "-Wignore", "-r") means for the search.
enum class Cluster { flags, valueFollows, noScript };

Cluster readCluster(std::string_view cluster, const Grammar& grammar) {
  for (std::size_t i = 1; i < cluster.size(); ++i) {
    const char letter = cluster[i];
    if (grammar.shortWithoutScript.find(letter) != std::string_view::npos) return Cluster::noScript;
    // The rest of the cluster is the value when there is a rest.
    if (grammar.shortWithValue.find(letter) != std::string_view::npos)
      return i + 1 == cluster.size() ? Cluster::valueFollows : Cluster::flags;
  }
  return Cluster::flags;
}

}  // namespace

std::optional<Interpreter> interpreterNamed(std::string_view fileName) {
  while (!fileName.empty() &&
         (std::isdigit(static_cast<unsigned char>(fileName.back())) != 0 || fileName.back() == '.'))
    fileName.remove_suffix(1);
  if (fileName == "node" || fileName == "nodejs") return Interpreter::node;
  if (fileName == "bun") return Interpreter::bun;
  if (fileName == "deno") return Interpreter::deno;
  if (fileName == "python" || fileName == "pypy") return Interpreter::python;
  if (fileName == "ruby") return Interpreter::ruby;
  if (fileName == "perl") return Interpreter::perl;
  return std::nullopt;
}

std::optional<std::size_t> scriptArgumentIndex(Interpreter interpreter,
                                               std::span<const std::string> argv) {
  const Grammar& grammar = grammarOf(interpreter);
  bool subcommandSeen = false;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string_view word = argv[i];
    if (word == "--") return i + 1 < argv.size() ? std::optional(i + 1) : std::nullopt;
    if (word == "-" || word.empty()) return std::nullopt;  // standard input, or nothing to go by
    if (word.starts_with("--")) {
      const auto name = word.substr(0, word.find('='));
      if (isOneOf(name, grammar.longWithoutScript)) return std::nullopt;
      if (name.size() == word.size() && isOneOf(name, grammar.longWithValue)) ++i;
      continue;
    }
    if (word.starts_with("-")) {
      const auto cluster = readCluster(word, grammar);
      if (cluster == Cluster::noScript) return std::nullopt;
      if (cluster == Cluster::valueFollows) ++i;
      continue;
    }
    if (!subcommandSeen) {
      subcommandSeen = true;
      if (isOneOf(word, grammar.runSubcommands)) continue;
      if (isOneOf(word, grammar.otherSubcommands)) return std::nullopt;
    }
    return i;
  }
  return std::nullopt;
}

std::optional<std::string_view> scriptArgument(std::optional<std::string_view> executablePath,
                                               std::span<const std::string> argv) {
  if (argv.size() < 2) return std::nullopt;
  std::optional<Interpreter> interpreter;
  if (executablePath) interpreter = interpreterNamed(lastPathComponent(*executablePath));
  // A symlinked or renamed binary ("nodejs" run as "node", bun installed as node).
  if (!interpreter) interpreter = interpreterNamed(lastPathComponent(argv.front()));
  if (!interpreter) return std::nullopt;
  const auto index = scriptArgumentIndex(*interpreter, argv);
  if (!index) return std::nullopt;
  return std::string_view(argv[*index]);
}

}  // namespace glimmet
