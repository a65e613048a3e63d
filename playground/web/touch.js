// The screen as a touch screen: pointer input becomes touches at the same
// screen points. What a tap does where no window takes it (the passcode
// view on the lock screen, an app from its icon) is the phone's own.
import { $, toast } from './dom.js';

export function createTouch({ view, requests, picture, held, screen }) {
  const { send } = requests;
  const screenPoint = (event) => held.screenPoint(event.clientX, event.clientY, view.config.screen);
  let finger = null;
  const fingerDot = $('#finger');

  requests.onSent((touch, seq, p) => picture.noteSent(touch, seq, p, touch === finger));

  // Where the finger is, drawn over the screen, as a touch indicator.
  function showFinger(e) {
    const p = screenPoint(e);
    fingerDot.style.left = `${(p.x / view.config.screen.width) * screen.offsetWidth}px`;
    fingerDot.style.top = `${(p.y / view.config.screen.height) * screen.offsetHeight}px`;
    fingerDot.hidden = false;
  }

  // Each touch carries the time the page saw it. While the finger is down
  // the phone's clock follows these times, and a beat every 40 ms says the
  // finger is still there: holding still for half a second is a long press
  // however slowly the requests travel.
  const pageId = Math.random().toString(36).slice(2, 10);
  let touches = 0;
  screen.addEventListener('pointerdown', (e) => {
    if (!view.config || e.button !== 0 || e.target.closest('.passcode')) return;
    e.preventDefault();
    if (finger) {
      clearInterval(finger.beat);
      send({ type: 'touch', phase: 'cancel', t: e.timeStamp }, null, finger);
    }
    screen.setPointerCapture(e.pointerId);
    screen.classList.add('pressed');
    const p = screenPoint(e);
    finger = { id: e.pointerId, touch: `${pageId}-${++touches}`, seq: 0,
      last: { t: e.timeStamp, seen: performance.now() } };
    picture.startLead(e, finger, p);
    send({ type: 'touch', phase: 'down', x: p.x, y: p.y, t: e.timeStamp }, null, finger);
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

  // A move reaches the phone as soon as the browser has it. Pointer moves
  // come once a display frame, just before it is drawn, so a move sent from
  // them would reach the phone a frame late; where the browser offers the
  // raw moves, they are the ones sent, and the frame's move only draws.
  const raw = 'onpointerrawupdate' in window;

  function sendMove(e) {
    const p = screenPoint(e);
    finger.last = { t: Math.max(e.timeStamp, finger.last.t), seen: performance.now() };
    picture.moving(finger, e.timeStamp);
    send({ type: 'moves', points: [[p.x, p.y, e.timeStamp]] }, 'moves', finger);
  }

  if (raw) {
    screen.addEventListener('pointerrawupdate', (e) => {
      if (finger && e.pointerId === finger.id) sendMove(e);
    });
  }

  screen.addEventListener('pointermove', (e) => {
    if (!finger || e.pointerId !== finger.id) return;
    showFinger(e);
    picture.moved(finger, screenPoint(e), e.timeStamp);
    if (!raw) sendMove(e);
  });

  // The page lets go of its finger: no more beats, no indicator.
  function release(f) {
    finger = null;
    clearInterval(f.beat);
    screen.classList.remove('pressed');
    fingerDot.hidden = true;
    fingerDot.classList.remove('held');
  }

  function lift(e, cancelled) {
    if (!finger || e.pointerId !== finger.id) return;
    const f = finger;
    release(f);
    const p = screenPoint(e);
    const lifted = send(cancelled ? { type: 'touch', phase: 'cancel', t: e.timeStamp }
      : { type: 'touch', phase: 'up', x: p.x, y: p.y, t: e.timeStamp }, null, f);
    lifted.then(() => picture.lifted(f));
  }
  screen.addEventListener('pointerup', (e) => lift(e, false));
  screen.addEventListener('pointercancel', (e) => lift(e, true));

  // The phone follows one finger. Once it has taken in this page's touch,
  // facts naming another page's touch, or this touch ended, mean the
  // phone cancelled it (another page touched it, or it heard nothing for
  // too long): the finger here lets go too, and says why.
  view.on('meta', (meta) => {
    const taken = meta.touch;
    if (!finger || !taken) return;
    const mine = taken.id === finger.touch;
    if (mine && !taken.ended) {
      finger.takenIn = true;
      return;
    }
    const other = !String(taken.id).startsWith(pageId + '-');
    if (!finger.takenIn || (!mine && !other)) return;
    const f = finger;
    release(f);
    picture.lifted(f);
    toast(other ? 'Another page touched the phone: the touch here was cancelled.' : 'The phone cancelled the touch.');
  });

  // A reload or a closed page mid-touch lifts the finger at once, rather
  // than leaving the phone to notice the silence. Out of the queue, and
  // kept alive past the page: the queue goes with the page.
  window.addEventListener('pagehide', () => {
    if (!finger) return;
    fetch('/api/action', { method: 'POST', keepalive: true, headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ type: 'touch', phase: 'cancel' }) }).catch(() => {});
  });

  $('#home-button').addEventListener('click', () => send({ type: 'home' }));
  $('#side-button').addEventListener('click', () => send({ type: 'lock' }));
}
