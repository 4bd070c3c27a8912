// Draws the page from the state. Everything a payload carries goes in through textContent or
// an attribute, never as markup.
import { TEXTS, clockTime } from './texts.js';
import { cardModel, stationIds, tiles } from './state.js';

const $ = (id) => document.getElementById(id);

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function show(node, visible) {
  node.hidden = !visible;
}

// One card's elements, made once per station and filled again on every change, so focus and
// scroll position survive updates.
function makeCard(id, onToggle) {
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
    lastLaunch: row('lastLaunch'), service: row('deviceService'), catalogue: row('catalogue'), hidden: row('hidden'),
    result: el('p', 'result'),
    host: el('p', 'host'),
  };
  refs.result.setAttribute('aria-live', 'polite');
  root.append(head, since, stale, running, rows, refs.result, refs.host);
  // A tap anywhere on the card selects it, as the head does for the keyboard.
  root.addEventListener('click', (event) => {
    if (!head.contains(event.target)) onToggle(id);
  });
  return refs;
}

function resultText(result, t) {
  switch (result.state) {
    case 'pending': return t.pending;
    case 'done': return result.command === 'launch' ? t.started(result.game.name) : t.calibrated;
    case 'failed': return t.failed(result.error || '?');
    case 'noAnswer': return t.noAnswer;
    case 'offline': return t.offlineNotSent;
    default: return '';
  }
}

function fillCard(refs, m, t) {
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
  rowText(refs.lastLaunch, last ? `${last.game.name} · ${clockTime(last.at)}${last.by ? ` · ${t.by(last.by)}` : ''}` : t.never);
  rowText(refs.service, m.deviceService ? `✓ ${t.serviceUp}` : `⚠ ${t.serviceDown}`, !m.deviceService);
  const c = m.catalogue;
  rowText(refs.catalogue, c.own ? t.ownCatalogue
    : `${c.revision.slice(0, 12)}${c.current === null ? '' : ` (${c.current ? t.current : t.outdated})`}`,
  !c.own && c.current === false);
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
  if (tile.url) {
    const img = el('img');
    img.src = tile.url;
    img.alt = '';
    picture.append(img);
  }
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

  draw(state) {
    const t = TEXTS[state.language];
    if (this.language !== state.language) this.drawTexts(state);
    const signedIn = state.connection === 'online' || state.connection === 'lost';
    show($('sign-in'), !signedIn);
    show($('floor'), signedIn);
    show($('actions'), signedIn);
    show($('sign-out'), signedIn);
    show($('lost'), state.connection === 'lost');
    $('lost').textContent = t.lost;
    document.body.classList.toggle('stale', state.connection === 'lost');
    $('link-state').textContent = state.connection === 'online' ? `● ${t.connected}` : state.connection === 'lost' ? `✕ ${t.stale}` : '';
    $('link-state').className = `link-state state-${state.connection}`;

    const signInError = { credentials: t.wrongCredentials, unreachable: t.unreachable }[state.signInError] ?? '';
    $('sign-in-error').textContent = state.connection === 'connecting' ? t.signingIn : signInError;
    $('sign-in-button').disabled = state.connection === 'connecting';

    this.drawCards(state, t);
    this.drawActions(state, t);
    this.drawPicker(state, t);
    this.drawLog(state);
  }

  drawCards(state, t) {
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
        refs = makeCard(id, this.handlers.toggle);
        this.cards.set(id, refs);
      }
      if (container.children[index] !== refs.root) container.insertBefore(refs.root, container.children[index] ?? null);
      fillCard(refs, cardModel(state, id), t);
    });
  }

  drawActions(state, t) {
    const selected = [...state.selected].filter((id) => state.stations.has(id));
    const offline = selected.filter((id) => !state.stations.get(id).status.online).length;
    $('selected-count').textContent = t.selectedCount(selected.length, offline);
    const canSend = state.connection === 'online' && selected.length > offline;
    $('start-game').disabled = !canSend;
    $('calibrate').disabled = !canSend;
    $('clear').disabled = selected.length === 0;
    $('select-online').disabled = state.connection !== 'online';
    const onlineCount = `${selected.length - offline}`;
    $('picker-for').textContent = t.pickFor(onlineCount);
    $('calibrate-for').textContent = t.selectedCount(selected.length, offline);
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
