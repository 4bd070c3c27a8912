// The venue's real broker: `nerq-venue init` (the built one) writes its folder, on free loopback
// ports, `nerq-venue add-station` adds the stations, and Mosquitto runs with the very command
// init printed, serving the page from the http_dir init chose (console/ beside nerq-venue). The
// folder's name holds a space and a quote, as an operator's may.
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { endProcess, readText, running, startGuarded, waitFor } from './processes.mjs';

const START_MS = 10000;

// Two ports nothing listens on at this moment.
async function freePorts() {
  const servers = [net.createServer(), net.createServer()];
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

// The [broker] section of console.conf or a station's file.
function readIni(file) {
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

async function initVenue(dir, tools, stations) {
  const venueTool = path.join(tools, 'nerq-venue');
  const [port, wsPort] = await freePorts();
  const output = await must(venueTool, ['init', dir, '--host', '127.0.0.1', '--port', port, '--ws-port', wsPort].map(String));
  const lines = output.split('\n');
  const startCommand = lines[lines.findIndex((l) => l.startsWith('Start the broker')) + 1]?.trim();
  const page = /The desk's page: (\S+)/.exec(output)?.[1];
  if (!startCommand || !page) throw new Error(`nerq-venue init printed no start command or page:\n${output}`);
  for (const id of stations) await must(venueTool, ['add-station', dir, id]);

  const logFile = path.join(dir, '..', `${path.basename(dir)}.log`);
  const consoleConf = path.join(dir, 'console.conf');
  let broker = null;
  return {
    dir, port, wsPort, page, startCommand, consoleConf,
    url: `mqtt://127.0.0.1:${port}`,
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
        return /mosquitto version \S+ running/.test(started()) && await accepts(port) && await accepts(wsPort);
      }, START_MS, () => `the broker (${startCommand}) did not accept connections:\n${started()}`);
    },
    // SIGTERM, as an operator stops it: it saves the retained messages.
    async stop() {
      await endProcess(broker, 'SIGTERM', 10000);
    },
  };
}

// The venue's folder below `base`, with `stations` added, and its broker running.
export async function startVenue(base, { tools, stations }) {
  // Another program may take a free port between the look and the broker's bind: new ports then.
  for (let attempt = 1; ; ++attempt) {
    const venue = await initVenue(path.join(base, `venue's folder ${attempt}`), tools, stations);
    try {
      await venue.start();
      return venue;
    } catch (error) {
      await venue.stop();
      if (attempt === 3 || !venue.log().includes('Address already in use')) throw error;
    }
  }
}
