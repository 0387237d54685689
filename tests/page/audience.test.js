// The audience page (ui/audience.html): drawn from audience.json in the data
// folder found from the host's folder, on a transparent background, with a QR
// code that a real reader (zbarimg) reads back.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, rmSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { startBrowser } from './harness.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

const zbarimg = ['/usr/bin/zbarimg', '/usr/local/bin/zbarimg'].find((p) => existsSync(p));

// Reads the QR code in a PNG (given as a data URL) with zbarimg.
function readQr(dataUrl) {
  const dir = mkdtempSync(path.join(tmpdir(), 'qk-qr-'));
  try {
    const file = path.join(dir, 'qr.png');
    writeFileSync(file, Buffer.from(dataUrl.split(',')[1], 'base64'));
    return execFileSync(zbarimg, ['--raw', '-q', file], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).replace(/\n$/, '');
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

const AUDIENCE = '/srv/kj/VirtualDJ/QuorvaleKaraoke/audience.json';
const DOC = {
  renderer: 'pipeline', visible: true, isPlaying: true, venue: 'The Anchor', message: 'Sign up at the bar!',
  firstEmoji: '⭐', listLabel: 'On deck', idleCount: 4,
  current: { singer: 'Ann', title: 'Africa', isNew: true },
  next: [{ singer: 'Bob', title: 'Jolene', isNew: false, needsSong: false, wait: 'next' }, { singer: '' },
    { singer: 'Cleo', isNew: false, needsSong: true, wait: '~4 min' }],
  rotation: [{ singer: 'Bob', title: 'Jolene', isNew: false, needsSong: false, wait: 'next' }, 7,
    { singer: 'Cleo', isNew: false, needsSong: true, wait: '~4 min' }, { singer: '<i>Dee</i>', title: 'Hello', wait: '~8 min' },
    { singer: 'Not shown' }],
  qr: { url: 'https://example.com/request?venue=anchor', label: 'Request a song' },
  appearance: { accent: '#22aaff' },
};

test('the audience page draws now singing, up next, the rotation and the QR code from audience.json', async (t) => {
  const p = await browser.open({ home: '/srv/kj/VirtualDJ', files: { [AUDIENCE]: JSON.stringify(DOC) } },
    { page: 'audience.html', viewport: { width: 1280, height: 720 } });
  t.after(() => p.close());
  await p.page.locator('#aud-now-singer', { hasText: 'Ann' }).waitFor();
  const texts = (sel) => p.page.locator(sel).allTextContents();
  assert.equal(await p.page.textContent('#aud-title'), 'KARAOKE @ The Anchor');
  assert.deepEqual([await p.page.textContent('#aud-now-singer'), await p.page.textContent('#aud-now-song')], ['⭐ Ann', 'Africa']);
  assert.deepEqual(await texts('#aud-next-list li'), ['Bobnext', 'CleoSong selection needed']);
  assert.equal(await p.page.textContent('#aud-list-label'), 'ON DECK');
  assert.deepEqual(await texts('#aud-rotation-list li'),
    ['1.BobJolene', '2.Open Slot', '3.CleoSong selection needed', '4.<i>Dee</i>Hello~8 min']);
  assert.equal(await p.page.textContent('#aud-message'), 'Sign up at the bar!');
  assert.equal(await p.page.textContent('#aud-qr-label'), 'Request a song');
  // Transparent, so the window shows what is behind it; the colours follow the look.
  assert.deepEqual(await p.page.evaluate(() => [getComputedStyle(document.documentElement).backgroundColor,
    getComputedStyle(document.body).backgroundColor, getComputedStyle(document.querySelector('.aud-title')).color]),
  ['rgba(0, 0, 0, 0)', 'rgba(0, 0, 0, 0)', 'rgb(34, 170, 255)']);
  if (zbarimg) {
    assert.equal(readQr(await p.page.evaluate(() => document.getElementById('aud-qr-code').toDataURL('image/png'))), DOC.qr.url);
  } else {
    t.diagnostic('zbarimg is not installed: the QR code was not read back');
  }

  // The next song: the page follows the file.
  const after = { ...DOC, isPlaying: false, current: undefined, qr: undefined, message: '' };
  await p.double(([f, text]) => window.__qkDouble.put(f, text), [AUDIENCE, JSON.stringify(after)]);
  await p.until(() => document.getElementById('aud-now').hidden && document.getElementById('aud-qr').hidden);
  assert.equal(await p.page.isHidden('#aud-message'), true);
  assert.deepEqual(await texts('#aud-next-list li'), ['Bobnext', 'CleoSong selection needed']);
});

test('QR codes of every size the page makes read back as the text they carry', { skip: !zbarimg && 'zbarimg is not installed' }, async (t) => {
  const p = await browser.open({}, { page: 'audience.html' });
  t.after(() => p.close());
  const texts = [
    'a',
    'https://qk.example/r', // version 2 at the boundary of version 1
    'https://example.com/requests?venue=the-anchor&night=2026-12-10', // several blocks
    'Ünïcødé ⭐ karaoke — ça marche',
    'x'.repeat(120), // version 7 and up carry version information
    'https://example.com/' + 'y'.repeat(193), // 213 bytes: the largest version
  ];
  for (const text of texts) {
    const drawn = await p.page.evaluate((s) => {
      const c = document.createElement('canvas');
      const qr = window.QK.qr.drawQr(c, s, { scale: 6 });
      return { version: qr.version, png: c.toDataURL('image/png') };
    }, text);
    assert.equal(readQr(drawn.png), text, `version ${drawn.version}`);
  }
  assert.equal(await p.page.evaluate(() => window.QK.qr.encode('z'.repeat(214))), null);
  assert.deepEqual(await p.page.evaluate((list) => list.map((s) => window.QK.qr.encode(s).version), texts), [1, 2, 4, 3, 7, 10]);
});
