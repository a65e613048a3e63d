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

  function chosenIn(dict) {
    const prefix = view.config.choicePrefix;
    const out = new Set();
    for (const [k, v] of Object.entries(dict || {})) {
      const at = k.lastIndexOf(prefix);
      if (at >= 0 && v && v !== '0' && v !== 'false') out.add(k.slice(at + prefix.length));
    }
    return out;
  }

  // The apps a dictionary hides the bubbles for, as the plugin reads its
  // flags: the text after a key's last prefix, with a value read as true.
  function hiddenIn(dict) {
    const prefix = view.config.hiddenPrefix;
    const out = new Set();
    for (const [k, v] of Object.entries(dict || {})) {
      const at = k.lastIndexOf(prefix);
      if (at >= 0 && readsAsTrue(v)) out.add(k.slice(at + prefix.length));
    }
    return out;
  }
  function readsAsTrue(v) {
    if (typeof v === 'boolean') return v;
    if (typeof v === 'number') return v !== 0;
    return typeof v === 'string' && /^[ \t\n]*[+-]?0*[YyTt1-9]/.test(v);
  }

  let blacklistShown = '';
  function renderBlacklist() {
    const d = view.dump;
    const inFile = hiddenIn(d.files && d.files.state);
    const inMemory = d.plugin && d.plugin.floatTilesDict ? hiddenIn(d.plugin.floatTilesDict) : inFile;
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
    const d = view.dump;
    renderBlacklist();
    const inFile = chosenIn(d.files && d.files.state);
    const running = new Set((d.bubbles || []).map((b) => b.bundle));
    const loaded = d.plugin && d.plugin.floatTilesDict ? chosenIn(d.plugin.floatTilesDict) : running;
    let waiting = 0;
    for (const [bundle, r] of rows) {
      const chosen = inFile.has(bundle);
      if (!r.guard.holds(chosen)) r.input.checked = chosen;
      const differs = chosen !== loaded.has(bundle);
      if (differs) waiting++;
      r.tag.textContent = differs ? (chosen ? 'after respring' : 'until respring') : running.has(bundle) ? 'on screen' : '';
      r.tag.hidden = !r.tag.textContent;
      r.tag.classList.toggle('written', running.has(bundle) && !differs);
    }
    $('#apps-pending').hidden = !waiting;
    $('#apps-notice').classList.toggle('pending', waiting > 0);
    $('#apps-notice-text').textContent = waiting
      ? `${waiting} change${waiting > 1 ? 's' : ''} waiting: respring to apply.`
      : 'Like on the phone, a change takes effect at the next respring.';
  });
}
