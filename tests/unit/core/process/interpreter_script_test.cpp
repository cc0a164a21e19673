#include "core/process/interpreter_script.h"

#include <gtest/gtest.h>

#include <vector>

namespace glimmet {
namespace {

using Args = std::vector<std::string>;

std::optional<std::string> scriptOf(const Args& argv,
                                    std::optional<std::string_view> path = std::nullopt) {
  const auto script = scriptArgument(path, argv);
  return script ? std::optional<std::string>(*script) : std::nullopt;
}

TEST(InterpreterScript, KnowsInterpretersByNameWithAnyVersionSuffix) {
  EXPECT_EQ(interpreterNamed("node"), Interpreter::node);
  EXPECT_EQ(interpreterNamed("nodejs"), Interpreter::node);
  EXPECT_EQ(interpreterNamed("python3.12"), Interpreter::python);
  EXPECT_EQ(interpreterNamed("pypy3"), Interpreter::python);
  EXPECT_EQ(interpreterNamed("ruby3.1"), Interpreter::ruby);
  EXPECT_EQ(interpreterNamed("perl5.36.0"), Interpreter::perl);
  EXPECT_EQ(interpreterNamed("bun"), Interpreter::bun);
  EXPECT_EQ(interpreterNamed("deno"), Interpreter::deno);
  for (const auto* name : {"claude", "2.1.3", "", "nodemon", "python3-config", "bash", "npx"})
    EXPECT_EQ(interpreterNamed(name), std::nullopt) << name;
}

TEST(InterpreterScript, NodeSkipsOptionsAndTheValuesTheyTakeSeparately) {
  // What an npm shebang runs, and Gemini CLI's re-exec of itself.
  EXPECT_EQ(scriptOf({"node", "/usr/local/bin/gemini"}), "/usr/local/bin/gemini");
  EXPECT_EQ(scriptOf({"/usr/bin/node", "--max-old-space-size=8192", "/usr/local/bin/gemini", "-p"}),
            "/usr/local/bin/gemini");
  EXPECT_EQ(scriptOf({"node", "-r", "ts-node/register", "--require", "dotenv/config",
                      "--import=tsx", "--no-warnings", "bin/claude", "--resume"}),
            "bin/claude");
  EXPECT_EQ(scriptOf({"node", "--inspect-port", "9230", "--", "cli.js"}), "cli.js");
  for (const Args& none : std::vector<Args>{{"node"},
                                            {"node", "-e", "require('x')"},
                                            {"node", "-pe", "1+1"},
                                            {"node", "--eval=1"},
                                            {"node", "--run", "dev"},
                                            {"node", "-"},
                                            {"node", "--require", "x"}})
    EXPECT_EQ(scriptOf(none), std::nullopt) << none.back();
}

TEST(InterpreterScript, PythonModulesAndCodeNameNoScript) {
  EXPECT_EQ(scriptOf({"python3", "-u", "-W", "ignore", "-X", "dev", "/home/me/.local/bin/aider"}),
            "/home/me/.local/bin/aider");
  EXPECT_EQ(scriptOf({"python3", "-Wignore", "-uB", "tool.py", "-m", "x"}), "tool.py");
  EXPECT_EQ(scriptOf({"python3", "-m", "aider"}), std::nullopt) << "a module, not a file";
  EXPECT_EQ(scriptOf({"python3", "-um", "http.server"}), std::nullopt);
  EXPECT_EQ(scriptOf({"python3", "-c", "print(1)", "x.py"}), std::nullopt);
}

TEST(InterpreterScript, DenoAndBunSkipTheirRunSubcommandAndRunNothingForOthers) {
  EXPECT_EQ(scriptOf({"deno", "run", "-A", "--config", "deno.json", "main.ts"}), "main.ts");
  EXPECT_EQ(scriptOf({"deno", "serve", "--port=8000", "server.ts"}), "server.ts");
  EXPECT_EQ(scriptOf({"deno", "-A", "main.ts"}), "main.ts");
  EXPECT_EQ(scriptOf({"deno", "task", "dev"}), std::nullopt);
  EXPECT_EQ(scriptOf({"bun", "run", "--preload", "./setup.ts", "/home/me/.bun/bin/claude"}),
            "/home/me/.bun/bin/claude");
  EXPECT_EQ(scriptOf({"bun", "--hot", "src/index.ts"}), "src/index.ts");
  EXPECT_EQ(scriptOf({"bun", "install"}), std::nullopt);
}

TEST(InterpreterScript, RubyAndPerlTakeAttachedOrSeparateValues) {
  EXPECT_EQ(scriptOf({"ruby", "-I", "lib", "-rbundler/setup", "bin/tool"}), "bin/tool");
  EXPECT_EQ(scriptOf({"ruby", "-we", "puts 1"}), std::nullopt);
  EXPECT_EQ(scriptOf({"perl", "-Ilib", "-M", "strict", "script.pl"}), "script.pl");
  EXPECT_EQ(scriptOf({"perl", "-E", "say 1"}), std::nullopt);
}

TEST(InterpreterScript, TheExecutableDecidesAndArgumentZeroStandsInForIt) {
  // Debian's /usr/bin/nodejs, and a binary renamed or symlinked as node.
  EXPECT_EQ(scriptOf({"node", "cli.js"}, "/usr/bin/nodejs"), "cli.js");
  EXPECT_EQ(scriptOf({"node", "cli.js"}, "/home/me/.bun/bin/bun"), "cli.js");
  EXPECT_EQ(scriptOf({"/usr/bin/python3", "x.py"}, "/usr/bin/python3.11"), "x.py");
  // A native agent is not an interpreter, whatever its arguments.
  EXPECT_EQ(scriptOf({"claude", "--resume"}, "/home/me/.local/share/claude/versions/2.1.3"),
            std::nullopt);
  EXPECT_EQ(scriptOf({"codex", "app-server"}, "/home/me/.codex/bin/codex"), std::nullopt);
}

}  // namespace
}  // namespace glimmet
