// FloatTiles Playground: the Record tab. What a person does is a scenario
// being written by the server; this shows its lines, lets a line go, adds
// comments and, in Check mode, checks of what the person clicks. The page
// sends only typed requests ({"type": "record", ...}); the lines are the
// server's.
import { $, toast } from './dom.js';

export function createRecordTab(view, send, held) {
  const shown = { revision: -1, text: '' };
  let checking = false;
  let filming = false;

  function record(op, extra) {
    return send({ type: 'record', op, ...extra });
  }

  // The list and the buttons, as the server keeps the recording.
  async function refresh() {
    let r;
    try {
      r = await (await fetch('/api/recording')).json();
    } catch (e) {
      return;
    }
    $('#record-toggle').textContent = r.recording ? 'Stop recording' : 'Start recording';
    $('#record-toggle').classList.toggle('active', r.recording);
    $('#record-dot').hidden = !r.recording;
    // Numbered as the downloaded file's lines, after its header: the count
    // is the number the list ends at.
    const first = r.firstLine || 1;
    const count = r.lines.length ? first - 1 + r.lines.length : 0;
    $('#record-lines').style.counterReset = `line ${first - 1}`;
    if (!filming) {
      $('#record-status').textContent = r.replaying ? 'Replaying…' : r.recording ? `Recording · ${count} lines` : `${count} lines`;
    }
    document.body.classList.toggle('recording', r.recording);
    if (r.revision === shown.revision) return;
    shown.revision = r.revision;
    shown.text = r.lines.map((l) => l.text).join('\n');
    const list = $('#record-lines');
    const follow = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
    list.innerHTML = '';
    for (const line of r.lines) {
      const li = document.createElement('li');
      li.dataset.id = line.id;
      const code = document.createElement('code');
      code.textContent = line.text;
      const del = document.createElement('button');
      del.type = 'button';
      del.className = 'record-delete';
      del.title = 'Delete this line';
      del.textContent = '×';
      del.addEventListener('click', () => record('delete', { id: line.id }).then(refresh));
      li.className = /^expect /.test(line.text) ? 'check' : /^(echo |#)/.test(line.text) ? 'comment' : /^wait /.test(line.text) ? 'wait' : '';
      li.append(code, del);
      list.append(li);
    }
    if (follow) list.scrollTop = list.scrollHeight;
  }

  $('#record-toggle').addEventListener('click', async () => {
    const recording = $('#record-toggle').classList.contains('active');
    await record(recording ? 'stop' : 'start');
    refresh();
  });
  $('#record-host').addEventListener('click', () => record('check', { host: true }).then(refresh));
  $('#record-echo').addEventListener('click', async () => {
    const input = $('#record-echo-text');
    if (!input.value.trim()) return;
    const r = await record('echo', { text: input.value });
    if (r.ok) input.value = '';
    refresh();
  });
  $('#record-replay').addEventListener('click', () => record('replay', { speed: $('#record-fast').checked ? 4 : 1 }).then(refresh));
  // A film takes a while: springboard-sim plays the whole recording on a
  // phone of its own. The button says so as it goes, and the film is
  // saved when it comes.
  $('#record-film').addEventListener('click', async (e) => {
    e.preventDefault();
    if (filming) return;
    filming = true;
    const button = $('#record-film');
    const status = $('#record-status');
    const started = performance.now();
    button.classList.add('busy');
    button.setAttribute('aria-busy', 'true');
    const tick = () => (status.textContent = `Filming the recording… ${Math.round((performance.now() - started) / 1000)} s`);
    tick();
    const timer = setInterval(tick, 1000);
    try {
      const response = await fetch(button.href);
      if (!response.ok) {
        const answer = await response.json().catch(() => ({}));
        toast(answer.error || 'the film could not be made');
      } else {
        const url = URL.createObjectURL(await response.blob());
        const a = document.createElement('a');
        a.href = url;
        a.download = button.getAttribute('download');
        document.body.append(a);
        a.click();
        a.remove();
        setTimeout(() => URL.revokeObjectURL(url), 10000);
        toast(`The film is made (${Math.round((performance.now() - started) / 1000)} s).`);
      }
    } catch (err) {
      toast('the playground server cannot be reached');
    } finally {
      clearInterval(timer);
      filming = false;
      button.classList.remove('busy');
      button.removeAttribute('aria-busy');
      refresh();
    }
  });
  $('#record-copy').addEventListener('click', async () => {
    const text = await (await fetch('/api/recording.scenario')).text();
    try {
      await navigator.clipboard.writeText(text);
    } catch (e) {
      // No clipboard permission: a selected text area and the old command.
      const area = document.createElement('textarea');
      area.value = text;
      document.body.append(area);
      area.select();
      document.execCommand('copy');
      area.remove();
    }
  });

  // Check mode: a click adds checks of what it lands on instead of acting.
  $('#record-check').addEventListener('change', (e) => {
    checking = e.target.checked;
    document.body.classList.toggle('checking', checking);
  });
  // Taken before the screen's own listener sees the press.
  $('#phone-holder').addEventListener('pointerdown', (e) => {
    if (!checking || !view.config || !e.target.closest('#screen') || e.target.closest('.passcode')) return;
    e.stopPropagation();
    e.preventDefault();
    const p = held.screenPoint(e.clientX, e.clientY, view.config.screen);
    record('check', { at: [p.x, p.y] }).then(refresh);
  }, true);
  // The Device tab is the host's panel: a click in it checks the host.
  $('#tab-device').addEventListener('click', (e) => {
    if (!checking) return;
    e.stopPropagation();
    e.preventDefault();
    record('check', { host: true }).then(refresh);
  }, true);
  $('#file-body').addEventListener('click', (e) => {
    const row = checking && e.target.closest('tr[data-key]');
    const table = row && row.closest('table[data-file]');
    if (table) record('check', { file: table.dataset.file, key: row.dataset.key }).then(refresh);
  });
  $('#trace').addEventListener('click', (e) => {
    const li = checking && e.target.closest('li');
    if (!li || li.classList.contains('input') || li.classList.contains('note')) return;
    // A sentence in plain words keeps its raw line as its title.
    const event = li.querySelector('.e');
    const raw = li.classList.contains('plain') ? li.title : event && event.textContent;
    if (raw && raw !== 'from the dump') record('check', { trace: raw }).then(refresh);
  });

  setInterval(() => {
    if (!$('#tab-record').hidden || document.body.classList.contains('recording')) refresh();
  }, 500);
  refresh();
}
