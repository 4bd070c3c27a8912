// The desk's side of the test: a client with the desk's credentials from console.conf that
// watches the commands and can publish what no station would, and the venue catalogue
// published by the real `nerq-venue catalogue publish` from a desk's catalogue folder.
import fs from 'node:fs';
import path from 'node:path';
import { mqtt } from './deps.mjs';
import { nativeEntry } from './stations.mjs';

// Nothing the desk sends waits more than 5 s for the broker.
const within = (promise, what) => Promise.race([promise, new Promise((_, reject) => {
  setTimeout(() => reject(new Error(`the broker did not take ${what} within 5 s`)), 5000).unref();
})]);

export async function deskClient(venue) {
  const client = mqtt.connect(venue.url, {
    protocolVersion: 5, username: venue.desk.user, password: venue.desk.password, clientId: 'test-desk',
    reconnectPeriod: 300, connectTimeout: 10000, ca: venue.ca,
  });
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      client.end(true);
      reject(new Error(`the desk could not connect to ${venue.url} within 10 s`));
    }, 10000);
    client.once('connect', () => resolve(clearTimeout(timer)));
    client.once('error', reject);
  });
  const commands = [];
  client.on('message', (topic, payload, packet) => {
    if (topic.endsWith('/commands')) {
      commands.push({ topic, ...JSON.parse(payload.toString()), messageExpiryInterval: packet.properties?.messageExpiryInterval });
    }
  });
  await within(client.subscribeAsync('nerq/v1/stations/+/commands', { qos: 1 }), 'the subscription');
  return {
    client,
    commands,
    publish: (topic, payload, retain = true) => within(client.publishAsync(topic, payload, { qos: 1, retain }), topic),
    end: () => client.endAsync(true),
  };
}

// Writes into deskDir the program's demo games (names, modes, pictures from gameDir) as native
// games, `names` renaming some in both languages, and publishes them: the stations follow it
// before this returns (nerq-venue waits for every online station). Gives the revision; with
// `config`, nerq-venue runs with that desk's file in place of the venue's console.conf.
export async function publishCatalogue(venue, deskDir, gameDir, names = {}, { config, output: seen } = {}) {
  fs.mkdirSync(path.join(deskDir, 'game', 'images'), { recursive: true });
  fs.mkdirSync(path.join(deskDir, 'res'), { recursive: true });
  for (const language of ['en', 'cn']) {
    const games = JSON.parse(fs.readFileSync(path.join(gameDir, `data_${language}.json`), 'utf8')).map((g) =>
      nativeEntry(g.gameId, { gameName: names[g.gameId] ?? g.gameName, imgPath: g.imgPath, gameMode: g.gameMode }));
    for (const game of games) {
      const picture = path.basename(game.imgPath);
      fs.copyFileSync(path.join(gameDir, 'images', picture), path.join(deskDir, 'game', 'images', picture));
    }
    fs.writeFileSync(path.join(deskDir, 'game', `data_${language}.json`), JSON.stringify(games, null, 1));
  }
  const args = ['catalogue', 'publish', '--catalogue-dir', deskDir, '--wait', '10'];
  const { status, output } = await (config ? venue.run([...args, '--config', config]) : venue.runDesk(args));
  seen?.push(output);
  const revision = /Published venue catalogue (\S+):/.exec(output)?.[1];
  // Every online station follows it before the test goes on.
  if (status !== 0 || !revision || /^ {2}\S+: (not yet|still on .+)$/m.test(output)) {
    throw new Error(`nerq-venue catalogue publish exited with ${status}:\n${output}`);
  }
  return revision;
}

// Opens the venue's page and signs in as the desk.
export async function signInAsDesk(page, venue) {
  await page.goto(venue.page);
  await page.fill('#user', venue.desk.user);
  await page.fill('#password', venue.desk.password);
  await page.click('#sign-in-button');
}
