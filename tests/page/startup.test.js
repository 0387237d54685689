// Start-up: the data folder, the end-show marker's offer, and errors that
// must be seen rather than lose anything.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startBrowser, SHOW_FILE, NOW_ISO, DATA } from './harness.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

test('the data folder is derived from the host folder as the plug-ins derive it', async (t) => {
  const p = await browser.open({ home: '/srv/kj//VirtualDJ//' });
  t.after(() => p.close());
  await p.ready();
  assert.deepEqual(await p.double(() => [window.__qkDouble.state.dataDir, window.__qkDouble.state.writeRoots]),
    ['/srv/kj//VirtualDJ/QuorvaleKaraoke', ['/srv/kj//VirtualDJ/QuorvaleKaraoke']]);

  const cases = [
    ['/home/kj/VirtualDJ', '/home/kj/VirtualDJ/QuorvaleKaraoke'],
    ['/home/kj/VirtualDJ///', '/home/kj/VirtualDJ/QuorvaleKaraoke'],
    ['C:\\Users\\kj\\Documents\\VirtualDJ\\', 'C:\\Users\\kj\\Documents\\VirtualDJ\\QuorvaleKaraoke'],
    ['C:/Users/kj/VirtualDJ//\\', 'C:\\Users\\kj\\VirtualDJ\\QuorvaleKaraoke'],
    ['\\\\server\\share\\VirtualDJ', '\\\\server\\share\\VirtualDJ\\QuorvaleKaraoke'],
  ];
  const got = await p.page.evaluate(async (list) => {
    return list.map(([host]) => window.QK.paths.dataFolderFrom(host));
  }, cases);
  assert.deepEqual(got, cases.map(([, want]) => want));
});

const LAST_NIGHT = {
  format: 1, name: '2026-12-09', startedAt: '2026-12-09T19:00:00Z',
  queue: [
    { id: 's1', name: 'Ann', isNew: false, held: false, songs: [{ path: '/m/a.mp3', title: 'A', artist: '' }] },
    { id: 's2', name: 'Bob', isNew: true, held: false, songs: [] },
  ],
  performances: [{ singer: 'Ann', title: 'Z', artist: '', path: '/m/z.mp3', at: '2026-12-09T21:00:00Z', isNew: true }],
};
const MARKER = '{"ask":true,"at":"2026-12-10T02:13:00Z","perf":1,"rot":2,"show":"2026-12-09.json"}';

function markerSeed(show = LAST_NIGHT) {
  return {
    files: {
      [`${DATA}/settings.json`]: JSON.stringify({ currentShow: '2026-12-09.json', endShowOnQuit: true }),
      [`${DATA}/shows/2026-12-09.json`]: JSON.stringify(show),
      [`${DATA}/pending-end-show.json`]: MARKER,
    },
  };
}

test('the end-show marker offers to carry on with the show or to end it, and is deleted either way', async (t) => {
  const cases = [
    {
      button: '#ask-yes', // Carry on
      currentShow: '2026-12-09.json',
      lastNight: LAST_NIGHT,
      rotation: ['Ann', 'Bob'],
    },
    {
      button: '#ask-no', // End that show
      currentShow: '2026-12-10.json',
      lastNight: { ...LAST_NIGHT, endedAt: NOW_ISO },
      tonight: { format: 1, name: '2026-12-10', startedAt: NOW_ISO, queue: [], performances: [] },
      rotation: [],
    },
  ];
  for (const c of cases) {
    await t.test(c.button, async () => {
      const p = await browser.open(markerSeed());
      try {
        const dialog = p.page.locator('#ask-dialog');
        await dialog.waitFor();
        assert.equal(await p.page.textContent('#ask-text'),
          'The show “2026-12-09” was still running (VirtualDJ closed at 2026-12-10T02:13:00Z): '
          + '2 singer(s) in the rotation, 1 performance(s). End it, or carry on with it tonight?');
        await p.page.click(c.button);
        await p.ready();
        await p.until(() => window.__qkDouble.file(`${'/home/kj/VirtualDJ/QuorvaleKaraoke'}/pending-end-show.json`) === null);
        assert.equal((await p.json('settings.json')).currentShow, c.currentShow);
        assert.deepEqual(await p.json('shows/2026-12-09.json'), c.lastNight);
        assert.deepEqual(await p.json(SHOW_FILE), c.tonight || null);
        assert.deepEqual((await p.json('audience.json')).rotation.map((r) => r.singer), c.rotation);
        assert.deepEqual(await p.page.locator('#rotation .name').allTextContents(), c.rotation);
        assert.deepEqual(p.errors, []);
      } finally {
        await p.close();
      }
    });
  }
});

test('a marker for a show that was already ended asks nothing and is deleted', async (t) => {
  const p = await browser.open(markerSeed({ ...LAST_NIGHT, endedAt: '2026-12-09T23:00:00Z' }));
  t.after(() => p.close());
  await p.ready();
  await p.until(() => window.__qkDouble.paths().every((f) => !f.endsWith('pending-end-show.json')));
  assert.equal(await p.page.locator('#ask-dialog').isVisible(), false);
  assert.equal((await p.json('settings.json')).currentShow, '2026-12-10.json');
});

test('a failed save is shown, keeps the data in memory and is written with the next change', async (t) => {
  const p = await browser.open();
  t.after(() => p.close());
  await p.ready();
  await p.double(() => window.__qkDouble.fail('writefile', 'write failed (replace)'));
  await p.addSinger('Ann');
  await p.page.locator('.error', { hasText: 'Could not save a file: write failed (replace) (code -1)' }).first().waitFor();
  await p.page.locator('#save-state', { hasText: 'NOT SAVED – kept in memory' }).waitFor();

  await p.double(() => window.__qkDouble.heal('writefile'));
  await p.addSinger('Bob');
  const show = await p.settled(SHOW_FILE, (d) => d.queue.length === 2);
  assert.deepEqual(show.queue.map((s) => s.name), ['Ann', 'Bob']);
  await p.page.locator('#save-state', { hasText: /^saved$/ }).waitFor();
});

test('a request the host never answers becomes a visible time-out', async (t) => {
  const p = await browser.open({ silent: ['getstring'] });
  t.after(() => p.close());
  await p.page.locator('.error', { hasText: 'Could not ask VirtualDJ for a text: no answer after 8 s' })
    .waitFor({ timeout: 12000 });
});

test('a settings file that is not JSON is kept aside as a backup instead of being overwritten', async (t) => {
  const p = await browser.open({ files: { [`${DATA}/settings.json`]: '{"venue": "The Anch' } });
  t.after(() => p.close());
  await p.ready();
  const backup = `${DATA}/QuorvaleKaraoke-backup-settings-20261210-200000.json`;
  assert.equal(await p.double((f) => window.__qkDouble.file(f), backup), '{"venue": "The Anch');
  await p.page.locator('.error', { hasText: `settings.json could not be read (not valid JSON); a copy was kept as ${backup}.` }).waitFor();
});

test('settings of the wrong type keep their defaults, unknown members are kept, a show name cannot leave shows/', async (t) => {
  const p = await browser.open({
    files: {
      [`${DATA}/settings.json`]: JSON.stringify({
        minutesPerSong: 'four', venue: 5, endShowOnQuit: 'no', message: 'Hi', fromElsewhere: [1], currentShow: '../audience.json',
      }),
    },
  });
  t.after(() => p.close());
  await p.ready();
  assert.deepEqual(await p.settled('settings.json', (d) => d.currentShow === '2026-12-10.json'), {
    endShowOnQuit: true, currentShow: '2026-12-10.json', musicFolder: '', bgFolder: '', audienceScreen: 0,
    venue: '', message: 'Hi', firstEmoji: '⭐', minutesPerSong: 4, overlayVisible: true, fromElsewhere: [1],
  });
  assert.equal((await p.json('audience.json')).message, 'Hi');
});
