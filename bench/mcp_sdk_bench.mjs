// glimmet mcp as an SDK-based agent meets it: the official MCP TypeScript SDK
// client over stdio. Times, with the median of RUNS:
//   - a whole session: spawn + initialize + the five tool calls, each run a new server;
//   - the status tool's round trip on one warm server;
//   - beside it, in the same run, `glimmet status --json` as a process (the peer:
//     what an agent without MCP would run), and the ratio of the two.
// Usage: node bench/mcp_sdk_bench.mjs SDK_FOLDER GLIMMET_BINARY [RUNS]
// SDK_FOLDER holds node_modules/@modelcontextprotocol/sdk (the e2e test
// installs 1.32.2 into build/test/mcp-sdk-1.32.2). Runs in a temporary HOME with
// MCP switched on.
import { pathToFileURL } from "node:url";
import { mkdtempSync, mkdirSync, writeFileSync, rmSync } from "node:fs";
import { spawnSync } from "node:child_process";
import { tmpdir } from "node:os";
import path from "node:path";

const [sdkFolder, binary, runsText] = process.argv.slice(2);
const runs = Number(runsText ?? 15);
const load = (file) =>
  import(pathToFileURL(path.join(sdkFolder, "node_modules/@modelcontextprotocol/sdk/dist/esm", file)).href);
const { Client } = await load("client/index.js");
const { StdioClientTransport } = await load("client/stdio.js");

const home = mkdtempSync(path.join(tmpdir(), "glimmet-mcp-bench-"));
mkdirSync(path.join(home, ".local/share/Glimmet"), { recursive: true });
writeFileSync(path.join(home, ".local/share/Glimmet/settings.json"), JSON.stringify({ mcp: { enabled: true } }));
const env = { ...process.env, HOME: home, XDG_DATA_HOME: path.join(home, ".local/share") };
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function connect() {
  const client = new Client({ name: "glimmet-bench", version: "1.0.0" });
  await client.connect(new StdioClientTransport({ command: binary, args: ["mcp"], env }));
  return client;
}
const calls = [["status"], ["ports"], ["agents"], ["safety", { pid: 1 }], ["request_quit", { pid: 1 }]];

const sessions = [];
for (let i = 0; i < runs; ++i) {
  const started = performance.now();
  const client = await connect();
  for (const [name, args] of calls) await client.callTool({ name, arguments: args ?? {} });
  sessions.push(performance.now() - started);
  await client.close();
}

const warm = await connect();
await warm.callTool({ name: "status", arguments: {} });
const roundTrips = [];
const processes = [];
for (let i = 0; i < runs; ++i) {
  let started = performance.now();
  await warm.callTool({ name: "status", arguments: {} });
  roundTrips.push(performance.now() - started);
  started = performance.now();
  spawnSync(binary, ["status", "--json"], { env, stdio: "ignore" });
  processes.push(performance.now() - started);
}
await warm.close();
rmSync(home, { recursive: true, force: true });

const report = {
  runs,
  sessionMedianMs: median(sessions),
  statusRoundTripMedianMs: median(roundTrips),
  statusProcessMedianMs: median(processes),
};
report.roundTripToProcessRatio = report.statusRoundTripMedianMs / report.statusProcessMedianMs;
console.log(JSON.stringify(report, null, 2));
