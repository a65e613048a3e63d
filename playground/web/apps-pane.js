// The Apps tab: the installed apps, each with a switch that writes its
// choice into the state file, and the blacklist.
import { $, el, nameOf, pending, toast } from './dom.js';
import { iconElement } from './icons.js';

export function createAppsPane(view, requests, respring) {
  const { send } = requests;
  const rows = new Map();
  const list = $('#app-list');
  for (const app of view.config.apps) {
    const input = el('input', { type: 'checkbox', role: 'switch', 'data-app': app.bundle, 'aria-label': `Bubble for ${app.name}` });
    const guard = pending();
    input.addEventListener('change', () => requests.guarded(guard, input.checked, { type: 'choose', bundle: app.bundle, chosen: input.checked }));
    const tag = el('span', { class: 'tag' });
    list.append(el('li', { class: 'app-row' },
      iconElement(app.bundle, 38),
      el('div', { class: 'app-meta' }, el('div', { class: 'app-name' }, app.name, tag), el('div', { class: 'app-bundle', text: app.bundle })),
      el('label', { class: 'switch' }, input, el('span'))));
    rows.set(app.bundle, { input, tag, guard });
  }
  $('#apps-respring').addEventListener('click', respring);
  // Apps the state file chooses that the phone does not have: shown, so
  // that the choice can be seen and taken out of the file.
  const strays = el('ul', { class: 'app-list strays', id: 'stray-list', hidden: true });
  list.after(strays);
  let straysShown = '';
  function renderStrays(read) {
    const installed = new Set(view.config.apps.map((a) => a.bundle));
    const missing = [...new Set([...read.chosenNext, ...read.chosenNow])].filter((b) => !installed.has(b)).sort();
    const shown = JSON.stringify(missing);
    if (shown === straysShown) return;
    straysShown = shown;
    strays.replaceChildren(...missing.map((bundle) => el('li', { class: 'app-row', 'data-stray': bundle },
      iconElement(bundle, 38),
      el('div', { class: 'app-meta' }, el('div', { class: 'app-name', text: bundle }),
        el('div', { class: 'app-bundle', text: 'chosen in the state file, not installed on this phone: no bubble' })),
      read.chosenNext.has(bundle) ? el('button', { class: 'btn small', type: 'button', text: 'Take out',
        title: 'Take the choice out of the state file',
        onclick: () => send({ type: 'file', file: 'state', key: (view.config.prefixes || {}).chosen + bundle, value: null }) }) : null)));
    strays.hidden = !missing.length;
  }

  // What the plugin itself read (the dump's readings): `now`, what the
  // running home screen loaded at its start, and `nextRespring`, what it
  // would read from the state file as the file stands. The page reads no
  // value of the file its own way.
  function readings() {
    const r = (view.dump && view.dump.readings) || {};
    const set = (part, list) => new Set((r[part] && r[part][list]) || []);
    return { chosenNow: set('now', 'chosen'), chosenNext: set('nextRespring', 'chosen'),
      hiddenNow: set('now', 'hidden'), hiddenNext: set('nextRespring', 'hidden') };
  }

  let blacklistShown = '';
  function renderBlacklist(read) {
    const inFile = read.hiddenNext;
    const inMemory = read.hiddenNow;
    const all = [...new Set([...inFile, ...inMemory])].sort();
    const shown = JSON.stringify([[...inFile], [...inMemory]]);
    if (shown === blacklistShown) return;
    blacklistShown = shown;
    const out = $('#blacklist');
    out.innerHTML = '';
    if (!all.length) out.append(el('li', { class: 'app-row empty', text: 'No app is on the blacklist.' }));
    for (const bundle of all) {
      const note = !inFile.has(bundle) ? 'hidden until the next respring (not in the file)'
        : !inMemory.has(bundle) ? 'written: from the next respring' : 'in the file and on the home screen';
      const name = nameOf(view.config, bundle);
      const lift = inFile.has(bundle) ? el('button', { class: 'btn small', type: 'button', 'data-lift': bundle, text: 'Take off',
        onclick: () => send({ type: 'lift', bundle }).then((r) => r.ok && toast(`${name} is off the blacklist in the state file; the bubbles hide in it until the next respring.`)) }) : null;
      out.append(el('li', { class: 'app-row', 'data-blacklisted': bundle },
        iconElement(bundle, 38),
        el('div', { class: 'app-meta' }, el('div', { class: 'app-name', text: name }), el('div', { class: 'app-bundle', text: note })),
        lift));
    }
  }

  view.on('panes', () => {
    const read = readings();
    renderBlacklist(read);
    renderStrays(read);
    const bubbles = view.dump.bubbles || [];
    const shown = new Set(bubbles.filter((b) => !b.hidden).map((b) => b.bundle));
    const built = new Set(bubbles.map((b) => b.bundle));
    // No overlay at all: the home screen started with the plugin not enabled.
    const off = !(view.dump.plugin && view.dump.plugin.isOverlayCreated);
    let waiting = 0;
    for (const [bundle, r] of rows) {
      const chosen = read.chosenNext.has(bundle);
      if (!r.guard.holds(chosen)) r.input.checked = chosen;
      const differs = chosen !== read.chosenNow.has(bundle);
      if (differs) waiting++;
      r.tag.textContent = differs ? (chosen ? 'after respring' : 'until respring')
        : !chosen ? '' : off ? 'no bubble: not enabled' : !built.has(bundle) ? 'no bubble'
          : shown.has(bundle) ? 'on screen' : 'hidden now';
      r.tag.hidden = !r.tag.textContent;
      r.tag.classList.toggle('written', shown.has(bundle) && !differs);
    }
    $('#apps-pending').hidden = !waiting;
    $('#apps-notice').classList.toggle('pending', waiting > 0);
    $('#apps-notice-text').textContent = waiting
      ? `${waiting} change${waiting > 1 ? 's' : ''} waiting: respring to apply.`
      : 'Like on the phone, a change takes effect at the next respring.';
  });
}
