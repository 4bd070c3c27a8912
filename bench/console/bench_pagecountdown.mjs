// The page's countdown against the station's: a session of SECONDS (default 600) started from the
// desk's page in Debian's Chromium on a real nerq-station agent, the desk PC's clock ten minutes
// ahead of the station's. The page counts down on its own monotonic clock from the figure each
// status gives; the station says time's up on its own. Prints, on the page's clock, how far the
// page's zero lay from the moment time's up reached it, and how far the page had drifted each time
// a fresh status set it right. Needs the build (console_browser_programs) and the machine-wide
// agents' lock:
//   flock /tmp/nerq-agents.lock node bench/console/bench_pagecountdown.mjs [SECONDS]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { startVenue } from '../../tests/console/harness/broker.mjs';
import { openBrowser } from '../../tests/console/harness/browser.mjs';
import { deskClockOff } from '../../tests/console/harness/deskclock.mjs';
import { tools } from '../../tests/console/harness/places.mjs';
import { startStations } from '../../tests/console/harness/stations.mjs';
import { signInAsDesk } from '../../tests/console/harness/venue.mjs';

// The agent's device blocks get a prefix of this run's own, and go at the end.
const blockPrefix = `nerqbench.${process.pid}.`;
process.env.NERQ_BLOCK_PREFIX = blockPrefix;
const seconds = Number(process.argv[2] ?? 600);
if (!Number.isInteger(seconds) || seconds < 10 || seconds > 86400) {
  console.error('usage: bench_pagecountdown.mjs [SECONDS, 10 to 86400]');
  process.exit(2);
}

// In the page: every figure the card shows, with when it was drawn, and when time's up came.
function watchCountdown() {
  window.nerqSamples = [];
  window.nerqTimeUp = null;
  new MutationObserver(() => {
    const session = document.querySelector('[data-station="st01"].card .session');
    const countdown = session?.querySelector('.countdown');
    if (session?.dataset.state === 'timeup' && window.nerqTimeUp === null) window.nerqTimeUp = performance.now();
    if (session?.dataset.state === 'running' && countdown?.dataset.leftMs !== undefined) {
      window.nerqSamples.push([performance.now(), Number(countdown.dataset.leftMs)]);
    }
  }).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-left-ms', 'data-state'] });
}

// Where the page set its count right: a figure more than 250 ms off what the previous one, counted
// on, gave (the page draws once a second, rounding to the millisecond).
function corrections(samples) {
  const found = [];
  for (let i = 1; i < samples.length; ++i) {
    const [then, left] = samples[i - 1];
    const [now, shown] = samples[i];
    const drift = Math.max(0, left - (now - then)) - shown;
    if (Math.abs(drift) > 250 && shown > 0) found.push({ atLeftS: Math.round(shown / 1000), driftMs: drift });
  }
  return found;
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'nerq-bench-countdown-'));
let venue, stations, browser;
try {
  venue = await startVenue(dir, { tools, stations: ['st01'] });
  stations = await startStations(venue, { st01: { installed: [] } }, { base: dir, tools });
  browser = await openBrowser(dir, { width: 1920, height: 1080 });
  const { page } = browser;
  await browser.context.addInitScript(deskClockOff, 10 * 60 * 1000);
  await browser.context.addInitScript(watchCountdown);
  await signInAsDesk(page, venue);
  const card = page.locator('[data-station="st01"].card');
  await card.locator('.card-head').click();
  await page.click('#start-session');
  await page.fill('#session-typed', `${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')}`);
  await page.click('#session-start');
  await card.locator('.session[data-state="running"]').waitFor();
  console.log(`session of ${seconds} s started; the desk's clock 10 minutes ahead; waiting for time's up`);
  await card.locator('.session[data-state="timeup"]').waitFor({ timeout: (seconds + 30) * 1000 });
  const { samples, timeUp } = await page.evaluate(() => ({ samples: window.nerqSamples, timeUp: window.nerqTimeUp }));
  const [lastAt, lastLeft] = samples.findLast(([, left]) => left > 0);
  const zero = lastAt + lastLeft;
  console.log(`page's countdown at 0:00 ${(zero - timeUp).toFixed(0)} ms from time's up reaching the page ` +
    '(negative: the page reached 0:00 first)');
  const fixes = corrections(samples);
  console.log(`fresh statuses that moved the page's count: ${fixes.length}` +
    fixes.map(({ atLeftS, driftMs }) => `\n  at ${atLeftS} s left: by ${driftMs.toFixed(0)} ms`).join(''));
  console.log(`figures drawn: ${samples.length}`);
} finally {
  for (const end of [() => browser?.context.close(), () => stations?.stop(), () => venue?.stop()]) {
    await Promise.resolve().then(end).catch((error) => console.error(error));
  }
  fs.rmSync(dir, { recursive: true, force: true });
  for (const block of fs.readdirSync('/dev/shm').filter((name) => name.startsWith(blockPrefix))) {
    fs.rmSync(path.join('/dev/shm', block), { force: true });
  }
}
