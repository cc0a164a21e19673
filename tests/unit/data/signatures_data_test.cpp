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
  std::optional<std::string> script;  ///< as the snapshot resolves it
};

const SignatureEngine& shipped() {
  return testing::shippedSignatures();
}

std::string lastPathComponentOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

Process run(std::string name, std::string path, Args arguments) {
  return {std::move(name), std::move(path), std::move(arguments), std::nullopt};
}
// An interpreter running `script` as written on its command line, which resolves
// to `resolved`.
Process interpreted(std::string interpreter, Args arguments, std::string resolved) {
  return {lastPathComponentOf(interpreter), interpreter, std::move(arguments), std::move(resolved)};
}
Process named(std::string name) {
  return {std::move(name), std::nullopt, std::nullopt, std::nullopt};
}

struct Case {
  std::string id;
  Process match;
  Process nearMiss;
};

MatchInput inputOf(const Process& p) {
  MatchInput input{p.name, std::nullopt, std::nullopt, std::nullopt};
  if (p.path) input.path = *p.path;
  if (p.arguments) input.arguments = std::span<const std::string>(*p.arguments);
  if (p.script) input.script = *p.script;
  return input;
}
std::optional<std::string> rootOf(const Process& p) {
  auto found = shipped().agentRoot(inputOf(p));
  return found ? std::optional(found->id) : std::nullopt;
}
std::optional<std::string> helperOf(const Process& p) {
  auto found = shipped().agentHelper(inputOf(p));
  return found ? std::optional(found->agent) : std::nullopt;
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
      {"amp", run("node", kNode, {"node", "/home/me/.npm-global/bin/amp"}),
       run("node", kNode, {"node", "/home/me/web/amplify.js"})},
      {"qwen-code", run("node", kNode, {"node", "/usr/local/bin/qwen"}),
       run("node", kNode, {"node", "qwen-tokenizer.js"})},
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
      {"ptyxis", run("ptyxis-agent", "/usr/libexec/ptyxis-agent", {"/usr/libexec/ptyxis-agent"}),
       named("ptyxis-prefs")},
      {"xfce4-terminal", named("xfce4-terminal"), named("xfce4-panel")},
      {"mate-terminal", named("mate-terminal"), named("mate-panel")},
      {"lxterminal", named("lxterminal"), named("lxpanel")},
      {"qterminal", named("qterminal"), named("qtcreator")},
      {"terminology", named("terminology"), named("terminal-notifier")},
      {"rxvt-unicode", named("urxvtd"), named("urxvt-perl")},
      {"guake", run("guake", "/usr/bin/python3.11", {"/usr/bin/python3", "-m", "guake.main"}),
       named("guake-toggle")},
      {"yakuake", named("yakuake"), named("yak")},
      {"tilda", named("tilda"), named("tildafy")},
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

TEST(ShippedSignatures, AgentsInstalledTheLinuxWaysAreRootsThroughTheirScripts) {
  const std::string usrNode = "/usr/bin/node";
  const std::vector<std::pair<std::string, Process>> cases = {
      // npm's global prefixes: the symlink name, and the file it resolves to.
      {"gemini-cli",
       interpreted(usrNode, {"node", "/usr/local/bin/gemini"},
                   "/usr/local/lib/node_modules/@google/gemini-cli/bundle/gemini.js")},
      {"gemini-cli",
       interpreted(usrNode,
                   {"/usr/bin/node", "--max-old-space-size=8192",
                    "/usr/local/lib/node_modules/@google/gemini-cli/bundle/gemini.js"},
                   "/usr/local/lib/node_modules/@google/gemini-cli/bundle/gemini.js")},
      {"claude-code", interpreted(usrNode, {"node", "/usr/bin/claude"},
                                  "/usr/lib/node_modules/@anthropic-ai/claude-code/cli.js")},
      {"claude-code",
       interpreted(kNode, {"node", "/home/me/.nvm/versions/node/v22.11.0/bin/claude"},
                   "/home/me/.nvm/versions/node/v22.11.0/lib/node_modules/@anthropic-ai/"
                   "claude-code/cli.js")},
      {"codex", interpreted(usrNode, {"node", "/home/me/.npm-global/bin/codex"},
                            "/home/me/.npm-global/lib/node_modules/@openai/codex/bin/codex.js")},
      // volta, fnm and asdf keep node and the packages under the home folder; the
      // script is found by its resolved path even when the symlink is renamed.
      {"codex",
       interpreted("/home/me/.volta/tools/image/node/22.11.0/bin/node",
                   {"node", "/home/me/.volta/tools/image/packages/@openai/codex/bin/cdx"},
                   "/home/me/.volta/tools/image/packages/@openai/codex/lib/node_modules/@openai/"
                   "codex/bin/codex.js")},
      {"claude-code",
       interpreted("/home/me/.local/share/fnm/node-versions/v22.11.0/installation/bin/node",
                   {"node", "/run/user/1000/fnm_multishells/1_2/bin/cc"},
                   "/home/me/.local/share/fnm/node-versions/v22.11.0/installation/lib/"
                   "node_modules/@anthropic-ai/claude-code/cli.js")},
      {"gemini-cli",
       interpreted("/home/me/.asdf/installs/nodejs/22.11.0/bin/node",
                   {"node", "/home/me/.asdf/installs/nodejs/22.11.0/bin/g"},
                   "/home/me/.asdf/installs/nodejs/22.11.0/lib/node_modules/@google/gemini-cli/"
                   "bundle/gemini.js")},
      {"claude-code", interpreted("/home/me/.bun/bin/bun", {"bun", "/home/me/.bun/bin/claude"},
                                  "/home/me/.bun/install/global/node_modules/@anthropic-ai/"
                                  "claude-code/cli.js")},
      // Native installers in ~/.local/bin and ~/.claude/local.
      {"claude-code", run("claude", "/home/me/.local/share/claude/versions/2.1.3",
                          {"/home/me/.local/bin/claude"})},
      {"claude-code", run("claude", "/home/me/.claude/local/node_modules/.bin/claude",
                          {"/home/me/.claude/local/claude"})},
      {"aider", interpreted("/usr/bin/python3.11",
                            {"/home/me/.local/share/pipx/venvs/aider-chat/bin/python",
                             "/home/me/.local/bin/aider", "--model", "sonnet"},
                            "/home/me/.local/share/pipx/venvs/aider-chat/bin/aider")},
      // An IDE's remote server on a Linux box, run by its own node.
      {"vscode", run("node", "/home/me/.vscode-server/cli/servers/Stable-abc/server/node",
                     {"/home/me/.vscode-server/cli/servers/Stable-abc/server/node",
                      "/home/me/.vscode-server/cli/servers/Stable-abc/server/out/server-main.js",
                      "--host=127.0.0.1"})},
  };
  for (const auto& [id, process] : cases)
    EXPECT_EQ(rootOf(process), id) << process.arguments->back();
  // A project's own scripts that only share a name stay scripts.
  EXPECT_EQ(
      rootOf(interpreted(usrNode, {"node", "scripts/claude.js"}, "/home/me/web/scripts/claude.js")),
      std::nullopt);
  EXPECT_EQ(rootOf(interpreted(usrNode, {"node", "-e", "require('/usr/local/bin/gemini')"},
                               "/nonexistent")),
            std::nullopt);
}

TEST(ShippedSignatures, AgentsOwnDaemonsAreHelpersNotSessions) {
  const std::string daemon =
      "/home/me/.codex/packages/app-server-daemon/releases/0.169.0/bin/codex";
  const std::vector<std::pair<std::string, Process>> helpers = {
      {"Codex",
       run("codex", daemon, {daemon, "app-server", "--listen", "unix://", "--managed-daemon"})},
      {"Codex", run("codex", daemon, {daemon, "app-server", "daemon", "pid-update-loop"})},
      {"Codex", run("codex", "/usr/local/bin/codex", {"codex", "mcp-server"})},
      {"Claude Code",
       run("claude", "/home/me/.local/share/claude/versions/2.1.3", {"claude", "mcp", "serve"})},
  };
  for (const auto& [agent, process] : helpers) {
    EXPECT_EQ(helperOf(process), agent) << process.arguments->back();
    EXPECT_EQ(rootOf(process), std::nullopt) << process.arguments->back();
  }
  EXPECT_EQ(rootOf(run("codex", "/usr/local/bin/codex", {"codex", "resume", "--last"})), "codex");
  EXPECT_EQ(rootOf(run("claude", "/usr/local/bin/claude", {"claude", "mcp", "list"})),
            "claude-code");
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
