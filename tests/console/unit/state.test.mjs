// Statuses and results to cards, commands to the selected stations, staleness and refresh.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import {
  RETAINED_LIFETIME_S, applyCatalogue, catalogueModel, applyResult, applyStatus, cardModel, connectionLost, createState, dropUnrefreshed, expirePending,
  newCommandId, prepareCommands, selectAllOnline, stationIds, tiles, toggleSelected,
} from '../../../console/src/state.js';

const status = (online, extra = {}) => ({
  online, version: '1', host: 'pc', since: online ? 100 : null, at: null, runningGame: null, steamRunningAppId: 0, lastLaunch: null,
  catalogueRevision: 'r1', cataloguePublished: 77, hiddenGames: [], deviceService: true, ...extra,
});
const tile = (gameId, name, sha = null) => ({ gameId, name, isNative: false, sha });

function floor() {
  const state = createState();
  state.connection = 'online';
  applyCatalogue(state, { revision: 'r1', published: 5, en: [tile('g1', 'Game', 'aa')], cn: [tile('g1', '游戏', 'aa')] });
  state.pictures.set('aa', 'blob:aa');
  for (const id of ['st10', 'st2', 'st1']) applyStatus(state, id, status(true), 0);
  applyStatus(state, 'st3', status(false), 0);
  return state;
}

test('a card: the running game with name and picture in the page\'s language, the catalogue\'s standing', () => {
  const state = floor();
  applyStatus(state, 'st1', status(true, { runningGame: 'g1', hiddenGames: ['g1', 'gone'], catalogueRevision: 'r0' }), 0);
  let card = cardModel(state, 'st1');
  assert.deepEqual([card.running.name, card.running.url], ['游戏', 'blob:aa']);
  assert.deepEqual(card.hidden, ['游戏', 'gone']); // a game the catalogue lacks shows by its id
  assert.deepEqual(card.catalogue, { own: false, revision: 'r0', published: 77, current: false });
  assert.deepEqual(catalogueModel(state), { revision: 'r1', published: 5, games: 1, following: 3, of: 4 });
  assert.equal(catalogueModel(createState()), null);
  state.language = 'en';
  card = cardModel(state, 'st1');
  assert.equal(card.running.name, 'Game');
  assert.deepEqual(tiles(state).map((t) => [t.name, t.url]), [['Game', 'blob:aa']]);
  assert.deepEqual(stationIds(state), ['st1', 'st2', 'st3', 'st10']);
});

test('offline since: from the status, from the drop the page saw, or not known', () => {
  const state = floor();
  assert.equal(cardModel(state, 'st3').since, null); // a last will found on arrival
  applyStatus(state, 'st1', status(false), 5000); // the will, seen as it came
  assert.equal(cardModel(state, 'st1').since, 5000);
  applyStatus(state, 'st1', status(false), 9000); // again (the broker restarted): still the first time
  assert.equal(cardModel(state, 'st1').since, 5000);
  applyStatus(state, 'st2', status(false, { since: 700 }), 9000); // the agent's own goodbye
  assert.equal(cardModel(state, 'st2').since, 700);
});

test('a station an hour ahead: its times on the page\'s clock, by the broker\'s count of each status\'s age', () => {
  const state = floor();
  const hour = 3600 * 1000;
  const now = 50 * hour;
  // Sent 10 s ago by the station's clock, an hour ahead; online for a minute, launched 30 s ago.
  const sent = now + hour - 10000;
  const ahead = status(true, { at: sent, since: sent - 50000, lastLaunch: { gameId: 'g1', at: sent - 20000, by: 'desk' } });
  applyStatus(state, 'st1', ahead, now, RETAINED_LIFETIME_S - 10);
  let card = cardModel(state, 'st1');
  assert.deepEqual([card.since, card.lastLaunch.at], [now - 60000, now - 30000]);
  // Its last will, which the broker sent 5 s ago: offline since then; the launch keeps its time.
  applyStatus(state, 'st1', status(false, { since: null, lastLaunch: ahead.lastLaunch }), now + 20000,
    RETAINED_LIFETIME_S - 5);
  card = cardModel(state, 'st1');
  assert.deepEqual([card.since, card.lastLaunch.at], [now + 15000, now - 30000]);
  // A page opened later finds only the will: when the launch was is not known.
  const late = floor();
  applyStatus(late, 'st1', status(false, { since: null, lastLaunch: ahead.lastLaunch }), now + hour, RETAINED_LIFETIME_S - 3605);
  card = cardModel(late, 'st1');
  assert.deepEqual([card.since, card.lastLaunch.at], [now - 5000, null]);
});

test('commands go to the selected online stations only, each with its own id and expiry', () => {
  const state = floor();
  selectAllOnline(state);
  toggleSelected(state, 'st3');
  toggleSelected(state, 'nope');
  let n = 0;
  const sent = prepareCommands(state, 'launch', 'g1', 1000, () => `c${++n}`);
  assert.deepEqual(sent.map((c) => c.topic), ['nerq/v1/stations/st1/commands', 'nerq/v1/stations/st2/commands',
    'nerq/v1/stations/st10/commands']);
  assert.deepEqual(sent[0].payload, { id: 'c1', command: 'launch', expires: 11000, by: 'desk', station: 'st1', gameId: 'g1' });
  assert.equal(cardModel(state, 'st3').result.state, 'offline');
  assert.equal(cardModel(state, 'st1').result.state, 'pending');
  const calibrate = prepareCommands(state, 'calibrate', undefined, 1000, () => 'c9');
  assert.equal('gameId' in calibrate[0].payload, false);
  // Cut off from the broker, the page trusts no "online" it saw before.
  connectionLost(state);
  assert.deepEqual(prepareCommands(state, 'launch', 'g1', 1000, () => 'x'), []);
});

test('results: the right command on the right station; silence becomes "no answer"', () => {
  const state = floor();
  toggleSelected(state, 'st1');
  toggleSelected(state, 'st2');
  let n = 0;
  prepareCommands(state, 'launch', 'g1', 0, () => `c${++n}`); // st1: c1, st2: c2
  assert.equal(applyResult(state, 'st2', { id: 'c1', ok: true, error: '' }), false); // st1's, on st2's topic
  assert.equal(applyResult(state, 'st1', { id: 'other', ok: true, error: '' }), false);
  assert.equal(applyResult(state, 'st1', { id: 'c1', ok: false, error: 'unknown game "g1"' }), true);
  assert.deepEqual([cardModel(state, 'st1').result.state, cardModel(state, 'st1').result.error], ['failed', 'unknown game "g1"']);
  assert.equal(expirePending(state, 10999), false);
  assert.equal(expirePending(state, 11000), true);
  assert.equal(cardModel(state, 'st2').result.state, 'noAnswer');
  assert.equal(cardModel(state, 'st1').result.state, 'failed');
  // A newer command's card is not covered by the older one's late answer.
  prepareCommands(state, 'calibrate', undefined, 12000, () => 'c3');
  assert.equal(applyResult(state, 'st2', { id: 'c2', ok: true, error: '' }), false);
  assert.equal(expirePending(state, 20000), false);
  assert.equal(applyResult(state, 'st2', { id: 'c3', ok: true, error: '' }), true);
  assert.equal(cardModel(state, 'st2').result.command, 'calibrate');
});

test('after a reconnect, stations that did not report again are gone', () => {
  const state = floor();
  toggleSelected(state, 'st2');
  connectionLost(state);
  assert.equal(cardModel(state, 'st1').stale, true);
  applyStatus(state, 'st1', status(true), 0);
  applyStatus(state, 'st3', null, 0); // cleared while we were away
  dropUnrefreshed(state);
  assert.deepEqual(stationIds(state), ['st1']);
  assert.equal(cardModel(state, 'st1').stale, false);
  assert.equal(state.selected.size, 0);
});

test('command ids without crypto.randomUUID (plain http is no secure context) are UUIDs all the same', () => {
  const insecure = { getRandomValues: (a) => globalThis.crypto.getRandomValues(a) };
  const ids = new Set(Array.from({ length: 100 }, () => newCommandId(insecure)));
  assert.equal(ids.size, 100);
  for (const id of ids) assert.match(id, /^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$/);
});
