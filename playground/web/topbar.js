// The bar over the page and what sits on the phone's frame: the
// connection, the phone's clock, the home screen's run, the call banner,
// the tabs, Respring and Reset device.
import { $, setText, toast } from './dom.js';
import { CALLS } from './device-pane.js';

export function createTopbar(view, send, held) {
  // The phone's clock runs with the wall clock; a still phone takes no
  // steps, so the page counts on from the last time it was told.
  let clock = { t: 0, at: 0, running: false };
  const clockLabel = $('#clock .label');
  setInterval(() => {
    const t = clock.t + (clock.running ? (performance.now() - clock.at) / 1000 : 0);
    const minutes = Math.floor(t / 60);
    const seconds = (t - minutes * 60).toFixed(1).padStart(4, '0');
    setText(clockLabel, `${minutes}:${seconds}`);
  }, 100);

  // A new meta comes with every picture: only what changed is touched,
  // so the page around the screen is not laid out again at every frame.
  view.on('meta', (meta) => {
    clock = { t: meta.time || 0, at: performance.now(), running: !!meta.running };
    setText($('#generation'), meta.running ? `Home screen · run ${meta.generation}` : 'Home screen stopped');
    $('#generation').classList.toggle('down', !meta.running);
    const phone = meta.phone || {};
    const call = CALLS.find((c) => c.status === phone.call);
    const banner = $('#call-banner');
    banner.hidden = !call || call.status === 6;
    if (call) {
      setText($('#call-title'), call.title);
      setText($('#call-sub'), `${call.label} · status ${call.status}`);
      banner.classList.toggle('ending', call.status === 5);
    }
    if (!view.dump) held.hold(phone.orientation);
    const side = phone.locked ? 'Side button (locked)' : 'Side button: lock';
    if ($('#side-button').title !== side) $('#side-button').title = side;
  });

  function setConnection(live) {
    const chip = $('#connection');
    chip.classList.toggle('live', live);
    chip.classList.toggle('down', !live);
    $('.label', chip).textContent = live ? 'Live' : 'Reconnecting…';
  }

  // The open tab is kept across a reload; each opens at its top.
  function showTab(name) {
    for (const t of document.querySelectorAll('.tab')) {
      const on = t.dataset.tab === name;
      t.classList.toggle('active', on);
      t.setAttribute('aria-selected', on);
      $('#tab-' + t.dataset.tab).hidden = !on;
    }
    for (const scroller of [$('.tab-panels'), $('.controls')]) if (scroller) scroller.scrollTop = 0;
    try {
      localStorage.setItem('floattiles.tab', name);
    } catch (e) {
      // Storage may be off; the tab is then simply not remembered.
    }
  }
  for (const tab of document.querySelectorAll('.tab')) tab.addEventListener('click', () => showTab(tab.dataset.tab));
  try {
    const kept = localStorage.getItem('floattiles.tab');
    if (kept && $('#tab-' + kept)) showTab(kept);
  } catch (e) {
    // As above.
  }

  function respring() {
    const button = $('#respring');
    button.disabled = true;
    send({ type: 'respring' }).then((r) => {
      button.disabled = false;
      if (r.ok) toast('The home screen started again. Files were kept.');
    });
  }
  $('#respring').addEventListener('click', respring);

  let resetArmed = 0;
  $('#reset').addEventListener('click', () => {
    const button = $('#reset');
    if (!resetArmed) {
      button.textContent = 'Click again to reset';
      button.classList.add('active');
      resetArmed = setTimeout(() => {
        resetArmed = 0;
        button.textContent = 'Reset device';
        button.classList.remove('active');
      }, 3000);
      return;
    }
    clearTimeout(resetArmed);
    resetArmed = 0;
    button.textContent = 'Reset device';
    button.classList.remove('active');
    send({ type: 'reset' }).then((r) => r.ok && toast('A new phone: the settings file was deleted, and the state file made anew with the first choice of apps.'));
  });

  return { setConnection, respring };
}
