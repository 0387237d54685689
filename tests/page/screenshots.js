// Takes the page's screenshots for the documentation (docs/page-rotation.png,
// docs/page-settings.png, docs/page-soundboard.png, docs/page-appearance.png) with the bridge double and a
// small night of singers. Run: node screenshots.js (from tests/page, after npm ci).
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { startBrowser, DATA, NOW, NOW_ISO } from './harness.js';
import { png } from './png.js';

const docs = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../docs');
const s = (name, isNew, held, songs) => ({
  id: `s${name.length}${name[0]}`, name, isNew, held,
  songs: songs.map(([artist, title]) => ({ path: `/music/${artist} - ${title}.mp3`, title, artist })),
});
const show = {
  format: 1, name: '2026-12-10', startedAt: NOW_ISO,
  queue: [
    s('Marisol', true, false, [['Gloria Gaynor', 'I Will Survive']]),
    s('Big Dave', false, false, [['Bon Jovi', "Livin' on a Prayer"], ['Queen', 'Somebody to Love']]),
    s('Priya', false, true, [['Adele', 'Rolling in the Deep']]),
    s('The Tuesday Trio', false, false, []),
    s('Kenji', true, false, [['a-ha', 'Take On Me']]),
    s('Lou', false, false, [['Dolly Parton', '9 to 5']]),
  ],
  performances: [],
};
const seed = {
  files: {
    [`${DATA}/settings.json`]: JSON.stringify({
      currentShow: '2026-12-10.json', venue: 'The Anchor', message: 'Sign up at the bar!',
      musicFolder: '/home/kj/Music/Karaoke', bgFolder: '/home/kj/Music/Lounge', audienceScreen: 1,
      soundPads: [
        ['Air horn', 'airhorn.wav', 1.5, 'q'], ['Applause', 'applause.wav', 1, 'w'], ['Drum roll', 'drumroll.wav', 1, 'd'],
        ['Rimshot', 'rimshot.ogg', 0.8, 'x'], ['Sad trombone', 'sad-trombone.mp3', 1.2, 'z'], ['Happy birthday', 'birthday.mp3', 0.6, ''],
      ].map(([name, file, vol, key], i) => ({ id: `p${i + 1}`, name, path: `/home/kj/Sounds/${file}`, vol, key })),
    }),
    [`${DATA}/sound-state.json`]: JSON.stringify({ active: [{ id: 'p2', rem: 7400 }, { id: 'p6', rem: 41000 }], at: NOW, v: 1 }),
    [`${DATA}/shows/2026-12-10.json`]: JSON.stringify(show),
    ['/bg/Lounge - Night Drive.mp3']: '',
  },
  displays: [
    { index: 0, name: 'Display 1', width: 1920, height: 1080, main: true },
    { index: 1, name: 'Display 2', width: 1280, height: 720, main: false },
  ],
};

// A round mark and a bar in the accent colour.
const logoPng = () => png(120, 40, (x, y) => (((x - 20) ** 2 + (y - 20) ** 2 < 324) || (x > 46 && x < 114 && y > 12 && y < 28)
  ? [255, 122, 26, 255] : [0, 0, 0, 0]));
const lookFiles = {
  [`${DATA}/look.json`]: JSON.stringify({
    danceOn: false,
    keys: {
      subtitle: 'Every Thursday from 9', messageColor: '#7fd3ff', listLabel: 'Coming up', firstColor: '#5dd39e',
      qr: { url: 'https://example.test/request', size: 14, corner: 'br', label: 'Request a song' },
      appearance: { assetsVer: 1, accent: '#ff7a1a', logoWidth: 14 },
    },
  }),
  [`${DATA}/audience-assets.json`]: JSON.stringify({ logo: `data:image/png;base64,${logoPng().toString('base64')}` }),
};

const browser = await startBrowser();
try {
  const p = await browser.open(seed, { viewport: { width: 1280, height: 760 } });
  await p.ready();
  await p.pad('playnext');
  await p.settled('audience.json', (d) => d.isPlaying);
  await p.double(() => { window.__qkDouble.deck(1).position = 0.4; });
  await p.page.waitForTimeout(800);
  await p.select('Big Dave');
  await p.page.screenshot({ path: path.join(docs, 'page-rotation.png') });
  await p.page.click('#tab-settings');
  await p.page.screenshot({ path: path.join(docs, 'page-settings.png') });
  await p.page.click('#tab-sounds');
  await p.page.setViewportSize({ width: 1280, height: 940 });
  await p.page.locator('.pad.playing').nth(1).waitFor();
  await p.page.screenshot({ path: path.join(docs, 'page-soundboard.png') });
  await p.close();

  // The Look tab with a logo, a QR code, colours and dance mode.
  const look = await browser.open({ ...seed, files: { ...seed.files, ...lookFiles } }, { viewport: { width: 1600, height: 1000 } });
  await look.ready();
  await look.page.click('#tab-look');
  await look.page.waitForTimeout(600);
  await look.page.screenshot({ path: path.join(docs, 'page-appearance.png'), fullPage: true });
  await look.close();
} finally {
  await browser.close();
}
