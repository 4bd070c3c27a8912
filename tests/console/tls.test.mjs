// The desk's page over TLS (nerq-venue init --tls): Debian's Chromium that trusts the venue's CA,
// as a desk PC or tablet does once its CA is imported, opens https:// and signs in over wss://;
// one that does not trust it gets neither the page nor the floor. The trust is Chromium's own
// check of the certificate chain against an NSS database, nothing ignored.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { startVenue } from './harness/broker.mjs';
import { homeTrusting, openBrowser } from './harness/browser.mjs';
import { deskClient } from './harness/venue.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
const runtime = process.env.NERQ_RUNTIME_DIR ?? path.resolve(here, '../../build/bin');
const tools = process.env.NERQ_TOOLS_DIR ?? runtime;

let dir, venue, desk;
const browsers = [];

before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'nerq-tls-'));
  venue = await startVenue(dir, { tools, stations: [], tls: true });
  desk = await deskClient(venue);
  await desk.publish('nerq/v1/stations/st01/status', JSON.stringify({ online: true, station: 'st01', since: Date.now() }));
});

after(async () => {
  for (const end of [...browsers.map((b) => () => b.context.close()), () => desk?.end(), () => venue?.stop()]) {
    await Promise.resolve().then(end).catch((error) => console.error(error));
  }
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

async function browserIn(name, home) {
  const browser = await openBrowser(path.join(dir, name), { width: 1280, height: 800 }, { home });
  browsers.push(browser);
  const sockets = [];
  browser.page.on('websocket', (socket) => sockets.push(socket.url()));
  return { page: browser.page, sockets };
}

test('trusting the venue\'s CA, a desk PC opens the page over https:// and signs in over wss://', async () => {
  assert.match(venue.page, /^https:\/\/127\.0\.0\.1:\d+\/$/);
  const home = homeTrusting(path.join(dir, 'trusting-home'), path.join(venue.dir, 'venue-ca.crt'));
  const { page, sockets } = await browserIn('trusting', home);
  await page.goto(venue.page);
  await page.fill('#password', venue.desk.password);
  await page.click('#sign-in-button');
  await page.locator('[data-station="st01"]').waitFor();
  assert.deepEqual(sockets, [`wss://127.0.0.1:${venue.wsPort}/mqtt`]);
});

test('not trusting it, a tablet gets no page and no floor', async () => {
  const { page, sockets } = await browserIn('untrusting');
  await assert.rejects(page.goto(venue.page), /ERR_CERT_AUTHORITY_INVALID/);
  assert.equal(await page.locator('[data-station="st01"]').count(), 0);
  assert.deepEqual(sockets, []);
});
