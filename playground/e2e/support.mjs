// What the playground's end-to-end tests share: the real server and its
// home screen on a fresh device root, the real page in Debian's Chromium,
// and waits for what the phone shows and what its files hold, never for a
// length of time, so a slow machine only makes it slower. The bindings
// below are live: `page` is the page once openPlayground() has run.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch (e) {
  throw new Error('playwright-core is not installed: run scripts/setup (it runs npm ci in playground/)');
}

export const SERVER = process.env.FT_PLAYGROUND_SERVER;
export const OUT = process.env.FT_E2E_OUT || join(tmpdir(), 'floattiles-playground-e2e');
const BROWSER = process.env.FT_CHROMIUM || '/usr/bin/chromium';
// Generous: a loaded two-core machine running the browser, the server and
// its home screen (perhaps under the sanitizers) is slow, not wrong.
export const PATIENCE = 90_000;

export const MESSAGES = 'com.apple.MobileSMS';
export const MAIL = 'com.apple.mobilemail';
export const SAFARI = 'com.apple.mobilesafari';

export let server, serverExit, context, page, root, profile, url;

function startServer() {
  return new Promise((resolve, reject) => {
    server = spawn(SERVER, ['--port', '0', '--root', root], { stdio: ['ignore', 'pipe', 'inherit'] });
    serverExit = new Promise((done) => server.on('exit', (code, signal) => done({ code, signal })));
    let seen = '';
    const timer = setTimeout(() => reject(new Error('the server printed no address: ' + seen)), PATIENCE);
    server.stdout.on('data', (chunk) => {
      seen += chunk;
      const m = /http:\/\/127\.0\.0\.1:\d+\//.exec(seen);
      if (m) {
        clearTimeout(timer);
        resolve(m[0]);
      }
    });
    server.on('exit', (code) => reject(new Error(`the server ended (${code}) before it listened: ${seen}`)));
  });
}

// Starts the server on a fresh device root and opens its page, with the
// phone up: four bubbles, on the lock screen.
export async function openPlayground() {
  assert.ok(SERVER, 'FT_PLAYGROUND_SERVER names the floattiles-playground program');
  mkdirSync(OUT, { recursive: true });
  root = mkdtempSync(join(tmpdir(), 'ft-playground-root-'));
  profile = mkdtempSync(join(tmpdir(), 'ft-playground-profile-'));
  url = await startServer();
  // A fresh profile each run, and nothing that reaches outside this machine.
  context = await chromium.launchPersistentContext(profile, {
    executablePath: BROWSER,
    headless: true,
    acceptDownloads: true,
    viewport: { width: 1440, height: 900 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  page = context.pages()[0] || (await context.newPage());
  page.on('pageerror', (e) => console.error('page error:', e.message));
  await page.goto(url);
  await until(() => window.playground && window.playground.ready && playground.frames > 0 && playground.dump.bubbles.length === 4,
    'the phone to start with four bubbles');
  await until(() => playground.dump.host.uiLocked && document.querySelector('#screen-svg g.lock-screen'),
    'the phone to start on the lock screen');
  return { context };
}

export async function closePlayground(lastShot) {
  if (page) await page.screenshot({ path: join(OUT, lastShot) }).catch(() => {});
  if (context) await context.close().catch(() => {});
  if (server && server.exitCode === null) server.kill('SIGTERM');
  if (root) rmSync(root, { recursive: true, force: true });
  if (profile) rmSync(profile, { recursive: true, force: true });
}

// Waits until a condition holds in the page; answers its value.
export async function until(predicate, what, arg) {
  try {
    const handle = await page.waitForFunction(predicate, arg, { timeout: PATIENCE, polling: 50 });
    return await handle.jsonValue();
  } catch (e) {
    const dump = await page.evaluate(() => JSON.stringify(window.playground && window.playground.dump)).catch(() => '');
    throw new Error(`waited in vain for ${what}\nlast dump: ${dump.slice(0, 4000)}`);
  }
}

export const dump = () => page.evaluate(() => window.playground.dump);
export const bubble = async (bundle) => (await dump()).bubbles.find((b) => b.bundle === bundle);
export const toPage = (x, y) => page.evaluate(([x, y]) => window.playground.clientPoint(x, y), [x, y]);
export const shot = (name) => page.screenshot({ path: join(OUT, name + '.png') });

// The drawn bubble of an app on the page: its icon's box in page pixels.
export function drawnBubble(bundle) {
  return page.evaluate((bundle) => {
    const icon = document.querySelector(`#screen-svg #windows g.app-icon[data-bundle="${bundle}"]`);
    if (!icon) return null;
    const r = icon.getBoundingClientRect();
    return { x: r.left + r.width / 2, y: r.top + r.height / 2, width: r.width };
  }, bundle);
}

// A tap on the lock screen away from the bubbles brings up the passcode
// view (unless something else already did), where four digits unlock.
export async function unlockAsAPerson(digits = [2, 5, 8, 0], tap = true) {
  await until(() => playground.dump.host.uiLocked && document.querySelector('#screen-svg g.lock-screen'), 'the lock screen');
  if (tap) await tapFree();
  await until(() => playground.dump.host.passcode && !document.querySelector('#passcode').hidden, 'the passcode view');
  for (const digit of digits) await page.click(`#keypad [data-digit="${digit}"]`);
  await until(() => !playground.dump.host.uiLocked && document.querySelector('#passcode').hidden &&
    !document.querySelector('#screen-svg g.lock-screen'), 'the phone to unlock');
}

async function tapFree() {
  const free = await page.evaluate(() => {
    for (let y = 620; y > 60; y -= 40) {
      for (let x = 40; x < 340; x += 40) {
        if (playground.dump.bubbles.every((b) => Math.hypot(b.center[0] - x, b.center[1] - y) > 60)) return [x, y];
      }
    }
    return null;
  });
  assert.ok(free, 'a place on the lock screen without a bubble');
  const at = await toPage(free[0], free[1]);
  await page.mouse.click(at.x, at.y);
}

// Taps a button of the menu on screen where the picture draws it.
export async function tapMenuButton(title) {
  const at = await until((title) => {
    const g = [...document.querySelectorAll('#screen-svg g.alert-action')].find((g) => g.textContent.trim() === title);
    const r = g?.querySelector('text').getBoundingClientRect();
    return r && { x: r.left + r.width / 2, y: r.top + r.height / 2 };
  }, `the menu button "${title}" drawn on screen`, title);
  await page.mouse.click(at.x, at.y);
}

// Puts a finger on an app's bubble (just inside the glass when its centre
// is on the edge) and moves it to a screen point in `steps` moves; the
// finger stays down. Answers that point on the page.
export async function holdAndMove(bundle, x, y, steps) {
  const b = await bubble(bundle);
  const from = await toPage(Math.min(Math.max(b.center[0], 1), 374), b.center[1]);
  const to = await toPage(x, y);
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  await page.mouse.move(to.x, to.y, { steps });
  return to;
}

export async function openTab(name) {
  await page.click(`.tab[data-tab="${name}"]`);
}

