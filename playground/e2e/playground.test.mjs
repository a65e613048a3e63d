// The playground end to end: the real server and its home screen, the real
// page in Debian's Chromium, driven with a mouse as a person would. Every
// step waits for what the phone shows and what its files hold, never for a
// length of time, so a slow machine only makes it slower.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import {
  MAIL, MESSAGES, PATIENCE, SAFARI, bubble, root, closePlayground, drawnBubble, dump, openPlayground, openTab, page, server,
  serverExit, shot, holdAndMove, tapMenuButton, toPage, unlockAsAPerson, until,
} from './support.mjs';

// The browser is this file's to close early (the last step ends it all).
let context;

before(async () => {
  ({ context } = await openPlayground());
  await unlockAsAPerson();
});

after(() => closePlayground('last.png'));

test('the playground drives the phone as a person would', async (t) => {
  let snapped;

  await t.test('a bubble follows a drag and snaps to the edge', async () => {
    await page.locator('input[data-setting="isSticky"]').check();
    await until(() => playground.dump.files.settings?.isSticky === true && playground.dump.plugin.isSticky === true,
      'isSticky in the settings file and in the plugin');

    await holdAndMove(MESSAGES, 120, 320, 12);
    // Still held: the bubble is under the finger.
    const held = await until(([bundle]) => {
      const b = playground.dump.bubbles.find((x) => x.bundle === bundle);
      return Math.abs(b.center[0] - 120) < 12 && Math.abs(b.center[1] - 320) < 12 && b.center;
    }, 'the bubble to follow the finger', [MESSAGES]);
    assert.ok(held[0] > 0, 'no snap while the finger is down');
    await shot('01-dragging');
    await page.mouse.up();

    // Let go left of the middle: it moves to the left edge, keeping its height.
    snapped = await until(([bundle, y]) => {
      const b = playground.dump.bubbles.find((x) => x.bundle === bundle);
      return b.center[0] === 0 && Math.abs(b.center[1] - y) < 0.001 && b.center;
    }, 'the bubble to snap to the left edge', [MESSAGES, held[1]]);
    const edge = await toPage(0, snapped[1]);
    await until(([bundle, x, y]) => {
      const icon = document.querySelector(`#screen-svg #windows g.app-icon[data-bundle="${bundle}"]`);
      const r = icon && icon.getBoundingClientRect();
      return r && Math.abs(r.left + r.width / 2 - x) < 2 && Math.abs(r.top + r.height / 2 - y) < 2;
    }, 'the drawn bubble to reach the edge', [MESSAGES, edge.x, edge.y]);
    await shot('02-snapped');
  });

  await t.test('a long press opens the menu, and Save Current Position writes the state file', async () => {
    const before = (await dump()).files.state;
    assert.equal(before[`POSAPPS-${MESSAGES}`], undefined, 'no position saved yet');
    // The bubble's centre is on the edge: press just inside the glass.
    const at = await toPage(3, snapped[1]);
    await page.mouse.move(at.x, at.y);
    await page.mouse.down();
    const alert = await until(() => playground.dump.alert, 'the long-press menu');
    await page.mouse.up();
    assert.equal(alert.title, 'Float Tiles');
    assert.ok(alert.actions.some((a) => a.title === 'Save Current Position'));
    await shot('03-menu');

    // Tap the button where it is drawn.
    await tapMenuButton('Save Current Position');
    const saved = await until(([bundle]) => !playground.dump.alert && playground.dump.files.state?.[`POSAPPS-${bundle}`],
      'the position in the state file', [MESSAGES]);
    assert.equal(saved[0], 0);
    assert.ok(Math.abs(saved[1] - snapped[1]) < 0.001);

    // The files view shows the new key as it stands on disk.
    await page.click('.seg-item[data-file="state"]');
    await page.locator(`table.plist[data-file="state"] tr[data-key="POSAPPS-${MESSAGES}"]`).waitFor({ timeout: PATIENCE });
    await shot('04-saved');

    // Any key, any type, set and taken out from the panel; a text shows
    // exactly, its leading spaces too.
    for (const [key, value, type] of [['  spaced', '"  two spaces"', 'text'], ['when', 'date:2024-05-01T12:30:00Z', 'date']]) {
      await page.click('#file-add');
      await page.fill('form.file-edit input[placeholder="key"]', key);
      await page.locator('form.file-edit input').nth(1).fill(value);
      await page.click('form.file-edit button[type="submit"]');
      const row = page.locator(`table.plist[data-file="state"] tr[data-key="${key}"]`);
      await row.waitFor({ timeout: PATIENCE });
      assert.deepEqual([await row.locator('.pval .v-word').textContent(), await row.locator('.v-type').textContent()], [value, type]);
    }
    assert.equal((await dump()).files.state['  spaced'], '  two spaces');
    await page.click('table.plist[data-file="state"] tr[data-key="when"] button[title="Delete when"]');
    await until(() => !('when' in playground.dump.files.state), 'the key taken out of the state file');
  });

  await t.test('a larger bubble size in the settings pane grows the bubbles', async () => {
    await openTab('settings');
    const small = await drawnBubble(MAIL);
    await page.locator('input[data-setting="bubbleSize"]').fill('80');
    await until(() => playground.dump.files.settings?.bubbleSize === 80 && playground.dump.plugin.bubbleSize === 80 &&
      playground.dump.bubbles.every((b) => b.frame[2] === 80 && b.frame[3] === 80), 'every bubble to be 80 points');
    await until(([bundle, width]) => {
      const icon = document.querySelector(`#screen-svg #windows g.app-icon[data-bundle="${bundle}"]`);
      return icon && icon.getBoundingClientRect().width > width * 1.5;
    }, 'the drawn bubbles to grow', [MAIL, small.width]);
    await shot('05-bigger');
  });

  await t.test('after a respring the saved position is kept', async () => {
    const saved = (await dump()).files.state[`POSAPPS-${MESSAGES}`];
    const generation = await page.evaluate(() => playground.meta.generation);
    await page.click('#respring');
    await until(([g, bundle, x, y]) => {
      const d = playground.dump;
      const b = d.bubbles.find((b) => b.bundle === bundle);
      return playground.meta.generation === g + 1 && d.bubbles.length === 4 && b &&
        Math.abs(b.center[0] - x) < 0.001 && Math.abs(b.center[1] - y) < 0.001;
    }, 'the home screen to start again with the bubble at its saved place', [generation, MESSAGES, saved[0], saved[1]]);
    const d = await dump();
    assert.equal(d.files.settings.isSticky, true, 'the settings file survived the respring');
    assert.equal(d.bubbles[0].frame[2], 80, 'and so did the size');
    await shot('06-resprung');
  });

  await t.test('a bubble tapped while locked opens its app after the unlock', async () => {
    // The respring came up on the lock screen, where the Device tab offers
    // the passcode view and no lock.
    await openTab('device');
    await until(() => playground.dump.host.uiLocked && document.querySelector('#screen-svg g.lock-screen') &&
      document.querySelector('#lock').hidden && !document.querySelector('#show-passcode').hidden, 'the lock screen');
    const mail = await bubble(MAIL);
    assert.equal(mail.hidden, false, 'the bubbles show on the lock screen');
    const at = await toPage(Math.min(mail.center[0], 374), mail.center[1]);
    await page.mouse.click(at.x, at.y);
    await until(() => playground.dump.host.unlockRequests >= 1 && playground.dump.host.passcode &&
      !document.querySelector('#passcode').hidden, 'the passcode view');
    const before = await dump();
    assert.deepEqual(before.host.launches, [], 'nothing opens while locked');
    await shot('07-passcode');

    for (const digit of [1, 9, 8, 4]) await page.click(`#keypad [data-digit="${digit}"]`);
    await until(([bundle]) => {
      const h = playground.dump.host;
      return !h.uiLocked && h.launches.includes(bundle) && h.front === bundle &&
        document.querySelector(`#screen-svg g.front-app[data-bundle="${bundle}"]`) && document.querySelector('#passcode').hidden;
    }, 'Mail to open once unlocked', [MAIL]);
    await shot('08-mail');
  });

  await t.test('the trace says it in plain words, and keeps the raw lines', async () => {
    await page.check('#plain-words');
    await until(() => [...document.querySelectorAll('#trace li.plain')].some((li) => li.offsetParent && li.textContent === 'Mail opened'),
      'a plain-words line saying Mail opened');
    assert.equal(await page.locator('#trace li.ev-launch').last().isVisible(), false, 'the raw lines step aside');
    await shot('09-plain-words');
    await page.uncheck('#plain-words');
    assert.ok(await page.locator('#trace li.ev-launch').last().isVisible(), 'and come back');
  });

  await t.test('plain words tell a snap after a tap from one after a drag, the side as held, and why the bubbles hid', async () => {
    const told = await page.evaluate(([mail]) => {
      const p = playground.createPlainWords(playground.config);
      const at = (center, o = 1, extra = {}) => ({ host: { orientation: o }, plugin: { isSticky: true, ...extra.plugin },
        bubbles: [{ bundle: mail, center, frame: [center[0] - 25, center[1] - 25, 50, 50], alpha: 1, hidden: !!extra.hidden, transform: [1, 0, 0, 1, 0, 0] }] });
      const say = (items) => items.map((i) => i.text + (i.why && i.why.includes('tap') ? ' (tap)' : ''));
      const touch = (phase) => p.line({ kind: 'input', text: `touch ${phase} 200.00,300.00` }, at([200, 300]));
      return [
        touch('down'), touch('up'), ...say(p.changes(at([200, 300]), at([0, 300]))),
        touch('down'), ...say(p.changes(at([200, 300]), at([100, 310]))), touch('up'), ...say(p.changes(at([100, 310]), at([375, 310]))),
        ...say(p.changes(at([100, 310], 3), at([100, 20], 3))), ...say(p.changes(at([100, 310], 4), at([100, 20], 4))),
        // A pick from the menu says what moved the bubble: an align is no snap.
        p.line({ kind: 'sim', text: '[1.000] alert-action "Align By This Button (Vertically)"' }),
        ...say(p.changes(at([200, 310]), at([0, 310]))),
        ...p.changes(at([9, 9], 1, { plugin: { isSBOnly: true } }),
          at([9, 9], 1, { hidden: true, plugin: { isSBOnly: true, isFirstHomeHandled: true } })).map((i) => i.why),
        // The blacklist picked before any app came to the front.
        p.line({ kind: 'sim', text: '[2.000] alert-action "Add Current App To Blacklist"' }),
        ...p.changes(at([9, 9], 1, { plugin: { currentBundle: null } }),
          at([9, 9], 1, { hidden: true, plugin: { currentBundle: null } })).map((i) => `${i.text}: ${i.why}`),
      ];
    }, [MAIL]);
    const lines = await page.evaluate((texts) => {
      const p = playground.createPlainWords(playground.config);
      return texts.map(([kind, text]) => p.line({ kind, text }, playground.dump));
    }, [['sim', `[1.000] write state POSAPPS-${MAIL}=[0.0,320.0]`], ['sim', '[1.000] write settings isLocked=true failed'],
      ['input', 'settings bubbleSize=70.0'], ['sim', '[1.000] alert "Float Tiles" "Choose" ["Cancel"]'], ['sim', '[1.000] animate 0.300 options=3'],
      ['input', `badge ${MESSAGES} 3`]]);
    assert.deepEqual(lines, ['state file written: position of Mail saved', 'settings file NOT written: bubbles locked in place',
      'settings changed: Bubble size 70', 'menu opened', null, 'badge of Messages set to 3']);
    assert.deepEqual(told, ['finger down on the Mail bubble', 'finger lifted', 'Mail snapped to the left edge (tap)',
      'finger down on the Mail bubble', 'Mail dragged to (100, 310)', 'finger lifted', 'Mail snapped to the right edge',
      'Mail snapped to the left side', 'Mail snapped to the right side',
      'menu: "Align By This Button (Vertically)" picked', 'Mail aligned to (0, 310)',
      'the first screen without an app after a start (the lock screen) hides them while Home screen only is on; the home screen after it follows the setting',
      'menu: "Add Current App To Blacklist" picked',
      'bubbles hidden: no app has come to the front since the start, so there is no current app: nothing is marked or written, and the next change of the screen in front decides again']);
  });

  await t.test('the home button goes home, and a home-screen icon opens its app', async () => {
    await page.click('#home-button');
    await until(() => playground.dump.host.front === null && document.querySelector('#screen-svg g.home-screen'),
      'the home screen');
    const icon = await until(() => {
      const r = document.querySelector('#screen-svg g.home-icon[data-bundle="com.apple.Music"] rect');
      if (!r) return null;
      const box = r.getBoundingClientRect();
      return { x: box.left + box.width / 2, y: box.top + box.height / 2 };
    }, 'the Music icon');
    await page.mouse.click(icon.x, icon.y);
    await until(() => playground.dump.host.front === 'com.apple.Music', 'Music in front');
  });

  await t.test('held in landscape, a dragged bubble lands where the pointer goes', async () => {
    const turnedTo = (o) => until((o) => {
      const r = document.querySelector('#screen').getBoundingClientRect();
      return playground.dump.host.orientation === o && (r.width > r.height) === (o === 3) &&
        !document.querySelector('#phone').getAnimations().length;
    }, `the phone held in orientation ${o}`, o);
    await openTab('device');
    await page.click('[data-orientation="3"]');
    await turnedTo(3);
    const to = await holdAndMove(SAFARI, 200, 300, 12);
    await until(([bundle]) => {
      const b = playground.dump.bubbles.find((x) => x.bundle === bundle);
      return Math.abs(b.center[0] - 200) < 1 && Math.abs(b.center[1] - 300) < 1;
    }, 'the bubble at the point under the pointer', [SAFARI]);
    // Drawn under the pointer too: the page's turn and its mapping agree.
    await until(([bundle, x, y]) => {
      const r = document.querySelector(`#screen-svg #windows g.app-icon[data-bundle="${bundle}"]`).getBoundingClientRect();
      return Math.abs(r.left + r.width / 2 - x) < 2 && Math.abs(r.top + r.height / 2 - y) < 2;
    }, 'the drawn bubble under the pointer', [SAFARI, to.x, to.y]);
    await shot('10-landscape-drag');
    await page.mouse.up();
    await page.click('[data-orientation="1"]');
    await turnedTo(1);
  });

  await t.test('a fast drag is a drag: the bubble goes where the finger went, and no menu opens', async () => {
    await holdAndMove(MAIL, 250, 200, 2);
    await page.mouse.up();
    // Sticky: let go right of the middle, it lands on the right edge at the
    // height the finger left it.
    await until(([bundle]) => {
      const b = playground.dump.bubbles.find((x) => x.bundle === bundle);
      return b.center[0] === 375 && Math.abs(b.center[1] - 200) < 1 && !playground.dump.alert;
    }, 'Mail on the right edge at the finger\'s height', [MAIL]);
    const edge = await toPage(375, 200);
    await until(([bundle, x, y]) => {
      const r = document.querySelector(`#screen-svg #windows g.app-icon[data-bundle="${bundle}"]`).getBoundingClientRect();
      return Math.abs(r.left + r.width / 2 - x) < 2 && Math.abs(r.top + r.height / 2 - y) < 2;
    }, 'the drawn bubble where the phone has it', [MAIL, edge.x, edge.y]);
  });

  await t.test('with Home screen only, a respring, an unlock and the Home button show the bubbles as a phone does', async () => {
    await openTab('settings');
    await page.locator('input[data-setting="isSBOnly"]').check();
    await until(() => playground.dump.plugin.isSBOnly === true, 'Home screen only in the plugin');
    const generation = await page.evaluate(() => playground.meta.generation);
    await page.click('#respring');
    await until((g) => playground.meta.generation === g + 1 && playground.dump.host.uiLocked &&
      playground.dump.bubbles.length === 4 && playground.dump.bubbles.every((b) => b.hidden), 'hidden on the lock screen', generation);
    await unlockAsAPerson();
    await until(() => playground.dump.host.front === null && playground.dump.bubbles.every((b) => !b.hidden),
      'shown on the home screen after the unlock');
    const icon = await until(() => {
      const r = document.querySelector('#screen-svg g.home-icon[data-bundle="com.apple.Maps"] rect');
      const box = r && r.getBoundingClientRect();
      return box && { x: box.left + box.width / 2, y: box.top + box.height / 2 };
    }, 'the Maps icon');
    await page.mouse.click(icon.x, icon.y);
    await until(() => playground.dump.host.front === 'com.apple.Maps' && playground.dump.bubbles.every((b) => b.hidden),
      'hidden with Maps in front');
    await page.click('#home-button');
    await until(() => playground.dump.host.front === null && playground.dump.bubbles.every((b) => !b.hidden),
      'shown again at the first Home press');
    await page.locator('input[data-setting="isSBOnly"]').uncheck();
    await until(() => playground.dump.plugin.isSBOnly === false, 'Home screen only off again');
  });

  await t.test('the lock chosen in the menu shows in the settings pane', async () => {
    await openTab('settings');
    assert.equal(await page.locator('input[data-setting="isLocked"]').isChecked(), false);
    const mail = await bubble(MAIL);
    const at = await toPage(Math.min(mail.center[0], 374), mail.center[1]);
    await page.mouse.move(at.x, at.y);
    await page.mouse.down();
    await until(() => playground.dump.alert, 'the long-press menu');
    await page.mouse.up();
    await tapMenuButton('Lock Float Tiles');
    await until(() => playground.dump.files.settings.isLocked === true &&
      document.querySelector('input[data-setting="isLocked"]').checked &&
      document.querySelector('[data-row="isLocked"] .tag').textContent === 'in file', 'the lock in the pane');
    await shot('11-locked-in-pane');
  });

  await t.test('a state file of odd values shows the same apps, blacklist and bubbles in the page as on the phone', async () => {
    // Values the plugin reads as false ("no", a dictionary, an array) and
    // as true ("1", "+Y", "+7", "-0t"), written behind the phone's back.
    const text = (s) => `<string>${s}</string>`;
    const entries = [
      [`FLTTILE-${MESSAGES}`, text('no')], [`FLTTILE-${MAIL}`, text('+Y')],
      [`FLTTILE-${SAFARI}`, '<dict><key>a</key><true/></dict>'], ['FLTTILE-com.apple.siri', '<array><true/></array>'],
      ['FLTTILE-com.apple.Music', text('1')],
      ['HIDAPPS-com.apple.camera', text('+Y')], ['HIDAPPS-com.apple.Maps', text('+7')], ['HIDAPPS-com.apple.mobilephone', text('-0t')],
    ];
    const path = await page.evaluate(() => playground.config.files.state);
    writeFileSync(join(root, path), '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>' +
      entries.map(([k, v]) => `<key>${k}</key>${v}`).join('') + '</dict></plist>\n');
    const generation = await page.evaluate(() => playground.meta.generation);
    await page.click('#respring');
    await until((g) => playground.meta.generation === g + 1 && playground.dump.bubbles.length === 2, 'the respring', generation);
    await openTab('apps');
    const seen = await until(() => {
      const d = playground.dump;
      const on = [...document.querySelectorAll('input[data-app]')].filter((i) => i.checked).map((i) => i.dataset.app);
      const listed = [...document.querySelectorAll('[data-blacklisted]')].map((li) => li.dataset.blacklisted);
      const bubbles = d.bubbles.map((b) => b.bundle);
      const tagged = [...document.querySelectorAll('#app-list .app-row')].filter((row) => /on screen|hidden now/.test(row.textContent))
        .map((row) => row.querySelector('input[data-app]').dataset.app);
      // The tab lists the apps in the phone's order of apps, the bubbles
      // come in the plugin's: the same apps, each in its own order.
      const same = (a, b) => JSON.stringify([...a].sort()) === JSON.stringify([...b].sort());
      return same(on, bubbles) && same(tagged, bubbles) &&
        listed.join() === d.readings.now.hidden.join() && { on, listed, bubbles };
    }, 'the Apps tab to agree with the phone');
    // In the order of their keys, whatever the file's order.
    assert.deepEqual(seen.bubbles, ['com.apple.Music', MAIL]);
    assert.deepEqual(seen.listed, ['com.apple.Maps', 'com.apple.camera', 'com.apple.mobilephone']);
    await shot('12-odd-values');
  });

  await t.test('a settings file of odd values shows in every row what the plugin read, and why', async () => {
    // Texts for switches, colours without "#" or with spaces, a size below
    // zero: what the file says is not what the plugin reads.
    const text = (s) => `<string>${s}</string>`;
    const odd = {
      isEnabled: text('yes'), isSticky: text('nope'), isCircle: text('NO'), isDim: text('0'), isAppsOnly: '<integer>2</integer>',
      isBadgeEnabled: '<array><integer>1</integer></array>', isHiddenInCC: '<dict><key>a</key><true/></dict>',
      bubbleSize: '<integer>-40</integer>', frameColor: text('00ff00'), badgeColor: text('#FFF'), badgeTextColor: text(' #00ff00 '),
    };
    const path = await page.evaluate(() => playground.config.files.settings);
    writeFileSync(join(root, path), '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>' +
      Object.entries(odd).map(([k, v]) => `<key>${k}</key>${v}`).join('') + '</dict></plist>\n');
    const generation = await page.evaluate(() => playground.meta.generation);
    await page.click('#respring');
    await until((g) => playground.meta.generation === g + 1 && playground.dump.files.settings?.isSticky === 'nope' &&
      playground.dump.bubbles.length > 0, 'the respring with the odd settings', generation);
    await openTab('settings');

    // Every row against the plugin's variables, and each colour against the
    // colour the phone draws; a row whose key holds an odd value shows the
    // file's value and the plugin's word on it.
    const agree = (oddKeys) => until((oddKeys) => {
      const d = playground.dump;
      const b = d.bubbles[0];
      const drawn = { frameColor: b.borderColor, badgeColor: b.badge.color, badgeTextColor: b.badge.label.textColor };
      const wrong = [];
      for (const s of playground.config.settings) {
        const v = d.plugin[s.variable];
        const shown = s.type === 'boolean' ? document.querySelector(`input[data-setting="${s.key}"]`).checked
          : document.querySelector(`[data-${s.type === 'number' ? 'readout' : 'drawn'}="${s.key}"]`).textContent;
        const want = s.type === 'boolean' ? v : s.type === 'number' ? `${v} pt` : drawn[s.key];
        if (shown !== want) wrong.push(`${s.key} shows ${shown}, the plugin ${want}`);
        const file = document.querySelector(`[data-row="${s.key}"] .row-file`);
        const said = file.hidden ? null : file.textContent;
        if (oddKeys.includes(s.key) !== (said !== null)) wrong.push(`${s.key} ${said ? 'says ' + said : 'says nothing of the file'}`);
        else if (said && !(said.includes(d.fileWords.settings[s.key].value) && said.includes(d.readings.settings[s.key].why)))
          wrong.push(`${s.key} says ${said}`);
      }
      return wrong.length ? false : true;
    }, `every row to show the plugin's reading (${oddKeys.join(', ')} odd)`, oddKeys);
    const oddKeys = Object.keys(odd);
    await agree(oddKeys);
    const d = await dump();
    assert.deepEqual([d.plugin.isSticky, d.plugin.isCircle, d.plugin.isDim, d.plugin.bubbleSize, d.bubbles[0].borderColor],
      [false, false, false, 50, '#00ff00'], 'the plugin reads the texts as off, keeps its size, reads the colour');
    await shot('13-odd-settings');

    // Sizes of 0 and a text, set from the Files panel: the plugin keeps its
    // size, and the row says so.
    await page.click('.seg-item[data-file="settings"]');
    for (const [value, inFile] of [['0', 0], ['"no"', 'no'], ['[1,2]', [1, 2]]]) {
      await page.click('table.plist[data-file="settings"] tr[data-key="bubbleSize"] button[title="Edit bubbleSize"]');
      await page.locator('form.file-edit input').nth(1).fill(value);
      await page.click('form.file-edit button[type="submit"]');
      await until((want) => JSON.stringify(playground.dump.files.settings.bubbleSize) === want, `bubbleSize ${value} in the file`,
        JSON.stringify(inFile));
      await agree(oddKeys);
    }

    // "Default" writes the default, and the ring takes it at once.
    await page.click('[data-row="frameColor"] button');
    await until(() => playground.dump.files.settings.frameColor === '#fffefe' && playground.dump.bubbles[0].borderColor === '#fffefe',
      'the default border colour in the file and on the bubble');
    await agree(oddKeys.filter((k) => k !== 'frameColor'));
    assert.equal(await page.locator('[data-row="frameColor"] button').isDisabled(), true, 'nothing left to put back');
  });

  await t.test('at a phone\'s width the page never scrolls sideways, and no control is cut', async () => {
    // A control is cut when it sticks out of the nearest box that clips,
    // or its own text is wider than it.
    const cut = () => page.evaluate(() => [...document.querySelectorAll('.topbar .chip, .topbar .btn, #tab-device button, #tab-device select')]
      .filter((e) => e.offsetParent).filter((e) => {
        const r = e.getBoundingClientRect();
        let p = e.parentElement;
        while (p && getComputedStyle(p).overflow === 'visible') p = p.parentElement;
        const box = p ? p.getBoundingClientRect() : { left: 0, right: innerWidth };
        return r.left < box.left - 0.5 || r.right > box.right + 0.5 || e.scrollWidth > e.clientWidth + 1;
      }).map((e) => e.textContent.trim() || e.id));
    for (const width of [1200, 390]) {
      await page.setViewportSize({ width, height: 844 });
      await openTab('device');
      assert.deepEqual(await cut(), [], `cut at ${width} px`);
    }
    assert.ok(await page.locator('#clock').isVisible(), 'the clock stays');
    for (const tab of ['settings', 'apps', 'device', 'record']) {
      await openTab(tab);
      const wide = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
      assert.equal(wide, 0, `the ${tab} tab is ${wide} px wider than the page`);
    }
    await shot('14-narrow');
  });

  await t.test('the server ends cleanly when asked', async () => {
    await context.close();
    context = null;
    server.kill('SIGTERM');
    const { code, signal } = await serverExit;
    assert.equal(signal, null);
    assert.equal(code, 0);
  });
});
