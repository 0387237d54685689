// The screen: draws the state and turns clicks, drags and keys into calls of the
// handlers app.js binds. Every user text goes in through textContent.
(function (QK) {
'use strict';

const { upcoming, waitTexts, findSinger } = QK.show;

const $ = (id) => document.getElementById(id);

const handlers = {};

function el(tag, cls, text) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (text !== undefined) node.textContent = text;
  return node;
}

// ---- errors and questions -------------------------------------------------

function showError(text, kind = 'error') {
  const box = $('errors');
  for (const old of box.children) {
    if (old.dataset.text === text) { old.remove(); break; }
  }
  const item = el('div', kind);
  item.dataset.text = text;
  item.append(el('span', 'text', text));
  const close = el('button', '', 'Dismiss');
  close.addEventListener('click', () => item.remove());
  item.append(close);
  box.prepend(item);
  while (box.children.length > 5) box.lastElementChild.remove();
}

// A passing hint, not a failure: it goes away by itself.
function showNotice(text) {
  showError(text, 'notice');
  const item = $('errors').firstElementChild;
  setTimeout(() => item.remove(), 6000);
}

function setSaveState(ok) {
  const node = $('save-state');
  node.textContent = ok ? 'saved' : 'NOT SAVED – kept in memory';
  node.classList.toggle('bad', !ok);
}

function setDataFolder(path) {
  $('data-folder').textContent = path;
}

function setProgress(fraction) {
  $('now-progress').style.width = `${Math.max(0, Math.min(1, fraction)) * 100}%`;
}

// A modal question; resolves "yes" or "no" (Escape counts as "no").
function ask(text, yes, no) {
  const dialog = $('ask-dialog');
  $('ask-text').textContent = text;
  $('ask-yes').textContent = yes;
  $('ask-no').textContent = no;
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => resolve(dialog.returnValue === 'yes' ? 'yes' : 'no'), { once: true });
    dialog.returnValue = '';
    dialog.showModal();
    $('ask-yes').focus();
  });
}

// ---- drawing ----------------------------------------------------------------

let lastState = null;

function render(state) {
  lastState = state;
  $('show-name').textContent = state.show.name ? `Show ${state.show.name}` : 'No show';
  $('now-text').textContent = state.isPlaying && state.current
    ? `${state.current.singer} – ${state.current.title}` : 'Nobody is singing';
  if (!state.isPlaying) setProgress(0);
  const bg = state.bg;
  $('bg-text').textContent = bg.now ? `${bg.playing ? '' : '(paused) '}${bg.now.artist ? `${bg.now.artist} – ` : ''}${bg.now.title}` : 'off';
  $('bg-toggle').classList.toggle('on', bg.playing);
  $('audience-text').textContent = state.audienceShown ? 'shown' : 'hidden';
  $('audience-toggle').classList.toggle('on', state.audienceShown);
  const overlay = state.settings.overlayVisible !== false;
  $('overlay-text').textContent = overlay ? 'on' : 'off';
  $('overlay-toggle').classList.toggle('on', overlay);
  renderRotation(state);
  renderSinger(state);
  renderSettings(state);
  const known = $('known-singers');
  known.replaceChildren(...state.roster.map((n) => { const o = el('option'); o.value = n; return o; }));
}

function renderRotation(state) {
  const list = $('rotation');
  const hadFocus = list.contains(document.activeElement);
  const active = upcoming(state.show);
  const waits = waitTexts(active, Number(state.settings.minutesPerSong) || 4, state.isPlaying ? state.remainingMinutes : 0);
  const waitOf = new Map(active.map((s, i) => [s.id, waits[i]]));
  const items = state.show.queue.map((s, i) => {
    const li = el('li');
    li.dataset.id = s.id;
    li.tabIndex = s.id === state.selectedId ? 0 : -1;
    li.draggable = true;
    li.classList.toggle('selected', s.id === state.selectedId);
    li.classList.toggle('held', s.held);
    li.append(el('span', 'pos', String(i + 1)), el('span', 'name', s.name));
    if (s.isNew) li.append(el('span', 'badge new', 'first-timer'));
    if (s.held) li.append(el('span', 'badge held', 'on hold'));
    const song = s.songs[0];
    li.append(song ? el('span', 'song', `${song.title}${song.artist ? ` – ${song.artist}` : ''}${s.songs.length > 1 ? ` (+${s.songs.length - 1})` : ''}`)
      : el('span', 'song needs', 'needs a song'));
    if (!s.held) li.append(el('span', 'wait', waitOf.get(s.id) || ''));
    return li;
  });
  if (!items.length) items.push(el('li', 'empty', 'No singers yet. Type a name above and press Enter.'));
  list.replaceChildren(...items);
  if (!state.selectedId && state.show.queue.length) list.firstElementChild.tabIndex = 0;
  if (hadFocus) {
    const target = list.querySelector('li[tabindex="0"]');
    if (target) target.focus();
  }
}

function renderSinger(state) {
  const singer = state.selectedId ? findSinger(state.show, state.selectedId) : null;
  $('singer-panel').hidden = !singer;
  $('singer-empty').hidden = !!singer;
  if (!singer) return;
  const nameInput = $('singer-name');
  if (nameInput.dataset.id !== singer.id || document.activeElement !== nameInput) {
    nameInput.value = singer.name;
    nameInput.dataset.id = singer.id;
  }
  $('singer-new').checked = singer.isNew;
  $('singer-held').checked = singer.held;
  const songs = singer.songs.map((song, i) => {
    const li = el('li');
    li.append(el('span', 't', `${song.title}${song.artist ? ` – ${song.artist}` : ''}`));
    const remove = el('button', 'danger', 'Remove');
    remove.setAttribute('aria-label', `Remove ${song.title}`);
    remove.addEventListener('click', () => handlers.removeSong(singer.id, i));
    li.append(remove);
    return li;
  });
  if (!songs.length) songs.push(el('li', 'needs', 'No song yet: pick a file or search.'));
  $('singer-songs').replaceChildren(...songs);
}

function renderSettings(state) {
  const s = state.settings;
  const put = (id, value) => { const node = $(id); if (document.activeElement !== node) node.value = value; };
  put('set-venue', s.venue);
  put('set-message', s.message);
  put('set-first-emoji', s.firstEmoji);
  put('set-minutes', String(s.minutesPerSong));
  put('set-music-folder', s.musicFolder);
  put('set-bg-folder', s.bgFolder);
  $('set-end-on-quit').checked = s.endShowOnQuit !== false;
  const select = $('set-screen');
  const options = state.displays.map((d) => {
    const o = el('option', '', `${d.name} – ${d.width}×${d.height}${d.main ? ' (main)' : ''}`);
    o.value = String(d.index);
    return o;
  });
  if (!options.length) { const o = el('option', '', 'Screen 1'); o.value = '0'; options.push(o); }
  select.replaceChildren(...options);
  select.value = String(s.audienceScreen);
}

function showResults(songs, query) {
  const items = songs.map((song) => {
    const li = el('li');
    const b = el('button', '', `${song.artist ? `${song.artist} – ` : ''}${song.title}`);
    b.addEventListener('click', () => handlers.addSong(song));
    li.append(b);
    return li;
  });
  if (!items.length && query) items.push(el('li', 'hint', `Nothing found for “${query}”.`));
  $('search-results').replaceChildren(...items);
}

// ---- input ------------------------------------------------------------------

function selectedIndex() {
  if (!lastState || !lastState.selectedId) return -1;
  return lastState.show.queue.findIndex((s) => s.id === lastState.selectedId);
}

function selectAt(index, focus = true) {
  const queue = lastState.show.queue;
  if (!queue.length) return;
  const s = queue[Math.max(0, Math.min(queue.length - 1, index))];
  handlers.select(s.id);
  if (focus) { const li = $('rotation').querySelector(`li[data-id="${s.id}"]`); if (li) li.focus(); }
}

// Every tab button "tab-<name>" shows the section "view-<name>" and hides the others.
function showView(name) {
  for (const view of document.querySelectorAll('main > .view')) view.hidden = view.id !== `view-${name}`;
  for (const tab of document.querySelectorAll('.tabs .tab')) tab.setAttribute('aria-selected', String(tab.id === `tab-${name}`));
}

function typing(target) {
  return target instanceof HTMLElement && (target.matches('input, select, textarea') || target.isContentEditable);
}

function bindRotationList() {
  const list = $('rotation');
  list.addEventListener('click', (e) => {
    const li = e.target.closest('li[data-id]');
    if (li) { handlers.select(li.dataset.id); li.focus(); }
  });
  list.addEventListener('keydown', (e) => {
    const li = e.target.closest('li[data-id]');
    if (!li) return;
    const at = selectedIndex();
    const id = li.dataset.id;
    const move = e.altKey || e.ctrlKey;
    if (e.key === 'ArrowUp' || e.key === 'ArrowDown') {
      const to = at + (e.key === 'ArrowUp' ? -1 : 1);
      if (move) { handlers.move(id, to); } else selectAt(to);
    } else if (e.key === 'Home' || e.key === 'End') {
      const to = e.key === 'Home' ? 0 : lastState.show.queue.length - 1;
      if (move) handlers.move(id, to); else selectAt(to);
    } else if (e.key === 'h' || e.key === 'H') {
      const s = findSinger(lastState.show, id);
      if (s) handlers.setHeld(id, !s.held);
    } else if (e.key === 'Delete' || e.key === 'Backspace') {
      handlers.remove(id);
    } else if (e.key === 'F2' || e.key === 'Enter') {
      $('singer-name').focus();
      $('singer-name').select();
    } else {
      return;
    }
    e.preventDefault();
    e.stopPropagation();
  });

  // Drag and drop: the drop lands before or after the row under the pointer.
  let dragged = null;
  const clearMarks = () => list.querySelectorAll('.drop-before, .drop-after').forEach((n) => n.classList.remove('drop-before', 'drop-after'));
  list.addEventListener('dragstart', (e) => {
    const li = e.target.closest('li[data-id]');
    if (!li) return;
    dragged = li.dataset.id;
    e.dataTransfer.effectAllowed = 'move';
    e.dataTransfer.setData('text/plain', dragged);
  });
  list.addEventListener('dragover', (e) => {
    const li = e.target.closest('li[data-id]');
    if (!dragged || !li) return;
    e.preventDefault();
    clearMarks();
    const r = li.getBoundingClientRect();
    li.classList.add(e.clientY < r.top + r.height / 2 ? 'drop-before' : 'drop-after');
  });
  list.addEventListener('dragleave', (e) => { if (!list.contains(e.relatedTarget)) clearMarks(); });
  list.addEventListener('drop', (e) => {
    const li = e.target.closest('li[data-id]');
    clearMarks();
    if (!dragged || !li) return;
    e.preventDefault();
    const queue = lastState.show.queue;
    const from = queue.findIndex((s) => s.id === dragged);
    let to = queue.findIndex((s) => s.id === li.dataset.id);
    const r = li.getBoundingClientRect();
    if (e.clientY >= r.top + r.height / 2) to += 1;
    if (from < to) to -= 1;
    handlers.move(dragged, to);
    handlers.select(dragged);
    dragged = null;
  });
  list.addEventListener('dragend', () => { dragged = null; clearMarks(); });
}

function bindSingerPanel() {
  const id = () => lastState && lastState.selectedId;
  $('rename-singer').addEventListener('click', () => handlers.rename(id(), $('singer-name').value));
  $('singer-name').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') { handlers.rename(id(), $('singer-name').value); selectAt(selectedIndex()); e.preventDefault(); }
    if (e.key === 'Escape') { selectAt(selectedIndex()); e.preventDefault(); }
  });
  $('remove-singer').addEventListener('click', () => handlers.remove(id()));
  $('singer-new').addEventListener('change', (e) => handlers.setNew(id(), e.target.checked));
  $('singer-held').addEventListener('change', (e) => handlers.setHeld(id(), e.target.checked));
  $('pick-song').addEventListener('click', () => handlers.pickSong());
  let timer = null;
  $('song-search').addEventListener('input', (e) => {
    clearTimeout(timer);
    timer = setTimeout(() => handlers.search(e.target.value), 150);
  });
  $('song-search').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') { clearTimeout(timer); handlers.search(e.target.value); e.preventDefault(); }
    if (e.key === 'Escape') { e.target.value = ''; showResults([], ''); selectAt(selectedIndex()); }
  });
}

function bindSettings() {
  const text = (id, key) => $(id).addEventListener('change', (e) => handlers.setting(key, e.target.value.trim()));
  text('set-venue', 'venue');
  text('set-message', 'message');
  text('set-first-emoji', 'firstEmoji');
  $('set-minutes').addEventListener('change', (e) => {
    const v = Number(e.target.value);
    if (Number.isFinite(v) && v >= 1 && v <= 15) handlers.setting('minutesPerSong', v);
  });
  $('set-end-on-quit').addEventListener('change', (e) => handlers.setting('endShowOnQuit', e.target.checked));
  $('set-screen').addEventListener('change', (e) => handlers.setting('audienceScreen', Number(e.target.value)));
  $('choose-music-folder').addEventListener('click', () => handlers.chooseFolder('musicFolder'));
  $('choose-bg-folder').addEventListener('click', () => handlers.chooseFolder('bgFolder'));
  $('refresh-displays').addEventListener('click', () => handlers.refreshDisplays());
  $('end-show').addEventListener('click', () => handlers.endShow());
  $('settings-form').addEventListener('submit', (e) => e.preventDefault());
}

// Keys for one hand, active whenever the KJ is not typing.
const GLOBAL_KEYS = {
  n: () => handlers.playNext(),
  e: () => handlers.endSong(),
  b: () => handlers.toggleBackground(),
  s: () => handlers.skipBackground(),
  a: () => handlers.toggleAudience(),
  v: () => handlers.toggleOverlay(),
  i: () => { showView('rotation'); $('new-singer').focus(); },
  // The last search is selected, so typing starts a new one.
  '/': () => { showView('rotation'); $('song-search').focus(); $('song-search').select(); },
  r: () => { showView('rotation'); selectAt(Math.max(0, selectedIndex())); },
  o: () => showView('settings'),
  // The look, with the logo's picker button in focus: Enter chooses a logo.
  l: () => { showView('look'); const choose = document.querySelector('#look-logo .look-choose'); if (choose) choose.focus(); },
};

function bind(fns) {
  Object.assign(handlers, fns);
  $('play-next').addEventListener('click', () => handlers.playNext());
  $('end-song').addEventListener('click', () => handlers.endSong());
  $('bg-toggle').addEventListener('click', () => handlers.toggleBackground());
  $('bg-skip').addEventListener('click', () => handlers.skipBackground());
  $('audience-toggle').addEventListener('click', () => handlers.toggleAudience());
  $('overlay-toggle').addEventListener('click', () => handlers.toggleOverlay());
  for (const tab of document.querySelectorAll('.tabs .tab')) tab.addEventListener('click', () => showView(tab.id.slice(4)));
  // A name the page has seen before is no first-timer; a new name is.
  $('new-singer').addEventListener('input', (e) => {
    const name = e.target.value.trim().toLowerCase();
    const known = lastState && lastState.roster.some((n) => n.toLowerCase() === name);
    $('new-singer-first').checked = !known;
  });
  // Escape leaves the name field for the rotation, so the one-key commands work again.
  $('new-singer').addEventListener('keydown', (e) => {
    if (e.key !== 'Escape') return;
    e.target.value = '';
    e.preventDefault();
    if (lastState && lastState.show.queue.length) selectAt(Math.max(0, selectedIndex()));
    else e.target.blur();
  });
  $('add-singer-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const input = $('new-singer');
    if (handlers.addSinger(input.value, $('new-singer-first').checked)) input.value = '';
  });
  bindRotationList();
  bindSingerPanel();
  bindSettings();
  document.addEventListener('keydown', (e) => {
    if (e.defaultPrevented || e.ctrlKey || e.altKey || e.metaKey || typing(e.target)) return;
    if ($('ask-dialog').open) return;
    const fn = GLOBAL_KEYS[e.key.toLowerCase()];
    if (fn) { e.preventDefault(); fn(); }
  });
}

QK.view = { handlers, showView, typing, showError, showNotice, setSaveState, setDataFolder, setProgress, ask, render, showResults, bind };
}(window.QK = window.QK || {}));
