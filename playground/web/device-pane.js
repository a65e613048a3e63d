// The Device tab: the rest of the phone by hand.
import { $, el, nameOf, pending } from './dom.js';
import { iconElement } from './icons.js';

export const CALLS = [
  { status: 4, label: 'Incoming', title: 'Incoming call' },
  { status: 3, label: 'Outgoing', title: 'Calling…' },
  { status: 1, label: 'Connected', title: 'On a call' },
  { status: 5, label: 'Ending', title: 'Ending call' },
  { status: 6, label: 'Ended', title: 'Call ended' },
];
const ORIENTATIONS = [
  { value: 1, label: 'Portrait' },
  { value: 2, label: 'Upside down' },
  { value: 3, label: 'Landscape right' },
  { value: 4, label: 'Landscape left' },
];

function section(title, ...content) {
  return el('section', { class: 'group device-section' }, el('h3', { class: 'group-title', text: title }),
    el('div', { class: 'group-body' }, ...content));
}

function flushSection(title, ...rows) {
  const s = section(title, ...rows);
  s.lastChild.classList.add('flush');
  return s;
}

export function createDevicePane(view, requests) {
  const { send } = requests;
  const form = $('#device-form');
  const apps = view.config.apps;

  function switchRow(label, help, action) {
    const input = el('input', { type: 'checkbox', role: 'switch', 'aria-label': label });
    const guard = pending();
    input.addEventListener('change', () => requests.guarded(guard, input.checked, action(input.checked)));
    return { input, guard, row: el('div', { class: 'row' },
      el('div', { class: 'row-text' }, el('div', { class: 'row-label', text: label }), el('div', { class: 'row-help', text: help })),
      el('label', { class: 'switch' }, input, el('span'))) };
  }

  // In front
  const grid = el('div', { class: 'app-grid' });
  const home = el('button', { type: 'button', class: 'app-tile', 'data-front': '', onclick: () => send({ type: 'front', bundle: null }) },
    el('span', { class: 'home-glyph' }), 'Home');
  home.firstChild.innerHTML = '<svg viewBox="0 0 16 16" width="16" height="16" aria-hidden="true"><path d="M2.5 7.5 8 3l5.5 4.5V13a.5.5 0 0 1-.5.5H9.5v-3h-3v3H3a.5.5 0 0 1-.5-.5z" fill="currentColor"/></svg>';
  grid.append(home);
  const tiles = new Map([[null, home]]);
  for (const app of apps) {
    const tile = el('button', { type: 'button', class: 'app-tile', 'data-front': app.bundle, title: `Bring ${app.name} to the front`,
      onclick: () => send({ type: 'front', bundle: app.bundle }) }, iconElement(app.bundle, 34), app.name);
    grid.append(tile);
    tiles.set(app.bundle, tile);
  }
  const frontLine = el('b');
  form.append(section('In front', el('div', { class: 'state-line' }, el('span', {}, 'Showing ', frontLine)), grid));

  // Lock
  const lockLine = el('b');
  const lockPill = el('span', { class: 'pill' });
  // Each button only where the phone has it: the passcode view and the
  // unlock belong to the lock screen, the lock to an unlocked phone.
  const lockButton = el('button', { type: 'button', class: 'btn small', id: 'lock', onclick: () => send({ type: 'lock' }) }, 'Lock');
  const passcodeButton = el('button', { type: 'button', class: 'btn small', id: 'show-passcode',
    onclick: () => send({ type: 'passcode', show: true }) }, 'Passcode view');
  const unlockButton = el('button', { type: 'button', class: 'btn small', id: 'unlock', onclick: () => send({ type: 'unlock' }) }, 'Unlock');
  form.append(section('Lock screen',
    el('div', { class: 'state-line' }, el('span', {}, 'The phone is ', lockLine), lockPill),
    el('div', { class: 'button-row' }, lockButton, passcodeButton, unlockButton)));

  // Control Center and Siri
  const cc = switchRow('Control Center', 'Open it over whatever is on screen.', (open) => ({ type: 'controlCenter', open }));
  const siri = switchRow('Siri on screen', 'What the accessibility server reports as visible.', (visible) => ({ type: 'siri', visible }));
  form.append(flushSection('Overlays', cc.row, siri.row));

  // Call
  const callLine = el('b');
  const callButtons = CALLS.map((c) => el('button', { type: 'button', class: 'btn small', 'data-call': c.status,
    title: `Call status ${c.status}`, onclick: () => send({ type: 'call', status: c.status }) }, c.label));
  form.append(section('Phone call',
    el('div', { class: 'state-line' }, el('span', {}, 'Call: ', callLine)),
    el('div', { class: 'button-row' }, ...callButtons,
      el('button', { type: 'button', class: 'btn small ghost', onclick: () => send({ type: 'call', status: null }) }, 'No call'))));

  // Orientation
  const turns = ORIENTATIONS.map((o) => el('button', { type: 'button', class: 'seg-item', 'data-orientation': o.value,
    onclick: () => send({ type: 'orientation', value: o.value }) }, o.label));
  form.append(section('Orientation', el('nav', { class: 'seg wide' }, ...turns),
    el('div', { class: 'row-note', text: 'The home screen itself never turns: the plugin turns each bubble so it reads upright as the phone is held, and the picture turns the whole phone to match. Upside down, a bubble does not follow a drag: that is the plugin\'s way.' })));

  // Badges
  const select = el('select', { 'aria-label': 'App' }, ...apps.map((a) => el('option', { value: a.bundle }, a.name)));
  const value = el('input', { type: 'text', placeholder: 'e.g. 3', 'aria-label': 'Badge' });
  const current = el('span', { class: 'pill' });
  const showBadge = () => {
    const app = ((view.dump && view.dump.host.apps) || []).find((a) => a.bundle === select.value);
    current.textContent = app && app.badge !== null && app.badge !== undefined ? `now ${app.badge}` : 'no badge';
  };
  select.addEventListener('change', showBadge);
  // The text as typed: the server reads it as a request's badge is read,
  // and says what it refuses.
  const set = () => send({ type: 'badge', bundle: select.value, value: value.value });
  value.addEventListener('keydown', (e) => e.key === 'Enter' && set());
  form.append(section('Badges',
    el('div', { class: 'inline' }, select, value,
      el('button', { type: 'button', class: 'btn small', onclick: set }, 'Set'),
      el('button', { type: 'button', class: 'btn small ghost', onclick: () => send({ type: 'badge', bundle: select.value, value: null }) }, 'Clear'),
      current)));

  view.on('panes', () => {
    if (!view.meta) return;
    const phone = view.meta.phone || {};
    const front = view.dump ? view.dump.host.front : phone.front;
    for (const [bundle, tile] of tiles) tile.classList.toggle('active', (front || null) === bundle);
    frontLine.textContent = front ? nameOf(view.config, front) : 'the home screen';
    lockLine.textContent = phone.locked ? 'locked' : 'unlocked';
    lockPill.textContent = phone.passcode ? 'Passcode view' : phone.locked ? 'Lock screen' : 'Open';
    lockPill.className = 'pill ' + (phone.locked ? 'warn' : 'ok');
    lockButton.hidden = !!phone.locked;
    passcodeButton.hidden = !phone.locked || !!phone.passcode;
    unlockButton.hidden = !phone.locked;
    if (!cc.guard.holds(!!phone.controlCenter)) cc.input.checked = !!phone.controlCenter;
    if (!siri.guard.holds(!!phone.siri)) siri.input.checked = !!phone.siri;
    const call = CALLS.find((c) => c.status === phone.call);
    callLine.textContent = call ? `${call.label} (status ${call.status})` : phone.call !== null && phone.call !== undefined ? `status ${phone.call}` : 'none';
    for (const b of callButtons) b.classList.toggle('active', Number(b.dataset.call) === phone.call);
    for (const b of turns) b.classList.toggle('active', Number(b.dataset.orientation) === phone.orientation);
    showBadge();
  });
}
