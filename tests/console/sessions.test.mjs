// Selling time on the desk's page, in Debian's Chromium against the venue's real broker, real
// nerq-station agents and, on st01, nerq-headset under the simulated VR runtime: a 20 s session on
// two stations with a game, the countdowns, +5 minutes, a help call clicked in the headset shown on
// the page with its tone and answered with "on my way", the headset then saying someone is coming,
// time's up, a session ended at the desk and the station made ready. The page's clock is ten
// minutes ahead of the stations'. Screenshots go to NERQ_CONSOLE_SHOTS.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { startVenue } from './harness/broker.mjs';
import { near, pixel, startHeadset } from './harness/headset.mjs';
import { startStations } from './harness/stations.mjs';
import { publishCatalogue, signInAsDesk } from './harness/venue.mjs';
import { openBrowser } from './harness/browser.mjs';
import { deskClockOff } from './harness/deskclock.mjs';
import { waitFor } from './harness/processes.mjs';
import { DEMO_GAMES, gameDir, shots, tools } from './harness/places.mjs';

// The session tab's call-for-help button, and a point of it whose colour says where the call stands.
const HELP_BUTTON = [960, 780];
const HELP_COLOUR = [380, 780];
const NOT_CALLED = '#1f6feb';
const CALLED = '#f0a020';
const COMING = '#2e9d5b';

let dir, venue, stations, headset, browser, page, startedAt;
const card = (id) => page.locator(`[data-station="${id}"].card`);
const leftMs = async (id) => Number(await card(id).locator('.countdown').getAttribute('data-left-ms'));
// When each tone the page played began, on its monotonic clock.
const tones = () => page.evaluate(() => window.nerqTones);
const shot = (name) => page.screenshot({ path: path.join(shots, `${name}-cn-1920x1080.png`) });

// Every tone the page plays, noted.
function countTones() {
  window.nerqTones = [];
  const Base = window.AudioContext;
  window.AudioContext = class extends Base {
    createOscillator() {
      window.nerqTones.push(performance.now());
      return super.createOscillator();
    }
  };
}

// The first frame of the session tab from `after` on whose help button has this colour; its index.
async function tabFrame(from, colour) {
  let found = -1;
  await waitFor(async () => {
    const frames = headset.frames();
    for (let i = from; i < frames.length && found < 0; ++i) {
      if (near(await pixel(page, frames[i].png, ...HELP_COLOUR), colour)) found = i;
    }
    return found >= 0;
  }, 10000, () => `the session tab never showed ${colour}:\n${headset.log()}`);
  return found;
}

before(async () => {
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'nerq-sessions-'));
  fs.mkdirSync(shots, { recursive: true });
  venue = await startVenue(dir, { tools, stations: ['st01', 'st02'] });
  stations = await startStations(venue, { st01: { installed: DEMO_GAMES }, st02: { installed: DEMO_GAMES } }, { base: dir, tools });
  await publishCatalogue(venue, path.join(dir, 'desk'), gameDir);
  headset = await startHeadset({ ...stations.place('st01'), tools });
  browser = await openBrowser(dir, { width: 1920, height: 1080 });
  page = browser.page;
  await browser.context.addInitScript(deskClockOff, 10 * 60 * 1000);
  await browser.context.addInitScript(countTones);
  await signInAsDesk(page, venue);
  await card('st02').waitFor();
});

after(async () => {
  if (process.env.NERQ_CONSOLE_DEBUG) {
    console.log(browser?.consoleLines.join('\n'), headset?.log());
    for (const id of ['st01', 'st02']) console.log(`--- ${id}:\n${stations?.log(id)}`);
  }
  for (const end of [() => browser?.context.close(), () => headset?.stop(), () => stations?.stop(), () => venue?.stop()]) {
    await Promise.resolve().then(end).catch((error) => console.error(error));
  }
  if (dir) fs.rmSync(dir, { recursive: true, force: true });
});

test('a 20 s session with a game on two stations: both count down on the page; +5 minutes on one', async () => {
  await card('st01').locator('.card-head').click();
  await card('st02').locator('.card-head').click();
  await page.click('#start-session');
  await page.fill('#session-typed', '0:20');
  await page.click('#session-games [data-game="zen_garden"]');
  startedAt = performance.now();
  await page.click('#session-start');
  for (const id of ['st01', 'st02']) {
    await card(id).locator('.result.done').getByText('已开始计时：0:20 · 禅意花园漫步').waitFor();
    await waitFor(() => stations.launches(id).includes('zen_garden'), 5000, `${id} did not start the game`);
    await card(id).locator('.session[data-state="running"]').waitFor();
    // The station's own figure, counted down on the page's monotonic clock: not ten minutes off.
    const expected = 20000 - (performance.now() - startedAt);
    const left = await leftMs(id);
    assert.ok(left <= expected + 1500 && left >= expected - 1500, `${id}: ${left} ms left, ${expected} expected`);
    assert.match(await card(id).locator('.countdown').textContent(), /^0:(20|[01]\d)$/);
  }
  await shot('session-running');
  await card('st02').locator('.extend').click();
  await card('st02').locator('.result.done').getByText('已加时 5 分钟').waitFor();
  await waitFor(async () => (await leftMs('st02')) > 300000, 3000, 'st02 did not count the 5 minutes more');
  assert.ok(await leftMs('st01') < 20000);
});

test('a help call clicked in the headset: card, banner and a tone every 10 s until "on my way"; the headset then says someone is coming', async () => {
  await headset.openTab();
  const before = headset.frames().length - 1;
  assert.ok(near(await pixel(page, headset.frames()[before].png, ...HELP_COLOUR), NOT_CALLED));
  headset.click(...HELP_BUTTON);
  const call = page.locator('#help-banner .help-call[data-station="st01"]');
  await call.waitFor({ timeout: 5000 });
  assert.match(await call.textContent(), /st01 呼叫帮助 · 已等待 0:0\d/);
  await page.locator('[data-station="st01"].card.help').waitFor();
  assert.match(await card('st01').locator('.help-line').textContent(), /☎ 呼叫帮助/);
  assert.equal(await page.locator('#help-banner .help-call').count(), 1);
  const called = await tabFrame(before, CALLED);
  await waitFor(async () => (await tones()).length >= 1, 2000, 'the call sounded no tone');
  await shot('help-call');
  await waitFor(async () => (await tones()).length === 2, 11500, 'the call did not sound again');
  const [first, second] = await tones();
  assert.ok(second - first >= 9500 && second - first <= 11000, `the tone came again after ${second - first} ms`);
  // The banner speaks the page's language while the call waits, its button too.
  await page.click('#language');
  await call.locator('button').getByText('On my way').waitFor({ timeout: 2000 });
  await page.click('#language');
  await call.locator('button').getByText('我这就去').waitFor({ timeout: 2000 });

  await call.locator('button').click();
  await card('st01').locator('.help-line.answered').getByText(`${venue.desk.user} 已回应呼叫`).waitFor();
  assert.equal(await page.isVisible('#help-banner'), false);
  await tabFrame(called, COMING);
  assert.equal((await tones()).length, 2);
});

test('time\'s up on the card; a session ended at the desk; the station made ready and free; both languages', async () => {
  const due = 25000 - (performance.now() - startedAt);
  await card('st01').locator('.session[data-state="timeup"]').waitFor({ timeout: Math.max(2000, due) });
  assert.match(await card('st01').locator('.session-line').textContent(), /时间到/);
  assert.ok(await card('st01').locator('.ready').isHidden());
  await shot('time-up');
  await card('st02').locator('.end').click();
  assert.match(await page.textContent('#confirm-end-text'), /st02/);
  await page.click('#confirm-end button[value="end"]');
  await card('st02').locator('.session[data-state="ended"]').getByText('已结束（前台结束） · 需要清洁').waitFor();
  assert.match(await page.textContent('#free-ready'), /没有空闲且就绪的站点/);
  await card('st02').locator('.ready').click();
  await card('st02').getByText('空闲 · 已就绪').waitFor();
  assert.equal(await page.textContent('#free-ready'), '空闲且就绪（1）：st02');
  await page.click('#language');
  await card('st01').getByText('Time\'s up').waitFor();
  assert.equal(await page.textContent('#free-ready'), 'Free and ready (1): st02');
  await page.click('#language');
  assert.deepEqual(browser.problems, []);
});
