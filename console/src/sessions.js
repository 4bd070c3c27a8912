// Sessions and help calls as the desk's page sees them. A station's time left is counted on the
// page's monotonic clock (performance.now()) from the figure its status gave, set back by the age
// the broker counted for that status: never from the station's clock, nor from the page's wall
// clock, which may both be minutes off. How long a help call has waited is counted the same way.

// The lengths offered at a tap, in minutes; any other is typed.
export const LENGTHS = [10, 15, 20, 30];
export const EXTEND_SECONDS = 5 * 60;
export const MAX_SESSION_SECONDS = 86400;
// An unanswered call sounds at once, and again this often until someone answers it.
export const TONE_EVERY_MS = 10000;

export const isRunning = (session) => session?.state === 'running' || session?.state === 'timeup';

// What an entry keeps of a status's session and help call, `mono` being when it arrived and
// `ageMs` how long before that the station sent it (the broker's count; 0 when not known). A
// station that is offline keeps what the page knew: the session goes on there all the same, and
// its last will tells nothing newer.
export function sessionTiming(previous, status, mono, ageMs) {
  if (!status.online) {
    return { session: previous?.session ?? null, help: previous?.help ?? null, countdown: previous?.countdown ?? null,
      call: previous?.call ?? null };
  }
  const { session, help } = status;
  const countdown = session?.state === 'running'
    ? { remainingMs: session.remainingSeconds * 1000, from: mono - ageMs } : null;
  let call = null;
  if (help) {
    // The call's time and the status's are both on the station's clock: their difference holds.
    const before = status.at !== null && status.at >= help.at ? status.at - help.at : 0;
    const same = previous?.call && previous.call.at === help.at;
    call = { at: help.at, calledMono: same ? previous.call.calledMono : mono - ageMs - before };
  }
  return { session, help, countdown, call };
}

// The time left of a running session at `mono`, never below 0; null when none runs.
export function timeLeftMs(entry, mono) {
  if (!entry.countdown) return null;
  return Math.max(0, entry.countdown.remainingMs - (mono - entry.countdown.from));
}

// "12:05": minutes and seconds, the seconds rounded up so that 0:00 means the time is up.
export function minutesSeconds(ms) {
  const total = Math.ceil(Math.max(0, ms) / 1000);
  return `${Math.floor(total / 60)}:${String(total % 60).padStart(2, '0')}`;
}

// Whether this page has just said "on my way" to the station's call and waits for its answer.
function answering(entry) {
  return entry.result?.command === 'help-answer' && entry.result.state === 'pending';
}

// The calls nobody has answered yet, longest waiting first: { id, waitedMs, key }.
export function waitingCalls(state, mono) {
  const calls = [];
  for (const [id, entry] of state.stations) {
    if (!entry.help || entry.help.answered || !entry.call || answering(entry)) continue;
    calls.push({ id, waitedMs: Math.max(0, mono - entry.call.calledMono), key: `${id}@${entry.call.at}` });
  }
  return calls.sort((a, b) => b.waitedMs - a.waitedMs);
}

// Whether the alarm sounds now: at once for a call it has not sounded for, and every
// TONE_EVERY_MS while any call waits.
export function toneDue(state, mono) {
  const calls = waitingCalls(state, mono);
  const alarm = state.alarm;
  if (calls.length === 0) {
    alarm.lastTone = null;
    return false;
  }
  const fresh = calls.some((call) => !alarm.sounded.has(call.key));
  for (const call of calls) alarm.sounded.add(call.key);
  if (!fresh && alarm.lastTone !== null && mono - alarm.lastTone < TONE_EVERY_MS) return false;
  alarm.lastTone = mono;
  return true;
}

// Free: online, no session running or in its time's up. Ready: cleaned since the last session.
export function isFree(entry) {
  return entry.status.online && !entry.stale && !isRunning(entry.session);
}

export function freeAndReady(state) {
  return [...state.stations].filter(([, e]) => isFree(e) && e.status.ready).map(([id]) => id);
}

// Whether the station's figures should be asked for again now: its first status since the page
// connected came with a session or a call, whose figures a retained status gives only to the
// second. Marks the station asked.
export function wantsReport(state, id) {
  const entry = state.stations.get(id);
  if (!entry || !entry.status.online || entry.reportAsked === state.epoch) return false;
  entry.reportAsked = state.epoch;
  return isRunning(entry.session) || Boolean(entry.help && !entry.help.answered);
}

// What a card shows of the station's session and call at `mono`; `onPage` moves a station's time
// onto the page's clock, `nameOf` names a game.
export function sessionModel(entry, mono, onPage, nameOf) {
  const s = entry.session;
  const help = entry.help && entry.call ? {
    waitedMs: Math.max(0, mono - entry.call.calledMono), answered: entry.help.answered, by: entry.help.by ?? '',
    answering: answering(entry),
  } : null;
  return {
    state: s?.state ?? null,
    leftMs: timeLeftMs(entry, mono),
    seconds: s?.seconds ?? 0,
    game: s?.gameId ? nameOf(s.gameId) : null,
    endReason: s?.endReason ?? null,
    endedAt: s?.state === 'ended' && s.endedAt ? onPage(s.endedAt) : null,
    ready: entry.status.ready,
    free: isFree(entry),
    help,
  };
}

// A length the operator typed: whole minutes ("25") or minutes and seconds ("1:30"), from a
// second to a day; in seconds, or null.
export function typedSeconds(text) {
  const t = String(text).trim();
  const match = /^(\d{1,4})(?::([0-5]\d))?$/.exec(t);
  if (!match) return null;
  const seconds = match[2] === undefined ? Number(match[1]) * 60 : Number(match[1]) * 60 + Number(match[2]);
  return seconds >= 1 && seconds <= MAX_SESSION_SECONDS ? seconds : null;
}

// The session's length the dialog asks for, in seconds; null while a typed one is no length.
export function formSeconds(form) {
  return form.typed === '' ? form.minutes * 60 : typedSeconds(form.typed);
}
