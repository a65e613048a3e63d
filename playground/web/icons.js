// App icons for the panes, drawn with the look the phone's picture gives
// them (its colour, a darker shade below it, two initials), as the dump's
// host.apps carry it: the page computes none of it. An icon made before the
// first dump is drawn as soon as the look arrives.

let serial = 0;
const NS = 'http://www.w3.org/2000/svg';
const looks = new Map();
const waiting = new Map();

function draw(svg, look) {
  const id = 'pg-icon-' + (++serial);
  svg.innerHTML =
    `<defs><linearGradient id="${id}" x1="0" y1="0" x2="0" y2="1">` +
    `<stop offset="0" stop-color="${look.light}"/><stop offset="1" stop-color="${look.dark}"/></linearGradient></defs>` +
    `<rect width="60" height="60" rx="13.5" fill="url(#${id})"/>` +
    `<circle cx="30" cy="30" r="21.6" fill="none" stroke="#fff" stroke-opacity="0.35" stroke-width="2.4"/>` +
    `<text x="30" y="38.4" text-anchor="middle" font-size="24" font-weight="700" fill="#fff" ` +
    `font-family="Helvetica, Arial, sans-serif">${String(look.initials).replace(/[<&>"]/g, '')}</text>`;
}

// The looks of the installed apps, from a dump's host.apps.
export function learnLooks(apps) {
  for (const app of apps || []) {
    const look = app.iconStyle;
    if (!look || !/^#[0-9a-f]{6}$/i.test(look.light) || !/^#[0-9a-f]{6}$/i.test(look.dark)) continue;
    looks.set(app.bundle, look);
    for (const svg of waiting.get(app.bundle) || []) draw(svg, look);
    waiting.delete(app.bundle);
  }
}

// An <svg> element of the given size. Its gradient's id is the page's
// own, never one the phone's picture uses.
export function iconElement(bundle, size) {
  const svg = document.createElementNS(NS, 'svg');
  svg.setAttribute('viewBox', '0 0 60 60');
  svg.setAttribute('width', size);
  svg.setAttribute('height', size);
  svg.setAttribute('class', 'app-icon');
  svg.setAttribute('aria-hidden', 'true');
  const look = looks.get(bundle);
  if (look) draw(svg, look);
  else waiting.set(bundle, [...(waiting.get(bundle) || []), svg]);
  return svg;
}
