// The desk PC's recorder and stand-ins for stations that speak as an agent does on the wire: the
// real nerq-recorder on the venue's folder, and MQTT clients with each station's own credentials
// that publish its status and its events. A stand-in answers a command only when told to, and
// carries out nothing.
import dgram from 'node:dgram';
import path from 'node:path';
import { mqtt } from './deps.mjs';
import { readIni } from './broker.mjs';
import { endProcess, readText, running, startGuarded, waitFor } from './processes.mjs';

// nerq-recorder on the venue's folder; its wake packets go to `wakeTo` (loopback) only.
export async function startRecorder(venue, { tools, wakeTo }) {
  const logFile = path.join(venue.dir, '..', 'recorder.log');
  const child = await startGuarded(path.join(tools, 'nerq-recorder'), [venue.dir, '--wake-to', wakeTo], { logFile });
  await waitFor(() => {
    if (!running(child)) throw new Error(`nerq-recorder ended:\n${readText(logFile)}`);
    return /Broker: connected|connected to/i.test(readText(logFile));
  }, 10000, () => `nerq-recorder did not connect:\n${readText(logFile)}`);
  return { log: () => readText(logFile), stop: () => endProcess(child, 'SIGTERM', 5000) };
}

// A UDP listener on loopback that keeps every datagram, to check the magic packets by.
export async function packetListener() {
  const socket = dgram.createSocket('udp4');
  const packets = [];
  socket.on('message', (bytes) => packets.push(bytes));
  await new Promise((resolve) => socket.bind(0, '127.0.0.1', resolve));
  return { packets, target: `127.0.0.1:${socket.address().port}`, close: () => new Promise((resolve) => socket.close(resolve)) };
}

// The MAC address a magic packet wakes, or null when it is none (6 bytes 0xFF, then the MAC 16 times).
export function magicMac(bytes) {
  if (bytes.length !== 102 || !bytes.subarray(0, 6).every((b) => b === 0xff)) return null;
  const mac = bytes.subarray(6, 12);
  for (let i = 1; i < 16; ++i) if (!bytes.subarray(6 + 6 * i, 12 + 6 * i).equals(mac)) return null;
  return [...mac].map((b) => b.toString(16).padStart(2, '0')).join(':');
}

// A station on the wire: its status (retained, as an agent sends it), its events in sequence, and
// the commands it receives.
export async function standInStation(venue, id) {
  const conf = readIni(venue.stationConf(id));
  const client = mqtt.connect(venue.url, {
    protocolVersion: 5, username: conf.station, password: conf.password, clientId: `stand-in-${id}`, reconnectPeriod: 300,
  });
  await new Promise((resolve, reject) => {
    client.once('connect', resolve);
    client.once('error', reject);
  });
  const commands = [];
  client.on('message', (topic, payload) => commands.push(JSON.parse(payload.toString())));
  await client.subscribeAsync(`nerq/v1/stations/${id}/commands`, { qos: 1 });
  let seq = 0;
  return {
    commands,
    status: (fields) => client.publishAsync(`nerq/v1/stations/${id}/status`, JSON.stringify({ station: id, ...fields }),
      { qos: 1, retain: true, properties: { messageExpiryInterval: 315360000 } }),
    event: (type, at, fields = {}) => {
      seq += 1;
      const event = { id: `${id}:${seq}`, station: id, seq, type, at, ...fields };
      return client.publishAsync(`nerq/v1/stations/${id}/events`, JSON.stringify(event), { qos: 1 });
    },
    answer: (command, ok, error) => client.publishAsync(`nerq/v1/stations/${id}/results`,
      JSON.stringify({ id: command.id, station: id, ok, ...(error ? { error } : {}), at: Date.now() }), { qos: 1 }),
    publish: (topic, payload) => client.publishAsync(topic, payload, { qos: 1 }),
    end: () => client.endAsync(true),
  };
}
