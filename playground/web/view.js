// What the page knows of the phone, handed to each part of the page that
// needs it: the server's configuration, the latest dump and facts, and the
// page's own measures of itself. Parts tell each other through its events
// ("meta" with every frame's facts, "panes" when the panes should follow
// the dump) instead of sharing variables.

export function createView() {
  const listeners = new Map();
  return {
    config: null,
    dump: null,
    meta: null,
    ready: false,
    traceSeq: 0,
    frames: 0,
    // What the page measures of itself, for playground/measure-speed.mjs:
    // for each pointer move, the time from the event to the frame that
    // drew it, and to the frame that showed the phone's own picture of
    // it; and the time of every frame that changed the picture.
    speed: { moveToPicture: [], moveToPhonePicture: [], pictures: [], received: 0, requests: 0 },
    on(name, fn) {
      if (!listeners.has(name)) listeners.set(name, []);
      listeners.get(name).push(fn);
    },
    emit(name, ...args) {
      for (const fn of listeners.get(name) || []) fn(...args);
    },
  };
}

// Keeps the latest few thousand measures.
export function keep(list, value) {
  list.push(value);
  if (list.length > 4000) list.splice(0, list.length - 4000);
}
