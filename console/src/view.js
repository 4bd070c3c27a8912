// Draws the page from the state. Everything a payload carries goes in through textContent or
// an attribute, never as markup.
import { TEXTS, clockTime } from './texts.js';
import { cardModel, catalogueModel, closingPlan, stationIds, tiles } from './state.js';
import { drawBanner, drawFreeAndReady, drawSessionDialog, fillSessionPart, makeSessionPart } from './sessionview.js';
import { drawToday, wakeText } from './todayview.js';
import { $, el, image, show } from './dom.js';

// One card's elements, made once per station and filled again on every change, so focus and
// scroll position survive updates.
function makeCard(id, handlers) {
  const onToggle = handlers.toggle;
  const root = el('article', 'card');
  root.dataset.station = id;
  const head = el('button', 'card-head');
  head.type = 'button';
  head.setAttribute('role', 'checkbox');
  head.addEventListener('click', () => onToggle(id));
  const box = el('span', 'box');
  box.setAttribute('aria-hidden', 'true');
  const name = el('span', 'name', id);
  const badge = el('span', 'badge');
  head.append(box, name, badge);

  const since = el('p', 'since');
  const stale = el('span', 'stale-mark');
  const running = el('div', 'running');
  const picture = el('img', 'picture');
  picture.alt = '';
  const runningText = el('div', 'running-text');
  const runningLabel = el('span', 'label');
  const runningName = el('span', 'game');
  runningText.append(runningLabel, runningName);
  running.append(picture, runningText);

  const rows = el('dl', 'rows');
  const row = (key) => {
    const dt = el('dt');
    const dd = el('dd');
    rows.append(dt, dd);
    return { dt, dd, key };
  };
  const refs = {
    root, head, badge, since, stale, running, picture, runningLabel, runningName,
    lastLaunch: row('lastLaunch'), service: row('deviceService'), headset: row('headset'), catalogue: row('catalogue'),
    hidden: row('hidden'),
    result: el('p', 'result'),
    host: el('p', 'host'),
    session: makeSessionPart(id, handlers),
  };
  refs.result.setAttribute('aria-live', 'polite');
  root.append(head, since, stale, refs.session.root, running, rows, refs.result, refs.host);
  // A tap anywhere on the card selects it, as the head does for the keyboard.
  root.addEventListener('click', (event) => {
    if (!head.contains(event.target)) onToggle(id);
  });
  return refs;
}

function doneText(result, t) {
  switch (result.command) {
    case 'launch': return t.started(result.game.name);
    case 'session-start': return t.sessionStarted(result.seconds, result.game?.name);
    case 'session-extend': return t.extended(result.seconds);
    case 'session-end': return t.sessionEndedNow;
    case 'help-answer': return t.answeredDone;
    case 'ready': return t.readyDone;
    case 'power': return t.poweringOff;
    default: return t.calibrated;
  }
}

function resultText(result, t) {
  switch (result.state) {
    case 'pending': return t.pending;
    case 'done': return doneText(result, t);
    case 'failed': return t.failed(result.error || '?');
    case 'noAnswer': return t.noAnswer;
    case 'offline': return t.offlineNotSent;
    default: return '';
  }
}

function fillCard(refs, m, t) {
  fillSessionPart(refs.session, refs.root, m, t);
  const { root } = refs;
  root.classList.toggle('offline', !m.online);
  root.classList.toggle('selected', m.selected);
  root.classList.toggle('stale', m.stale);
  refs.head.setAttribute('aria-checked', String(m.selected));
  refs.head.setAttribute('aria-label', `${t.select} ${m.id}: ${m.online ? t.online : t.offline}`);
  refs.badge.textContent = m.online ? `● ${t.online}` : `✕ ${t.offline}`;
  refs.since.textContent = m.since === null ? t.sinceUnknown : t.since(clockTime(m.since));
  refs.stale.textContent = t.stale;
  show(refs.stale, m.stale);

  const game = m.running;
  refs.running.classList.toggle('idle', !game && !m.steamRunningAppId);
  refs.runningLabel.textContent = game || m.steamRunningAppId ? t.running : t.idle;
  refs.runningName.textContent = game ? game.name : m.steamRunningAppId ? t.steamApp(m.steamRunningAppId) : '';
  if (game?.url) refs.picture.src = game.url;
  else refs.picture.removeAttribute('src');
  show(refs.picture, Boolean(game?.url));

  const rowText = (r, text, warn = false) => {
    r.dt.textContent = t[r.key];
    r.dd.textContent = text;
    r.dd.classList.toggle('warn', warn);
  };
  const last = m.lastLaunch;
  const lastAt = last && (last.at === null ? t.beforeOffline : clockTime(last.at));
  rowText(refs.lastLaunch, last ? `${last.game.name} · ${lastAt}${last.by ? ` · ${t.by(last.by)}` : ''}` : t.never);
  rowText(refs.service, m.deviceService ? `✓ ${t.serviceUp}` : `⚠ ${t.serviceDown}`, !m.deviceService);
  // Without nerq-headset and its VR runtime, a customer can neither see the time nor call for help.
  const headsetUp = m.headset.connected && m.headset.vr;
  rowText(refs.headset, headsetUp ? `✓ ${t.headsetUp}` : `⚠ ${m.headset.connected ? t.headsetNoVr : t.headsetDown}`,
    m.online && !headsetUp);
  const c = m.catalogue;
  const standing = c.current === null ? t.venueCatalogue : c.current ? t.current : t.outdated;
  rowText(refs.catalogue, c.own ? t.ownCatalogue
    : `${standing}${c.published === null ? '' : ` · ${t.published(clockTime(c.published))}`}`,
  !c.own && c.current === false);
  // The revision itself only for who asks: it shows on pointing at the row.
  refs.catalogue.dd.title = c.own ? '' : t.revision(c.revision);
  rowText(refs.hidden, m.hidden.length ? m.hidden.join('、') : t.none);

  refs.result.textContent = m.result ? resultText(m.result, t) : '';
  refs.result.className = `result ${m.result ? m.result.state : ''}`;
  show(refs.result, Boolean(m.result));
  refs.host.textContent = [m.host, m.version].filter(Boolean).join(' · ');
}

function makeTile(tile, t, onPick) {
  const button = el('button', 'tile');
  button.type = 'button';
  button.dataset.game = tile.gameId;
  const picture = el('div', 'tile-picture');
  if (tile.url) picture.append(image(tile.url));
  const caption = el('div', 'tile-caption');
  if (tile.isNative) caption.append(el('span', 'native', t.nativeGame));
  caption.append(el('span', 'tile-name', tile.name));
  button.append(picture, caption);
  button.addEventListener('click', () => onPick(tile.gameId));
  return button;
}

export class View {
  constructor(handlers) {
    this.handlers = handlers;
    this.cards = new Map();
    this.drawnTiles = null;
    this.drawnLog = -1;
    this.drawnToday = null;
    this.language = null;
  }

  drawTexts(state) {
    const t = TEXTS[state.language];
    document.documentElement.lang = t.htmlLang;
    for (const node of document.querySelectorAll('[data-text]')) node.textContent = t[node.dataset.text];
    $('language').textContent = t.switchTo;
    this.language = state.language;
    this.drawnTiles = null;
  }

  // `mono`: the page's monotonic clock now, which the countdowns and the calls' waits count by.
  draw(state, mono) {
    const t = TEXTS[state.language];
    if (this.language !== state.language) this.drawTexts(state);
    const signedIn = state.connection === 'online' || state.connection === 'lost';
    show($('sign-in'), !signedIn);
    show($('tabs'), signedIn);
    show($('floor'), signedIn && state.tab === 'floor');
    show($('actions'), signedIn && state.tab === 'floor');
    show($('today'), signedIn && state.tab === 'today');
    for (const tab of document.querySelectorAll('.tab')) tab.setAttribute('aria-selected', String(tab.dataset.tab === state.tab));
    show($('sign-out'), signedIn);
    show($('lost'), state.connection === 'lost');
    $('lost').textContent = t.lost;
    document.body.classList.toggle('stale', state.connection === 'lost');
    $('link-state').textContent = state.connection === 'online' ? `● ${t.connected}` : state.connection === 'lost' ? `✕ ${t.stale}` : '';
    $('link-state').className = `link-state state-${state.connection}`;

    const signInError = { credentials: t.wrongCredentials, unreachable: t.unreachable }[state.signInError] ?? '';
    $('sign-in-error').textContent = state.connection === 'connecting' ? t.signingIn : signInError;
    $('sign-in-button').disabled = state.connection === 'connecting';

    this.drawCatalogue(state, t);
    drawBanner(state, t, mono, this.handlers.answer);
    drawFreeAndReady(state, t);
    this.drawCards(state, t, mono);
    this.drawActions(state, t);
    this.drawPicker(state, t);
    if (state.tab === 'today') this.drawVenue(state, t);
    this.drawLog(state);
  }

  drawVenue(state, t) {
    // Today changes only with the summary, the catalogue's names and the language; redrawn with
    // every tick of the countdowns, it would also take away the tooltip under the pointer.
    const today = [state.today, state.catalogue, state.language];
    if (!this.drawnToday?.every((part, i) => part === today[i])) {
      this.drawnToday = today;
      drawToday(state, t);
    }
    const online = state.connection === 'online';
    $('open-venue').disabled = !online || state.wake?.state === 'pending';
    $('close-venue').disabled = !online || state.stations.size === 0;
    $('wake-result').textContent = wakeText(state.wake, t);
  }

  // The one confirmation before closing: which stations go off, which stay on and why.
  fillClosing(state) {
    const t = TEXTS[state.language];
    const plan = closingPlan(state);
    $('close-off').textContent = t.closeOff(plan.off);
    $('close-stay').textContent = plan.inSession.length ? t.closeStay(plan.inSession) : '';
    $('close-offline').textContent = plan.offline.length ? t.closeOffline(plan.offline) : '';
    $('close-confirm').disabled = plan.off.length === 0;
    return plan;
  }

  drawCatalogue(state, t) {
    const c = catalogueModel(state);
    show($('catalogue-line'), Boolean(c));
    if (!c) return;
    $('catalogue-summary').textContent = [
      t.venueCatalogue, c.published === null ? null : t.published(clockTime(c.published)), t.games(c.games),
      c.of ? t.following(c.following, c.of) : null,
    ].filter(Boolean).join(' · ');
    $('catalogue-revision').textContent = t.revision(c.revision);
  }

  drawCards(state, t, mono) {
    const ids = stationIds(state);
    show($('no-stations'), ids.length === 0);
    for (const [id, refs] of this.cards) {
      if (!state.stations.has(id)) {
        refs.root.remove();
        this.cards.delete(id);
      }
    }
    const container = $('cards');
    ids.forEach((id, index) => {
      let refs = this.cards.get(id);
      if (!refs) {
        refs = makeCard(id, this.handlers);
        this.cards.set(id, refs);
      }
      if (container.children[index] !== refs.root) container.insertBefore(refs.root, container.children[index] ?? null);
      fillCard(refs, cardModel(state, id, mono), t);
    });
  }

  drawActions(state, t) {
    const selected = [...state.selected].filter((id) => state.stations.has(id));
    const offline = selected.filter((id) => !state.stations.get(id).status.online).length;
    $('selected-count').textContent = t.selectedCount(selected.length, offline);
    const canSend = state.connection === 'online' && selected.length > offline;
    $('start-game').disabled = !canSend;
    $('start-session').disabled = !canSend;
    $('calibrate').disabled = !canSend;
    $('clear').disabled = selected.length === 0;
    $('select-online').disabled = state.connection !== 'online';
    const onlineCount = `${selected.length - offline}`;
    $('picker-for').textContent = t.pickFor(onlineCount);
    $('calibrate-for').textContent = t.selectedCount(selected.length, offline);
    drawSessionDialog(state, t, selected.length - offline, this.handlers);
    $('confirm-end-text').textContent = state.confirmEnd ? t.confirmEnd(state.confirmEnd) : '';
  }

  drawPicker(state, t) {
    const list = tiles(state);
    show($('no-catalogue'), list.length === 0);
    // Redrawn only when what the tiles show changed, so a focused tile keeps its focus.
    const key = JSON.stringify(list);
    if (key === this.drawnTiles) return;
    this.drawnTiles = key;
    $('tiles').replaceChildren(...list.map((tile) => makeTile(tile, t, this.handlers.pick)));
  }

  drawLog(state) {
    if (state.log.length === this.drawnLog && state.log.at(-1) === this.lastLine) return;
    this.drawnLog = state.log.length;
    this.lastLine = state.log.at(-1);
    $('log-count').textContent = state.log.length ? `(${state.log.length})` : '';
    show($('log-empty'), state.log.length === 0);
    $('log-lines').replaceChildren(...state.log.slice().reverse().map((line) => {
      const item = el('li');
      item.append(el('time', '', new Date(line.at).toTimeString().slice(0, 8)), document.createTextNode(` ${line.text}`));
      return item;
    }));
  }
}
