// Compiling the shipped signatures.json, and matching every process of a
// 2,000-process snapshot against it: the agent root, ghost signature, framework
// and environment hint of each, and the ancestor walk, through one fresh cache
// as one command run does.
// Run: build/release/bench/glimmet_signature_matching_bench --benchmark_repetitions=10
//      --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <stdexcept>

#include "core/ghosts/match_cache.h"
#include "platform/files.h"

namespace {

std::string shippedBytes() {
  const auto bytes = glimmet::platform::readFile(GLIMMET_SIGNATURES_FILE, 1 << 24);
  if (!bytes) throw std::runtime_error("can't read " GLIMMET_SIGNATURES_FILE);
  return *bytes;
}

// What a developer machine runs: browsers with long flag lists, editors with
// their helpers, language servers, dev servers, shells and daemons.
const std::vector<std::vector<std::string>> kCommandLines = {
    {"/opt/google/chrome/chrome", "--type=renderer", "--crashpad-handler-pid=2101",
     "--enable-crash-reporter=,", "--change-stack-guard-on-fork=enable", "--lang=en-US",
     "--num-raster-threads=4", "--enable-main-frame-before-activation", "--renderer-client-id=7",
     "--time-ticks-at-unix-epoch=-1733480000123456", "--launch-time-ticks=91827364",
     "--shared-files=v8_context_snapshot_data:100",
     "--field-trial-handle=3,i,1234567890,98765,262144"},
    {"/usr/share/code/code", "--type=utility", "--utility-sub-type=node.mojom.NodeService",
     "--lang=en-US", "--service-sandbox-type=none", "--dns-result-order=ipv4first"},
    {"/usr/share/code/code",
     "/usr/share/code/resources/app/extensions/node_modules/typescript/"
     "lib/tsserver.js",
     "--serverMode", "partialSemantic", "--useInferredProjectPerProjectRoot"},
    {"node", "/home/dev/shop/node_modules/.bin/next", "dev", "--turbo"},
    {"node", "/home/dev/site/node_modules/.bin/vite", "--port", "5173", "--host"},
    {"/home/dev/.local/bin/claude", "--resume"},
    {"node",
     "/home/dev/.npm/_npx/1234/node_modules/@modelcontextprotocol/server-filesystem/"
     "dist/index.js",
     "/home/dev/projects"},
    {"/usr/bin/python3", "-m", "uvicorn", "app.main:app", "--reload", "--port", "8000"},
    {"/home/dev/.cargo/bin/rust-analyzer"},
    {"/usr/bin/zsh", "-l"},
    {"/usr/bin/bash"},
    {"tmux", "new-session", "-A", "-s", "main"},
    {"/usr/lib/systemd/systemd", "--user"},
    {"/usr/bin/dbus-daemon", "--session", "--address=systemd:", "--nofork", "--nopidfile"},
    {"/usr/bin/pipewire"},
    {"/usr/libexec/gnome-terminal-server"},
    {"node", "/home/dev/app/node_modules/.bin/vitest", "--watch"},
    {"/usr/lib/postgresql/15/bin/postgres", "-D", "/var/lib/postgresql/15/main"},
    {"go", "run", "./cmd/server"},
    {"/home/dev/go/bin/gopls", "-mode=stdio"},
};

glimmet::ProcessSnapshot syntheticSnapshot(size_t count) {
  std::vector<glimmet::ProcessRecord> records;
  records.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    glimmet::ProcessRecord record;
    const auto pid = static_cast<pid_t>(100 + i);
    record.identity = {pid, 1'733'480'000'000'000ULL + i};
    // Chains of up to eight under pid 1, so ancestor walks have some way to go.
    record.ppid = i % 8 == 0 ? 1 : pid - 1;
    record.argv = kCommandLines[i % kCommandLines.size()];
    record.name = record.argv.front().substr(record.argv.front().rfind('/') + 1).substr(0, 15);
    record.path = record.argv.front().front() == '/' ? record.argv.front() : "/usr/bin/node";
    record.environment = {"HOME=/home/dev",     "PATH=/usr/local/bin:/usr/bin:/bin",
                          "LANG=C.UTF-8",       "TERM=xterm-256color",
                          "SHELL=/usr/bin/zsh", "USER=dev"};
    records.push_back(std::move(record));
  }
  return {std::chrono::system_clock::now(), std::move(records)};
}

void BM_CompileShippedSignatures(benchmark::State& state) {
  const std::string bytes = shippedBytes();
  for (auto _ : state) benchmark::DoNotOptimize(glimmet::SignatureEngine::fromJson(bytes));
}

void BM_MatchSnapshot(benchmark::State& state) {
  const auto engine = glimmet::SignatureEngine::fromJson(shippedBytes());
  const auto snapshot = syntheticSnapshot(static_cast<size_t>(state.range(0)));
  size_t matched = 0;
  for (auto _ : state) {
    glimmet::MatchCache cache(engine);
    matched = 0;
    for (const auto& record : snapshot.records()) {
      matched += cache.agentRoot(record).has_value();
      matched += cache.ghostSignature(record).has_value();
      matched += cache.framework(record).has_value();
      matched += engine.agentFromEnvironment(record.environment).has_value();
      matched += glimmet::hasAgentRootAncestor(record, snapshot, cache);
    }
    benchmark::DoNotOptimize(matched);
  }
  state.counters["answers"] = static_cast<double>(matched);
}

}  // namespace

BENCHMARK(BM_CompileShippedSignatures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchSnapshot)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
