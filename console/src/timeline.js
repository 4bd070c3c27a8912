// Today's summary laid out for drawing: the day's window, each station's day as bands and marks
// on it, and the hours in the desk's own time zone (which the tablet's may not be). Pure: the
// view turns the result into SVG.

const HOUR_MS = 3600 * 1000;
// Hour ticks no closer than this many hours apart, so their labels never overlap.
const TICK_STEPS = [1, 2, 3, 4, 6];
const MAX_TICKS = 13;

// "14:05" in the desk's zone: by its name where the browser knows it (a day with a clock change
// comes out right), else by the offset the recorder gave.
export function deskClock(summary) {
  let format = null;
  try {
    format = new Intl.DateTimeFormat('en-GB', { timeZone: summary.timeZone, hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
  } catch {
    format = null; // a zone this browser does not know
  }
  const pad = (n) => String(n).padStart(2, '0');
  return (ms) => {
    if (format) return format.format(new Date(ms));
    const d = new Date(ms + summary.utcOffsetSeconds * 1000);
    return `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}`;
  };
}

// The stretch of the day worth drawing: the open hours (running on to the summary's `at` while
// open), widened to whole hours of the desk's clock, within the day. Before anything happened,
// the day from its start to `at`.
export function dayWindow(summary) {
  const offset = summary.utcOffsetSeconds * 1000;
  const start = summary.open ? summary.open.from : summary.at;
  const end = summary.open ? summary.open.to ?? summary.at : summary.at;
  let from = Math.floor((start + offset) / HOUR_MS) * HOUR_MS - offset;
  let to = Math.ceil((Math.max(end, start) + offset) / HOUR_MS) * HOUR_MS - offset;
  if (to - from < HOUR_MS) to = from + HOUR_MS;
  from = Math.max(from, summary.from);
  to = Math.min(to, summary.to);
  return to > from ? { from, to } : { from: summary.from, to: summary.to };
}

// Whole hours of the desk's clock within the window, thinned so at most MAX_TICKS are labelled.
export function hourTicks(summary, window, clock = deskClock(summary)) {
  const offset = summary.utcOffsetSeconds * 1000;
  const hours = Math.round((window.to - window.from) / HOUR_MS);
  const step = TICK_STEPS.find((s) => hours / s < MAX_TICKS) ?? 12;
  const ticks = [];
  for (let t = Math.ceil((window.from + offset) / HOUR_MS) * HOUR_MS - offset; t <= window.to; t += HOUR_MS) {
    const hour = Math.round((t + offset) / HOUR_MS);
    if (hour % step === 0) ticks.push({ at: t, x: (t - window.from) / (window.to - window.from), label: clock(t) });
  }
  return ticks;
}

// A span clipped to the window, as fractions of its width; null when nothing of it shows. An open
// end (still running) runs to `now`; a span whose end came before its start (a station's clock
// set back meanwhile) shows as an instant.
function place(from, to, window, now) {
  const end = to ?? Math.max(now, from);
  const a = Math.max(from, window.from);
  const b = Math.min(Math.max(end, from), window.to);
  if (b < a || (b === a && (from < window.from || from > window.to))) return null;
  const width = window.to - window.from;
  return { x: (a - window.from) / width, w: (b - a) / width, open: to === null };
}

// One station's row: bands (offline below, sessions, then games on top, each in the order it
// happened) and help calls as marks, each with what its tooltip says.
export function stationRow(station, summary, window, clock = deskClock(summary)) {
  const now = summary.at;
  const span = (from, to) => `${clock(from)}–${to === null ? '…' : clock(to)}`;
  const bands = [];
  const add = (kind, item, label) => {
    const placed = place(item.from, item.to, window, now);
    if (placed) bands.push({ kind, ...placed, label: `${label} ${span(item.from, item.to)}` });
  };
  for (const o of station.timeline.offline) add('offline', o, '✕');
  for (const s of station.timeline.sessions) add('session', s, `${s.minutesSold} min${s.gameId ? ` · ${s.gameId}` : ''}`);
  for (const g of station.timeline.games) add('game', g, g.gameId);
  const marks = [];
  for (const h of station.timeline.help) {
    const placed = place(h.at, h.at, window, now);
    if (placed) {
      marks.push({
        kind: 'help', x: placed.x, answered: h.answeredAt !== null,
        label: `${clock(h.at)}${h.answeredAt === null ? ' …' : ` → ${clock(h.answeredAt)}`}`,
      });
    }
  }
  return { station: station.station, bands, marks };
}

// The stations with a session still running: they stay on when the venue closes.
export function stationsInSession(summary) {
  if (!summary) return new Set();
  return new Set(summary.stations.filter((s) => s.timeline.sessions.some((x) => x.to === null)).map((s) => s.station));
}
