// Backups: one file with the settings, the singers and every show; a restore
// gives back the same documents; only the last ten are kept.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startBrowser, DATA, NOW_ISO, SHOW_FILE } from './harness.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

const singer = (id, name, songs) => ({ id, name, isNew: false, held: false,
  songs: songs.map((title) => ({ path: `/music/${title}.mp3`, title, artist: '' })) });
const SETTINGS = { currentShow: '2026-12-10.json', venue: 'The Anchor', message: 'Hi',
  soundPads: [{ id: 'p1', name: 'Horn', path: '/sfx/horn.wav', vol: 1.2, key: 'k' }], someoneElses: { kept: true } };
const TONIGHT = { format: 1, name: '2026-12-10', startedAt: NOW_ISO, queue: [singer('s1', 'Ann', ['Africa']), singer('s2', 'Bob', [])], performances: [] };
const LAST_WEEK = { format: 1, name: '2026-12-03', startedAt: '2026-12-03T20:00:00Z', endedAt: '2026-12-04T01:00:00Z',
  queue: [], performances: [{ singer: 'Cleo', title: 'Hello', artist: 'Adele', path: '/music/Hello.mp3', at: '2026-12-03T21:00:00Z', isNew: true }] };

const documents = (p) => p.double((data) => {
  const d = window.__qkDouble;
  return Object.fromEntries(['settings.json', 'singers.json', 'shows/2026-12-10.json', 'shows/2026-12-03.json']
    .map((f) => [f, d.json(`${data}/${f}`)]));
}, DATA);

test('a restored backup gives back the same settings, singers and shows', async (t) => {
  const p = await browser.open({
    files: {
      [`${DATA}/settings.json`]: JSON.stringify(SETTINGS),
      [`${DATA}/singers.json`]: JSON.stringify({ names: ['Ann', 'Bob', 'Cleo'] }),
      [`${DATA}/shows/2026-12-10.json`]: JSON.stringify(TONIGHT),
      [`${DATA}/shows/2026-12-03.json`]: JSON.stringify(LAST_WEEK),
    },
  });
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-backups');
  await p.page.click('#backup-now');
  const name = 'QuorvaleKaraoke-backup-2026-12-10-200000.json';
  await p.page.locator('#backups li .t', { hasText: name }).waitFor();
  // The documents as they were backed up (the settings with the page's defaults filled in).
  const before = await documents(p);
  assert.deepEqual(before['settings.json'], { ...before['settings.json'], ...SETTINGS });
  const backup = await p.json(name);
  assert.deepEqual(backup, {
    format: 1, kind: 'QuorvaleKaraoke backup', createdAt: NOW_ISO, settings: before['settings.json'],
    singers: { names: ['Ann', 'Bob', 'Cleo'] }, shows: { '2026-12-03.json': LAST_WEEK, '2026-12-10.json': TONIGHT },
  });

  // The night goes on: a new singer, another venue, a pad gone.
  await p.page.click('#tab-rotation');
  await p.addSinger('Zed');
  await p.page.click('#tab-settings');
  await p.page.fill('#set-venue', 'Elsewhere');
  await p.page.press('#set-venue', 'Tab');
  await p.page.click('#tab-sounds');
  await p.page.click('.pad[data-id="p1"] .pad-remove');
  await p.settled('settings.json', (doc) => doc.venue === 'Elsewhere' && doc.soundPads.length === 0);
  await p.settled(SHOW_FILE, (doc) => doc.queue.length === 3);

  await p.page.click('#tab-backups');
  await p.page.click(`#backups li:has-text("${name}") button`);
  await p.page.click('#ask-yes');
  await p.page.locator('.notice', { hasText: `Restored ${name}.` }).waitFor();
  await p.page.waitForTimeout(400); // any save the restore set off has landed
  assert.deepEqual(await documents(p), before);
  // And the page shows what it restored.
  await p.page.click('#tab-rotation');
  assert.deepEqual(await p.page.locator('#rotation li .name').allTextContents(), ['Ann', 'Bob']);
  await p.page.click('#tab-sounds');
  await p.page.locator('.pad[data-id="p1"] .pad-name', { hasText: 'Horn' }).waitFor();
});

test('after a backup only the last ten are kept; other files are left alone', async (t) => {
  const old = [
    '2026-11-20-100000', '2026-11-21-100000', '2026-11-22-100000', '2026-11-30-090000', '2026-11-30-090000-2',
    '2026-11-30-090000-10', '2026-12-01-100000', '2026-12-02-100000', '2026-12-03-100000', '2026-12-04-100000',
    '2026-12-05-100000', '2026-12-10-200000',
  ].map((s) => `QuorvaleKaraoke-backup-${s}.json`);
  const others = ['QuorvaleKaraoke-backup-settings-20261101-100000.json', 'notes.json'];
  const files = Object.fromEntries([...old, ...others].map((n) => [`${DATA}/${n}`, '{}']));
  const p = await browser.open({ files });
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-backups');
  await p.page.click('#backup-now');
  // Same second as the last one: the new backup is numbered after it.
  const fresh = 'QuorvaleKaraoke-backup-2026-12-10-200000-2.json';
  await p.page.locator('.notice', { hasText: fresh }).waitFor();
  const names = await p.double((data) => window.__qkDouble.paths()
    .filter((f) => f.startsWith(`${data}/`) && !f.slice(data.length + 1).includes('/')).map((f) => f.slice(data.length + 1)), DATA);
  const kept = [...old.slice(3), fresh];
  assert.deepEqual(names.filter((n) => n.startsWith('QuorvaleKaraoke-backup-2')).sort(), kept.sort());
  for (const n of others) assert.ok(names.includes(n), n);
  // Newest first on screen.
  assert.deepEqual((await p.page.locator('#backups li .t').allTextContents())[0], fresh);
  assert.equal(await p.page.locator('#backups li .t').count(), 10);
});
