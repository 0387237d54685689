// Singers, songs and the order of the rotation, checked in the documents the
// page writes: the show file, singers.json and audience.json.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startBrowser, SHOW_FILE, NOW_ISO, DATA } from './harness.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

const MUSIC = {
  '/music/Queen - Bohemian Rhapsody.mp3': '',
  '/music/ABBA - Dancing Queen.mp3': '',
  '/music/80s/Toto - Africa.mp4': '',
  '/music/80s/notes.txt': '',
};

test('adding singers and queueing songs by picking a file and by searching the music folder', async (t) => {
  const p = await browser.open({
    files: { ...MUSIC, [`${DATA}/settings.json`]: JSON.stringify({ musicFolder: '/music', venue: 'The Anchor' }) },
    pickFile: ['/music/Queen - Bohemian Rhapsody.mp3'],
  });
  t.after(() => p.close());
  await p.ready();

  await p.addSinger('  Ann   Lee ');
  await p.addSinger('Bob', { firstTimer: false });
  await p.pickSong('Ann Lee');
  await p.select('Bob');
  await p.page.fill('#song-search', 'toto afr');
  await p.page.click('#search-results button');
  await p.page.fill('#song-search', 'queen');
  await p.page.locator('#search-results li').nth(1).waitFor();
  assert.deepEqual(await p.page.locator('#search-results button').allTextContents(),
    ['ABBA – Dancing Queen', 'Queen – Bohemian Rhapsody']);
  await p.page.click('#search-results button >> text=Dancing Queen');

  // A name already in the rotation is refused, visibly.
  await p.page.fill('#new-singer', 'ann lee');
  await p.page.press('#new-singer', 'Enter');
  await p.page.locator('.error', { hasText: 'Ann Lee is already in the rotation.' }).waitFor();

  const show = await p.settled(SHOW_FILE, (doc) => doc.queue.length === 2 && doc.queue[1].songs.length === 2);
  assert.deepEqual(show, {
    format: 1,
    name: '2026-12-10',
    startedAt: NOW_ISO,
    queue: [
      { id: 's1', name: 'Ann Lee', isNew: true, held: false,
        songs: [{ path: '/music/Queen - Bohemian Rhapsody.mp3', title: 'Bohemian Rhapsody', artist: 'Queen' }] },
      { id: 's2', name: 'Bob', isNew: false, held: false,
        songs: [{ path: '/music/80s/Toto - Africa.mp4', title: 'Africa', artist: 'Toto' },
          { path: '/music/ABBA - Dancing Queen.mp3', title: 'Dancing Queen', artist: 'ABBA' }] },
    ],
    performances: [],
  });
  assert.deepEqual(await p.json('singers.json'), { names: ['Ann Lee', 'Bob'] });

  const audience = await p.settled('audience.json', (doc) => doc.rotation.length === 2 && doc.rotation[1].title !== '');
  assert.deepEqual(audience, {
    renderer: 'pipeline',
    visible: true,
    isPlaying: false,
    venue: 'The Anchor',
    message: '',
    firstEmoji: '⭐',
    rotation: [
      { singer: 'Ann Lee', title: 'Bohemian Rhapsody', isNew: true, needsSong: false, wait: 'next' },
      { singer: 'Bob', title: 'Africa', isNew: false, needsSong: false, wait: '~4 min' },
    ],
    next: [
      { singer: 'Ann Lee', title: 'Bohemian Rhapsody', isNew: true, needsSong: false, wait: 'next' },
      { singer: 'Bob', title: 'Africa', isNew: false, needsSong: false, wait: '~4 min' },
    ],
  });
  // The KJ's own settings were kept as they were, with the page's defaults added.
  assert.deepEqual(await p.json('settings.json'), {
    endShowOnQuit: true, currentShow: '2026-12-10.json', musicFolder: '/music', bgFolder: '', audienceScreen: 0,
    venue: 'The Anchor', message: '', firstEmoji: '⭐', minutesPerSong: 4, overlayVisible: true,
  });
  assert.deepEqual(p.errors, []);
});

test('a whole rotation can be built with the keyboard alone', async (t) => {
  const p = await browser.open({
    files: { ...MUSIC, [`${DATA}/settings.json`]: JSON.stringify({ musicFolder: '/music' }) },
  });
  t.after(() => p.close());
  await p.ready();
  const keys = p.page.keyboard;
  // I, a name, Enter; Escape back to the rotation; / and a search; Tab to the
  // first hit and Enter queues it for the singer just added.
  for (const [name, query] of [['Ann', 'bohemian'], ['Bob', 'africa']]) {
    await keys.press('i');
    await keys.type(name);
    await keys.press('Enter');
    await keys.press('Escape');
    await keys.press('/');
    await keys.type(query);
    await keys.press('Enter');
    await p.page.locator('#search-results button').first().waitFor();
    await keys.press('Tab');
    await keys.press('Enter');
  }
  const show = await p.settled(SHOW_FILE, (doc) => doc.queue.length === 2 && doc.queue[1].songs.length === 1);
  assert.deepEqual(show.queue.map((s) => [s.name, s.songs.map((song) => song.title)]),
    [['Ann', ['Bohemian Rhapsody']], ['Bob', ['Africa']]]);
  assert.deepEqual(p.errors, []);
});

function seededShow(singers) {
  return JSON.stringify({
    format: 1, name: '2026-12-10', startedAt: NOW_ISO, performances: [],
    queue: singers.map(([name, songs], i) => ({
      id: `s${i + 1}`, name, isNew: false, held: false,
      songs: songs.map((title) => ({ path: `/music/${title}.mp3`, title, artist: '' })),
    })),
  });
}

function seedWith(singers) {
  return {
    files: {
      [`${DATA}/settings.json`]: JSON.stringify({ currentShow: '2026-12-10.json' }),
      [`${DATA}/shows/2026-12-10.json`]: seededShow(singers),
    },
  };
}

const names = (doc) => doc.queue.map((s) => s.name);

test('reordering by drag and drop and by keyboard, and holding a singer keeps the place', async (t) => {
  const p = await browser.open(seedWith([['Ann', ['One']], ['Bob', ['Two']], ['Cat', ['Three']], ['Dan', []]]));
  t.after(() => p.close());
  await p.ready();
  const row = (name) => p.page.locator('#rotation li', { has: p.page.locator('.name', { hasText: name }) });

  await row('Cat').dragTo(row('Ann'), { targetPosition: { x: 20, y: 5 } });
  assert.deepEqual(names(await p.settled(SHOW_FILE, (d) => d.queue[0].name === 'Cat')), ['Cat', 'Ann', 'Bob', 'Dan']);

  await row('Dan').dragTo(row('Ann'), { targetPosition: { x: 20, y: 40 } });
  assert.deepEqual(names(await p.settled(SHOW_FILE, (d) => d.queue[2].name === 'Dan')), ['Cat', 'Ann', 'Dan', 'Bob']);

  // Keyboard: select Cat, move it down twice, then go up to Ann and hold her.
  await row('Cat').click();
  await p.page.keyboard.press('Alt+ArrowDown');
  await p.page.keyboard.press('Alt+ArrowDown');
  assert.deepEqual(names(await p.settled(SHOW_FILE, (d) => d.queue[2].name === 'Cat')), ['Ann', 'Dan', 'Cat', 'Bob']);
  await p.page.keyboard.press('ArrowUp');
  await p.page.keyboard.press('ArrowUp');
  await p.page.keyboard.press('h');
  const show = await p.settled(SHOW_FILE, (d) => d.queue[0].held);
  assert.deepEqual(show.queue.map((s) => [s.name, s.held]), [['Ann', true], ['Dan', false], ['Cat', false], ['Bob', false]]);

  // A held singer stays in the show but leaves the audience's list; Dan needs a song.
  const audience = await p.settled('audience.json', (d) => d.rotation.length === 3);
  assert.deepEqual(audience.rotation, [
    { singer: 'Dan', title: '', isNew: false, needsSong: true, wait: 'next' },
    { singer: 'Cat', title: 'Three', isNew: false, needsSong: false, wait: '~4 min' },
    { singer: 'Bob', title: 'Two', isNew: false, needsSong: false, wait: '~8 min' },
  ]);

  // Play next passes over the held singer and the one without a song.
  await p.pad('playnext');
  const after = await p.settled(SHOW_FILE, (d) => d.performances.length === 1);
  assert.deepEqual(after.performances.map((x) => x.singer), ['Cat']);
  assert.deepEqual(names(after), ['Ann', 'Dan', 'Bob', 'Cat']);
  assert.equal(after.queue[0].held, true);

  // Releasing the hold puts Ann back at the head of the rotation, where she was.
  await row('Ann').click();
  await p.page.keyboard.press('h');
  const released = await p.settled('audience.json', (d) => d.rotation.length === 4);
  assert.deepEqual(released.rotation.map((r) => r.singer), ['Ann', 'Dan', 'Bob', 'Cat']);
  assert.deepEqual(p.errors, []);
});

test('renaming and removing a singer', async (t) => {
  const p = await browser.open(seedWith([['Ann', ['One']], ['Bob', ['Two']]]));
  t.after(() => p.close());
  await p.ready();
  await p.select('Bob');
  await p.page.fill('#singer-name', 'Bobby');
  await p.page.press('#singer-name', 'Enter');
  assert.deepEqual(names(await p.settled(SHOW_FILE, (d) => d.queue[1].name === 'Bobby')), ['Ann', 'Bobby']);

  await p.select('Ann');
  await p.page.keyboard.press('Delete');
  await p.page.click('#ask-yes');
  assert.deepEqual(names(await p.settled(SHOW_FILE, (d) => d.queue.length === 1)), ['Bobby']);
  assert.deepEqual((await p.settled('audience.json', (d) => d.rotation.length === 1)).rotation[0].singer, 'Bobby');
});

test('ending the show keeps its file, marked ended, and opens a fresh show of the same day', async (t) => {
  const p = await browser.open(seedWith([['Ann', ['One']], ['Bob', []]]));
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-settings');
  await p.page.click('#end-show');
  await p.page.click('#ask-yes');
  const fresh = await p.settled('shows/2026-12-10-2.json', () => true);
  assert.deepEqual(fresh, { format: 1, name: '2026-12-10-2', startedAt: NOW_ISO, queue: [], performances: [] });
  const ended = await p.json(SHOW_FILE);
  assert.equal(ended.endedAt, NOW_ISO);
  assert.deepEqual(names(ended), ['Ann', 'Bob']);
  assert.equal((await p.settled('settings.json', (d) => d.currentShow === '2026-12-10-2.json')).endShowOnQuit, true);
  assert.deepEqual((await p.settled('audience.json', (d) => d.rotation.length === 0)).next, []);
  await p.page.locator('#show-name', { hasText: 'Show 2026-12-10-2' }).waitFor();
});
