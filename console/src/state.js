// The page's whole state, and every change to it. The view draws from this alone.
import { topics } from './interface.js';
import { isRunning, sessionModel, sessionTiming } from './sessions.js';
import { dayWindow, deskClock, hourTicks, stationRow, stationsInSession } from './timeline.js';

export const COMMAND_LIFETIME_MS = 10000;
// A station answers at once or not at all: past its expiry a command is never carried out, so
// a second beyond that the page says "no answer".
const ANSWER_WAIT_MS = COMMAND_LIFETIME_MS + 1000;
// A result that comes later still counts, for this long.
const LATE_RESULT_MS = 60000;
const LOG_LINES = 200;
// Stations send their retained statuses with this expiry interval: what the broker has left of
// it tells how long ago one was sent, by the broker's clock, whatever the station's says.
export const RETAINED_LIFETIME_S = 10 * 365 * 24 * 60 * 60;

export function createState(language = 'cn') {
  return {
    language, // 'cn' or 'en'
    connection: 'signed-out', // 'signed-out', 'connecting', 'online', 'lost'
    signInError: null, // null, 'credentials' or 'unreachable'
    user: '',
    // id -> { status, stale, result, shift, since, lastLaunchAt, session, help, countdown, call,
    // reportAsked }: `since` and `lastLaunchAt` on the page's clock; `shift` how far the station's
    // clock lies behind it, when known; the rest as sessions.js keeps them.
    stations: new Map(),
    selected: new Set(),
    catalogue: null, // { revision, published, en: [tile], cn: [tile] }
    pictures: new Map(), // sha256 -> object URL
    pending: new Map(), // command id -> { station, command, gameId, deadline }
    log: [],
    pickerOpen: false,
    epoch: 0, // counts the connections: each asks the stations for fresh figures once
    alarm: { sounded: new Set(), lastTone: null },
    // The session dialog: a length offered (minutes) or typed, and a game from the tiles or none.
    sessionForm: { minutes: 20, typed: '', gameId: null },
    confirmEnd: null, // the station whose session the operator is asked to end
    tab: 'floor', // 'floor' or 'today'
    today: null, // today's summary as the recorder published it, or null
    wake: null, // { id, state: 'pending'|'done'|'noAnswer', stations: [{ station, ok, error }] }
  };
}

export function addLog(state, text, now) {
  state.log.push({ at: now, text });
  if (state.log.length > LOG_LINES) state.log.splice(0, state.log.length - LOG_LINES);
}

// When a message sent with RETAINED_LIFETIME_S was sent, on the page's clock.
export function sentAt(expiryLeft, now) {
  if (typeof expiryLeft !== 'number') return now;
  return now - Math.max(0, RETAINED_LIFETIME_S - expiryLeft) * 1000;
}

// `expiryLeft`: what the broker left of the status's expiry interval (null: none came, as from an
// agent before statuses had one; its times are then taken as they are). `mono`: the page's
// monotonic clock (performance.now()) as it arrived.
export function applyStatus(state, id, status, now, expiryLeft = null, mono = now) {
  const previous = state.stations.get(id);
  if (status === null) {
    state.stations.delete(id);
    state.selected.delete(id);
    return;
  }
  const aged = typeof expiryLeft === 'number';
  let shift = previous?.shift ?? null;
  if (aged && status.at !== null) shift = sentAt(expiryLeft, now) - status.at;
  const onPage = (t) => (t === null || !aged ? t : shift === null ? null : t + shift);
  let since = onPage(status.since);
  if (!status.online && status.since === null) {
    // The last will: the broker sent it when the connection died. Without its count, a page
    // that saw the drop knows when.
    if (aged) since = sentAt(expiryLeft, now);
    else since = previous && !previous.stale && previous.status.online ? now : previous?.since ?? null;
  }
  const ageMs = aged ? now - sentAt(expiryLeft, now) : 0;
  state.stations.set(id, {
    status, stale: false, result: previous?.result ?? null, shift, since,
    lastLaunchAt: status.lastLaunch ? onPage(status.lastLaunch.at) : null,
    reportAsked: previous?.reportAsked ?? null,
    ...sessionTiming(previous, status, mono, ageMs),
  });
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
  return prepareStationCommands(state, [...state.selected], command, { gameId }, now, newId);
}

// What every request the page sends carries: its id, its lifetime and who sent it (the signed-in
// user or device; the headset names who answered a help call).
function envelope(state, now, newId) {
  return { id: newId(), expires: now + COMMAND_LIFETIME_MS, by: state.user || 'desk' };
}

// The same for the stations `ids`; `fields` gives a command's own: `gameId` (launch,
// session-start), `seconds` (session-start, session-extend), `extra` (anything else, as power's
// action).
export function prepareStationCommands(state, ids, command, { gameId, seconds, extra = {} } = {}, now, newId) {
  const out = [];
  for (const id of [...ids].sort(compareIds)) {
    const station = state.stations.get(id);
    if (!station) continue;
    const shown = { command, gameId, seconds };
    if (!station.status.online || station.stale) {
      station.result = { state: 'offline', ...shown, error: '' };
      continue;
    }
    const payload = { ...envelope(state, now, newId), command, station: id, ...extra };
    if (gameId) payload.gameId = gameId;
    if (seconds !== undefined) payload.seconds = seconds;
    state.pending.set(payload.id, { station: id, command, gameId, deadline: now + ANSWER_WAIT_MS });
    station.result = { state: 'pending', ...shown, error: '', commandId: payload.id };
    out.push({ topic: topics.commands(id), payload });
  }
  return out;
}

// `report` to a station: its status again at once, so the page counts from a fresh figure. Not
// shown on its card.
export function reportCommand(state, id, now, newId) {
  const payload = { ...envelope(state, now, newId), command: 'report', station: id };
  return { topic: topics.commands(id), payload };
}

// Closing the venue: every station online and not in a session (by its status, or by today's
// summary) is powered off; those in a session stay on, and so do offline ones, which are off
// already or out of reach.
export function closingPlan(state) {
  const inSession = stationsInSession(state.today);
  const plan = { off: [], inSession: [], offline: [] };
  for (const id of stationIds(state)) {
    const station = state.stations.get(id);
    if (!station.status.online || station.stale) plan.offline.push(id);
    else if (inSession.has(id) || isRunning(station.session)) plan.inSession.push(id);
    else plan.off.push(id);
  }
  return plan;
}

export function preparePowerOff(state, ids, now, newId) {
  return prepareStationCommands(state, ids, 'power', { extra: { action: 'off' } }, now, newId);
}

// "Open the venue": one request to the recorder on the desk PC, which sends the magic packets
// (a browser cannot) and answers on reports/wake.
export function prepareWake(state, now, newId) {
  const payload = { ...envelope(state, now, newId), all: true };
  state.wake = { id: payload.id, state: 'pending', stations: [], deadline: now + ANSWER_WAIT_MS };
  return { topic: topics.wake(), payload };
}

export function applyWakeAnswer(state, answer) {
  if (!state.wake || answer.id !== state.wake.id) return false;
  state.wake = { ...state.wake, state: 'done', stations: answer.stations, error: answer.error };
  return true;
}

export function applyToday(state, summary) {
  state.today = summary;
}

// Everything the "Today" view shows, ready to draw; null while no summary came.
export function todayModel(state) {
  const summary = state.today;
  if (!summary) return null;
  const clock = deskClock(summary);
  const window = dayWindow(summary);
  return {
    date: summary.date,
    timeZone: summary.timeZone,
    utcOffsetSeconds: summary.utcOffsetSeconds,
    madeAt: clock(summary.at),
    open: summary.open && { from: clock(summary.open.from), to: summary.open.to === null ? null : clock(summary.open.to) },
    figures: summary.figures,
    games: [...summary.games].sort((a, b) => b.minutesPlayed - a.minutesPlayed || compareIds(a.gameId, b.gameId))
      .map((g) => ({ ...g, name: tileFor(state, g.gameId).name })),
    ticks: hourTicks(summary, window, clock),
    // Where the summary was made, on the rows: what lies right of it has not happened yet.
    now: Math.min(1, Math.max(0, (summary.at - window.from) / (window.to - window.from))),
    rows: [...summary.stations].sort((a, b) => compareIds(a.station, b.station))
      .map((s) => ({ ...stationRow(s, summary, window, clock), figures: s })),
  };
}

// Commands past their wait without an answer say so; long-gone ones are forgotten.
export function expirePending(state, now) {
  let changed = false;
  if (state.wake?.state === 'pending' && now >= state.wake.deadline) {
    state.wake = { ...state.wake, state: 'noAnswer' };
    changed = true;
  }
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

// Everything one card shows, ready to draw; `mono` is the page's monotonic clock now.
export function cardModel(state, id, mono = 0) {
  const entry = state.stations.get(id);
  const { status, stale, result, since, lastLaunchAt, shift } = entry;
  const revision = status.catalogueRevision;
  return {
    id,
    online: status.online,
    since,
    host: status.host,
    version: status.version,
    running: status.runningGame ? tileFor(state, status.runningGame) : null,
    steamRunningAppId: status.steamRunningAppId,
    lastLaunch: status.lastLaunch
      ? { game: tileFor(state, status.lastLaunch.gameId), at: lastLaunchAt, by: status.lastLaunch.by }
      : null,
    deviceService: status.deviceService,
    headset: status.headset,
    // Whether it follows the venue's current catalogue, and when the one it follows was published.
    catalogue: revision === null ? { own: true }
      : {
        own: false, revision, published: status.cataloguePublished,
        current: state.catalogue ? state.catalogue.revision === revision : null,
      },
    hidden: status.hiddenGames.map((g) => tileFor(state, g).name),
    result: result ? { ...result, game: result.gameId ? tileFor(state, result.gameId) : null } : null,
    selected: state.selected.has(id),
    stale,
    session: sessionModel(entry, mono, (t) => t + (shift ?? 0), (gameId) => tileFor(state, gameId).name),
  };
}

// The venue's catalogue as the floor shows it: null when the broker keeps none.
export function catalogueModel(state) {
  if (!state.catalogue) return null;
  const { revision, published, en } = state.catalogue;
  const stations = [...state.stations.values()].filter((s) => s.status.catalogueRevision !== null);
  return {
    revision, published, games: en.length,
    following: stations.filter((s) => s.status.catalogueRevision === revision).length, of: stations.length,
  };
}

export function stationIds(state) {
  return [...state.stations.keys()].sort(compareIds);
}
