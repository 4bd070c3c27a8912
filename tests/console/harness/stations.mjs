// Station PCs around the real nerq-station agents: each has a home of its own (the XDG folders),
// the catalogue folder the program would run in, device blocks of its own (the test's block
// prefix plus "<id>."), and a PATH on which xdg-open is a recorder. Its installed games are
// native: their launchers note that they ran and then run until the test ends them.
//
// The browser test reaches stations only through startStations() and the handle it returns:
//   launches(id)   the games whose launchers ran on that station, in order
//   gameMode(id)   the game-mode record the agent wrote into the station's block ("START2")
//   calibrationRequested(id)  whether a calibration request is in the station's block
//   catalogue(id)  the gameIds the station's catalogue lists now
//   kill(id)       SIGKILL: the broker's last will says offline
//   endGame(id)    the running game's process ends (the station may be cut off from the broker)
//   freeze(id), resume(id)  SIGSTOP and SIGCONT: no answer while its connection stays open
//   place(id)      { id, conf, runtime, dir }: its station.conf, the runtime folder where its
//                  agent listens for nerq-headset, its folder (startHeadset() takes these)
//   stop()         every agent and game ends
import fs from 'node:fs';
import path from 'node:path';
import { endProcess, readText, running, startGuarded, waitFor } from './processes.mjs';

const CONNECT_MS = 10000;
const lines = (file) => readText(file).split('\n').filter(Boolean);
const quoted = (text) => `'${text.replaceAll("'", "'\\''")}'`;

function writeFile(file, content, mode = 0o644) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, content, { mode });
}

// A native game's entry as the program's catalogue holds it.
export const nativeEntry = (gameId, fields = {}) => ({
  gameId, gameName: gameId, imgPath: '', isNative: true, launcherPath: `./game/native/${gameId}.sh`, steamGameId: 0,
  gameMode: 0, ...fields,
});

// libfaketime's library (Debian's faketime), which moves a program's wall clock.
function fakeTimeLibrary() {
  for (const dir of ['/usr/lib', ...fs.readdirSync('/usr/lib').map((d) => path.join('/usr/lib', d))]) {
    const file = path.join(dir, 'faketime', 'libfaketime.so.1');
    if (fs.existsSync(file)) return file;
  }
  throw new Error('libfaketime is missing: run scripts/setup.sh');
}

class Station {
  // clockOffset: seconds the agent's wall clock is moved by (its monotonic clock stays true).
  constructor(base, id, conf, { installed, deviceService = true, clockOffset = 0, tools }) {
    this.id = id;
    this.clockOffset = clockOffset;
    this.conf = conf;
    this.tools = tools;
    this.dir = path.join(base, `station ${id}`);
    this.catalogueDir = path.join(this.dir, 'catalogue');
    this.home = path.join(this.dir, 'home');
    // The runtime folder, the user's alone as QStandardPaths wants it: the agent's local socket.
    this.runtime = path.join(this.dir, 'run');
    this.prefix = `${process.env.NERQ_BLOCK_PREFIX ?? 'nerqtest.console.'}${id}.`;
    this.agent = null;
    fs.mkdirSync(this.home, { recursive: true });
    fs.mkdirSync(this.runtime, { recursive: true, mode: 0o700 });
    writeFile(path.join(this.dir, 'bin', 'xdg-open'), `#!/bin/sh\necho "$1" >> ${quoted(this.file('opened'))}\n`, 0o755);
    // Each game notes its start and its process, then runs until endGame() or the test is gone.
    for (const gameId of installed) {
      writeFile(path.join(this.catalogueDir, 'game', 'native', `${gameId}.sh`), [
        '#!/bin/sh',
        `echo ${gameId} >> ${quoted(this.file('launched'))}`,
        `echo $$ >> ${quoted(this.file('games'))}`,
        `while [ ! -e ${quoted(this.file('end'))} ] && kill -0 ${process.pid} 2>/dev/null; do sleep 0.1; done`,
        '',
      ].join('\n'), 0o755);
    }
    // Its own catalogue to begin with: the games installed, until it follows the venue's.
    const own = JSON.stringify(installed.map((gameId) => nativeEntry(gameId)), null, 1);
    for (const language of ['en', 'cn']) writeFile(path.join(this.catalogueDir, 'game', `data_${language}.json`), own);
    // The device service makes its quit-flag block; the agent reports whether it is there.
    if (deviceService) writeFile(this.block('NerqVRPlatform'), '\0', 0o600);
  }

  file(name) {
    return path.join(this.dir, name);
  }

  block(name) {
    return `/dev/shm/${this.prefix}${name}`;
  }

  gameProcesses() {
    return lines(this.file('games')).map(Number).filter((pid) => {
      try {
        process.kill(pid, 0);
        return true;
      } catch {
        return false;
      }
    });
  }

  async start() {
    const log = this.file('agent.log');
    const before = readText(log).split('Broker: connected').length;
    this.agent = await startGuarded(path.join(this.tools, 'nerq-station'),
      ['--config', this.conf, '--catalogue-dir', this.catalogueDir], {
        logFile: log,
        env: {
          ...process.env,
          HOME: this.home,
          XDG_CONFIG_HOME: path.join(this.home, '.config'),
          XDG_DATA_HOME: path.join(this.home, '.local/share'),
          XDG_STATE_HOME: path.join(this.home, '.local/state'),
          XDG_RUNTIME_DIR: this.runtime,
          PATH: `${path.join(this.dir, 'bin')}:${process.env.PATH}`,
          NERQ_BLOCK_PREFIX: this.prefix,
          ...(this.clockOffset ? {
            LD_PRELOAD: fakeTimeLibrary(), FAKETIME: `${this.clockOffset > 0 ? '+' : ''}${this.clockOffset}`,
            FAKETIME_DONT_FAKE_MONOTONIC: '1',
          } : {}),
        },
      });
    await waitFor(() => {
      if (!running(this.agent)) throw new Error(`nerq-station ${this.id} ended:\n${readText(log)}`);
      return readText(log).split('Broker: connected').length > before;
    }, CONNECT_MS, () => `nerq-station ${this.id} did not connect:\n${readText(log)}`);
  }

  async endGame() {
    writeFile(this.file('end'), '');
    await waitFor(() => this.gameProcesses().length === 0, 5000, `the games on ${this.id} did not end`);
    fs.rmSync(this.file('end'));
  }

  async stop() {
    await endProcess(this.agent, 'SIGKILL');
    for (const pid of this.gameProcesses()) process.kill(pid, 'SIGKILL');
    for (const name of fs.readdirSync('/dev/shm').filter((n) => n.startsWith(this.prefix))) {
      fs.rmSync(path.join('/dev/shm', name), { force: true });
    }
  }
}

// floor: { id: { installed: [gameId], deviceService?, clockOffset? } }; each station added to the venue.
export async function startStations(venue, floor, { base, tools }) {
  const stations = new Map();
  const get = (id) => stations.get(id);
  const handle = {
    launches: (id) => lines(get(id).file('launched')),
    gameMode: (id) => {
      const record = readText(get(id).block('Velkano_Game'));
      return record.slice(0, record.indexOf('\0') < 0 ? undefined : record.indexOf('\0'));
    },
    calibrationRequested: (id) => readText(get(id).block('Velkano_Memory')).startsWith('Calibration'),
    catalogue: (id) => {
      const file = path.join(get(id).catalogueDir, 'game', 'data_en.json');
      return JSON.parse(readText(file) || '[]').map((game) => game.gameId);
    },
    kill: (id) => endProcess(get(id).agent, 'SIGKILL'),
    endGame: (id) => get(id).endGame(),
    freeze: (id) => get(id).agent.kill('SIGSTOP'),
    resume: (id) => get(id).agent.kill('SIGCONT'),
    log: (id) => readText(get(id).file('agent.log')),
    place: (id) => ({ id, conf: get(id).conf, runtime: get(id).runtime, dir: get(id).dir }),
    stop: () => Promise.all([...stations.values()].map((s) => s.stop())),
  };
  try {
    for (const [id, setup] of Object.entries(floor)) {
      stations.set(id, new Station(base, id, venue.stationConf(id), { ...setup, tools }));
    }
    await Promise.all([...stations.values()].map((s) => s.start()));
  } catch (error) {
    await handle.stop();
    throw error;
  }
  return handle;
}
