// Wires the page together: the broker's messages and the operator's taps change the state,
// and every change is drawn.
import { Link } from './link.js';
import { View } from './view.js';
import { parseTopic, pictureType, readCatalogue, readResult, readStatus } from './payloads.js';
import {
  COMMAND_LIFETIME_MS, addLog, applyCatalogue, applyResult, applyStatus, connectionLost, createState,
  dropUnrefreshed, expirePending, newCommandId, prepareCommands, selectAllOnline, toggleSelected, wantedPictures,
} from './state.js';

const STORED_DEVICE = 'nerq-console.device';
const STORED_LANGUAGE = 'nerq-console.language';
// After a reconnect, retained statuses come at once; a station still missing after this was
// taken away while the page was cut off.
const REFRESH_MS = 3000;

const $ = (id) => document.getElementById(id);
const storage = (() => {
  try {
    return window.localStorage;
  } catch {
    return null; // storage switched off: nothing is remembered
  }
})();

const state = createState(storage?.getItem(STORED_LANGUAGE) === 'en' ? 'en' : 'cn');
let pendingCredentials = null;
let drawScheduled = false;

function draw() {
  if (drawScheduled) return;
  drawScheduled = true;
  setTimeout(() => {
    drawScheduled = false;
    view.draw(state);
  }, 0);
}

function note(text) {
  console.warn(`nerq console: ${text}`);
  addLog(state, text, Date.now());
  draw();
}

function onPicture(sha, bytes) {
  if (state.pictures.has(sha) || !wantedPictures(state).has(sha)) return;
  const type = pictureType(bytes);
  if (!type) {
    note(`pictures/${sha.slice(0, 12)}…: not a picture, skipped`);
    return;
  }
  state.pictures.set(sha, URL.createObjectURL(new Blob([bytes], { type })));
}

function onCatalogue(bytes) {
  const read = readCatalogue(bytes);
  if (read.error) {
    note(`catalogue: ${read.error}; the last good one stays`);
    return;
  }
  if (read.skipped.length) note(`catalogue: entries without a usable gameId skipped: ${read.skipped.join(', ')}`);
  applyCatalogue(state, read.value);
  const wanted = wantedPictures(state);
  for (const [sha, url] of state.pictures) {
    if (!wanted.has(sha)) {
      URL.revokeObjectURL(url);
      state.pictures.delete(sha);
    }
  }
  link.wantPictures([...wanted].filter((sha) => !state.pictures.has(sha)));
}

function onMessage(topic, bytes) {
  const subject = parseTopic(topic);
  if (!subject) {
    note(`${topic}: not a topic the page reads, skipped`);
    return;
  }
  if (subject.kind === 'picture') {
    onPicture(subject.sha, bytes);
  } else if (subject.kind === 'catalogue') {
    onCatalogue(bytes);
  } else {
    const read = subject.kind === 'status' ? readStatus(subject.station, bytes) : readResult(subject.station, bytes);
    if (read.error) {
      note(`${topic}: ${read.error}; skipped`);
      return;
    }
    if (subject.kind === 'status') applyStatus(state, subject.station, read.value, Date.now());
    else applyResult(state, subject.station, read.value);
  }
  draw();
}

let refreshTimer = null;
function onState(linkState, detail = {}) {
  if (linkState === 'online') {
    state.connection = 'online';
    state.signInError = null;
    if (pendingCredentials) {
      if (pendingCredentials.remember) storage?.setItem(STORED_DEVICE, JSON.stringify(pendingCredentials.stored));
      else storage?.removeItem(STORED_DEVICE);
      pendingCredentials = null;
    }
    if (detail.again) {
      clearTimeout(refreshTimer);
      refreshTimer = setTimeout(() => {
        dropUnrefreshed(state);
        draw();
      }, REFRESH_MS);
    }
  } else if (linkState === 'lost') {
    if (state.connection !== 'lost') note('connection to the broker lost; reconnecting');
    connectionLost(state);
  } else if (linkState === 'refused') {
    state.connection = 'signed-out';
    state.signInError = detail.reason;
    if (detail.reason === 'credentials') storage?.removeItem(STORED_DEVICE);
    pendingCredentials = null;
  } else {
    state.connection = linkState;
    if (linkState === 'signed-out') state.signInError = null;
  }
  if (state.connection === 'signed-out') {
    state.stations.clear();
    state.selected.clear();
    state.pending.clear();
  }
  draw();
}

const link = new Link(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/mqtt`,
  { onState, onMessage, onNote: note });

function send(command, gameId) {
  for (const { topic, payload } of prepareCommands(state, command, gameId, Date.now(), newCommandId)) {
    link.publishCommand(topic, payload, COMMAND_LIFETIME_MS).catch((error) => note(`${topic}: not sent (${error.message})`));
  }
  draw();
}

const view = new View({
  toggle(id) {
    toggleSelected(state, id);
    draw();
  },
  pick(gameId) {
    $('picker').close();
    send('launch', gameId);
  },
});

function signIn(user, password, remember) {
  state.user = user;
  pendingCredentials = { remember, stored: { user, password } };
  link.signIn(user, password);
}

$('sign-in-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const user = $('user').value.trim();
  const password = $('password').value;
  $('password').value = '';
  signIn(user, password, $('remember').checked);
});
$('sign-out').addEventListener('click', () => {
  storage?.removeItem(STORED_DEVICE);
  link.signOut();
});
$('language').addEventListener('click', () => {
  state.language = state.language === 'cn' ? 'en' : 'cn';
  storage?.setItem(STORED_LANGUAGE, state.language);
  draw();
});
$('select-online').addEventListener('click', () => {
  selectAllOnline(state);
  draw();
});
$('clear').addEventListener('click', () => {
  state.selected.clear();
  draw();
});
$('start-game').addEventListener('click', () => $('picker').showModal());
$('calibrate').addEventListener('click', () => {
  $('confirm-calibrate').returnValue = '';
  $('confirm-calibrate').showModal();
});
$('confirm-calibrate').addEventListener('close', () => {
  if ($('confirm-calibrate').returnValue === 'calibrate') send('calibrate');
});
window.addEventListener('offline', () => link.dropped());
setInterval(() => {
  if (expirePending(state, Date.now())) draw();
}, 500);

let stored = null;
try {
  stored = JSON.parse(storage?.getItem(STORED_DEVICE) ?? 'null');
} catch {
  storage?.removeItem(STORED_DEVICE);
}
$('user').value = typeof stored?.user === 'string' ? stored.user : 'desk';
if (typeof stored?.user === 'string' && typeof stored?.password === 'string') {
  $('remember').checked = true;
  signIn(stored.user, stored.password, true);
}
view.draw(state);
