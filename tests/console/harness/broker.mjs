// The venue's real broker: `nerq-venue init` (the built one) writes its folder, on free loopback
// ports, `nerq-venue add-station` adds the stations, and Mosquitto runs with the very command
// init printed, serving the page from the http_dir init laid out (page/ in the venue's folder);
// with TLS, stunnel in front of the page as init printed it too. The folder's name holds a space
// and a quote, as an operator's may.
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { endProcess, readText, running, startGuarded, waitFor } from './processes.mjs';

const START_MS = 10000;

// Three ports nothing listens on at this moment.
async function freePorts() {
  const servers = [net.createServer(), net.createServer(), net.createServer()];
  await Promise.all(servers.map((s) => new Promise((resolve, reject) => {
    s.once('error', reject);
    s.listen(0, '127.0.0.1', resolve);
  })));
  const ports = servers.map((s) => s.address().port);
  await Promise.all(servers.map((s) => new Promise((resolve) => s.close(resolve))));
  return ports;
}

const accepts = (port) => new Promise((resolve) => {
  const socket = net.connect(port, '127.0.0.1');
  socket.once('connect', () => socket.end(() => resolve(true)));
  socket.once('error', () => resolve(false));
});

// A tool with these arguments, at most 30 s: { status, output } (standard output and error).
export function runTool(tool, args) {
  return new Promise((resolve) => {
    execFile(tool, args, { timeout: 30000 }, (error, stdout, stderr) => {
      const status = error ? (typeof error.code === 'number' ? error.code : -1) : 0;
      resolve({ status, output: stdout + stderr });
    });
  });
}

// The [broker] section of console.conf, a station's or a desk device's file.
export function readIni(file) {
  const values = {};
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    const match = /^\s*([A-Za-z]+)\s*=\s*(.*?)\s*$/.exec(line);
    if (match) values[match[1]] = match[2];
  }
  return values;
}

async function must(tool, args) {
  const { status, output } = await runTool(tool, args);
  if (status !== 0) throw new Error(`${path.basename(tool)} ${args.join(' ')} exited with ${status}:\n${output}`);
  return output;
}

// The command init printed on the line after `heading`.
function commandAfter(output, heading) {
  const lines = output.split('\n');
  const at = lines.findIndex((l) => l.startsWith(heading));
  return at < 0 ? undefined : lines[at + 1]?.trim();
}

async function initVenue(dir, tools, stations, tls) {
  const venueTool = path.join(tools, 'nerq-venue');
  const [port, wsPort, wsLocalPort] = await freePorts();
  const output = await must(venueTool, ['init', dir, '--host', '127.0.0.1', '--port', port, '--ws-port', wsPort,
    ...(tls ? ['--tls', '--ws-local-port', wsLocalPort] : [])].map(String));
  const startCommand = commandAfter(output, 'Start the broker');
  const frontCommand = commandAfter(output, "Start TLS for the desk's page");
  const page = /The desk's page: (\S+)/.exec(output)?.[1];
  if (!startCommand || !page || (tls && !frontCommand)) {
    throw new Error(`nerq-venue init printed no start command or page:\n${output}`);
  }
  for (const id of stations) await must(venueTool, ['add-station', dir, id]);

  const logFile = path.join(dir, '..', `${path.basename(dir)}.log`);
  const consoleConf = path.join(dir, 'console.conf');
  let broker = null;
  let front = null;
  const ca = tls ? fs.readFileSync(path.join(dir, 'venue-ca.crt')) : undefined;
  return {
    dir, port, wsPort, page, startCommand, consoleConf, ca,
    url: `${tls ? 'mqtts' : 'mqtt'}://127.0.0.1:${port}`,
    desk: readIni(consoleConf),
    stationConf: (id) => path.join(dir, 'stations', `${id}.conf`),
    log: () => readText(logFile),
    run: (args) => runTool(venueTool, args),
    // A command of the desk's, with its credentials.
    runDesk(args) {
      return runTool(venueTool, [...args, '--config', consoleConf]);
    },
    async start() {
      const logStart = this.log().length;
      broker = await startGuarded('sh', ['-c', `exec ${startCommand}`], { logFile });
      const started = () => this.log().slice(logStart);
      await waitFor(async () => {
        if (!running(broker)) throw new Error(`the broker (${startCommand}) ended at once:\n${started()}`);
        return /mosquitto version \S+ running/.test(started()) && await accepts(port) && (tls || await accepts(wsPort));
      }, START_MS, () => `the broker (${startCommand}) did not accept connections:\n${started()}`);
      if (!tls) return;
      front = await startGuarded('sh', ['-c', `exec ${frontCommand}`], { logFile });
      await waitFor(async () => {
        if (!running(front)) throw new Error(`stunnel (${frontCommand}) ended at once:\n${started()}`);
        return accepts(wsPort);
      }, START_MS, () => `stunnel (${frontCommand}) did not accept connections:\n${started()}`);
    },
    // SIGTERM, as an operator stops it: it saves the retained messages.
    async stop() {
      await endProcess(front, 'SIGTERM', 10000);
      await endProcess(broker, 'SIGTERM', 10000);
    },
  };
}

// The venue's folder below `base`, with `stations` added, and its broker running (with `tls`,
// the page behind stunnel as well).
export async function startVenue(base, { tools, stations, tls = false }) {
  // Another program may take a free port between the look and the broker's bind: new ports then.
  for (let attempt = 1; ; ++attempt) {
    const venue = await initVenue(path.join(base, `venue's folder ${attempt}`), tools, stations, tls);
    try {
      await venue.start();
      return venue;
    } catch (error) {
      await venue.stop();
      if (attempt === 3 || !venue.log().includes('Address already in use')) throw error;
    }
  }
}
