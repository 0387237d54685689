// Small PNG files made in the test process, for pictures the page reads.
import { deflateSync } from 'node:zlib';

// zlib's crc32 is only in newer Node.js releases; Debian 12 ships Node.js 18.
const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([Buffer.from(type, 'latin1'), data])) >>> 0, 0);
  return Buffer.concat([head, data, crc]);
}

// An 8-bit RGBA PNG whose pixel (x, y) is pixel(x, y) ([r, g, b, a]); past a
// million pixels a 1-bit grey picture of zeros, which stays small on disk
// however large it is.
export function png(width, height, pixel = () => [255, 0, 0, 255]) {
  const bilevel = width * height > 1e6;
  const rowBytes = bilevel ? Math.ceil(width / 8) : width * 4;
  const raw = Buffer.alloc((rowBytes + 1) * height);
  if (!bilevel) {
    for (let y = 0; y < height; y++) for (let x = 0; x < width; x++) raw.set(pixel(x, y), y * (rowBytes + 1) + 1 + x * 4);
  }
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(width, 0);
  ihdr.writeUInt32BE(height, 4);
  ihdr.set([bilevel ? 1 : 8, bilevel ? 0 : 6, 0, 0, 0], 8);
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', ihdr), chunk('IDAT', deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}
