// The night's state: the rotation of singers with their queued songs and the
// performances so far. Pure data and rules, no I/O, so node can test it alone.
// A show file holds exactly toDocument(): "queue" (the rotation, in order) and
// "performances" (who sang what, oldest first).
(function (QK) {
'use strict';

const SHOW_FORMAT = 1;

function newShow(name, startedAt) {
  return { name, startedAt, queue: [], performances: [], nextId: 1 };
}

function fromDocument(doc, fallbackName) {
  const show = newShow(typeof doc.name === 'string' ? doc.name : fallbackName,
    typeof doc.startedAt === 'string' ? doc.startedAt : '');
  if (typeof doc.endedAt === 'string') show.endedAt = doc.endedAt;
  const queue = Array.isArray(doc.queue) ? doc.queue : [];
  for (const s of queue) {
    if (!s || typeof s !== 'object' || typeof s.name !== 'string') continue;
    show.queue.push({
      id: typeof s.id === 'string' ? s.id : '',
      name: s.name,
      isNew: s.isNew === true,
      held: s.held === true,
      songs: (Array.isArray(s.songs) ? s.songs : []).filter((x) => x && typeof x.path === 'string')
        .map((x) => ({ path: x.path, title: String(x.title || ''), artist: String(x.artist || '') })),
    });
  }
  show.performances = (Array.isArray(doc.performances) ? doc.performances : []).filter((p) => p && typeof p === 'object');
  let top = 0;
  for (const s of show.queue) {
    const n = /^s(\d+)$/.exec(s.id);
    if (n) top = Math.max(top, Number(n[1]));
  }
  show.nextId = top + 1;
  for (const s of show.queue) if (!s.id) s.id = 's' + show.nextId++;
  return show;
}

function toDocument(show) {
  const doc = {
    format: SHOW_FORMAT,
    name: show.name,
    startedAt: show.startedAt,
    queue: show.queue.map((s) => ({ id: s.id, name: s.name, isNew: s.isNew, held: s.held, songs: s.songs.map((x) => ({ ...x })) })),
    performances: show.performances.map((p) => ({ ...p })),
  };
  if (show.endedAt) doc.endedAt = show.endedAt;
  return doc;
}

function findSinger(show, id) {
  return show.queue.find((s) => s.id === id) || null;
}

function cleanName(name) {
  return String(name).replace(/\s+/g, ' ').trim().slice(0, 60);
}

// Adds a singer at the end of the rotation; a name already in it is refused
// so that the KJ does not call the same person twice.
function addSinger(show, name, { isNew = true } = {}) {
  const clean = cleanName(name);
  if (!clean) throw new Error('A singer needs a name.');
  if (show.queue.some((s) => s.name.toLowerCase() === clean.toLowerCase())) {
    throw new Error(`${clean} is already in the rotation.`);
  }
  const singer = { id: 's' + show.nextId++, name: clean, isNew, held: false, songs: [] };
  show.queue.push(singer);
  return singer;
}

function renameSinger(show, id, name) {
  const singer = findSinger(show, id);
  const clean = cleanName(name);
  if (!singer || !clean) return false;
  if (show.queue.some((s) => s !== singer && s.name.toLowerCase() === clean.toLowerCase())) {
    throw new Error(`${clean} is already in the rotation.`);
  }
  singer.name = clean;
  return true;
}

function removeSinger(show, id) {
  const at = show.queue.findIndex((s) => s.id === id);
  if (at < 0) return null;
  return show.queue.splice(at, 1)[0];
}

// Moves a singer to position `to` (clamped), as drag and drop and the keyboard do.
function moveSinger(show, id, to) {
  const from = show.queue.findIndex((s) => s.id === id);
  if (from < 0) return false;
  const target = Math.max(0, Math.min(show.queue.length - 1, to));
  if (target === from) return false;
  const [singer] = show.queue.splice(from, 1);
  show.queue.splice(target, 0, singer);
  return true;
}

function addSong(show, id, song) {
  const singer = findSinger(show, id);
  if (!singer) return false;
  singer.songs.push({ path: song.path, title: song.title, artist: song.artist || '' });
  return true;
}

function removeSong(show, id, index) {
  const singer = findSinger(show, id);
  if (!singer || index < 0 || index >= singer.songs.length) return false;
  singer.songs.splice(index, 1);
  return true;
}

// Who sings next: the first singer in rotation order who is not held and has a song.
function nextUp(show) {
  return show.queue.find((s) => !s.held && s.songs.length > 0) || null;
}

// Records the performance and sends the singer to the end of the rotation;
// the song leaves their queue and they are no longer a first-timer tonight.
function perform(show, id, at) {
  const singer = findSinger(show, id);
  if (!singer || singer.songs.length === 0) return null;
  const song = singer.songs.shift();
  const performance = { singer: singer.name, title: song.title, artist: song.artist, path: song.path, at, isNew: singer.isNew };
  show.performances.push(performance);
  singer.isNew = false;
  show.queue.splice(show.queue.indexOf(singer), 1);
  show.queue.push(singer);
  return { singer, song, performance };
}

// The singers still waiting, in the order they will be called: held singers
// keep their place in the queue but are left out here.
function upcoming(show) {
  return show.queue.filter((s) => !s.held);
}

function minutesText(minutes) {
  if (minutes < 1) return 'next';
  if (minutes < 60) return `~${Math.round(minutes)} min`;
  const h = Math.floor(minutes / 60);
  const m = Math.round(minutes - h * 60);
  return m ? `~${h} h ${m} min` : `~${h} h`;
}

// Waiting time for each upcoming singer: what is left of the song on the deck
// plus one average song for every singer ahead of them.
function waitTexts(list, minutesPerSong, remainingMinutes) {
  return list.map((_, i) => minutesText(remainingMinutes + i * minutesPerSong));
}

QK.show = { SHOW_FORMAT, newShow, fromDocument, toDocument, findSinger, cleanName, addSinger, renameSinger, removeSinger, moveSinger, addSong, removeSong, nextUp, perform, upcoming, waitTexts };
}(window.QK = window.QK || {}));
