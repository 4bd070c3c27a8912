// The "Today" view's layout (the day's window, hours on the desk's clock, each station's bands and
// marks) and the venue's opening and closing as the page prepares them.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { dayWindow, deskClock, hourTicks, stationRow, stationsInSession } from '../../../console/src/timeline.js';
import { readToday } from '../../../console/src/payloads.js';
import {
  applyStatus, applyToday, applyWakeAnswer, closingPlan, createState, expirePending, preparePowerOff, prepareWake, todayModel,
} from '../../../console/src/state.js';

const H = 3600 * 1000;
const M = 60 * 1000;
// 2027-01-15 00:00 in Shanghai (UTC+8), a zone without daylight saving.
const DAY = Date.UTC(2027, 0, 14, 16);
const folder = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../../venue/payloads');
const accepted = (file, name) => JSON.parse(fs.readFileSync(path.join(folder, file), 'utf8')).find((s) => s.name === name);

const emptyTimeline = () => ({ sessions: [], games: [], offline: [], help: [] });
function summary({ open = { from: DAY + 9 * H + 20 * M, to: null }, at = DAY + 11 * H + 5 * M, stations = [], zone = 'Asia/Shanghai' } = {}) {
  return {
    date: '2027-01-15', timeZone: zone, utcOffsetSeconds: 8 * 3600, at, from: DAY, to: DAY + 24 * H, open,
    figures: {}, games: [], stations,
  };
}
const station = (id, timeline = {}) => ({ station: id, sessions: 0, minutesSold: 0, offlineMinutes: 0, timeline: { ...emptyTimeline(), ...timeline } });

test('the window: the open hours widened to whole hours of the desk\'s clock, within the day', () => {
  assert.deepEqual(dayWindow(summary()), { from: DAY + 9 * H, to: DAY + 12 * H });
  // Closed at 21:40: up to 22:00, not to the moment the summary was made.
  assert.deepEqual(dayWindow(summary({ open: { from: DAY + 9 * H, to: DAY + 21 * H + 40 * M }, at: DAY + 23 * H })),
    { from: DAY + 9 * H, to: DAY + 22 * H });
  // Open into the last minutes: never past midnight.
  assert.deepEqual(dayWindow(summary({ open: { from: DAY + 23 * H + 50 * M, to: null }, at: DAY + 23 * H + 59 * M })),
    { from: DAY + 23 * H, to: DAY + 24 * H });
  // Nothing yet at 00:10: an hour to draw, not nothing.
  assert.deepEqual(dayWindow(summary({ open: null, at: DAY + 10 * M })), { from: DAY, to: DAY + H });
});

test('hours are labelled on the desk\'s clock whatever the tablet\'s zone, and thinned on a long day', () => {
  const s = summary();
  const ticks = hourTicks(s, dayWindow(s));
  assert.deepEqual(ticks.map((t) => t.label), ['09:00', '10:00', '11:00', '12:00']);
  assert.deepEqual(ticks.map((t) => t.x), [0, 1 / 3, 2 / 3, 1]);
  // A zone this browser does not know: the recorder's offset serves.
  assert.equal(deskClock(summary({ zone: 'Nowhere/Atlantis' }))(DAY + 9 * H + 5 * M), '09:05');
  const long = summary({ open: { from: DAY + 6 * H, to: DAY + 23 * H + 30 * M }, at: DAY + 23 * H + 40 * M });
  const labels = hourTicks(long, dayWindow(long)).map((t) => t.label);
  assert.ok(labels.length <= 13, labels.join(' '));
  assert.deepEqual(labels, ['06:00', '08:00', '10:00', '12:00', '14:00', '16:00', '18:00', '20:00', '22:00', '00:00']);
});

test('a station\'s row: bands clipped to the window, open ones up to now, help calls as marks', () => {
  const s = summary({ open: { from: DAY + 8 * H, to: null }, at: DAY + 12 * H });
  const w = dayWindow(s); // 08:00 to 12:00
  const row = stationRow(station('st01', {
    // Began yesterday evening: drawn from the window's start.
    sessions: [{ from: DAY - H, to: DAY + 9 * H, session: 'a', gameId: null, endReason: 'time', minutesSold: 600 },
      { from: DAY + 11 * H, to: null, session: 'b', gameId: 'orbit', endReason: null, minutesSold: 30 }],
    games: [{ from: DAY + 11 * H, to: DAY + 11 * H + 30 * M, gameId: 'orbit' },
      // The station's clock was set back meanwhile: its end before its start.
      { from: DAY + 10 * H, to: DAY + 10 * H - 5 * M, gameId: 'zen' },
      { from: DAY + 2 * H, to: DAY + 3 * H, gameId: 'early' }],
    offline: [{ from: DAY + 10 * H, to: DAY + 10 * H + 30 * M }],
    help: [{ at: DAY + 11 * H + 15 * M, answeredAt: null }, { at: DAY + 9 * H, answeredAt: DAY + 9 * H + M }],
  }), s, w);
  const bands = row.bands.map(({ kind, x, w: width, open }) => [kind, x, width, open]);
  assert.deepEqual(bands, [
    ['offline', 0.5, 0.125, false],
    ['session', 0, 0.25, false],
    ['session', 0.75, 0.25, true],
    ['game', 0.75, 0.125, false],
    ['game', 0.5, 0, false],
  ]);
  assert.equal(row.bands[2].label, '30 min · orbit 11:00–…');
  assert.deepEqual(row.marks.map(({ x, answered, label }) => [x, answered, label]),
    [[0.8125, false, '11:15 …'], [0.25, true, '09:00 → 09:01']]);
});

test('the view\'s model: figures, games by minutes played with their names, stations in order', () => {
  const state = createState('en');
  state.catalogue = { revision: 'r', published: 0, en: [{ gameId: 'orbit', name: 'Orbit' }], cn: [] };
  const s = summary({ stations: [station('st10'), station('st2')] });
  s.games = [{ gameId: 'zen', launches: 1, minutesPlayed: 3, failedStarts: 0 }, { gameId: 'orbit', launches: 2, minutesPlayed: 9, failedStarts: 1 }];
  applyToday(state, s);
  const m = todayModel(state);
  assert.deepEqual(m.games.map((g) => g.name), ['Orbit', 'zen']);
  assert.deepEqual(m.rows.map((r) => r.station), ['st2', 'st10']);
  assert.deepEqual(m.open, { from: '09:20', to: null });
  // Made at 11:05 in a window of 09:00 to 12:00.
  assert.equal(m.now, 125 / 180);
});

function floorWithSessions() {
  const state = createState();
  state.connection = 'online';
  state.user = 'desk';
  for (const [id, online] of [['st01', true], ['st02', true], ['st03', false], ['st04', true]]) {
    applyStatus(state, id, { online, since: 1, hiddenGames: [], lastLaunch: null }, 0);
  }
  const open = { from: DAY + 9 * H, to: null, session: 's', gameId: null, endReason: null, minutesSold: 10 };
  const ended = { ...open, to: DAY + 10 * H, endReason: 'time' };
  applyToday(state, summary({
    stations: [station('st01', { sessions: [ended] }), station('st02', { sessions: [ended, open] }), station('st03', { sessions: [open] })],
  }));
  return state;
}

test('closing: power off goes to every online station not in a session, as the stations read it', () => {
  const state = floorWithSessions();
  assert.deepEqual([...stationsInSession(state.today)].sort(), ['st02', 'st03']);
  const plan = closingPlan(state);
  assert.deepEqual(plan, { off: ['st01', 'st04'], inSession: ['st02'], offline: ['st03'] });
  let n = 0;
  const sent = preparePowerOff(state, plan.off, 5, () => `c${++n}`);
  assert.deepEqual(sent.map((c) => c.topic), ['nerq/v1/stations/st01/commands', 'nerq/v1/stations/st04/commands']);
  const sample = accepted('commands.json', 'a power off, force left out');
  assert.equal(sample.verdict, 'accept');
  // The fields a station reads, as the accepted sample has them; no force, ever, from the page.
  assert.equal(sent[0].payload.command, sample.payload.command);
  assert.equal(sent[0].payload.action, sample.payload.action);
  assert.equal('force' in sent[0].payload, false);
  assert.equal(state.stations.get('st01').result.state, 'pending');
  // Without a summary nobody is known to be in a session: the stations themselves refuse then.
  state.today = null;
  assert.deepEqual(closingPlan(state).inSession, []);
});

test('opening: one request, and only its own answer counts; no answer in time says so', () => {
  const state = floorWithSessions();
  const { topic, payload } = prepareWake(state, 1000, () => 'w1');
  assert.equal(topic, 'nerq/v1/wake');
  assert.deepEqual(payload, { id: 'w1', all: true, expires: 11000, by: 'desk' });
  // The form of the request the recorder accepts (tst_venuepayloads reads the same sample).
  const sample = accepted('wake.json', 'the page\'s wake request');
  assert.equal(sample.verdict, 'accept');
  assert.equal(topic, sample.topic);
  assert.deepEqual(Object.keys(payload).sort(), Object.keys(sample.payload).sort());
  assert.equal(applyWakeAnswer(state, { id: 'older', stations: [], error: '' }), false);
  assert.equal(state.wake.state, 'pending');
  expirePending(state, 11999);
  assert.equal(state.wake.state, 'pending');
  expirePending(state, 12000);
  assert.equal(state.wake.state, 'noAnswer');
  assert.equal(applyWakeAnswer(state, { id: 'w1', stations: [{ station: 'st01', ok: true, error: '' }], error: '' }), true);
  assert.equal(state.wake.state, 'done');
});

test('a summary read as the page reads it, then laid out: the accepted sample draws', () => {
  const sample = accepted('today.json', 'a day with two stations, one in a session');
  const read = readToday(new TextEncoder().encode(JSON.stringify(sample.payload)));
  assert.equal(read.error, undefined);
  const state = createState();
  applyToday(state, read.value);
  const m = todayModel(state);
  assert.equal(m.rows.length, 2);
  assert.equal(m.rows[0].bands.filter((b) => b.kind === 'session').length, 2);
  assert.equal(m.rows[0].marks.length, 2);
  for (const band of m.rows[0].bands) assert.ok(band.x >= 0 && band.x + band.w <= 1 + 1e-9, JSON.stringify(band));
});
