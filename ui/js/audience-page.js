// The audience page: who sings now, who is up next, the rotation and the QR
// code, drawn from the same audience.json the overlay reads (polled), with
// the same reading rules: a key of the wrong type takes its default.
(function (QK) {
'use strict';

const { call, readText } = QK.bridge;
const { dataFolderFrom, joinPath } = QK.paths;

const POLL_MS = 1000;
const COLOUR = /^#[0-9a-fA-F]{6}$/;

const $ = (id) => document.getElementById(id);
const text = (v) => (typeof v === 'string' ? v : '');
const obj = (v) => (v && typeof v === 'object' && !Array.isArray(v) ? v : null);
const flag = (v, dflt) => (typeof v === 'boolean' ? v : dflt);

function el(tag, cls, content) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (content !== undefined) e.textContent = content;
  return e;
}

function nameOf(entry, doc) {
  const emoji = text(doc.firstEmoji);
  return entry.isNew === true && emoji ? `${emoji} ${text(entry.singer)}` : text(entry.singer);
}

let lastText = null;
let lastQr = null;

function render(doc) {
  const look = obj(doc.appearance) || {};
  const root = document.documentElement.style;
  for (const [varName, value] of [['--accent', look.accent], ['--text', look.text], ['--dim', look.dim], ['--first', doc.firstColor]]) {
    if (typeof value === 'string' && COLOUR.test(value)) root.setProperty(varName, value); else root.removeProperty(varName);
  }

  const venue = text(doc.venue);
  $('aud-title').textContent = text(doc.title) || (venue ? `KARAOKE @ ${venue}` : 'KARAOKE');

  const current = obj(doc.current);
  $('aud-now').hidden = !(current && text(current.singer));
  if (current && text(current.singer)) {
    $('aud-now-singer').textContent = nameOf(current, doc);
    $('aud-now-song').textContent = text(current.title);
  }

  const next = (Array.isArray(doc.next) ? doc.next : []).map(obj).filter((e) => e && text(e.singer));
  $('aud-next').hidden = !next.length;
  $('aud-next-list').replaceChildren(...next.map((e) => {
    const li = el('li', '', nameOf(e, doc));
    if (e.needsSong === true) li.append(el('span', 'note needs', 'Song selection needed'));
    else if (text(e.wait)) li.append(el('span', 'note wait', text(e.wait)));
    return li;
  }));

  const count = Math.trunc(typeof doc.idleCount === 'number' ? doc.idleCount : 10);
  const rows = (Array.isArray(doc.rotation) ? doc.rotation : []).slice(0, count >= 1 ? count : 10);
  const showSongs = flag(look.showListSongs, true);
  $('aud-rotation').hidden = !rows.length || !flag(look.showList, true);
  $('aud-list-label').textContent = (text(doc.listLabel) || 'Upcoming Performers').toUpperCase();
  $('aud-rotation-list').replaceChildren(...rows.map((raw, i) => {
    const e = obj(raw) || {};
    const li = el('li');
    li.append(el('span', 'pos', `${i + 1}.`), el('span', 'who', text(e.singer) ? nameOf(e, doc) : 'Open Slot'));
    if (e.needsSong === true) li.append(el('span', 'song needs', 'Song selection needed'));
    else if (showSongs && text(e.title)) li.append(el('span', 'song', text(e.title)));
    if (i > 0 && text(e.wait) && e.needsSong !== true) li.append(el('span', 'wait', text(e.wait)));
    return li;
  }));

  const message = text(doc.message);
  $('aud-message').hidden = !message || !flag(look.showMessage, true);
  $('aud-message').textContent = message;

  const qr = obj(doc.qr);
  const url = qr ? text(qr.url) : '';
  const key = JSON.stringify([url, qr && text(qr.corner)]);
  if (key !== lastQr) {
    lastQr = key;
    const drawn = url ? QK.qr.drawQr($('aud-qr-code'), url) : null;
    $('aud-qr').hidden = !drawn;
    $('aud-qr').className = `aud-qr ${['tl', 'tr', 'bl', 'br'].includes(qr && qr.corner) ? qr.corner : 'br'}`;
  }
  $('aud-qr-label').textContent = qr ? text(qr.label) : '';
}

async function poll(path) {
  try {
    const t = await readText(path);
    if (t !== null && t !== lastText) {
      let doc = null;
      try { doc = JSON.parse(t); } catch { doc = null; } // caught mid-write: the next look has it whole
      if (obj(doc)) { lastText = t; render(doc); }
    }
    $('aud-error').hidden = true;
  } catch (err) {
    $('aud-error').textContent = err.message;
    $('aud-error').hidden = false;
  }
  setTimeout(() => poll(path), POLL_MS);
}

async function start() {
  const host = await call('getstring', { script: 'get_vdj_folder' });
  if (!host.result) throw new Error('VirtualDJ did not tell its folder.');
  poll(joinPath(dataFolderFrom(host.result), 'audience.json'));
}

render({});
start().catch((err) => { $('aud-error').textContent = err.message; $('aud-error').hidden = false; });
QK.audiencePage = { render };
}(window.QK = window.QK || {}));
