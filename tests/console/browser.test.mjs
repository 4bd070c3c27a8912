// The desk's page in Debian's Chromium against the venue's real broker serving it and real
// nerq-station agents on loopback: sign-in, the floor, a launch on two stations, the broker
// restarted under the page, hostile payloads, both languages, the tablet size. Screenshots go to
// NERQ_CONSOLE_SHOTS.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { readIni, startVenue } from './harness/broker.mjs';
import { startStations } from './harness/stations.mjs';
import { deskClient, publishCatalogue } from './harness/venue.mjs';
import { openBrowser } from './harness/browser.mjs';
import { waitFor } from './harness/processes.mjs';
import { DEMO_GAMES as VENUE_GAMES, gameDir, shots, tools } from './harness/places.mjs';

const HOSTILE = '<img src=x onerror="window.__hostile=1">';

const ST04_LACKS = ['midnight_marathon', 'dune_sprinter'];
// st02's clock is an hour ahead of the desk's; st03 is killed; st04 lacks two venue games and
// its device service.
const STATIONS = {
  st01: { installed: VENUE_GAMES },
  st02: { installed: VENUE_GAMES, clockOffset: 3600 },
  st03: { installed: VENUE_GAMES },
  st04: { installed: VENUE_GAMES.filter((g) => !ST04_LACKS.includes(g)), deviceService: false },
};

let dir, venue, desk, stations, browser, page, revision;
const card = (id) => page.locator(`[data-station="${id}"]`);
// The station answers once the game's launcher is started; the launcher notes its run a moment later.
// "14:05" as the page writes a time of today, for now and a minute ago.
const clockNow = () => [0, 60000].map((ago) => new Date(Date.now() - ago).toTimeString().slice(0, 5));
const launcherRan = (id) => waitFor(() => stations.launches(id).length > 0, 5000, `${id}'s launcher did not run`);

before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'nerq-console-'));
  fs.mkdirSync(shots, { recursive: true });
  venue = await startVenue(dir, { tools, stations: Object.keys(STATIONS) });
  desk = await deskClient(venue);
  stations = await startStations(venue, STATIONS, { base: dir, tools });
  revision = await publishCatalogue(venue, path.join(dir, 'desk'), gameDir);
  await stations.kill('st03');
  browser = await openBrowser(dir, { width: 1920, height: 1080 });
  page = browser.page;
  await page.goto(venue.page);
});

after(async () => {
  if (process.env.NERQ_CONSOLE_DEBUG) {
    console.log(browser?.consoleLines.join('\n'), venue?.log());
    for (const id of Object.keys(STATIONS)) console.log(`--- ${id}:\n${stations?.log(id)}`);
  }
  // Each part ends even when another cannot: no agent, game or broker outlives the test.
  for (const end of [() => browser?.context.close(), () => stations?.stop(), () => desk?.end(), () => venue?.stop()]) {
    await Promise.resolve().then(end).catch((error) => console.error(error));
  }
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

async function signIn(password, remember = false) {
  await page.fill('#user', venue.desk.user);
  await page.fill('#password', password);
  await page.setChecked('#remember', remember);
  await page.click('#sign-in-button');
}

test('a wrong password is refused, and nothing is remembered unasked', async () => {
  await signIn('not-the-password');
  await page.getByText('用户名或密码错误').waitFor();
  assert.equal(await page.isVisible('#floor'), false);
  await signIn(venue.desk.password);
  await card('st04').waitFor();
  assert.equal(await page.evaluate((password) => JSON.stringify(localStorage).includes(password), venue.desk.password), false);
});

test('the floor: one card per station, the stopped one unmistakably offline', async () => {
  await page.locator('[data-station="st03"].offline').waitFor();
  assert.equal(await page.locator('.card').count(), 4);
  assert.match(await card('st03').locator('.badge').textContent(), /✕ 离线/);
  assert.match(await card('st01').locator('.badge').textContent(), /● 在线/);
  // st02's clock is an hour ahead: the card says when it came online on the desk's clock.
  const since = await card('st02').locator('.since').textContent();
  assert.ok(clockNow().some((time) => since.includes(time)), `${since}, now ${clockNow()}`);
  // st04 follows the venue catalogue: exactly the venue's games installed there, in its order.
  assert.deepEqual(stations.catalogue('st04'), VENUE_GAMES.filter((g) => !ST04_LACKS.includes(g)));
  const st04 = await card('st04').textContent();
  assert.match(st04, /设备服务⚠ 未运行/);
  assert.match(st04, /未安装午夜马拉松：穿越新港十二街区的漫长奔跑之夜、沙丘疾行/);
  // It follows the current venue catalogue, published a moment ago by the desk; the revision
  // shows only to who asks (pointing at the row, or the floor's "详情").
  assert.ok(clockNow().some((time) => st04.includes(`游戏目录最新场地目录 · ${time} 发布`)), st04);
  assert.ok(!st04.includes(revision), st04);
  assert.equal(await card('st04').locator(`dd[title="版本 ${revision}"]`).count(), 1);
  const summary = await page.locator('#catalogue-summary').textContent();
  assert.ok(clockNow().some((time) => summary.startsWith(`场地游戏目录 · ${time} 发布 · 12 个游戏 · `)), summary);
  assert.equal(await page.isVisible('#catalogue-revision'), false);
  await page.click('#catalogue-line summary');
  assert.equal(await page.textContent('#catalogue-revision'), `版本 ${revision}`);
  await page.click('#catalogue-line summary');
  // A change on a station shows within a second: the desk's command starts a game there.
  const launched = await venue.runDesk(['launch', 'zen_garden', '--station', 'st04']);
  assert.equal(launched.status, 0, launched.output);
  await card('st04').locator('.running').getByText('禅意花园漫步').waitFor({ timeout: 1000 });
  await launcherRan('st04');
  assert.deepEqual(stations.launches('st04'), ['zen_garden']);
  assert.equal(stations.gameMode('st04'), 'START0');
  // Its picture comes as a file from the folder the broker serves the page from.
  await card('st04').locator('img.picture').waitFor();

  await page.screenshot({ path: path.join(shots, 'floor-cn-1920x1080.png') });
  await page.click('#language');
  await card('st03').getByText('✕ Offline').waitFor();
  assert.equal(await page.evaluate(() => document.documentElement.lang), 'en');
  await page.screenshot({ path: path.join(shots, 'floor-en-1920x1080.png') });
  await page.click('#language');
  await page.setViewportSize({ width: 1280, height: 800 });
  await card('st03').getByText('✕ 离线').waitFor();
  // Nothing runs off the tablet's screen sideways.
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 1280));
  await page.screenshot({ path: path.join(shots, 'floor-cn-1280x800.png') });
});

test('a game started on two stations: both carry it out, both cards say so; none goes to the offline one', async () => {
  await card('st01').locator('.card-head').click();
  await card('st02').locator('.card-head').press('Space'); // the keyboard reaches it too
  await card('st03').click();
  await page.locator('#selected-count', { hasText: '已选择 3 个站点（1 个离线）' }).waitFor();
  await page.click('#start-game');
  const tile = page.locator('.tile[data-game="skyline_runner"]');
  await tile.waitFor();
  assert.equal(await page.locator('.tile').count(), 12);
  assert.ok(await tile.locator('img').evaluate((img) => img.complete && img.naturalWidth === 400));
  await page.locator('.tile:nth-child(12) img').waitFor();
  await page.screenshot({ path: path.join(shots, 'picker-cn-1280x800.png') });
  const sentAt = Date.now();
  const earlier = desk.commands.length;
  const sent = () => desk.commands.slice(earlier);
  await tile.click();
  for (const id of ['st01', 'st02']) {
    await card(id).locator('.result.done').getByText('已启动：天际线跑者').waitFor();
    await card(id).locator('.running').getByText('天际线跑者').waitFor();
    // Its launcher ran, and the agent handed the game's mode to the device service.
    await launcherRan(id);
    assert.deepEqual(stations.launches(id), ['skyline_runner']);
    assert.equal(stations.gameMode(id), 'START2');
    const [command] = sent().filter((c) => c.topic === `nerq/v1/stations/${id}/commands`);
    assert.equal(command.messageExpiryInterval, 10);
    // Its time, on the desk's clock whatever the station's says.
    const last = await card(id).locator('dd').first().textContent();
    assert.ok(clockNow().some((time) => last.includes(time)), `${id}: last launch ${last}, now ${clockNow()}`);
    assert.ok(Math.abs(command.expires - (sentAt + 10000)) < 2000, `expires ${command.expires - sentAt} ms after the click`);
  }
  assert.match(await card('st03').locator('.result').textContent(), /站点离线，未发送/);
  await page.screenshot({ path: path.join(shots, 'floor-launched-cn-1280x800.png') });
  assert.deepEqual(sent().map((c) => c.topic).sort(),
    ['nerq/v1/stations/st01/commands', 'nerq/v1/stations/st02/commands']);
  assert.notEqual(sent()[0].id, sent()[1].id);
});

test('a station that refuses or does not answer says so on its card', async () => {
  await page.click('#clear');
  await card('st04').click();
  await page.click('#start-game');
  await page.click('.tile[data-game="midnight_marathon"]'); // not installed on st04
  await card('st04').locator('.result.failed').getByText('no game "midnight_marathon" in this station\'s catalogue').waitFor();
  assert.deepEqual(stations.launches('st04'), ['zen_garden']);
  stations.freeze('st04');
  await page.click('#calibrate');
  await page.click('#confirm-calibrate button[value="calibrate"]');
  await card('st04').getByText('站点没有回应').waitFor({ timeout: 13000 });
  // Woken after the command's expiry, the station says so and does not calibrate.
  stations.resume('st04');
  await card('st04').locator('.result.failed').getByText(/waited unread on this station.*; not carried out/).waitFor({ timeout: 5000 });
  assert.equal(stations.calibrationRequested('st04'), false);
});

test('the broker restarted under the page: stale at once, then everything refreshed', async () => {
  await venue.stop();
  await page.locator('#lost').waitFor({ timeout: 2000 });
  assert.match(await page.locator('#lost').textContent(), /已过时/);
  assert.equal(await page.locator('.card .stale-mark:visible').count(), 4);
  assert.ok(await page.isDisabled('#start-game'));
  await page.screenshot({ path: path.join(shots, 'floor-stale-cn-1280x800.png') });
  await stations.endGame('st01'); // the game ends while nobody can tell the page
  await venue.start();
  await page.locator('#lost').waitFor({ state: 'hidden', timeout: 10000 });
  await card('st01').getByText('没有运行游戏').waitFor({ timeout: 5000 });
  assert.equal(await page.locator('.card .stale-mark:visible').count(), 0);
  await card('st02').locator('.running').getByText('天际线跑者').waitFor();
});

test('hostile payloads: markup shows as text, bad messages are logged and skipped', async () => {
  await publishCatalogue(venue, path.join(dir, 'desk'), gameDir, { skyline_runner: HOSTILE });
  await card('st02').locator('.running').getByText(HOSTILE).waitFor();
  await desk.publish('nerq/v1/stations/st02/status', 'not json');
  await desk.publish('nerq/v1/stations/st09/status', JSON.stringify({ online: true, station: 'st01' }));
  await desk.publish('nerq/v1/catalogue', JSON.stringify({ revision: 7, en: {}, cn: [] }));
  await page.click('#log summary');
  await page.locator('#log-lines li', { hasText: 'st09/status' }).waitFor();
  const log = await page.locator('#log-lines').textContent();
  assert.match(log, /st02\/status: not JSON/);
  assert.match(log, /catalogue: "revision" is not text/);
  assert.equal(await page.locator('.card').count(), 4);
  await card('st02').locator('.running').getByText(HOSTILE).waitFor();
  await page.click('#start-game');
  await page.locator('.tile-name', { hasText: HOSTILE }).waitFor();
  await page.keyboard.press('Escape');
  assert.equal(await page.evaluate(() => window.__hostile), undefined);
  assert.equal(await page.locator('img[src="x"]').count(), 0);
  assert.deepEqual(browser.problems, []);
});

test('"remember this device": only a device\'s own sign-in is kept, and removing it shuts that device out alone', async () => {
  await page.click('#sign-out');
  await page.locator('#sign-in').waitFor();
  // The desk's own password is never kept: nothing to tick, and the page says why.
  await page.fill('#user', venue.desk.user);
  assert.ok(await page.isDisabled('#remember'));
  await page.locator('#remember-hint').waitFor();

  // The tablet gets a sign-in of its own at the desk, and keeps it.
  const added = await venue.run(['add-desk', venue.dir, 'tablet1']);
  assert.equal(added.status, 0, added.output);
  const tablet = readIni(path.join(venue.dir, 'desks', 'tablet1.conf'));
  await page.fill('#user', 'tablet1');
  assert.ok(await page.isEnabled('#remember'));
  await page.fill('#password', tablet.password);
  await page.setChecked('#remember', true);
  await page.click('#sign-in-button');
  await card('st01').waitFor();
  await page.reload();
  await card('st01').waitFor();
  assert.equal(await page.isVisible('#sign-in'), false);
  const stored = () => page.evaluate(() => JSON.stringify(localStorage));
  assert.ok((await stored()).includes(tablet.password));
  assert.equal((await stored()).includes(venue.desk.password), false);

  // The tablet is lost: removed at the desk, it is shut out at once and forgets its sign-in; the
  // desk's own connection goes on.
  const removed = await venue.run(['remove-desk', venue.dir, 'tablet1']);
  assert.equal(removed.status, 0, removed.output);
  await page.getByText('用户名或密码错误').waitFor({ timeout: 5000 });
  assert.equal(await page.isVisible('#floor'), false);
  assert.equal((await stored()).includes(tablet.password), false);
  assert.ok(desk.client.connected);
  await desk.publish('nerq/v1/stations/st01/commands', '{"id": "still-here", "command": "scan", "expires": 0}', false);
  await waitFor(() => desk.commands.some((c) => c.id === 'still-here'), 5000, 'the desk lost its connection too');
});
