// The sound board: pads kept in settings.json, commands appended to the
// inbox the sound plug-in reads, and pads lit from its state file.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startBrowser, DATA, NOW } from './harness.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

const PADS = [
  { id: 'p1', name: 'Air horn', path: '/sfx/air horn.wav', vol: 1.5, key: 'k' },
  { id: 'p2', name: 'Applause', path: '/sfx/applause.wav', vol: 1, key: '' },
];
const INBOX = `${DATA}/sound-inbox.jsonl`;

// Every version of the inbox the page wrote, in order.
const inboxVersions = (p) => p.double((path) => window.__qkDouble.state.written
  .filter((w) => w.path === path).map((w) => w.content), INBOX);

// Between two versions the file either grows by whole JSON lines or starts
// afresh empty; returns the lines added, '' standing for a fresh start.
function growth(versions, start = '') {
  const out = [];
  let prev = start;
  for (const v of versions) {
    if (v === '') { out.push(''); prev = v; continue; }
    assert.ok(v.startsWith(prev), `the inbox was rewritten, not appended to:\n${prev}\n---\n${v}`);
    // A last line left without its line feed is closed before anything is added.
    const added = v.slice(prev.length + (prev && !prev.endsWith('\n') ? 1 : 0));
    if (prev && !prev.endsWith('\n')) assert.equal(v[prev.length], '\n');
    assert.match(added, /^(\{[^\n]*\}\n)+$/);
    for (const line of added.split('\n').filter(Boolean)) out.push(JSON.parse(line));
    prev = v;
  }
  return out;
}

test('pads append whole command lines to the inbox: play, key, stop, stop all, quick presses', async (t) => {
  const p = await browser.open({
    files: {
      [`${DATA}/settings.json`]: JSON.stringify({ soundPads: PADS }),
      // Left by an earlier evening, its last line without a line feed.
      [INBOX]: '{"op":"stop_all"}',
    },
  });
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-sounds');
  await p.page.click('.pad[data-id="p1"] .pad-hit');
  await p.until(() => window.__qkDouble.file('/home/kj/VirtualDJ/QuorvaleKaraoke/sound-inbox.jsonl').includes('"play"'));
  await p.page.keyboard.press('k');
  await p.page.click('.pad[data-id="p2"] .pad-hit');
  await p.page.click('.pad[data-id="p1"] .pad-stop');
  await p.page.click('#stop-all');
  // Two presses in the same instant both arrive.
  await p.page.evaluate(() => { const b = window.QK.sounds.board; const pads = window.QK.app.state.settings.soundPads; b.play(pads[1]); b.play(pads[0]); });
  await p.until(() => window.__qkDouble.file('/home/kj/VirtualDJ/QuorvaleKaraoke/sound-inbox.jsonl').split('\n').length === 9);

  const horn = { op: 'play', id: 'p1', path: '/sfx/air horn.wav', vol: 1.5 };
  const clap = { op: 'play', id: 'p2', path: '/sfx/applause.wav', vol: 1 };
  const lines = growth(await inboxVersions(p), '{"op":"stop_all"}');
  assert.deepEqual(lines, [horn, horn, clap, { op: 'stop', id: 'p1' }, { op: 'stop_all' }, clap, horn]);
  // The key order of a play line is fixed: op, id, path, vol.
  assert.ok((await p.text('sound-inbox.jsonl')).startsWith('{"op":"stop_all"}\n{"op":"play","id":"p1","path":"/sfx/air horn.wav","vol":1.5}\n'));
});

test('a large inbox starts afresh empty before the next line, which waits for the sound board to notice', async (t) => {
  const p = await browser.open({});
  t.after(() => p.close());
  await p.ready();
  const gap = await p.page.evaluate(async (path) => {
    const inbox = new window.QK.sounds.Inbox({ path: () => path, limit: 150, settleMs: 300 });
    const cmd = (n) => ({ op: 'play', id: `pad-${n}`, path: `/sfx/sound-number-${n}.wav`, vol: 1 });
    for (let n = 1; n <= 4; n++) await inbox.append(cmd(n));
    const t0 = performance.now();
    await inbox.append(cmd(5));
    return performance.now() - t0;
  }, INBOX);
  const added = growth(await inboxVersions(p));
  assert.deepEqual(added.map((c) => (c === '' ? '' : c.id)), ['pad-1', 'pad-2', '', 'pad-3', 'pad-4', '', 'pad-5']);
  assert.ok(gap >= 290, `the line after a fresh start came after ${gap} ms`);
});

test('pads light up from the state file with the time left; a stale or empty state lights none', async (t) => {
  const p = await browser.open({ files: { [`${DATA}/settings.json`]: JSON.stringify({ soundPads: PADS }) } });
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-sounds');
  const lit = () => p.page.evaluate(() => Array.from(document.querySelectorAll('.pad'))
    .map((c) => [c.dataset.id, c.classList.contains('playing'), c.querySelector('.pad-meta').textContent]));
  const cases = [
    [{ active: [{ id: 'p2', rem: 12400 }, { id: 'other', rem: 500 }], at: NOW, v: 1 },
      [['p1', false, 'air horn.wav'], ['p2', true, '0:13']]],
    [{ active: [{ id: 'p1', rem: 61000 }, { id: 'p2', rem: 900 }], at: NOW - 1000, v: 1 },
      [['p1', true, '1:01'], ['p2', true, '0:01']]],
    [{ active: [{ id: 'p1', rem: 61000 }], at: NOW - 60000, v: 1 }, [['p1', false, 'air horn.wav'], ['p2', false, 'applause.wav']]],
    [{ active: [], at: NOW, v: 1 }, [['p1', false, 'air horn.wav'], ['p2', false, 'applause.wav']]],
  ];
  for (const [doc, want] of cases) {
    await p.double(([path, text]) => window.__qkDouble.put(path, text), [`${DATA}/sound-state.json`, JSON.stringify(doc)]);
    await p.until((w) => JSON.stringify(Array.from(document.querySelectorAll('.pad'))
      .map((c) => [c.dataset.id, c.classList.contains('playing'), c.querySelector('.pad-meta').textContent])) === w, JSON.stringify(want));
    assert.deepEqual(await lit(), want);
  }
});

test('pads made in the page are kept in settings.json with their name, sound, volume and key', async (t) => {
  const p = await browser.open({ pickFile: ['/sfx/Rimshot.ogg'] });
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-sounds');
  await p.page.click('#add-pad');
  await p.page.click('#add-pad');
  const pad = (id) => `.pad[data-id="${id}"]`;
  await p.page.click(`${pad('p1')} .pad-file`);
  await p.page.locator(`${pad('p1')} .pad-name`, { hasText: 'Rimshot' }).waitFor();
  await p.page.$eval(`${pad('p1')} .pad-vol`, (el) => { el.value = '0.75'; el.dispatchEvent(new Event('change')); });
  await p.page.fill(`${pad('p1')} .pad-key`, 'x');
  await p.page.press(`${pad('p1')} .pad-key`, 'Tab');
  // A key of the page's own controls is refused, visibly.
  await p.page.fill(`${pad('p2')} .pad-key`, 'n');
  await p.page.press(`${pad('p2')} .pad-key`, 'Tab');
  await p.page.locator('.error', { hasText: 'The key N already belongs' }).waitFor();
  await p.page.fill(`${pad('p2')} .pad-name-in`, 'Drum roll');
  await p.page.press(`${pad('p2')} .pad-name-in`, 'Tab');

  await p.page.locator(`${pad('p2')} .pad-name`, { hasText: 'Drum roll' }).waitFor();
  // Tab went on to the next field of the redrawn pad.
  assert.equal(await p.page.evaluate(() => document.activeElement.className), 'pad-vol');
  const settings = await p.settled('settings.json', (doc) => Array.isArray(doc.soundPads) && doc.soundPads[1]?.name === 'Drum roll');
  assert.deepEqual(settings.soundPads, [
    { id: 'p1', name: 'Rimshot', path: '/sfx/Rimshot.ogg', vol: 0.75, key: 'x' },
    { id: 'p2', name: 'Drum roll', path: '', vol: 1, key: '' },
  ]);
  // A pad without a sound says so instead of writing a command.
  await p.page.click(`${pad('p2')} .pad-hit`);
  await p.page.locator('.error', { hasText: 'Choose a sound file for the pad “Drum roll”' }).waitFor();
  assert.equal(await p.text('sound-inbox.jsonl'), null);
});
