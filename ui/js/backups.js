// The backups tab: everything the page keeps (settings with the sound pads,
// the singers' names, every show) in one file in the data folder, named
// "QuorvaleKaraoke-backup-<date>.json", which is also the only kind of file
// the plug-in lets the page delete. The last ten are kept.
(function (QK) {
'use strict';

const { call, readText, listDir } = QK.bridge;

const KEEP = 10;
const KIND = 'QuorvaleKaraoke backup';
const PREFIX = 'QuorvaleKaraoke-backup-';
// Only the page's own exports: the copies of unreadable files kept at start-up
// share the prefix but not this form, and are never pruned from here.
const NAME = /^QuorvaleKaraoke-backup-(\d{4}-\d{2}-\d{2}-\d{6})(?:-(\d+))?\.json$/;
const SHOW_FILE = /^[^/\\.][^/\\]*\.json$/i;

// Oldest first: by the time in the name, then by the number of a second
// backup within the same second.
function sortBackups(names) {
  const key = (name) => { const m = NAME.exec(name); return [m[1], m[2] ? Number(m[2]) : 1]; };
  return names.filter((n) => NAME.test(n)).sort((a, b) => {
    const [ta, na] = key(a);
    const [tb, nb] = key(b);
    return ta < tb ? -1 : ta > tb ? 1 : na - nb;
  });
}

// "2026-12-10T20:00:00Z" → "2026-12-10-200000"
function stampOf(iso) {
  return iso.slice(0, 10) + '-' + iso.slice(11, 19).replace(/:/g, '');
}

function parseBackup(text) {
  let doc;
  try { doc = JSON.parse(text); } catch { return null; }
  if (!doc || doc.kind !== KIND || doc.format !== 1) return null;
  if (!doc.settings || typeof doc.settings !== 'object' || Array.isArray(doc.settings)) return null;
  if (!doc.shows || typeof doc.shows !== 'object' || Array.isArray(doc.shows)) return null;
  return doc;
}

function init(app) {
  const { state, act, report, userError, dataFile, showsDir, showPath, nowIso, flushAll, reloadDocuments } = app;
  const $ = (id) => document.getElementById(id);
  const dataDir = () => state.dataDir;

  async function readJsonOr(path, fallback) {
    const text = await readText(path);
    if (text === null) return fallback;
    try { return JSON.parse(text); } catch { return fallback; }
  }

  async function backupNames() {
    try {
      return sortBackups((await listDir(dataDir())).filter((e) => !e.dir).map((e) => e.name));
    } catch (err) {
      report(err);
      return [];
    }
  }

  async function exportAll() {
    await flushAll();
    const shows = {};
    let files = [];
    try { files = (await listDir(showsDir())).filter((e) => !e.dir && SHOW_FILE.test(e.name)).map((e) => e.name).sort(); } catch { files = []; }
    for (const file of files) {
      const doc = await readJsonOr(showPath(file), null);
      if (doc && typeof doc === 'object') shows[file] = doc;
    }
    const createdAt = nowIso();
    const doc = {
      format: 1,
      kind: KIND,
      createdAt,
      settings: await readJsonOr(dataFile('settings.json'), state.settings),
      singers: await readJsonOr(dataFile('singers.json'), { names: state.roster }),
      shows,
    };
    const taken = new Set(await backupNames());
    const base = PREFIX + stampOf(createdAt);
    let name = `${base}.json`;
    for (let n = 2; taken.has(name); n++) name = `${base}-${n}.json`;
    await call('writefile', { path: dataFile(name), content: JSON.stringify(doc, null, 1) });
    await prune();
    await draw();
    return name;
  }

  async function prune() {
    const names = await backupNames();
    for (const name of names.slice(0, Math.max(0, names.length - KEEP))) {
      await call('deletefile', { path: dataFile(name) }).catch(report);
    }
  }

  // Writes the backup's documents over the current ones and takes them up as
  // start-up would. Shows that are not in the backup stay as they are.
  async function restore(name) {
    const text = await readText(dataFile(name));
    const doc = text === null ? null : parseBackup(text);
    if (!doc) throw userError(`${name} is not a backup this page can restore.`);
    const count = Object.keys(doc.shows).length;
    const q = `Restore ${name}? Its settings, singers and ${count} show(s) replace the current ones.`;
    if (await QK.view.ask(q, 'Restore', 'Cancel') !== 'yes') return;
    await flushAll();
    await call('writefile', { path: dataFile('settings.json'), content: JSON.stringify(doc.settings, null, 1) });
    if (doc.singers && typeof doc.singers === 'object') {
      await call('writefile', { path: dataFile('singers.json'), content: JSON.stringify(doc.singers, null, 1) });
    }
    for (const [file, show] of Object.entries(doc.shows)) {
      if (SHOW_FILE.test(file) && show && typeof show === 'object') {
        await call('writefile', { path: showPath(file), content: JSON.stringify(show, null, 1) });
      }
    }
    await reloadDocuments();
    if (QK.sounds && QK.sounds.board) QK.sounds.board.reload();
    if (QK.requests && QK.requests.board) QK.requests.board.draw();
    QK.view.showNotice(`Restored ${name}.`);
  }

  async function draw() {
    const names = (await backupNames()).reverse();
    const list = $('backups');
    list.replaceChildren(...names.map((name) => {
      const li = document.createElement('li');
      const t = document.createElement('span');
      t.className = 't';
      t.textContent = name;
      const b = document.createElement('button');
      b.textContent = 'Restore…';
      b.addEventListener('click', () => act(() => restore(name)));
      li.append(t, b);
      return li;
    }));
    if (!names.length) {
      const li = document.createElement('li');
      li.className = 'empty';
      li.textContent = 'No backups yet.';
      list.append(li);
    }
  }

  $('tab-backups').addEventListener('click', () => { QK.view.showView('backups'); draw().catch(report); });
  $('backup-now').addEventListener('click', () => act(async () => {
    const name = await exportAll();
    QK.view.showNotice(`Backed up to ${name}.`);
  }));
  return { exportAll, restore, prune, draw };
}

QK.backups = { sortBackups, stampOf, parseBackup };
if (QK.app) {
  QK.app.started.then(() => { QK.backups.board = init(QK.app); }, () => {});
}
}(window.QK = window.QK || {}));
