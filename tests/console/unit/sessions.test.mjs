// Sessions and help calls on the page: countdowns on the page's monotonic clock whatever the
// station's and the page's wall clocks say, the calls' waits, the alarm, the session commands.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import {
  RETAINED_LIFETIME_S, applyResult, applyStatus, cardModel, createState, prepareStationCommands, toggleSelected,
} from '../../../console/src/state.js';
import {
  formSeconds, freeAndReady, minutesSeconds, toneDue, typedSeconds, waitingCalls, wantsReport,
} from '../../../console/src/sessions.js';

const HOUR = 3600 * 1000;
const status = (extra = {}) => ({
  online: true, version: '1', host: 'pc', since: 1, at: null, runningGame: null, steamRunningAppId: 0, lastLaunch: null,
  catalogueRevision: null, cataloguePublished: null, hiddenGames: [], deviceService: true,
  session: null, help: null, ready: true, headset: { connected: true, vr: true }, ...extra,
});
const running = (remainingSeconds, extra = {}) => ({
  id: 'c1', state: 'running', seconds: 1200, remainingSeconds, startedAt: 1, endsAt: 2, endedAt: null, endReason: null,
  gameId: null, ...extra,
});
const help = (at, extra = {}) => ({ at, answered: false, answeredAt: null, by: null, ...extra });
const left = (state, id, mono) => cardModel(state, id, mono).session.leftMs;

test('a countdown runs on the page\'s monotonic clock from the figure and the broker\'s age of its status', () => {
  const state = createState();
  // The page's wall clock is ten minutes behind, the station's an hour ahead: neither counts.
  const pageNow = 50 * HOUR - 10 * 60000;
  // A retained status the station sent 2 minutes ago with 10:00 left, found as the page opens.
  applyStatus(state, 'st1', status({ at: 50 * HOUR + HOUR, session: running(600) }), pageNow, RETAINED_LIFETIME_S - 120, 5000);
  assert.equal(left(state, 'st1', 5000), 480000);
  assert.equal(left(state, 'st1', 65000), 420000);
  assert.equal(minutesSeconds(left(state, 'st1', 65000)), '7:00');
  // A fresh figure straight from the station (its report) takes over.
  applyStatus(state, 'st1', status({ at: 50 * HOUR + HOUR + 60000, session: running(419.5) }), pageNow + 60000,
    RETAINED_LIFETIME_S, 65000);
  assert.equal(left(state, 'st1', 65500), 419000);
  // Past the end the page says 0:00 until the station says time's up; never less.
  assert.equal(left(state, 'st1', 10 * HOUR), 0);
  assert.equal(minutesSeconds(0), '0:00');
  assert.equal(minutesSeconds(599001), '10:00');
  applyStatus(state, 'st1', status({ session: running(0, { state: 'timeup' }) }), pageNow, RETAINED_LIFETIME_S, 70000);
  assert.deepEqual([cardModel(state, 'st1', 70000).session.state, left(state, 'st1', 70000)], ['timeup', null]);
});

test('a station gone offline keeps its countdown: the session runs on there; its last will says nothing newer', () => {
  const state = createState();
  applyStatus(state, 'st1', status({ session: running(300) }), 0, RETAINED_LIFETIME_S, 1000);
  applyStatus(state, 'st1', status({ online: false, since: null, session: null }), 0, RETAINED_LIFETIME_S, 31000);
  const card = cardModel(state, 'st1', 31000);
  assert.deepEqual([card.session.state, card.session.leftMs, card.session.free], ['running', 270000, false]);
});

test('a help call waits from when the station saw it, by the broker\'s count; the banner puts the longest first', () => {
  const state = createState();
  // Called 40 s before the station sent this status, which lay 20 s with the broker.
  applyStatus(state, 'st1', status({ at: 9 * HOUR, help: help(9 * HOUR - 40000) }), 0, RETAINED_LIFETIME_S - 20, 100000);
  assert.equal(cardModel(state, 'st1', 100000).session.help.waitedMs, 60000);
  // A later status of the same call (a warning) does not start its wait again.
  applyStatus(state, 'st1', status({ at: 9 * HOUR + 99000, help: help(9 * HOUR - 40000) }), 0, RETAINED_LIFETIME_S, 160000);
  assert.equal(cardModel(state, 'st1', 170000).session.help.waitedMs, 130000);
  applyStatus(state, 'st2', status({ at: 5, help: help(5) }), 0, RETAINED_LIFETIME_S, 160000);
  assert.deepEqual(waitingCalls(state, 170000).map((c) => [c.id, c.waitedMs]), [['st1', 130000], ['st2', 10000]]);
  // Answered, it leaves the banner and the card names who is coming.
  applyStatus(state, 'st1', status({ at: 6, help: help(9 * HOUR - 40000, { answered: true, by: 'tablet1' }) }), 0,
    RETAINED_LIFETIME_S, 170000);
  assert.deepEqual(waitingCalls(state, 170000).map((c) => c.id), ['st2']);
  assert.deepEqual(cardModel(state, 'st1', 170000).session.help, { waitedMs: 130000, answered: true, by: 'tablet1', answering: false });
});

test('the alarm: at once for a new call, again every 10 s, silent once "on my way" is sent, again if that failed', () => {
  const state = createState();
  state.connection = 'online';
  state.user = 'tablet1';
  assert.equal(toneDue(state, 0), false);
  applyStatus(state, 'st1', status({ at: 100, help: help(100) }), 0, RETAINED_LIFETIME_S, 1000);
  assert.deepEqual([toneDue(state, 1000), toneDue(state, 1250), toneDue(state, 10999), toneDue(state, 11000)],
    [true, false, false, true]);
  // A second station calls 2 s later: it is not kept waiting for the next round.
  applyStatus(state, 'st2', status({ at: 100, help: help(100) }), 0, RETAINED_LIFETIME_S, 13000);
  assert.deepEqual([toneDue(state, 13000), toneDue(state, 14000)], [true, false]);
  const [st1, st2] = prepareStationCommands(state, ['st2', 'st1'], 'help-answer', {}, 0, (() => {
    let n = 0;
    return () => `a${++n}`;
  })());
  assert.deepEqual(st1.payload, { id: 'a1', command: 'help-answer', expires: 10000, by: 'tablet1', station: 'st1' });
  assert.equal(st2.payload.station, 'st2');
  assert.equal(toneDue(state, 30000), false);
  assert.equal(cardModel(state, 'st1', 30000).session.help.answering, true);
  // st1 refused (its agent was busy); st2's call is answered by the station.
  applyResult(state, 'st1', { id: 'a1', ok: false, error: 'no' });
  applyStatus(state, 'st2', status({ at: 200, help: help(100, { answered: true, by: 'tablet1' }) }), 0, RETAINED_LIFETIME_S, 30000);
  assert.deepEqual([toneDue(state, 30000), toneDue(state, 39999), toneDue(state, 40000)], [true, false, true]);
  applyStatus(state, 'st1', status({ at: 300, help: null }), 0, RETAINED_LIFETIME_S, 41000);
  assert.equal(toneDue(state, 60000), false);
});

test('session commands: length and game from the dialog, +5 minutes; free and ready stations; one report a connection', () => {
  const state = createState();
  state.epoch = 1;
  applyStatus(state, 'st1', status({ session: running(60) }), 0, RETAINED_LIFETIME_S - 3, 0);
  applyStatus(state, 'st2', status({ session: { ...running(0), state: 'ended', endReason: 'time' }, ready: false }), 0);
  applyStatus(state, 'st3', status(), 0);
  applyStatus(state, 'st4', status({ online: false, since: 5 }), 0);
  assert.deepEqual(freeAndReady(state), ['st3']);
  assert.deepEqual(['st1', 'st2', 'st3', 'st4'].map((id) => wantsReport(state, id)), [true, false, false, false]);
  assert.equal(wantsReport(state, 'st1'), false); // asked once a connection
  state.epoch = 2;
  assert.equal(wantsReport(state, 'st1'), true);
  assert.equal(cardModel(state, 'st2', 0).session.endReason, 'time');

  assert.equal(formSeconds({ minutes: 15, typed: '' }), 900);
  assert.deepEqual(['25', '0:20', ' 1:30 ', '1440', '1441', '0', '0:00', '1:60', '-5', '2.5', '10m', ''].map(typedSeconds),
    [1500, 20, 90, 86400, null, null, null, null, null, null, null, null]);
  toggleSelected(state, 'st3');
  toggleSelected(state, 'st4');
  const sent = prepareStationCommands(state, [...state.selected], 'session-start', { seconds: 900, gameId: 'g1' }, 0, () => 's1');
  assert.deepEqual(sent.map((c) => c.payload), [{ id: 's1', command: 'session-start', expires: 10000, by: 'desk', station: 'st3',
    seconds: 900, gameId: 'g1' }]);
  assert.equal(cardModel(state, 'st4', 0).result.state, 'offline');
  const [extend] = prepareStationCommands(state, ['st1'], 'session-extend', { seconds: 300 }, 0, () => 'e1');
  assert.deepEqual([extend.payload.seconds, 'gameId' in extend.payload], [300, false]);
});
