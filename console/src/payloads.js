// What the page reads off the broker, checked field by field as the desk's and the stations' C++
// reads it (venueprotocol.cpp, venuecatalogue.cpp): the tests' sample payloads hold both to the
// same verdicts. Each reader returns either { value } or { error } with a reason for the page's
// log; nothing here touches the page.
import { ROOT } from './interface.js';
import { sha256Hex } from './sha256.js';

const STATION_ID = /^[A-Za-z0-9_-]{1,64}$/;
const SHA256 = /^[0-9a-f]{64}$/;
// A status, a result or a command is a few hundred bytes; a catalogue a few kilobytes.
const MAX_SMALL_BYTES = 64 * 1024;
const MAX_CATALOGUE_BYTES = 16 * 1024 * 1024;
// As deep as the C++ readers go: Qt's JSON for the small payloads, jsoncpp for the catalogue.
// jsoncpp's limit, which every reader on a station and the desk applies first.
const MAX_DEPTH = 1000;
const MAX_TIME = 2 ** 53;
const MAX_INT = 2 ** 31 - 1;
// A station's network interfaces, to wake it by: more than a PC has is not a status.
const MAX_INTERFACES = 32;
const MAC = /^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}$/;
const IPV4 = /^(25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])(\.(25[0-5]|2[0-4][0-9]|1?[0-9]?[0-9])){3}$/;

export function isStationId(id) {
  return typeof id === 'string' && STATION_ID.test(id);
}

// The subject of a topic: { kind: 'status'|'results', station } or { kind: 'catalogue' } or
// { kind: 'picture', sha } or { kind: 'today'|'wake' } (the recorder's); null for anything else.
export function parseTopic(topic) {
  if (!topic.startsWith(ROOT)) return null;
  const levels = topic.slice(ROOT.length).split('/');
  if (levels.length === 3 && levels[0] === 'stations' && isStationId(levels[1]) &&
      (levels[2] === 'status' || levels[2] === 'results')) {
    return { kind: levels[2], station: levels[1] };
  }
  if (levels.length === 1 && levels[0] === 'catalogue') return { kind: 'catalogue' };
  if (levels.length === 2 && levels[0] === 'pictures' && SHA256.test(levels[1])) {
    return { kind: 'picture', sha: levels[1] };
  }
  if (levels.length === 2 && levels[0] === 'reports' && (levels[1] === 'today' || levels[1] === 'wake')) {
    return { kind: levels[1] };
  }
  return null;
}

// How deep the text nests, and the first key an object holds twice (or null).
function shape(text) {
  const frames = [];
  let depth = 0;
  for (let i = 0; i < text.length; ++i) {
    const c = text[i];
    if (c === '"') {
      let end = i + 1;
      while (text[end] !== '"') end += text[end] === '\\' ? 2 : 1;
      const keys = frames.at(-1);
      let next = end + 1;
      while (/\s/.test(text[next] ?? '')) ++next;
      if (keys && text[next] === ':') {
        const key = JSON.parse(text.slice(i, end + 1));
        if (keys.has(key)) return { depth, duplicate: key };
        keys.add(key);
      }
      i = end;
    } else if (c === '{' || c === '[') {
      frames.push(c === '{' ? new Set() : null);
      depth = Math.max(depth, frames.length);
    } else if (c === '}' || c === ']') {
      frames.pop();
    }
  }
  return { depth, duplicate: null };
}

// A JSON object in UTF-8, no larger or deeper than the C++ reader takes, with no number too large
// for a double, and no object that holds a key twice (jsoncpp's strict mode refuses it; JSON.parse
// would keep the last).
function parseJsonObject(bytes, { maxBytes = MAX_SMALL_BYTES } = {}) {
  if (bytes.length > maxBytes) return { error: `${bytes.length} bytes, too large` };
  let text;
  let value;
  try {
    text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    value = JSON.parse(text, (key, v) => {
      if (typeof v === 'number' && !Number.isFinite(v)) throw new Error(`"${key}" is a number out of range`);
      return v;
    });
  } catch (e) {
    return { error: `not JSON in UTF-8 (${e.message})` };
  }
  const { depth, duplicate } = shape(text);
  if (depth > MAX_DEPTH) return { error: 'not JSON: nested too deeply' };
  if (duplicate !== null) return { error: `not JSON: the key "${duplicate}" is there twice` };
  if (value === null || typeof value !== 'object' || Array.isArray(value)) {
    return { error: 'not a JSON object' };
  }
  return { value };
}

const isText = (v) => typeof v === 'string';
const isTime = (v) => typeof v === 'number' && v >= 0 && v <= MAX_TIME;
const isTextOrNull = (v) => v === null || isText(v);
const isBool = (v) => typeof v === 'boolean';
const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);

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

// Tests for an object that fits `fields`, and for a list of them.
const fits = (fields) => (v) => isObject(v) && !misfit(v, fields);
const listOf = (fields) => (v) => Array.isArray(v) && v.every(fits(fields));

const LAST_LAUNCH_FIELDS = {
  gameId: [isText, 'text'],
  at: [isTime, 'a time'],
  by: [isText, 'text', true],
};

const isTimeOrNull = (v) => v === null || isTime(v);
const isCount = (v) => Number.isInteger(v) && v >= 0 && v <= MAX_TIME;
const oneOf = (...names) => (v) => names.includes(v);

// A station's session, as sessionstatus.cpp reads it: every field there, null only where said.
const SESSION_FIELDS = {
  id: [isText, 'text'],
  state: [oneOf('running', 'timeup', 'ended'), 'running, timeup or ended'],
  seconds: [isCount, 'a whole number of seconds'],
  remainingSeconds: [(v) => v === null || isCount(v), 'a whole number of seconds or null'],
  startedAt: [isTime, 'a time'],
  endsAt: [isTime, 'a time'],
  endedAt: [isTimeOrNull, 'a time or null'],
  endReason: [(v) => v === null || oneOf('time', 'desk', 'player')(v), 'time, desk, player or null'],
  gameId: [isTextOrNull, 'text or null'],
};

const HELP_FIELDS = {
  at: [isTime, 'a time'],
  answered: [isBool, 'a bool'],
  answeredAt: [isTimeOrNull, 'a time or null'],
  by: [isTextOrNull, 'text or null'],
};

const HEADSET_FIELDS = {
  connected: [isBool, 'a bool'],
  vr: [isBool, 'a bool'],
};

// The fields the page knows, without any others a later agent may add.
const pick = (object, fields) => Object.fromEntries(Object.keys(fields).map((name) => [name, object[name]]));

// null, or an object whose fields fit: the first misfit's reason with the object's name, or null.
function partMisfit(status, name, fields, nullable) {
  if (!(name in status) || (nullable && status[name] === null)) return null;
  if (!isObject(status[name])) return `"${name}" is not an object${nullable ? ' or null' : ''}`;
  const reason = misfit(status[name], fields);
  return reason ? `${name}: ${reason}` : null;
}

const INTERFACE_FIELDS = {
  mac: [(v) => isText(v) && MAC.test(v), 'six bytes in hex, as aa:bb:cc:dd:ee:ff'],
  broadcast: [(v) => isText(v) && IPV4.test(v), 'an IPv4 address'],
};

const STATUS_FIELDS = {
  online: [isBool, 'a bool'],
  station: [isText, 'text'],
  version: [isText, 'text', true],
  host: [isText, 'text', true],
  since: [(v) => v === null || isTime(v), 'a time or null', true],
  at: [(v) => v === null || isTime(v), 'a time or null', true],
  runningGame: [isTextOrNull, 'text or null', true],
  steamRunningAppId: [(v) => Number.isInteger(v) && v >= 0 && v <= MAX_INT, 'an app id', true],
  lastLaunch: [(v) => v === null || fits(LAST_LAUNCH_FIELDS)(v),
    'null or { gameId, at, by }', true],
  catalogueRevision: [isTextOrNull, 'text or null', true],
  cataloguePublished: [(v) => v === null || isTime(v), 'a time or null', true],
  hiddenGames: [(v) => Array.isArray(v) && v.every(isText), 'an array of text', true],
  deviceService: [isBool, 'a bool', true],
  ready: [isBool, 'a bool', true],
  network: [(v) => listOf(INTERFACE_FIELDS)(v) && v.length <= MAX_INTERFACES,
    `a list of at most ${MAX_INTERFACES} { mac, broadcast }`, true],
};

// A station's retained status. An empty payload is a station taken away (its retained status
// cleared): { value: null }.
export function readStatus(station, bytes) {
  if (bytes.length === 0) return { value: null };
  const parsed = parseJsonObject(bytes);
  if (parsed.error) return parsed;
  const s = parsed.value;
  const reason = misfit(s, STATUS_FIELDS) ?? partMisfit(s, 'session', SESSION_FIELDS, true) ??
    partMisfit(s, 'help', HELP_FIELDS, true) ?? partMisfit(s, 'headset', HEADSET_FIELDS, false);
  if (reason) return { error: reason };
  if (s.station !== station) return { error: `"station" is "${s.station}", not the topic's` };
  return {
    value: {
      online: s.online,
      version: s.version ?? '',
      host: s.host ?? '',
      since: s.since ?? null,
      at: s.at ?? null,
      runningGame: s.runningGame ?? null,
      steamRunningAppId: s.steamRunningAppId ?? 0,
      lastLaunch: s.lastLaunch ? { gameId: s.lastLaunch.gameId, at: s.lastLaunch.at, by: s.lastLaunch.by ?? '' } : null,
      catalogueRevision: s.catalogueRevision ?? null,
      cataloguePublished: s.cataloguePublished ?? null,
      hiddenGames: s.hiddenGames ?? [],
      deviceService: s.deviceService ?? false,
      session: s.session ? pick(s.session, SESSION_FIELDS) : null,
      help: s.help ? pick(s.help, HELP_FIELDS) : null,
      ready: s.ready ?? false,
      headset: s.headset ? pick(s.headset, HEADSET_FIELDS) : { connected: false, vr: false },
      network: (s.network ?? []).map(({ mac, broadcast }) => ({ mac: mac.toLowerCase(), broadcast })),
    },
  };
}

const RESULT_FIELDS = {
  id: [isTextOrNull, 'text or null'],
  station: [isText, 'text'],
  ok: [isBool, 'a bool'],
  error: [isText, 'text', true],
  at: [isTime, 'a time', true],
};

export function readResult(station, bytes) {
  const parsed = parseJsonObject(bytes);
  if (parsed.error) return parsed;
  const r = parsed.value;
  const reason = misfit(r, RESULT_FIELDS);
  if (reason) return { error: reason };
  if (r.station !== station) return { error: `"station" is "${r.station}", not the topic's` };
  return { value: { id: r.id, ok: r.ok, error: r.error ?? '', at: r.at ?? null } };
}

// What the program would make of one catalogue entry's key, as jsoncpp converts it: text from a
// string, number, bool or null; a bool from a bool, number or null; a whole number from a number in
// range, a bool or null. Anything else makes the program refuse the catalogue.
const ENTRY_KEYS = {
  gameId: (v) => v === null || ['string', 'number', 'boolean'].includes(typeof v),
  gameName: (v) => v === null || ['string', 'number', 'boolean'].includes(typeof v),
  imgPath: (v) => v === null || ['string', 'number', 'boolean'].includes(typeof v),
  isNative: (v) => v === null || ['number', 'boolean'].includes(typeof v),
  launcherPath: (v) => v === null || ['string', 'number', 'boolean'].includes(typeof v),
  steamGameId: (v) => v === null || isBool(v) || (typeof v === 'number' && v >= -(2 ** 31) && v <= MAX_INT),
  gameMode: (v) => v === null || isBool(v) || (typeof v === 'number' && v >= -(2 ** 31) && v <= MAX_INT),
};

// Why the program would not load the list whole, or null.
function listProblem(entries, language) {
  const ids = new Set();
  for (const [i, e] of entries.entries()) {
    if (e !== null && (typeof e !== 'object' || Array.isArray(e))) return `${language}[${i}] is not a game`;
    for (const [key, fits] of Object.entries(ENTRY_KEYS)) {
      if (e !== null && key in e && !fits(e[key])) return `${language}[${i}]: "${key}" cannot be read`;
    }
    const id = e?.gameId == null ? '' : String(e.gameId);
    if (ids.has(id)) return `${language}[${i}]: the game id "${id}" is there twice`;
    ids.add(id);
  }
  return null;
}

function catalogueProblem(c) {
  if (!isText(c.revision) || c.revision.length < 1 || c.revision.length > 200) {
    return '"revision" is not text of 1 to 200 characters';
  }
  if (c.published != null && typeof c.published !== 'number') return '"published" is not a time';
  if (!Array.isArray(c.en) || !Array.isArray(c.cn)) return '"en" and "cn" must be arrays';
  const pictures = c.pictures ?? {};
  if (typeof pictures !== 'object' || Array.isArray(pictures)) return '"pictures" is not an object';
  for (const [imgPath, sha] of Object.entries(pictures)) {
    if (!isText(sha) || !SHA256.test(sha)) return `the picture of "${imgPath}" is no sha256`;
  }
  return listProblem(c.en, 'en') ?? listProblem(c.cn, 'cn');
}

// The venue catalogue: when it was published (null: not said) and both languages' games as tiles
// ({ gameId, name, isNative, sha }) in the venue's order. A catalogue the stations would refuse is refused whole; an entry without a
// gameId to start it by is left out of the tiles and named in `skipped`.
export function readCatalogue(bytes) {
  const parsed = parseJsonObject(bytes, { maxBytes: MAX_CATALOGUE_BYTES });
  if (parsed.error) return parsed;
  const c = parsed.value;
  const problem = catalogueProblem(c);
  if (problem) return { error: problem };
  const pictures = c.pictures ?? {};
  const skipped = [];
  const tiles = (entries, language) => {
    const out = [];
    entries.forEach((e, i) => {
      const gameId = e?.gameId == null ? '' : String(e.gameId);
      if (gameId === '') {
        skipped.push(`${language}[${i}]`);
        return;
      }
      const sha = isText(e.imgPath) && isText(pictures[e.imgPath]) ? pictures[e.imgPath] : null;
      out.push({ gameId, name: isText(e.gameName) ? e.gameName : gameId, isNative: e.isNative === true, sha });
    });
    return out;
  };
  const published = isTime(c.published) && c.published > 0 ? c.published : null;
  return { value: { revision: c.revision, published, en: tiles(c.en, 'en'), cn: tiles(c.cn, 'cn') }, skipped };
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

// A venue picture: bytes of a picture whose sha256 is the one its topic names; { value: type }.
export function readPicture(sha, bytes) {
  const type = pictureType(bytes);
  if (!type) return { error: 'not a picture' };
  if (sha256Hex(bytes) !== sha) return { error: 'its bytes do not have the sha256 its name claims' };
  return { value: type };
}

// Today's summary, as nerq-recorder writes it (recorder/todaysummary.cpp). A busy day's timelines
// make it tens of kilobytes; a year of them would not fit here.
const MAX_SUMMARY_BYTES = 4 * 1024 * 1024;
// A count the recorder's summary carries (an int there).
const isTally = (v) => Number.isInteger(v) && v >= 0 && v <= MAX_INT;
const isAmount = (v) => typeof v === 'number' && v >= 0;
const isFraction = (v) => typeof v === 'number' && v >= 0 && v <= 1;
// The first misfit among the items of each list in `lists` (name -> fields), named by its place.
function listMisfit(object, lists, where) {
  for (const [name, fields] of Object.entries(lists)) {
    if (!Array.isArray(object[name])) return `${where}"${name}" is not a list`;
    for (const [i, item] of object[name].entries()) {
      const reason = isObject(item) ? misfit(item, fields) : 'not an object';
      if (reason) return `${where}${name}[${i}]: ${reason}`;
    }
  }
  return null;
}

const FIGURE_FIELDS = {
  sessions: [isTally, 'a count'],
  minutesSold: [isAmount, 'minutes'],
  minutesInSession: [isAmount, 'minutes'],
  launches: [isTally, 'a count'],
  minutesPlayed: [isAmount, 'minutes'],
  helpCalls: [isTally, 'a count'],
  helpAnswered: [isTally, 'a count'],
  helpMedianWaitSeconds: [(v) => v === null || isAmount(v), 'seconds or null'],
  helpLongestWaitSeconds: [(v) => v === null || isAmount(v), 'seconds or null'],
  failedStarts: [isTally, 'a count'],
};
const SPAN = { from: [isTime, 'a time'], to: [isTimeOrNull, 'a time or null'] };
const TIMELINE_LISTS = {
  sessions: {
    ...SPAN, session: [isText, 'text'], gameId: [isTextOrNull, 'text or null'], endReason: [isTextOrNull, 'text or null'],
    minutesSold: [isAmount, 'minutes'],
  },
  games: { ...SPAN, gameId: [isText, 'text'] },
  offline: SPAN,
  help: { at: [isTime, 'a time'], answeredAt: [isTimeOrNull, 'a time or null'] },
};
const STATION_FIELDS = {
  ...FIGURE_FIELDS,
  station: [isStationId, 'a station id'],
  offlineMinutes: [isAmount, 'minutes'],
  share: [(v) => v === null || (isObject(v) && ['session', 'idle', 'offline'].every((k) => isFraction(v[k]))),
    'null or { session, idle, offline } as fractions'],
  timeline: [isObject, 'an object'],
};
const TODAY_FIELDS = {
  date: [(v) => isText(v) && /^\d{4}-\d{2}-\d{2}$/.test(v), 'a date as 2026-03-29'],
  timeZone: [(v) => isText(v) && v.length > 0 && v.length <= 200, 'a time zone\'s name'],
  utcOffsetSeconds: [(v) => Number.isInteger(v) && Math.abs(v) <= 18 * 3600, 'an offset in seconds'],
  at: [isTime, 'a time'],
  from: [isTime, 'a time'],
  to: [isTime, 'a time'],
  open: [(v) => v === null || fits(SPAN)(v), 'null or { from, to }'],
  figures: [fits(FIGURE_FIELDS), 'the day\'s figures'],
  games: [listOf({ gameId: [isText, 'text'], launches: [isTally, 'a count'], minutesPlayed: [isAmount, 'minutes'],
    failedStarts: [isTally, 'a count'] }), 'a list of { gameId, launches, minutesPlayed, failedStarts }'],
  stations: [Array.isArray, 'a list'],
};

function todayProblem(t) {
  const reason = misfit(t, TODAY_FIELDS);
  if (reason) return reason;
  if (t.from >= t.to) return '"from" is not before "to"';
  const seen = new Set();
  for (const [i, s] of t.stations.entries()) {
    const problem = isObject(s) ? misfit(s, STATION_FIELDS) ?? listMisfit(s.timeline, TIMELINE_LISTS, 'timeline.')
      : 'not an object';
    if (problem) return `stations[${i}]: ${problem}`;
    if (seen.has(s.station)) return `stations[${i}]: "${s.station}" is there twice`;
    seen.add(s.station);
  }
  return null;
}

// Today's summary (reports/today, retained): taken whole or not at all. An empty payload is no
// summary (the retained one cleared): { value: null }.
export function readToday(bytes) {
  if (bytes.length === 0) return { value: null };
  const parsed = parseJsonObject(bytes, { maxBytes: MAX_SUMMARY_BYTES });
  if (parsed.error) return parsed;
  const problem = todayProblem(parsed.value);
  return problem ? { error: problem } : parsed;
}

const WAKE_ANSWER_FIELDS = {
  id: [isText, 'text'],
  at: [isTime, 'a time'],
  error: [isText, 'text', true],
  stations: [listOf({ station: [isStationId, 'a station id'], ok: [isBool, 'a bool'], error: [isText, 'text', true] }),
    'a list of { station, ok, error }'],
};

// The recorder's answer to "open the venue" (reports/wake): which stations it sent packets for.
export function readWakeAnswer(bytes) {
  const parsed = parseJsonObject(bytes);
  if (parsed.error) return parsed;
  const reason = misfit(parsed.value, WAKE_ANSWER_FIELDS);
  if (reason) return { error: reason };
  const { id, at, error = '', stations } = parsed.value;
  return { value: { id, at, error, stations: stations.map((s) => ({ station: s.station, ok: s.ok, error: s.error ?? '' })) } };
}
