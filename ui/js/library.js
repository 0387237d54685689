// The KJ's music folders as lists of files, walked through "listdir": the song
// search index and the background-music playlist.
(function (QK) {
'use strict';

const { listDir } = QK.bridge;
const { joinPath, isMediaFile, songFromPath } = QK.paths;

const MAX_DEPTH = 8;
const MAX_FILES = 60000;

// Every media file under `folder`, breadth first; folders that cannot be
// listed are skipped (reported through onError once) so one bad folder does
// not hide the rest.
async function walkMedia(folder, { onError = () => {}, depth = MAX_DEPTH } = {}) {
  const files = [];
  let level = [folder];
  for (let d = 0; d <= depth && level.length && files.length < MAX_FILES; d++) {
    const nextLevel = [];
    for (const dir of level) {
      let entries;
      try {
        entries = await listDir(dir);
      } catch (err) {
        if (dir === folder) throw err;
        onError(err);
        continue;
      }
      entries.sort((a, b) => String(a.name).localeCompare(String(b.name)));
      for (const e of entries) {
        if (typeof e.name !== 'string') continue;
        const path = joinPath(dir, e.name);
        if (e.dir) nextLevel.push(path);
        else if (isMediaFile(e.name) && files.length < MAX_FILES) files.push(path);
      }
    }
    level = nextLevel;
  }
  return files;
}

// Songs the KJ adds to the folder during the night show up at the next
// search after this long.
const INDEX_MAX_AGE_MS = 10 * 60 * 1000;

class SongIndex {
  constructor() { this.folder = ''; this.songs = []; this.ready = null; this.builtAt = 0; }

  // Builds the index once per folder and reuses it for a while.
  load(folder, onError) {
    const fresh = performance.now() - this.builtAt < INDEX_MAX_AGE_MS;
    if (this.folder === folder && this.ready && fresh) return this.ready;
    this.folder = folder;
    this.builtAt = performance.now();
    this.ready = walkMedia(folder, { onError }).then((paths) => {
      this.songs = paths.map((p) => {
        const song = songFromPath(p);
        return { ...song, key: `${song.artist} ${song.title}`.toLowerCase() };
      });
      return this.songs;
    }, (err) => { this.ready = null; throw err; });
    return this.ready;
  }

  // Every word of the query must appear in "artist title".
  search(query, limit = 50) {
    const words = query.toLowerCase().split(/\s+/).filter(Boolean);
    if (!words.length) return [];
    const out = [];
    for (const s of this.songs) {
      if (words.every((w) => s.key.includes(w))) {
        out.push({ path: s.path, title: s.title, artist: s.artist });
        if (out.length >= limit) break;
      }
    }
    return out;
  }
}

function shuffle(list, random = Math.random) {
  const out = list.slice();
  for (let i = out.length - 1; i > 0; i--) {
    const j = Math.floor(random() * (i + 1));
    [out[i], out[j]] = [out[j], out[i]];
  }
  return out;
}

QK.library = { walkMedia, SongIndex, shuffle };
}(window.QK = window.QK || {}));
