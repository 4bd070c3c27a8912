// Draws the "Today" view from todayModel(): the day's figures, the games, and each station's day
// as a timeline in SVG. Payload text goes in through textContent only.
import { todayModel } from './state.js';
import { $, el } from './dom.js';

const SVG = 'http://www.w3.org/2000/svg';
const pct = (fraction) => `${(fraction * 100).toFixed(3)}%`;

function svg(tag, attributes, title) {
  const node = document.createElementNS(SVG, tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  if (title) {
    const tip = document.createElementNS(SVG, 'title');
    tip.textContent = title;
    node.append(tip);
  }
  return node;
}

// "UTC+01:00" for an offset in seconds.
export function offsetText(seconds) {
  const sign = seconds < 0 ? '-' : '+';
  const abs = Math.abs(seconds);
  const pad = (n) => String(n).padStart(2, '0');
  return `UTC${sign}${pad(Math.floor(abs / 3600))}:${pad(Math.floor((abs % 3600) / 60))}`;
}

const BAND_Y = { offline: [4, 24], session: [4, 24], game: [10, 18] };

function timelineSvg(row, ticks, now, t) {
  const root = svg('svg', { class: 'timeline', width: '100%', height: 28, role: 'img', 'aria-label': t.timelineOf(row.station) });
  root.dataset.station = row.station;
  for (const tick of ticks) root.append(svg('line', { class: 'tick', x1: pct(tick.x), x2: pct(tick.x), y1: 0, y2: 28 }));
  for (const band of row.bands) {
    const [top, bottom] = BAND_Y[band.kind];
    // An instant still shows, two pixels wide.
    root.append(svg('rect', {
      class: `band ${band.kind}${band.open ? ' open' : ''}`, x: pct(band.x), y: top, width: band.w > 0 ? pct(band.w) : 2,
      height: bottom - top,
    }, band.label));
  }
  root.append(svg('line', { class: 'now', x1: pct(now), x2: pct(now), y1: 0, y2: 28 }));
  for (const mark of row.marks) {
    root.append(svg('circle', { class: `help ${mark.answered ? 'answered' : 'waiting'}`, cx: pct(mark.x), cy: 14, r: 6 },
      `${t.helpCall} ${mark.label}`));
  }
  return root;
}

function figure(label, value, name) {
  const item = el('div', 'figure');
  item.dataset.figure = name;
  item.append(el('span', 'value', String(value)), el('span', 'label', label));
  return item;
}

function waitText(seconds, t) {
  return seconds === null ? '–' : t.seconds(Math.round(seconds));
}

function drawFigures(m, t) {
  const f = m.figures;
  $('today-figures').replaceChildren(
    figure(t.sessions, f.sessions, 'sessions'),
    figure(t.minutesSold, f.minutesSold, 'minutesSold'),
    figure(t.minutesInSession, f.minutesInSession, 'minutesInSession'),
    figure(t.launches, f.launches, 'launches'),
    figure(t.helpCalls, f.helpCalls, 'helpCalls'),
    figure(t.helpMedian, waitText(f.helpMedianWaitSeconds, t), 'helpMedian'),
    figure(t.helpLongest, waitText(f.helpLongestWaitSeconds, t), 'helpLongest'),
    figure(t.failedStarts, f.failedStarts, 'failedStarts'),
  );
  const rows = m.games.map((g) => {
    const tr = el('tr');
    tr.dataset.game = g.gameId;
    tr.append(el('td', '', g.name), el('td', 'number', String(g.launches)), el('td', 'number', String(g.minutesPlayed)),
      el('td', 'number', String(g.failedStarts)));
    return tr;
  });
  $('today-games-body').replaceChildren(...rows);
  $('today-games').hidden = rows.length === 0;
}

function drawTimelines(m, t) {
  const axis = svg('svg', { class: 'axis', width: '100%', height: 20 });
  for (const tick of m.ticks) {
    axis.append(svg('text', { x: pct(tick.x), y: 14, 'text-anchor': tick.x < 0.02 ? 'start' : tick.x > 0.98 ? 'end' : 'middle' }));
    axis.lastChild.textContent = tick.label;
  }
  const head = el('div', 'timeline-row axis-row');
  head.append(el('span'), axis);
  const rows = m.rows.map((row) => {
    const line = el('div', 'timeline-row');
    line.dataset.station = row.station;
    const name = el('div', 'timeline-name');
    const s = row.figures;
    name.append(el('strong', '', row.station), el('span', 'hint', t.stationDay(s.sessions, s.minutesSold, s.offlineMinutes)));
    line.append(name, timelineSvg(row, m.ticks, m.now, t));
    return line;
  });
  $('today-timelines').replaceChildren(head, ...rows);
}

export function drawToday(state, t) {
  const m = todayModel(state);
  $('today-empty').hidden = Boolean(m);
  $('today-body').hidden = !m;
  if (!m) return;
  $('today-date').textContent = t.todayOf(m.date);
  $('today-zone').textContent = t.timeZone(m.timeZone, offsetText(m.utcOffsetSeconds));
  $('today-open').textContent = [
    m.open ? t.openHours(m.open.from, m.open.to) : t.notOpenYet, t.madeAt(m.madeAt),
  ].join(' · ');
  drawFigures(m, t);
  drawTimelines(m, t);
}

// The venue buttons' answers: what "open the venue" did.
export function wakeText(wake, t) {
  if (!wake) return '';
  if (wake.state === 'pending') return t.wakePending;
  if (wake.state === 'noAnswer') return t.wakeNoAnswer;
  if (wake.error) return t.failed(wake.error);
  const woken = wake.stations.filter((s) => s.ok).map((s) => s.station);
  const failed = wake.stations.filter((s) => !s.ok).map((s) => `${s.station} (${s.error || '?'})`);
  return [t.woken(woken), failed.length ? t.notWoken(failed) : null].filter(Boolean).join(' · ');
}
