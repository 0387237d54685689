// The sound board tab: pads that play short sounds through the sound plug-in.
// The page talks to it through two files in the data folder: it appends one
// JSON command per line to "sound-inbox.jsonl", and it reads
// "sound-state.json" (what plays, with the time left) to light the pads.
(function (QK) {
'use strict';

const { call, readText } = QK.bridge;
const { baseName } = QK.paths;

const INBOX = 'sound-inbox.jsonl';
const STATE = 'sound-state.json';
const STATE_POLL_MS = 400;
// The sound plug-in rewrites its state file every 150 ms while anything plays;
// a list older than this is a plug-in that is no longer running.
const STATE_STALE_MS = 10000;
const MAX_VOLUME = 2;
// Keys the page already uses for the night's controls.
const RESERVED_KEYS = new Set(['n', 'e', 'b', 's', 'a', 'v', 'i', '/', 'r', 'o', 'l', 'h', ' ']);

const utf8Bytes = (text) => new TextEncoder().encode(text).length;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The inbox as the sound plug-in reads it: it remembers how far it has read
// and takes what was added since, so the file may only ever grow by whole
// lines between two of its reads. There is no append action, so the page
// keeps its own copy of the file's text and writes the copy plus the new line
// whole and atomically; writes take turns so that no line is lost between two
// quick presses. A file smaller than what the plug-in has read counts as a
// fresh start there and whatever it holds is skipped: so past `limit` bytes
// the page first writes it empty and gives the plug-in `settleMs` to notice,
// and only then adds the next line.
class Inbox {
  constructor({ path, limit = 64 * 1024, settleMs = 1000 }) {
    Object.assign(this, { path, limit, settleMs });
    this.text = null;
    this.resetAt = -Infinity;
    this.queue = Promise.resolve();
  }

  append(command) {
    const line = JSON.stringify(command) + '\n';
    const done = this.queue.then(() => this.write(line));
    this.queue = done.catch(() => {});
    return done;
  }

  async write(line) {
    if (this.text === null) this.text = (await readText(this.path())) || '';
    // A last line without its line feed (written by someone else) is closed
    // first, so the new command never joins it.
    const base = this.text && !this.text.endsWith('\n') ? this.text + '\n' : this.text;
    if (base && utf8Bytes(base) + utf8Bytes(line) > this.limit) {
      await call('writefile', { path: this.path(), content: '' });
      this.text = '';
      this.resetAt = performance.now();
      return this.write(line);
    }
    const wait = this.resetAt + this.settleMs - performance.now();
    if (wait > 0) await sleep(wait);
    const next = base + line;
    await call('writefile', { path: this.path(), content: next });
    this.text = next;
  }
}

// ---- pads -------------------------------------------------------------------

function cleanVolume(v) {
  const n = Number(v);
  return Number.isFinite(n) ? Math.min(MAX_VOLUME, Math.max(0, Math.round(n * 100) / 100)) : 1;
}

// Stored pads over what the page needs; anything malformed is left out.
function cleanPads(stored) {
  if (!Array.isArray(stored)) return [];
  const seen = new Set();
  return stored.filter((p) => p && typeof p === 'object' && typeof p.id === 'string' && p.id && !seen.has(p.id) && seen.add(p.id))
    .map((p) => ({
      id: p.id,
      name: typeof p.name === 'string' ? p.name : '',
      path: typeof p.path === 'string' ? p.path : '',
      vol: cleanVolume(p.vol),
      key: typeof p.key === 'string' ? p.key.slice(0, 1).toLowerCase() : '',
    }));
}

function remainingText(ms) {
  const s = Math.ceil(Math.max(0, ms) / 1000);
  return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, '0')}`;
}

// "sound-state.json" → Map of pad id → milliseconds left; empty when the file
// is missing, not what the plug-in writes, or stale.
function activeFromState(doc, now) {
  const out = new Map();
  if (!doc || typeof doc !== 'object' || !Array.isArray(doc.active)) return out;
  if (typeof doc.at === 'number' && now - doc.at > STATE_STALE_MS) return out;
  for (const e of doc.active) {
    if (e && typeof e.id === 'string' && typeof e.rem === 'number') out.set(e.id, Math.max(e.rem, out.get(e.id) || 0));
  }
  return out;
}

function init(app) {
  const { state, report, userError, dataFile, saveSettings } = app;
  const $ = (id) => document.getElementById(id);
  const inbox = new Inbox({ path: () => dataFile(INBOX) });
  let active = new Map();
  let nextPad = 1;

  // The settings get a "soundPads" member with the first pad, not before.
  const pads = () => (Array.isArray(state.settings.soundPads) ? state.settings.soundPads : []);
  // Takes the pads from the settings (at start-up, and after a restore).
  function reload() {
    if (state.settings.soundPads !== undefined) state.settings.soundPads = cleanPads(state.settings.soundPads);
    nextPad = 1;
    for (const p of pads()) { const n = Number(p.id.replace(/^p/, '')); if (n >= nextPad) nextPad = n + 1; }
    draw();
  }

  function save() { saveSettings(); draw(); }

  function play(pad) {
    if (!pad.path) return Promise.reject(userError(`Choose a sound file for the pad “${pad.name || pad.id}” first.`));
    if (!(pad.vol > 0)) return Promise.reject(userError(`The pad “${pad.name || pad.id}” is at volume 0.`));
    return inbox.append({ op: 'play', id: pad.id, path: pad.path, vol: pad.vol });
  }
  const stop = (pad) => inbox.append({ op: 'stop', id: pad.id });
  const stopAll = () => inbox.append({ op: 'stop_all' });

  function addPad() {
    state.settings.soundPads = [...pads(), { id: `p${nextPad++}`, name: `Pad ${pads().length + 1}`, path: '', vol: 1, key: '' }];
    save();
  }

  // True when the key was taken; a refused key is reported.
  function setKey(pad, key) {
    const k = key.trim().slice(-1).toLowerCase();
    if (k && RESERVED_KEYS.has(k)) { report(userError(`The key ${k.toUpperCase()} already belongs to the page's controls.`)); return false; }
    const other = pads().find((p) => p !== pad && k && p.key === k);
    if (other) { report(userError(`The key ${k.toUpperCase()} already plays “${other.name}”.`)); return false; }
    pad.key = k;
    return true;
  }

  // The face of a pad: its name, its key, and the time left or its sound.
  function labelPad(hit, pad, rem) {
    const name = document.createElement('span');
    name.className = 'pad-name';
    name.textContent = pad.name || pad.id;
    const meta = document.createElement('span');
    meta.className = 'pad-meta';
    meta.textContent = rem !== undefined ? remainingText(rem) : pad.path ? baseName(pad.path) : 'no sound chosen';
    hit.replaceChildren(name, meta);
    if (pad.key) { const kbd = document.createElement('kbd'); kbd.textContent = pad.key.toUpperCase(); hit.append(kbd); }
  }

  async function chooseFile(pad) {
    const answer = await call('pick_file', { start: pad.path ? pad.path.replace(/[\\/][^\\/]*$/, '') : '' },
      { okCodes: [0, 1], timeout: 30 * 60 * 1000 });
    if (answer.hr !== 0 || !answer.result) return;
    pad.path = answer.result;
    if (!pad.name || /^Pad \d+$/.test(pad.name)) pad.name = baseName(pad.path).replace(/\.[^.]+$/, '');
    save();
  }

  function field(labelText, input) {
    const label = document.createElement('label');
    label.append(labelText, input);
    return label;
  }

  function drawPad(pad) {
    const card = document.createElement('div');
    card.className = 'pad';
    card.dataset.id = pad.id;
    const rem = active.get(pad.id);
    if (rem !== undefined) card.classList.add('playing');

    const hit = document.createElement('button');
    hit.className = 'pad-hit';
    hit.title = 'Play (again restarts it)';
    labelPad(hit, pad, rem);
    hit.addEventListener('click', () => play(pad).catch(report));

    // A field edit only relabels its pad: redrawing would lose the KJ's place
    // as Tab moves on to the next field.
    const edited = () => { saveSettings(); labelPad(hit, pad, active.get(pad.id)); };
    const nameIn = document.createElement('input');
    nameIn.className = 'pad-name-in';
    nameIn.maxLength = 40;
    nameIn.value = pad.name;
    nameIn.addEventListener('change', () => { pad.name = nameIn.value.trim(); edited(); });

    const vol = document.createElement('input');
    vol.className = 'pad-vol';
    vol.type = 'range';
    vol.min = '0'; vol.max = String(MAX_VOLUME); vol.step = '0.05';
    vol.value = String(pad.vol);
    const volText = document.createElement('output');
    volText.textContent = `${Math.round(pad.vol * 100)}%`;
    vol.addEventListener('input', () => { volText.textContent = `${Math.round(Number(vol.value) * 100)}%`; });
    vol.addEventListener('change', () => { pad.vol = cleanVolume(vol.value); edited(); });

    const key = document.createElement('input');
    key.className = 'pad-key';
    key.maxLength = 2;
    key.value = pad.key.toUpperCase();
    key.addEventListener('change', () => {
      if (setKey(pad, key.value)) edited();
      key.value = pad.key.toUpperCase();
    });

    const file = document.createElement('button');
    file.className = 'pad-file';
    file.textContent = 'Sound…';
    file.addEventListener('click', () => chooseFile(pad).catch(report));
    const stopB = document.createElement('button');
    stopB.className = 'pad-stop';
    stopB.textContent = '■ Stop';
    stopB.addEventListener('click', () => stop(pad).catch(report));
    const remove = document.createElement('button');
    remove.className = 'pad-remove danger';
    remove.textContent = 'Remove';
    remove.addEventListener('click', () => {
      state.settings.soundPads = pads().filter((p) => p !== pad);
      save();
    });

    const edit = document.createElement('div');
    edit.className = 'pad-edit';
    const volBox = document.createElement('span');
    volBox.className = 'row';
    volBox.append(vol, volText);
    edit.append(field('Name', nameIn), field('Volume', volBox), field('Key', key));
    const buttons = document.createElement('div');
    buttons.className = 'row';
    buttons.append(file, stopB, remove);
    card.append(hit, edit, buttons);
    return card;
  }

  // Draws every pad afresh (a pad added, removed or given a sound); the
  // control that had the focus gets it back in the new pad.
  function draw() {
    const grid = $('pads');
    const focused = grid.contains(document.activeElement) ? document.activeElement : null;
    const card = focused && focused.closest('.pad');
    const cls = focused && Array.from(focused.classList).find((c) => c.startsWith('pad-'));
    grid.replaceChildren(...pads().map(drawPad));
    $('pads-empty').hidden = pads().length > 0;
    if (card && cls) {
      const again = grid.querySelector(`.pad[data-id="${CSS.escape(card.dataset.id)}"] .${cls}`);
      if (again) again.focus();
    }
  }

  // Lights only change what the pads show, so they are updated in place.
  function light() {
    for (const card of $('pads').querySelectorAll('.pad')) {
      const pad = pads().find((p) => p.id === card.dataset.id);
      if (!pad) continue;
      const rem = active.get(pad.id);
      card.classList.toggle('playing', rem !== undefined);
      labelPad(card.querySelector('.pad-hit'), pad, rem);
    }
  }

  let stateFailure = '';
  async function pollState() {
    // Only the Sounds tab shows the lights; the file worker has better things to do meanwhile.
    if ($('view-sounds').hidden) { setTimeout(pollState, STATE_POLL_MS); return; }
    try {
      const text = await readText(dataFile(STATE));
      let doc = null;
      try { doc = text ? JSON.parse(text) : null; } catch { doc = null; } // not the plug-in's: lights nothing
      active = activeFromState(doc, Date.now());
      light();
      stateFailure = '';
    } catch (err) {
      if (err.message !== stateFailure) report(err);
      stateFailure = err.message;
    }
    setTimeout(pollState, STATE_POLL_MS);
  }

  $('tab-sounds').addEventListener('click', () => QK.view.showView('sounds'));
  $('add-pad').addEventListener('click', addPad);
  $('stop-all').addEventListener('click', () => stopAll().catch(report));
  document.addEventListener('keydown', (e) => {
    if (e.defaultPrevented || e.ctrlKey || e.altKey || e.metaKey || QK.view.typing(e.target)) return;
    if ($('ask-dialog').open) return;
    const pad = pads().find((p) => p.key && p.key === e.key.toLowerCase());
    if (pad) { e.preventDefault(); play(pad).catch(report); }
  });
  reload();
  pollState();
  return { inbox, play, stop, stopAll, reload };
}

QK.sounds = { Inbox, cleanPads, activeFromState, remainingText };
if (QK.app) {
  QK.app.started.then(() => { QK.sounds.board = init(QK.app); }, () => {});
}
}(window.QK = window.QK || {}));
