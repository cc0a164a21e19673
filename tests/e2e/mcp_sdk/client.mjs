// Drives `glimmet mcp` with the official MCP TypeScript SDK client over stdio
// and prints one JSON line saying how far it got: connect (initialize), list
// tools, call ports. Usage: node client.mjs SDK_FOLDER GLIMMET_BINARY [TIMEOUT_MS]
import { pathToFileURL } from "node:url";
import path from "node:path";

const [sdkFolder, binary, timeoutText] = process.argv.slice(2);
const timeout = Number(timeoutText ?? 5000);
const load = (file) =>
  import(pathToFileURL(path.join(sdkFolder, "node_modules/@modelcontextprotocol/sdk/dist/esm", file)).href);
const { Client } = await load("client/index.js");
const { StdioClientTransport } = await load("client/stdio.js");

const report = { connected: false, tools: null, portsIsError: null, errors: [] };
const transport = new StdioClientTransport({ command: binary, args: ["mcp"], env: process.env });
const client = new Client({ name: "glimmet-e2e", version: "1.0.0" });
client.onerror = (error) => report.errors.push(String(error?.message ?? error).slice(0, 200));
try {
  await client.connect(transport, { timeout });
  report.connected = true;
  report.tools = (await client.listTools(undefined, { timeout })).tools.map((tool) => tool.name);
  report.portsIsError = (await client.callTool({ name: "ports" }, undefined, { timeout })).isError;
} catch (error) {
  report.failure = String(error?.message ?? error).slice(0, 200);
}
report.errors = report.errors.slice(0, 5);
await client.close().catch(() => {});
console.log(JSON.stringify(report));
process.exit(0);
