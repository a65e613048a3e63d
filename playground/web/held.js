// FloatTiles Playground: the phone as it is held. The home screen never
// turns: when the app in front is turned, the plugin gives each bubble a
// quarter turn (a half turn upside down) so that it reads upright to
// someone holding the phone that way. The page turns the whole phone the
// other way, so the bubbles read upright here too, and maps the pointer
// back through the turn to the screen's own upright points. The holder
// keeps the phone's column as it is; a sideways phone is scaled down to
// fit its width.

const TURN = { 1: 0, 2: 180, 3: -90, 4: 90 };
const HELD = {
  2: 'Upside down: the home button at the top. A dragged bubble does not follow the finger: the plugin turns a finger\'s path back only in the two landscapes',
  3: 'Landscape right: the home button on the right',
  4: 'Landscape left: the home button on the left',
};

export function createHold(phone, holder, screen, caption) {
  let heldAs = 1;
  let angle = 0;

  function layout() {
    const w = phone.offsetWidth;
    const h = phone.offsetHeight;
    const sideways = Math.abs(angle % 180) === 90;
    const room = holder.parentElement.clientWidth - 16;
    const scale = sideways ? Math.min(1, room / h) : 1;
    holder.style.width = `${w}px`;
    holder.style.height = `${(sideways ? w : h) * scale}px`;
    phone.style.transform = `translate(-50%, -50%) rotate(${angle}deg) scale(${scale})`;
  }
  new ResizeObserver(layout).observe(holder.parentElement);
  layout();

  // An orientation as the dump numbers them: 1 portrait, 2 upside
  // down, 3 landscape right, 4 landscape left; anything else is upright.
  function hold(orientation) {
    if (TURN[orientation] === undefined) orientation = 1;
    if (orientation === heldAs) return;
    heldAs = orientation;
    // The shorter way round, from wherever the phone stands now.
    angle += ((((TURN[orientation] - angle) % 360) + 540) % 360) - 180;
    caption.hidden = !HELD[heldAs];
    caption.textContent = HELD[heldAs] ? `⟳ ${HELD[heldAs]}` : '';
    layout();
  }

  // How the phone stands this very moment, mid-turn too, from the
  // matrix the browser draws it with.
  function now() {
    const t = getComputedStyle(phone).transform;
    const m = t && t !== 'none' ? new DOMMatrixReadOnly(t) : new DOMMatrixReadOnly();
    const scale = Math.hypot(m.a, m.b);
    return { cos: m.a / scale, sin: m.b / scale, scale };
  }

  // A page position to the screen's own points (size: the screen's
  // size in points): turned back about the screen's centre, which is
  // also the centre of its bounding box however it is turned.
  function screenPoint(clientX, clientY, size) {
    const rect = screen.getBoundingClientRect();
    const { cos, sin, scale } = now();
    const dx = clientX - (rect.left + rect.width / 2);
    const dy = clientY - (rect.top + rect.height / 2);
    const ux = (cos * dx + sin * dy) / scale;
    const uy = (-sin * dx + cos * dy) / scale;
    return { x: (ux / screen.offsetWidth + 0.5) * size.width, y: (uy / screen.offsetHeight + 0.5) * size.height };
  }

  function clientPoint(x, y, size) {
    const rect = screen.getBoundingClientRect();
    const { cos, sin, scale } = now();
    const ux = (x / size.width - 0.5) * screen.offsetWidth * scale;
    const uy = (y / size.height - 0.5) * screen.offsetHeight * scale;
    return { x: rect.left + rect.width / 2 + cos * ux - sin * uy, y: rect.top + rect.height / 2 + sin * ux + cos * uy };
  }

  return { hold, screenPoint, clientPoint };
}

