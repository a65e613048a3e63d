// The recorder end to end: a visit by hand in the real page becomes a
// scenario, downloaded from the page, that springboard-sim replays green;
// an edited copy fails on the edited line; and the page replays it.
// The start-up helpers are a copy of the minimum of playground.test.mjs.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const { chromium } = await import('playwright-core');

const SERVER = process.env.FT_PLAYGROUND_SERVER;
const SIM = process.env.FT_SIM_PROGRAM;
const OUT = process.env.FT_E2E_OUT || join(tmpdir(), 'floattiles-playground-e2e');
const BROWSER = process.env.FT_CHROMIUM || '/usr/bin/chromium';
const PATIENCE = 90_000;

const MESSAGES = 'com.apple.MobileSMS';
const MAIL = 'com.apple.mobilemail';

let server, context, page, root, profile, url;

function startServer() {
  return new Promise((resolve, reject) => {
    server = spawn(SERVER, ['--port', '0', '--root', root], { stdio: ['ignore', 'pipe', 'inherit'] });
    let seen = '';
    server.stdout.on('data', (chunk) => {
      seen += chunk;
      const m = /http:\/\/127\.0\.0\.1:\d+\//.exec(seen);
      if (m) resolve(m[0]);
    });
    server.on('exit', (code) => reject(new Error(`the server ended (${code}) before it listened: ${seen}`)));
  });
}

before(async () => {
  assert.ok(SERVER && SIM, 'FT_PLAYGROUND_SERVER and FT_SIM_PROGRAM name the programs');
  mkdirSync(OUT, { recursive: true });
  root = mkdtempSync(join(tmpdir(), 'ft-record-root-'));
  profile = mkdtempSync(join(tmpdir(), 'ft-record-profile-'));
  url = await startServer();
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
});

after(async () => {
  if (page) await page.screenshot({ path: join(OUT, 'record-last.png') }).catch(() => {});
  if (context) await context.close().catch(() => {});
  if (server && server.exitCode === null) server.kill('SIGTERM');
  if (root) rmSync(root, { recursive: true, force: true });
  if (profile) rmSync(profile, { recursive: true, force: true });
});

async function until(predicate, what, arg) {
  try {
    const handle = await page.waitForFunction(predicate, arg, { timeout: PATIENCE, polling: 50 });
    return await handle.jsonValue();
  } catch (e) {
    const dump = await page.evaluate(() => JSON.stringify(window.playground && window.playground.dump)).catch(() => '');
    throw new Error(`waited in vain for ${what}\nlast dump: ${dump.slice(0, 3000)}`);
  }
}

const dump = () => page.evaluate(() => window.playground.dump);
const bubble = async (bundle) => (await dump()).bubbles.find((b) => b.bundle === bundle);
const toPage = (x, y) => page.evaluate(([x, y]) => window.playground.clientPoint(x, y), [x, y]);
const lines = () => page.evaluate(() => [...document.querySelectorAll('#record-lines li code')].map((c) => c.textContent));
const untilLine = (pattern, what) =>
  until((source) => [...document.querySelectorAll('#record-lines li code')].some((c) => new RegExp(source).test(c.textContent)),
    what, pattern.source);

async function unlockAsAPerson() {
  await until(() => playground.dump.host.uiLocked && document.querySelector('#screen-svg g.lock-screen'), 'the lock screen');
  const at = await toPage(60, 600);
  await page.mouse.click(at.x, at.y);
  await until(() => playground.dump.host.passcode && !document.querySelector('#passcode').hidden, 'the passcode view');
  for (const digit of [2, 5, 8, 0]) await page.click(`#keypad [data-digit="${digit}"]`);
  await until(() => !playground.dump.host.uiLocked && document.querySelector('#passcode').hidden, 'the phone to unlock');
}

async function tapMenuButton(title) {
  const button = await until((title) => {
    for (const g of document.querySelectorAll('#screen-svg g.alert-action')) {
      if (g.textContent.trim() !== title) continue;
      const r = g.querySelector('text').getBoundingClientRect();
      return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
    }
    return null;
  }, 'the menu button ' + title, title);
  await page.mouse.click(button.x, button.y);
}

function run(file) {
  const r = spawnSync(SIM, ['run', file], { encoding: 'utf8' });
  return { status: r.status, output: r.stdout + r.stderr };
}

test('a visit by hand becomes a scenario that replays it', async (t) => {
  let scenario, final;

  await t.test('recording starts the home screen again and keeps what is done', async () => {
    await page.click('.tab[data-tab="record"]');
    const generation = await page.evaluate(() => playground.meta.generation);
    await page.click('#record-toggle');
    await until((g) => playground.meta.generation === g + 1 && document.querySelector('#record-toggle').textContent === 'Stop recording',
      'a recording from a new start', generation);
    await untilLine(/^boot$/, 'the set-up and boot in the list');
    await unlockAsAPerson();

    await page.click('.tab[data-tab="settings"]');
    await page.locator('input[data-setting="isSticky"]').check();
    await until(() => playground.dump.files.settings?.isSticky === true, 'isSticky in the settings file');

    // A drag with snap.
    const start = await bubble(MESSAGES);
    const from = await toPage(start.center[0], start.center[1]);
    const to = await toPage(120, 320);
    await page.mouse.move(from.x, from.y);
    await page.mouse.down();
    await page.mouse.move(to.x, to.y, { steps: 12 });
    await page.mouse.up();
    const snapped = await until((b) => {
      const x = playground.dump.bubbles.find((x) => x.bundle === b);
      return x.center[0] === 0 && x.center;
    }, 'the bubble to snap to the left edge', MESSAGES);

    // A long press and a menu action.
    const at = await toPage(3, snapped[1]);
    await page.mouse.move(at.x, at.y);
    await page.mouse.down();
    await until(() => playground.dump.alert, 'the long-press menu');
    await page.mouse.up();
    await tapMenuButton('Save Current Position');
    await until((b) => !playground.dump.alert && playground.dump.files.state?.[`POSAPPS-${b}`], 'the saved position', MESSAGES);
  });

  await t.test('checks come from what is clicked in Check mode', async () => {
    await page.click('.tab[data-tab="record"]');
    await page.check('#record-check');
    const b = await bubble(MESSAGES);
    const at = await toPage(b.center[0] + 10, b.center[1]);
    await page.mouse.click(at.x, at.y);
    await untilLine(/^expect \/bubbles\/com\.apple\.MobileSMS\/center ~ \[0\.0,/, 'a check of the bubble');
    await page.click('.seg-item[data-file="state"]');
    await page.click(`table.plist[data-file="state"] tr[data-key="POSAPPS-${MESSAGES}"]`);
    await untilLine(/^expect \/files\/state\/POSAPPS-com\.apple\.MobileSMS ~ \[0\.0,/, 'a check of the saved position');
    await page.uncheck('#record-check');
    assert.equal((await bubble(MESSAGES)).center[0], 0, 'a click in Check mode touched nothing');
  });

  await t.test('a respring, a lock and an unlock with a bubble tapped while locked are recorded', async () => {
    const generation = await page.evaluate(() => playground.meta.generation);
    await page.click('#respring');
    await until((g) => playground.meta.generation === g + 1, 'the home screen to start again', generation);
    await untilLine(/^respring$/, 'the respring in the list');
    await unlockAsAPerson();
    await page.click('#side-button');
    await until(() => playground.dump.host.uiLocked, 'the lock');
    const mail = await bubble(MAIL);
    const at = await toPage(Math.min(mail.center[0], 374), mail.center[1]);
    await page.mouse.click(at.x, at.y);
    await until(() => playground.dump.host.passcode && !document.querySelector('#passcode').hidden, 'the passcode view');
    for (const digit of [1, 9, 8, 4]) await page.click(`#keypad [data-digit="${digit}"]`);
    await until((b) => playground.dump.host.front === b && !playground.dump.host.uiLocked, 'Mail to open once unlocked', MAIL);

    // A trace line becomes an `expect trace`.
    await page.check('#record-check');
    await page.locator('#trace li.ev-launch', { hasText: MAIL }).last().click();
    await untilLine(/^expect trace "launch com\.apple\.mobilemail suspended=NO"$/, 'a check of the trace line');
    await page.uncheck('#record-check');
    await page.fill('#record-echo-text', 'Mail opened after the unlock');
    await page.click('#record-echo');
    await untilLine(/^echo "Mail opened after the unlock"$/, 'the comment');
    await page.click('#record-toggle');
    await until(() => document.querySelector('#record-toggle').textContent === 'Start recording', 'the recording to stop');
    // A line taken out of the list is gone from the export.
    const comment = page.locator('#record-lines li', { hasText: 'Mail opened after the unlock' });
    await comment.hover();
    await comment.locator('.record-delete').click();
    await until(() => ![...document.querySelectorAll('#record-lines li')].some((li) => li.textContent.includes('Mail opened')),
      'the comment to go');
    final = await dump();
  });

  await t.test('the downloaded scenario replays green, and an edited copy fails on its line', async () => {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#record-download')]);
    const file = join(OUT, 'recorded.scenario');
    await download.saveAs(file);
    scenario = readFileSync(file, 'utf8');
    assert.match(scenario, /\nrespring\n/);
    assert.doesNotMatch(scenario, /Mail opened after the unlock/, 'the deleted comment');
    const dumped = join(OUT, 'recorded.json');
    writeFileSync(join(OUT, 'recorded-dump.scenario'), scenario + `dump ${dumped}\n`);
    const green = run(join(OUT, 'recorded-dump.scenario'));
    assert.equal(green.status, 0, green.output);
    const replayed = JSON.parse(readFileSync(dumped, 'utf8'));
    assert.deepEqual(replayed.files, final.files, 'the files as the page showed them');
    assert.deepEqual(replayed.host.front, final.host.front);
    assert.deepEqual(replayed.bubbles.map((b) => [b.bundle, b.center, b.hidden]), final.bubbles.map((b) => [b.bundle, b.center, b.hidden]));

    const check = /^expect \/files\/state\/POSAPPS-com\.apple\.MobileSMS ~ \[0\.0,.*$/m;
    const line = scenario.slice(0, scenario.search(check)).split('\n').length;
    const edited = join(OUT, 'recorded-edited.scenario');
    writeFileSync(edited, scenario.replace(check, 'expect /files/state/POSAPPS-com.apple.MobileSMS ~ [375.0, 10.0]'));
    const red = run(edited);
    assert.notEqual(red.status, 0);
    assert.match(red.output, new RegExp(`recorded-edited\\.scenario:${line}: `));
  });

  await t.test('Replay runs it again on a new phone', async () => {
    // Four times as fast: the visit took as long as the machine made it.
    await page.check('#record-fast');
    await page.click('#record-replay');
    await until(() => document.querySelector('#record-status').textContent === 'Replaying…', 'the replay to start');
    await until(() => document.querySelector('#record-status').textContent !== 'Replaying…', 'the replay to end');
    await page.uncheck('#record-fast');
    await until(([files, front]) => JSON.stringify(playground.dump.files) === files && playground.dump.host.front === front,
      'the replayed phone to end where the visit did', [JSON.stringify(final.files), MAIL]);
    const trace = await page.evaluate(() => document.querySelector('#trace').textContent);
    assert.doesNotMatch(trace, /check failed/);
  });
});
