// The shipped signatures.json: every entry matches a realistic process and
// rejects a near miss, and no entry goes untested.
#include <gtest/gtest.h>

#include "support/shipped_data.h"

#include <set>

#include "core/ghosts/signature_engine.h"
#include "platform/files.h"

namespace glimmet {
namespace {

using Args = std::vector<std::string>;

struct Process {
  std::string name;
  std::optional<std::string> path;
  std::optional<Args> arguments;
};

const SignatureEngine& shipped() {
  return testing::shippedSignatures();
}

Process run(std::string name, std::string path, Args arguments) {
  return {std::move(name), std::move(path), std::move(arguments)};
}
Process named(std::string name) {
  return {std::move(name), std::nullopt, std::nullopt};
}

struct Case {
  std::string id;
  Process match;
  Process nearMiss;
};

std::optional<std::string> rootOf(const Process& p) {
  auto found = shipped().agentRoot({p.name, p.path, p.arguments});
  return found ? std::optional(found->id) : std::nullopt;
}
std::optional<std::string> ghostOf(const Process& p) {
  auto found = shipped().ghostSignature({p.name, p.path, p.arguments});
  return found ? std::optional(found->id) : std::nullopt;
}

const std::string kNode = "/home/me/.nvm/versions/node/v22.11.0/bin/node";

TEST(ShippedSignatures, AgentRootsMatchTheirProgramsAndNothingNearby) {
  const std::vector<Case> cases = {
      {"claude-code",
       run("claude", "/home/me/.local/share/claude/versions/2.0.14", {"claude", "--resume"}),
       run("claude-desktop", "/opt/Claude/claude-desktop", {"/opt/Claude/claude-desktop"})},
      {"claude-code",
       run("node", kNode, {"node", "/usr/lib/node_modules/@anthropic-ai/claude-code/cli.js"}),
       run("node", kNode, {"node", "claude-notes.js"})},
      {"codex",
       run("node", kNode, {"node", "/usr/lib/node_modules/@openai/codex/bin/codex.js", "exec"}),
       run("node", kNode, {"node", "codex-parser.js"})},
      {"codex", run("codex", "/usr/local/bin/codex", {"codex"}),
       run("codexctl", "/usr/bin/codexctl", {"codexctl"})},
      {"gemini-cli",
       run("node", kNode,
           {"node", "/home/me/.npm-global/lib/node_modules/@google/gemini-cli/dist/index.js"}),
       run("node", kNode, {"node", "gemini-test.js"})},
      {"aider",
       run("python3", "/usr/bin/python3.11",
           {"/usr/bin/python3", "-m", "aider", "--model", "sonnet"}),
       run("python3", "/usr/bin/python3.11", {"/usr/bin/python3", "-m", "aiderlib"})},
      {"cursor-agent", run("cursor-agent", "/home/me/.local/bin/cursor-agent", {"cursor-agent"}),
       run("cursor", "/usr/bin/cursor-tool", {"cursor-tool"})},
      {"opencode", run("opencode", "/home/me/.opencode/bin/opencode", {"opencode"}),
       named("opencv_test")},
      {"copilot-cli",
       run("node", kNode, {"node", "/usr/lib/node_modules/@github/copilot/index.js"}),
       run("node", kNode, {"node", "/usr/lib/node_modules/copilot-helper/index.js"})},
      {"cursor",
       run("cursor", "/tmp/.mount_Cursor5XqP/usr/share/cursor/cursor",
           {"/tmp/.mount_Cursor5XqP/usr/share/cursor/cursor"}),
       run("cursord", "/usr/local/bin/cursord", {"cursord"})},
      {"windsurf",
       run("windsurf", "/usr/share/windsurf/windsurf", {"/usr/share/windsurf/windsurf"}),
       named("windsurfer")},
      {"vscode", run("code", "/usr/share/code/code", {"/usr/share/code/code", "--type=renderer"}),
       run("codecov", "/usr/local/bin/codecov", {"codecov"})},
      {"vscodium", run("codium", "/usr/share/codium/codium", {"/usr/share/codium/codium"}),
       named("codiumd")},
      {"zed", run("zed-editor", "/usr/lib/zed/zed-editor", {"zed-editor"}), named("zedd")},
      {"jetbrains",
       run("java",
           "/home/me/.local/share/JetBrains/Toolbox/apps/intellij-idea-ultimate/jbr/bin/java",
           {"java", "com.intellij.idea.Main"}),
       run("java", "/usr/lib/jvm/java-17/bin/java", {"java", "-jar", "app.jar"})},
      {"gnome-terminal",
       run("gnome-terminal-", "/usr/libexec/gnome-terminal-server",
           {"/usr/libexec/gnome-terminal-server"}),
       named("gnome-shell")},
      {"gnome-console", named("kgx"), named("kgxd")},
      {"konsole", named("konsole"), named("konsolekalendar")},
      {"xterm", named("xterm"), named("xterm-helper")},
      {"alacritty", named("alacritty"), named("alacritty-msg")},
      {"kitty", run("kitty", "/usr/bin/kitty", {"/usr/bin/kitty"}), named("kitty-themes")},
      {"wezterm", named("wezterm-gui"), named("wezterm-mux-server")},
      {"foot", named("foot"), named("football")},
      {"tilix", named("tilix"), named("tilixd")},
      {"terminator",
       run("terminator", "/usr/bin/python3.11", {"/usr/bin/python3", "/usr/bin/terminator"}),
       run("python3", "/usr/bin/python3.11", {"/usr/bin/python3", "/home/me/terminator-notes.py"})},
      {"ghostty", named("ghostty"), named("ghost")},
      {"iterm2", run("iTerm2", "/Applications/iTerm.app/Contents/MacOS/iTerm2", {"iTerm2"}),
       named("iterm")},
      {"apple-terminal",
       run("Terminal", "/System/Applications/Utilities/Terminal.app/Contents/MacOS/Terminal",
           {"Terminal"}),
       named("terminald")},
      {"warp", run("warp", "/opt/warpdotdev/warp-terminal/warp", {"warp"}), named("warpd")},
      {"tmux", run("tmux: server", "/usr/bin/tmux", {"tmux", "new", "-s", "work"}),
       named("tmuxinator")},
      {"screen", named("screen"), named("screenshot")},
      {"zellij", named("zellij"), named("zellij-plugin")},
  };
  std::set<std::string> covered;
  for (const auto& [id, match, nearMiss] : cases) {
    EXPECT_EQ(rootOf(match), id) << match.name;
    EXPECT_NE(rootOf(nearMiss), id) << nearMiss.name;
    covered.insert(id);
  }
  for (const auto& root : shipped().set().agentRoots)
    EXPECT_TRUE(covered.contains(root.id)) << root.id;
}

TEST(ShippedSignatures, GhostKindsMatchTheirLeftoversAndNothingNearby) {
  const std::string chrome = "/home/me/.cache/ms-playwright/chromium-1140/chrome-linux/chrome";
  const std::vector<Case> cases = {
      {"typescript-language-server",
       run("node", kNode, {"node", "/home/me/web/node_modules/typescript/lib/tsserver.js"}),
       run("node", kNode, {"node", "tsserver-docs.md"})},
      {"eslint-language-server",
       run("node", kNode,
           {"node",
            "/home/me/.vscode/extensions/dbaeumer.vscode-eslint-3.0.10/server/out/"
            "eslintServer.js"}),
       run("node", kNode, {"node", "eslint.js", "src"})},
      {"python-language-server",
       run("node", kNode,
           {"node", "/home/me/.cache/pyright/langserver.index.js", "pyright-langserver",
            "--stdio"}),
       run("python3", "/usr/bin/python3", {"python3", "pyright_report.py"})},
      {"gopls", run("gopls", "/home/me/go/bin/gopls", {"/home/me/go/bin/gopls", "serve"}),
       run("goplsx", "/usr/bin/goplsx", {"goplsx"})},
      {"rust-analyzer",
       run("rust-analyzer", "/home/me/.cargo/bin/rust-analyzer",
           {"/home/me/.cargo/bin/rust-analyzer"}),
       run("rust-analyzer-proc-macro-srv", "/x", {"rust-analyzer-proc-macro-srv"})},
      {"clangd", run("clangd", "/usr/bin/clangd-14", {"/usr/bin/clangd-14", "--background-index"}),
       run("clang", "/usr/bin/clang", {"clang", "-c", "a.c"})},
      {"mcp-server",
       run("node", kNode,
           {"node",
            "/home/me/.npm/_npx/1/node_modules/@modelcontextprotocol/server-filesystem/dist/"
            "index.js"}),
       run("node", kNode, {"node", "server.js", "--mcp"})},
      {"mcp-server",
       run("uv", "/home/me/.local/bin/uv", {"uvx", "mcp-server-git", "--repository", "."}),
       run("uv", "/home/me/.local/bin/uv", {"uvx", "ruff", "check"})},
      {"headless-browser",
       run("chrome", chrome, {chrome, "--headless=new", "--remote-debugging-pipe"}),
       run("chrome", "/opt/google/chrome/chrome",
           {"/opt/google/chrome/chrome", "--restore-last-session"})},
      {"playwright-driver",
       run("node", kNode, {"node", "/home/me/web/node_modules/playwright/cli.js", "run-driver"}),
       run("node", kNode, {"node", "/home/me/web/node_modules/.bin/playwright", "install"})},
      {"vitest", run("node", kNode, {"node", "/home/me/web/node_modules/.bin/vitest"}),
       run("node", kNode, {"node", "/home/me/web/node_modules/.bin/vitest", "run"})},
      {"jest-watch", run("node", kNode, {"node", "/home/me/web/node_modules/.bin/jest", "--watch"}),
       run("node", kNode, {"node", "/home/me/web/node_modules/.bin/jest", "--ci"})},
      {"tsc-watch", run("node", kNode, {"node", "/home/me/web/node_modules/.bin/tsc", "--watch"}),
       run("node", kNode, {"node", "/home/me/web/node_modules/.bin/tsc", "--noEmit"})},
      {"nodemon",
       run("node", kNode, {"node", "/home/me/web/node_modules/.bin/nodemon", "server.js"}),
       run("node", kNode, {"node", "nodemonitor.js"})},
      {"esbuild-service",
       run("esbuild", "/home/me/web/node_modules/@esbuild/linux-x64/bin/esbuild",
           {"/home/me/web/node_modules/@esbuild/linux-x64/bin/esbuild", "--service=0.21.5",
            "--ping"}),
       run("esbuild", "/usr/bin/esbuild", {"esbuild", "app.ts", "--bundle"})},
      {"turbo-daemon",
       run("turbo", "/home/me/web/node_modules/turbo-linux-64/bin/turbo",
           {"/home/me/web/node_modules/turbo-linux-64/bin/turbo", "daemon", "--idle-time",
            "4h0m0s"}),
       run("turbo", "/usr/bin/turbo", {"turbo", "run", "build"})},
      {"tailwind-watch",
       run("node", kNode,
           {"node", "/home/me/web/node_modules/.bin/tailwindcss", "-i", "in.css", "-o", "out.css",
            "--watch"}),
       run("node", kNode,
           {"node", "/home/me/web/node_modules/.bin/tailwindcss", "-i", "in.css", "--minify"})},
      {"cargo-watch",
       run("cargo-watch", "/home/me/.cargo/bin/cargo-watch",
           {"/home/me/.cargo/bin/cargo-watch", "watch", "-x", "run"}),
       run("cargo", "/home/me/.cargo/bin/cargo", {"cargo", "build"})},
      {"watchman",
       run("watchman", "/usr/local/bin/watchman", {"/usr/local/bin/watchman", "--foreground"}),
       named("watchmanager")},
  };
  std::set<std::string> covered;
  for (const auto& [id, match, nearMiss] : cases) {
    EXPECT_EQ(ghostOf(match), id) << SignatureEngine::matchingText(
        {match.name, match.path, match.arguments});
    EXPECT_NE(ghostOf(nearMiss), id)
        << SignatureEngine::matchingText({nearMiss.name, nearMiss.path, nearMiss.arguments});
    covered.insert(id);
  }
  for (const auto& ghost : shipped().set().ghosts)
    EXPECT_TRUE(covered.contains(ghost.id)) << ghost.id;
}

TEST(ShippedSignatures, HeadlessBrowsersNeedTheirExecutable) {
  const Args argv = {"chrome", "--headless=new"};
  EXPECT_EQ(ghostOf({"chrome", std::nullopt, argv}), std::nullopt);
  EXPECT_EQ(ghostOf({"node", kNode, Args{"node", "render.js", "--headless"}}), std::nullopt);
}

TEST(ShippedSignatures, DevServersNameTheirFrameworkAndNotBuildsOrLookalikes) {
  struct ServerCase {
    std::string framework;
    Args match;
    Args nearMiss;
  };
  const std::vector<ServerCase> cases = {
      {"Next.js",
       {"node", "/home/me/web/node_modules/.bin/next", "dev", "--turbo"},
       {"node", "/home/me/web/node_modules/.bin/next", "build"}},
      {"Nuxt",
       {"node", "/home/me/web/node_modules/.bin/nuxi", "dev"},
       {"node", "/home/me/web/node_modules/.bin/nuxi", "generate"}},
      {"Remix",
       {"node", "/home/me/web/node_modules/.bin/remix", "vite:dev"},
       {"node", "/home/me/web/node_modules/.bin/remix", "vite:build"}},
      {"Astro",
       {"node", "/home/me/site/node_modules/.bin/astro", "dev"},
       {"node", "/home/me/site/node_modules/.bin/astro", "check"}},
      {"Storybook",
       {"node", "/home/me/web/node_modules/.bin/storybook", "dev", "-p", "6006"},
       {"node", "/home/me/web/node_modules/.bin/storybook", "build"}},
      {"Vite",
       {"node", "/home/me/app/node_modules/.bin/vite", "--port", "5173"},
       {"node", "/home/me/app/node_modules/.bin/vite", "build"}},
      {"Vite",
       {"node", "/home/me/app/node_modules/.bin/vite"},
       {"node", "/home/me/invite/server.js"}},
      {"webpack",
       {"node", "/home/me/app/node_modules/.bin/webpack", "serve", "--mode", "development"},
       {"node", "/home/me/app/node_modules/.bin/webpack", "--mode", "production"}},
      {"Angular",
       {"node", "/home/me/app/node_modules/.bin/ng", "serve"},
       {"node", "/home/me/app/node_modules/.bin/ng", "build"}},
      {"Create React App",
       {"node", "/home/me/app/node_modules/.bin/react-scripts", "start"},
       {"node", "/home/me/app/node_modules/.bin/react-scripts", "test"}},
      {"Gatsby",
       {"node", "/home/me/blog/node_modules/.bin/gatsby", "develop"},
       {"node", "/home/me/blog/node_modules/.bin/gatsby", "build"}},
      {"Expo",
       {"node", "/home/me/app/node_modules/.bin/expo", "start"},
       {"node", "/home/me/app/node_modules/.bin/expo", "export"}},
      {"Rails", {"ruby", "bin/rails", "server", "-p", "3000"}, {"ruby", "bin/rails", "console"}},
      {"Django",
       {"python3", "manage.py", "runserver", "0.0.0.0:8000"},
       {"python3", "manage.py", "migrate"}},
      {"FastAPI",
       {"/home/me/api/.venv/bin/python", "/home/me/api/.venv/bin/fastapi", "dev", "main.py"},
       {"python", "fastapi_notes.py"}},
      {"Flask",
       {"/home/me/api/.venv/bin/python", "-m", "flask", "--app", "hello", "run", "--debug"},
       {"/home/me/api/.venv/bin/python", "-m", "flask", "routes"}},
      {"uvicorn",
       {"/home/me/api/.venv/bin/python", "-m", "uvicorn", "main:app", "--reload"},
       {"python", "-m", "pip", "install", "uvloop"}},
      {"Gunicorn",
       {"/home/me/api/.venv/bin/python", "/home/me/api/.venv/bin/gunicorn", "app:app"},
       {"python", "-m", "unicorn"}},
      {"Phoenix",
       {"/usr/lib/erlang/erts-13/bin/beam.smp", "--", "-extra", "/usr/bin/mix", "phx.server"},
       {"/usr/lib/erlang/erts-13/bin/beam.smp", "--", "-extra", "/usr/bin/mix", "test"}},
      {"Spring Boot",
       {"java", "-cp", "target/classes", "org.springframework.boot.loader.launch.JarLauncher"},
       {"java", "-jar", "tool.jar"}},
      {"Hugo", {"hugo", "server", "-D"}, {"hugo", "--minify"}},
      {"Jekyll",
       {"ruby", "/usr/local/bin/jekyll", "serve", "--livereload"},
       {"ruby", "/usr/local/bin/jekyll", "build"}},
      {"Eleventy",
       {"node", "/home/me/site/node_modules/.bin/eleventy", "--serve"},
       {"node", "/home/me/site/node_modules/.bin/eleventy"}},
      {"Laravel", {"php", "artisan", "serve"}, {"php", "artisan", "migrate"}},
      {"PHP built-in server", {"php8.2", "-S", "localhost:8000", "-t", "public"}, {"php8.2", "-v"}},
      {"Python http.server",
       {"python3", "-m", "http.server", "8000"},
       {"python3", "-m", "http.client"}},
      {"Bun", {"bun", "--hot", "src/index.ts"}, {"bun", "install"}},
      {"Deno", {"deno", "task", "dev"}, {"deno", "fmt"}},
      {".NET", {"dotnet", "watch", "run"}, {"dotnet", "build"}},
  };
  std::set<std::string> covered;
  for (const auto& [framework, match, nearMiss] : cases) {
    const std::optional<std::string> none;
    const std::optional<Args> matchArgs = match, missArgs = nearMiss;
    EXPECT_EQ(shipped().framework({"x", none, matchArgs}), framework) << framework;
    EXPECT_NE(shipped().framework({"x", none, missArgs}), framework) << framework << " near miss";
    covered.insert(framework);
  }
  for (const auto& server : shipped().set().devServers)
    EXPECT_TRUE(covered.contains(server.framework)) << server.framework;
}

TEST(ShippedSignatures, EnvironmentAndPathHintsPointAtTheirAgent) {
  struct HintCase {
    std::string agent;
    Args environment;
    Args nearMiss;
  };
  const std::vector<HintCase> cases = {
      {"Claude Code",
       {"HOME=/home/me", "CLAUDECODE=1"},
       {"HOME=/home/me", "CLAUDE_CONFIG_DIR=/home/me/.claude"}},
      {"Codex", {"CODEX_SANDBOX=seatbelt"}, {"CODEX_HOME=/home/me/.codex"}},
      {"Gemini CLI", {"GEMINI_CLI=1"}, {"GEMINI_API_KEY=x"}},
      {"Cursor", {"TERM_PROGRAM=vscode", "CURSOR_TRACE_ID=abc"}, {"CURSOR=1"}},
      {"Windsurf",
       {"TERM_PROGRAM=vscode", "VSCODE_GIT_ASKPASS_NODE=/usr/share/windsurf/windsurf"},
       {"VSCODE_GIT_ASKPASS_NODE=/usr/share/windsurf/windsurf"}},
      {"VS Code", {"TERM_PROGRAM=vscode"}, {"TERM_PROGRAM=vscode-insiders-fork"}},
      {"Zed", {"ZED_TERM=true"}, {"ZED_TERM=false"}},
      {"JetBrains IDE", {"TERMINAL_EMULATOR=JetBrains-JediTerm"}, {"TERMINAL_EMULATOR=xterm"}},
  };
  std::set<std::string> covered;
  for (const auto& [agent, environment, nearMiss] : cases) {
    EXPECT_EQ(shipped().agentFromEnvironment(environment), agent);
    EXPECT_NE(shipped().agentFromEnvironment(nearMiss), agent) << agent << " near miss";
    covered.insert(agent);
  }
  for (const auto& hint : shipped().set().envHints)
    EXPECT_TRUE(covered.contains(hint.agent)) << hint.agent;

  const std::vector<std::pair<std::string, std::string>> paths = {
      {"Claude Code", "/home/me/.claude/shell-snapshots/snapshot-bash.sh"},
      {"Codex", "/home/me/.codex/sessions"},
      {"Gemini CLI", "/home/me/.gemini/tmp"},
      {"Cursor", "/home/me/.cursor-server/bin/x"},
      {"Windsurf", "/home/me/.windsurf/extensions"},
      {"VS Code", "/home/me/.vscode-server/extensions/ms-python"},
  };
  std::set<std::string> pathCovered;
  for (const auto& [agent, path] : paths) {
    EXPECT_EQ(shipped().agentFromPaths(Args{"node", path + "/index.js"}, std::nullopt), agent);
    EXPECT_EQ(shipped().agentFromPaths(std::nullopt, path), agent);
    pathCovered.insert(agent);
  }
  EXPECT_EQ(shipped().agentFromPaths(Args{"node", "/home/me/claude/notes.js"},
                                     std::string("/home/me/codex")),
            std::nullopt);
  for (const auto& hint : shipped().set().pathHints)
    EXPECT_TRUE(pathCovered.contains(hint.agent)) << hint.agent;
}

}  // namespace
}  // namespace glimmet
