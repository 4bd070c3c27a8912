// The venue's sample payloads (tests/venue/payloads), read as the page reads them: each must reach
// its verdict, as the C++ readers of the desk and the stations must (tst_venuepayloads).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { DESK_USER, ROOT, topics } from '../../../console/src/interface.js';
import {
  parseTopic, readCatalogue, readPicture, readResult, readStatus, readToday, readWakeAnswer,
} from '../../../console/src/payloads.js';
import {
  COMMAND_LIFETIME_MS, applyStatus, createState, prepareCommands, prepareStationCommands, toggleSelected,
} from '../../../console/src/state.js';

const folder = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../../venue/payloads');
const samples = (name) => JSON.parse(fs.readFileSync(path.join(folder, name), 'utf8'));

// The bytes a sample stands for, as the samples' README says.
function bytesOf(sample) {
  if ('text' in sample) return new TextEncoder().encode(sample.text);
  if ('bytes' in sample) return new Uint8Array(Buffer.from(sample.bytes, 'base64'));
  const payload = { ...sample.payload };
  if (sample.padded) payload.padding = 'x'.repeat(sample.padded);
  if (sample.nested) {
    let nested = [];
    for (let depth = 1; depth < sample.nested; ++depth) nested = [nested];
    payload.nested = nested;
  }
  return new TextEncoder().encode(JSON.stringify(payload));
}

// "accept", "refuse" or "cleared", as the page decides, with its reason.
function verdict(topic, bytes) {
  const subject = parseTopic(topic);
  let read;
  if (subject.kind === 'status') read = readStatus(subject.station, bytes);
  else if (subject.kind === 'results') read = readResult(subject.station, bytes);
  else if (subject.kind === 'catalogue') read = readCatalogue(bytes);
  else if (subject.kind === 'today') read = readToday(bytes);
  else if (subject.kind === 'wake') read = readWakeAnswer(bytes);
  else read = readPicture(subject.sha, bytes);
  if (read.error) return ['refuse', read.error];
  return [read.value === null ? 'cleared' : 'accept', ''];
}

for (const file of ['status.json', 'results.json', 'catalogue.json', 'pictures.json', 'today.json']) {
  test(`every sample of ${file} reaches its verdict`, () => {
    const list = samples(file);
    assert.ok(list.length > 2);
    for (const sample of list) {
      const [reached, reason] = verdict(sample.topic, bytesOf(sample));
      assert.equal(reached, sample.verdict, `${sample.name}: ${reason}`);
    }
  });
}

test('the page\'s commands have the form of an accepted sample', () => {
  const accepted = samples('commands.json').find((s) => s.name === 'the page\'s launch');
  assert.equal(accepted.verdict, 'accept');
  const state = createState();
  applyStatus(state, 'st01', { online: true, since: 1, hiddenGames: [], lastLaunch: null }, 0);
  toggleSelected(state, 'st01');
  const [{ topic, payload }] = prepareCommands(state, 'launch', 'orbit', 5, () => accepted.payload.id);
  assert.equal(topic, accepted.topic);
  assert.deepEqual(payload, { ...accepted.payload, expires: 5 + COMMAND_LIFETIME_MS });
  const session = samples('commands.json').find((s) => s.name === 'the page\'s session, with a game');
  assert.equal(session.verdict, 'accept');
  const [started] = prepareStationCommands(state, ['st01'], 'session-start', { seconds: 900, gameId: 'orbit' }, 5, () => 's1');
  assert.deepEqual(started.payload, { ...session.payload, expires: 5 + COMMAND_LIFETIME_MS });
});

test('a station\'s interfaces read as the stations\' C++ reads them: MACs in lower case', () => {
  const sample = samples('status.json').find((s) => s.name === 'the interfaces to wake it by');
  assert.deepEqual(readStatus('st01', bytesOf(sample)).value.network, [
    { mac: '02:1a:2b:3c:4d:5e', broadcast: '192.168.1.255' }, { mac: '02:1a:2b:3c:4d:5f', broadcast: '10.0.255.255' },
  ]);
});

test('topics are built and read as the samples say', () => {
  const { root, deskUser, topics: list } = samples('interface.json');
  assert.equal(ROOT, root);
  assert.equal(DESK_USER, deskUser);
  for (const { topic, kind, station, sha } of list) {
    const read = parseTopic(topic);
    if (kind === 'status' || kind === 'results') {
      assert.deepEqual(read, { kind, station });
      assert.equal(topics[kind](station), topic);
    } else if (kind === 'catalogue') {
      assert.deepEqual(read, { kind });
      assert.equal(topics.catalogue(), topic);
    } else if (kind === 'picture') {
      assert.deepEqual(read, { kind, sha });
      assert.equal(topics.picture(sha), topic);
    } else if (kind === 'today') {
      assert.deepEqual(read, { kind });
      assert.equal(topics.today(), topic);
    } else if (kind === 'wakeAnswer') {
      assert.deepEqual(read, { kind: 'wake' });
      assert.equal(topics.wakeAnswer(), topic);
    } else if (kind === 'wake') {
      assert.equal(read, null, 'the page reads no wake requests');
      assert.equal(topics.wake(), topic);
    } else if (kind === 'commands') {
      assert.equal(read, null, 'the page reads no commands');
      assert.equal(topics.commands(station), topic);
    } else {
      assert.equal(read, null, topic);
    }
  }
});
