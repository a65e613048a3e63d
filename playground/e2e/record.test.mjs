// The recorder end to end: a visit by hand in the real page becomes a
// scenario, downloaded from the page, that springboard-sim replays green;
// an edited copy fails on the edited line; and the page replays it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import {
  MAIL, MESSAGES, OUT, SAFARI, bubble, closePlayground, dump, openPlayground, openTab, page, root, tapMenuButton, toPage,
  unlockAsAPerson, until,
} from './support.mjs';

before(openPlayground);
after(() => closePlayground('record-last.png'));

const untilLine = (pattern) => until((source) => [...document.querySelectorAll('#record-lines li code')]
  .some((c) => new RegExp(source).test(c.textContent)), 'a line ' + pattern, pattern.source);
const recording = (on) => until((on) => document.querySelector('#record-toggle').classList.contains('active') === on,
  'recording ' + on, on);
const run = (file) => spawnSync(process.env.FT_SIM_PROGRAM, ['run', file], { encoding: 'utf8' });

// Downloads the recording and runs it with a dump at its end: answers the
// run and the replayed dump.
async function replayDownload(name) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#record-download')]);
  const file = join(OUT, `${name}.scenario`);
  await download.saveAs(file);
  const scenario = readFileSync(file, 'utf8');
  writeFileSync(join(OUT, `${name}-dump.scenario`), scenario + `dump ${join(OUT, `${name}.json`)}\n`);
  const result = run(join(OUT, `${name}-dump.scenario`));
  return { scenario, result, replayed: result.status === 0 ? JSON.parse(readFileSync(join(OUT, `${name}.json`), 'utf8')) : null };
}

test('a visit by hand becomes a scenario that replays it', async () => {
  await openTab('record');
  await page.click('#record-toggle');
  await recording(true);
  await untilLine(/^boot$/);
  await unlockAsAPerson();
  await openTab('settings');
  await page.locator('input[data-setting="isSticky"]').check();
  await until(() => playground.dump.files.settings?.isSticky, 'isSticky in the file');

  // A drag with snap, then a long press and a menu action.
  const from = await toPage(...(await bubble(MESSAGES)).center);
  const to = await toPage(120, 320);
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  await page.mouse.move(to.x, to.y, { steps: 12 });
  await page.mouse.up();
  const snapped = await until((b) => playground.dump.bubbles.find((x) => x.bundle === b && x.center[0] === 0)?.center, 'the snap', MESSAGES);
  const held = await toPage(3, snapped[1]);
  await page.mouse.move(held.x, held.y);
  await page.mouse.down();
  await until(() => playground.dump.alert, 'the menu');
  await page.mouse.up();
  await tapMenuButton('Save Current Position');
  await until((b) => playground.dump.files.state?.[`POSAPPS-${b}`], 'the saved position', MESSAGES);

  // Checks in Check mode: a bubble, a file's key; the click touches nothing.
  await openTab('record');
  await page.check('#record-check');
  await page.mouse.click(...Object.values(await toPage(10, snapped[1])));
  await untilLine(/^expect \/bubbles\/com\.apple\.MobileSMS\/center ~ \[0\.0,/);
  await page.click('.seg-item[data-file="state"]');
  await page.click(`table.plist[data-file="state"] tr[data-key="POSAPPS-${MESSAGES}"]`);
  await untilLine(/^expect \/files\/state\/POSAPPS-com\.apple\.MobileSMS ~ \[0\.0,/);
  await page.uncheck('#record-check');
  assert.deepEqual((await bubble(MESSAGES)).center, snapped);

  // A respring, then a lock and Mail tapped while locked: it opens after the unlock.
  await page.click('#respring');
  await untilLine(/^respring$/);
  await unlockAsAPerson([1, 1, 1, 1]);
  await page.click('#side-button');
  const mail = await bubble(MAIL);
  await until(() => playground.dump.host.uiLocked, 'the lock');
  await page.mouse.click(...Object.values(await toPage(Math.min(mail.center[0], 374), mail.center[1])));
  await until(() => playground.dump.host.passcode, 'the passcode view asked for by the tap');
  await unlockAsAPerson([1, 9, 8, 4], false);
  await until((b) => playground.dump.host.front === b, 'Mail in front', MAIL);
  await page.fill('#record-echo-text', 'a comment taken out again');
  await page.click('#record-echo');
  await untilLine(/^echo "a comment taken out again"$/);
  await page.click('#record-toggle');
  await recording(false);
  const comment = page.locator('#record-lines li', { hasText: 'a comment taken out again' });
  await comment.hover();
  await comment.locator('.record-delete').click();
  await comment.waitFor({ state: 'detached' });
  const final = await dump();

  // The download replays green to the files and places the page showed.
  const { scenario, result: green, replayed } = await replayDownload('recorded');
  assert.doesNotMatch(scenario, /taken out again/);
  assert.equal(green.status, 0, green.stdout + green.stderr);
  assert.deepEqual([replayed.files, replayed.host.front], [final.files, MAIL]);
  assert.deepEqual(replayed.bubbles.map((b) => b.center), final.bubbles.map((b) => b.center));

  // One expected value changed: the run fails on that line.
  const check = /^expect \/files\/state\/POSAPPS-com\.apple\.MobileSMS .*$/m;
  const line = scenario.slice(0, scenario.search(check)).split('\n').length;
  writeFileSync(join(OUT, 'recorded-edited.scenario'), scenario.replace(check, `expect /files/state/POSAPPS-${MESSAGES} ~ [375.0, 10.0]`));
  const red = run(join(OUT, 'recorded-edited.scenario'));
  assert.notEqual(red.status, 0);
  assert.match(red.stdout + red.stderr, new RegExp(`recorded-edited\\.scenario:${line}: `));

  // Replay in the page: a new phone that ends where the visit did.
  await page.check('#record-fast');
  await page.click('#record-replay');
  await until(() => document.querySelector('#record-status').textContent === 'Replaying…', 'the replay');
  await until(([files, front]) => document.querySelector('#record-status').textContent !== 'Replaying…' &&
    JSON.stringify(playground.dump.files) === files && playground.dump.host.front === front,
  'the replayed phone to end where the visit did', [JSON.stringify(final.files), MAIL]);
  assert.doesNotMatch(await page.textContent('#trace'), /check failed/);
});

test('a recording made from a state file in any key order replays green', async () => {
  // Keys out of alphabetical order, written behind the phone's back, and one
  // more added at the end by the Apps tab: the bubbles' order, and so their
  // places, follow the file's.
  const path = await page.evaluate(() => playground.config.files.state);
  const chosen = ['com.apple.siri', SAFARI, MESSAGES, MAIL];
  writeFileSync(join(root, path), '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>' +
    chosen.map((b) => `<key>FLTTILE-${b}</key><true/>`).join('') + '</dict></plist>\n');
  await openTab('apps');
  await page.locator('input[data-app="com.apple.camera"]').check();
  await until(() => playground.dump.files.state?.['FLTTILE-com.apple.camera'] === true, 'Camera chosen in the file');

  await openTab('record');
  await page.click('#record-toggle');
  await recording(true);
  await untilLine(/^boot$/);
  const order = await until(() => playground.dump.bubbles.length === 5 && playground.dump.readings.now.chosen,
    'a bubble for each chosen app');
  // The plugin offers the apps in its dictionary's order; a file whose keys
  // are out of alphabetical order must replay to that same order.
  console.log('the plugin chose, in its order:', order.join(' '));
  await unlockAsAPerson();
  const from = await toPage(...(await bubble(SAFARI)).center);
  const to = await toPage(200, 400);
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  await page.mouse.move(to.x, to.y, { steps: 8 });
  await page.mouse.up();
  await until((b) => !playground.dump.bubbles.find((x) => x.bundle === b).animations.length, 'the drag to end', SAFARI);
  await page.click('#record-toggle');
  await recording(false);
  const final = await dump();

  const { result, replayed } = await replayDownload('recorded-order');
  assert.equal(result.status, 0, result.stdout + result.stderr);
  assert.deepEqual(replayed.bubbles.map((b) => [b.bundle, b.center]), final.bubbles.map((b) => [b.bundle, b.center]));
  assert.deepEqual(replayed.files, final.files);
});
