// A night at the decks: play next, the end of a song, background music, the
// audience switch, checked in the deck commands and the documents written.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startBrowser, SHOW_FILE, NOW_ISO, DATA } from './harness.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

const ANN_SONG = "/music/Queen - Don't Stop Me Now.mp3";
const BOB_SONG = '/music/Toto - Africa.mp3';
const BG = ['/bg/Chill - One.mp3', '/bg/Chill - Two.mp3'];

function night(extra = {}) {
  return {
    files: {
      [`${DATA}/settings.json`]: JSON.stringify({ currentShow: '2026-12-10.json', bgFolder: '/bg', audienceScreen: 1 }),
      [`${DATA}/shows/2026-12-10.json`]: JSON.stringify({
        format: 1, name: '2026-12-10', startedAt: NOW_ISO, performances: [],
        queue: [
          { id: 's1', name: 'Ann', isNew: true, held: false, songs: [{ path: ANN_SONG, title: "Don't Stop Me Now", artist: 'Queen' }] },
          { id: 's2', name: 'Bob', isNew: false, held: false, songs: [{ path: BOB_SONG, title: 'Africa', artist: 'Toto' }] },
        ],
      }),
      [BG[0]]: '', [BG[1]]: '',
    },
    media: { [ANN_SONG]: { length: 210 }, [BG[0]]: { title: 'One', artist: 'Chill' }, [BG[1]]: { title: 'Two', artist: 'Chill' } },
    displays: [
      { index: 0, name: 'Display 1', width: 1920, height: 1080, main: true },
      { index: 1, name: 'Display 2', width: 1280, height: 720, main: false },
    ],
    ...extra,
  };
}

test('play next loads and plays the song, records it, moves the singer to the end and tells the audience; the end of the song brings the idle screen back', async (t) => {
  const p = await browser.open(night());
  t.after(() => p.close());
  await p.ready();

  await p.page.click('#play-next');
  const show = await p.settled(SHOW_FILE, (d) => d.performances.length === 1);
  // The apostrophe in the file name needs the other quotes.
  assert.deepEqual(await p.sends(), [`deck 1 load "${ANN_SONG}" & deck 1 play`]);
  assert.deepEqual(show.performances, [
    { singer: 'Ann', title: "Don't Stop Me Now", artist: 'Queen', path: ANN_SONG, at: NOW_ISO, isNew: true },
  ]);
  assert.deepEqual(show.queue.map((s) => [s.name, s.isNew, s.songs.length]), [['Bob', false, 1], ['Ann', false, 0]]);

  // The wait counts what is left of the song on the deck (210 s at 0.5: 2 minutes).
  await p.double(() => { window.__qkDouble.deck(1).position = 0.5; });
  const playing = await p.settled('audience.json', (d) => d.isPlaying && d.rotation[0].wait === '~2 min');
  assert.deepEqual(playing, {
    renderer: 'pipeline',
    visible: true,
    isPlaying: true,
    venue: '',
    message: '',
    firstEmoji: '⭐',
    rotation: [
      { singer: 'Bob', title: 'Africa', isNew: false, needsSong: false, wait: '~2 min' },
      { singer: 'Ann', title: '', isNew: false, needsSong: true, wait: '~6 min' },
    ],
    next: [
      { singer: 'Bob', title: 'Africa', isNew: false, needsSong: false, wait: '~2 min' },
      { singer: 'Ann', title: '', isNew: false, needsSong: true, wait: '~6 min' },
    ],
    current: { singer: 'Ann', title: "Don't Stop Me Now", isNew: true },
  });
  await p.page.locator('#now-text', { hasText: "Ann – Don't Stop Me Now" }).waitFor();

  // A pause in the middle of the song is not its end.
  await p.double(() => { window.__qkDouble.deck(1).playing = false; });
  await p.page.waitForTimeout(1200);
  assert.equal((await p.json('audience.json')).isPlaying, true);

  // While Ann's song is on, one press of Next only asks for a second one.
  await p.pad('playnext');
  await p.page.locator('.notice', { hasText: 'Ann is still singing: press Next again to call Bob.' }).waitFor();
  assert.equal((await p.sends()).length, 1);
  await p.pad('playnext');
  await p.settled(SHOW_FILE, (d) => d.performances.length === 2);
  assert.deepEqual((await p.sends())[1], `deck 1 load '${BOB_SONG}' & deck 1 play`);
  assert.equal((await p.settled('audience.json', (d) => d.current && d.current.singer === 'Bob')).isPlaying, true);

  await p.double(() => window.__qkDouble.finish(1));
  const idle = await p.settled('audience.json', (d) => !d.isPlaying);
  assert.equal(idle.current, undefined);
  assert.deepEqual(idle.rotation.map((r) => [r.singer, r.needsSong, r.wait]), [['Ann', true, 'next'], ['Bob', true, '~4 min']]);
  await p.page.locator('#now-text', { hasText: 'Nobody is singing' }).waitFor();

  // Nobody left with a song: the KJ is told so, nothing is sent.
  await p.pad('playnext');
  await p.page.locator('.error', { hasText: 'Nobody can be called' }).waitFor();
  assert.equal((await p.sends()).length, 2);
  assert.deepEqual(p.errors, []);
});

test('background music plays shuffled from its folder, pauses while a singer sings and resumes afterwards', async (t) => {
  const p = await browser.open(night());
  t.after(() => p.close());
  await p.ready();

  await p.pad('bgtoggle');
  const on = await p.settled('audience.json', (d) => d.bgNow !== undefined);
  const sends = await p.sends();
  assert.equal(sends.length, 1);
  const first = /^deck 2 load '(.*)' & deck 2 play$/.exec(sends[0]);
  assert.ok(first && BG.includes(first[1]), sends[0]);
  const firstTitle = first[1] === BG[0] ? 'One' : 'Two';
  assert.deepEqual(on.bgNow, { title: firstTitle, artist: 'Chill' });
  assert.equal(await p.double(() => window.__qkDouble.deck(2).playing), true);

  await p.pad('playnext');
  const singing = await p.settled('audience.json', (d) => d.isPlaying);
  assert.equal(singing.bgNow, undefined);
  assert.deepEqual((await p.sends()).slice(1), ['deck 2 pause', `deck 1 load "${ANN_SONG}" & deck 1 play`]);

  await p.double(() => window.__qkDouble.finish(1));
  const back = await p.settled('audience.json', (d) => !d.isPlaying && d.bgNow !== undefined);
  assert.deepEqual(back.bgNow, { title: firstTitle, artist: 'Chill' });
  assert.deepEqual((await p.sends()).slice(3), ['deck 2 play']);

  // Skip takes the other track; the end of a track goes on to the next.
  await p.pad('bgskip');
  const other = first[1] === BG[0] ? BG[1] : BG[0];
  await p.until((o) => window.__qkDouble.deck(2).path === o && window.__qkDouble.deck(2).playing, other);
  const otherTitle = firstTitle === 'One' ? 'Two' : 'One';
  await p.settled('audience.json', (d, title) => d.bgNow && d.bgNow.title === title, otherTitle);
  await p.double(() => window.__qkDouble.finish(2));
  await p.until((f) => window.__qkDouble.deck(2).path === f && window.__qkDouble.deck(2).playing, first[1]);

  // Play/pause: paused music leaves the audience document.
  await p.pad('bgtoggle');
  const paused = await p.settled('audience.json', (d) => d.bgNow === undefined);
  assert.equal(paused.isPlaying, false);
  assert.equal((await p.sends()).at(-1), 'deck 2 pause');
  assert.deepEqual(p.errors, []);
});

test('the audience screen opens on the chosen screen, and the overlay switch stops and starts the drawing', async (t) => {
  const p = await browser.open(night());
  t.after(() => p.close());
  await p.ready();

  await p.pad('audtoggle');
  await p.page.locator('#audience-text', { hasText: 'shown' }).waitFor();
  await p.page.keyboard.press('a');
  await p.page.locator('#audience-text', { hasText: 'hidden' }).waitFor();
  const asked = await p.double(() => window.__qkDouble.state.requests
    .filter((r) => r.action.startsWith('audience_')).map((r) => [r.action, r.screen]));
  assert.deepEqual(asked, [['audience_show', 1], ['audience_hide', undefined]]);

  // The overlay's own switch is remembered in the settings.
  await p.page.keyboard.press('v');
  assert.equal((await p.settled('audience.json', (d) => !d.visible)).renderer, 'pipeline');
  assert.equal((await p.settled('settings.json', (d) => d.overlayVisible === false)).bgFolder, '/bg');
  await p.page.click('#overlay-toggle');
  await p.settled('audience.json', (d) => d.visible);

  // The screen list comes from the host; choosing another one is saved.
  await p.page.click('#tab-settings');
  await p.page.selectOption('#set-screen', '0');
  assert.equal((await p.settled('settings.json', (d) => d.audienceScreen === 0)).overlayVisible, true);
  assert.deepEqual(await p.page.locator('#set-screen option').allTextContents(),
    ['Display 1 – 1920×1080 (main)', 'Display 2 – 1280×720']);
});
