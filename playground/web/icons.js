// App icons for the panes, drawn the way the phone's screen draws them (a
// colour hashed from the bundle identifier, a darker shade below it, and two
// initials), so an app looks the same in a list as on the home screen.
function fnv1a(text) {
  let hash = 2166136261;
  for (const byte of new TextEncoder().encode(text)) {
    hash ^= byte;
    hash = Math.imul(hash, 16777619) >>> 0;
  }
  return hash >>> 0;
}

function hsl(h, s, l) {
  const a = s * Math.min(l, 1 - l);
  const f = (n) => {
    const k = (n + h / 30) % 12;
    return l - a * Math.max(-1, Math.min(k - 3, 9 - k, 1));
  };
  const hex = (v) => Math.round(Math.min(1, Math.max(0, v)) * 255).toString(16).padStart(2, '0');
  return '#' + hex(f(0)) + hex(f(8)) + hex(f(4));
}

export function style(bundle) {
  const hue = fnv1a(bundle) % 360;
  let last = bundle.includes('.') ? bundle.slice(bundle.lastIndexOf('.') + 1) : bundle;
  if (!last) last = bundle || '?';
  if (last.length > 6 && last.slice(0, 6).toLowerCase() === 'mobile') last = last.slice(6);
  const letters = last.replace(/[^A-Za-z0-9]/g, '') || '?';
  const initials = letters[0].toUpperCase() + (letters.length > 1 ? letters[1] : '');
  return { light: hsl(hue, 0.65, 0.58), dark: hsl(hue, 0.7, 0.36), initials };
}

let serial = 0;
const NS = 'http://www.w3.org/2000/svg';

// An <svg> element of the given size. Its gradient's id is the page's
// own, never one the phone's picture uses.
export function iconElement(bundle, size) {
  const s = style(bundle);
  const id = 'pg-icon-' + (++serial);
  const svg = document.createElementNS(NS, 'svg');
  svg.setAttribute('viewBox', '0 0 60 60');
  svg.setAttribute('width', size);
  svg.setAttribute('height', size);
  svg.setAttribute('class', 'app-icon');
  svg.setAttribute('aria-hidden', 'true');
  svg.innerHTML =
    `<defs><linearGradient id="${id}" x1="0" y1="0" x2="0" y2="1">` +
    `<stop offset="0" stop-color="${s.light}"/><stop offset="1" stop-color="${s.dark}"/></linearGradient></defs>` +
    `<rect width="60" height="60" rx="13.5" fill="url(#${id})"/>` +
    `<circle cx="30" cy="30" r="21.6" fill="none" stroke="#fff" stroke-opacity="0.35" stroke-width="2.4"/>` +
    `<text x="30" y="38.4" text-anchor="middle" font-size="24" font-weight="700" fill="#fff" ` +
    `font-family="Helvetica, Arial, sans-serif">${s.initials.replace(/[<&>"]/g, '')}</text>`;
  return svg;
}

