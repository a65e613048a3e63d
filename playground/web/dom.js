// The page's small helpers for building and changing its elements.

export const $ = (selector, root = document) => root.querySelector(selector);

export function el(tag, attrs = {}, ...children) {
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
}

// Writes only a text that changed, so an unchanged pane is not laid out
// again at every frame.
export function setText(node, text) {
  if (node.textContent !== text) node.textContent = text;
}

let toastTimer = 0;
// A short message at the foot of the page; with `action` ({label, run}), a
// button beside it that runs it once, and the message stays a little longer.
export function toast(text, action) {
  const t = $('#toast');
  t.replaceChildren(text);
  if (action) {
    t.append(el('button', { type: 'button', class: 'toast-action', text: action.label, onclick: () => {
      t.hidden = true;
      action.run();
    } }));
  }
  t.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => (t.hidden = true), action ? 8000 : 3500);
}

// A control the person just changed keeps their choice until the phone
// shows it too, or refuses it: frames already on their way still carry
// the old value and must not flip the control back meanwhile.
export function pending() {
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

// An app's name as the home screen labels it, from the server's list.
export function nameOf(config, bundle) {
  const app = config.apps.find((a) => a.bundle === bundle);
  return app ? app.name : bundle;
}
