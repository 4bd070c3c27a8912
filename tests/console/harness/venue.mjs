// The desk's side of the test: a client with the desk's rights that publishes the venue
// catalogue (the demo games, as `nerq-venue catalogue publish` would) and watches commands.
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { mqtt } from './deps.mjs';

export async function deskClient(broker, password) {
  const client = mqtt.connect(broker.url, { protocolVersion: 5, username: 'desk', password, clientId: 'test-desk', reconnectPeriod: 300 });
  await new Promise((resolve, reject) => {
    client.once('connect', resolve);
    client.once('error', reject);
  });
  const commands = [];
  client.on('message', (topic, payload) => {
    if (topic.endsWith('/commands')) commands.push({ topic, ...JSON.parse(payload.toString()) });
  });
  await client.subscribeAsync('nerq/v1/stations/+/commands', { qos: 1 });
  return {
    client,
    commands,
    publish: (topic, payload, retain = true) => client.publishAsync(topic, payload, { qos: 1, retain }),
    end: () => client.endAsync(),
  };
}

// Publishes game/'s catalogues and pictures; `names` renames games in both languages.
export async function publishCatalogue(desk, gameDir, names = {}) {
  const read = (language) => JSON.parse(fs.readFileSync(path.join(gameDir, `data_${language}.json`), 'utf8'))
    .map((g) => (names[g.gameId] ? { ...g, gameName: names[g.gameId] } : g));
  const en = read('en');
  const cn = read('cn');
  const pictures = {};
  for (const game of en) {
    const bytes = fs.readFileSync(path.join(gameDir, 'images', path.basename(game.imgPath)));
    const sha = crypto.createHash('sha256').update(bytes).digest('hex');
    pictures[game.imgPath] = sha;
    await desk.publish(`nerq/v1/pictures/${sha}`, bytes);
  }
  const revision = crypto.createHash('sha256').update(JSON.stringify({ en, cn, pictures })).digest('hex').slice(0, 16);
  await desk.publish('nerq/v1/catalogue', JSON.stringify({ revision, en, cn, pictures, published: Date.now() }));
  return { revision, en, cn };
}
