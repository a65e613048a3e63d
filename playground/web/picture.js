// The phone's screen as the server draws it, shown at the display's next
// frame, and the bubble under the finger drawn ahead of it.
import { keep } from './view.js';

const BUBBLE = 'g.view[data-class="UIButtonFT"]';

export function createPicture(view, screenSvg) {
  let pendingSvg = null;
  let painting = false;
  // The bubble being dragged, drawn ahead of the phone (see drawAhead).
  let lead = null;

  function show(svg) {
    view.speed.received++;
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
        view.frames++;
        changed = true;
        const taken = view.meta && view.meta.touch;
        if (lead && taken && taken.id === lead.f.touch) {
          for (const [seq, t] of lead.sentAt) {
            if (seq > taken.seq) continue;
            keep(view.speed.moveToPhonePicture, now - t);
            lead.sentAt.delete(seq);
          }
        }
      }
      if (drawAhead()) changed = true;
      if (changed) keep(view.speed.pictures, now);
      if (lead && lead.waiting.length) {
        for (const t of lead.waiting) keep(view.speed.moveToPicture, now - t);
        lead.waiting = [];
      }
    });
  }

  // The phone's picture of a drag comes a request and a frame after the
  // finger moved. Meanwhile the page moves the bubble under the finger
  // itself, by as much as the finger moved since the last move the phone's
  // picture has taken in (the server says which, in the touch's numbering),
  // and held to the bounds the plugin holds a dragged bubble to. Each new
  // picture corrects the guess; when the phone has taken in the lift, its
  // own picture (with any snap) is all there is. Only upright, and never
  // while the bubbles are locked in place: the page would guess wrong.
  function startLead(e, f, p) {
    lead = null;
    const phone = (view.meta && view.meta.phone) || {};
    const plugin = (view.dump && view.dump.plugin) || {};
    if (phone.orientation !== 1 || plugin.isLocked === true) return;
    let group = null;
    for (const node of document.elementsFromPoint(e.clientX, e.clientY)) {
      group = node.closest && node.closest(BUBBLE);
      if (group) break;
    }
    if (!group || !screenSvg.contains(group)) return;
    const index = [...screenSvg.querySelectorAll(BUBBLE)].indexOf(group);
    lead = { f, index, points: new Map([[0, p]]), pointer: p, waiting: [], sentAt: new Map(), eventTime: 0 };
  }

  // The finger's point after each action of the touch, by its number
  // (current: the finger is still down).
  function noteSent(f, seq, p, current) {
    if (!lead || lead.f !== f) return;
    lead.points.set(seq, p);
    if (seq > 0 && current && !lead.sentAt.has(seq)) lead.sentAt.set(seq, lead.eventTime);
  }

  // A pointer move of the finger, at its event's time.
  function moved(f, p, time) {
    if (!lead || lead.f !== f) return;
    lead.eventTime = time;
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
    const { width, height } = view.config.screen;
    const cx = +at[1], cy = +at[2];
    const x = Math.min(width, Math.max(0, cx + lead.pointer.x - base.x));
    const y = Math.min(height - 55, Math.max(30, cy + lead.pointer.y - base.y));
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

  return { show, startLead, noteSent, moved, lifted };
}
