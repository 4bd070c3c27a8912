// TEST STAND-IN for nerq-station agents, until the real agent can take its place here. Each
// stand-in speaks the README's MQTT interface as a station (its own user, its last will, its
// retained status, answers to launch and calibrate) and records what it carried out.
//
// The browser test reaches stations only through startStations() and the handle it returns:
//   launches(id)  the gameIds launched on that station, in order
//   commands(id)  the command payloads that reached it (with the MQTT 5 expiry they came with)
//   kill(id)      the station dies without a goodbye: the broker's last will says offline
//   endGame(id)   the running game ends on the station (it may be cut off from the broker)
//   freeze(id)    the station stops answering while its connection stays up
//   stop()        all of them end
// Real agents would start `nerq-station --config <station.conf>` per station with their device
// blocks under NERQ_BLOCK_PREFIX and native games whose launchers record that they ran; kill is
// SIGKILL, endGame ends the native game's process, freeze is SIGSTOP.
import { mqtt } from './deps.mjs';

export const STATION_ACL = (id) => [
  `topic write nerq/v1/stations/${id}/status`,
  `topic write nerq/v1/stations/${id}/results`,
  `topic read nerq/v1/stations/${id}/commands`,
  'topic read nerq/v1/catalogue',
  'topic read nerq/v1/pictures/#',
];

class StandIn {
  constructor(broker, id, { password, installed, deviceService = true }) {
    this.id = id;
    this.installed = installed; // gameIds, or null for every venue game
    this.deviceService = deviceService;
    this.venueGames = [];
    this.revision = null;
    this.runningGame = null;
    this.lastLaunch = null;
    this.since = Date.now();
    this.done = new Map(); // command id -> result, so a command runs once
    this.received = [];
    this.launched = [];
    this.frozen = false;
    this.client = mqtt.connect(broker.url, {
      protocolVersion: 5,
      username: id,
      password,
      clientId: `station-${id}`,
      reconnectPeriod: 300,
      will: { topic: this.topic('status'), payload: JSON.stringify(this.status(false, null)), qos: 1, retain: true },
    });
    this.client.on('connect', () => {
      this.since = Date.now();
      this.client.subscribe([this.topic('commands'), 'nerq/v1/catalogue'], { qos: 1 });
      this.publishStatus();
    });
    this.client.on('message', (topic, payload, packet) => this.onMessage(topic, payload, packet));
  }

  topic(leaf) {
    return `nerq/v1/stations/${this.id}/${leaf}`;
  }

  hiddenGames() {
    return this.installed ? this.venueGames.filter((g) => !this.installed.includes(g)) : [];
  }

  status(online, since) {
    return {
      online, station: this.id, version: 'stand-in', host: `pc-${this.id}`, since,
      runningGame: online ? this.runningGame : null, steamRunningAppId: 0, lastLaunch: this.lastLaunch,
      catalogueRevision: this.revision, hiddenGames: this.hiddenGames(), deviceService: online && this.deviceService,
    };
  }

  publishStatus() {
    if (this.client.connected) {
      this.client.publish(this.topic('status'), JSON.stringify(this.status(true, this.since)), { qos: 1, retain: true });
    }
  }

  onMessage(topic, payload, packet) {
    if (this.frozen) return;
    let message;
    try {
      message = JSON.parse(payload.toString());
      if (topic === 'nerq/v1/catalogue' && (typeof message.revision !== 'string' || !Array.isArray(message.en))) return;
    } catch {
      return; // as an agent does with a bad payload, bar the warning
    }
    if (topic === 'nerq/v1/catalogue') {
      this.revision = message.revision;
      this.venueGames = message.en.map((g) => g.gameId);
      this.publishStatus();
      return;
    }
    const command = message;
    this.received.push({ ...command, messageExpiryInterval: packet.properties?.messageExpiryInterval });
    let result = this.done.get(command.id);
    if (!result) {
      result = this.carryOut(command);
      this.done.set(command.id, result);
    }
    this.client.publish(this.topic('results'), JSON.stringify({ id: command.id, station: this.id, ...result, at: Date.now() }), { qos: 1 });
    this.publishStatus();
  }

  carryOut(command) {
    if (!(command.expires > Date.now())) return { ok: false, error: 'expired' };
    if (command.command === 'calibrate') return { ok: true };
    if (command.command !== 'launch') return { ok: false, error: `unknown command "${command.command}"` };
    if (!this.venueGames.includes(command.gameId) || this.hiddenGames().includes(command.gameId)) {
      return { ok: false, error: `unknown game "${command.gameId}"` };
    }
    this.runningGame = command.gameId;
    this.lastLaunch = { gameId: command.gameId, at: Date.now(), by: command.by ?? 'desk' };
    this.launched.push(command.gameId);
    return { ok: true };
  }

  kill() {
    // No DISCONNECT: to the broker this is a station that died, and its will goes out.
    this.client.options.reconnectPeriod = 0;
    this.client.stream.destroy();
    this.client.end(true);
  }
}

// specs: { id: { installed?, deviceService? } }; passwords: id -> password.
export async function startStations(broker, specs, passwords) {
  const standIns = new Map();
  for (const [id, spec] of Object.entries(specs)) {
    standIns.set(id, new StandIn(broker, id, { ...spec, password: passwords[id] }));
  }
  await Promise.all([...standIns.values()].map((s) => new Promise((resolve) => {
    if (s.client.connected) resolve();
    else s.client.once('connect', resolve);
  })));
  const get = (id) => standIns.get(id);
  return {
    launches: (id) => [...get(id).launched],
    commands: (id) => [...get(id).received],
    kill: (id) => get(id).kill(),
    endGame: (id) => {
      get(id).runningGame = null;
      get(id).publishStatus();
    },
    freeze: (id) => {
      get(id).frozen = true;
    },
    stop: () => Promise.all([...standIns.values()].map((s) => new Promise((resolve) => s.client.end(true, {}, resolve)))),
  };
}
