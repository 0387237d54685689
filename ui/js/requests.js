// The requests tab: song requests from an optional web service (its URL is in
// the settings as "requestsUrl"), polled through the plug-in's "cloud_http".
// The KJ accepts a request into a singer's queue (a new singer or one in the
// rotation) or dismisses it. What the service answers is described in
// ui/README.md.
(function (QK) {
'use strict';

const { call, readText } = QK.bridge;
const Show = QK.show;

const POLL_MS = 15000;
const HANDLED_FILE = 'requests-handled.json';
const HANDLED_KEEP = 500;

const str = (v, max) => (typeof v === 'string' ? v.trim().slice(0, max) : '');

// The service's answer → the requests worth showing, without the handled ones.
function parseRequests(body, handled) {
  let doc;
  try { doc = JSON.parse(body); } catch { return null; }
  const list = Array.isArray(doc) ? doc : doc && Array.isArray(doc.requests) ? doc.requests : null;
  if (!list) return null;
  const out = [];
  const seen = new Set();
  for (const r of list) {
    if (!r || typeof r !== 'object') continue;
    const id = typeof r.id === 'number' ? String(r.id) : str(r.id, 200);
    const singer = Show.cleanName(str(r.singer, 200));
    const title = str(r.title, 200);
    if (!id || !singer || (!title && !str(r.path, 4096)) || handled.has(id) || seen.has(id)) continue;
    seen.add(id);
    out.push({ id, singer, title, artist: str(r.artist, 200), path: str(r.path, 4096), note: str(r.note, 300) });
  }
  return out;
}

const validUrl = (url) => /^https?:\/\/[^\s/]+/i.test(url);

function init(app) {
  const { state, act, report, userError, dataFile, saveSettings, addSinger, changed, songIndex } = app;
  const $ = (id) => document.getElementById(id);
  let requests = [];
  let handled = [];
  let status = '';
  let timer = null;
  let generation = 0;
  const accepting = new Set(); // being accepted: a poll meanwhile must not bring them back

  const url = () => (typeof state.settings.requestsUrl === 'string' ? state.settings.requestsUrl : '');

  async function loadHandled() {
    const text = await readText(dataFile(HANDLED_FILE)).catch(() => null);
    try {
      const doc = text ? JSON.parse(text) : null;
      handled = doc && Array.isArray(doc.ids) ? doc.ids.filter((id) => typeof id === 'string') : [];
    } catch { handled = []; }
  }

  async function markHandled(req, outcome) {
    handled = handled.filter((id) => id !== req.id).concat(req.id).slice(-HANDLED_KEEP);
    requests = requests.filter((r) => r.id !== req.id);
    draw();
    await call('writefile', { path: dataFile(HANDLED_FILE), content: JSON.stringify({ ids: handled }) }).catch(report);
    // Telling the service is a courtesy: one that does not listen still works,
    // since a handled request is never shown again.
    call('cloud_http', {
      url: url(), method: 'POST', headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ id: req.id, status: outcome }), timeoutMs: 10000,
    }, { timeout: 20000 }).catch(() => {});
  }

  // One loop of looks at the service: a look asked for meanwhile (a new URL,
  // "Check now") takes over, and the older one drops its answer.
  async function check() {
    clearTimeout(timer);
    timer = null;
    const gen = ++generation;
    if (!validUrl(url())) {
      requests = [];
      status = url() ? 'The requests service needs an address starting with http:// or https://.' : 'No requests service set.';
      draw();
      return;
    }
    try {
      const answer = await call('cloud_http', { url: url(), method: 'GET', timeoutMs: 10000 }, { timeout: 20000 });
      if (gen !== generation) return;
      const list = answer.status >= 200 && answer.status < 300 ? parseRequests(answer.body, new Set([...handled, ...accepting])) : null;
      if (list) {
        requests = list;
        status = `Checked at ${new Date().toLocaleTimeString()}.`;
      } else {
        status = answer.status >= 200 && answer.status < 300 ? 'The requests service sent something that is not a list of requests.'
          : `The requests service answered ${answer.status}.`;
      }
    } catch (err) {
      if (gen !== generation) return;
      status = `The requests service cannot be reached: ${err.message}`;
    }
    draw();
    timer = setTimeout(check, POLL_MS);
  }

  async function songFor(req) {
    if (req.path) return { path: req.path, title: req.title || QK.paths.songFromPath(req.path).title, artist: req.artist };
    if (!state.settings.musicFolder) throw userError('Choose a music folder in Settings so requested songs can be found.');
    await songIndex.load(state.settings.musicFolder, report);
    const found = songIndex.search(`${req.artist} ${req.title}`, 1)[0];
    if (!found) throw userError(`“${req.title}”${req.artist ? ` by ${req.artist}` : ''} is not in the music folder.`);
    return found;
  }

  async function accept(req, target) {
    accepting.add(req.id);
    try {
      await acceptSong(req, target);
    } finally {
      accepting.delete(req.id);
    }
  }

  async function acceptSong(req, target) {
    const song = await songFor(req);
    let singer = target === 'new' ? null : Show.findSinger(state.show, target);
    if (!singer) {
      const known = state.roster.some((n) => n.toLowerCase() === req.singer.toLowerCase());
      singer = addSinger(req.singer, !known);
    }
    Show.addSong(state.show, singer.id, song);
    changed();
    await markHandled(req, 'accepted');
  }

  function drawRequest(req) {
    const li = document.createElement('li');
    li.dataset.id = req.id;
    const who = document.createElement('span');
    who.className = 'who';
    who.textContent = req.singer;
    const what = document.createElement('span');
    what.className = 'what';
    what.textContent = req.artist ? `${req.artist} – ${req.title}` : req.title || QK.paths.baseName(req.path);
    const info = document.createElement('div');
    info.className = 't';
    info.append(who, what);
    if (req.note) { const n = document.createElement('span'); n.className = 'note'; n.textContent = req.note; info.append(n); }

    const into = document.createElement('select');
    into.className = 'into';
    into.setAttribute('aria-label', 'Queue for');
    const opt = (value, text) => { const o = document.createElement('option'); o.value = value; o.textContent = text; return o; };
    const same = state.show.queue.find((s) => s.name.toLowerCase() === req.singer.toLowerCase());
    if (!same) into.append(opt('new', `New singer: ${req.singer}`));
    for (const s of state.show.queue) into.append(opt(s.id, s.name));
    into.value = same ? same.id : 'new';

    const ok = document.createElement('button');
    ok.className = 'accept primary';
    ok.textContent = 'Accept';
    ok.addEventListener('click', () => act(() => accept(req, into.value)));
    const no = document.createElement('button');
    no.className = 'dismiss';
    no.textContent = 'Dismiss';
    no.addEventListener('click', () => act(() => markHandled(req, 'dismissed')));
    li.append(info, into, ok, no);
    return li;
  }

  function draw() {
    if ($('requests-url') !== document.activeElement) $('requests-url').value = url();
    $('requests-status').textContent = status;
    $('requests').replaceChildren(...requests.map(drawRequest));
    $('requests-count').hidden = !requests.length;
    $('requests-count').textContent = String(requests.length);
  }

  $('tab-requests').addEventListener('click', () => { QK.view.showView('requests'); draw(); });
  $('requests-url').addEventListener('change', (e) => {
    state.settings.requestsUrl = e.target.value.trim();
    saveSettings();
    check();
  });
  $('requests-refresh').addEventListener('click', () => check());
  loadHandled().then(check);
  return { check, draw };
}

QK.requests = { parseRequests };
if (QK.app) {
  QK.app.started.then(() => { QK.requests.board = init(QK.app); }, () => {});
}
}(window.QK = window.QK || {}));
