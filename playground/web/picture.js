// The phone's screen as the server draws it, shown at the display's next
// frame, and the bubble under the finger drawn ahead of it.
import { keep } from './view.js';

const BUBBLE = 'g.view[data-class="UIButtonFT"]';

// Whether a picture's element begins at i: a start tag, not an end tag, a
// comment or a declaration.
const startsElement = (text, i) => text[i] === '<' && !'/!?'.includes(text[i + 1]);

export function createPicture(view, screenSvg) {
  let pendingSvg = null;
  // Changes to single elements waiting for the next frame: [index, tag].
  let pendingTags = [];
  // The phone's picture as the server last sent it, as text: the base its
  // next patch applies to.
  let current = null;
  let painting = false;
  const scratch = document.createElement('div');
  // The bubble being dragged, drawn ahead of the phone (see drawAhead).
  let lead = null;

  function show(svg) {
    view.speed.received++;
    current = svg;
    pendingSvg = svg;
    pendingTags = [];
    paint();
  }

  // What changed in the picture: its text `cut` characters at `at` become
  // `text`. A change within one element's start tag (a bubble dragged,
  // faded, turned) is made to that element alone; any other redraws it all.
  function patch(p) {
    if (current === null) return;
    view.speed.received++;
    const before = current;
    current = before.slice(0, p.at) + p.text + before.slice(p.at + p.cut);
    if (pendingSvg !== null) {
      pendingSvg = current;
    } else {
      const start = before.lastIndexOf('<', p.at);
      const closes = before.indexOf('>', start);
      const inside = start >= 0 && startsElement(before, start) && closes >= p.at + p.cut &&
        !/[<>]/.test(before.slice(p.at, p.at + p.cut)) && !/[<>]/.test(p.text);
      if (inside) {
        let index = 0;
        for (let i = before.indexOf('<'); i >= 0 && i < start; i = before.indexOf('<', i + 1)) if (startsElement(before, i)) index++;
        pendingTags.push([index, current.slice(start, current.indexOf('>', start) + 1)]);
      } else {
        pendingSvg = current;
        pendingTags = [];
      }
    }
    paint();
  }

  // An element's attributes set to those of its new start tag.
  function retag(index, tag) {
    const element = screenSvg.querySelectorAll('*')[index];
    if (!element) return false;
    scratch.innerHTML = `<svg>${tag.replace(/\/?>$/, '/>')}</svg>`;
    const fresh = scratch.firstChild && scratch.firstChild.firstChild;
    if (!fresh || fresh.nodeName !== element.nodeName) return false;
    for (const a of [...element.attributes]) if (!fresh.hasAttribute(a.name)) element.removeAttribute(a.name);
    for (const a of fresh.attributes) if (element.getAttribute(a.name) !== a.value) element.setAttribute(a.name, a.value);
    return true;
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
      if (pendingTags.length && pendingSvg === null) {
        // An element that is not where the text says redraws it all.
        if (!pendingTags.every(([index, tag]) => retag(index, tag))) pendingSvg = current;
        pendingTags = [];
        if (pendingSvg === null) {
          newPicture(now);
          changed = true;
        }
      }
      if (pendingSvg !== null) {
        screenSvg.innerHTML = pendingSvg;
        pendingSvg = null;
        newPicture(now);
        changed = true;
      }
      if (drawAhead()) changed = true;
      if (changed) keep(view.speed.pictures, now);
      if (lead && lead.waiting.length) {
        for (const t of lead.waiting) keep(view.speed.moveToPicture, now - t);
        lead.waiting = [];
      }
    });
  }

  // The phone's own picture is on screen: for each move it has taken in,
  // the time from the move to now.
  function newPicture(now) {
    view.frames++;
    const taken = view.meta && view.meta.touch;
    if (!lead || !taken || taken.id !== lead.f.touch) return;
    for (const [seq, t] of lead.sentAt) {
      if (seq > taken.seq) continue;
      keep(view.speed.moveToPhonePicture, now - t);
      lead.sentAt.delete(seq);
    }
  }

  // The phone's picture of a drag comes a request after the finger moved.
  // Meanwhile the page moves the bubble under the finger itself, by as much
  // as the finger moved since the last move the phone's picture has taken
  // in (the server says which, in the touch's numbering), held to the bounds
  // the plugin holds a dragged bubble to (its own, the dump's
  // plugin.dragBounds). Each new picture corrects the guess; when the phone
  // has taken in the lift, its own picture (with any snap) is all there is.
  // Only upright, and never while the bubbles are locked in place: the page
  // would guess wrong.
  function startLead(e, f, p) {
    lead = null;
    const phone = (view.meta && view.meta.phone) || {};
    const plugin = (view.dump && view.dump.plugin) || {};
    const bounds = plugin.dragBounds;
    if (phone.orientation !== 1 || plugin.isLocked === true || !bounds) return;
    let group = null;
    for (const node of document.elementsFromPoint(e.clientX, e.clientY)) {
      group = node.closest && node.closest(BUBBLE);
      if (group) break;
    }
    if (!group || !screenSvg.contains(group)) return;
    const index = [...screenSvg.querySelectorAll(BUBBLE)].indexOf(group);
    lead = { f, index, bounds, points: new Map([[0, p]]), pointer: p, waiting: [], sentAt: new Map(), eventTime: 0 };
  }

  // The finger's point after each action of the touch, by its number
  // (current: the finger is still down).
  function noteSent(f, seq, p, current) {
    if (!lead || lead.f !== f) return;
    lead.points.set(seq, p);
    if (seq > 0 && current && !lead.sentAt.has(seq)) lead.sentAt.set(seq, lead.eventTime);
  }

  // A move of the finger about to be sent to the phone, at its event's
  // time: the phone's picture of it is timed from then.
  function moving(f, time) {
    if (lead && lead.f === f) lead.eventTime = time;
  }

  // A pointer move of the finger to draw, at its event's time.
  function moved(f, p, time) {
    if (!lead || lead.f !== f) return;
    lead.pointer = p;
    lead.waiting.push(time);
    paint();
  }

  // The server has answered the lift.
  function lifted(f) {
    if (!lead || lead.f !== f) return;
    lead.answered = true;
    paint();
  }

  function drawAhead() {
    if (!lead) return false;
    const taken = view.meta && view.meta.touch;
    const mine = taken && taken.id === lead.f.touch;
    const group = screenSvg.querySelectorAll(BUBBLE)[lead.index];
    // The lift is in the picture (or another page's touch has followed
    // this one's, and the lift was answered).
    if ((mine && taken.ended) || (!mine && lead.answered)) {
      if (group && group.dataset.own !== undefined) group.setAttribute('transform', group.dataset.own);
      lead = null;
      return true;
    }
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
    const cx = +at[1], cy = +at[2];
    const x = Math.min(lead.bounds.maxX, Math.max(lead.bounds.minX, cx + lead.pointer.x - base.x));
    const y = Math.min(lead.bounds.maxY, Math.max(lead.bounds.minY, cy + lead.pointer.y - base.y));
    const next = x === cx && y === cy ? own : `translate(${x - cx} ${y - cy}) ${own}`;
    if (next === drawn) return false;
    group.setAttribute('transform', next);
    return true;
  }

  // A frame's facts without a picture may still say the phone has taken
  // in more of the drag.
  view.on('meta', () => {
    if (lead) paint();
  });

  return { show, patch, startLead, noteSent, moving, moved, lifted };
}
