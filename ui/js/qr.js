// A small QR code maker for the audience page: byte mode, error correction
// level M (15 % of the code may be covered or dirty: a screen across a bar),
// versions 1 to 10, which hold up to 213 bytes, plenty for a link.
// encode(text) → { size, dark(x, y) } or null when the text does not fit.
(function (QK) {
'use strict';

const MAX_VERSION = 10;
// Per version: all codewords, error-correction codewords per block, blocks (level M).
const TOTAL = [0, 26, 44, 70, 100, 134, 172, 196, 242, 292, 346];
const EC_PER_BLOCK = [0, 10, 16, 26, 18, 24, 16, 18, 22, 22, 26];
const BLOCKS = [0, 1, 1, 1, 2, 2, 4, 4, 4, 5, 5];
const LEVEL_M_BITS = 0;

const bit = (value, i) => ((value >>> i) & 1) !== 0;

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x^2 + 1.
function gfMul(x, y) {
  let z = 0;
  for (let i = 7; i >= 0; i--) {
    z = (z << 1) ^ ((z >>> 7) * 0x11d);
    z ^= ((y >>> i) & 1) * x;
  }
  return z;
}

function rsDivisor(degree) {
  const out = new Array(degree).fill(0);
  out[degree - 1] = 1;
  let root = 1;
  for (let i = 0; i < degree; i++) {
    for (let j = 0; j < degree; j++) {
      out[j] = gfMul(out[j], root);
      if (j + 1 < degree) out[j] ^= out[j + 1];
    }
    root = gfMul(root, 2);
  }
  return out;
}

function rsRemainder(data, divisor) {
  const out = divisor.map(() => 0);
  for (const b of data) {
    const factor = b ^ out.shift();
    out.push(0);
    divisor.forEach((c, i) => { out[i] ^= gfMul(c, factor); });
  }
  return out;
}

const dataCodewords = (v) => TOTAL[v] - EC_PER_BLOCK[v] * BLOCKS[v];

function alignmentPositions(v, size) {
  if (v === 1) return [];
  const n = Math.floor(v / 7) + 2;
  const step = Math.ceil((v * 4 + 4) / (n * 2 - 2)) * 2;
  const out = [6];
  for (let pos = size - 7; out.length < n; pos -= step) out.splice(1, 0, pos);
  return out;
}

// The message's codewords: mode, length, bytes, terminator, padding; then
// split into blocks, each with its error correction, and interleaved.
function codewords(bytes, v) {
  const bits = [];
  const put = (value, n) => { for (let i = n - 1; i >= 0; i--) bits.push((value >>> i) & 1); };
  put(4, 4);
  put(bytes.length, v < 10 ? 8 : 16);
  bytes.forEach((b) => put(b, 8));
  const capacity = dataCodewords(v) * 8;
  put(0, Math.min(4, capacity - bits.length));
  put(0, (8 - (bits.length % 8)) % 8);
  for (let pad = 0xec; bits.length < capacity; pad ^= 0xec ^ 0x11) put(pad, 8);
  const data = [];
  for (let i = 0; i < bits.length; i += 8) data.push(bits.slice(i, i + 8).reduce((a, b) => (a << 1) | b, 0));

  const ecLen = EC_PER_BLOCK[v];
  const blocks = BLOCKS[v];
  const shortLen = Math.floor(TOTAL[v] / blocks);
  const shortBlocks = blocks - (TOTAL[v] % blocks);
  const divisor = rsDivisor(ecLen);
  const split = [];
  for (let i = 0, k = 0; i < blocks; i++) {
    const len = shortLen - ecLen + (i < shortBlocks ? 0 : 1);
    const dat = data.slice(k, k + len);
    k += len;
    split.push({ dat, ec: rsRemainder(dat, divisor) });
  }
  const out = [];
  for (let i = 0; i <= shortLen - ecLen; i++) split.forEach((b) => { if (i < b.dat.length) out.push(b.dat[i]); });
  for (let i = 0; i < ecLen; i++) split.forEach((b) => out.push(b.ec[i]));
  return out;
}

const MASKS = [
  (x, y) => (x + y) % 2 === 0,
  (x, y) => y % 2 === 0,
  (x) => x % 3 === 0,
  (x, y) => (x + y) % 3 === 0,
  (x, y) => (Math.floor(x / 3) + Math.floor(y / 2)) % 2 === 0,
  (x, y) => ((x * y) % 2) + ((x * y) % 3) === 0,
  (x, y) => (((x * y) % 2) + ((x * y) % 3)) % 2 === 0,
  (x, y) => (((x + y) % 2) + ((x * y) % 3)) % 2 === 0,
];

class Matrix {
  constructor(v) {
    this.v = v;
    this.size = v * 4 + 17;
    this.dark = Array.from({ length: this.size }, () => new Array(this.size).fill(false));
    this.fixed = Array.from({ length: this.size }, () => new Array(this.size).fill(false));
  }

  set(x, y, on) { this.dark[y][x] = on; this.fixed[y][x] = true; }

  drawPatterns() {
    const { size } = this;
    for (let i = 0; i < size; i++) { this.set(6, i, i % 2 === 0); this.set(i, 6, i % 2 === 0); }
    for (const [cx, cy] of [[3, 3], [size - 4, 3], [3, size - 4]]) {
      for (let dy = -4; dy <= 4; dy++) {
        for (let dx = -4; dx <= 4; dx++) {
          const x = cx + dx;
          const y = cy + dy;
          const d = Math.max(Math.abs(dx), Math.abs(dy));
          if (x >= 0 && x < size && y >= 0 && y < size) this.set(x, y, d !== 2 && d !== 4);
        }
      }
    }
    const pos = alignmentPositions(this.v, size);
    const last = pos.length - 1;
    pos.forEach((ay, i) => pos.forEach((ax, j) => {
      if ((i === 0 && j === 0) || (i === 0 && j === last) || (i === last && j === 0)) return;
      for (let dy = -2; dy <= 2; dy++) {
        for (let dx = -2; dx <= 2; dx++) this.set(ax + dx, ay + dy, Math.max(Math.abs(dx), Math.abs(dy)) !== 1);
      }
    }));
    this.drawFormat(0); // reserves the format areas; drawn for real once the mask is chosen
    if (this.v >= 7) {
      let rem = this.v;
      for (let i = 0; i < 12; i++) rem = (rem << 1) ^ ((rem >>> 11) * 0x1f25);
      const bits = (this.v << 12) | rem;
      for (let i = 0; i < 18; i++) {
        const a = size - 11 + (i % 3);
        const b = Math.floor(i / 3);
        this.set(a, b, bit(bits, i));
        this.set(b, a, bit(bits, i));
      }
    }
  }

  drawFormat(mask) {
    const { size } = this;
    const data = (LEVEL_M_BITS << 3) | mask;
    let rem = data;
    for (let i = 0; i < 10; i++) rem = (rem << 1) ^ ((rem >>> 9) * 0x537);
    const bits = ((data << 10) | rem) ^ 0x5412;
    for (let i = 0; i <= 5; i++) this.set(8, i, bit(bits, i));
    this.set(8, 7, bit(bits, 6));
    this.set(8, 8, bit(bits, 7));
    this.set(7, 8, bit(bits, 8));
    for (let i = 9; i < 15; i++) this.set(14 - i, 8, bit(bits, i));
    for (let i = 0; i < 8; i++) this.set(size - 1 - i, 8, bit(bits, i));
    for (let i = 8; i < 15; i++) this.set(8, size - 15 + i, bit(bits, i));
    this.set(8, size - 8, true);
  }

  // Codeword bits in the zigzag of two-module columns, right to left.
  drawData(words) {
    const { size } = this;
    let i = 0;
    for (let right = size - 1; right >= 1; right -= 2) {
      if (right === 6) right = 5;
      for (let vert = 0; vert < size; vert++) {
        for (let j = 0; j < 2; j++) {
          const x = right - j;
          const up = ((right + 1) & 2) === 0;
          const y = up ? size - 1 - vert : vert;
          if (!this.fixed[y][x] && i < words.length * 8) {
            this.dark[y][x] = bit(words[i >>> 3], 7 - (i & 7));
            i++;
          }
        }
      }
    }
  }

  applyMask(mask) {
    const fn = MASKS[mask];
    for (let y = 0; y < this.size; y++) {
      for (let x = 0; x < this.size; x++) if (!this.fixed[y][x] && fn(x, y)) this.dark[y][x] = !this.dark[y][x];
    }
  }

  // The standard's penalty: runs, 2×2 blocks, finder look-alikes, balance.
  penalty() {
    const { size, dark } = this;
    let score = 0;
    const line = (get) => {
      let run = 1;
      for (let i = 1; i <= size; i++) {
        if (i < size && get(i) === get(i - 1)) { run++; continue; }
        if (run >= 5) score += run - 2;
        run = 1;
      }
      for (let i = 0; i + 11 <= size; i++) {
        const s = Array.from({ length: 11 }, (_, k) => (get(i + k) ? 1 : 0)).join('');
        if (s === '10111010000' || s === '00001011101') score += 40;
      }
    };
    for (let y = 0; y < size; y++) line((x) => dark[y][x]);
    for (let x = 0; x < size; x++) line((y) => dark[y][x]);
    let count = 0;
    for (let y = 0; y < size; y++) {
      for (let x = 0; x < size; x++) {
        if (dark[y][x]) count++;
        if (x + 1 < size && y + 1 < size) {
          const c = dark[y][x];
          if (c === dark[y][x + 1] && c === dark[y + 1][x] && c === dark[y + 1][x + 1]) score += 3;
        }
      }
    }
    const total = size * size;
    score += (Math.ceil(Math.abs(count * 20 - total * 10) / total) - 1) * 10;
    return score;
  }
}

function encode(text) {
  const bytes = Array.from(new TextEncoder().encode(String(text)));
  let v = 1;
  while (v <= MAX_VERSION && 4 + (v < 10 ? 8 : 16) + bytes.length * 8 > dataCodewords(v) * 8) v++;
  if (v > MAX_VERSION) return null;
  const m = new Matrix(v);
  m.drawPatterns();
  m.drawData(codewords(bytes, v));
  let best = 0;
  let bestScore = Infinity;
  for (let mask = 0; mask < 8; mask++) {
    m.applyMask(mask);
    m.drawFormat(mask);
    const s = m.penalty();
    if (s < bestScore) { best = mask; bestScore = s; }
    m.applyMask(mask); // masking twice undoes it
  }
  m.applyMask(best);
  m.drawFormat(best);
  return { version: v, size: m.size, dark: (x, y) => m.dark[y][x] };
}

// Draws the code with its quiet zone of four light modules into a canvas.
function drawQr(canvas, text, { scale = 8 } = {}) {
  const qr = encode(text);
  if (!qr) return null;
  const side = (qr.size + 8) * scale;
  canvas.width = side;
  canvas.height = side;
  const g = canvas.getContext('2d');
  g.fillStyle = '#ffffff';
  g.fillRect(0, 0, side, side);
  g.fillStyle = '#000000';
  for (let y = 0; y < qr.size; y++) {
    for (let x = 0; x < qr.size; x++) if (qr.dark(x, y)) g.fillRect((x + 4) * scale, (y + 4) * scale, scale, scale);
  }
  return qr;
}

QK.qr = { encode, drawQr, gfMul, rsRemainder, rsDivisor };
}(window.QK = window.QK || {}));
