// The page's whole state, and every change to it. The view draws from this alone.

export const COMMAND_LIFETIME_MS = 10000;
// A station answers at once or not at all: past its expiry a command is never carried out, so
// a second beyond that the page says "no answer".
const ANSWER_WAIT_MS = COMMAND_LIFETIME_MS + 1000;
// A result that comes later still counts, for this long.
const LATE_RESULT_MS = 60000;
const LOG_LINES = 200;

export function createState(language = 'cn') {
  return {
    language, // 'cn' or 'en'
    connection: 'signed-out', // 'signed-out', 'connecting', 'online', 'lost'
    signInError: null, // null, 'credentials' or 'unreachable'
    user: '',
    stations: new Map(), // id -> { status, stale, offlineSeenAt, result }
    selected: new Set(),
    catalogue: null, // { revision, en: [tile], cn: [tile] }
    pictures: new Map(), // sha256 -> object URL
    pending: new Map(), // command id -> { station, command, gameId, deadline }
    log: [],
    pickerOpen: false,
  };
}

export function addLog(state, text, now) {
  state.log.push({ at: now, text });
  if (state.log.length > LOG_LINES) state.log.splice(0, state.log.length - LOG_LINES);
}

export function applyStatus(state, id, status, now) {
  const previous = state.stations.get(id);
  if (status === null) {
    state.stations.delete(id);
    state.selected.delete(id);
    return;
  }
  // The last will says nothing about when; a page that saw the drop knows.
  let offlineSeenAt = null;
  if (!status.online && status.since === null) {
    offlineSeenAt = previous && !previous.stale && previous.status.online ? now : previous?.offlineSeenAt ?? null;
  }
  state.stations.set(id, { status, stale: false, offlineSeenAt, result: previous?.result ?? null });
}

export function applyCatalogue(state, catalogue) {
  state.catalogue = catalogue;
}

// The pictures the catalogue names, as sha256 values.
export function wantedPictures(state) {
  const wanted = new Set();
  for (const tile of [...(state.catalogue?.en ?? []), ...(state.catalogue?.cn ?? [])]) {
    if (tile.sha) wanted.add(tile.sha);
  }
  return wanted;
}

// A result is shown on its station's card when it answers a command this page sent there.
export function applyResult(state, id, result) {
  const sent = result.id === null ? null : state.pending.get(result.id);
  const station = state.stations.get(id);
  // An answer to an older command does not cover the newer one's.
  if (!sent || sent.station !== id || station?.result?.commandId !== result.id) return false;
  station.result = { ...station.result, state: result.ok ? 'done' : 'failed', error: result.error };
  return true;
}

export function toggleSelected(state, id) {
  if (state.selected.has(id)) state.selected.delete(id);
  else if (state.stations.has(id)) state.selected.add(id);
}

export function selectAllOnline(state) {
  state.selected = new Set([...state.stations].filter(([, s]) => s.status.online).map(([id]) => id));
}

// The commands to publish for the selected stations: online ones get one each, offline ones
// a note on their card and nothing else. `newId` makes a unique command id.
export function prepareCommands(state, command, gameId, now, newId) {
  const out = [];
  for (const id of [...state.selected].sort(compareIds)) {
    const station = state.stations.get(id);
    if (!station) continue;
    if (!station.status.online || station.stale) {
      station.result = { state: 'offline', command, gameId, error: '' };
      continue;
    }
    const payload = { id: newId(), command, expires: now + COMMAND_LIFETIME_MS, by: state.user || 'desk', station: id };
    if (command === 'launch') payload.gameId = gameId;
    state.pending.set(payload.id, { station: id, command, gameId, deadline: now + ANSWER_WAIT_MS });
    station.result = { state: 'pending', command, gameId, error: '', commandId: payload.id };
    out.push({ topic: `nerq/v1/stations/${id}/commands`, payload });
  }
  return out;
}

// Commands past their wait without an answer say so; long-gone ones are forgotten.
export function expirePending(state, now) {
  let changed = false;
  for (const [commandId, sent] of state.pending) {
    const station = state.stations.get(sent.station);
    if (now >= sent.deadline && station?.result?.state === 'pending' && station.result.commandId === commandId) {
      station.result = { ...station.result, state: 'noAnswer' };
      changed = true;
    }
    if (now >= sent.deadline + LATE_RESULT_MS) state.pending.delete(commandId);
  }
  return changed;
}

export function connectionLost(state) {
  state.connection = 'lost';
  for (const station of state.stations.values()) station.stale = true;
}

// After a reconnect every station's retained status comes again; those that do not were
// taken away meanwhile.
export function dropUnrefreshed(state) {
  for (const [id, station] of state.stations) {
    if (station.stale) {
      state.stations.delete(id);
      state.selected.delete(id);
    }
  }
}

// A command's id. crypto.randomUUID needs a secure context, which a page on plain http from the
// desk PC is not; getRandomValues works everywhere.
export function newCommandId(random = globalThis.crypto) {
  if (typeof random.randomUUID === 'function') return random.randomUUID();
  const bytes = random.getRandomValues(new Uint8Array(16));
  bytes[6] = (bytes[6] & 0x0f) | 0x40;
  bytes[8] = (bytes[8] & 0x3f) | 0x80;
  const hex = [...bytes].map((b) => b.toString(16).padStart(2, '0')).join('');
  return `${hex.slice(0, 8)}-${hex.slice(8, 12)}-${hex.slice(12, 16)}-${hex.slice(16, 20)}-${hex.slice(20)}`;
}

// Station ids in the order people count: st2 before st10.
export function compareIds(a, b) {
  return a.localeCompare(b, 'en', { numeric: true });
}

function tileFor(state, gameId) {
  const tiles = state.catalogue?.[state.language] ?? [];
  const tile = tiles.find((t) => t.gameId === gameId);
  if (!tile) return { gameId, name: gameId, isNative: false, url: null, known: false };
  return { ...tile, url: tile.sha ? state.pictures.get(tile.sha) ?? null : null, known: true };
}

// The venue's games as the headset shows them, in the page's language.
export function tiles(state) {
  return (state.catalogue?.[state.language] ?? []).map((t) => tileFor(state, t.gameId));
}

// Everything one card shows, ready to draw.
export function cardModel(state, id) {
  const { status, stale, offlineSeenAt, result } = state.stations.get(id);
  const revision = status.catalogueRevision;
  return {
    id,
    online: status.online,
    since: status.online || status.since !== null ? status.since : offlineSeenAt,
    host: status.host,
    version: status.version,
    running: status.runningGame ? tileFor(state, status.runningGame) : null,
    steamRunningAppId: status.steamRunningAppId,
    lastLaunch: status.lastLaunch
      ? { game: tileFor(state, status.lastLaunch.gameId), at: status.lastLaunch.at, by: status.lastLaunch.by }
      : null,
    deviceService: status.deviceService,
    catalogue: revision === null ? { own: true }
      : { own: false, revision, current: state.catalogue ? state.catalogue.revision === revision : null },
    hidden: status.hiddenGames.map((g) => tileFor(state, g).name),
    result: result ? { ...result, game: result.gameId ? tileFor(state, result.gameId) : null } : null,
    selected: state.selected.has(id),
    stale,
  };
}

export function stationIds(state) {
  return [...state.stations.keys()].sort(compareIds);
}
