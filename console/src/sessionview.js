// The sessions' and help calls' part of the page: on each card the time left, time's up or
// "needs cleaning" and its buttons; the banner of help calls at the top; the list of stations free
// and ready; the dialog that starts a session. Text goes in through textContent only.
import { LENGTHS, formSeconds, freeAndReady, minutesSeconds, waitingCalls } from './sessions.js';
import { compareIds, tiles } from './state.js';
import { $, el, image } from './dom.js';

function button(className, onClick) {
  const node = el('button', className);
  node.type = 'button';
  // A button on a card does its own work: the tap does not also pick the card.
  node.addEventListener('click', (event) => {
    event.stopPropagation();
    onClick();
  });
  return node;
}

// A card's session part, made once: its refs.
export function makeSessionPart(id, handlers) {
  const root = el('div', 'session');
  const line = el('p', 'session-line');
  const icon = el('span', 'session-icon');
  icon.setAttribute('aria-hidden', 'true');
  const label = el('span', 'session-label');
  const countdown = el('span', 'countdown');
  line.append(icon, label, countdown);
  const help = el('p', 'help-line');
  const buttons = el('div', 'card-buttons');
  const refs = {
    root, icon, label, countdown, help,
    answer: button('answer primary', () => handlers.answer(id)),
    extend: button('extend', () => handlers.extend(id)),
    end: button('end', () => handlers.end(id)),
    ready: button('ready', () => handlers.ready(id)),
  };
  buttons.append(refs.answer, refs.extend, refs.end, refs.ready);
  root.append(help, line, buttons);
  return refs;
}

function sessionLine(s, t) {
  switch (s.state) {
    case 'running': return ['◷', t.timeLeft(s.game), minutesSeconds(s.leftMs)];
    case 'timeup': return ['⚑', t.timeUp, ''];
    case 'ended': return s.ready ? ['✓', t.freeReady, ''] : ['⚠', t.endedNeedsCleaning(t.endReasons[s.endReason] ?? ''), ''];
    default: return s.ready ? ['✓', t.freeReady, ''] : ['⚠', t.needsCleaning, ''];
  }
}

export function fillSessionPart(refs, card, m, t) {
  const s = m.session;
  const [icon, label, countdown] = sessionLine(s, t);
  refs.icon.textContent = icon;
  refs.label.textContent = label;
  refs.countdown.textContent = countdown;
  refs.root.dataset.state = s.state ?? 'none';
  // The test and the benchmark read the time left to the millisecond here.
  if (s.leftMs === null) delete refs.countdown.dataset.leftMs;
  else refs.countdown.dataset.leftMs = String(Math.round(s.leftMs));
  const calling = Boolean(s.help && !s.help.answered);
  card.classList.toggle('help', calling);
  card.classList.toggle('timeup', s.state === 'timeup');
  card.classList.toggle('not-ready', !s.ready && s.state !== 'running' && s.state !== 'timeup');
  refs.help.hidden = !s.help;
  if (s.help) {
    refs.help.textContent = calling ? `☎ ${t.helpCalled} · ${t.waited(minutesSeconds(s.help.waitedMs))}`
      : `✓ ${t.helpAnswered(s.help.by)}`;
    refs.help.classList.toggle('answered', !calling);
  }
  const usable = m.online && !m.stale;
  refs.answer.textContent = s.help?.answering ? t.pending : `➜ ${t.onMyWay}`;
  refs.answer.hidden = !calling;
  refs.answer.disabled = !usable || s.help?.answering;
  refs.extend.textContent = t.extend;
  refs.end.textContent = t.end;
  refs.ready.textContent = t.ready;
  const running = s.state === 'running' || s.state === 'timeup';
  refs.extend.hidden = !running;
  refs.end.hidden = !running;
  refs.ready.hidden = running || s.ready;
  for (const b of [refs.extend, refs.end, refs.ready]) b.disabled = !usable;
}

// The banner at the top: one line for each call nobody has answered, longest waiting first.
export function drawBanner(state, t, mono, onAnswer) {
  const banner = $('help-banner');
  const calls = waitingCalls(state, mono);
  banner.hidden = calls.length === 0;
  const words = ({ id, waitedMs }) => {
    const span = el('span', 'help-words');
    span.append(el('span', 'help-icon', '☎'), el('strong', '', id),
      document.createTextNode(` ${t.helpCalled} · ${t.waited(minutesSeconds(waitedMs))}`));
    return span;
  };
  // Rebuilt only when who calls, the connection or the language changed, so a button under a
  // finger stays; the waits tick in place.
  const key = [state.language, state.connection, ...calls.map((c) => c.id)].join(' ');
  if (banner.dataset.key === key) {
    [...banner.children].forEach((line, i) => line.firstChild.replaceWith(words(calls[i])));
    return;
  }
  banner.dataset.key = key;
  banner.replaceChildren(...calls.map((call) => {
    const line = el('div', 'help-call');
    line.dataset.station = call.id;
    const answer = button('primary', () => onAnswer(call.id));
    answer.textContent = `➜ ${t.onMyWay}`;
    answer.disabled = state.connection !== 'online';
    line.append(words(call), answer);
    return line;
  }));
}

export function drawFreeAndReady(state, t) {
  const ids = freeAndReady(state).sort(compareIds);
  $('free-ready').textContent = t.freeAndReady(ids);
}

// The dialog that starts a session: the length offered or typed, a game or none.
export function drawSessionDialog(state, t, onlineCount, handlers) {
  const form = state.sessionForm;
  $('session-for').textContent = t.sessionFor(onlineCount);
  const lengths = $('session-lengths');
  if (lengths.children.length !== LENGTHS.length) {
    lengths.replaceChildren(...LENGTHS.map((minutes) => {
      const b = el('button', 'length');
      b.type = 'button';
      b.dataset.minutes = String(minutes);
      b.addEventListener('click', () => handlers.length(minutes));
      return b;
    }));
  }
  for (const b of lengths.children) {
    b.textContent = t.minutes(Number(b.dataset.minutes));
    b.setAttribute('aria-pressed', String(form.typed === '' && form.minutes === Number(b.dataset.minutes)));
  }
  const seconds = formSeconds(form);
  $('session-typed').setAttribute('aria-invalid', String(seconds === null));
  const games = [{ gameId: null, name: t.noGame, url: null }, ...tiles(state)];
  const key = JSON.stringify(games.map((g) => [g.gameId, g.name, g.url]));
  const list = $('session-games');
  if (list.dataset.key !== key) {
    list.dataset.key = key;
    list.replaceChildren(...games.map((game) => {
      const b = el('button', 'game-choice');
      if (game.url) b.append(image(game.url));
      b.append(el('span', '', game.name));
      b.type = 'button';
      b.dataset.game = game.gameId ?? '';
      b.addEventListener('click', () => handlers.game(game.gameId));
      return b;
    }));
  }
  for (const b of list.children) b.setAttribute('aria-pressed', String((b.dataset.game || null) === form.gameId));
  $('session-start').disabled = onlineCount === 0 || seconds === null;
}
