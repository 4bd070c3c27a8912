// The page's "Today" view and its opening and closing of the venue, in Debian's Chromium against the
// venue's real broker and the real nerq-recorder: stand-ins publish a day's events as stations do,
// the recorder's retained summary reaches the page (and the page's reader takes it as it is), the
// figures and each station's timeline show; "Open the venue" has the recorder send magic packets
// (to a loopback listener only) and "Close the venue" asks once and sends power off only to the
// stations not in a session. Screenshots go to NERQ_CONSOLE_SHOTS.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { startVenue } from './harness/broker.mjs';
import { deskClient } from './harness/venue.mjs';
import { magicMac, packetListener, standInStation, startRecorder } from './harness/books.mjs';
import { openBrowser } from './harness/browser.mjs';
import { waitFor } from './harness/processes.mjs';
import { readToday } from '../../console/src/payloads.js';

const here = path.dirname(new URL(import.meta.url).pathname);
const runtime = process.env.NERQ_RUNTIME_DIR ?? path.resolve(here, '../../build/bin');
const tools = process.env.NERQ_TOOLS_DIR ?? runtime;
const shots = process.env.NERQ_CONSOLE_SHOTS ?? path.join(runtime, '..', 'console-shots');
const MACS = { st01: '02:00:00:00:00:01', st02: '02:00:00:00:00:02', st03: '02:00:00:00:00:03' };
// The recorder sums the day up at most every 10 s.
const SUMMARY_MS = 15000;

let dir, venue, desk, recorder, listener, browser, page;
const stations = {};
let day = null; // the summary as the broker keeps it

// The day played below is the last hour, and it must all be today's: the recorder sums up the day in
// its own zone, which is this process's. Just after midnight there is no such hour, so the test and
// every program it starts move to a fixed-offset zone where it is midday.
const HOUR = 3600000;
if (Date.now() - new Date().setHours(0, 0, 0, 0) < 2 * HOUR) {
  const ahead = 12 - new Date().getUTCHours(); // hours from UTC to midday, -11 to 12
  process.env.TZ = ahead >= 0 ? `Etc/GMT-${ahead}` : `Etc/GMT+${-ahead}`; // POSIX signs: GMT-5 is UTC+5
}

function clock() {
  const now = Date.now();
  return (minutesAgo) => Math.round(now - minutesAgo * 60000);
}

// st01: a session of 10 + 5 minutes with a game and an answered help call, ended on time.
// st02: in a session now, its game running, a help call waiting. st03: off for a while, a launch
// that failed, then stopped cleanly.
async function playTheDay() {
  const ago = clock();
  const network = (id) => [{ mac: MACS[id], broadcast: '127.255.255.255' }];
  for (const id of ['st01', 'st02']) await stations[id].status({ online: true, since: ago(58), at: Date.now(), network: network(id) });
  await stations.st03.status({ online: false, since: ago(5), at: ago(5), network: network('st03') });
  const { st01, st02, st03 } = stations;
  await st01.event('online', ago(58));
  await st01.event('session-started', ago(50), { session: 's1', seconds: 600, gameId: 'orbit' });
  await st01.event('game-started', ago(50), { gameId: 'orbit', by: 'desk', session: 's1' });
  await st01.event('help-called', ago(45), { session: 's1' });
  await st01.event('help-answered', ago(44), { by: 'desk', calledAt: ago(45) });
  await st01.event('session-extended', ago(41), { session: 's1', seconds: 300 });
  await st01.event('game-ended', ago(35), { gameId: 'orbit', reason: 'time' });
  await st01.event('session-ended', ago(35), { session: 's1', reason: 'time', seconds: 900, playedSeconds: 900 });
  await st02.event('online', ago(57));
  await st02.event('session-started', ago(20), { session: 's2', seconds: 1800, gameId: null });
  await st02.event('game-started', ago(19), { gameId: 'zen', by: 'desk', session: 's2' });
  await st02.event('help-called', ago(10), { session: 's2' });
  await st03.event('online', ago(56));
  await st03.event('offline', ago(40));
  await st03.event('online', ago(30));
  await st03.event('command-failed', ago(28), { command: 'launch', commandId: 'c9', error: 'no such game', gameId: 'orbit' });
  await st03.event('offline', ago(5));
}

before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'nerq-today-'));
  fs.mkdirSync(shots, { recursive: true });
  venue = await startVenue(dir, { tools, stations: Object.keys(MACS) });
  desk = await deskClient(venue);
  listener = await packetListener();
  for (const id of Object.keys(MACS)) stations[id] = await standInStation(venue, id);
  recorder = await startRecorder(venue, { tools, wakeTo: listener.target });
  desk.client.on('message', (topic, payload) => {
    if (topic === 'nerq/v1/reports/today') day = payload;
  });
  await desk.client.subscribeAsync('nerq/v1/reports/today', { qos: 1 });
  await playTheDay();
  browser = await openBrowser(dir, { width: 1920, height: 1080 });
  page = browser.page;
  await page.goto(venue.page);
  await page.fill('#user', venue.desk.user);
  await page.fill('#password', venue.desk.password);
  await page.click('#sign-in-button');
  await page.locator('[data-station="st03"]').waitFor();
});

after(async () => {
  if (process.env.NERQ_CONSOLE_DEBUG) console.log(browser?.consoleLines.join('\n'), venue?.log(), recorder?.log());
  const ends = [() => browser?.context.close(), () => recorder?.stop(), () => listener?.close(), () => desk?.end(),
    ...Object.values(stations).map((s) => () => s.end()), () => venue?.stop()];
  for (const end of ends) await Promise.resolve().then(end).catch((error) => console.error(error));
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

const figure = (name) => page.locator(`[data-figure="${name}"] .value`).textContent();
const row = (id) => page.locator(`.timeline-row[data-station="${id}"]`);

test('the recorder\'s summary is what the page reads, whole', async () => {
  await waitFor(() => day && JSON.parse(day).figures.helpCalls === 2, SUMMARY_MS, () => `no summary of the day:\n${recorder.log()}`);
  const read = readToday(new Uint8Array(day));
  assert.equal(read.error, undefined, read.error);
  assert.deepEqual(read.value.stations.map((s) => s.station).sort(), ['st01', 'st02', 'st03']);
});

test('"Today": the day\'s figures, the games, each station\'s day drawn, in the desk\'s time zone', async () => {
  await page.click('#tab-today');
  await page.locator('[data-figure="helpCalls"] .value', { hasText: '2' }).waitFor({ timeout: SUMMARY_MS });
  assert.equal(await figure('sessions'), '2');
  assert.equal(await figure('minutesSold'), '45'); // st01's 10 and 5 more, st02's 30 bought
  assert.equal(await figure('launches'), '2');
  assert.equal(await figure('helpMedian'), '60 秒');
  assert.equal(await figure('failedStarts'), '1');
  const zone = JSON.parse(day).timeZone.replace(/[.*+?^${}()|[\]\\/]/g, '\\$&'); // "Etc/GMT+5" as a pattern
  assert.match(await page.locator('#today-zone').textContent(), new RegExp(`时区 ${zone}（UTC[+-]\\d\\d:\\d\\d）`));
  // Most played first: zen, running for 19 minutes now, before orbit's 15.
  assert.deepEqual(await page.locator('#today-games-body tr').evaluateAll((rows) => rows.map((r) => r.dataset.game)), ['zen', 'orbit']);
  // Drawn: st01's session ended with its game inside it and its help call answered; st02's
  // session and game still running, its call waiting; st03 offline for a stretch.
  assert.equal(await row('st01').locator('rect.session:not(.open)').count(), 1);
  assert.equal(await row('st01').locator('rect.game').count(), 1);
  assert.equal(await row('st01').locator('circle.help.answered').count(), 1);
  assert.equal(await row('st02').locator('rect.session.open').count(), 1);
  assert.equal(await row('st02').locator('circle.help.waiting').count(), 1);
  assert.ok(await row('st03').locator('rect.offline').count() >= 1);
  // A band lies within its row, and st01's game within its session.
  const box = (locator) => locator.boundingBox();
  const [session, game, line] = [await box(row('st01').locator('rect.session')), await box(row('st01').locator('rect.game')),
    await box(row('st01').locator('svg.timeline'))];
  assert.ok(session.width > 20, JSON.stringify(session));
  assert.ok(game.x >= session.x - 1 && game.x + game.width <= session.x + session.width + 1, JSON.stringify({ session, game }));
  assert.ok(session.x >= line.x && session.x + session.width <= line.x + line.width + 1);
  await page.screenshot({ path: path.join(shots, 'today-cn-1920x1080.png') });
  await page.click('#language');
  await page.locator('[data-figure="sessions"] .label', { hasText: 'Sessions' }).waitFor();
  await page.screenshot({ path: path.join(shots, 'today-en-1920x1080.png') });
  await page.setViewportSize({ width: 1280, height: 800 });
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 1280));
  await page.screenshot({ path: path.join(shots, 'today-en-1280x800.png'), fullPage: true });
  await page.click('#language');
  assert.deepEqual(browser.problems, []);
});

test('"Open the venue": the recorder sends a magic packet for every station, to loopback here', async () => {
  await page.click('#open-venue');
  await page.locator('#wake-result', { hasText: '已发送唤醒：st01、st02、st03' }).waitFor();
  await waitFor(() => listener.packets.length >= 3, 5000, 'no magic packets');
  assert.deepEqual(listener.packets.map(magicMac).sort(), Object.values(MACS));
  // A station may not ask: the broker refuses what it writes there, and nothing is sent.
  await stations.st01.publish('nerq/v1/wake', JSON.stringify({ id: 'sneaky', all: true })).catch(() => {});
  await new Promise((resolve) => setTimeout(resolve, 1500));
  assert.equal(listener.packets.length, 3);
  assert.doesNotMatch(recorder.log(), /sneaky/);
});

test('wake requests the recorder must not carry out are logged, and it goes on', async () => {
  const answers = [];
  desk.client.on('message', (topic, payload) => {
    if (topic === 'nerq/v1/reports/wake') answers.push(JSON.parse(payload.toString()));
  });
  await desk.client.subscribeAsync('nerq/v1/reports/wake', { qos: 1 });
  await desk.publish('nerq/v1/wake', 'not json', false);
  await desk.publish('nerq/v1/wake', JSON.stringify({ id: 'both', all: true, stations: ['st01'] }), false);
  await desk.publish('nerq/v1/wake', JSON.stringify({ id: 'named', stations: ['st09', 'st02'] }), false);
  await waitFor(() => answers.some((a) => a.id === 'named'), 5000, () => `no answer:\n${recorder.log()}`);
  assert.deepEqual(answers.map((a) => a.id), ['named']);
  assert.deepEqual(answers[0].stations, [{ station: 'st09', ok: false, error: 'no network address known' }, { station: 'st02', ok: true }]);
  // The packet and the answer come on different sockets, in either order.
  await waitFor(() => listener.packets.length >= 4, 5000, 'no magic packet for st02');
  assert.equal(listener.packets.length, 4);
  assert.equal(magicMac(listener.packets[3]), MACS.st02);
  assert.equal(recorder.log().match(/Wake: .*not carried out/g)?.length, 2, recorder.log());
  // Sent retained by mistake: carried out as it comes, but never again when the recorder starts again.
  await desk.publish('nerq/v1/wake', JSON.stringify({ id: 'kept', stations: ['st01'] }), true);
  await waitFor(() => answers.some((a) => a.id === 'kept'), 5000, 'no answer to the retained request');
  await waitFor(() => listener.packets.length >= 5, 5000, 'no magic packet for the retained request');
  await recorder.stop();
  recorder = await startRecorder(venue, { tools, wakeTo: listener.target });
  await waitFor(() => /a retained request, not carried out/.test(recorder.log()), 5000, () => recorder.log());
  assert.equal(listener.packets.length, 5);
  assert.equal(answers.filter((a) => a.id === 'kept').length, 1);
  await desk.publish('nerq/v1/wake', '', true);
});

test('"Close the venue": one question naming who stays on, then power off only where no session runs', async () => {
  const sentBefore = desk.commands.length;
  await page.click('#close-venue');
  const dialog = page.locator('#confirm-close');
  await dialog.waitFor();
  assert.equal(await page.locator('#close-off').textContent(), '将关机：st01');
  assert.equal(await page.locator('#close-stay').textContent(), '计时中，保持开机：st02');
  assert.equal(await page.locator('#close-offline').textContent(), '离线，不发送：st03');
  await page.screenshot({ path: path.join(shots, 'close-cn-1920x1080.png') });
  await page.click('#close-confirm');
  await waitFor(() => stations.st01.commands.length === 1, 5000, 'st01 got no power command');
  const [command] = stations.st01.commands;
  assert.equal(command.command, 'power');
  assert.equal(command.action, 'off');
  assert.equal(command.force, undefined);
  await stations.st01.answer(command, true);
  await page.click('#tab-floor');
  await page.locator('[data-station="st01"] .result.done', { hasText: '正在关机' }).waitFor();
  await new Promise((resolve) => setTimeout(resolve, 500));
  assert.deepEqual(desk.commands.slice(sentBefore).map((c) => c.topic), ['nerq/v1/stations/st01/commands']);
  assert.equal(stations.st02.commands.length + stations.st03.commands.length, 0);
  assert.equal(await page.locator('dialog[open]').count(), 0);
});
