// The manager page: start-up, the night's controls, and the wiring between the
// show (show.js), the decks (deck.js), the audience document (audience.js) and
// the screen. Every native service goes through bridge.js.
(function (QK) {
'use strict';

const { call, readText, listDir, BridgeError } = QK.bridge;
const { dataFolderFrom, joinPath, baseName, songFromPath } = QK.paths;
const Show = QK.show;
const Deck = QK.deck;
const { audienceDocument } = QK.audience;
const { Saver } = QK.saver;
const { SongIndex, walkMedia, shuffle } = QK.library;
const View = QK.view;

const POLL_MS = 500;

const DEFAULT_SETTINGS = {
  endShowOnQuit: true,
  currentShow: '',
  musicFolder: '',
  bgFolder: '',
  audienceScreen: 0,
  venue: '',
  message: '',
  firstEmoji: '⭐',
  minutesPerSong: 4,
  overlayVisible: true,
};

const state = {
  dataDir: '',
  settings: { ...DEFAULT_SETTINGS },
  show: Show.newShow('', ''),
  roster: [],
  audienceShown: false, // the audience window on its screen
  current: null,        // { singer, title, isNew } while a singer's song is on deck 1
  isPlaying: false,
  seenPlaying: false,
  progress: 0,
  remainingMinutes: 0,
  bg: { tracks: [], index: -1, playing: false, resumeAfter: false, seenPlaying: false, now: null },
  selectedId: null,
  displays: [],
  ready: false,
  picking: false,
};

const songIndex = new SongIndex();
let busy = Promise.resolve();

// ---- errors ---------------------------------------------------------------

function report(err) {
  const text = err instanceof Error ? err.message : String(err);
  View.showError(text);
  if (!(err instanceof BridgeError) && !(err && err.userFacing)) console.error(err);
}

function userError(text) {
  const err = new Error(text);
  err.userFacing = true;
  return err;
}

// Runs one KJ action at a time, so a double press of a pad never plays two
// singers or loads two tracks at once.
function act(fn) {
  busy = busy.then(fn).catch(report);
  return busy;
}

// ---- files ----------------------------------------------------------------

const showsDir = () => joinPath(state.dataDir, 'shows');
const dataFile = (name) => joinPath(state.dataDir, name);
const showPath = (file) => joinPath(showsDir(), file);
const nowIso = () => new Date().toISOString().replace(/\.\d{3}Z$/, 'Z');

function stamp() {
  return nowIso().replace(/[-:]/g, '').replace('T', '-').replace('Z', '');
}

// Reads a JSON document; a file that is not JSON is kept aside as a backup
// (the only kind of file the page may later delete) instead of being
// overwritten, and the page carries on with defaults.
async function loadJson(path) {
  const text = await readText(path);
  if (text === null) return null;
  try {
    return JSON.parse(text);
  } catch {
    const name = baseName(path);
    const keep = dataFile(`QuorvaleKaraoke-backup-${name.replace(/\.json$/i, '')}-${stamp()}.json`);
    await call('writefile', { path: keep, content: text }).catch(report);
    report(userError(`${name} could not be read (not valid JSON); a copy was kept as ${keep}.`));
    return null;
  }
}

const showSaver = new Saver({
  path: () => (state.show.file ? showPath(state.show.file) : ''),
  content: () => JSON.stringify(Show.toDocument(state.show), null, 1),
  onError: (err) => { View.setSaveState(false); report(err); },
  onSaved: () => View.setSaveState(true),
});
const settingsSaver = new Saver({
  path: () => (state.dataDir ? dataFile('settings.json') : ''),
  content: () => JSON.stringify(state.settings, null, 1),
  onError: report,
});
const currentAudience = () => audienceDocument({
  show: state.show, settings: state.settings, visible: state.settings.overlayVisible !== false, current: state.current,
  isPlaying: state.isPlaying, remainingMinutes: state.remainingMinutes, bgNow: state.bg.playing ? state.bg.now : null,
  look: QK.look.audienceKeys(),
});
const audienceSaver = new Saver({
  path: () => (state.dataDir ? dataFile('audience.json') : ''),
  content: () => JSON.stringify(currentAudience()),
  delayMs: 20,
  onError: report,
});
const rosterSaver = new Saver({
  path: () => (state.dataDir ? dataFile('singers.json') : ''),
  content: () => JSON.stringify({ names: state.roster }, null, 1),
  onError: report,
});

// Every change to the night goes through here: save the show, tell the
// audience, redraw.
function changed({ show = true } = {}) {
  if (show) showSaver.schedule();
  publish();
  render();
}

function publish() {
  if (state.ready) audienceSaver.schedule();
}

function saveSettings() {
  settingsSaver.schedule();
  publish();
  render();
}

// ---- shows ----------------------------------------------------------------

function localDate() {
  const d = new Date();
  const p = (n) => String(n).padStart(2, '0');
  return `${d.getFullYear()}-${p(d.getMonth() + 1)}-${p(d.getDate())}`;
}

// Show files are plain names inside "shows/": whatever a document names
// cannot lead the page to another folder.
function isShowFileName(name) {
  return typeof name === 'string' && /^[^/\\]+\.json$/i.test(name) && !name.startsWith('.');
}

// The stored settings over the defaults: a member of the wrong type keeps its
// default, members the page does not know are kept for whoever wrote them.
function mergeSettings(stored) {
  const merged = { ...DEFAULT_SETTINGS };
  if (!stored || typeof stored !== 'object' || Array.isArray(stored)) return merged;
  for (const [key, value] of Object.entries(stored)) {
    if (!(key in DEFAULT_SETTINGS) || typeof value === typeof DEFAULT_SETTINGS[key]) merged[key] = value;
  }
  if (!(merged.minutesPerSong >= 1 && merged.minutesPerSong <= 15)) merged.minutesPerSong = DEFAULT_SETTINGS.minutesPerSong;
  return merged;
}

async function existingShowFiles() {
  try {
    return (await listDir(showsDir())).filter((e) => !e.dir).map((e) => e.name);
  } catch {
    return []; // no shows folder yet
  }
}

async function startNewShow() {
  const taken = new Set(await existingShowFiles());
  const base = localDate();
  let name = base;
  for (let n = 2; taken.has(`${name}.json`); n++) name = `${base}-${n}`;
  state.show = Show.newShow(name, nowIso());
  state.show.file = `${name}.json`;
  state.settings.currentShow = state.show.file;
  state.selectedId = null;
  await showSaver.flush();
  await settingsSaver.flush();
}

async function loadShowFile(file) {
  const doc = await loadJson(showPath(file));
  if (!doc || typeof doc !== 'object' || Array.isArray(doc)) return null;
  const show = Show.fromDocument(doc, file.replace(/\.json$/i, ''));
  show.file = file;
  return show;
}

// Ends the running show (its file keeps the rotation and the performances,
// marked with "endedAt") and opens a fresh one, which becomes the newest show
// file, so that nothing counts as pending when VirtualDJ quits next.
async function endShow(show = state.show) {
  show.endedAt = nowIso();
  if (show === state.show) {
    await showSaver.flush();
  } else {
    await call('writefile', { path: showPath(show.file), content: JSON.stringify(Show.toDocument(show), null, 1) });
  }
  if (show === state.show || !state.show.file) await startNewShow();
}

// The plug-in leaves "pending-end-show.json" when VirtualDJ quits during a
// show: offer to end that show or to carry on with it, then remove the marker.
async function offerPendingShow() {
  const path = dataFile('pending-end-show.json');
  const text = await readText(path);
  if (text === null) return;
  let marker = null;
  try { marker = JSON.parse(text); } catch { marker = null; }
  const file = marker && isShowFileName(marker.show) ? marker.show : '';
  const show = !file ? null : file === state.show.file ? state.show : await loadShowFile(file);
  if (show && !show.endedAt) {
    const when = typeof marker.at === 'string' ? ` (VirtualDJ closed at ${marker.at})` : '';
    const text = `The show “${show.name}” was still running${when}: ${show.queue.length} singer(s) in the rotation, `
      + `${show.performances.length} performance(s). End it, or carry on with it tonight?`;
    const answer = await View.ask(text, 'Carry on', 'End that show');
    if (answer === 'yes') {
      state.show = show;
      state.settings.currentShow = file;
      await settingsSaver.flush();
    } else {
      await endShow(show);
    }
  }
  // A marker that cannot be deleted is reported; the night goes on regardless.
  await call('deletefile', { path }).catch(report);
}

// ---- start-up -------------------------------------------------------------

async function start() {
  const host = await call('getstring', { script: 'get_vdj_folder' });
  if (!host.result) throw userError('VirtualDJ did not tell its folder; nothing can be loaded or saved.');
  state.dataDir = dataFolderFrom(host.result);
  await call('set_data_dir', { path: state.dataDir });
  await call('set_write_roots', { roots: [state.dataDir] });

  state.settings = mergeSettings(await loadJson(dataFile('settings.json')));

  const roster = await loadJson(dataFile('singers.json'));
  if (roster && Array.isArray(roster.names)) state.roster = roster.names.filter((n) => typeof n === 'string');

  const current = isShowFileName(state.settings.currentShow) ? await loadShowFile(state.settings.currentShow) : null;
  if (current && !current.endedAt) state.show = current;

  await offerPendingShow();
  if (!state.show.file) await startNewShow();
  await QK.look.load();

  state.ready = true;
  View.setDataFolder(state.dataDir);
  publish();
  render();
  refreshDisplays().catch(report);
  poll();
}

// ---- singers --------------------------------------------------------------

function selected() {
  return state.selectedId ? Show.findSinger(state.show, state.selectedId) : null;
}

function addSinger(name, isNew) {
  const singer = Show.addSinger(state.show, name, { isNew });
  state.selectedId = singer.id;
  if (!state.roster.some((n) => n.toLowerCase() === singer.name.toLowerCase())) {
    state.roster.push(singer.name);
    rosterSaver.schedule();
  }
  changed();
  return singer;
}

function updateSinger(id, fn) {
  const singer = Show.findSinger(state.show, id);
  if (!singer) return;
  fn(singer);
  changed();
}

function moveSinger(id, to) {
  if (Show.moveSinger(state.show, id, to)) changed();
}

function removeSinger(id) {
  const singer = Show.findSinger(state.show, id);
  if (!singer) return;
  const at = state.show.queue.indexOf(singer);
  Show.removeSinger(state.show, id);
  const next = state.show.queue[Math.min(at, state.show.queue.length - 1)];
  state.selectedId = next ? next.id : null;
  changed();
}

function addSongToSelected(song) {
  const singer = selected();
  if (!singer) throw userError('Select a singer first.');
  Show.addSong(state.show, singer.id, song);
  changed();
}

// The host's pickers are modal and wait for the KJ, so they get no short
// time-out, and the decks are not polled meanwhile (those requests would only
// pile up behind the dialog). "hr" 1 means nothing was chosen.
const PICKER_TIMEOUT_MS = 30 * 60 * 1000;

async function pick(action, start) {
  state.picking = true;
  try {
    const answer = await call(action, { start }, { okCodes: [0, 1], timeout: PICKER_TIMEOUT_MS });
    return answer.hr === 0 ? answer.result : '';
  } finally {
    state.picking = false;
  }
}

async function pickSong() {
  if (!selected()) throw userError('Select a singer first.');
  const path = await pick('pick_file', state.settings.musicFolder);
  if (!path) return;
  addSongToSelected(songFromPath(path));
}

async function searchSongs(query) {
  if (!query.trim()) { View.showResults([], ''); return; }
  if (!state.settings.musicFolder) throw userError('Choose a music folder in Settings to search it.');
  await songIndex.load(state.settings.musicFolder, report);
  View.showResults(songIndex.search(query), query);
}

// ---- the karaoke deck -----------------------------------------------------

// While a song plays, a press of Next only arms it: a second press within a
// few seconds stops the singer and calls the next one, so a stray tap on the
// pad in a loud room never cuts a singer off.
const CONFIRM_MS = 5000;
let armedAt = -Infinity;

async function playNext() {
  const singer = Show.nextUp(state.show);
  if (state.isPlaying && singer && performance.now() - armedAt > CONFIRM_MS) {
    armedAt = performance.now();
    View.showNotice(`${state.current ? state.current.singer : 'A singer'} is still singing: press Next again to call ${singer.name}.`);
    return;
  }
  armedAt = -Infinity;
  if (!singer) {
    throw userError(state.show.queue.length
      ? 'Nobody can be called: every singer is on hold or has no song queued.'
      : 'The rotation is empty: add a singer first.');
  }
  const script = Deck.loadAndPlayScript(Deck.KARAOKE_DECK, singer.songs[0].path);
  const pausedBg = state.bg.playing;
  if (pausedBg) await pauseBackground({ resumeAfter: true });
  try {
    await Deck.send(script);
  } catch (err) {
    if (pausedBg) await resumeBackground().catch(report);
    throw err;
  }
  const done = Show.perform(state.show, singer.id, nowIso());
  state.current = { singer: done.singer.name, title: done.song.title, isNew: done.performance.isNew };
  state.isPlaying = true;
  state.seenPlaying = false;
  state.progress = 0;
  state.remainingMinutes = Number(state.settings.minutesPerSong) || 4;
  changed();
}

function songEnded() {
  state.isPlaying = false;
  state.current = null;
  state.progress = 0;
  state.remainingMinutes = 0;
  changed({ show: false });
  if (state.bg.resumeAfter) return resumeBackground();
  return undefined;
}

async function endSong() {
  if (!state.isPlaying) return;
  await Deck.send(`deck ${Deck.KARAOKE_DECK} stop`);
  await songEnded();
}

// ---- background music -----------------------------------------------------

async function loadPlaylist() {
  if (!state.settings.bgFolder) throw userError('Choose a background music folder in Settings first.');
  const tracks = await walkMedia(state.settings.bgFolder, { onError: report });
  if (!tracks.length) throw userError(`No music files in ${state.settings.bgFolder}.`);
  state.bg.tracks = shuffle(tracks);
  state.bg.index = -1;
}

// Loads the next track of the shuffled playlist; plays it unless a singer is on.
async function nextBackground({ play = true } = {}) {
  if (!state.bg.tracks.length) await loadPlaylist();
  state.bg.index += 1;
  if (state.bg.index >= state.bg.tracks.length) {
    // A new round in a new order, never starting with the track just heard.
    const last = state.bg.tracks[state.bg.tracks.length - 1];
    state.bg.tracks = shuffle(state.bg.tracks);
    if (state.bg.tracks.length > 1 && state.bg.tracks[0] === last) state.bg.tracks.push(state.bg.tracks.shift());
    state.bg.index = 0;
  }
  const path = state.bg.tracks[state.bg.index];
  const deck = Deck.BACKGROUND_DECK;
  await Deck.send(play ? Deck.loadAndPlayScript(deck, path) : `deck ${deck} load ${Deck.quotePath(path)}`);
  state.bg.seenPlaying = false;
  state.bg.now = await trackInfo(path);
  if (play) state.bg.playing = true;
  changed({ show: false });
}

async function trackInfo(path) {
  const fallback = songFromPath(path);
  try {
    const title = await Deck.text(Deck.BACKGROUND_DECK, 'get_title');
    const artist = await Deck.text(Deck.BACKGROUND_DECK, 'get_artist');
    return title ? { title, artist } : { title: fallback.title, artist: fallback.artist };
  } catch {
    return { title: fallback.title, artist: fallback.artist };
  }
}

async function pauseBackground({ resumeAfter = false } = {}) {
  await Deck.send(`deck ${Deck.BACKGROUND_DECK} pause`);
  state.bg.playing = false;
  state.bg.resumeAfter = resumeAfter;
  changed({ show: false });
}

async function resumeBackground() {
  state.bg.resumeAfter = false;
  if (state.bg.index < 0) return nextBackground();
  await Deck.send(`deck ${Deck.BACKGROUND_DECK} play`);
  state.bg.playing = true;
  changed({ show: false });
  return undefined;
}

function toggleBackground() {
  return state.bg.playing ? pauseBackground() : resumeBackground();
}

function skipBackground() {
  return nextBackground({ play: !state.isPlaying || state.bg.playing });
}

// ---- audience screen ------------------------------------------------------

async function toggleAudience() {
  if (state.audienceShown) {
    await call('audience_hide');
    state.audienceShown = false;
  } else {
    await call('audience_show', { screen: Number(state.settings.audienceScreen) || 0 });
    state.audienceShown = true;
  }
  render();
}

// The overlay draws into the host's video output only while "visible" is on.
function toggleOverlay() {
  state.settings.overlayVisible = state.settings.overlayVisible === false;
  saveSettings();
}

async function refreshDisplays() {
  const answer = await call('displays');
  const list = JSON.parse(answer.result);
  state.displays = Array.isArray(list) ? list : [];
  render();
}

// ---- following the decks --------------------------------------------------

let pollFailure = '';

async function pollOnce() {
  if (state.picking) return;
  if (state.isPlaying) {
    const st = await Deck.status(Deck.KARAOKE_DECK);
    if (st.playing) state.seenPlaying = true;
    state.progress = st.position;
    if (st.length > 0) {
      const left = Math.max(0, Math.ceil((st.length * (1 - st.position)) / 60));
      if (left !== state.remainingMinutes) { state.remainingMinutes = left; publish(); }
    }
    View.setProgress(st.position);
    if (Deck.hasEnded(st, state.seenPlaying)) act(() => (state.isPlaying ? songEnded() : undefined));
  }
  if (state.bg.playing) {
    const st = await Deck.status(Deck.BACKGROUND_DECK);
    if (st.playing) state.bg.seenPlaying = true;
    if (Deck.hasEnded(st, state.bg.seenPlaying)) act(() => (state.bg.playing ? nextBackground() : undefined));
  }
}

// Follows the decks for as long as the page lives; a failing look is shown
// once (not every half second) and the loop carries on.
async function poll() {
  try {
    await pollOnce();
    pollFailure = '';
  } catch (err) {
    const text = err instanceof Error ? err.message : String(err);
    if (text !== pollFailure) report(err);
    pollFailure = text;
  }
  setTimeout(poll, POLL_MS);
}

// ---- pads and keys --------------------------------------------------------

const PAD_ACTIONS = {
  playnext: playNext,
  bgtoggle: toggleBackground,
  bgskip: skipBackground,
  audtoggle: toggleAudience,
};

window.qkPadCommand = (word) => {
  const fn = PAD_ACTIONS[word];
  if (fn && state.ready) act(fn);
};

// ---- drawing --------------------------------------------------------------

function render() {
  View.render(state);
}

View.bind({
  playNext: () => act(playNext),
  endSong: () => act(endSong),
  toggleBackground: () => act(toggleBackground),
  skipBackground: () => act(skipBackground),
  toggleAudience: () => act(toggleAudience),
  toggleOverlay,
  addSinger: (name, isNew) => { try { addSinger(name, isNew); return true; } catch (err) { report(err); return false; } },
  select: (id) => { state.selectedId = id; render(); },
  move: moveSinger,
  rename: (id, name) => { try { if (Show.renameSinger(state.show, id, name)) changed(); } catch (err) { report(err); } },
  remove: (id) => act(async () => {
    const singer = Show.findSinger(state.show, id);
    if (singer && await View.ask(`Remove ${singer.name} from the rotation?`, 'Remove', 'Keep') === 'yes') removeSinger(id);
  }),
  setHeld: (id, held) => updateSinger(id, (s) => { s.held = held; }),
  setNew: (id, isNew) => updateSinger(id, (s) => { s.isNew = isNew; }),
  removeSong: (id, index) => { if (Show.removeSong(state.show, id, index)) changed(); },
  pickSong: () => act(pickSong),
  search: (query) => searchSongs(query).catch(report),
  addSong: (song) => { try { addSongToSelected(song); } catch (err) { report(err); } },
  setting: (key, value) => { state.settings[key] = value; if (key === 'musicFolder') songIndex.ready = null; if (key === 'bgFolder') { state.bg.tracks = []; state.bg.index = -1; } saveSettings(); },
  chooseFolder: (key) => act(async () => {
    const path = await pick('pick_folder', state.settings[key]);
    if (path) View.handlers.setting(key, path);
  }),
  refreshDisplays: () => refreshDisplays().catch(report),
  endShow: () => act(async () => {
    const q = `End the show “${state.show.name}” (${state.show.performances.length} performance(s)) and start a new one with an empty rotation?`;
    if (await View.ask(q, 'End show', 'Cancel') === 'yes') { await endShow(); changed(); }
  }),
});

// The Look tab: the audience display's look and pictures (look.js).
QK.look.init({
  ready: () => state.ready,
  dataFile,
  loadJson,
  pick,
  settings: () => state.settings,
  setting: (key, value) => View.handlers.setting(key, value),
  publish,
  audience: currentAudience,
  act,
  report,
});
// ---- the other tabs --------------------------------------------------------
// The sound board, the requests and the backups reach the night through this
// small surface; they start once `started` has settled (the data folder is known).

async function flushAll() {
  await Promise.all([showSaver.flush(), settingsSaver.flush(), rosterSaver.flush()]);
}

// Takes the settings, the singers and the current show again from the files,
// as start-up does (after a backup was restored over them).
async function reloadDocuments() {
  state.settings = mergeSettings(await loadJson(dataFile('settings.json')));
  const roster = await loadJson(dataFile('singers.json'));
  state.roster = roster && Array.isArray(roster.names) ? roster.names.filter((n) => typeof n === 'string') : [];
  const current = isShowFileName(state.settings.currentShow) ? await loadShowFile(state.settings.currentShow) : null;
  state.show = current && !current.endedAt ? current : Show.newShow('', '');
  state.selectedId = null;
  songIndex.ready = null;
  Object.assign(state.bg, { tracks: [], index: -1 });
  if (!state.show.file) await startNewShow();
  changed();
}

render();
const started = start();
started.catch((err) => { report(err); render(); });
QK.app = {
  state, started, act, report, userError, dataFile, showsDir, showPath, nowIso, loadJson,
  changed, saveSettings, addSinger, songIndex, flushAll, reloadDocuments,
};
}(window.QK = window.QK || {}));
