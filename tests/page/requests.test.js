// Song requests from the requests service, polled through "cloud_http":
// accepted into a singer's queue, or dismissed; handled ones never come back.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startBrowser, DATA, NOW_ISO, SHOW_FILE } from './harness.js';

let browser;
before(async () => { browser = await startBrowser(); });
after(() => browser.close());

const URL = 'http://127.0.0.1:8765/requests';
const SHOW = { format: 1, name: '2026-12-10', startedAt: NOW_ISO, performances: [], queue: [
  { id: 's1', name: 'Ann', isNew: false, held: false, songs: [{ path: '/music/Toto - Africa.mp3', title: 'Africa', artist: 'Toto' }] },
  { id: 's2', name: 'Bob', isNew: false, held: false, songs: [] },
] };
const REQUESTS = { requests: [
  { id: 'r0', singer: 'Old', title: 'Handled before' },
  { id: 'r1', singer: 'ann', title: 'Dancing Queen', artist: 'ABBA', path: '/music/ABBA - Dancing Queen.mp3' },
  { id: 'r2', singer: 'Cleo', title: 'hello', artist: 'adele', note: '<b>birthday</b>' },
  { id: 'r3', singer: 'Dee', title: 'Jolene', path: '/music/Dolly Parton - Jolene.mp3' },
  { id: 'r4', singer: 'Eve', title: 'Never mind' },
  { id: 'r5', title: 'No singer' },
  'not a request',
] };

test('requests are accepted into a new or an existing singer\'s queue, or dismissed', async (t) => {
  const p = await browser.open({
    files: {
      [`${DATA}/settings.json`]: JSON.stringify({ currentShow: '2026-12-10.json', musicFolder: '/music', requestsUrl: URL }),
      [`${DATA}/shows/2026-12-10.json`]: JSON.stringify(SHOW),
      [`${DATA}/requests-handled.json`]: JSON.stringify({ ids: ['r0'] }),
      '/music/Adele - Hello.mp3': '',
    },
    cloud: { [URL]: { status: 200, body: JSON.stringify(REQUESTS) } },
  });
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-requests');
  const rows = p.page.locator('#requests li');
  await rows.nth(3).waitFor();
  assert.deepEqual(await p.page.locator('#requests .who').allTextContents(), ['ann', 'Cleo', 'Dee', 'Eve']);
  assert.equal(await p.page.locator('#requests-count').textContent(), '4');
  // A request's texts are shown as text.
  assert.equal(await p.page.locator('#requests li[data-id="r2"] .note').textContent(), '<b>birthday</b>');
  // The same name in the rotation is offered first; a new name starts as a new singer.
  assert.equal(await p.page.locator('#requests li[data-id="r1"] select').inputValue(), 's1');
  assert.equal(await p.page.locator('#requests li[data-id="r2"] select').inputValue(), 'new');

  await p.page.click('#requests li[data-id="r1"] .accept');
  await p.page.click('#requests li[data-id="r2"] .accept');
  await p.page.selectOption('#requests li[data-id="r3"] select', 's2');
  await p.page.click('#requests li[data-id="r3"] .accept');
  await p.page.click('#requests li[data-id="r4"] .dismiss');
  await p.until(() => document.querySelectorAll('#requests li').length === 0);

  const show = await p.settled(SHOW_FILE, (doc) => doc.queue.length === 3 && doc.queue[1].songs.length === 1);
  assert.deepEqual(show.queue.map((s) => [s.name, s.isNew, s.songs.map((x) => [x.path, x.title, x.artist])]), [
    ['Ann', false, [['/music/Toto - Africa.mp3', 'Africa', 'Toto'], ['/music/ABBA - Dancing Queen.mp3', 'Dancing Queen', 'ABBA']]],
    ['Bob', false, [['/music/Dolly Parton - Jolene.mp3', 'Jolene', '']]],
    ['Cleo', true, [['/music/Adele - Hello.mp3', 'Hello', 'Adele']]],
  ]);
  assert.deepEqual(await p.json('requests-handled.json'), { ids: ['r0', 'r1', 'r2', 'r3', 'r4'] });
  const cloud = await p.double(() => window.__qkDouble.state.cloudRequests);
  assert.deepEqual(cloud[0], { id: cloud[0].id, action: 'cloud_http', url: URL, method: 'GET', timeoutMs: 10000 });
  assert.deepEqual(cloud.filter((r) => r.method === 'POST').map((r) => [r.url, r.headers, JSON.parse(r.body)]),
    ['r1', 'r2', 'r3'].map((id) => [URL, { 'Content-Type': 'application/json' }, { id, status: 'accepted' }])
      .concat([[URL, { 'Content-Type': 'application/json' }, { id: 'r4', status: 'dismissed' }]]));

  // The next look at the service shows none of them again.
  await p.page.click('#requests-refresh');
  await p.until(() => window.__qkDouble.state.cloudRequests.filter((r) => r.method === 'GET').length === 2);
  await p.page.waitForTimeout(100);
  assert.equal(await rows.count(), 0);
});

test('a service that fails or answers nonsense is reported on the tab, not as requests', async (t) => {
  const bad = 'http://127.0.0.1:8765/broken';
  const p = await browser.open({
    files: { [`${DATA}/settings.json`]: JSON.stringify({ requestsUrl: bad }) },
    cloud: { [bad]: { status: 200, body: '<html>oops</html>' }, [URL]: { status: 503, body: '' } },
  });
  t.after(() => p.close());
  await p.ready();
  await p.page.click('#tab-requests');
  const cases = [
    [bad, 'not a list of requests'],
    [URL, 'answered 503'],
    ['http://127.0.0.1:1/down', 'cannot be reached: Could not reach the web service: transport error (win32 12029)'],
    ['ftp://example', 'starting with http:// or https://'],
  ];
  for (const [url, text] of cases) {
    if (url !== bad) {
      await p.page.fill('#requests-url', url);
      await p.page.press('#requests-url', 'Tab');
    }
    await p.page.locator('#requests-status', { hasText: text }).waitFor();
    assert.equal(await p.page.locator('#requests li').count(), 0);
  }
  assert.equal((await p.settled('settings.json', (doc) => doc.requestsUrl === 'ftp://example')).requestsUrl, 'ftp://example');
});
