// What the page accepts from the broker, and what it skips with a reason.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { parseTopic, pictureType, readCatalogue, readResult, readStatus } from '../../../console/src/payloads.js';

const bytes = (value) => new TextEncoder().encode(typeof value === 'string' ? value : JSON.stringify(value));
const status = { online: true, station: 'st01', since: 5, runningGame: null, hiddenGames: [], deviceService: true };

test('topics: only the interface\'s, with a valid station id or hash', () => {
  assert.deepEqual(parseTopic('nerq/v1/stations/st-01_a/status'), { kind: 'status', station: 'st-01_a' });
  assert.deepEqual(parseTopic('nerq/v1/catalogue'), { kind: 'catalogue' });
  assert.equal(parseTopic(`nerq/v1/pictures/${'a'.repeat(64)}`).sha, 'a'.repeat(64));
  for (const topic of ['nerq/v1/stations/st 1/status', 'nerq/v1/stations/st01/commands', 'nerq/v1/stations/st01/status/x',
    `nerq/v1/stations/${'a'.repeat(65)}/status`, 'nerq/v1/pictures/ABC', 'nerq/v2/catalogue']) {
    assert.equal(parseTopic(topic), null, topic);
  }
});

test('a status: defaults for what is left out, the whole message refused for a misfit', () => {
  const read = readStatus('st01', bytes({ online: false, station: 'st01' }));
  assert.deepEqual(read.value, { online: false, version: '', host: '', since: null, at: null, runningGame: null, steamRunningAppId: 0,
    lastLaunch: null, catalogueRevision: null, cataloguePublished: null, hiddenGames: [], deviceService: false,
    session: null, help: null, ready: false, headset: { connected: false, vr: false }, network: [] });
  assert.deepEqual(readStatus('st01', new Uint8Array()), { value: null }); // cleared: the station is gone
  const refused = [
    ['not json', /not JSON/], [[1], /not a JSON object/], ['null', /not a JSON object/],
    [{ ...status, station: 'st02' }, /not the topic's/], [{ ...status, online: 'yes' }, /"online"/],
    [{ ...status, hiddenGames: ['a', 3] }, /"hiddenGames"/], [{ ...status, lastLaunch: { gameId: 'g' } }, /"lastLaunch"/],
    [{ ...status, since: -1 }, /"since"/], [{ ...status, at: '12:00' }, /"at"/], [{ station: 'st01' }, /no "online"/],
  ];
  for (const [payload, reason] of refused) assert.match(readStatus('st01', bytes(payload)).error, reason);
  assert.match(readStatus('st01', new Uint8Array([0x7b, 0xff, 0x7d])).error, /UTF-8/);
});

test('a result names its command; another station\'s is refused', () => {
  assert.deepEqual(readResult('st01', bytes({ id: 'c1', station: 'st01', ok: false, error: 'expired', at: 9 })).value,
    { id: 'c1', ok: false, error: 'expired', at: 9 });
  assert.match(readResult('st01', bytes({ id: 'c1', ok: true, station: 'st02' })).error, /not the topic's/);
  assert.match(readResult('st01', bytes({ id: 'c1', ok: 1, station: 'st01' })).error, /"ok"/);
  assert.match(readResult('st01', bytes({ id: 'c1', ok: true })).error, /no "station"/);
});

test('the catalogue to tiles: order kept, pictures by hash, entries without an id skipped and named', () => {
  const sha = 'b'.repeat(64);
  const read = readCatalogue(bytes({
    revision: 'r1',
    en: [{ gameId: 'a', gameName: 'Alpha', imgPath: 'i/a.png', isNative: true }, { gameName: 'no id' },
      { gameId: 'b', imgPath: 'i/b.png' }],
    cn: [null, { gameId: 'a', gameName: '阿尔法', imgPath: 'i/a.png' }, { gameId: 7 }],
    pictures: { 'i/a.png': sha },
  }));
  assert.deepEqual(read.value.en, [{ gameId: 'a', name: 'Alpha', isNative: true, sha },
    { gameId: 'b', name: 'b', isNative: false, sha: null }]);
  assert.deepEqual(read.value.cn, [{ gameId: 'a', name: '阿尔法', isNative: false, sha }, { gameId: '7', name: '7', isNative: false, sha: null }]);
  assert.deepEqual(read.skipped, ['en[1]', 'cn[0]']);
  // What a station would refuse, the page refuses whole: it would show games no station has.
  assert.match(readCatalogue(bytes({ revision: 1, en: [], cn: [] })).error, /revision/);
  // When it was published, shown on the page; a time that is none is not shown.
  assert.equal(readCatalogue(bytes({ revision: 'r', published: 1765000000000, en: [], cn: [] })).value.published, 1765000000000);
  for (const published of [0, -5, null]) {
    assert.equal(readCatalogue(bytes({ revision: 'r', published, en: [], cn: [] })).value.published, null);
  }
  assert.match(readCatalogue(bytes({ revision: 'r', published: 'today', en: [], cn: [] })).error, /published/);
  assert.match(readCatalogue(bytes({ revision: 'r', en: {}, cn: [] })).error, /arrays/);
  assert.match(readCatalogue(bytes({ revision: 'r', en: [{ gameId: 'a' }, { gameId: 'a' }], cn: [] })).error, /twice/);
  assert.match(readCatalogue(bytes({ revision: 'r', en: [], cn: [], pictures: { x: 'not a hash' } })).error, /sha256/);
});

test('a picture is known by its first bytes, not by what it claims', () => {
  assert.equal(pictureType(new Uint8Array([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0])), 'image/png');
  assert.equal(pictureType(new Uint8Array([0xff, 0xd8, 0xff, 0xe0])), 'image/jpeg');
  assert.equal(pictureType(bytes('<svg onload="x()">')), null);
  assert.equal(pictureType(new Uint8Array()), null);
});
