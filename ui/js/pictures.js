// Pictures for the audience display: a file chosen in the host's picker (read
// through "readfile") or dropped on the page, turned into a data URL the
// overlay decodes. The overlay refuses pictures of more than 67,108,864
// pixels, so larger ones are scaled down here before they are encoded.
(function (QK) {
'use strict';

const { readText } = QK.bridge;

const MAX_PIXELS = 67108864;

const SIGNATURES = [
  ['image/png', [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]],
  ['image/jpeg', [0xff, 0xd8, 0xff]],
  ['image/gif', [0x47, 0x49, 0x46, 0x38]],
  ['image/bmp', [0x42, 0x4d]],
];

function pictureType(bytes) {
  for (const [type, head] of SIGNATURES) {
    if (bytes.length >= head.length && head.every((b, i) => bytes[i] === b)) return type;
  }
  const ascii = (from, to) => String.fromCharCode(...bytes.subarray(from, to));
  if (bytes.length >= 12 && ascii(0, 4) === 'RIFF' && ascii(8, 12) === 'WEBP') return 'image/webp';
  return '';
}

// The host hands a file out as text: UTF-8 when the bytes are valid UTF-8,
// otherwise one character per byte (ISO-8859-1). Picture files are almost
// never valid UTF-8, so their characters are their bytes; a text that holds a
// character above U+00FF was decoded as UTF-8 and is encoded back.
function bytesOfText(text) {
  for (let i = 0; i < text.length; i++) {
    if (text.charCodeAt(i) > 0xff) return new TextEncoder().encode(text);
  }
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
  return bytes;
}

function base64(bytes) {
  let out = '';
  const STEP = 0x8000; // apply() takes a bounded number of arguments
  for (let i = 0; i < bytes.length; i += STEP) out += String.fromCharCode.apply(null, bytes.subarray(i, i + STEP));
  return btoa(out);
}

function decodeImage(blob) {
  const url = URL.createObjectURL(blob);
  return new Promise((resolve, reject) => {
    const img = new Image();
    img.onload = () => resolve(img);
    img.onerror = () => reject(new Error('the picture could not be decoded'));
    img.src = url;
  }).finally(() => URL.revokeObjectURL(url));
}

// The largest size with the picture's proportions that stays within the limit.
function fittedSize(width, height, maxPixels = MAX_PIXELS) {
  if (width * height <= maxPixels) return { width, height };
  const f = Math.sqrt(maxPixels / (width * height));
  let w = Math.max(1, Math.floor(width * f));
  let h = Math.max(1, Math.floor(height * f));
  while (w * h > maxPixels) { if (w >= h) w -= 1; else h -= 1; }
  return { width: w, height: h };
}

function pictureError(name, why) {
  const err = new Error(`${name} cannot be used as a picture: ${why}.`);
  err.userFacing = true;
  return err;
}

// bytes → "data:<type>;base64,…". A picture within the limit keeps its own
// bytes; a larger one is drawn smaller on a canvas (JPEG stays JPEG, the rest
// becomes PNG, which keeps transparency).
async function dataUrlOf(bytes, name = 'The file') {
  const type = pictureType(bytes);
  if (!type) throw pictureError(name, 'not a PNG, JPEG, GIF, BMP or WebP file');
  const img = await decodeImage(new Blob([bytes], { type })).catch(() => { throw pictureError(name, 'it could not be decoded'); });
  const size = fittedSize(img.naturalWidth, img.naturalHeight);
  if (size.width === img.naturalWidth && size.height === img.naturalHeight) return `data:${type};base64,${base64(bytes)}`;
  const canvas = document.createElement('canvas');
  canvas.width = size.width;
  canvas.height = size.height;
  const ctx = canvas.getContext('2d');
  ctx.imageSmoothingQuality = 'high';
  ctx.drawImage(img, 0, 0, size.width, size.height);
  const out = type === 'image/jpeg' ? 'image/jpeg' : 'image/png';
  const url = canvas.toDataURL(out, 0.92);
  canvas.width = 0; // gives the large backing store back at once
  if (!url.startsWith(`data:${out};base64,`)) throw pictureError(name, 'it is too large to be scaled down here');
  return url;
}

async function dataUrlOfPath(path) {
  const text = await readText(path);
  if (text === null) throw pictureError(path, 'it could not be read');
  return dataUrlOf(bytesOfText(text), path);
}

async function dataUrlOfFile(file) {
  return dataUrlOf(new Uint8Array(await file.arrayBuffer()), file.name || 'The file');
}

QK.pictures = { MAX_PIXELS, pictureType, bytesOfText, fittedSize, dataUrlOf, dataUrlOfPath, dataUrlOfFile };
}(window.QK = window.QK || {}));
