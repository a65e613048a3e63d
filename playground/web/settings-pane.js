// The settings pane: every key of the settings file, as the device's
// settings pane offers them.
import { $, el, pending } from './dom.js';

export function createSettingsPane(view, requests) {
  const rows = new Map();
  const form = $('#settings-form');

  function labelBlock(def, tag) {
    return el('div', { class: 'row-text' },
      el('div', { class: 'row-label' }, def.label, tag),
      el('div', { class: 'row-help', text: def.help }),
      // The plugin's own ways that look like faults to someone who does
      // not know them, as its table notes them.
      def.note ? el('div', { class: 'row-note', text: def.note }) : null,
      el('div', { class: 'row-key', text: def.key }));
  }

  function settingRow(def) {
    const tag = el('span', { class: 'tag', text: 'default' });
    const guard = pending();
    const write = (value, coalesce) => requests.guarded(guard, value, { type: 'setting', key: def.key, value }, coalesce);
    let row, update, actual;
    if (def.type === 'boolean') {
      const input = el('input', { type: 'checkbox', role: 'switch', 'data-setting': def.key, 'aria-label': def.label });
      input.addEventListener('change', () => write(input.checked));
      row = el('div', { class: 'row' }, labelBlock(def, tag), el('label', { class: 'switch' }, input, el('span')));
      actual = (v) => !!v;
      update = (v) => (input.checked = !!v);
    } else if (def.type === 'number') {
      const readout = el('span', { class: 'slider-value' });
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
        el('div', { class: 'slider-head' }, labelBlock(def, tag), readout),
        el('div', { class: 'slider-line' }, el('span', { class: 'dotmin' }), input, el('span', { class: 'dotmax' })));
      actual = (v) => Number(v);
      update = (v) => {
        if (dragging) return;
        sent = Number(v);
        input.value = v;
        readout.textContent = `${Math.round(Number(v) * 10) / 10}${unit}`;
      };
    } else {
      // What the plugin draws while the key is absent, from its own table.
      const fallback = typeof def.fallback === 'string' ? def.fallback : '#ffffff';
      const input = el('input', { type: 'color', 'data-setting': def.key, 'aria-label': def.label });
      const hex = el('code');
      const reset = el('button', { type: 'button', class: 'btn small ghost', text: 'Default',
        title: 'Remove the key: the plugin draws its default', onclick: () => write(null) });
      input.addEventListener('input', () => {
        hex.textContent = input.value;
        write(input.value.toLowerCase(), 'setting:' + def.key);
      });
      row = el('div', { class: 'row' }, labelBlock(def, tag), el('div', { class: 'colour' }, hex, input, reset));
      actual = (v, inFile) => (inFile && typeof v === 'string' ? v.toLowerCase() : null);
      update = (v, inFile) => {
        const value = inFile && typeof v === 'string' && /^#[0-9a-fA-F]{6}$/.test(v) ? v.toLowerCase() : fallback;
        input.value = value;
        hex.textContent = value;
        reset.disabled = !inFile;
      };
    }
    row.dataset.row = def.key;
    rows.set(def.key, { def, row, tag, update, actual, guard, last: undefined });
    return row;
  }

  for (const group of view.config.groups || []) {
    const defs = view.config.settings.filter((s) => s.group === group);
    if (!defs.length) continue;
    const body = el('div', { class: 'group-body' });
    form.append(el('section', { class: 'group' }, el('h3', { class: 'group-title', text: group }), body));
    for (const def of defs) body.append(settingRow(def));
  }

  view.on('panes', () => {
    const file = (view.dump.files && view.dump.files.settings) || {};
    for (const [key, r] of rows) {
      const inFile = Object.prototype.hasOwnProperty.call(file, key);
      const value = inFile ? file[key] : r.def.default;
      if (r.guard.holds(r.actual(value, inFile))) continue;
      r.update(value, inFile);
      r.tag.textContent = inFile ? 'in file' : 'default';
      r.tag.classList.toggle('written', inFile);
      const seen = JSON.stringify([inFile, value]);
      if (r.last !== undefined && r.last !== seen) {
        r.row.classList.remove('flash');
        void r.row.offsetWidth;
        r.row.classList.add('flash');
      }
      r.last = seen;
    }
  });
}
