// The passcode view over the lock screen: any four digits unlock.
import { $, el } from './dom.js';

const LETTERS = ['', 'ABC', 'DEF', 'GHI', 'JKL', 'MNO', 'PQRS', 'TUV', 'WXYZ'];

export function createPasscode(view, send) {
  const view_ = $('#passcode');
  let code = '';
  // The four dots stay a moment after the fourth digit. The wait belongs to
  // that entry: a view shown again sooner (a lock and a tap right after the
  // unlock) starts clean, and the wait must not empty its new digits.
  let clearing = null;

  function showDots() {
    [...$('#passcode-dots').children].forEach((dot, i) => dot.classList.toggle('on', i < code.length));
  }

  function clear() {
    clearTimeout(clearing);
    clearing = null;
    code = '';
    showDots();
  }

  function typeDigit(digit) {
    if (code.length >= 4) return;
    code += digit;
    showDots();
    if (code.length === 4) {
      clearing = setTimeout(clear, 250);
      send({ type: 'unlock' });
    }
  }

  const pad = $('#keypad');
  for (let d = 1; d <= 10; d++) {
    const digit = d % 10;
    pad.append(el('button', { type: 'button', class: 'key' + (digit === 0 ? ' zero' : ''), 'data-digit': digit,
      onclick: () => typeDigit(digit) }, el('b', { text: String(digit) }), el('small', { text: LETTERS[d - 1] || '' })));
  }
  $('#passcode-cancel').addEventListener('click', () => {
    clear();
    send({ type: 'passcode', show: false });
  });
  document.addEventListener('keydown', (e) => {
    if (view_.hidden || !/^[0-9]$/.test(e.key)) return;
    typeDigit(Number(e.key));
  });

  // Shown while the host shows it; each showing starts with no digits.
  view.on('meta', (meta) => {
    const phone = meta.phone || {};
    if (view_.hidden !== !!phone.passcode) return;
    view_.hidden = !phone.passcode;
    clear();
  });
}
