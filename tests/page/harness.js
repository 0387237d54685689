// Test harness: serves ui/ over a tiny HTTP server on 127.0.0.1 (the page does
// not depend on the scheme; webkit_smoke.py loads it from file://, as the
// plug-in does), launches Debian's Chromium
// headless through playwright-core, and opens the page with the bridge double
// injected before the page's own scripts.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { existsSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const uiRoot = path.resolve(here, '../../ui');
const doubleSource = await readFile(path.join(here, 'bridge-double.js'), 'utf8');

export const HOME = '/home/kj/VirtualDJ/';
export const DATA = '/home/kj/VirtualDJ/QuorvaleKaraoke';
// The clock the page sees: 2026-12-10 20:00:00 UTC.
export const NOW = Date.UTC(2026, 11, 10, 20, 0, 0);
export const NOW_ISO = '2026-12-10T20:00:00Z';

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.png': 'image/png', '.svg': 'image/svg+xml' };

function serve(root) {
  const server = createServer(async (req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.resolve(root, '.' + (rel.endsWith('/') ? rel + 'index.html' : rel));
    if (!file.startsWith(root + path.sep)) { res.writeHead(403).end(); return; }
    try {
      const body = await readFile(file);
      res.writeHead(200, { 'content-type': TYPES[path.extname(file)] || 'application/octet-stream', 'cache-control': 'no-store' });
      res.end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

export function chromiumPath() {
  const candidates = [process.env.QK_CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser'].filter(Boolean);
  return candidates.find((p) => existsSync(p)) || null;
}

// One browser and one server per test file; one fresh page per test.
export async function startBrowser() {
  const server = await serve(uiRoot);
  const args = process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : [];
  const browser = await chromium.launch({ executablePath: chromiumPath(), headless: true, args });
  const base = `http://127.0.0.1:${server.address().port}/`;
  return {
    base,
    browser,
    async open(seed = {}, { viewport = { width: 1280, height: 800 }, page: file = 'index.html' } = {}) {
      const context = await browser.newContext({ viewport, timezoneId: 'UTC' });
      const page = await context.newPage();
      const errors = [];
      page.on('pageerror', (err) => errors.push(err.message));
      await page.clock.setFixedTime(NOW);
      await page.addInitScript({ content: `${doubleSource}\n;window.__qkDoubleSetup(${JSON.stringify(seed)});` });
      await page.goto(base + file);
      return new PageDriver(page, context, errors);
    },
    async close() {
      await browser.close();
      await new Promise((r) => server.close(r));
    },
  };
}

export class PageDriver {
  constructor(page, context, errors) {
    Object.assign(this, { page, context, errors });
  }

  // The page is ready once it has written its first audience document.
  async ready() {
    await this.until(() => window.__qkDouble.state.audience.length > 0);
    return this;
  }

  until(fn, arg) {
    return this.page.waitForFunction(fn, arg, { timeout: 10000, polling: 20 });
  }

  json(file) { return this.page.evaluate((p) => window.__qkDouble.json(p), `${DATA}/${file}`); }
  text(file) { return this.page.evaluate((p) => window.__qkDouble.file(p), `${DATA}/${file}`); }
  double(fn, arg) { return this.page.evaluate(fn, arg); }
  sends() { return this.page.evaluate(() => window.__qkDouble.state.sends.slice()); }

  // Waits until the file's text satisfies `test` (given the parsed JSON and
  // `arg`; it runs in the page, so it sees no test variables) and returns it parsed.
  async settled(file, test, arg) {
    await this.page.waitForFunction(([p, src, a]) => {
      const text = window.__qkDouble.file(p);
      // eslint-disable-next-line no-new-func
      return text !== null && new Function('doc', 'arg', `return (${src})(doc, arg);`)(JSON.parse(text), a);
    }, [`${DATA}/${file}`, test.toString(), arg], { timeout: 10000, polling: 20 });
    return this.json(file);
  }

  async addSinger(name, { firstTimer = true } = {}) {
    await this.page.fill('#new-singer', name);
    const box = this.page.locator('#new-singer-first');
    if ((await box.isChecked()) !== firstTimer) await box.click();
    await this.page.press('#new-singer', 'Enter');
    await this.page.locator('#rotation li .name', { hasText: name }).first().waitFor();
  }

  async select(name) {
    await this.page.locator('#rotation li', { has: this.page.locator('.name', { hasText: name }) }).click();
  }

  async pickSong(name) {
    await this.select(name);
    const before = await this.page.locator('#singer-songs li .t').count();
    await this.page.click('#pick-song');
    await this.page.waitForFunction((n) => document.querySelectorAll('#singer-songs li .t').length > n, before);
  }

  async pad(word) {
    await this.page.evaluate((w) => window.qkPadCommand(w), word);
  }

  close() { return this.context.close(); }
}

// The show file written for the page's current show.
export const SHOW_FILE = 'shows/2026-12-10.json';

export function song(path, title, artist = '') {
  return { path, title, artist };
}
