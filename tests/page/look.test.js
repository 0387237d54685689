// The Look tab: the look keys of audience.json with their documented types,
// and pictures written to their own documents before their version is bumped.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startBrowser } from './harness.js';
import { png } from './png.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

// The picture's size, from the IHDR of a PNG data URL.
function pngSize(dataUrl) {
  const bytes = Buffer.from(dataUrl.slice(dataUrl.indexOf('base64,') + 7), 'base64');
  return { width: bytes.readUInt32BE(16), height: bytes.readUInt32BE(20) };
}

const dataUrl = (bytes) => `data:image/png;base64,${bytes.toString('base64')}`;

// The host hands binary files out one character per byte (they are not UTF-8).
const asHostText = (bytes) => bytes.toString('latin1');

const BASE_KEYS = ['renderer', 'visible', 'isPlaying', 'venue', 'message', 'firstEmoji', 'rotation', 'next'];
const lookOf = (doc) => Object.fromEntries(Object.entries(doc).filter(([k]) => !BASE_KEYS.includes(k)));

async function openLook(seed) {
  const p = await browser.open(seed);
  await p.ready();
  await p.page.click('#tab-look');
  return p;
}

const id = (key) => `#look-${key.replace(/\./g, '-')}`;

// One edit for every field of the editor, made as the KJ makes it; numbers
// outside the display's range are brought into it.
const EDITS = [
  ['title', 'text', 'Friday Night'], ['subtitle', 'text', 'Sing your heart out'],
  ['venue', 'text', 'The Anchor'], ['message', 'text', 'Sign up at the bar'],
  ['messageColor', 'colour', '#33CCFF', '#33ccff'], ['listLabel', 'text', 'On deck'],
  ['idleCount', 'number', '0.4', 1], ['firstEmoji', 'text', '🎉'], ['firstColor', 'colour', '#00ff00'],
  ['appearance.enabled', 'check', true], ['appearance.color', 'colour', '#101820'],
  ['appearance.accent', 'colour', '#ffcc00'], ['appearance.text', 'colour', '#fafafa'],
  ['appearance.dim', 'colour', '#aabbcc'], ['appearance.bar', 'colour', '#202020'],
  ['appearance.shadowOn', 'check', false], ['appearance.shadow', 'colour', '#440044'],
  ['appearance.showTitle', 'check', false], ['appearance.showSubtitle', 'check', false],
  ['appearance.showMessage', 'check', false], ['appearance.showList', 'check', false],
  ['appearance.showListSongs', 'check', false], ['appearance.idleFirstNote', 'check', false],
  ['appearance.showNowPlaying', 'check', false], ['appearance.logoShow', 'check', false],
  ['appearance.logoWidth', 'number', '80', 45],
  ['edge', 'select', 'top'], ['speed', 'number', '20', 40],
  ['appearance.tickVenue', 'check', false], ['appearance.tickFirstNote', 'check', false],
  ['qr.url', 'text', 'https://example.test/req?v=1'], ['qr.size', 'number', '12.6', 13],
  ['qr.corner', 'select', 'tc'], ['qr.label', 'text', 'Request a song'],
  ['appearance.slides.enabled', 'check', true], ['appearance.slides.secs', 'number', '2.5', 2.5],
  ['danceOn', 'check', true], ['dance.cta', 'text', 'Everybody up!'],
  ['dance.title', 'text', 'September'], ['dance.artist', 'text', 'Earth, Wind & Fire'],
  ['dance.anims', 'anims', ['zoom', 'drift']], ['dance.gfxSize', 'number', '70', 60],
  ['dance.gfxSecs', 'number', '2', 3], ['dance.gfxOff', 'check', true],
];

test('the editor writes each look key the KJ sets, with its documented type, and keeps them for the next start', async (t) => {
  const p = await openLook();
  t.after(() => p.close());
  const fields = await p.page.evaluate(() => window.QK.look.FIELDS.map((f) => f.key));
  assert.deepEqual(EDITS.map(([key]) => key).sort(), fields.slice().sort(), 'every field is edited once below');
  assert.deepEqual(lookOf(await p.json('audience.json')), {}, 'nothing the KJ did not set');

  for (const [key, kind, input] of EDITS) {
    const loc = p.page.locator(id(key));
    if (kind === 'check') await loc.setChecked(input);
    else if (kind === 'select') await loc.selectOption(input);
    else if (kind === 'anims') for (const a of input) await loc.locator(`input[value="${a}"]`).check();
    else { await loc.fill(input); await loc.press('Tab'); }
  }
  const want = (key) => { const e = EDITS.find(([k]) => k === key); return e.length > 3 ? e[3] : e[2]; };
  const expected = {
    title: want('title'), subtitle: want('subtitle'), messageColor: want('messageColor'), listLabel: want('listLabel'),
    idleCount: want('idleCount'), firstColor: want('firstColor'), edge: want('edge'), speed: want('speed'),
    qr: { url: want('qr.url'), size: want('qr.size'), corner: want('qr.corner'), label: want('qr.label') },
    dance: {
      cta: want('dance.cta'), title: want('dance.title'), artist: want('dance.artist'), anims: want('dance.anims'),
      gfxSize: want('dance.gfxSize'), gfxSecs: want('dance.gfxSecs'), gfxOff: want('dance.gfxOff'),
    },
    appearance: Object.fromEntries(EDITS.filter(([k]) => k.startsWith('appearance.') && !k.includes('slides'))
      .map(([k]) => [k.slice('appearance.'.length), want(k)])),
  };
  expected.appearance.slides = { enabled: true, secs: 2.5 };
  const doc = await p.settled('audience.json', (d) => d.dance && d.dance.gfxOff === true);
  assert.deepEqual(lookOf(doc), expected);
  assert.deepEqual([doc.venue, doc.message, doc.firstEmoji], ['The Anchor', 'Sign up at the bar', '🎉']);
  const settings = await p.json('settings.json');
  assert.deepEqual([settings.venue, settings.message, settings.firstEmoji], ['The Anchor', 'Sign up at the bar', '🎉']);

  // Back to the default leaves the key out; dance mode off leaves "dance" out.
  await p.page.locator(id('appearance.shadow')).locator('xpath=..').locator('.look-reset').click();
  await p.page.locator(id('qr.label')).locator('xpath=..').locator('.look-reset').click();
  await p.page.locator(id('danceOn')).setChecked(false);
  const after = await p.settled('audience.json', (d) => !d.dance && d.qr && !('label' in d.qr));
  const left = structuredClone(expected);
  delete left.dance;
  delete left.qr.label;
  delete left.appearance.shadow;
  assert.deepEqual(lookOf(after), left);

  // The next start reads the look back and writes the same document.
  await p.settled('look.json', (d) => d.danceOn === false && d.keys.appearance && d.keys.qr && !('shadow' in d.keys.appearance) && !('label' in d.keys.qr));
  const files = await p.double(() => Object.fromEntries(window.__qkDouble.paths().map((f) => [f, window.__qkDouble.file(f)])));
  const again = await openLook({ files });
  t.after(() => again.close());
  assert.deepEqual(lookOf(await again.json('audience.json')), lookOf(after));
  assert.equal(await again.page.locator(id('dance.cta')).inputValue(), 'Everybody up!');
});

const LOGO = png(4, 2);
const BG = png(3, 3, () => [0, 0, 255, 255]);

// Picture slots and lists: each ends up in its document, written before the
// audience document that carries the new version.
const PICTURES = [
  { name: 'logo from the file picker', button: '#look-logo .look-choose', file: 'audience-assets.json',
    version: (d) => d.appearance && d.appearance.assetsVer, stored: (f) => f.logo, bytes: LOGO },
  { name: 'background dropped on its slot', drop: '#look-bg', file: 'audience-assets.json',
    version: (d) => d.appearance && d.appearance.assetsVer, stored: (f) => f.bg, bytes: BG },
  { name: 'slide from the file picker', button: '#look-slides .look-add', file: 'audience-slides.json',
    version: (d) => d.appearance && d.appearance.slides && d.appearance.slides.ver, stored: (f) => f[0].data, bytes: LOGO },
  { name: 'dance graphic dropped on the list', drop: '#look-graphics', file: 'dance-graphics.json',
    version: (d) => d.dance && d.dance.gfxVer, stored: (f) => f[0].data, bytes: BG, dance: true },
];

async function dropFile(p, selector, bytes, name) {
  await p.page.evaluate(([sel, data, fileName]) => {
    const dt = new DataTransfer();
    dt.items.add(new File([new Uint8Array(data)], fileName, { type: 'image/png' }));
    const target = document.querySelector(sel);
    target.dispatchEvent(new DragEvent('dragover', { dataTransfer: dt, bubbles: true, cancelable: true }));
    target.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
  }, [selector, Array.from(bytes), name]);
}

test('a picture is written to its document before the audience document names its new version', async (t) => {
  for (const c of PICTURES) {
    await t.test(c.name, async () => {
      const p = await openLook({ files: { '/pics/pic.png': asHostText(c.bytes) }, pickFile: ['/pics/pic.png'] });
      try {
        if (c.dance) await p.page.locator(id('danceOn')).setChecked(true);
        if (c.button) await p.page.click(c.button);
        else await dropFile(p, c.drop, c.bytes, 'pic.png');
        const src = c.version.toString();
        await p.until(([file, v]) => window.__qkDouble.state.log.some((w) => w.path.endsWith('/audience.json')
          // eslint-disable-next-line no-new-func
          && new Function('d', `return (${v})(d) === 1;`)(JSON.parse(w.content))), [c.file, src]);
        assert.equal(c.stored(await p.json(c.file)), dataUrl(c.bytes), 'the file\'s own bytes, as a data URL');
        const order = await p.double(([file, v]) => {
          const log = window.__qkDouble.state.log;
          // eslint-disable-next-line no-new-func
          const version = new Function('d', `return (${v})(d);`);
          return {
            picture: log.findIndex((w) => w.path.endsWith(`/${file}`)),
            bumped: log.findIndex((w) => w.path.endsWith('/audience.json') && version(JSON.parse(w.content)) === 1),
          };
        }, [c.file, src]);
        assert.ok(order.picture >= 0 && order.picture < order.bumped, JSON.stringify(order));
        assert.deepEqual(p.errors, []);
      } finally {
        await p.close();
      }
    });
  }
});

test('slides are added, reordered, hidden and removed, each change written and then its version bumped', async (t) => {
  const pics = [png(1, 1, () => [1, 0, 0, 255]), png(1, 1, () => [2, 0, 0, 255]), png(1, 1, () => [3, 0, 0, 255])];
  const files = Object.fromEntries(pics.map((b, i) => [`/pics/${i}.png`, asHostText(b)]));
  const p = await openLook({ files, pickFile: pics.map((_, i) => `/pics/${i}.png`) });
  t.after(() => p.close());
  for (let i = 1; i <= 3; i++) {
    await p.page.click('#look-slides .look-add');
    await p.page.locator('#look-slides li').nth(i - 1).waitFor();
  }
  const item = (n) => p.page.locator('#look-slides li').nth(n);
  await item(2).getByRole('button', { name: 'Move up' }).click();   // 0 2 1
  await p.settled('audience-slides.json', (d, want) => d[1].data === want, dataUrl(pics[2]));
  await item(0).getByRole('button', { name: 'Hide' }).click();      // 0(hidden) 2 1
  await p.settled('audience-slides.json', (d) => d[0].hidden);
  await item(2).getByRole('button', { name: 'Remove' }).click();    // 0(hidden) 2
  const slides = await p.settled('audience-slides.json', (d) => d.length === 2);
  assert.deepEqual(slides, [{ data: dataUrl(pics[0]), hidden: true }, { data: dataUrl(pics[2]), hidden: false }]);
  const doc = await p.settled('audience.json', (d) => d.appearance && d.appearance.slides && d.appearance.slides.ver === 6);
  assert.deepEqual(doc.appearance, { slides: { ver: 6 } });
  // Every write of the slides is followed by a bump, never the other way round.
  const log = await p.double(() => window.__qkDouble.state.log
    .filter((w) => /\/(audience|audience-slides)\.json$/.test(w.path))
    .map((w) => (w.path.endsWith('slides.json') ? 'slides' : ((JSON.parse(w.content).appearance || {}).slides || {}).ver || 0)));
  let version = 0;
  let written = 0;
  for (const w of log) {
    if (w === 'slides') written += 1;
    else { assert.ok(w <= written, `version ${w} after ${written} slide write(s)`); version = w; }
  }
  assert.equal(version, 6);
});

test('a picture over the display\'s pixel limit is scaled down to fit, proportions kept; a file that is no picture is refused', async (t) => {
  const huge = png(8200, 8200);
  const p = await openLook({
    files: { '/pics/huge.png': asHostText(huge), '/pics/notes.txt': 'not a picture' },
    pickFile: ['/pics/notes.txt', '/pics/huge.png'],
  });
  t.after(() => p.close());
  await p.page.click('#look-bg .look-choose');
  await p.page.locator('#errors .error', { hasText: '/pics/notes.txt cannot be used as a picture' }).waitFor();
  assert.equal(await p.json('audience-assets.json'), null);

  await p.page.click('#look-bg .look-choose');
  const assets = await p.settled('audience-assets.json', (d) => typeof d.bg === 'string');
  const { width, height } = pngSize(assets.bg);
  assert.ok(width * height <= 67108864 && width === height && width >= 8190, `${width}x${height}`);

  const fits = await p.page.evaluate(() => [[10000, 5000], [8193, 8192], [100000, 1], [8192, 8192]]
    .map(([w, h]) => window.QK.pictures.fittedSize(w, h)));
  fits.forEach(({ width: w, height: h }) => assert.ok(w * h <= 67108864, `${w}x${h}`));
  assert.deepEqual(fits[3], { width: 8192, height: 8192 });
  assert.ok(Math.abs(fits[0].width / fits[0].height - 2) < 0.001);
});

test('a picture that cannot be written leaves its document and its version as they were, and the page shows why', async (t) => {
  const p = await openLook({ files: { '/pics/a.png': asHostText(LOGO), '/pics/b.png': asHostText(BG) }, pickFile: ['/pics/a.png', '/pics/b.png'] });
  t.after(() => p.close());
  await p.double(() => window.__qkDouble.fail('writefile', 'write failed (replace)', 1, '/audience-assets.json'));
  await p.page.click('#look-logo .look-choose');
  await p.page.locator('#errors .error', { hasText: 'write failed (replace)' }).waitFor();
  assert.equal(await p.page.locator('#look-logo img').count(), 0);
  await p.page.click('#look-bg .look-choose');
  const doc = await p.settled('audience.json', (d) => d.appearance && d.appearance.assetsVer === 1);
  assert.deepEqual(await p.json('audience-assets.json'), { bg: dataUrl(BG) }, 'the logo that failed is not written later either');
  assert.deepEqual(doc.appearance, { assetsVer: 1 });
});
