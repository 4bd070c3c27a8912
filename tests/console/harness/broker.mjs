// A real Mosquitto on free loopback ports, in the shape `nerq-venue init` gives it: no anonymous
// clients, hashed passwords, an ACL block per user, persistence, and a websockets listener whose
// http_dir is the built page.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';

export async function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function waitForPort(port, deadline) {
  while (Date.now() < deadline) {
    const open = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1');
      socket.on('connect', () => socket.end(() => resolve(true)));
      socket.on('error', () => resolve(false));
    });
    if (open) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`nothing listens on ${port}`);
}

// users: { name: { password, acl: [lines] } }
export async function startBroker(dir, { httpDir, users }) {
  fs.mkdirSync(path.join(dir, 'persist'), { recursive: true });
  const passwords = path.join(dir, 'passwd');
  fs.writeFileSync(passwords, '', { mode: 0o600 });
  const acl = [];
  for (const [name, user] of Object.entries(users)) {
    execFileSync('mosquitto_passwd', ['-b', passwords, name, user.password]);
    acl.push(`user ${name}`, ...user.acl, '');
  }
  fs.writeFileSync(path.join(dir, 'acl'), acl.join('\n'), { mode: 0o600 });
  const port = await freePort();
  const wsPort = await freePort();
  const conf = path.join(dir, 'mosquitto.conf');
  fs.writeFileSync(conf, [
    // Run as root, Mosquitto would drop to its own user, which cannot read these 0600 files.
    ...(process.getuid?.() === 0 ? ['user root'] : []),
    'allow_anonymous false',
    `password_file ${passwords}`,
    `acl_file ${path.join(dir, 'acl')}`,
    'persistence true',
    `persistence_location ${path.join(dir, 'persist')}/`,
    `listener ${port} 127.0.0.1`,
    `listener ${wsPort} 127.0.0.1`,
    'protocol websockets',
    `http_dir ${httpDir}`,
    '',
  ].join('\n'));

  const log = fs.openSync(path.join(dir, 'mosquitto.log'), 'a');
  const broker = {
    port,
    wsPort,
    url: `mqtt://127.0.0.1:${port}`,
    page: `http://127.0.0.1:${wsPort}/`,
    process: null,
    async start() {
      this.process = spawn('mosquitto', ['-c', conf], { stdio: ['ignore', log, log] });
      const exited = new Promise((_, reject) => this.process.once('exit', (code) =>
        reject(new Error(`mosquitto exited (${code}); see ${path.join(dir, 'mosquitto.log')}`))));
      exited.catch(() => {});
      await Promise.race([waitForPort(port, Date.now() + 5000).then(() => waitForPort(wsPort, Date.now() + 5000)), exited]);
    },
    async stop() {
      const child = this.process;
      if (!child || child.exitCode !== null) return;
      const gone = new Promise((resolve) => child.once('exit', resolve));
      child.kill('SIGTERM');
      const timer = setTimeout(() => child.kill('SIGKILL'), 3000);
      await gone;
      clearTimeout(timer);
      this.process = null;
    },
  };
  await broker.start();
  return broker;
}
