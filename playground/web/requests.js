// Every request to the server goes through one ordered queue. Touch moves
// and slider drags come faster than they are answered: the moves waiting
// to go join into one path, so the finger is never late and no point of
// its way is lost; a waiting slider value is replaced by the next. Nothing
// ever overtakes anything.
import { toast } from './dom.js';

export function createRequests(view) {
  const queue = [];
  let sending = false;
  const sentListeners = [];

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
    const point = p ? { x: p[0], y: p[1] } : typeof action.x === 'number' ? { x: action.x, y: action.y } : null;
    if (point) for (const fn of sentListeners) fn(touch, seq, point);
  }

  async function drain() {
    if (sending) return;
    sending = true;
    while (queue.length) {
      const item = queue.shift();
      view.speed.requests++;
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

  // A change the person made to a control: its guard keeps their choice
  // shown until the phone agrees, and a refusal puts the phone's back.
  function guarded(guard, value, action, coalesce) {
    guard.set(value);
    return send(action, coalesce).then((result) => {
      if (!result.ok) {
        guard.clear();
        if (view.dump) view.emit('panes');
      }
      return result;
    });
  }

  return { send, guarded, onSent: (fn) => sentListeners.push(fn) };
}
