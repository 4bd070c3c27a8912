// The venue's pictures on a freshly opened page: a catalogue of 30 games with 150 KB pictures,
// as Steam's are, published by the real nerq-venue beside the page the real broker serves. The
// page takes them as a file; published where that file cannot be written, from the broker over
// MQTT instead. Prints how long a fresh page took to show them all.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { startVenue } from './harness/broker.mjs';
import { openBrowser } from './harness/browser.mjs';
import { writeGames } from './harness/pictures.mjs';
import { deskClient, publishCatalogue } from './harness/venue.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
const runtime = process.env.NERQ_RUNTIME_DIR ?? path.resolve(here, '../../build/bin');
const tools = process.env.NERQ_TOOLS_DIR ?? runtime;
const GAMES = 30;
const PICTURE_BYTES = 150 * 1024;
// Over MQTT through the broker's websockets listener these 4.5 MB took minutes; as files a
// second or two. A bound far above that, so a loaded machine does not fail it.
const BOUND_MS = 15000;

let dir, venue, desk, browser, page, revision;

before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'nerq-pictures-'));
  venue = await startVenue(dir, { tools, stations: [] });
  desk = await deskClient(venue);
  writeGames(path.join(dir, 'games'), GAMES, PICTURE_BYTES);
  revision = await publishCatalogue(venue, path.join(dir, 'desk'), path.join(dir, 'games'));
  // A station for the page to pick, so that the game picker opens.
  await desk.publish('nerq/v1/stations/st01/status', JSON.stringify({ online: true, station: 'st01', since: Date.now() }));
  browser = await openBrowser(dir, { width: 1280, height: 800 });
  page = browser.page;
});

after(async () => {
  for (const end of [() => browser?.context.close(), () => desk?.end(), () => venue?.stop()]) {
    await Promise.resolve().then(end).catch((error) => console.error(error));
  }
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

// In the page: every tile of the picker has its picture, decoded.
const everyPictureShown = (count) => {
  const images = [...document.querySelectorAll('.tile img')];
  return images.length === count && images.every((img) => img.complete && img.naturalWidth > 0);
};

async function signInAndPick() {
  await page.fill('#password', venue.desk.password);
  const started = Date.now();
  await page.click('#sign-in-button');
  await page.locator('[data-station="st01"]').click();
  await page.click('#start-game');
  await page.waitForFunction(everyPictureShown, GAMES, { timeout: BOUND_MS, polling: 20 });
  return Date.now() - started;
}

test('a fresh page shows all 30 pictures of 150 KB as files from the broker\'s page folder', async () => {
  assert.deepEqual(fs.readdirSync(path.join(venue.dir, 'page', 'pictures')), [revision]);
  await page.goto(venue.page);
  const took = await signInAndPick();
  console.log(`pictures: ${GAMES} of ${PICTURE_BYTES / 1024} KB on a fresh page, from signing in to the last ` +
    `one shown: ${took} ms`);
  assert.ok(await page.evaluate(everyPictureShown, GAMES));
  assert.deepEqual(browser.problems, []);
});

test('published by a desk that cannot reach the page\'s folder, the pictures come from the broker', async () => {
  // The desk's file as a PC other than the broker's has it: it names no page folder.
  const elsewhere = path.join(dir, 'elsewhere.conf');
  const conf = fs.readFileSync(venue.consoleConf, 'utf8');
  fs.writeFileSync(elsewhere, conf.slice(0, conf.indexOf('[desk]')), { mode: 0o600 });
  writeGames(path.join(dir, 'few'), 3, 20 * 1024);
  const output = [];
  await desk.publish('nerq/v1/stations/st01/status', ''); // a station that never follows would hold it up
  await publishCatalogue(venue, path.join(dir, 'desk-elsewhere'), path.join(dir, 'few'), {}, { config: elsewhere, output });
  assert.match(output[0], /not beside the desk's page/);
  await page.waitForFunction(everyPictureShown, 3, { timeout: BOUND_MS });
  await page.keyboard.press('Escape');
  await page.click('#log summary');
  await page.locator('#log-lines li', { hasText: 'asking the broker for 3 picture(s)' }).waitFor();
});
