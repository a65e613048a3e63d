// The Files panel: the two files as they stand on disk.
import { $, el, toast } from './dom.js';

// Each value as the scenario language writes it, from the dump's
// `fileWords`: every type told apart and a text exactly as it is.
const TYPE_CLASS = { text: 'v-str', Boolean: 'v-bool', integer: 'v-num', real: 'v-num' };
const VALUE_HELP = 'a scenario VALUE: "text", 12, 0.5, true, date:2024-05-01T12:30:00Z, data:SGk=, [1, "a"], {k:1}';
// A value longer than this is shown cut, whole in its title and its form,
// so that it does not crowd the keys out of the table.
const SHOWN = 160;

export function createFilesPane(view, requests) {
  let fileShown = 'settings';
  const seen = { settings: {}, state: {} };
  for (const tab of document.querySelectorAll('.seg-item[data-file]')) {
    tab.addEventListener('click', () => {
      fileShown = tab.dataset.file;
      for (const t of document.querySelectorAll('.seg-item[data-file]')) t.classList.toggle('active', t === tab);
      closeForm();
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
    const table = el('table', { class: 'plist', 'data-file': name },
      el('colgroup', {}, el('col', { class: 'pkey-col' }), el('col')));
    for (const key of Object.keys(contents)) {
      const word = words[key] || { value: JSON.stringify(contents[key]), type: '' };
      const changed = !switched && JSON.stringify(seen[name][key]) !== JSON.stringify(words[key]);
      const long = word.value.length > SHOWN;
      const cell = el('span', { class: 'v-word ' + (TYPE_CLASS[word.type] || ''), title: long ? word.value : null,
        text: long ? `${word.value.slice(0, SHOWN)}…` : word.value });
      table.append(el('tr', { class: changed ? 'changed' : '', 'data-key': key },
        el('td', { class: 'pkey v-word', text: key }),
        el('td', { class: 'pval' }, cell,
          el('span', { class: 'v-type', text: long ? `${word.type}, ${word.value.length.toLocaleString('en')} characters` : word.type }),
          el('button', { class: 'v-edit', title: 'Edit ' + key, text: '\u270e', onclick: () => edit(name, key, word.value) }),
          el('button', { class: 'v-edit', title: 'Delete ' + key, text: '\u00d7', onclick: () => remove(name, key, word.value) }))));
    }
    body.append(table);
    seen[name] = JSON.parse(text);
  }

  function write(file, key, value) {
    return requests.send({ type: 'file', file, key, value });
  }

  // A key taken out can be put back as it was, from the toast.
  function remove(file, key, value) {
    write(file, key, null).then((r) => r.ok && toast(`${key} taken out of the ${file} file.`,
      { label: 'Undo', run: () => write(file, key, value) }));
  }

  function closeForm() {
    const open = $('#file-body form.file-edit');
    if (open) open.remove();
  }

  // A key's value in the row's place, or a new key, written on Enter. One
  // form at a time: a second ✎ or Add key takes the place of the first.
  function edit(file, key, value) {
    closeForm();
    const keyInput = el('input', { class: 'file-input', placeholder: 'key', value: key ?? '' });
    const valueInput = el('input', { class: 'file-input', placeholder: VALUE_HELP, title: VALUE_HELP, value: value ?? '' });
    const form = el('form', { class: 'file-edit', 'data-editing': key ?? '' }, keyInput, valueInput,
      el('button', { type: 'submit', class: 'btn small primary', text: 'Set' }),
      el('button', { type: 'button', class: 'btn small ghost', text: 'Cancel', onclick: () => { form.remove(); render(true); } }));
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
