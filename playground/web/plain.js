// FloatTiles Playground: the trace in plain words. Each raw line of the
// trace, and each change between two dumps that no line tells (bubbles
// dimmed, hidden, dragged, snapped, turned), becomes a short sentence for
// someone who does not read the home screen's own language. The page keeps
// the raw lines; these sit beside them.
const TURNED = {
  1: 'upright',
  2: 'upside down',
  3: 'to landscape right (home button on the right)',
  4: 'to landscape left (home button on the left)',
};
const CALLS = { 1: 'connected', 3: 'calling out', 4: 'ringing', 5: 'ending', 6: 'ended' };

export function createPlainWords(config) {
  const names = new Map(config.apps.map((a) => [a.bundle, a.name]));
  const labels = new Map(config.settings.map((s) => [s.key, s.label]));
  const variables = new Map(config.settings.map((s) => [s.key, s.variable]));
  const name = (bundle) => names.get(bundle) || bundle;
  const label = (key) => labels.get(key) || key;
  const { width: W, height: H } = config.screen;
  // As the plugin describes itself: the settings under which the first
  // display without an app after a start (on a phone, the lock screen it
  // starts on) hides the bubbles, and the alpha of a dimmed bubble.
  const rules = config.rules || {};
  const FIRST_HOME = rules.firstHomeHides || [];
  const DIM = rules.dimmedAlpha;
  // The state file's key prefixes, as the plugin names them.
  const prefixes = config.prefixes || {};
  const escape = (text) => String(text || '').replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  const keyed = (prefix, tail) => new RegExp(escape(prefixes[prefix]) + tail);
  const CHOICE = keyed('chosen', '(\\S+)=(true|false)$');
  const POSITION = keyed('position', '(\\S+)$');
  const HIDDEN = keyed('hidden', '(\\S+)$');
  const CHOSEN = keyed('chosen', '(\\S+)$');
  // The finger as the trace tells it: down, and whether a bubble moved
  // under it, which tells a tap from a drag when the bubble snaps.
  const finger = { down: false, moved: false, n: 0 };
  // The menu's action the phone says was picked: bubbles that move after
  // it move because of it, until the next finger comes down.
  let picked = null;
  const unquote = (text) => { try { return JSON.parse(text); } catch (e) { return text; } };

  const shown = (v) => (v === 'true' ? 'on' : v === 'false' ? 'off'
    : /^-?\d+(\.\d+)?$/.test(v) ? String(Number(v)) : v.replace(/^"(.*)"$/, '$1'));
  const list = (bubbles) => bubbles.map((b) => name(b.bundle)).join(', ');
  const point = (c) => `(${Math.round(c[0])}, ${Math.round(c[1])})`;

  function bubbleAt(dump, x, y) {
    const bubbles = ((dump && dump.bubbles) || []).filter((b) => !b.hidden && b.frame);
    for (const b of bubbles.reverse()) {
      const [fx, fy, fw, fh] = b.frame;
      if (x >= fx && x < fx + fw && y >= fy && y < fy + fh) return b.bundle;
    }
    return null;
  }

  // What the playground itself sent (the lines marked ›).
  function input(text, dump) {
    const w = text.split(' ');
    let m;
    switch (w[0]) {
      case 'settings':
        m = /^settings (\w+)=(.*)$/.exec(text);
        return m && `settings changed: ${label(m[1])} ${shown(m[2])}`;
      case 'remove':
        return w[1] === 'settings' ? `settings changed: ${label(w[2])} back to its default` : null;
      case 'state':
        m = CHOICE.exec(text);
        return m && `${name(m[1])} ${m[2] === 'true' ? 'chosen for a bubble' : 'no longer chosen'} (from the next respring)`;
      case 'front':
        // Said from the host's front display, which the phone's own
        // answers change too (see changes).
        return null;
      case 'orientation':
        return `phone turned ${TURNED[w[1]] || w[1]}`;
      case 'badge':
        return w[2] === 'none' ? `badge of ${name(w[1])} cleared` : `badge of ${name(w[1])} set to ${shown(w.slice(2).join(' '))}`;
      case 'uilocked':
        return w[1] === 'yes' ? 'phone locked' : 'phone unlocked';
      case 'lockscreen':
        return 'lock screen gone';
      case 'passcode':
        return w[1] === 'appear' ? 'passcode view shown' : 'passcode view closed';
      case 'cc':
        return w[1] === 'present' ? 'Control Center opened' : 'Control Center closed';
      case 'call':
        return w[1] === 'none' ? 'no call' : `phone call ${CALLS[w[1]] || 'status ' + w[1]}`;
      case 'siri':
        return w[2] === 'yes' ? 'Siri on screen' : 'Siri gone';
      case 'touch': {
        if (w[1] !== 'down') {
          finger.down = false;
          return w[1] === 'up' ? 'finger lifted' : 'touch cancelled';
        }
        const [x, y] = (w[2] || '').split(',').map(Number);
        const on = bubbleAt(dump, x, y);
        finger.down = true;
        finger.moved = false;
        picked = null;
        finger.n++;
        return on ? `finger down on the ${name(on)} bubble` : 'finger down on the screen';
      }
      case 'respring':
        return 'respring: the home screen starts again, the files stay';
      case 'reset':
        return 'device reset: both files deleted, a new phone';
      case 'delete':
        return `${w[1]} file deleted`;
      default:
        return null;
    }
  }

  function written(file, rest) {
    const failed = / failed$/.test(rest);
    const m = /^(\S+?)=(.*?)(?: failed)?$/.exec(rest);
    if (!m) return null;
    const [, key, value] = m;
    const head = `${file} file ${failed ? 'NOT written' : 'written'}: `;
    let k;
    if ((k = POSITION.exec(key))) return head + `position of ${name(k[1])} saved`;
    if ((k = HIDDEN.exec(key))) return head + `${name(k[1])} blacklisted: no bubbles while it is in front`;
    if ((k = CHOSEN.exec(key))) return head + `${name(k[1])} ${value === 'true' ? 'chosen' : 'not chosen'}`;
    if (key === 'isLocked') return head + (value === 'true' ? 'bubbles locked in place' : 'bubbles free to move');
    return head + `${label(key)} ${shown(value)}`;
  }

  // What the home screen printed, without its time stamp.
  function sim(event) {
    const w = event.split(' ');
    const rest = event.slice(w[0].length + 1);
    switch (w[0]) {
      case 'launch':
        return `the bubbles ask to open ${name(w[1])}`;
      case 'alert':
        return 'menu opened';
      case 'alert-dismissed':
        return 'menu closed';
      case 'alert-action':
        picked = { title: unquote(rest), n: finger.n };
        return `menu: "${picked.title}" picked`;
      case 'write':
        return written(w[1], event.slice(7 + w[1].length));
      case 'unlock-request':
        return 'a bubble tapped while locked asks for the passcode; its app opens after the unlock';
      case 'siri':
        return w[1] === 'dismiss' ? 'the Siri bubble closes Siri' : 'the Siri bubble opens Siri';
      case 'touch-through':
        return 'the touch missed the bubbles and went to the screen below';
      case 'log':
        return `plugin log: ${rest}`;
      case 'plugin-error':
      case 'error':
        return `error: ${rest}`;
      case 'host-impl':
        return rest === 'SpringBoard applicationDidFinishLaunching:' ? 'home screen started: the bubbles are built' : null;
      default:
        return null;
    }
  }

  // One trace entry to a sentence, or null when it says nothing to a
  // person (animations, the host's own methods, clock steps).
  function line(entry, dump) {
    if (entry.kind === 'input') return input(entry.text, dump);
    if (entry.kind !== 'sim') return null;
    const m = /^\[[0-9.]+\] (.*)$/.exec(entry.text);
    return m ? sim(m[1]) : null;
  }

  function snapped(b, before, dump) {
    const o = dump.host.orientation;
    const [x, y] = b.center;
    const [x0, y0] = before.center;
    if (o === 3 || o === 4) {
      if (x !== x0 || (y !== 20 && y !== H - 20)) return null;
      const left = (y === 20) === (o === 3);
      return { text: `${name(b.bundle)} snapped to the ${left ? 'left' : 'right'} side`,
        why: 'held sideways, a snapped bubble keeps 20 points from the edge' };
    }
    if (y !== y0 || (x !== 0 && x !== W)) return null;
    const left = (x === 0) === (o !== 2);
    const tapped = !finger.moved;
    return { text: `${name(b.bundle)} snapped to the ${left ? 'left' : 'right'} edge`,
      why: 'its centre sits on the edge, so half of it is off screen' + (tapped ? '; a plain tap snaps too' : '') };
  }

  // What changed between two dumps of one run of the home screen. A
  // drag gives one sentence per bubble, updated as it goes (its key).
  function changes(before, after) {
    if (!before || !after || !before.bubbles || !after.bubbles) return [];
    const old = new Map(before.bubbles.map((b) => [b.bundle, b]));
    const now = after.bubbles.filter((b) => old.has(b.bundle));
    const out = [];
    const all = (some) => some.length === now.length;
    const p0 = before.plugin || {};
    const p1 = after.plugin || {};

    // The front display the host now shows, whoever brought it (a request
    // of the page, or the phone answering a launch): a fact of the host,
    // so a tap on the bubble of the app already in front says nothing.
    const f0 = before.host && before.host.front;
    const f1 = after.host && after.host.front;
    if (before.host && after.host && f0 !== f1) {
      out.push({ text: f1 === null ? 'home screen in front' : f1 === 'other' ? 'another display in front' : `${name(f1)} opened` });
    }

    const hid = now.filter((b) => b.hidden && !old.get(b.bundle).hidden);
    if (hid.length) {
      const item = { text: all(hid) ? 'bubbles hidden' : `${list(hid)} hidden` };
      if (!p0.isFirstHomeHandled && p1.isFirstHomeHandled) {
        const on = FIRST_HOME.filter((k) => p1[variables.get(k)]).map(label);
        item.why = `the first screen without an app after a start (the lock screen) hides them while ${on.join(' or ')} is on; the home screen after it follows the setting`;
      } else if (picked && /^(Hide NOW|Add Current App To Blacklist)/.test(picked.title)) {
        // The menu's "current app" is the plugin's: the last app that came
        // to the front, kept after the home screen comes back.
        item.why = p1.currentBundle
          ? `the current app is the last that came to the front, ${name(p1.currentBundle)}, also on the home screen`
          : 'no app has come to the front since the start, so there is no current app: nothing is marked or written, and the next change of the screen in front decides again';
      }
      out.push(item);
    }
    const back = now.filter((b) => !b.hidden && old.get(b.bundle).hidden);
    if (back.length) out.push({ text: all(back) ? 'bubbles shown' : `${list(back)} shown` });

    const visible = now.filter((b) => !b.hidden);
    const dimmed = visible.filter((b) => b.alpha <= DIM && old.get(b.bundle).alpha > DIM);
    if (dimmed.length) out.push({ text: dimmed.length === visible.length ? 'bubbles dimmed' : `${list(dimmed)} dimmed` });
    const lit = visible.filter((b) => b.alpha > DIM && old.get(b.bundle).alpha <= DIM);
    if (lit.length) out.push({ text: lit.length === visible.length ? 'bubbles lit up' : `${list(lit)} lit up` });

    if (p1.isDim && p1.isAlwaysDim && !p0.isAlwaysDim && visible.some((b) => b.alpha > DIM)) {
      out.push({ text: 'Always dimmed is on, and the bubbles stay lit for now',
        why: 'they read it at their next use of it: ' + ((((after.readings || {}).settings || {}).isDim || {}).inFile
          ? 'the next settings change dims them' : 'a drag no longer lights them up, and once Dim when idle is in the file the next settings change dims them') });
    }

    const turn = (b) => JSON.stringify(b.transform);
    if (now.length && turn(now[0]) !== turn(old.get(now[0].bundle))) {
      out.push({ text: 'bubbles turned', why: 'each bubble turns on its own so it reads upright as the phone is held; the home screen does not turn' });
    }

    // A new size keeps each bubble's top-left corner, so its centre moves.
    const size = (b) => b.frame && b.frame[2];
    const grown = now.filter((b) => size(b) !== size(old.get(b.bundle)));
    const points = (n) => `${n} point${n === 1 ? '' : 's'}`;
    if (grown.length) out.push({ text: `bubbles resized to ${points(Math.round(size(grown[0])))}` });

    for (const b of now) {
      const before = old.get(b.bundle);
      if (grown.includes(b) || (b.center[0] === before.center[0] && b.center[1] === before.center[1])) continue;
      if (finger.down) {
        finger.moved = true;
        out.push({ key: `drag:${finger.n}:${b.bundle}`, text: `${name(b.bundle)} dragged to ${point(b.center)}` });
        continue;
      }
      if (picked && /^Align/.test(picked.title)) {
        out.push({ key: `align:${picked.n}:${b.bundle}`, text: `${name(b.bundle)} aligned to ${point(b.center)}`,
          why: `"${picked.title}" lines the other bubbles up with the one the menu was opened on` });
        continue;
      }
      const snap = after.plugin && after.plugin.isSticky ? snapped(b, before, after) : null;
      out.push(snap || { text: `${name(b.bundle)} moved to ${point(b.center)}` });
    }
    return out;
  }

  return { line, changes };
}

