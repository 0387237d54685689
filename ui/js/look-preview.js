// A live sketch of the audience display in the Look tab: the idle screen or the
// ticker over a stand-in picture, drawn on a canvas from the same audience
// document the overlay reads, with the overlay's layout and defaults. It is a
// guide for the KJ, not a pixel copy (the QR code is a stand-in pattern).
(function (QK) {
'use strict';

let canvas = null;
let documentNow = () => ({});
let picturesNow = () => ({ assets: {}, slides: [], graphics: [] });
let mode = 'idle';
let patch = null;
let frame = 0;
const images = new Map(); // data URL → Image (decoded once)

const COLOUR = /^#[0-9a-fA-F]{6}$/;
const colour = (v, def) => (typeof v === 'string' && COLOUR.test(v) ? v : def);
const bool = (v, def) => (typeof v === 'boolean' ? v : def);
const text = (v) => (typeof v === 'string' ? v : '');
const num = (v, def) => (typeof v === 'number' && Number.isFinite(v) ? v : def);
const upper = (t) => t.replace(/[a-z]/g, (c) => c.toUpperCase());

function image(data) {
  if (!data || !data.startsWith('data:image/')) return null;
  let img = images.get(data);
  if (!img) {
    img = new Image();
    img.onload = () => redraw();
    img.src = data;
    images.set(data, img);
    if (images.size > 40) images.delete(images.keys().next().value);
  }
  return img.complete && img.naturalWidth ? img : null;
}

function withPatch(doc) {
  if (!patch) return doc;
  const out = JSON.parse(JSON.stringify(doc));
  for (const [path, value] of Object.entries(patch)) {
    const keys = path.split('.');
    const last = keys.pop();
    let o = out;
    for (const k of keys) { if (!o[k] || typeof o[k] !== 'object') o[k] = {}; o = o[k]; }
    o[last] = value;
  }
  return out;
}

function font(size, weight) { return `${weight} ${Math.max(1, size)}px "DejaVu Sans", "Segoe UI", sans-serif`; }

function painter(g, s, ap) {
  const shadowOn = bool(ap.shadowOn, true);
  const shadow = colour(ap.shadow, '#000000');
  return {
    text(t, x, y, size, weight, fill, maxW) {
      g.font = font(size, weight);
      g.textBaseline = 'top';
      let out = t;
      if (maxW && g.measureText(out).width > maxW) {
        while (out.length > 1 && g.measureText(`${out}…`).width > maxW) out = out.slice(0, -1);
        out += '…';
      }
      if (shadowOn) { g.globalAlpha = 0.7; g.fillStyle = shadow; g.fillText(out, x + 1.5 * s, y + 1.5 * s); g.globalAlpha = 1; }
      g.fillStyle = fill;
      g.fillText(out, x, y);
      return g.measureText(out).width;
    },
    width(t, size, weight) { g.font = font(size, weight); return g.measureText(t).width; },
  };
}

function backdrop(g, W, H) {
  const grad = g.createLinearGradient(0, 0, W, H);
  grad.addColorStop(0, '#1d2a44');
  grad.addColorStop(1, '#3b1d3a');
  g.fillStyle = grad;
  g.fillRect(0, 0, W, H);
}

function drawQr(g, qr, W, H, s, p, textColour) {
  const url = text(qr.url);
  if (!url) return;
  let size = Math.trunc(num(qr.size, 14));
  if (size < 1) size = 14;
  size = Math.min(30, Math.max(8, size));
  const side = Math.max((size / 100) * H, 90 * s);
  const quiet = 0.09 * side;
  const margin = 28 * s;
  const box = side + 2 * quiet;
  const label = text(qr.label);
  const labSize = Math.max(0.13 * side, 14 * s);
  const lab = label ? 8 * s + labSize * 1.2 : 0;
  const corner = text(qr.corner) || 'br';
  const at = {
    tc: [(W - box) / 2, margin], bc: [(W - box) / 2, H - margin - box - lab],
    lc: [margin, (H - box - lab) / 2], rc: [W - margin - box, (H - box - lab) / 2],
  }[corner] || [corner.endsWith('l') ? margin : W - margin - box, corner.startsWith('t') ? margin : H - margin - box - lab];
  const [x, y] = at;
  g.fillStyle = '#ffffff';
  g.beginPath();
  if (g.roundRect) g.roundRect(x, y, box, box, 10 * s); else g.rect(x, y, box, box); // older engines
  g.fill();
  // A stand-in pattern seeded by the link, with the three finder squares.
  const n = 25;
  const md = side / n;
  let seed = 0;
  for (const c of url) seed = (seed * 31 + c.charCodeAt(0)) >>> 0;
  g.fillStyle = '#000000';
  for (let v = 0; v < n; v++) {
    for (let u = 0; u < n; u++) {
      seed = (seed * 1103515245 + 12345) >>> 0;
      const finder = (u < 7 || u >= n - 7) && v < 7 || u < 7 && v >= n - 7;
      let dark = (seed >>> 16) & 1;
      if (finder) {
        const fu = u >= n - 7 ? u - (n - 7) : u;
        const fv = v >= n - 7 ? v - (n - 7) : v;
        const ring = Math.max(Math.abs(fu - 3), Math.abs(fv - 3));
        dark = ring !== 2 ? 1 : 0;
      }
      if (dark) g.fillRect(Math.floor(u * md) + x + quiet, Math.floor(v * md) + y + quiet, Math.ceil(md), Math.ceil(md));
    }
  }
  if (label) {
    const w = p.width(label, labSize, 700);
    p.text(label, Math.max(8 * s, Math.min((box - w) / 2 + x, W - 8 * s - w)), y + box + 8 * s, labSize, 700, textColour);
  }
}

function drawIdle(g, doc, W, H) {
  const s = H / 1080;
  const ap = doc.appearance && typeof doc.appearance === 'object' ? doc.appearance : {};
  const pics = picturesNow();
  const accent = colour(ap.accent, '#ff7a1a');
  const textColour = colour(ap.text, '#ffffff');
  const dim = colour(ap.dim, '#b8bfcc');
  const first = colour(doc.firstColor, '#5dd39e');
  const p = painter(g, s, ap);

  backdrop(g, W, H);
  if (bool(ap.enabled, false)) {
    g.fillStyle = colour(ap.color, '#000000');
    g.fillRect(0, 0, W, H);
    const bg = image(pics.assets.bg);
    if (bg) g.drawImage(bg, 0, 0, W, H);
  }
  let leftY = 36 * s;
  const logo = bool(ap.logoShow, true) ? image(pics.assets.logo) : null;
  if (logo) {
    let pct = Math.trunc(num(ap.logoWidth, 20));
    if (pct <= 0) pct = 20;
    pct = Math.min(45, Math.max(5, pct));
    const w = (pct / 100) * W;
    const h = (w * logo.naturalHeight) / logo.naturalWidth;
    g.drawImage(logo, 36 * s, leftY, w, h);
    leftY += h + 20 * s;
  }
  const slides = ap.slides && typeof ap.slides === 'object' ? ap.slides : {};
  const slide = bool(slides.enabled, false) ? pics.slides.find((sl) => !sl.hidden) : null;
  const slideImg = slide ? image(slide.data) : null;
  if (slideImg) {
    const maxW = 0.333 * W - 72 * s;
    const maxH = H * 0.55;
    const f = Math.min(maxW / slideImg.naturalWidth, maxH / slideImg.naturalHeight);
    g.drawImage(slideImg, 36 * s, leftY, slideImg.naturalWidth * f, slideImg.naturalHeight * f);
  }

  const colX = 0.333 * W + 56 * s;
  const colW = 0.667 * W - 112 * s;
  let y = 42 * s;
  const centred = (t, size, weight, fill) => {
    const w = p.width(t, size, weight);
    p.text(t, colX + (colW - w) / 2, y, size, weight, fill);
    y += size * 1.25;
  };
  if (bool(ap.showTitle, true)) {
    const venue = text(doc.venue);
    centred(upper(text(doc.title) || (venue ? `KARAOKE @ ${venue}` : 'KARAOKE TONIGHT')), 46 * s, 900, accent);
    y += 4 * s;
  }
  if (bool(ap.showSubtitle, true) && text(doc.subtitle)) { centred(text(doc.subtitle), 30 * s, 700, textColour); y += 8 * s; }
  if (bool(ap.showMessage, true) && text(doc.message)) {
    centred(text(doc.message), 27 * s, 700, colour(doc.messageColor, accent));
    y += 16 * s;
  }
  const emoji = text(doc.firstEmoji);
  const note = bool(ap.idleFirstNote, true) && emoji;
  if (bool(ap.showList, true)) {
    y += 6 * s;
    p.text(upper(text(doc.listLabel) || 'Upcoming Performers'), colX, y, 34 * s, 900, textColour);
    y += 8 * s + 34 * s * 1.2;
    g.globalAlpha = 0.85; g.fillStyle = accent; g.fillRect(colX, y, colW, 3 * s); g.globalAlpha = 1;
    y += 10 * s;
    let limit = Math.trunc(num(doc.idleCount, 10));
    if (limit < 1) limit = 10;
    const rowH = 50 * s;
    const bottom = H - (note ? 74 : 40) * s;
    const rows = Array.isArray(doc.rotation) ? doc.rotation : [];
    let drawn = 0;
    for (let i = 0; i < rows.length && i < limit && y + rowH <= bottom; i++) {
      const r = rows[i] && typeof rows[i] === 'object' ? rows[i] : {};
      const numText = i === 0 ? '1 ▶' : String(i + 1);
      p.text(numText, colX + 84 * s - p.width(numText, 30 * s, 900), y + 4 * s, 30 * s, 900, i === 0 ? first : accent);
      const name = text(r.singer) || 'Open Slot';
      p.text(emoji && r.isNew === true ? `${emoji} ${name}` : name, colX + 102 * s, y + 2 * s, 32 * s, 700,
        i === 0 ? first : textColour, colW - 102 * s - 0.38 * colW - 120 * s);
      const status = i === 0 ? 'up next' : text(r.wait);
      if (status) p.text(status, colX + colW - p.width(status, 20 * s, 400), y + 12 * s, 20 * s, 400, dim);
      const songText = r.needsSong === true ? '🎵 Song selection needed' : bool(ap.showListSongs, true) ? text(r.title) : '';
      if (songText) {
        const weight = r.needsSong === true ? 700 : 400;
        const w = Math.min(p.width(songText, 22 * s, weight), 0.38 * colW);
        p.text(songText, colX + colW - 110 * s - w, y + 10 * s, 22 * s, weight, r.needsSong === true ? accent : dim, 0.38 * colW);
      }
      g.globalAlpha = 0.08; g.fillStyle = textColour; g.fillRect(colX, y + rowH - 1, colW, 1); g.globalAlpha = 1;
      y += rowH;
      drawn += 1;
    }
    if (!drawn) p.text('Come sing! Ask the KJ to get on the list 🎤', colX, y + 8 * s, 32 * s, 700, textColour);
  }
  if (note) {
    const t = `${emoji} = first song of the night`;
    p.text(t, W - 30 * s - p.width(t, 20 * s, 600), H - 22 * s - 24 * s, 20 * s, 600, dim);
  }
  const X = 36 * s;
  if (doc.dance && typeof doc.dance === 'object') {
    const cta = text(doc.dance.cta);
    const song = text(doc.dance.artist) ? `${text(doc.dance.title)} — ${text(doc.dance.artist)}` : text(doc.dance.title);
    let Y = H - 40 * s - (24 * s + (cta ? 48 * s : 0) + (song ? 34 * s : 0));
    p.text('🕺 DANCE TIME', X, Y, 20 * s, 900, accent);
    Y += 24 * s + (cta ? 10 * s : 0);
    if (cta) {
      const pulse = 1 + 0.04 * Math.sin(performance.now() / 250);
      p.text(cta, X, Y, 38 * s * pulse, 900, textColour, 0.55 * W);
      Y += 38 * s + (song ? 8 * s : 0);
    }
    if (song) p.text(song, X, Y, 22 * s, 600, dim, 0.55 * W);
  } else if (doc.bgNow && typeof doc.bgNow === 'object' && bool(ap.showNowPlaying, true) && text(doc.bgNow.title)) {
    const artist = text(doc.bgNow.artist);
    let Y = H - 40 * s - (10 * s + 20 * s + 29 * s + (artist ? 6 * s + 23 * s : 0));
    p.text('♪ CURRENTLY PLAYING', X, Y, 17 * s, 900, accent);
    Y += 10 * s + 20 * s;
    p.text(text(doc.bgNow.title), X, Y, 24 * s, 700, textColour, 0.42 * W);
    Y += 6 * s + 29 * s;
    if (artist) p.text(artist, X, Y, 19 * s, 400, dim, 0.42 * W);
  }
  if (doc.qr && typeof doc.qr === 'object') drawQr(g, doc.qr, W, H, s, p, textColour);
}

function tickerSegments(doc, ap, s) {
  const accent = colour(ap.accent, '#ff7a1a');
  const textColour = colour(ap.text, '#ffffff');
  const dim = colour(ap.dim, '#b8bfcc');
  const big = 34 * s;
  const small = 28 * s;
  const out = [];
  const sep = () => out.push(['   ★   ', big, 700, accent]);
  const emoji = text(doc.firstEmoji);
  if (bool(ap.showMessage, true) && text(doc.message)) { out.push([text(doc.message), big, 900, colour(doc.messageColor, accent)]); sep(); }
  const cur = doc.current && typeof doc.current === 'object' ? doc.current : null;
  if (cur && text(cur.singer)) {
    out.push(['🎤 NOW: ', big, 900, accent]);
    if (emoji && cur.isNew === true) out.push([`${emoji} `, big, 700, textColour]);
    out.push([text(cur.singer), big, 700, textColour]);
    if (text(cur.title)) out.push([` — ${text(cur.title)}`, small, 600, dim]);
    sep();
  }
  (Array.isArray(doc.next) ? doc.next : []).forEach((e, i) => {
    if (!e || typeof e !== 'object' || !text(e.singer)) return;
    if (i === 0) out.push(['UP NEXT: ', big, 900, accent]);
    if (emoji && e.isNew === true) out.push([`${emoji} `, big, 700, textColour]);
    out.push([text(e.singer), big, 700, textColour]);
    if (e.needsSong === true) out.push([' — Song Selection Needed', small, 600, accent]);
    else if (text(e.wait)) out.push([` ${text(e.wait)}`, small, 600, dim]);
    sep();
  });
  if (bool(ap.tickVenue, true) && text(doc.venue)) { out.push([text(doc.venue), small, 600, dim]); sep(); }
  if (bool(ap.tickFirstNote, true) && emoji) { out.push([`${emoji} = first song of the night`, small, 600, dim]); sep(); }
  if (!out.length) { out.push(['🎤 KARAOKE', big, 900, accent]); sep(); }
  return out;
}

function drawTicker(g, doc, W, H) {
  const s = H / 1080;
  const ap = doc.appearance && typeof doc.appearance === 'object' ? doc.appearance : {};
  backdrop(g, W, H);
  g.fillStyle = 'rgba(255,255,255,0.12)';
  g.font = font(60 * s, 900);
  g.textBaseline = 'middle';
  g.fillText('♪ the singer’s video ♪', W * 0.3, H * 0.45);
  const segs = tickerSegments(doc, ap, s);
  const p = painter(g, s, { shadowOn: false });
  const widths = segs.map(([t, size, weight]) => p.width(t, size, weight));
  const lineW = Math.max(8, widths.reduce((a, b) => a + b, 0));
  const barH = 34 * s * 1.3 + 6 * s + 16 * s;
  const top = text(doc.edge) === 'top';
  const barY = top ? 0 : H - barH;
  g.fillStyle = colour(ap.bar, '#0b0b0e');
  g.fillRect(0, barY, W, barH);
  g.fillStyle = colour(ap.accent, '#ff7a1a');
  g.fillRect(0, top ? barY + barH - 3 * s : barY, W, 3 * s);
  const speed = Math.max(40, num(doc.speed, 110)) * s;
  const offset = ((performance.now() / 1000) * speed) % lineW;
  for (let x0 = -offset; x0 < W; x0 += lineW) {
    let x = x0;
    segs.forEach(([t, size, weight, fill], i) => {
      if (x < W && x + widths[i] > 0) p.text(t, x, barY + 8 * s + (34 * s - size) * 0.8, size, weight, fill);
      x += widths[i];
    });
  }
}

function draw() {
  frame = 0;
  if (!canvas || canvas.closest('[hidden]')) return;
  const g = canvas.getContext('2d');
  const doc = withPatch(documentNow());
  g.save();
  if (mode === 'ticker') drawTicker(g, doc, canvas.width, canvas.height);
  else drawIdle(g, doc, canvas.width, canvas.height);
  g.restore();
  // The ticker scrolls and the call to action pulses, as on the display.
  if (mode === 'ticker' || doc.dance) frame = requestAnimationFrame(draw);
}

// Draws again at the next frame; `next` (optional) lays a value being typed
// over the document until the next redraw without one.
function redraw(next) {
  patch = typeof next === 'function' ? next() : null;
  if (frame) cancelAnimationFrame(frame);
  frame = requestAnimationFrame(draw);
}

function init(node, docFn, picsFn) {
  canvas = node;
  documentNow = docFn;
  picturesNow = picsFn;
  for (const radio of document.querySelectorAll('input[name="look-preview-mode"]')) {
    radio.addEventListener('change', () => { if (radio.checked) { mode = radio.value; redraw(); } });
  }
}

QK.lookPreview = { init, redraw, tickerSegments };
}(window.QK = window.QK || {}));
