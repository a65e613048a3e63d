// FloatTiles Playground: the page. It shows the phone's screen as the
// server sends it, turns pointer input on the screen into touches, and
// offers the settings pane, the choice of apps and the rest of the phone.
// Everything it changes goes through one ordered queue of requests.
'use strict';

(function () {
  const $ = (selector, root = document) => root.querySelector(selector);
  const el = (tag, attrs = {}, ...children) => {
    const node = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs)) {
      if (v === false || v === null || v === undefined) continue;
      if (k === 'class') node.className = v;
      else if (k === 'text') node.textContent = v;
      else if (k.startsWith('on')) node.addEventListener(k.slice(2), v);
      else node.setAttribute(k, v === true ? '' : v);
    }
    for (const c of children) if (c !== null && c !== undefined) node.append(c);
    return node;
  };

  const FILES = {
    settings: '/var/mobile/Library/Preferences/com.vorlak.floattilesprefs.plist',
    state: '/var/mobile/Library/Preferences/com.vorlak.tilestateprefs.plist',
  };
  const GROUPS = ['General', 'Appearance', 'Behaviour', 'Visibility'];
  const CALLS = [
    { status: 4, label: 'Incoming', title: 'Incoming call' },
    { status: 3, label: 'Outgoing', title: 'Calling…' },
    { status: 1, label: 'Connected', title: 'On a call' },
    { status: 5, label: 'Ending', title: 'Ending call' },
    { status: 6, label: 'Ended', title: 'Call ended' },
  ];
  const ORIENTATIONS = [
    { value: 1, label: 'Portrait' },
    { value: 2, label: 'Upside down' },
    { value: 3, label: 'Landscape right' },
    { value: 4, label: 'Landscape left' },
  ];

  // What tests and curious people can read: the latest dump and facts.
  const state = { config: null, dump: null, meta: null, ready: false, traceSeq: 0, frames: 0 };
  window.playground = state;

  // ---- requests, in order ----

  // Touch moves and slider drags come faster than they are answered. The
  // moves waiting to go join into one path, so the finger is never late and
  // no point of its way is lost; a waiting slider value is replaced by the
  // next. Nothing ever overtakes anything.
  const queue = [];
  let sending = false;

  // A touch's actions carry its id and their place in it (`touch`, `seq`):
  // the server applies them in that order however they travel.
  function send(action, coalesce, touch) {
    return new Promise((resolve) => {
      const last = queue[queue.length - 1];
      if (coalesce && last && last.coalesce === coalesce) {
        // Moves add up to one path; anything else: the newest wins, in
        // the place of the one it replaces.
        if (coalesce === 'moves' && last.action.points.length < 200) last.action.points.push(...action.points);
        else if (coalesce !== 'moves') last.action = { ...action, touch: last.action.touch, seq: last.action.seq };
        else {
          queue.push({ action: numbered(action, touch), coalesce, resolvers: [resolve] });
          drain();
          return;
        }
        sent(touch, last.action.seq, action);
        last.resolvers.push(resolve);
        return;
      }
      queue.push({ action: numbered(action, touch), coalesce, resolvers: [resolve] });
      drain();
    });
  }

  function numbered(action, touch) {
    if (!touch) return action;
    const seq = touch.seq++;
    sent(touch, seq, action);
    return { ...action, touch: touch.touch, seq };
  }

  // Where the finger is once the phone has taken in a touch's action.
  function sent(touch, seq, action) {
    const p = action.points ? action.points[action.points.length - 1] : null;
    if (p) noteSent(touch, seq, { x: p[0], y: p[1] });
    else if (typeof action.x === 'number') noteSent(touch, seq, { x: action.x, y: action.y });
  }

  async function drain() {
    if (sending) return;
    sending = true;
    while (queue.length) {
      const item = queue.shift();
      state.speed.requests++;
      let result;
      try {
        const response = await fetch('/api/action', {
          method: 'POST',
          headers: { 'Content-Type': 'application/json' },
          body: JSON.stringify(item.action),
        });
        result = await response.json();
      } catch (e) {
        result = { ok: false, error: 'the playground server cannot be reached' };
      }
      if (!result.ok) toast(result.error || 'that did not work');
      for (const r of item.resolvers) r(result);
    }
    sending = false;
  }

  const setText = (node, text) => {
    if (node.textContent !== text) node.textContent = text;
  };

  let toastTimer = 0;
  function toast(text) {
    const t = $('#toast');
    t.textContent = text;
    t.hidden = false;
    clearTimeout(toastTimer);
    toastTimer = setTimeout(() => (t.hidden = true), 3500);
  }

  // ---- the screen ----

  const screen = $('#screen');
  const screenSvg = $('#screen-svg');
  let pendingSvg = null;
  let painting = false;

  // What the page measures of itself, for playground/measure-speed.mjs:
  // for each pointer move, the time from the event to the frame that drew
  // it, and to the frame that showed the phone's own picture of it; and the
  // time of every frame that changed the picture.
  state.speed = { moveToPicture: [], moveToPhonePicture: [], pictures: [], received: 0, requests: 0 };
  const keep = (list, value) => {
    list.push(value);
    if (list.length > 4000) list.splice(0, list.length - 4000);
  };

  function renderScreen(svg) {
    pendingSvg = svg;
    paint();
  }

  // Everything drawn on the screen waits for the display's next frame:
  // the phone's newest picture, then the dragged bubble put where the
  // finger is now.
  function paint() {
    if (painting) return;
    painting = true;
    requestAnimationFrame(() => {
      painting = false;
      let changed = false;
      const now = performance.now();
      if (pendingSvg !== null) {
        screenSvg.innerHTML = pendingSvg;
        pendingSvg = null;
        state.frames++;
        changed = true;
        const taken = state.meta && state.meta.touch;
        if (lead && taken && taken.id === lead.f.touch) {
          for (const [seq, t] of lead.sentAt) {
            if (seq > taken.seq) continue;
            keep(state.speed.moveToPhonePicture, now - t);
            lead.sentAt.delete(seq);
          }
        }
      }
      if (drawAhead()) changed = true;
      if (changed) keep(state.speed.pictures, now);
      if (lead && lead.waiting.length) {
        for (const t of lead.waiting) keep(state.speed.moveToPicture, now - t);
        lead.waiting = [];
      }
    });
  }

  // ---- the bubble under the finger, drawn ahead of the phone ----

  // The phone's picture of a drag comes a request and a frame after the
  // finger moved. Meanwhile the page moves the bubble under the finger
  // itself, by as much as the finger moved since the last move the phone's
  // picture has taken in (the server says which, in the touch's numbering),
  // and held to the bounds the plugin holds a dragged bubble to. Each new
  // picture corrects the guess; when the phone has taken in the lift, its
  // own picture (with any snap) is all there is. Only upright, and never
  // while the bubbles are locked in place: the page would guess wrong.
  let lead = null;

  function startLead(e, f, p) {
    lead = null;
    const phone = (state.meta && state.meta.phone) || {};
    const settings = (state.dump && state.dump.files && state.dump.files.settings) || {};
    if (phone.orientation !== 1 || settings.isLocked === true) return;
    let group = null;
    for (const node of document.elementsFromPoint(e.clientX, e.clientY)) {
      group = node.closest && node.closest('g.view[data-class="UIButtonFT"]');
      if (group) break;
    }
    if (!group || !screenSvg.contains(group)) return;
    const index = [...screenSvg.querySelectorAll('g.view[data-class="UIButtonFT"]')].indexOf(group);
    lead = { f, index, points: new Map([[0, p]]), pointer: p, waiting: [], sentAt: new Map(), eventTime: 0 };
  }

  // The finger's point after each action of the touch, by its number.
  function noteSent(f, seq, p) {
    if (!lead || lead.f !== f) return;
    lead.points.set(seq, p);
    if (seq > 0 && finger === f && !lead.sentAt.has(seq)) lead.sentAt.set(seq, lead.eventTime);
  }

  function drawAhead() {
    if (!lead) return false;
    const taken = state.meta && state.meta.touch;
    const mine = taken && taken.id === lead.f.touch;
    // The lift is in the picture (or another page's touch has followed
    // this one's, and the lift was answered).
    if ((mine && taken.ended) || (!mine && lead.answered)) {
      const group = screenSvg.querySelectorAll('g.view[data-class="UIButtonFT"]')[lead.index];
      if (group && group.dataset.own !== undefined) group.setAttribute('transform', group.dataset.own);
      lead = null;
      return true;
    }
    const group = screenSvg.querySelectorAll('g.view[data-class="UIButtonFT"]')[lead.index];
    if (!group) return false;
    let base = lead.points.get(0);
    if (mine) {
      for (const [seq, p] of lead.points) if (seq <= taken.seq) base = p;
    }
    const drawn = group.getAttribute('transform') || '';
    const own = group.dataset.own !== undefined ? group.dataset.own : drawn;
    group.dataset.own = own;
    const at = /^translate\(([-\d.e]+) ([-\d.e]+)\)/.exec(own);
    if (!at) return false;
    const { width, height } = state.config.screen;
    const cx = +at[1], cy = +at[2];
    const x = Math.min(width, Math.max(0, cx + lead.pointer.x - base.x));
    const y = Math.min(height - 55, Math.max(30, cy + lead.pointer.y - base.y));
    const next = x === cx && y === cy ? own : `translate(${x - cx} ${y - cy}) ${own}`;
    if (next === drawn) return false;
    group.setAttribute('transform', next);
    return true;
  }

  // ---- holding the phone ----

  const held = PhoneHold.create($('#phone'), $('#phone-holder'), screen, $('#orientation-chip'));
  const holdPhone = held.hold;
  const screenPoint = (event) => held.screenPoint(event.clientX, event.clientY, state.config.screen);
  // The page position of a screen point, for tests and tools.
  state.clientPoint = (x, y) => held.clientPoint(x, y, state.config.screen);
  // For the recorder (record.js): a screen point under the pointer, and
  // the one ordered queue of requests.
  state.screenPoint = (clientX, clientY) => held.screenPoint(clientX, clientY, state.config.screen);
  state.send = send;

  let finger = null;
  const fingerDot = $('#finger');
  // Where the finger is, drawn over the screen, as a touch indicator.
  function showFinger(e) {
    const p = screenPoint(e);
    fingerDot.style.left = `${(p.x / state.config.screen.width) * screen.offsetWidth}px`;
    fingerDot.style.top = `${(p.y / state.config.screen.height) * screen.offsetHeight}px`;
    fingerDot.hidden = false;
  }

  // Each touch carries the time the page saw it. While the finger is down
  // the phone's clock follows these times, and a beat every 40 ms says the
  // finger is still there: holding still for half a second is a long press
  // however slowly the requests travel.
  const pageId = Math.random().toString(36).slice(2, 10);
  let touches = 0;
  screen.addEventListener('pointerdown', (e) => {
    if (!state.config || e.button !== 0 || e.target.closest('.passcode')) return;
    e.preventDefault();
    if (finger) {
      clearInterval(finger.beat);
      send({ type: 'touch', phase: 'cancel', t: e.timeStamp }, null, finger);
    }
    screen.setPointerCapture(e.pointerId);
    screen.classList.add('pressed');
    const p = screenPoint(e);
    finger = { id: e.pointerId, start: p, client: [e.clientX, e.clientY], moved: false,
      touch: `${pageId}-${++touches}`, seq: 0, last: { t: e.timeStamp, seen: performance.now() } };
    startLead(e, finger, p);
    finger.down = send({ type: 'touch', phase: 'down', x: p.x, y: p.y, t: e.timeStamp }, null, finger);
    const f = finger;
    finger.beat = setInterval(() => beat(f), 40);
    showFinger(e);
    fingerDot.classList.add('held');
  });

  // A beat says the finger was still since the last pointer event the page
  // saw, for as long as the page has known it: the time of that event plus
  // the time since it came. A timer may run before pointer events that are
  // already waiting; a frame's callbacks run after them, so the beat waits
  // for the next frame and never claims stillness a waiting move denies.
  function beat(f) {
    requestAnimationFrame(() => {
      if (finger !== f) return;
      // A finger that moved since the last beat has told its time with
      // its moves: a beat would only queue behind them.
      if (performance.now() - f.last.seen < 40) return;
      send({ type: 'hold', t: f.last.t + (performance.now() - f.last.seen) }, 'hold', f);
    });
  }

  screen.addEventListener('pointermove', (e) => {
    if (!finger || e.pointerId !== finger.id) return;
    const p = screenPoint(e);
    if (Math.hypot(p.x - finger.start.x, p.y - finger.start.y) > 8) finger.moved = true;
    finger.last = { t: Math.max(e.timeStamp, finger.last.t), seen: performance.now() };
    showFinger(e);
    if (lead && lead.f === finger) lead.eventTime = e.timeStamp;
    send({ type: 'moves', points: [[p.x, p.y, e.timeStamp]] }, 'moves', finger);
    if (lead && lead.f === finger) {
      lead.pointer = p;
      lead.waiting.push(e.timeStamp);
      paint();
    }
  });

  async function lift(e, cancelled) {
    if (!finger || e.pointerId !== finger.id) return;
    const f = finger;
    finger = null;
    clearInterval(f.beat);
    screen.classList.remove('pressed');
    fingerDot.hidden = true;
    fingerDot.classList.remove('held');
    const p = screenPoint(e);
    const lifted = send(cancelled ? { type: 'touch', phase: 'cancel', t: e.timeStamp }
      : { type: 'touch', phase: 'up', x: p.x, y: p.y, t: e.timeStamp }, null, f);
    const l = lead;
    lifted.then(() => {
      if (lead !== l || !l) return;
      l.answered = true;
      paint();
    });
    const down = await f.down;
    // A tap that no window took reached the phone itself.
    if (!cancelled && !f.moved && down.ok && down.through) hostTap(f.client[0], f.client[1]);
  }
  screen.addEventListener('pointerup', (e) => lift(e, false));
  screen.addEventListener('pointercancel', (e) => lift(e, true));

  // What the phone does with a tap on its own screen: wakes the passcode
  // view on the lock screen, closes Siri or Control Center, opens an app
  // from the home screen.
  function hostTap(clientX, clientY) {
    const phone = (state.meta && state.meta.phone) || {};
    if (phone.passcode) return;
    if (phone.locked) return send({ type: 'passcode', show: true });
    if (phone.siri) return send({ type: 'siri', visible: false });
    if (phone.controlCenter) return send({ type: 'controlCenter', open: false });
    if (phone.front) return;
    for (const node of document.elementsFromPoint(clientX, clientY)) {
      const icon = node.closest && node.closest('.home-icon');
      if (icon && icon.dataset.bundle) return send({ type: 'front', bundle: icon.dataset.bundle });
    }
  }

  $('#home-button').addEventListener('click', () => send({ type: 'home' }));
  $('#side-button').addEventListener('click', () => send({ type: 'lock' }));

  // ---- the passcode view ----

  let code = '';
  function buildKeypad() {
    const letters = ['', 'ABC', 'DEF', 'GHI', 'JKL', 'MNO', 'PQRS', 'TUV', 'WXYZ'];
    const pad = $('#keypad');
    for (let d = 1; d <= 10; d++) {
      const digit = d % 10;
      pad.append(el('button', { type: 'button', class: 'key' + (digit === 0 ? ' zero' : ''), 'data-digit': digit,
        onclick: () => typeDigit(digit) }, el('b', { text: String(digit) }), el('small', { text: letters[d - 1] || '' })));
    }
    $('#passcode-cancel').addEventListener('click', () => {
      code = '';
      showDots();
      send({ type: 'passcode', show: false });
    });
    document.addEventListener('keydown', (e) => {
      if ($('#passcode').hidden || !/^[0-9]$/.test(e.key)) return;
      typeDigit(Number(e.key));
    });
  }
  function showDots() {
    [...$('#passcode-dots').children].forEach((dot, i) => dot.classList.toggle('on', i < code.length));
  }
  function typeDigit(digit) {
    if (code.length >= 4) return;
    code += digit;
    showDots();
    if (code.length === 4) {
      setTimeout(() => {
        code = '';
        showDots();
      }, 250);
      send({ type: 'unlock' });
    }
  }

  // ---- facts about the phone ----

  // The phone's clock runs with the wall clock; a still phone takes no
  // steps, so the page counts on from the last time it was told.
  let clock = { t: 0, at: 0, running: false };
  const clockLabel = $('#clock .label');
  function showClock() {
    const t = clock.t + (clock.running ? (performance.now() - clock.at) / 1000 : 0);
    const minutes = Math.floor(t / 60);
    const seconds = (t - minutes * 60).toFixed(1).padStart(4, '0');
    const text = `${minutes}:${seconds}`;
    setText(clockLabel, text);
  }
  setInterval(showClock, 100);

  function applyMeta(meta) {
    state.meta = meta;
    clock = { t: meta.time || 0, at: performance.now(), running: !!meta.running };
    // A new meta comes with every picture: only what changed is touched,
    // so the page around the screen is not laid out again at every frame.
    setText($('#generation'), meta.running ? `Home screen · run ${meta.generation}` : 'Home screen stopped');
    $('#generation').classList.toggle('down', !meta.running);
    const phone = meta.phone || {};
    if ($('#passcode').hidden === !!phone.passcode) {
      $('#passcode').hidden = !phone.passcode;
      code = '';
      showDots();
    }
    const call = CALLS.find((c) => c.status === phone.call);
    const banner = $('#call-banner');
    banner.hidden = !call || call.status === 6;
    if (call) {
      setText($('#call-title'), call.title);
      setText($('#call-sub'), `${call.label} · status ${call.status}`);
      banner.classList.toggle('ending', call.status === 5);
    }
    if (!state.dump) holdPhone(phone.orientation);
    const side = phone.locked ? 'Side button (locked)' : 'Side button: lock';
    if ($('#side-button').title !== side) $('#side-button').title = side;
    panesLater();
  }

  function setConnection(live) {
    const chip = $('#connection');
    chip.classList.toggle('live', live);
    chip.classList.toggle('down', !live);
    $('.label', chip).textContent = live ? 'Live' : 'Reconnecting…';
  }

  // ---- the settings pane ----

  const settingRows = new Map();

  function buildSettings() {
    const form = $('#settings-form');
    for (const group of GROUPS) {
      const defs = state.config.settings.filter((s) => s.group === group);
      if (!defs.length) continue;
      const body = el('div', { class: 'group-body' });
      form.append(el('section', { class: 'group' }, el('h3', { class: 'group-title', text: group }), body));
      for (const def of defs) body.append(settingRow(def));
    }
  }

  // The plugin's own ways that look like faults to someone who does not
  // know them, said beside the control that brings them out.
  const NOTES = {
    isSticky: 'A snapped bubble\'s centre sits on the screen\'s edge, so half of it is off screen (held sideways, it keeps 20 points in). A plain tap snaps it too.',
    isAlwaysDim: 'Not at once: the bubbles read it at their next use of it. A later settings change dims them for good, once "Dim when idle" is in the file; until then a drag no longer lights them up.',
  };

  function labelBlock(def, tag) {
    return el('div', { class: 'row-text' },
      el('div', { class: 'row-label' }, def.label, tag),
      el('div', { class: 'row-help', text: def.help }),
      NOTES[def.key] ? el('div', { class: 'row-note', text: NOTES[def.key] }) : null,
      el('div', { class: 'row-key', text: def.key }));
  }

  // A control the person just changed keeps their choice until the phone
  // shows it too, or refuses it: frames already on their way still carry
  // the old value and must not flip the control back meanwhile.
  function pending() {
    let want;
    let expires = 0;
    return {
      set(value) {
        want = value;
        expires = performance.now() + 5000;
      },
      clear() {
        want = undefined;
      },
      holds(actual) {
        if (want === undefined) return false;
        if (actual === want || performance.now() > expires) {
          want = undefined;
          return false;
        }
        return true;
      },
    };
  }

  function request(guard, value, action, coalesce) {
    guard.set(value);
    return send(action, coalesce).then((result) => {
      if (!result.ok) {
        guard.clear();
        if (state.dump) renderDump();
      }
      return result;
    });
  }

  function settingRow(def) {
    const tag = el('span', { class: 'tag', text: 'default' });
    const guard = pending();
    const write = (value, coalesce) => request(guard, value,
      { type: 'setting', key: def.key, value }, coalesce);
    let row, update, actual;
    if (def.type === 'boolean') {
      const input = el('input', { type: 'checkbox', role: 'switch', 'data-setting': def.key, 'aria-label': def.label });
      input.addEventListener('change', () => write(input.checked));
      row = el('div', { class: 'row' }, labelBlock(def, tag), el('label', { class: 'switch' }, input, el('span')));
      actual = (v) => !!v;
      update = (v) => (input.checked = !!v);
    } else if (def.type === 'number') {
      const readout = el('span', { class: 'slider-value' });
      const input = el('input', { type: 'range', min: def.min, max: def.max, step: def.step, 'data-setting': def.key,
        'aria-label': def.label });
      let dragging = false;
      let sent = null;
      // A slider reports the same value on input and again on change.
      const push = () => {
        const value = Number(input.value);
        if (value === sent) return;
        sent = value;
        write(value, 'setting:' + def.key);
      };
      input.addEventListener('pointerdown', () => (dragging = true));
      input.addEventListener('pointerup', () => (dragging = false));
      // While the thumb moves only the readout follows; the file is written
      // and the home screen told once, where the thumb is let go (a key
      // press moves and lets go at once).
      input.addEventListener('input', () => (readout.textContent = `${input.value} pt`));
      input.addEventListener('change', push);
      row = el('div', { class: 'row slider-row' },
        el('div', { class: 'slider-head' }, labelBlock(def, tag), readout),
        el('div', { class: 'slider-line' }, el('span', { class: 'dotmin' }), input, el('span', { class: 'dotmax' })));
      actual = (v) => Number(v);
      update = (v) => {
        if (dragging) return;
        sent = Number(v);
        input.value = v;
        readout.textContent = `${Math.round(Number(v) * 10) / 10} pt`;
      };
    } else {
      const fallback = (def.help.match(/#[0-9a-fA-F]{6}/) || ['#ffffff'])[0];
      const input = el('input', { type: 'color', 'data-setting': def.key, 'aria-label': def.label });
      const hex = el('code');
      const reset = el('button', { type: 'button', class: 'btn small ghost', text: 'Default',
        title: 'Remove the key: the plugin draws its default', onclick: () => write(null) });
      input.addEventListener('input', () => {
        hex.textContent = input.value;
        write(input.value.toLowerCase(), 'setting:' + def.key);
      });
      row = el('div', { class: 'row' }, labelBlock(def, tag), el('div', { class: 'colour' }, hex, input, reset));
      actual = (v, inFile) => (inFile && typeof v === 'string' ? v.toLowerCase() : null);
      update = (v, inFile) => {
        const value = inFile && typeof v === 'string' && /^#[0-9a-fA-F]{6}$/.test(v) ? v.toLowerCase() : fallback;
        input.value = value;
        hex.textContent = value;
        reset.disabled = !inFile;
      };
    }
    row.dataset.row = def.key;
    settingRows.set(def.key, { def, row, tag, update, actual, guard, last: undefined });
    return row;
  }

  function renderSettings() {
    const file = (state.dump.files && state.dump.files.settings) || {};
    for (const [key, r] of settingRows) {
      const inFile = Object.prototype.hasOwnProperty.call(file, key);
      const value = inFile ? file[key] : r.def.default;
      if (r.guard.holds(r.actual(value, inFile))) continue;
      r.update(value, inFile);
      r.tag.textContent = inFile ? 'in file' : 'default';
      r.tag.classList.toggle('written', inFile);
      const seen = JSON.stringify([inFile, value]);
      if (r.last !== undefined && r.last !== seen) {
        r.row.classList.remove('flash');
        void r.row.offsetWidth;
        r.row.classList.add('flash');
      }
      r.last = seen;
    }
  }

  // ---- the choice of apps ----

  const appRows = new Map();

  function buildApps() {
    const list = $('#app-list');
    for (const app of state.config.apps) {
      const input = el('input', { type: 'checkbox', role: 'switch', 'data-app': app.bundle, 'aria-label': `Bubble for ${app.name}` });
      const guard = pending();
      input.addEventListener('change', () => request(guard, input.checked, { type: 'choose', bundle: app.bundle, chosen: input.checked }));
      const tag = el('span', { class: 'tag' });
      list.append(el('li', { class: 'app-row' },
        AppIcons.iconElement(app.bundle, 38),
        el('div', { class: 'app-meta' }, el('div', { class: 'app-name' }, app.name, tag), el('div', { class: 'app-bundle', text: app.bundle })),
        el('label', { class: 'switch' }, input, el('span'))));
      appRows.set(app.bundle, { input, tag, guard });
    }
    $('#apps-respring').addEventListener('click', respring);
  }

  function chosenIn(dict) {
    const prefix = state.config.choicePrefix;
    const out = new Set();
    for (const [k, v] of Object.entries(dict || {})) {
      const at = k.lastIndexOf(prefix);
      if (at >= 0 && v && v !== '0' && v !== 'false') out.add(k.slice(at + prefix.length));
    }
    return out;
  }

  // The apps a dictionary hides the bubbles for, as the plugin reads its
  // flags: the text after a key's last prefix, with a value read as true.
  function hiddenIn(dict) {
    const prefix = state.config.hiddenPrefix;
    const out = new Set();
    for (const [k, v] of Object.entries(dict || {})) {
      const at = k.lastIndexOf(prefix);
      if (at >= 0 && readsAsTrue(v)) out.add(k.slice(at + prefix.length));
    }
    return out;
  }
  function readsAsTrue(v) {
    if (typeof v === 'boolean') return v;
    if (typeof v === 'number') return v !== 0;
    return typeof v === 'string' && /^[ \t\n]*[+-]?0*[YyTt1-9]/.test(v);
  }

  let blacklistShown = '';
  function renderBlacklist() {
    const d = state.dump;
    const inFile = hiddenIn(d.files && d.files.state);
    const inMemory = d.plugin && d.plugin.floatTilesDict ? hiddenIn(d.plugin.floatTilesDict) : inFile;
    const all = [...new Set([...inFile, ...inMemory])].sort();
    const shown = JSON.stringify([[...inFile], [...inMemory]]);
    if (shown === blacklistShown) return;
    blacklistShown = shown;
    const list = $('#blacklist');
    list.innerHTML = '';
    if (!all.length) list.append(el('li', { class: 'app-row empty', text: 'No app is on the blacklist.' }));
    for (const bundle of all) {
      const note = !inFile.has(bundle) ? 'hidden until the next respring (not in the file)'
        : !inMemory.has(bundle) ? 'written: from the next respring' : 'in the file and on the home screen';
      const lift = inFile.has(bundle) ? el('button', { class: 'btn small', type: 'button', 'data-lift': bundle, text: 'Take off',
        onclick: () => send({ type: 'lift', bundle }).then((r) => r.ok && toast(`${nameOf(bundle)} is off the blacklist in the state file; the bubbles hide in it until the next respring.`)) }) : null;
      list.append(el('li', { class: 'app-row', 'data-blacklisted': bundle },
        AppIcons.iconElement(bundle, 38),
        el('div', { class: 'app-meta' }, el('div', { class: 'app-name', text: nameOf(bundle) }), el('div', { class: 'app-bundle', text: note })),
        lift));
    }
  }

  function renderApps() {
    const d = state.dump;
    renderBlacklist();
    const inFile = chosenIn(d.files && d.files.state);
    const running = new Set((d.bubbles || []).map((b) => b.bundle));
    const loaded = d.plugin && d.plugin.floatTilesDict ? chosenIn(d.plugin.floatTilesDict) : running;
    let pending = 0;
    for (const [bundle, r] of appRows) {
      const chosen = inFile.has(bundle);
      if (!r.guard.holds(chosen)) r.input.checked = chosen;
      const differs = chosen !== loaded.has(bundle);
      if (differs) pending++;
      r.tag.textContent = differs ? (chosen ? 'after respring' : 'until respring') : running.has(bundle) ? 'on screen' : '';
      r.tag.hidden = !r.tag.textContent;
      r.tag.classList.toggle('written', running.has(bundle) && !differs);
    }
    $('#apps-pending').hidden = !pending;
    $('#apps-notice').classList.toggle('pending', pending > 0);
    $('#apps-notice-text').textContent = pending
      ? `${pending} change${pending > 1 ? 's' : ''} waiting: respring to apply.`
      : 'Like on the phone, a change takes effect at the next respring.';
  }

  // ---- the rest of the phone ----

  const device = {};

  function section(title, ...content) {
    return el('section', { class: 'group device-section' }, el('h3', { class: 'group-title', text: title }),
      el('div', { class: 'group-body' }, ...content));
  }
  function flushSection(title, ...rows) {
    const s = section(title, ...rows);
    s.lastChild.classList.add('flush');
    return s;
  }

  function switchRow(label, help, action) {
    const input = el('input', { type: 'checkbox', role: 'switch', 'aria-label': label });
    const guard = pending();
    input.addEventListener('change', () => request(guard, input.checked, action(input.checked)));
    return { input, guard, row: el('div', { class: 'row' },
      el('div', { class: 'row-text' }, el('div', { class: 'row-label', text: label }), el('div', { class: 'row-help', text: help })),
      el('label', { class: 'switch' }, input, el('span'))) };
  }

  function buildDevice() {
    const form = $('#device-form');
    // In front
    const grid = el('div', { class: 'app-grid' });
    const home = el('button', { type: 'button', class: 'app-tile', 'data-front': '', onclick: () => send({ type: 'front', bundle: null }) },
      el('span', { class: 'home-glyph' }), 'Home');
    home.firstChild.innerHTML = '<svg viewBox="0 0 16 16" width="16" height="16" aria-hidden="true"><path d="M2.5 7.5 8 3l5.5 4.5V13a.5.5 0 0 1-.5.5H9.5v-3h-3v3H3a.5.5 0 0 1-.5-.5z" fill="currentColor"/></svg>';
    grid.append(home);
    device.tiles = new Map([[null, home]]);
    for (const app of state.config.apps) {
      const tile = el('button', { type: 'button', class: 'app-tile', 'data-front': app.bundle, title: `Bring ${app.name} to the front`,
        onclick: () => send({ type: 'front', bundle: app.bundle }) }, AppIcons.iconElement(app.bundle, 34), app.name);
      grid.append(tile);
      device.tiles.set(app.bundle, tile);
    }
    device.frontLine = el('b');
    form.append(section('In front', el('div', { class: 'state-line' }, el('span', {}, 'Showing ', device.frontLine)), grid));

    // Lock
    device.lockLine = el('b');
    device.lockPill = el('span', { class: 'pill' });
    // Each button only where the phone has it: the passcode view and the
    // unlock belong to the lock screen, the lock to an unlocked phone.
    device.lockButton = el('button', { type: 'button', class: 'btn small', id: 'lock', onclick: () => send({ type: 'lock' }) }, 'Lock');
    device.passcodeButton = el('button', { type: 'button', class: 'btn small', id: 'show-passcode',
      onclick: () => send({ type: 'passcode', show: true }) }, 'Passcode view');
    device.unlockButton = el('button', { type: 'button', class: 'btn small', id: 'unlock', onclick: () => send({ type: 'unlock' }) }, 'Unlock');
    form.append(section('Lock screen',
      el('div', { class: 'state-line' }, el('span', {}, 'The phone is ', device.lockLine), device.lockPill),
      el('div', { class: 'button-row' }, device.lockButton, device.passcodeButton, device.unlockButton)));

    // Control Center and Siri
    device.cc = switchRow('Control Center', 'Open it over whatever is on screen.', (open) => ({ type: 'controlCenter', open }));
    device.siri = switchRow('Siri on screen', 'What the accessibility server reports as visible.', (visible) => ({ type: 'siri', visible }));
    form.append(flushSection('Overlays', device.cc.row, device.siri.row));

    // Call
    device.callLine = el('b');
    device.callButtons = CALLS.map((c) => el('button', { type: 'button', class: 'btn small', 'data-call': c.status,
      title: `Call status ${c.status}`, onclick: () => send({ type: 'call', status: c.status }) }, c.label));
    form.append(section('Phone call',
      el('div', { class: 'state-line' }, el('span', {}, 'Call: ', device.callLine)),
      el('div', { class: 'button-row' }, ...device.callButtons,
        el('button', { type: 'button', class: 'btn small ghost', onclick: () => send({ type: 'call', status: null }) }, 'No call'))));

    // Orientation
    device.orientation = ORIENTATIONS.map((o) => el('button', { type: 'button', class: 'seg-item', 'data-orientation': o.value,
      onclick: () => send({ type: 'orientation', value: o.value }) }, o.label));
    form.append(section('Orientation', el('nav', { class: 'seg wide' }, ...device.orientation),
      el('div', { class: 'row-note', text: 'The home screen itself never turns: the plugin turns each bubble so it reads upright as the phone is held, and the picture turns the whole phone to match. Upside down, a bubble does not follow a drag: that is the plugin\'s way.' })));

    // Badges
    const select = el('select', { 'aria-label': 'App' }, ...state.config.apps.map((a) => el('option', { value: a.bundle }, a.name)));
    const value = el('input', { type: 'text', placeholder: 'e.g. 3', 'aria-label': 'Badge', maxlength: 8 });
    const current = el('span', { class: 'pill' });
    const showCurrent = () => {
      const app = ((state.dump && state.dump.host.apps) || []).find((a) => a.bundle === select.value);
      current.textContent = app && app.badge !== null && app.badge !== undefined ? `now ${app.badge}` : 'no badge';
    };
    device.showBadge = showCurrent;
    select.addEventListener('change', showCurrent);
    const set = () => {
      const text = value.value.trim();
      send({ type: 'badge', bundle: select.value, value: /^-?\d{1,6}$/.test(text) ? Number(text) : text });
    };
    value.addEventListener('keydown', (e) => e.key === 'Enter' && set());
    form.append(section('Badges',
      el('div', { class: 'inline' }, select, value,
        el('button', { type: 'button', class: 'btn small', onclick: set }, 'Set'),
        el('button', { type: 'button', class: 'btn small ghost', onclick: () => send({ type: 'badge', bundle: select.value, value: null }) }, 'Clear'),
        current)));
  }

  function nameOf(bundle) {
    const app = state.config.apps.find((a) => a.bundle === bundle);
    return app ? app.name : bundle;
  }

  function renderDevice() {
    if (!device.tiles || !state.meta) return;
    const phone = state.meta.phone || {};
    const front = state.dump ? state.dump.host.front : phone.front;
    for (const [bundle, tile] of device.tiles) tile.classList.toggle('active', (front || null) === bundle);
    device.frontLine.textContent = front ? nameOf(front) : 'the home screen';
    device.lockLine.textContent = phone.locked ? 'locked' : 'unlocked';
    device.lockPill.textContent = phone.passcode ? 'Passcode view' : phone.locked ? 'Lock screen' : 'Open';
    device.lockPill.className = 'pill ' + (phone.locked ? 'warn' : 'ok');
    device.lockButton.hidden = !!phone.locked;
    device.passcodeButton.hidden = !phone.locked || !!phone.passcode;
    device.unlockButton.hidden = !phone.locked;
    if (!device.cc.guard.holds(!!phone.controlCenter)) device.cc.input.checked = !!phone.controlCenter;
    if (!device.siri.guard.holds(!!phone.siri)) device.siri.input.checked = !!phone.siri;
    const call = CALLS.find((c) => c.status === phone.call);
    device.callLine.textContent = call ? `${call.label} (status ${call.status})` : phone.call !== null && phone.call !== undefined ? `status ${phone.call}` : 'none';
    for (const b of device.callButtons) b.classList.toggle('active', Number(b.dataset.call) === phone.call);
    for (const b of device.orientation) b.classList.toggle('active', Number(b.dataset.orientation) === phone.orientation);
    device.showBadge();
  }

  // ---- the trace ----

  const trace = $('#trace');
  let stickToBottom = true;
  trace.addEventListener('scroll', () => {
    stickToBottom = trace.scrollTop + trace.clientHeight >= trace.scrollHeight - 24;
    if (stickToBottom) $('#trace-jump').hidden = true;
  });
  $('#trace-jump').addEventListener('click', () => {
    trace.scrollTop = trace.scrollHeight;
    $('#trace-jump').hidden = true;
  });
  $('#trace-clear').addEventListener('click', () => {
    trace.innerHTML = '';
    stickToBottom = true;
    $('#trace-jump').hidden = true;
  });
  $('#show-animations').addEventListener('change', (e) => trace.classList.toggle('hide-animations', !e.target.checked));
  $('#show-input').addEventListener('change', (e) => trace.classList.toggle('hide-input', !e.target.checked));

  function traceItem(entry) {
    if (entry.kind === 'note') return el('li', { class: 'note' }, el('span', { text: entry.text }));
    if (entry.kind === 'input') return el('li', { class: 'input' }, el('span', { class: 't', text: '›' }), el('span', { class: 'e', text: entry.text }));
    const m = /^\[([0-9.]+)\] (\S+)(.*)$/.exec(entry.text);
    if (!m) return el('li', {}, el('span', { class: 't' }), el('span', { class: 'e', text: entry.text }));
    return el('li', { class: 'ev-' + m[2].replace(/[^a-z-]/gi, '') }, el('span', { class: 't', text: m[1] }),
      el('span', { class: 'e' }, el('span', { class: 'k', text: m[2] }), m[3]));
  }

  // Plain words: a sentence beside each raw line that says something to a
  // person, and one for each change of the dump that no line tells. Both
  // kinds are always there; the toggle shows one or the other.
  let plain = null;
  const told = { dump: null, generation: null, keyed: new Map() };
  $('#plain-words').addEventListener('change', (e) => {
    trace.classList.toggle('plain', e.target.checked);
    trace.scrollTop = trace.scrollHeight;
  });

  function plainItem(item, time, raw) {
    return el('li', { class: 'plain', title: raw }, el('span', { class: 't', text: time }),
      el('span', { class: 'e' }, el('span', { class: 'p', text: item.text }), item.why ? el('span', { class: 'why', text: ` · ${item.why}` }) : null));
  }

  function followTrace() {
    while (trace.childElementCount > 1500) trace.firstElementChild.remove();
    if (stickToBottom) trace.scrollTop = trace.scrollHeight;
    else $('#trace-jump').hidden = false;
  }

  function appendTrace(entries) {
    const fresh = entries.filter((e) => e.seq > state.traceSeq);
    if (!fresh.length) return;
    const fragment = document.createDocumentFragment();
    for (const e of fresh) {
      fragment.append(traceItem(e));
      const text = plain && plain.line(e, state.dump);
      const time = /^\[([0-9.]+)\]/.exec(e.text);
      if (text) fragment.append(plainItem({ text }, time ? time[1] : '', e.text));
    }
    state.traceSeq = fresh[fresh.length - 1].seq;
    trace.append(fragment);
    followTrace();
  }

  function tellChanges() {
    const d = state.dump;
    const generation = state.meta && state.meta.generation;
    if (!plain || !d || d === told.dump) return;
    const items = generation === told.generation ? plain.changes(told.dump, d) : [];
    told.dump = d;
    told.generation = generation;
    for (const item of items) {
      const kept = item.key && told.keyed.get(item.key);
      if (kept && kept.isConnected) {
        kept.querySelector('.p').textContent = item.text;
        continue;
      }
      const li = plainItem(item, '', 'from the dump');
      if (item.key) told.keyed.set(item.key, li);
      trace.append(li);
    }
    if (items.length) followTrace();
  }

  // ---- the files ----

  let fileShown = 'settings';
  const fileSeen = { settings: {}, state: {} };
  for (const tab of document.querySelectorAll('.seg-item[data-file]')) {
    tab.addEventListener('click', () => {
      fileShown = tab.dataset.file;
      for (const t of document.querySelectorAll('.seg-item[data-file]')) t.classList.toggle('active', t === tab);
      renderFiles(true);
    });
  }

  function valueCell(v) {
    if (typeof v === 'boolean') return [el('span', { class: `v-bool v-${v}`, text: String(v) }), 'Boolean'];
    if (typeof v === 'number') return [el('span', { class: 'v-num', text: String(v) }), Number.isInteger(v) ? 'Number' : 'Real'];
    if (typeof v === 'string') return [el('span', { class: 'v-str', text: JSON.stringify(v) }), 'String'];
    if (Array.isArray(v)) return [el('span', { class: 'v-num', text: '[' + v.map((x) => JSON.stringify(x)).join(', ') + ']' }), 'Array'];
    return [el('span', { text: JSON.stringify(v) }), 'Dictionary'];
  }

  function renderFiles(switched) {
    const d = state.dump;
    const name = fileShown;
    const contents = d.files ? d.files[name] : null;
    const status = d.fileStatus ? d.fileStatus[name] : 'missing';
    // The start of a long path matters least: it is the end that is cut.
    $('#file-path').textContent = '\u200e' + FILES[name];
    $('#file-path').title = FILES[name];
    const pill = $('#file-status');
    pill.textContent = status === 'ok' ? 'On disk' : status === 'missing' ? 'No file' : 'Unreadable';
    pill.className = 'pill ' + (status === 'ok' ? 'ok' : status === 'missing' ? '' : 'bad');
    const body = $('#file-body');
    const text = JSON.stringify(contents);
    if (!switched && body.dataset.text === text) return;
    body.dataset.text = text;
    body.innerHTML = '';
    if (!contents || !Object.keys(contents).length) {
      body.append(el('div', { class: 'empty', text: status === 'missing'
        ? 'No file yet: the plugin uses its defaults until something is written.'
        : status === 'unreadable' ? 'The file is not a property list.' : 'The file is empty.' }));
      fileSeen[name] = {};
      return;
    }
    const table = el('table', { class: 'plist', 'data-file': name });
    for (const [key, value] of Object.entries(contents)) {
      const [cell, type] = valueCell(value);
      const changed = !switched && JSON.stringify(fileSeen[name][key]) !== JSON.stringify(value);
      table.append(el('tr', { class: changed ? 'changed' : '', 'data-key': key },
        el('td', { class: 'pkey', text: key }),
        el('td', { class: 'pval' }, cell, el('span', { class: 'v-type', text: type }))));
    }
    body.append(table);
    fileSeen[name] = JSON.parse(text);
  }

  // The panes and the plain-words trace follow the dump, but a drag or an
  // animation changes it at every frame, and rebuilding them that often
  // would take the frames the screen needs: they follow at most five
  // times a second, and always with the latest dump.
  let panesTimer = 0;
  let panesShown = 0;
  function panesLater() {
    if (panesTimer) return;
    const wait = Math.max(0, panesShown + 200 - performance.now());
    panesTimer = setTimeout(() => {
      panesTimer = 0;
      panesShown = performance.now();
      renderDump();
      tellChanges();
    }, wait);
  }

  function renderDump() {
    holdPhone(state.dump.host.orientation);
    renderSettings();
    renderApps();
    renderFiles(false);
    renderDevice();
  }

  // ---- tabs and top bar ----

  // The open tab is kept across a reload; each opens at its top.
  function showTab(name) {
    for (const t of document.querySelectorAll('.tab')) {
      const on = t.dataset.tab === name;
      t.classList.toggle('active', on);
      t.setAttribute('aria-selected', on);
      $('#tab-' + t.dataset.tab).hidden = !on;
    }
    for (const scroller of [$('.tab-panels'), $('.controls')]) if (scroller) scroller.scrollTop = 0;
    try {
      localStorage.setItem('floattiles.tab', name);
    } catch (e) {
      // Storage may be off; the tab is then simply not remembered.
    }
  }
  for (const tab of document.querySelectorAll('.tab')) tab.addEventListener('click', () => showTab(tab.dataset.tab));
  try {
    const kept = localStorage.getItem('floattiles.tab');
    if (kept && $('#tab-' + kept)) showTab(kept);
  } catch (e) {
    // As above.
  }

  function respring() {
    const button = $('#respring');
    button.disabled = true;
    send({ type: 'respring' }).then((r) => {
      button.disabled = false;
      if (r.ok) toast('The home screen started again. Files were kept.');
    });
  }
  $('#respring').addEventListener('click', respring);

  let resetArmed = 0;
  $('#reset').addEventListener('click', () => {
    const button = $('#reset');
    if (!resetArmed) {
      button.textContent = 'Click again to reset';
      button.classList.add('active');
      resetArmed = setTimeout(() => {
        resetArmed = 0;
        button.textContent = 'Reset device';
        button.classList.remove('active');
      }, 3000);
      return;
    }
    clearTimeout(resetArmed);
    resetArmed = 0;
    button.textContent = 'Reset device';
    button.classList.remove('active');
    send({ type: 'reset' }).then((r) => r.ok && toast('A new phone: the settings file was deleted, and the state file made anew with the first choice of apps.'));
  });

  // ---- start ----

  function apply(frame) {
    if (frame.meta) applyMeta(frame.meta);
    if (frame.svg) {
      state.speed.received++;
      renderScreen(frame.svg);
    } else if (frame.meta && lead) paint();
    if (frame.dump) {
      state.dump = frame.dump;
      panesLater();
    }
    if (frame.trace) appendTrace(frame.trace);
    if (!state.ready && state.dump && state.meta) state.ready = true;
  }

  function connect() {
    const events = new EventSource('/api/events');
    events.onopen = () => {
      setConnection(true);
      // A new stream starts from the beginning of what the server keeps.
      state.traceSeq = 0;
      trace.innerHTML = '';
    };
    events.onmessage = (e) => apply(JSON.parse(e.data));
    events.onerror = () => {
      setConnection(false);
      // The browser retries a stream that broke, but not one the server
      // turned away (it keeps only so many open at once): ask again.
      if (events.readyState === EventSource.CLOSED) setTimeout(connect, 1000 + Math.random() * 1000);
    };
  }

  async function start() {
    try {
      state.config = await (await fetch('/api/config')).json();
    } catch (e) {
      setConnection(false);
      setTimeout(start, 1000);
      return;
    }
    const { width, height } = state.config.screen;
    screen.style.aspectRatio = `${width} / ${height}`;
    plain = PlainWords.create(state.config);
    buildKeypad();
    buildSettings();
    buildApps();
    buildDevice();
    connect();
  }
  start();
})();
