// The "Look" tab: how the audience display looks. It edits the look keys of
// audience.json (titles, colours, switches, ticker, QR code, dance mode) and
// the pictures the overlay shows (background, logo, slides, dance graphics).
//
// Only the keys the KJ has set are written; every other key is left out so the
// overlay uses its own default. The page keeps them in "look.json" (the same
// keys as in audience.json, plus whether dance mode is on, since the mere
// presence of "dance" turns it on). Pictures live in their own documents, and
// the overlay reads one again only when its version number in audience.json
// changes: the picture file is written first, the version bumped after.
(function (QK) {
'use strict';

const { call } = QK.bridge;
const { Saver } = QK.saver;
const Pictures = QK.pictures;

const ANIMS = ['pulse', 'bounce', 'zoom', 'float', 'drift'];
const CORNERS = [['br', 'bottom right'], ['bl', 'bottom left'], ['tr', 'top right'], ['tl', 'top left'],
  ['tc', 'top centre'], ['bc', 'bottom centre'], ['lc', 'left centre'], ['rc', 'right centre']];

// Every key the editor writes: where it lives ("settings" keys are the KJ's
// settings, shared with the Settings tab), its kind and the overlay's default
// (shown while the key is absent).
const GROUPS = [
  ['Texts', [
    { key: 'title', kind: 'text', def: '', label: 'Title (empty: “KARAOKE @ venue”)', max: 80 },
    { key: 'subtitle', kind: 'text', def: '', label: 'Subtitle', max: 120 },
    { key: 'venue', kind: 'text', store: 'settings', label: 'Venue', max: 80 },
    { key: 'message', kind: 'text', store: 'settings', label: 'Message', max: 160 },
    { key: 'messageColor', kind: 'colour', def: '#ff7a1a', label: 'Message colour' },
    { key: 'listLabel', kind: 'text', def: 'Upcoming Performers', label: 'List heading', max: 60 },
    { key: 'idleCount', kind: 'number', def: 10, label: 'Rows in the list', min: 1, max: 30, int: true },
    { key: 'firstEmoji', kind: 'text', store: 'settings', label: 'First-timer mark', max: 8 },
    { key: 'firstColor', kind: 'colour', def: '#5dd39e', label: 'Colour of the singer up next' },
  ]],
  ['Colours', [
    { key: 'appearance.enabled', kind: 'bool', def: false, label: 'Fill the idle screen (colour and background picture)' },
    { key: 'appearance.color', kind: 'colour', def: '#000000', label: 'Background' },
    { key: 'appearance.accent', kind: 'colour', def: '#ff7a1a', label: 'Accent' },
    { key: 'appearance.text', kind: 'colour', def: '#ffffff', label: 'Text' },
    { key: 'appearance.dim', kind: 'colour', def: '#b8bfcc', label: 'Secondary text' },
    { key: 'appearance.bar', kind: 'colour', def: '#0b0b0e', label: 'Ticker bar' },
    { key: 'appearance.shadowOn', kind: 'bool', def: true, label: 'Text shadows' },
    { key: 'appearance.shadow', kind: 'colour', def: '#000000', label: 'Shadow' },
  ]],
  ['Show on the idle screen', [
    { key: 'appearance.showTitle', kind: 'bool', def: true, label: 'Title' },
    { key: 'appearance.showSubtitle', kind: 'bool', def: true, label: 'Subtitle' },
    { key: 'appearance.showMessage', kind: 'bool', def: true, label: 'Message (also in the ticker)' },
    { key: 'appearance.showList', kind: 'bool', def: true, label: 'Performer list' },
    { key: 'appearance.showListSongs', kind: 'bool', def: true, label: 'Song titles in the list' },
    { key: 'appearance.idleFirstNote', kind: 'bool', def: true, label: 'First-song note' },
    { key: 'appearance.showNowPlaying', kind: 'bool', def: true, label: 'Background track playing' },
    { key: 'appearance.logoShow', kind: 'bool', def: true, label: 'Logo' },
    { key: 'appearance.logoWidth', kind: 'number', def: 20, label: 'Logo width (% of the screen)', min: 5, max: 45, int: true },
  ]],
  ['Ticker', [
    { key: 'edge', kind: 'choice', def: 'bottom', label: 'Bar at the', choices: [['bottom', 'bottom'], ['top', 'top']] },
    { key: 'speed', kind: 'number', def: 110, label: 'Speed (pixels a second at 1080p)', min: 40, max: 600, step: 10 },
    { key: 'appearance.tickVenue', kind: 'bool', def: true, label: 'Venue in the ticker' },
    { key: 'appearance.tickFirstNote', kind: 'bool', def: true, label: 'First-song note in the ticker' },
  ]],
  ['QR code', [
    { key: 'qr.url', kind: 'text', def: '', label: 'Link (empty: no code)', max: 300 },
    { key: 'qr.size', kind: 'number', def: 14, label: 'Size (% of the screen height)', min: 8, max: 30, int: true },
    { key: 'qr.corner', kind: 'choice', def: 'br', label: 'Place', choices: CORNERS },
    { key: 'qr.label', kind: 'text', def: '', label: 'Caption', max: 60 },
  ]],
  ['Slides', [
    { key: 'appearance.slides.enabled', kind: 'bool', def: false, label: 'Show the slides' },
    { key: 'appearance.slides.secs', kind: 'number', def: 8, label: 'Seconds each slide', min: 2, max: 600 },
  ]],
  ['Dance mode', [
    { key: 'danceOn', kind: 'bool', store: 'page', def: false, label: 'Dance mode on' },
    { key: 'dance.cta', kind: 'text', def: '', label: 'Call to action', max: 60 },
    { key: 'dance.title', kind: 'text', def: '', label: 'Track title', max: 120 },
    { key: 'dance.artist', kind: 'text', def: '', label: 'Track artist', max: 120 },
    { key: 'dance.anims', kind: 'anims', def: [], label: 'Animations to pick from (none: no graphics)' },
    { key: 'dance.gfxSize', kind: 'number', def: 26, label: 'Graphic size (% of the screen height)', min: 10, max: 60, int: true },
    { key: 'dance.gfxSecs', kind: 'number', def: 6, label: 'Seconds each graphic', min: 3, max: 20 },
    { key: 'dance.gfxOff', kind: 'bool', def: false, label: 'Stop after the graphic on screen' },
  ]],
];
const FIELDS = GROUPS.flatMap(([, fields]) => fields);
const VERSIONS = ['appearance.assetsVer', 'appearance.slides.ver', 'dance.gfxVer'];

const COLOUR = /^#[0-9a-fA-F]{6}$/;

function typeOk(field, value) {
  switch (field.kind) {
    case 'text': case 'choice': return typeof value === 'string';
    case 'colour': return typeof value === 'string' && COLOUR.test(value);
    case 'number': return typeof value === 'number' && Number.isFinite(value);
    case 'bool': return typeof value === 'boolean';
    case 'anims': return Array.isArray(value) && value.every((a) => ANIMS.includes(a));
    default: return false;
  }
}

function getPath(obj, path) {
  return path.split('.').reduce((o, k) => (o && typeof o === 'object' ? o[k] : undefined), obj);
}

function setPath(obj, path, value) {
  const keys = path.split('.');
  const last = keys.pop();
  let o = obj;
  for (const k of keys) {
    if (!o[k] || typeof o[k] !== 'object' || Array.isArray(o[k])) o[k] = {};
    o = o[k];
  }
  o[last] = value;
}

function unsetPath(obj, path) {
  const keys = path.split('.');
  const last = keys.pop();
  const chain = [obj];
  for (const k of keys) {
    const next = chain[chain.length - 1][k];
    if (!next || typeof next !== 'object') return;
    chain.push(next);
  }
  delete chain[chain.length - 1][last];
  // Objects left empty go too, so that no empty "qr" or "appearance" remains.
  for (let i = keys.length - 1; i >= 0; i--) {
    if (Object.keys(chain[i + 1]).length) break;
    delete chain[i][keys[i]];
  }
}

// A stored look keeps only documented keys of the right type.
function sanitizeLook(stored) {
  const look = { keys: {}, danceOn: false };
  if (!stored || typeof stored !== 'object') return look;
  look.danceOn = stored.danceOn === true;
  const keys = stored.keys;
  for (const f of FIELDS) {
    if (f.store) continue;
    const v = getPath(keys, f.key);
    if (typeOk(f, v)) setPath(look.keys, f.key, Array.isArray(v) ? v.slice() : v);
  }
  for (const path of VERSIONS) {
    const v = getPath(keys, path);
    if (typeof v === 'number' && Number.isFinite(v)) setPath(look.keys, path, v);
  }
  return look;
}

function pictureList(stored) {
  if (!Array.isArray(stored)) return [];
  return stored.map((e) => (typeof e === 'string' ? { data: e, hidden: false }
    : e && typeof e === 'object' && typeof e.data === 'string' ? { data: e.data, hidden: e.hidden === true } : null))
    .filter(Boolean);
}

// ---- state ----------------------------------------------------------------

let ctx = null; // handed over by app.js: dataFile, loadJson, pick, settings, setting, publish, audience, act, report
let look = { keys: {}, danceOn: false };
const pics = { assets: {}, slides: [], graphics: [] };

const lookSaver = new Saver({
  path: () => (ctx && ctx.ready() ? ctx.dataFile('look.json') : ''),
  content: () => JSON.stringify(look, null, 1),
  onError: (err) => ctx.report(err),
});

// The look keys of audience.json, as a fresh object.
function audienceKeys() {
  const out = JSON.parse(JSON.stringify(look.keys));
  if (look.danceOn) { if (!out.dance) out.dance = {}; } else delete out.dance;
  return out;
}

function valueOf(field) {
  if (field.store === 'settings') return ctx.settings()[field.key];
  if (field.store === 'page') return look[field.key];
  const v = getPath(look.keys, field.key);
  return v === undefined ? field.def : v;
}

function changed() {
  lookSaver.schedule();
  ctx.publish();
  fill();
  QK.lookPreview.redraw();
}

function setField(field, value) {
  if (field.store === 'settings') { ctx.setting(field.key, value); fill(); QK.lookPreview.redraw(); return; }
  if (field.store === 'page') look[field.key] = value;
  else setPath(look.keys, field.key, value);
  changed();
}

function resetField(field) {
  unsetPath(look.keys, field.key);
  changed();
}

function bump(path) {
  const v = getPath(look.keys, path);
  setPath(look.keys, path, (typeof v === 'number' && v >= 0 ? Math.trunc(v) : 0) + 1);
}

// The picture document is on disk before the version that points the
// overlay at it is published. The page keeps the new pictures only once they
// are written: a failed write changes nothing, on disk or on screen.
async function writePictureFile(name, content, versionPath) {
  await call('writefile', { path: ctx.dataFile(name), content: JSON.stringify(content) });
  bump(versionPath);
  changed();
}

const LISTS = {
  slides: { file: 'audience-slides.json', version: 'appearance.slides.ver', add: 'Add a slide…' },
  graphics: { file: 'dance-graphics.json', version: 'dance.gfxVer', add: 'Add a graphic…' },
};

function notReady() {
  const err = new Error('The page is still starting; try again in a moment.');
  err.userFacing = true;
  return err;
}

// A picture from the host's file picker, or from a dropped file.
async function choosePicture(file) {
  if (!ctx.ready()) throw notReady();
  if (file) return Pictures.dataUrlOfFile(file);
  const path = await ctx.pick('pick_file', '');
  return path ? Pictures.dataUrlOfPath(path) : '';
}

// fn(assets) changes a copy of the background and logo; false: nothing to write.
function editAssets(fn, file) {
  return ctx.act(async () => {
    const data = file === undefined ? null : await choosePicture(file);
    if (data === '') return;
    const next = { ...pics.assets };
    if (fn(next, data) === false) return;
    await writePictureFile('audience-assets.json', next, 'appearance.assetsVer');
    pics.assets = next;
    renderPictures();
  });
}

const setAsset = (slot, file = null) => editAssets((a, data) => { a[slot] = data; }, file);
const removeAsset = (slot) => editAssets((a) => (slot in a ? void delete a[slot] : false));

// fn(list, data) changes a copy of the slides or graphics; false: nothing to write.
function editList(which, fn, file) {
  return ctx.act(async () => {
    const data = file === undefined ? null : await choosePicture(file);
    if (data === '') return;
    const next = pics[which].map((item) => ({ ...item }));
    if (fn(next, data) === false) return;
    await writePictureFile(LISTS[which].file, next, LISTS[which].version);
    pics[which] = next;
    renderPictures();
  });
}

const addToList = (which, file = null) => editList(which, (l, data) => { l.push({ data, hidden: false }); }, file);

async function load() {
  look = sanitizeLook(await ctx.loadJson(ctx.dataFile('look.json')));
  const assets = await ctx.loadJson(ctx.dataFile('audience-assets.json'));
  pics.assets = {};
  for (const slot of ['bg', 'logo']) if (assets && typeof assets[slot] === 'string') pics.assets[slot] = assets[slot];
  pics.slides = pictureList(await ctx.loadJson(ctx.dataFile('audience-slides.json')));
  pics.graphics = pictureList(await ctx.loadJson(ctx.dataFile('dance-graphics.json')));
  fill();
  renderPictures();
}

// ---- the form -------------------------------------------------------------

const $ = (id) => document.getElementById(id);
const inputs = new Map(); // field key → { field, node, read(), write(value) }

function el(tag, cls, text) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (text !== undefined) node.textContent = text;
  return node;
}

function fieldId(field) { return `look-${field.key.replace(/\./g, '-')}`; }

function buildInput(field) {
  const id = fieldId(field);
  if (field.kind === 'bool') {
    const box = el('input');
    box.type = 'checkbox';
    box.id = id;
    box.addEventListener('change', () => setField(field, box.checked));
    return { node: box, write: (v) => { box.checked = v === true; } };
  }
  if (field.kind === 'choice') {
    const sel = el('select');
    sel.id = id;
    for (const [value, text] of field.choices) { const o = el('option', '', text); o.value = value; sel.append(o); }
    sel.addEventListener('change', () => setField(field, sel.value));
    return { node: sel, write: (v) => { sel.value = v; } };
  }
  if (field.kind === 'anims') {
    const box = el('span', 'look-anims');
    box.id = id;
    const checks = ANIMS.map((name) => {
      const label = el('label', 'check');
      const c = el('input');
      c.type = 'checkbox';
      c.value = name;
      c.addEventListener('change', () => setField(field, checks.filter((x) => x.checked).map((x) => x.value)));
      label.append(c, name);
      box.append(label);
      return c;
    });
    return { node: box, write: (v) => { for (const c of checks) c.checked = Array.isArray(v) && v.includes(c.value); } };
  }
  const input = el('input');
  input.id = id;
  if (field.kind === 'colour') {
    // The colour picker's value is always "#rrggbb".
    input.type = 'color';
    input.addEventListener('input', () => setField(field, input.value.toLowerCase()));
    return { node: input, write: (v) => { input.value = v; } };
  }
  if (field.kind === 'number') {
    input.type = 'number';
    input.min = field.min;
    input.max = field.max;
    input.step = field.step || (field.int ? 1 : 0.5);
    input.addEventListener('change', () => {
      let v = Number(input.value);
      if (input.value.trim() === '' || !Number.isFinite(v)) { input.value = valueOf(field); return; }
      if (field.int) v = Math.round(v);
      v = Math.min(field.max, Math.max(field.min, v));
      input.value = v;
      setField(field, v);
    });
    return { node: input, write: (v) => { input.value = v; } };
  }
  input.maxLength = field.max;
  input.addEventListener('change', () => setField(field, input.value.trim()));
  input.addEventListener('input', () => QK.lookPreview.redraw(() => ({ [field.key]: input.value })));
  return { node: input, write: (v) => { input.value = v === undefined ? '' : v; } };
}

function buildForm() {
  const form = $('look-form');
  for (const [title, fields] of GROUPS) {
    const set = el('fieldset', 'look-group');
    set.append(el('legend', '', title));
    for (const field of fields) {
      const { node, write } = buildInput(field);
      const row = el('div', `look-field look-${field.kind}`);
      const label = el('label', '', field.label);
      label.htmlFor = node.id;
      row.append(label, node);
      if (!field.store) {
        const reset = el('button', 'look-reset', '↺');
        reset.type = 'button';
        reset.title = 'Back to the display\'s default';
        reset.setAttribute('aria-label', `${field.label}: back to the default`);
        reset.addEventListener('click', () => resetField(field));
        row.append(reset);
      }
      set.append(row);
      inputs.set(field.key, { field, node, write });
    }
    if (title === 'Slides') set.append(pictureListBox('slides'));
    if (title === 'Dance mode') set.append(pictureListBox('graphics'));
    form.append(set);
  }
  form.addEventListener('submit', (e) => e.preventDefault());
  $('look-pictures').append(assetSlot('bg', 'Background picture'), assetSlot('logo', 'Logo'));
}

// Values into the inputs; the one being typed in is left alone.
function fill() {
  if (!ctx) return;
  for (const { field, node, write } of inputs.values()) {
    if (document.activeElement === node && field.kind !== 'bool') continue;
    write(valueOf(field));
    const row = node.closest('.look-field');
    if (row) row.classList.toggle('set', !field.store && getPath(look.keys, field.key) !== undefined);
  }
}

// Dropping a file on a slot or list takes it as a picture.
function dropTarget(node, onFile) {
  node.addEventListener('dragover', (e) => {
    if (!e.dataTransfer || !Array.from(e.dataTransfer.types).includes('Files')) return;
    e.preventDefault();
    node.classList.add('drop');
  });
  node.addEventListener('dragleave', () => node.classList.remove('drop'));
  node.addEventListener('drop', (e) => {
    node.classList.remove('drop');
    const file = e.dataTransfer && e.dataTransfer.files[0];
    if (!file) return;
    e.preventDefault();
    onFile(file);
  });
}

function thumb(data) {
  const img = el('img', 'look-thumb');
  img.alt = '';
  if (data.startsWith('data:image/')) img.src = data;
  return img;
}

function assetSlot(slot, title) {
  const box = el('div', 'look-slot');
  box.id = `look-${slot}`;
  box.append(el('div', 'look-slot-title', title), el('div', 'look-slot-pic'));
  const choose = el('button', '', 'Choose…');
  choose.type = 'button';
  choose.className = 'look-choose';
  choose.addEventListener('click', () => setAsset(slot));
  const remove = el('button', 'danger look-remove', 'Remove');
  remove.type = 'button';
  remove.addEventListener('click', () => removeAsset(slot));
  const row = el('div', 'row');
  row.append(choose, remove);
  box.append(row, el('div', 'hint', 'or drop a picture here'));
  dropTarget(box, (file) => setAsset(slot, file));
  return box;
}

function pictureListBox(which) {
  const box = el('div', 'look-list');
  box.id = `look-${which}`;
  box.append(el('ol', 'look-items'));
  const add = el('button', 'look-add', LISTS[which].add);
  add.type = 'button';
  add.addEventListener('click', () => addToList(which));
  box.append(add, el('span', 'hint', ' or drop pictures here'));
  dropTarget(box, (file) => addToList(which, file));
  return box;
}

function listButton(text, label, fn) {
  const b = el('button', '', text);
  b.type = 'button';
  b.setAttribute('aria-label', label);
  b.title = label;
  b.addEventListener('click', fn);
  return b;
}

function renderPictures() {
  for (const slot of ['bg', 'logo']) {
    const holder = document.querySelector(`#look-${slot} .look-slot-pic`);
    if (!holder) continue;
    holder.replaceChildren(pics.assets[slot] ? thumb(pics.assets[slot]) : el('span', 'hint', 'none'));
  }
  for (const which of Object.keys(LISTS)) {
    const list = document.querySelector(`#look-${which} .look-items`);
    if (!list) continue;
    list.replaceChildren(...pics[which].map((item, i) => {
      const li = el('li', item.hidden ? 'hidden-pic' : '');
      li.append(thumb(item.data),
        listButton('↑', 'Move up', () => editList(which, (l) => (i > 0 ? void l.splice(i - 1, 0, l.splice(i, 1)[0]) : false))),
        listButton('↓', 'Move down', () => editList(which, (l) => (i < l.length - 1 ? void l.splice(i + 1, 0, l.splice(i, 1)[0]) : false))),
        listButton(item.hidden ? 'Show' : 'Hide', item.hidden ? 'Show' : 'Hide', () => editList(which, (l) => { l[i].hidden = !l[i].hidden; })),
        listButton('✕', 'Remove', () => editList(which, (l) => void l.splice(i, 1))));
      return li;
    }));
  }
  QK.lookPreview.redraw();
}

// ctx: { ready(), dataFile(name), loadJson(path), pick(action, start), settings(), setting(key, value),
//        publish(), audience() (the audience document now), act(fn), report(err) }
function init(context) {
  ctx = context;
  buildForm();
  QK.lookPreview.init($('look-preview'), () => ctx.audience(), () => pics);
  // The settings tab edits the venue, message and mark too, and the rotation
  // changes all night: the tab is brought up to date whenever it is shown,
  // and its preview follows the night while it is open.
  $('tab-look').addEventListener('click', () => { fill(); QK.lookPreview.redraw(); });
  setInterval(() => { if (!$('view-look').hidden) QK.lookPreview.redraw(); }, 1000);
}

QK.look = { init, load, audienceKeys, FIELDS, ANIMS };
}(window.QK = window.QK || {}));
