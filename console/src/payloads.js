// What the page reads off the broker, checked field by field. Each reader returns either
// { value } or { error } with a reason for the page's log; nothing here touches the page.

export const PREFIX = 'nerq/v1/';
const STATION_ID = /^[A-Za-z0-9_-]{1,64}$/;
const SHA256 = /^[0-9a-f]{64}$/;

export function isStationId(id) {
  return typeof id === 'string' && STATION_ID.test(id);
}

// The subject of a topic: { kind: 'status'|'results', station } or { kind: 'catalogue' } or
// { kind: 'picture', sha }; null for anything else.
export function parseTopic(topic) {
  if (!topic.startsWith(PREFIX)) return null;
  const levels = topic.slice(PREFIX.length).split('/');
  if (levels.length === 3 && levels[0] === 'stations' && isStationId(levels[1]) &&
      (levels[2] === 'status' || levels[2] === 'results')) {
    return { kind: levels[2], station: levels[1] };
  }
  if (levels.length === 1 && levels[0] === 'catalogue') return { kind: 'catalogue' };
  if (levels.length === 2 && levels[0] === 'pictures' && SHA256.test(levels[1])) {
    return { kind: 'picture', sha: levels[1] };
  }
  return null;
}

function parseJsonObject(bytes) {
  let value;
  try {
    value = JSON.parse(new TextDecoder('utf-8', { fatal: true }).decode(bytes));
  } catch (e) {
    return { error: `not JSON in UTF-8 (${e.message})` };
  }
  if (value === null || typeof value !== 'object' || Array.isArray(value)) {
    return { error: 'not a JSON object' };
  }
  return { value };
}

const isText = (v) => typeof v === 'string';
const isTime = (v) => typeof v === 'number' && Number.isFinite(v) && v >= 0;
const isTextOrNull = (v) => v === null || isText(v);

// Checks `object` against `fields` (name -> [test, description, optional]); the first misfit's
// reason, or null.
function misfit(object, fields) {
  for (const [name, [test, description, optional]] of Object.entries(fields)) {
    if (!(name in object)) {
      if (optional) continue;
      return `no "${name}"`;
    }
    if (!test(object[name])) return `"${name}" is not ${description}`;
  }
  return null;
}

const STATUS_FIELDS = {
  online: [(v) => typeof v === 'boolean', 'a bool'],
  station: [isText, 'text'],
  version: [isText, 'text', true],
  host: [isText, 'text', true],
  since: [(v) => v === null || isTime(v), 'a time or null', true],
  runningGame: [isTextOrNull, 'text or null', true],
  steamRunningAppId: [(v) => Number.isInteger(v) && v >= 0, 'an app id', true],
  lastLaunch: [(v) => v === null || (typeof v === 'object' && !Array.isArray(v) &&
    isText(v.gameId) && isTime(v.at) && (v.by === undefined || isText(v.by))),
  'null or { gameId, at, by }', true],
  catalogueRevision: [isTextOrNull, 'text or null', true],
  hiddenGames: [(v) => Array.isArray(v) && v.every(isText), 'an array of text', true],
  deviceService: [(v) => typeof v === 'boolean', 'a bool', true],
};

// A station's retained status. An empty payload is a station taken away (its retained status
// cleared): { value: null }.
export function readStatus(station, bytes) {
  if (bytes.length === 0) return { value: null };
  const parsed = parseJsonObject(bytes);
  if (parsed.error) return parsed;
  const s = parsed.value;
  const reason = misfit(s, STATUS_FIELDS);
  if (reason) return { error: reason };
  if (s.station !== station) return { error: `"station" is "${s.station}", not the topic's` };
  return {
    value: {
      online: s.online,
      version: s.version ?? '',
      host: s.host ?? '',
      since: s.since ?? null,
      runningGame: s.runningGame ?? null,
      steamRunningAppId: s.steamRunningAppId ?? 0,
      lastLaunch: s.lastLaunch ? { gameId: s.lastLaunch.gameId, at: s.lastLaunch.at, by: s.lastLaunch.by ?? '' } : null,
      catalogueRevision: s.catalogueRevision ?? null,
      hiddenGames: s.hiddenGames ?? [],
      deviceService: s.deviceService ?? false,
    },
  };
}

const RESULT_FIELDS = {
  id: [isTextOrNull, 'text or null'],
  ok: [(v) => typeof v === 'boolean', 'a bool'],
  error: [isText, 'text', true],
  at: [isTime, 'a time', true],
  station: [isText, 'text', true],
};

export function readResult(station, bytes) {
  const parsed = parseJsonObject(bytes);
  if (parsed.error) return parsed;
  const r = parsed.value;
  const reason = misfit(r, RESULT_FIELDS);
  if (reason) return { error: reason };
  if (r.station !== undefined && r.station !== station) {
    return { error: `"station" is "${r.station}", not the topic's` };
  }
  return { value: { id: r.id, ok: r.ok, error: r.error ?? '', at: r.at ?? null } };
}

// The venue catalogue: both languages' games as tiles ({ gameId, name, isNative, sha }) in the
// venue's order. An entry without a usable gameId is left out and named in `skipped`.
export function readCatalogue(bytes) {
  const parsed = parseJsonObject(bytes);
  if (parsed.error) return parsed;
  const c = parsed.value;
  if (!isText(c.revision)) return { error: '"revision" is not text' };
  if (!Array.isArray(c.en) || !Array.isArray(c.cn)) return { error: '"en" and "cn" must be arrays' };
  const pictures = c.pictures && typeof c.pictures === 'object' && !Array.isArray(c.pictures) ? c.pictures : {};
  const skipped = [];
  const tiles = (entries, language) => {
    const out = [];
    const seen = new Set();
    entries.forEach((e, i) => {
      if (!e || typeof e !== 'object' || !isText(e.gameId) || e.gameId === '' || seen.has(e.gameId)) {
        skipped.push(`${language}[${i}]`);
        return;
      }
      seen.add(e.gameId);
      const sha = isText(e.imgPath) && isText(pictures[e.imgPath]) && SHA256.test(pictures[e.imgPath])
        ? pictures[e.imgPath] : null;
      out.push({ gameId: e.gameId, name: isText(e.gameName) ? e.gameName : e.gameId, isNative: e.isNative === true, sha });
    });
    return out;
  };
  return { value: { revision: c.revision, en: tiles(c.en, 'en'), cn: tiles(c.cn, 'cn') }, skipped };
}

// The picture's type from its first bytes; null for anything that is no picture a page shows.
export function pictureType(bytes) {
  const starts = (...sig) => sig.every((b, i) => bytes[i] === b);
  if (starts(0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a)) return 'image/png';
  if (starts(0xff, 0xd8, 0xff)) return 'image/jpeg';
  if (starts(0x47, 0x49, 0x46, 0x38)) return 'image/gif';
  if (starts(0x42, 0x4d)) return 'image/bmp';
  if (starts(0x52, 0x49, 0x46, 0x46) && bytes.length > 12 &&
      String.fromCharCode(...bytes.subarray(8, 12)) === 'WEBP') return 'image/webp';
  return null;
}
