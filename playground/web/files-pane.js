// The Files panel: the two files as they stand on disk.
import { $, el } from './dom.js';

function valueCell(v) {
  if (typeof v === 'boolean') return [el('span', { class: `v-bool v-${v}`, text: String(v) }), 'Boolean'];
  if (typeof v === 'number') return [el('span', { class: 'v-num', text: String(v) }), Number.isInteger(v) ? 'Number' : 'Real'];
  if (typeof v === 'string') return [el('span', { class: 'v-str', text: JSON.stringify(v) }), 'String'];
  if (Array.isArray(v)) return [el('span', { class: 'v-num', text: '[' + v.map((x) => JSON.stringify(x)).join(', ') + ']' }), 'Array'];
  return [el('span', { text: JSON.stringify(v) }), 'Dictionary'];
}

export function createFilesPane(view) {
  let fileShown = 'settings';
  const seen = { settings: {}, state: {} };
  for (const tab of document.querySelectorAll('.seg-item[data-file]')) {
    tab.addEventListener('click', () => {
      fileShown = tab.dataset.file;
      for (const t of document.querySelectorAll('.seg-item[data-file]')) t.classList.toggle('active', t === tab);
      render(true);
    });
  }

  function render(switched) {
    const d = view.dump;
    if (!d) return;
    const name = fileShown;
    const contents = d.files ? d.files[name] : null;
    const status = d.fileStatus ? d.fileStatus[name] : 'missing';
    // The plugin's own path for the file, as the server describes it. The
    // start of a long path matters least: it is the end that is cut.
    const path = (view.config.files && view.config.files[name]) || name;
    $('#file-path').textContent = '\u200e' + path;
    $('#file-path').title = path;
    const pill = $('#file-status');
    pill.textContent = status === 'ok' ? 'On disk' : status === 'missing' ? 'No file' : 'Unreadable';
    pill.className = 'pill ' + (status === 'ok' ? 'ok' : status === 'missing' ? '' : 'bad');
    const body = $('#file-body');
    const text = JSON.stringify(contents);
    if (!switched && body.dataset.text === text) return;
    body.dataset.text = text;
    body.innerHTML = '';
    if (!contents || !Object.keys(contents).length) {
      body.append(el('div', { class: 'empty', text: status === 'missing'
        ? 'No file yet: the plugin uses its defaults until something is written.'
        : status === 'unreadable' ? 'The file is not a property list.' : 'The file is empty.' }));
      seen[name] = {};
      return;
    }
    const table = el('table', { class: 'plist', 'data-file': name });
    for (const [key, value] of Object.entries(contents)) {
      const [cell, type] = valueCell(value);
      const changed = !switched && JSON.stringify(seen[name][key]) !== JSON.stringify(value);
      table.append(el('tr', { class: changed ? 'changed' : '', 'data-key': key },
        el('td', { class: 'pkey', text: key }),
        el('td', { class: 'pval' }, cell, el('span', { class: 'v-type', text: type }))));
    }
    body.append(table);
    seen[name] = JSON.parse(text);
  }

  view.on('panes', () => render(false));
}
