// Drives `glimmet mcp` with the official MCP TypeScript SDK client over stdio
// through a whole session and prints one JSON report: what initialize said,
// the tool names, and each call's result. Before its last call it switches MCP
// off in settings.json, which the server reads for every message.
// Usage: node client.mjs SDK_FOLDER GLIMMET_BINARY SETTINGS_FILE [TIMEOUT_MS]
import { pathToFileURL } from "node:url";
import { writeFileSync } from "node:fs";
import path from "node:path";

const [sdkFolder, binary, settingsFile, timeoutText] = process.argv.slice(2);
const timeout = Number(timeoutText ?? 10000);
const load = (file) =>
  import(pathToFileURL(path.join(sdkFolder, "node_modules/@modelcontextprotocol/sdk/dist/esm", file)).href);
const { Client } = await load("client/index.js");
const { StdioClientTransport } = await load("client/stdio.js");

const report = { connected: false, errors: [], calls: {}, timings: {} };
const transport = new StdioClientTransport({ command: binary, args: ["mcp"], env: process.env, stderr: "pipe" });
// The negotiated protocol version is seen on the wire: the client keeps it to itself.
let onMessage;
Object.defineProperty(transport, "onmessage", {
  configurable: true,
  get: () => onMessage,
  set: (handler) => {
    onMessage = (message, extra) => {
      if (message?.result?.protocolVersion) report.protocolVersion = message.result.protocolVersion;
      return handler?.(message, extra);
    };
  },
});
const client = new Client({ name: "glimmet-e2e", version: "1.0.0" });
client.onerror = (error) => report.errors.push(String(error?.message ?? error).slice(0, 200));
const call = async (key, name, args) => {
  const started = performance.now();
  report.calls[key] = await client.callTool({ name, arguments: args ?? {} }, undefined, { timeout });
  report.timings[key] = performance.now() - started;
};
try {
  const started = performance.now();
  await client.connect(transport, { timeout });
  report.timings.connect = performance.now() - started;
  report.connected = true;
  report.serverVersion = client.getServerVersion();
  report.instructions = client.getInstructions();
  report.tools = (await client.listTools(undefined, { timeout })).tools.map((tool) => tool.name);
  await call("status", "status");
  await call("ports", "ports");
  await call("agents", "agents");
  await call("safety", "safety", { pid: 1 });
  await call("request_quit", "request_quit", { pid: 1, note: "e2e: a system process" });
  report.timings.session = performance.now() - started;
  writeFileSync(settingsFile, JSON.stringify({ mcp: { enabled: false } }));
  await call("off", "status");
} catch (error) {
  report.failure = String(error?.message ?? error).slice(0, 300);
}
report.errors = report.errors.slice(0, 5);
await client.close().catch(() => {});
console.log(JSON.stringify(report));
process.exit(0);
