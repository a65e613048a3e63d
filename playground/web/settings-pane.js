// The settings pane: every key of the settings file, as the device's
// settings pane offers them, each showing what the plugin holds (the dump's
// `readings.settings`), and, where the file says something else, the file's
// value beside it with the plugin's own word on why it reads it so.
import { $, el, pending } from './dom.js';

export function createSettingsPane(view, requests) {
  const rows = new Map();
  const form = $('#settings-form');

  function labelBlock(def, tag, file) {
    return el('div', { class: 'row-text' },
      el('div', { class: 'row-label' }, def.label, tag),
      el('div', { class: 'row-help', text: def.help }),
      // The plugin's own ways that look like faults to someone who does
      // not know them, as its table notes them.
      def.note ? el('div', { class: 'row-note', text: def.note }) : null,
      file,
      el('div', { class: 'row-key', text: def.key }));
  }

  function settingRow(def) {
    const tag = el('span', { class: 'tag', text: 'default' });
    const file = el('div', { class: 'row-file', hidden: true });
    const guard = pending();
    const write = (value, coalesce) => requests.guarded(guard, value, { type: 'setting', key: def.key, value }, coalesce);
    let row, update, actual;
    if (def.type === 'boolean') {
      const input = el('input', { type: 'checkbox', role: 'switch', 'data-setting': def.key, 'aria-label': def.label });
      input.addEventListener('change', () => write(input.checked));
      row = el('div', { class: 'row' }, labelBlock(def, tag, file), el('label', { class: 'switch' }, input, el('span')));
      actual = (r) => r.value;
      update = (r) => (input.checked = r.value === true);
    } else if (def.type === 'number') {
      const readout = el('span', { class: 'slider-value', 'data-readout': def.key });
      const input = el('input', { type: 'range', min: def.min, max: def.max, step: def.step, 'data-setting': def.key,
        'aria-label': def.label });
      let dragging = false;
      let sent = null;
      // A slider reports the same value on input and again on change.
      const push = () => {
        const value = Number(input.value);
        if (value === sent) return;
        sent = value;
        write(value, 'setting:' + def.key);
      };
      input.addEventListener('pointerdown', () => (dragging = true));
      input.addEventListener('pointerup', () => (dragging = false));
      // While the thumb moves only the readout follows; the file is written
      // and the home screen told once, where the thumb is let go (a key
      // press moves and lets go at once).
      const unit = def.unit ? ` ${def.unit}` : '';
      input.addEventListener('input', () => (readout.textContent = `${input.value}${unit}`));
      input.addEventListener('change', push);
      row = el('div', { class: 'row slider-row' },
        el('div', { class: 'slider-head' }, labelBlock(def, tag, file), readout),
        el('div', { class: 'slider-line' }, el('span', { class: 'dotmin' }), input, el('span', { class: 'dotmax' })));
      actual = (r) => r.value;
      update = (r) => {
        if (dragging) return;
        sent = r.value;
        input.value = r.value;
        readout.textContent = `${Math.round(r.value * 10) / 10}${unit}`;
      };
    } else {
      const input = el('input', { type: 'color', 'data-setting': def.key, 'aria-label': def.label });
      const hex = el('code', { 'data-drawn': def.key });
      // What the plugin draws while the key is absent, from its own table,
      // written to the file so that the bubbles take it at once (a key
      // taken out of the file leaves the colour it last read until the
      // next respring).
      const reset = el('button', { type: 'button', class: 'btn small ghost', text: 'Default',
        title: `Write the default, ${def.fallback}: the bubbles take it at once`, onclick: () => write(def.fallback) });
      input.addEventListener('input', () => {
        hex.textContent = input.value;
        write(input.value.toLowerCase(), 'setting:' + def.key);
      });
      row = el('div', { class: 'row' }, labelBlock(def, tag, file), el('div', { class: 'colour' }, hex, input, reset));
      actual = (r) => r.drawn;
      update = (r) => {
        input.value = r.drawn;
        hex.textContent = r.alpha === undefined ? r.drawn : `${r.drawn} at ${Math.round(r.alpha * 100)}%`;
        reset.disabled = r.drawn === def.fallback && r.alpha === undefined;
      };
    }
    row.dataset.row = def.key;
    rows.set(def.key, { def, row, tag, file, update, actual, guard, last: undefined });
    return row;
  }

  for (const group of view.config.groups || []) {
    const defs = view.config.settings.filter((s) => s.group === group);
    if (!defs.length) continue;
    const body = el('div', { class: 'group-body' });
    form.append(el('section', { class: 'group' }, el('h3', { class: 'group-title', text: group }), body));
    for (const def of defs) body.append(settingRow(def));
  }

  // The file's value beside the plugin's reading, when the plugin says
  // they differ: the value as a `settings` line writes it, and its word.
  function showFile(r, reading) {
    const words = (view.dump.fileWords && view.dump.fileWords.settings) || {};
    const word = words[r.def.key];
    r.file.hidden = !reading.why;
    if (!reading.why) return;
    const said = reading.inFile && word ? word.value : null;
    const text = JSON.stringify([said, reading.why]);
    if (r.file.dataset.text === text) return;
    r.file.dataset.text = text;
    r.file.replaceChildren(...(said === null ? [] : [el('span', { text: 'the file says ' }),
      el('code', { class: 'v-word', text: said.length > 80 ? said.slice(0, 79) + '…' : said, title: said }), ': ']),
    el('span', { class: 'row-why', text: reading.why }));
  }

  view.on('panes', () => {
    const all = view.dump.readings && view.dump.readings.settings;
    if (!all) return;
    for (const [key, r] of rows) {
      const reading = all[key];
      if (!reading || r.guard.holds(r.actual(reading))) continue;
      r.update(reading);
      showFile(r, reading);
      r.tag.textContent = reading.inFile ? 'in file' : 'default';
      r.tag.classList.toggle('written', reading.inFile);
      const seen = JSON.stringify([reading.inFile, r.actual(reading)]);
      if (r.last !== undefined && r.last !== seen) {
        r.row.classList.remove('flash');
        void r.row.offsetWidth;
        r.row.classList.add('flash');
      }
      r.last = seen;
    }
  });
}
