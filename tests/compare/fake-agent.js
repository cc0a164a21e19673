// Stands in for an AI agent installed through npm: node runs this file behind a
// bin/claude or bin/codex symlink, as npm's shebang does. It starts the children
// named in FAKE_AGENT_CHILDREN (a JSON list of {"argv": [...], "cwd": "...",
// "detached": bool}), prints their pids on one line, and then either lives on or,
// with FAKE_AGENT_LEAVE=1, exits once its standard input closes, leaving its
// children behind as an agent that crashed or was closed would.
const { spawn } = require('child_process');

const children = JSON.parse(process.env.FAKE_AGENT_CHILDREN || '[]');
const leave = process.env.FAKE_AGENT_LEAVE === '1';
const pids = children.map((child) => {
  const started = spawn(child.argv[0], child.argv.slice(1), {
    cwd: child.cwd,
    detached: Boolean(child.detached),
    stdio: 'ignore',
    env: { PATH: process.env.PATH, HOME: process.env.HOME, LANG: 'C.UTF-8' },
  });
  if (child.detached) started.unref();
  return started.pid;
});
console.log([process.pid, ...pids].join(' '));

process.stdin.resume();
process.stdin.on('end', () => {
  if (leave) process.exit(0);
});
setInterval(() => {}, 1 << 30);
