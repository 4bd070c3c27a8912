// Wires the page together: the broker's messages and the operator's taps change the state,
// and every change is drawn.
import { Alarm } from './alarm.js';
import { $ } from './dom.js';
import { DESK_USER } from './interface.js';
import { Link } from './link.js';
import { pictureFile, readPictures } from './pictures.js';
import { View } from './view.js';
import { parseTopic, readCatalogue, readPicture, readResult, readStatus, readToday, readWakeAnswer } from './payloads.js';
import { EXTEND_SECONDS, formSeconds, toneDue, waitingCalls, wantsReport } from './sessions.js';
import {
  COMMAND_LIFETIME_MS, addLog, applyCatalogue, applyResult, applyStatus, applyToday, applyWakeAnswer, connectionLost,
  createState, dropUnrefreshed, expirePending, newCommandId, preparePowerOff, prepareCommands, prepareStationCommands,
  prepareWake, reportCommand, selectAllOnline, toggleSelected, wantedPictures,
} from './state.js';

const STORED_DEVICE = 'nerq-console.device';
const STORED_LANGUAGE = 'nerq-console.language';
// After a reconnect, retained statuses come at once; a station still missing after this was
// taken away while the page was cut off.
const REFRESH_MS = 3000;

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
    view.draw(state, performance.now());
  }, 0);
}

function note(text) {
  console.warn(`nerq console: ${text}`);
  addLog(state, text, Date.now());
  draw();
}

function onPicture(sha, bytes) {
  if (state.pictures.has(sha) || !wantedPictures(state).has(sha)) return;
  const read = readPicture(sha, bytes);
  if (read.error) {
    note(`pictures/${sha.slice(0, 12)}…: ${read.error}, skipped`);
    return;
  }
  state.pictures.set(sha, URL.createObjectURL(new Blob([bytes], { type: read.value })));
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
  fetchPictures(read.value.revision);
}

// The pictures come in one file from the folder the broker serves the page from. Those not in
// it (published by a desk that could not reach that folder) are asked of the broker instead,
// which sends large messages to a page slowly.
let fetchedRevision = null;
async function fetchPictures(revision) {
  if (revision === fetchedRevision) return;
  fetchedRevision = revision;
  const file = pictureFile(revision);
  let problem = file ? null : 'a revision no file is named after';
  try {
    const response = file ? await fetch(file) : null;
    if (response && !response.ok) problem = `HTTP ${response.status}`;
    const read = response?.ok ? readPictures(new Uint8Array(await response.arrayBuffer())) : null;
    if (read?.error) problem = read.error;
    for (const [sha, bytes] of read?.value ?? []) onPicture(sha, bytes);
  } catch (error) {
    problem = error.message;
  }
  if (revision !== state.catalogue?.revision) return; // a newer catalogue came meanwhile
  const missing = [...wantedPictures(state)].filter((sha) => !state.pictures.has(sha));
  if (missing.length) {
    note(`pictures/${revision}: ${problem ?? 'incomplete'}; asking the broker for ${missing.length} picture(s)`);
    link.wantPictures(missing);
  }
  draw();
}

function onMessage(topic, bytes, expiryLeft) {
  const subject = parseTopic(topic);
  if (!subject) {
    note(`${topic}: not a topic the page reads, skipped`);
    return;
  }
  if (subject.kind === 'picture') {
    onPicture(subject.sha, bytes);
  } else if (subject.kind === 'today' || subject.kind === 'wake') {
    const read = subject.kind === 'today' ? readToday(bytes) : readWakeAnswer(bytes);
    if (read.error) {
      note(`${topic}: ${read.error}; skipped`);
      return;
    }
    if (subject.kind === 'today') applyToday(state, read.value);
    else applyWakeAnswer(state, read.value);
  } else if (subject.kind === 'catalogue') {
    onCatalogue(bytes);
  } else {
    const read = subject.kind === 'status' ? readStatus(subject.station, bytes) : readResult(subject.station, bytes);
    if (read.error) {
      note(`${topic}: ${read.error}; skipped`);
      return;
    }
    if (subject.kind === 'status') {
      applyStatus(state, subject.station, read.value, Date.now(), expiryLeft, performance.now());
      if (wantsReport(state, subject.station)) publish(reportCommand(state, subject.station, Date.now(), newCommandId));
    } else {
      applyResult(state, subject.station, read.value);
    }
  }
  draw();
}

let refreshTimer = null;
function onState(linkState, detail = {}) {
  if (linkState === 'online') {
    state.connection = 'online';
    state.epoch += 1;
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
    state.today = null;
    state.wake = null;
  }
  draw();
}

const link = new Link(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/mqtt`,
  { onState, onMessage, onNote: note });

function publish({ topic, payload }) {
  link.publishCommand(topic, payload, COMMAND_LIFETIME_MS).catch((error) => note(`${topic}: not sent (${error.message})`));
}

function publishAll(messages) {
  messages.forEach(publish);
  draw();
}

function send(command, gameId) {
  publishAll(prepareCommands(state, command, gameId, Date.now(), newCommandId));
}

// A command to the stations `ids` whatever is selected: a card's own buttons, the banner's.
function sendTo(ids, command, fields) {
  publishAll(prepareStationCommands(state, ids, command, fields, Date.now(), newCommandId));
}

const alarm = new Alarm();

const view = new View({
  toggle(id) {
    toggleSelected(state, id);
    draw();
  },
  pick(gameId) {
    $('picker').close();
    send('launch', gameId);
  },
  answer: (id) => sendTo([id], 'help-answer'),
  extend: (id) => sendTo([id], 'session-extend', { seconds: EXTEND_SECONDS }),
  ready: (id) => sendTo([id], 'ready'),
  end(id) {
    state.confirmEnd = id;
    view.draw(state, performance.now());
    $('confirm-end').returnValue = '';
    $('confirm-end').showModal();
  },
  length(minutes) {
    state.sessionForm = { ...state.sessionForm, minutes, typed: '' };
    $('session-typed').value = '';
    draw();
  },
  game(gameId) {
    state.sessionForm = { ...state.sessionForm, gameId };
    draw();
  },
});

// Only a device's own sign-in is kept (nerq-venue add-desk makes one): a lost tablet is then shut
// out by removing its sign-in alone, and the desk's own password never lies in a browser.
const mayRemember = (user) => user !== DESK_USER;

function showRemember() {
  const allowed = mayRemember($('user').value.trim());
  $('remember').disabled = !allowed;
  if (!allowed) $('remember').checked = false;
  $('remember-hint').hidden = allowed;
}

function signIn(user, password, remember) {
  state.user = user;
  pendingCredentials = { remember: remember && mayRemember(user), stored: { user, password } };
  link.signIn(user, password);
}

$('sign-in-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const user = $('user').value.trim();
  const password = $('password').value;
  $('password').value = '';
  signIn(user, password, $('remember').checked);
});
$('user').addEventListener('input', showRemember);
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
$('start-session').addEventListener('click', () => {
  $('session-dialog').returnValue = '';
  $('session-dialog').showModal();
});
$('session-typed').addEventListener('input', () => {
  state.sessionForm = { ...state.sessionForm, typed: $('session-typed').value.trim() };
  draw();
});
$('session-dialog').addEventListener('close', () => {
  const seconds = formSeconds(state.sessionForm);
  if ($('session-dialog').returnValue !== 'start' || seconds === null) return;
  sendTo([...state.selected], 'session-start', { seconds, gameId: state.sessionForm.gameId ?? undefined });
});
$('confirm-end').addEventListener('close', () => {
  if ($('confirm-end').returnValue === 'end' && state.confirmEnd) sendTo([state.confirmEnd], 'session-end');
  state.confirmEnd = null;
});
$('calibrate').addEventListener('click', () => {
  $('confirm-calibrate').returnValue = '';
  $('confirm-calibrate').showModal();
});
$('confirm-calibrate').addEventListener('close', () => {
  if ($('confirm-calibrate').returnValue === 'calibrate') send('calibrate');
});
for (const tab of document.querySelectorAll('.tab')) {
  tab.addEventListener('click', () => {
    state.tab = tab.dataset.tab;
    draw();
  });
}
$('open-venue').addEventListener('click', () => publishAll([prepareWake(state, Date.now(), newCommandId)]));
// The stations to power off are fixed when the operator confirms what the dialog said.
let closing = null;
$('close-venue').addEventListener('click', () => {
  closing = view.fillClosing(state);
  $('confirm-close').returnValue = '';
  $('confirm-close').showModal();
});
$('confirm-close').addEventListener('close', () => {
  if ($('confirm-close').returnValue === 'close' && closing) publishAll(preparePowerOff(state, closing.off, Date.now(), newCommandId));
  closing = null;
});
window.addEventListener('offline', () => link.dropped());
setInterval(() => {
  if (expirePending(state, Date.now())) draw();
}, 500);
// The countdowns and the calls' waits tick on the page's monotonic clock; an unanswered call
// sounds again every 10 s.
setInterval(() => {
  const mono = performance.now();
  if (toneDue(state, mono)) alarm.sound();
  const ticking = waitingCalls(state, mono).length > 0 || [...state.stations.values()].some((s) => s.countdown);
  if (ticking) view.draw(state, mono);
}, 250);

let stored = null;
try {
  stored = JSON.parse(storage?.getItem(STORED_DEVICE) ?? 'null');
} catch {
  storage?.removeItem(STORED_DEVICE);
}
// A page of before kept the desk's own password when asked: it goes now.
if (typeof stored?.user === 'string' && !mayRemember(stored.user)) {
  storage?.removeItem(STORED_DEVICE);
  stored = null;
}
$('user').value = typeof stored?.user === 'string' ? stored.user : DESK_USER;
showRemember();
if (typeof stored?.user === 'string' && typeof stored?.password === 'string') {
  $('remember').checked = true;
  signIn(stored.user, stored.password, true);
}
view.draw(state, performance.now());
