// The page's pure rules, loaded into a bare script context as the browser
// loads them (classic scripts adding to window.QK): waiting texts, deck
// script quoting, the end of a song, show documents read back.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import vm from 'node:vm';
import path from 'node:path';
import { uiRoot } from './harness.js';

const context = vm.createContext({ window: {} });
for (const file of ['bridge', 'paths', 'show', 'deck']) {
  vm.runInContext(readFileSync(path.join(uiRoot, 'js', `${file}.js`), 'utf8'), context, { filename: `${file}.js` });
}
const { show: Show, deck: Deck, paths: Paths } = context.window.QK;
const plain = (value) => JSON.parse(JSON.stringify(value));

test('waiting texts count the song on the deck and one average song per singer ahead', () => {
  const cases = [
    // minutes per song, left on the deck, singers waiting -> texts
    [4, 0, 3, ['next', '~4 min', '~8 min']],
    [4, 3, 2, ['~3 min', '~7 min']],
    [5, 0, 15, ['next', '~5 min', '~10 min', '~15 min', '~20 min', '~25 min', '~30 min', '~35 min', '~40 min', '~45 min',
      '~50 min', '~55 min', '~1 h', '~1 h 5 min', '~1 h 10 min']],
  ];
  for (const [minutes, left, count, want] of cases) {
    assert.deepEqual(plain(Show.waitTexts(new Array(count).fill(0), minutes, left)), want);
  }
});

test('deck scripts quote paths so that no file name can cut the command short', () => {
  assert.equal(Deck.loadAndPlayScript(1, '/m/a b.mp3'), "deck 1 load '/m/a b.mp3' & deck 1 play");
  assert.equal(Deck.loadAndPlayScript(2, "/m/Don't.mp3"), 'deck 2 load "/m/Don\'t.mp3" & deck 2 play');
  assert.throws(() => Deck.quotePath('/m/"Don\'t".mp3'), /cannot be loaded by VirtualDJ script/);
});

test('the end of a song: stopped at its end, or back at the start after it played; never a pause or a loading deck', () => {
  const cases = [
    // playing, position, seen playing -> ended
    [false, 1, false, true],
    [false, 0.98, false, true],
    [true, 0.9995, true, true],
    [true, 0.98, true, false],
    [false, 0.5, true, false],
    [false, 0, true, true],
    [false, 0, false, false],
  ];
  for (const [playing, position, seen, want] of cases) {
    assert.equal(Deck.hasEnded({ playing, position, length: 200 }, seen), want, JSON.stringify([playing, position, seen]));
  }
});

test('a show document read back keeps what is sound and drops what is not', () => {
  const show = Show.fromDocument({
    name: 'x',
    queue: [
      { id: 's7', name: 'Ann', held: 'yes', songs: [{ path: '/a.mp3', title: 'A' }, { title: 'no path' }] },
      { name: 'Bob' },
      'not a singer',
      { id: 's2', name: 42 },
    ],
    performances: 'none',
  }, 'fallback');
  assert.deepEqual(plain(Show.toDocument(show)), {
    format: 1, name: 'x', startedAt: '', performances: [],
    queue: [
      { id: 's7', name: 'Ann', isNew: false, held: false, songs: [{ path: '/a.mp3', title: 'A', artist: '' }] },
      { id: 's8', name: 'Bob', isNew: false, held: false, songs: [] },
    ],
  });
  assert.equal(Show.addSinger(show, 'Cat').id, 's9');
  assert.deepEqual(plain(Paths.songFromPath('/m/80s/Toto - Africa (Karaoke).mp4')),
    { path: '/m/80s/Toto - Africa (Karaoke).mp4', title: 'Africa (Karaoke)', artist: 'Toto' });
});
