// An MCP server an agent started, named as the npm packages of MCP servers are;
// it only waits, so that it is seen and classified.
setInterval(() => {}, 1 << 30);
