// The Files panel: the two files as they stand on disk.
import { $, el } from './dom.js';

// Each value as the scenario language writes it, from the dump's
// `fileWords`: every type told apart and a text exactly as it is.
const TYPE_CLASS = { text: 'v-str', Boolean: 'v-bool', integer: 'v-num', real: 'v-num' };
const VALUE_HELP = 'a scenario word: "text", 12, 0.5, true, date:2024-05-01T12:30:00Z, data:SGk=, [1,"a"], {k:1}';

export function createFilesPane(view, requests) {
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
    if (body.querySelector('form.file-edit')) return;
    const text = JSON.stringify(d.fileWords ? d.fileWords[name] : contents);
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
    const words = (d.fileWords && d.fileWords[name]) || {};
    const table = el('table', { class: 'plist', 'data-file': name });
    for (const key of Object.keys(contents)) {
      const word = words[key] || { value: JSON.stringify(contents[key]), type: '' };
      const changed = !switched && JSON.stringify(seen[name][key]) !== JSON.stringify(words[key]);
      const cell = el('span', { class: 'v-word ' + (TYPE_CLASS[word.type] || ''), text: word.value });
      table.append(el('tr', { class: changed ? 'changed' : '', 'data-key': key },
        el('td', { class: 'pkey v-word', text: key }),
        el('td', { class: 'pval' }, cell, el('span', { class: 'v-type', text: word.type }),
          el('button', { class: 'v-edit', title: 'Edit ' + key, text: '\u270e', onclick: () => edit(name, key, word.value) }),
          el('button', { class: 'v-edit', title: 'Delete ' + key, text: '\u00d7', onclick: () => write(name, key, null) }))));
    }
    body.append(table);
    seen[name] = JSON.parse(text);
  }

  function write(file, key, value) {
    return requests.send({ type: 'file', file, key, value });
  }

  // A key's value in the row's place, or a new key, written on Enter.
  function edit(file, key, value) {
    const keyInput = el('input', { class: 'file-input', placeholder: 'key', value: key ?? '' });
    const valueInput = el('input', { class: 'file-input', placeholder: VALUE_HELP, title: VALUE_HELP, value: value ?? '' });
    const form = el('form', { class: 'file-edit' }, keyInput, valueInput,
      el('button', { type: 'submit', text: 'Set' }),
      el('button', { type: 'button', text: 'Cancel', onclick: () => { form.remove(); render(true); } }));
    form.addEventListener('submit', (e) => {
      e.preventDefault();
      write(file, keyInput.value, valueInput.value).then((r) => { if (r.ok) { form.remove(); render(true); } });
    });
    $('#file-body').prepend(form);
    (key === undefined ? keyInput : valueInput).focus();
  }
  $('#file-add').addEventListener('click', () => edit(fileShown));

  view.on('panes', () => render(false));
}
