// The Trace panel: what the home screen prints, as it happens, with the
// playground's own input marked, and the same in plain words.
import { $, el } from './dom.js';
import { createPlainWords } from './plain.js';

export function createTracePane(view) {
  const trace = $('#trace');
  const jump = $('#trace-jump');
  let stickToBottom = true;
  trace.addEventListener('scroll', () => {
    stickToBottom = trace.scrollTop + trace.clientHeight >= trace.scrollHeight - 24;
    if (stickToBottom) jump.hidden = true;
  });
  jump.addEventListener('click', () => {
    trace.scrollTop = trace.scrollHeight;
    jump.hidden = true;
  });
  $('#trace-clear').addEventListener('click', () => {
    trace.innerHTML = '';
    stickToBottom = true;
    jump.hidden = true;
  });
  $('#show-animations').addEventListener('change', (e) => trace.classList.toggle('hide-animations', !e.target.checked));
  $('#show-input').addEventListener('change', (e) => trace.classList.toggle('hide-input', !e.target.checked));

  function traceItem(entry) {
    if (entry.kind === 'note') return el('li', { class: 'note' }, el('span', { text: entry.text }));
    if (entry.kind === 'input') return el('li', { class: 'input' }, el('span', { class: 't', text: '›' }), el('span', { class: 'e', text: entry.text }));
    const m = /^\[([0-9.]+)\] (\S+)(.*)$/.exec(entry.text);
    if (!m) return el('li', {}, el('span', { class: 't' }), el('span', { class: 'e', text: entry.text }));
    return el('li', { class: 'ev-' + m[2].replace(/[^a-z-]/gi, '') }, el('span', { class: 't', text: m[1] }),
      el('span', { class: 'e' }, el('span', { class: 'k', text: m[2] }), m[3]));
  }

  // Plain words: a sentence beside each raw line that says something to a
  // person, and one for each change of the dump that no line tells. Both
  // kinds are always there; the toggle shows one or the other.
  const plain = createPlainWords(view.config);
  const told = { dump: null, generation: null, keyed: new Map() };
  $('#plain-words').addEventListener('change', (e) => {
    trace.classList.toggle('plain', e.target.checked);
    trace.scrollTop = trace.scrollHeight;
  });

  function plainItem(item, time, raw) {
    return el('li', { class: 'plain', title: raw }, el('span', { class: 't', text: time }),
      el('span', { class: 'e' }, el('span', { class: 'p', text: item.text }), item.why ? el('span', { class: 'why', text: ` · ${item.why}` }) : null));
  }

  function follow() {
    while (trace.childElementCount > 1500) trace.firstElementChild.remove();
    if (stickToBottom) trace.scrollTop = trace.scrollHeight;
    else jump.hidden = false;
  }

  function append(entries) {
    const fresh = entries.filter((e) => e.seq > view.traceSeq);
    if (!fresh.length) return;
    const fragment = document.createDocumentFragment();
    for (const e of fresh) {
      fragment.append(traceItem(e));
      const text = plain.line(e, view.dump);
      const time = /^\[([0-9.]+)\]/.exec(e.text);
      if (text) fragment.append(plainItem({ text }, time ? time[1] : '', e.text));
    }
    view.traceSeq = fresh[fresh.length - 1].seq;
    trace.append(fragment);
    follow();
  }

  // A new stream starts from the beginning of what the server keeps.
  function restart() {
    view.traceSeq = 0;
    trace.innerHTML = '';
  }

  view.on('panes', () => {
    const d = view.dump;
    const generation = view.meta && view.meta.generation;
    if (!d || d === told.dump) return;
    const items = generation === told.generation ? plain.changes(told.dump, d) : [];
    told.dump = d;
    told.generation = generation;
    for (const item of items) {
      const kept = item.key && told.keyed.get(item.key);
      if (kept && kept.isConnected) {
        kept.querySelector('.p').textContent = item.text;
        continue;
      }
      const li = plainItem(item, '', 'from the dump');
      if (item.key) told.keyed.set(item.key, li);
      trace.append(li);
    }
    if (items.length) follow();
  });

  return { append, restart };
}
